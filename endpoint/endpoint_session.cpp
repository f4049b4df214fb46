#include "endpoint/endpoint_session.h"

#include "endpoint/endpoint_vocabulary.h"
#include "endpoint/service_worker.h"
#include "verify/cell_opener.h"
#include "watchdog/time_limits.h"
#include "watchdog/timed_worker.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <new>

using Clock = std::chrono::steady_clock;

struct EndpointSession::WorkerState {
    EndpointService* service = nullptr;
    EndpointDevice* device = nullptr; // the endpoint being read, if one is open
    // When the endpoint being read must be done; set before each endpoint's
    // first job. Once past it, nothing more is asked of the endpoint.
    Clock::time_point deadline = Clock::time_point::max();
    std::atomic<bool> outOfTime{false};

    bool timeLeft() {
        if (!outOfTime.load() && Clock::now() >= deadline)
            outOfTime.store(true);
        return !outOfTime.load();
    }
};

namespace {

using WorkerState = EndpointSession::WorkerState;

// Asks the open endpoint one thing on the worker; nothing when the call passed
// its limit (the worker is then spent), memory ran out, or the endpoint's time
// is up.
template <class T, class Call>
std::optional<Answered<T>> ask(TimedWorker& worker, const std::shared_ptr<WorkerState>& state,
                               Call call) {
    if (!state->timeLeft())
        return std::nullopt;
    return answerOf<T>(worker, [state, call](T* value) { return call(state->device, value); });
}

template <class T> void keep(const std::optional<Answered<T>>& answered, std::optional<T>* kept) {
    if (answered && answered->answer == EndpointAnswer::Ok)
        *kept = answered->value;
}

} // namespace

EndpointDefaults readEndpointDefaults(EndpointService* service, CallClock& clock) {
    EndpointDefaults defaults;
    for (DeviceDirection direction : {'I', 'O'}) {
        const int d = direction == 'I' ? 0 : 1;
        defaults.known[d] = true;
        for (int role = 0; role < endpointRoleCount; ++role) {
            EndpointAnswer answer = EndpointAnswer::Failed;
            if (clock.callStarts())
                answer = defaultEndpointId(service, direction, static_cast<EndpointRole>(role),
                                           &defaults.ids[d][role]);
            // No default for a role is an answer; a failure to ask is not.
            if (answer != EndpointAnswer::Ok && answer != EndpointAnswer::NotFound)
                defaults.known[d] = false;
            if (answer != EndpointAnswer::Ok)
                defaults.ids[d][role].clear();
        }
    }
    return defaults;
}

namespace {

ExclusiveFindings stoppedFor(ExclusiveStatus status) {
    ExclusiveFindings findings;
    findings.status = status;
    return findings;
}

} // namespace

EndpointSession::EndpointSession(bool exclusiveMode, bool everyEndpoint)
    : exclusiveMode(exclusiveMode), everyEndpoint(everyEndpoint) {
    startWorker(); // every endpoint is unknown when the service cannot be had
}

EndpointSession::~EndpointSession() {
    finish();
}

bool EndpointSession::finish() {
    if (worker && !worker->stop())
        hung = true;
    return hung;
}

// The worker passed a call's limit: what it was asked is left behind.
bool EndpointSession::gaveUp() {
    if (worker && worker->leftBehind())
        hung = true;
    return worker && worker->spent();
}

// A worker with the service open on its thread, and the defaults read once.
bool EndpointSession::startWorker() {
    if (worker && !worker->spent())
        return true;
    if (serviceFailed)
        return false;
    gaveUp();
    const ServiceWorker started = startServiceWorker(worker, state);
    if (started != ServiceWorker::Started) {
        gaveUp();
        serviceFailed = started == ServiceWorker::ServiceFailed;
        return false;
    }
    if (!defaultsRead) {
        defaultsRead = true;
        std::optional<EndpointDefaults> read = worker->run([held = state](CallClock& clock) {
            return readEndpointDefaults(held->service, clock);
        });
        if (read)
            defaults = std::move(*read);
        else if (worker->spent())
            return startWorker();
    }
    return true;
}

