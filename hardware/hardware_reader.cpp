#include "hardware/hardware_reader.h"

#include "endpoint/endpoint_facts.h"
#include "endpoint/service_worker.h"
#include "watchdog/timed_worker.h"

#include <utility>

// The worker every call runs on, and the endpoint's time: once it is up, no
// more calls start.
struct HardwareCalls {
    TimedWorker& worker;
    std::function<bool()> timeLeft;
};

namespace {

// One plain call as a job of the worker; nothing when it passed the limit,
// memory ran out or the endpoint's time is up. The call must own what it uses.
template <class T, class Call>
std::optional<Answered<T>> reply(const HardwareCalls& calls, Call call) {
    if (calls.timeLeft && !calls.timeLeft())
        return std::nullopt;
    return answerOf<T>(calls.worker, std::move(call));
}

// What the call gave, when it answered Ok.
template <class T, class Call> std::optional<T> ask(const HardwareCalls& calls, Call call) {
    std::optional<Answered<T>> r = reply<T>(calls, std::move(call));
    if (!r || r->answer != EndpointAnswer::Ok)
        return std::nullopt;
    return std::move(r->value);
}

// Whether nothing was left unasked for want of the endpoint's time.
bool whole(const HardwareCalls& calls) {
    return !calls.timeLeft || calls.timeLeft();
}

// An empty answer says nothing: it is not a value.
std::optional<std::u16string> nonEmpty(const std::optional<std::u16string>& text) {
    if (!text || text->empty())
        return std::nullopt;
    return text;
}

std::optional<std::u16string> askText(const HardwareCalls& calls, Devnode node, DevnodeText which) {
    return nonEmpty(ask<std::u16string>(
        calls, [node, which](std::u16string* text) { return devnodeText(node, which, text); }));
}

std::optional<FileVersion> versionOfFile(const HardwareCalls& calls, const std::u16string& path) {
    const std::optional<std::vector<unsigned char>> info = ask<std::vector<unsigned char>>(
        calls, [path](std::vector<unsigned char>* bytes) { return fileFixedVersion(path, bytes); });
    return info ? fileVersionOf(*info) : std::nullopt;
}

// Device Manager's code for a device that is not connected.
constexpr std::uint32_t notConnected = 45;

} // namespace

AdapterFacts HardwareReader::adapter(const HardwareCalls& calls, const std::u16string& instanceId) {
    for (const AdapterFacts& known : adapters)
        if (sameEndpointId(known.instanceId, instanceId))
            return known;
    AdapterFacts a;
    a.instanceId = instanceId;
    struct Located {
        Devnode node = 0;
        bool present = false;
    };
    const std::optional<Located> located = ask<Located>(calls, [instanceId](Located* l) {
        return locateDevnode(instanceId, &l->node, &l->present);
    });
    if (located) {
        const Devnode node = located->node;
        const std::optional<std::vector<std::u16string>> ids =
            ask<std::vector<std::u16string>>(calls, [node](std::vector<std::u16string>* all) {
                return devnodeHardwareIds(node, all);
            });
        if (ids && !ids->empty())
            a.hardwareId = nonEmpty(ids->front());
        DriverFacts& d = a.driver.emplace();
        d.provider = askText(calls, node, DevnodeText::DriverProvider);
        d.version = askText(calls, node, DevnodeText::DriverVersion);
        const std::optional<std::uint64_t> date = ask<std::uint64_t>(
            calls, [node](std::uint64_t* fileTime) { return devnodeDriverDate(node, fileTime); });
        if (date)
            d.date = driverDateOf(*date);
        d.inf = askText(calls, node, DevnodeText::DriverInf);
        d.service = askText(calls, node, DevnodeText::Service);
        a.problem = located->present ? ask<std::uint32_t>(calls,
                                                          [node](std::uint32_t* code) {
                                                              return devnodeProblem(node, code);
                                                          })
                                     : std::optional<std::uint32_t>(notConnected);
        const std::optional<std::u16string> image =
            d.service ? nonEmpty(ask<std::u16string>(calls,
                                                     [service = *d.service](std::u16string* path) {
                                                         return serviceImagePath(service, path);
                                                     }))
                      : std::nullopt;
        if (image)
            d.fileVersion = versionOfFile(calls, *image);
    }
    a.identity = identifyHardware(instanceId, a.hardwareId);
    if (whole(calls)) // another endpoint has time of its own to ask what was cut short
        adapters.push_back(a);
    return a;
}

