#include "watch/endpoint_lookup.h"

#include "endpoint/endpoint_session.h"
#include "endpoint/service_worker.h"

#include <new>

struct EndpointLookup::Held {
    EndpointService* service = nullptr;
    EndpointDevice* device = nullptr; // the endpoint being read, if one is open
};

namespace {

using Held = EndpointLookup::Held;

// Asks the open endpoint one thing; nothing when the call passed the limit.
template <class T, class Call>
std::optional<Answered<T>> ask(TimedWorker& worker, const std::shared_ptr<Held>& state, Call call) {
    return answerOf<T>(worker, [state, call](T* value) { return call(state->device, value); });
}

// What was asked is now what the answer says: unknown unless it was Ok.
template <class T> void take(const std::optional<Answered<T>>& answered, std::optional<T>* into) {
    if (answered && answered->answer == EndpointAnswer::Ok)
        *into = answered->value;
    else
        into->reset();
}

void takeFormat(const std::optional<Answered<std::vector<unsigned char>>>& answered,
                std::optional<FormatReading>* into) {
    into->reset();
    if (answered && answered->answer == EndpointAnswer::Ok)
        *into = readFormat(answered->value.data(), answered->value.size());
}

// An endpoint a job opens for itself, closed however the job ends.
struct OpenedHere {
    EndpointDevice* device = nullptr;
    OpenedHere() = default;
    OpenedHere(const OpenedHere&) = delete;
    OpenedHere& operator=(const OpenedHere&) = delete;
    ~OpenedHere() { closeEndpoint(device); }
};

bool isGone(const std::optional<EndpointAnswer>& answer) {
    return answer == EndpointAnswer::NotFound || answer == EndpointAnswer::Gone;
}

} // namespace

EndpointLookup::EndpointLookup() = default;

EndpointLookup::~EndpointLookup() = default;

bool EndpointLookup::finish() {
    if (worker && !worker->stop())
        hung = true;
    return hung;
}

bool EndpointLookup::startWorker() {
    if (worker && !worker->spent())
        return true;
    if (serviceFailed)
        return false;
    if (worker && worker->leftBehind())
        hung = true;
    const ServiceWorker started = startServiceWorker(worker, state);
    serviceFailed = started == ServiceWorker::ServiceFailed;
    return started == ServiceWorker::Started;
}

template <class Job> bool EndpointLookup::runJob(Job job, Outcome* outcome) {
    if (!startWorker())
        return false;
    const std::optional<bool> ran = worker->run([held = state, job](CallClock& clock) {
        if (clock.callStarts())
            job(held->service);
        return true;
    });
    outcome->notAnswering = worker->spent();
    return ran.has_value();
}

EndpointLookup::Outcome EndpointLookup::read(const std::u16string& id, unsigned what,
                                             Facts* facts) {
    Outcome outcome;
    // Unknown until read.
    if (what & Name)
        facts->name.reset();
    if (what & Adapter)
        facts->adapter.reset();
    if (what & State)
        facts->state.reset();
    if (what & FormFactor)
        facts->formFactor.reset();
    if (what & Effects)
        facts->effectsOff.reset();
    if (what & Panel)
        facts->panel.reset();
    if (what & Mix)
        facts->mix.reset();
    try {
        if (!startWorker())
            return outcome;
        TimedWorker& w = *worker;
        const std::optional<EndpointAnswer> opened = w.run([held = state, id](CallClock& clock) {
            closeEndpoint(held->device);
            held->device = nullptr;
            clock.callStarts();
            return openEndpoint(held->service, id, &held->device);
        });
        if (w.spent() || opened != EndpointAnswer::Ok) {
            outcome.notAnswering = w.spent();
            outcome.gone = isGone(opened);
            return outcome;
        }
        const auto text = [&](EndpointText which) {
            return ask<std::u16string>(w, state, [which](EndpointDevice* d, std::u16string* t) {
                return endpointText(d, which, t);
            });
        };
        const auto number = [&](EndpointNumber which) {
            return ask<std::uint32_t>(w, state, [which](EndpointDevice* d, std::uint32_t* v) {
                return endpointNumber(d, which, v);
            });
        };
        if (what & Name)
            take(text(EndpointText::FriendlyName), &facts->name);
        if (what & Adapter)
            take(text(EndpointText::AdapterName), &facts->adapter);
        if (what & State)
            take(ask<std::uint32_t>(w, state, endpointState), &facts->state);
        if (what & FormFactor)
            take(number(EndpointNumber::FormFactor), &facts->formFactor);
        if (what & Effects)
            take(number(EndpointNumber::SystemEffectsOff), &facts->effectsOff);
        if (what & Panel)
            takeFormat(ask<std::vector<unsigned char>>(w, state, endpointDeviceFormat),
                       &facts->panel);
        if ((what & Mix) && !w.spent()) {
            const std::optional<EndpointAnswer> client = w.run([held = state](CallClock& clock) {
                clock.callStarts();
                return openAudioClient(held->device);
            });
            if (client == EndpointAnswer::Ok)
                takeFormat(ask<std::vector<unsigned char>>(w, state, endpointMixFormat),
                           &facts->mix);
        }
        // Closed before the machine can change again.
        w.run([held = state](CallClock&) {
            closeEndpoint(held->device);
            held->device = nullptr;
            return true;
        });
        outcome.notAnswering = w.spent();
    } catch (const std::bad_alloc&) {
        // what was read stands
    }
    return outcome;
}