std::optional<FoundEndpoint>
EndpointSession::find(const std::u16string& id, DeviceDirection direction,
                      const std::function<void(const EndpointFacts&)>* identified) {
    if (!startWorker())
        return std::nullopt;
    TimedWorker& w = *worker;
    state->deadline = Clock::now() + endpointBudget();
    state->outOfTime.store(false);
    std::optional<FoundEndpoint> found;
    found.emplace();
    EndpointFacts& facts = found->facts;
    facts.id = id;
    facts.direction = direction;
    // An endpoint handed back is named first, whatever happens to it.
    bool named = false;
    const auto name = [&] {
        if (identified != nullptr && !named)
            (*identified)(facts);
        named = true;
    };
    // Past a call that hung, or past the endpoint's time, the rest of the
    // endpoint stays unknown.
    const auto cutShort = [&] {
        name();
        found->notAnswering = true;
        if (exclusiveMode) {
            if (!found->formats)
                found->formats.emplace();
            found->formats->exclusive =
                stoppedFor(w.spent() ? ExclusiveStatus::NotAnswering : ExclusiveStatus::TooSlow);
        }
        return found;
    };
    const auto stopped = [&] { return w.spent() || state->outOfTime.load(); };

    // The endpoint read before stays open until here, or until the worker
    // ends, so that it is closed even when memory ran short for the job.
    const std::optional<EndpointAnswer> opened = w.run([held = state, id](CallClock& clock) {
        closeEndpoint(held->device);
        held->device = nullptr;
        clock.callStarts();
        return openEndpoint(held->service, id, &held->device);
    });
    if (stopped())
        return cutShort();
    if (opened != EndpointAnswer::Ok)
        return std::nullopt;

    std::optional<std::u16string> ownId;
    keep(ask<std::u16string>(w, state, endpointOwnId), &ownId);
    if (ownId && !ownId->empty())
        facts.id = *ownId;
    keep(ask<std::u16string>(w, state,
                             [](EndpointDevice* d, std::u16string* text) {
                                 return endpointText(d, EndpointText::FriendlyName, text);
                             }),
         &facts.name);
    keep(ask<std::u16string>(w, state,
                             [](EndpointDevice* d, std::u16string* text) {
                                 return endpointText(d, EndpointText::AdapterName, text);
                             }),
         &facts.adapter);
    keep(ask<std::uint32_t>(w, state,
                            [](EndpointDevice* d, std::uint32_t* value) {
                                return endpointNumber(d, EndpointNumber::FormFactor, value);
                            }),
         &facts.formFactor);
    // A display's form factor does not say whether it is HDMI or DisplayPort;
    // its jack may.
    if (facts.formFactor == formFactorDigitalDisplay)
        keep(ask<std::u16string>(w, state,
                                 [](EndpointDevice* d, std::u16string* text) {
                                     return endpointText(d, EndpointText::JackSubtype, text);
                                 }),
             &facts.jackSubtype);
    // Read before anything that needs the audio client, so that a driver that
    // hangs there still shows which driver it is.
    if (exclusiveMode && !stopped())
        facts.hardware = hardware.read(
            w, [held = state] { return held->timeLeft(); },
            std::shared_ptr<EndpointService* const>(state, &state->service),
            std::shared_ptr<EndpointDevice* const>(state, &state->device), facts.id);
    facts.defaultFor = defaultRolesOf(facts.id, direction, defaults);
    if (exclusiveMode && !stopped())
        readCondition(*found);
    name();
    if (stopped())
        return cutShort();
    if (exclusiveMode)
        readFormats(*found);
    if (stopped())
        return cutShort();
    if (opensCells)
        openCells(*found);
    return found;
}

// The endpoint's state and the properties every endpoint has.
void EndpointSession::readCondition(FoundEndpoint& found) {
    TimedWorker& w = *worker;
    EndpointCondition& c = found.facts.condition.emplace();
    keep(ask<std::uint32_t>(w, state, endpointState), &c.state);
    std::optional<std::vector<unsigned char>> format;
    keep(ask<std::vector<unsigned char>>(w, state, endpointDeviceFormat), &format);
    if (format)
        c.deviceFormat = readFormat(format->data(), format->size());
    std::optional<std::uint32_t> effectsOff;
    keep(ask<std::uint32_t>(w, state,
                            [](EndpointDevice* d, std::uint32_t* value) {
                                return endpointNumber(d, EndpointNumber::SystemEffectsOff, value);
                            }),
         &effectsOff);
    if (effectsOff)
        c.enhancements = *effectsOff == 0;
}