AudioEffect HardwareReader::effect(const HardwareCalls& calls, const EffectReading& reading) {
    AudioEffect e;
    e.slot = reading.slot;
    e.classId = reading.classId;
    for (const AudioEffect& known : effects)
        if (sameEndpointId(known.classId, reading.classId)) {
            e.dll = known.dll;
            e.version = known.version;
            return e;
        }
    e.dll = nonEmpty(ask<std::u16string>(calls, [classId = reading.classId](std::u16string* path) {
        return classServerPath(classId, path);
    }));
    if (e.dll)
        e.version = versionOfFile(calls, *e.dll);
    if (whole(calls))
        effects.push_back(e);
    return e;
}

EndpointHardware HardwareReader::read(TimedWorker& worker, std::function<bool()> timeLeft,
                                      const std::shared_ptr<EndpointService* const>& service,
                                      const std::shared_ptr<EndpointDevice* const>& device,
                                      const std::u16string& endpointId) {
    const HardwareCalls calls{worker, std::move(timeLeft)};
    EndpointHardware h;
    const std::optional<std::u16string> instance = nonEmpty(ask<std::u16string>(
        calls, [device](std::u16string* id) { return endpointAdapterInstance(*device, id); }));
    if (instance)
        h.adapter = adapter(calls, *instance);
    // Past a call that hung the rest stays unknown, and the list of
    // containers is left for an endpoint whose worker still answers.
    if (calls.worker.spent())
        return h;

    const std::optional<std::vector<EffectReading>> readings = ask<std::vector<EffectReading>>(
        calls, [device](std::vector<EffectReading>* all) { return endpointEffects(*device, all); });
    if (readings) {
        std::vector<AudioEffect>& found = h.effects.emplace();
        for (const EffectReading& r : *readings)
            if (!r.classId.empty())
                found.push_back(effect(calls, r));
    }

    if (calls.worker.spent())
        return h;
    if (!containersAsked && whole(calls)) {
        containersAsked = true;
        containers = ask<std::vector<ContainerReading>>(
            calls, [service](std::vector<ContainerReading>* all) {
                return endpointContainers(*service, all);
            });
    }
    if (!containers)
        return h;
    for (const ContainerReading& r : *containers)
        if (sameEndpointId(r.endpointId, endpointId) && r.containerId &&
            isContainerId(*r.containerId)) {
            h.containerId = *r.containerId;
            break;
        }
    if (!h.containerId)
        return h;
    std::vector<SameDevice>& same = h.sameDevice.emplace();
    for (const ContainerReading& r : *containers)
        if (!sameEndpointId(r.endpointId, endpointId) && r.containerId &&
            sameEndpointId(*r.containerId, *h.containerId))
            same.push_back({r.name && !r.name->empty() ? *r.name : r.endpointId, r.direction});
    return h;
}

SystemFacts HardwareReader::readSystem(TimedWorker& worker) {
    const HardwareCalls calls{worker, nullptr};
    SystemFacts s;
    s.version = ask<SystemVersion>(calls, [](SystemVersion* v) { return systemVersion(v); });
    for (AudioService which : {AudioService::AudioSrv, AudioService::EndpointBuilder}) {
        const std::optional<Answered<std::uint32_t>> r = reply<std::uint32_t>(
            calls, [which](std::uint32_t* state) { return audioServiceState(which, state); });
        std::optional<std::uint32_t>& kept = s.services[static_cast<int>(which)];
        if (r && r->answer == EndpointAnswer::Ok)
            kept = r->value;
        else if (r && r->answer == EndpointAnswer::NotFound)
            kept = 0; // not installed
    }
    return s;
}
