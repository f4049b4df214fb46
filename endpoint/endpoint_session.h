// The endpoint side of one run: the service, the defaults and which endpoints
// the waveform devices have led to so far. Nothing here throws: whatever cannot
// be had, memory included, is left out of what is handed back.
//
// In the exclusive mode every call to the service runs on a worker thread and
// may take at most a time limit (10 s, or SNDSCOUT_CALL_LIMIT_MS milliseconds):
// a driver can hang while its device is plugged or unplugged. A call past the
// limit leaves the rest of that endpoint unknown, its formats "not answering",
// and the next endpoint is asked on a fresh worker; nothing waits for the
// stuck one. The other modes ask on their own thread, unwatched.
#pragma once

#include "endpoint/endpoint_facts.h"
#include "hardware/hardware_reader.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TimedWorker;

// One endpoint as the report shows it: who it is and, in the exclusive mode,
// what it does with formats.
struct FoundEndpoint {
    EndpointFacts facts;
    std::optional<EndpointFormats> formats;
};

class EndpointSession {
public:
    // Starts the service; with `exclusiveMode` every endpoint found is also
    // asked how it is set and used, its mix format and its exclusive formats.
    explicit EndpointSession(bool exclusiveMode);
    ~EndpointSession();
    EndpointSession(const EndpointSession&) = delete;
    EndpointSession& operator=(const EndpointSession&) = delete;

    // The endpoint of a waveform device; nothing when it cannot be had.
    std::optional<FoundEndpoint> deviceEndpoint(DeviceDirection direction, UINT id);

    // The endpoints of a direction that no device has led to yet: in the
    // exclusive mode those in every state, otherwise the active ones.
    std::vector<std::u16string> unmatchedIds(DeviceDirection direction);

    // One of those. `identified` is given its facts before its formats are
    // asked, so that it can be named while they are.
    std::optional<FoundEndpoint>
    unmatchedEndpoint(const std::u16string& id, DeviceDirection direction,
                      const std::function<void(const EndpointFacts&)>& identified);

    // The system the report runs on, for the exclusive mode's header.
    SystemFacts systemFacts();

    struct WorkerState; // the service and the open endpoint, on the worker's thread

private:
    bool startWorker();
    std::optional<FoundEndpoint> find(const std::u16string& id, DeviceDirection direction,
                                      const std::function<void(const EndpointFacts&)>* identified);
    void readCondition(FoundEndpoint& found);
    void readFormats(FoundEndpoint& found);

    bool exclusiveMode;
    std::unique_ptr<TimedWorker> worker;
    std::shared_ptr<WorkerState> state;
    bool serviceFailed = false;
    bool defaultsRead = false;
    EndpointDefaults defaults;
    std::vector<std::u16string> matched;
    HardwareReader hardware;
};