// What only an active endpoint's audio client and controls can say, and its
// formats; the probe, the longest part, last.
void EndpointSession::readFormats(FoundEndpoint& found) {
    TimedWorker& w = *worker;
    EndpointCondition& c = *found.facts.condition;
    EndpointFormats& formats = found.formats.emplace();
    const auto stopped = [&] { return w.spent() || state->outOfTime.load(); };
    if (!c.active()) {
        formats.exclusive = stoppedFor(ExclusiveStatus::Inactive);
        return;
    }
    keep(ask<VolumeReading>(w, state, endpointVolume), &c.volume);
    if (c.volume && !plausibleVolume(*c.volume))
        c.volume.reset();
    std::optional<std::vector<SessionReading>> sessions;
    keep(ask<std::vector<SessionReading>>(w, state, endpointSessions), &sessions);
    if (sessions)
        c.sessions = sessionsOf(*sessions);
    if (stopped())
        return;

    const std::optional<EndpointAnswer> client = state->timeLeft()
                                                     ? w.run([held = state](CallClock& clock) {
                                                           clock.callStarts();
                                                           return openAudioClient(held->device);
                                                       })
                                                     : std::nullopt;
    if (stopped())
        return;
    // Without an audio client nothing below can be asked: one reason, no
    // questions that would only fail the same way.
    const EndpointAnswer clientAnswer = client.value_or(EndpointAnswer::NoMemory);
    if (clientAnswer != EndpointAnswer::Ok) {
        formats.exclusive = stoppedFor(stopReasonOf(clientAnswer));
        return;
    }
    const std::optional<Answered<std::vector<unsigned char>>> mix =
        ask<std::vector<unsigned char>>(w, state, endpointMixFormat);
    if (mix && mix->answer == EndpointAnswer::Ok)
        formats.mix = readFormat(mix->value.data(), mix->value.size());
    keep(ask<DevicePeriods>(w, state, endpointDevicePeriods), &c.devicePeriods);
    if (formats.mix)
        keep(ask<EnginePeriods>(w, state,
                                [bytes = mix->value](EndpointDevice* d, EnginePeriods* periods) {
                                    return endpointEnginePeriods(
                                        d, reinterpret_cast<const WAVEFORMATEX*>(bytes.data()),
                                        periods);
                                }),
             &c.enginePeriods);
    if (stopped())
        return;
    // Refused the mix format as well, the device would refuse every question.
    if (mix &&
        (mix->answer == EndpointAnswer::NotAllowed || mix->answer == EndpointAnswer::Busy ||
         mix->answer == EndpointAnswer::Gone || mix->answer == EndpointAnswer::AccessDenied)) {
        formats.exclusive = stoppedFor(stopReasonOf(mix->answer));
        return;
    }
    const ProbeStart start = formats.mix ? probeStartOf(*formats.mix) : ProbeStart();
    if (!state->timeLeft())
        return;
    const std::optional<ExclusiveFindings> probed = w.run([held = state, start](CallClock& clock) {
        return probeExclusiveFormats(start, [held, &clock](const WAVEFORMATEX* format) {
            // Given up on, or out of time: end the probe at once; its
            // findings are dropped.
            if (!clock.callStarts() || !held->timeLeft())
                return EndpointAnswer::Gone;
            return askExclusiveFormat(held->device, format);
        });
    });
    if (state->outOfTime.load())
        return;
    formats.exclusive = probed ? *probed : stoppedFor(ExclusiveStatus::Unavailable);
}

void EndpointSession::openListedCells(OpenProgress progress) {
    opensCells = true;
    openProgress = std::move(progress);
}

// The opens have a budget as long as the rest of the endpoint had: a device
// that takes hundreds of formats opens each, and an open costs more than a
// question. A listed format's rates are one job, each open a call.
void EndpointSession::openCells(FoundEndpoint& found) {
    TimedWorker& w = *worker;
    EndpointFormats& formats = *found.formats;
    const EndpointFacts& facts = found.facts;
    state->deadline = Clock::now() + endpointBudget();
    state->outOfTime.store(false);
    try {
        const std::optional<std::vector<AudioSession>> unread;
        CellOpening opening =
            startOpening(formats.exclusive, facts.condition ? facts.condition->sessions : unread);
        // The job's own copy: one left behind still reads it.
        const auto listed =
            std::make_shared<const std::vector<ExclusiveFormat>>(formats.exclusive.formats);
        while (moreToOpen(opening, *listed)) {
            std::optional<CellOpening> stepped = w.run([held = state, listed,
                                                        opening](CallClock& clock) {
                CellOpening step = opening;
                openNextFormat(step, *listed,
                               [&](const WAVEFORMATEXTENSIBLE& format,
                                   OpenWay way) -> std::optional<EndpointAnswer> {
                                   if (!held->timeLeft() || !clock.callStarts())
                                       return std::nullopt;
                                   return openExclusiveStream(held->device, &format.Format, way);
                               });
                return step;
            });
            if (!stepped) {
                // The format's opens are lost with the job: a call hung, or memory ran out.
                opening.opens.status =
                    w.spent() ? OpensStatus::NotAnswering : OpensStatus::Unavailable;
                break;
            }
            opening = std::move(*stepped);
            if (openProgress)
                openProgress(facts, opening.tried, opening.opens.listed());
        }
        formats.opens = std::move(opening.opens);
    } catch (const std::bad_alloc&) {
        formats.opens.emplace().status = OpensStatus::Unavailable;
    }
}