std::optional<EndpointDefaults> EndpointLookup::defaults() {
    if (!startWorker())
        return std::nullopt;
    return worker->run(
        [held = state](CallClock& clock) { return readEndpointDefaults(held->service, clock); });
}

std::optional<std::vector<std::u16string>> EndpointLookup::ids(DeviceDirection direction) {
    if (!startWorker())
        return std::nullopt;
    const std::optional<Answered<std::vector<std::u16string>>> listed =
        worker->run([held = state, direction](CallClock& clock) {
            Answered<std::vector<std::u16string>> a;
            if (clock.callStarts())
                a.answer =
                    endpointIds(held->service, direction, EndpointListing::EveryState, &a.value);
            return a;
        });
    if (!listed || listed->answer != EndpointAnswer::Ok)
        return std::nullopt;
    return listed->value;
}

EndpointLookup::Outcome EndpointLookup::volume(const std::u16string& id,
                                               std::optional<VolumeReading>* volume) {
    Outcome outcome;
    volume->reset();
    try {
        if (!startWorker())
            return outcome;
        const std::optional<Answered<VolumeReading>> read =
            worker->run([held = state, id](CallClock& clock) {
                Answered<VolumeReading> a;
                OpenedHere opened;
                if (clock.callStarts())
                    a.answer = openEndpoint(held->service, id, &opened.device);
                if (a.answer == EndpointAnswer::Ok && clock.callStarts())
                    a.answer = endpointVolume(opened.device, &a.value);
                return a;
            });
        outcome.notAnswering = worker->spent();
        if (read && read->answer == EndpointAnswer::Ok && plausibleVolume(read->value))
            *volume = read->value;
        outcome.gone = read && isGone(read->answer);
    } catch (const std::bad_alloc&) {
    }
    return outcome;
}

EndpointLookup::Outcome
EndpointLookup::sessions(const std::u16string& id,
                         std::optional<std::vector<AudioSession>>* sessions) {
    Outcome outcome;
    sessions->reset();
    try {
        if (!startWorker())
            return outcome;
        const std::optional<Answered<std::vector<SessionReading>>> read =
            worker->run([held = state, id](CallClock& clock) {
                Answered<std::vector<SessionReading>> a;
                OpenedHere opened;
                if (clock.callStarts())
                    a.answer = openEndpoint(held->service, id, &opened.device);
                if (a.answer == EndpointAnswer::Ok && clock.callStarts())
                    a.answer = endpointSessions(opened.device, &a.value);
                return a;
            });
        outcome.notAnswering = worker->spent();
        if (read && read->answer == EndpointAnswer::Ok)
            *sessions = sessionsOf(read->value);
        outcome.gone = read && isGone(read->answer);
    } catch (const std::bad_alloc&) {
    }
    return outcome;
}

EndpointLookup::Outcome
EndpointLookup::watchControls(EndpointWatch* watch, const std::u16string& id, Controls* controls) {
    Outcome outcome;
    *controls = Controls();
    try {
        auto made = std::make_shared<Controls>();
        if (runJob(
                [made, watch, id](EndpointService*) {
                    made->answers = ::watchControls(watch, id, &made->watch, &made->sessions);
                },
                &outcome))
            *controls = *made;
    } catch (const std::bad_alloc&) {
        controls->answers = {EndpointAnswer::NoMemory, EndpointAnswer::NoMemory};
    }
    return outcome;
}

EndpointLookup::Outcome EndpointLookup::newSessions(ControlWatch* controls,
                                                    std::vector<WatchedSession>* sessions) {
    Outcome outcome;
    sessions->clear();
    try {
        auto taken = std::make_shared<std::vector<WatchedSession>>();
        if (runJob([controls, taken](EndpointService*) { takeNewSessions(controls, &*taken); },
                   &outcome))
            *sessions = *taken;
    } catch (const std::bad_alloc&) {
    }
    return outcome;
}

EndpointLookup::Outcome EndpointLookup::forgetSession(ControlWatch* controls,
                                                      std::uint32_t number) {
    Outcome outcome;
    runJob([controls, number](EndpointService*) { ::forgetSession(controls, number); }, &outcome);
    return outcome;
}

EndpointLookup::Outcome EndpointLookup::unwatch(ControlWatch* controls) {
    Outcome outcome;
    // Without a worker to ask on, this thread lets it go: what the platform
    // registered must not outlive the watch.
    if (!runJob([controls](EndpointService*) { unwatchControls(controls); }, &outcome) &&
        !outcome.notAnswering)
        unwatchControls(controls);
    return outcome;
}
