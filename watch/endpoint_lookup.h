// What the watch asks the endpoint service, on a worker thread of its own, each
// call under the endpoint view's time limit: a driver can hang just as its
// device comes or goes, which is when the watch asks. A call past the limit
// leaves its answer and the rest of that lookup unknown, and the next lookup
// asks on a fresh worker; nothing waits for the one left behind. Nothing here
// throws.
#pragma once

#include "endpoint/endpoint_facts.h"
#include "platform/endpoint_watch.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class TimedWorker;

class EndpointLookup {
public:
    EndpointLookup();
    ~EndpointLookup();
    EndpointLookup(const EndpointLookup&) = delete;
    EndpointLookup& operator=(const EndpointLookup&) = delete;

    // How a lookup went: a call passed the limit, or the endpoint was gone.
    struct Outcome {
        bool notAnswering = false;
        bool gone = false;
    };

    // One endpoint's facts; each that could not be read stays unset.
    struct Facts {
        std::optional<std::u16string> name;
        std::optional<std::u16string> adapter;
        std::optional<std::uint32_t> state;
        std::optional<std::uint32_t> formFactor;
        std::optional<std::uint32_t> effectsOff;
        std::optional<FormatReading> panel;
        std::optional<FormatReading> mix; // asked only of an active endpoint
    };
    enum What : unsigned {
        Name = 1,
        Adapter = 2,
        State = 4,
        FormFactor = 8,
        Effects = 16,
        Panel = 32,
        Mix = 64,
    };
    // Reads what `what` names into `facts`, leaving the rest as it is.
    Outcome read(const std::u16string& id, unsigned what, Facts* facts);

    // The defaults of both directions; unset when not even the service could be had.
    std::optional<EndpointDefaults> defaults();
    // One direction's endpoints in every state; unset when they could not be listed.
    std::optional<std::vector<std::u16string>> ids(DeviceDirection direction);

    Outcome volume(const std::u16string& id, std::optional<VolumeReading>* volume);
    Outcome sessions(const std::u16string& id, std::optional<std::vector<AudioSession>>* sessions);

    // The platform's control watch, asked on the worker. A control watch whose
    // call passed the limit belongs to the call left behind: ask it nothing more.
    struct Controls {
        ControlWatch* watch = nullptr;
        ControlAnswers answers;
        std::vector<WatchedSession> sessions;
    };
    Outcome watchControls(EndpointWatch* watch, const std::u16string& id, Controls* controls);
    Outcome newSessions(ControlWatch* controls, std::vector<WatchedSession>* sessions);
    Outcome forgetSession(ControlWatch* controls, std::uint32_t number);
    Outcome unwatch(ControlWatch* controls);

    // Ends the worker. True when a call that hung was left on its thread, now
    // or before: the process must not wait for it as it ends.
    bool finish();

    struct Held; // the service and the open endpoint, on the worker's thread

private:
    bool startWorker();
    // Runs a job that needs only the service; false when it passed the limit
    // or could not run.
    template <class Job> bool runJob(Job job, Outcome* outcome);

    std::unique_ptr<TimedWorker> worker;
    std::shared_ptr<Held> state;
    bool serviceFailed = false;
    bool hung = false;
};