std::optional<FoundEndpoint> EndpointSession::deviceEndpoint(DeviceDirection direction, UINT id) {
    if (!startWorker())
        return std::nullopt;
    try {
        const std::optional<Answered<std::u16string>> endpointId =
            worker->run([direction, id](CallClock& clock) {
                Answered<std::u16string> a;
                if (clock.callStarts())
                    a.answer = waveDeviceEndpointId(direction, id, &a.value);
                return a;
            });
        if (gaveUp()) {
            // The driver hung naming its endpoint: which one it is stays unknown.
            std::optional<FoundEndpoint> unknown;
            unknown.emplace();
            unknown->facts.direction = direction;
            unknown->notAnswering = true;
            if (exclusiveMode)
                unknown->formats.emplace().exclusive = stoppedFor(ExclusiveStatus::NotAnswering);
            return unknown;
        }
        if (!endpointId || endpointId->answer != EndpointAnswer::Ok || endpointId->value.empty())
            return std::nullopt;
        // Led to, even when it then cannot be opened: it is not without a device.
        matched.push_back(endpointId->value);
        std::optional<FoundEndpoint> found = find(endpointId->value, direction, nullptr);
        if (found && !sameEndpointId(found->facts.id, endpointId->value))
            matched.push_back(found->facts.id);
        return found;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::vector<std::u16string> EndpointSession::unmatchedIds(DeviceDirection direction) {
    const EndpointListing listing = !exclusiveMode  ? EndpointListing::Active
                                    : everyEndpoint ? EndpointListing::EveryState
                                                    : EndpointListing::Present;
    return unmatchedOf(direction, listing).value_or(std::vector<std::u16string>());
}

bool EndpointSession::countsNotPresent() const {
    return exclusiveMode && !everyEndpoint;
}

std::optional<std::size_t> EndpointSession::notPresentCount(DeviceDirection direction) {
    const std::optional<std::vector<std::u16string>> ids =
        unmatchedOf(direction, EndpointListing::NotPresent);
    if (!ids)
        return std::nullopt;
    return ids->size();
}

std::optional<std::vector<std::u16string>> EndpointSession::unmatchedOf(DeviceDirection direction,
                                                                        EndpointListing listing) {
    std::vector<std::u16string> unmatched;
    if (!startWorker())
        return std::nullopt;
    try {
        const std::optional<Answered<std::vector<std::u16string>>> listed =
            worker->run([held = state, direction, listing](CallClock& clock) {
                Answered<std::vector<std::u16string>> a;
                if (clock.callStarts())
                    a.answer = endpointIds(held->service, direction, listing, &a.value);
                return a;
            });
        if (gaveUp() || !listed || listed->answer != EndpointAnswer::Ok)
            return std::nullopt;
        for (const std::u16string& id : listed->value) {
            const bool led =
                std::any_of(matched.begin(), matched.end(),
                            [&](const std::u16string& m) { return sameEndpointId(m, id); });
            if (!led)
                unmatched.push_back(id);
        }
        return unmatched;
    } catch (const std::bad_alloc&) {
        // What was found before memory ran out stands, but is no count.
        if (listing == EndpointListing::NotPresent)
            return std::nullopt;
        return unmatched;
    }
}

std::optional<FoundEndpoint>
EndpointSession::unmatchedEndpoint(const std::u16string& id, DeviceDirection direction,
                                   const std::function<void(const EndpointFacts&)>& identified) {
    try {
        return find(id, direction, &identified);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

SystemFacts EndpointSession::systemFacts() {
    if (startWorker())
        return hardware.readSystem(*worker);
    // The system is not the endpoint service's: without that, it is asked here.
    TimedWorker here(std::nullopt, nullptr);
    return hardware.readSystem(here);
}
