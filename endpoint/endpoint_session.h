// The endpoint side of one run: the service, the defaults and which endpoints
// the waveform devices have led to so far. Nothing here throws: whatever cannot
// be had, memory included, is left out of what is handed back.
//
// Every call to the service runs on a worker thread and may take at most the
// call limit (watchdog/time_limits.h): a driver can hang while its device is
// plugged or unplugged. A call past the limit leaves the rest of that endpoint
// unknown, its formats "not answering", and the next endpoint is asked on a
// fresh worker; nothing waits for the stuck one. Everything asked of one
// endpoint must also fit in its budget, so that a driver answering every
// question slowly cannot hold the report up either: past it the rest is not
// asked, and its formats are "too slow".
#pragma once

#include "endpoint/endpoint_facts.h"
#include "hardware/hardware_reader.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TimedWorker;

class CallClock;

// The default endpoints of both directions. No default for a role is an
// answer; a failure to ask leaves that direction's defaults unknown.
EndpointDefaults readEndpointDefaults(EndpointService* service, CallClock& clock);

// One endpoint as the report shows it: who it is and, in the exclusive mode,
// what it does with formats.
struct FoundEndpoint {
    EndpointFacts facts;
    std::optional<EndpointFormats> formats;
    // A call hung or the budget ran out: what was not read is unset. With an
    // empty id the driver hung naming the endpoint, and nothing is known.
    bool notAnswering = false;
};

class EndpointSession {
public:
    // Starts the service; with `exclusiveMode` every endpoint found is also
    // asked how it is set and used, its mix format and its exclusive formats,
    // and with `everyEndpoint` the endpoints not present are listed in full.
    EndpointSession(bool exclusiveMode, bool everyEndpoint);
    ~EndpointSession();
    EndpointSession(const EndpointSession&) = delete;
    EndpointSession& operator=(const EndpointSession&) = delete;

    // The endpoint of a waveform device; nothing when it cannot be had.
    std::optional<FoundEndpoint> deviceEndpoint(DeviceDirection direction, UINT id);

    // The endpoints of a direction that no device has led to yet: in the
    // exclusive mode those in every state (but those not present, unless every
    // endpoint is asked for), otherwise the active ones.
    std::vector<std::u16string> unmatchedIds(DeviceDirection direction);
    // Whether the endpoints not present are counted rather than listed: in
    // the exclusive mode, unless every endpoint is asked for.
    bool countsNotPresent() const;
    // How many endpoints of the direction are not present (devices once
    // attached and gone); nothing when they could not be listed.
    std::optional<std::size_t> notPresentCount(DeviceDirection direction);

    // One of those. `identified` is given its facts before its formats are
    // asked, so that it can be named while they are.
    std::optional<FoundEndpoint>
    unmatchedEndpoint(const std::u16string& id, DeviceDirection direction,
                      const std::function<void(const EndpointFacts&)>& identified);

    // Ends the worker. True when a call that hung was left on its thread, now
    // or before: the process must not wait for it as it ends.
    bool finish();
    // The system the report runs on, for the exclusive mode's header.
    SystemFacts systemFacts();

    // The verify mode, on top of the exclusive one: once an endpoint's formats
    // are found, each listed cell is opened for real (verify/cell_opener.h),
    // one call each, the opens under a budget of their own. `progress` hears of
    // each cell tried, on the caller's thread.
    using OpenProgress =
        std::function<void(const EndpointFacts& facts, std::size_t tried, std::size_t listed)>;
    void openListedCells(OpenProgress progress);

    struct WorkerState; // the service and the open endpoint, on the worker's thread

private:
    bool startWorker();
    bool gaveUp();
    std::optional<std::vector<std::u16string>> unmatchedOf(DeviceDirection direction,
                                                           EndpointListing listing);
    std::optional<FoundEndpoint> find(const std::u16string& id, DeviceDirection direction,
                                      const std::function<void(const EndpointFacts&)>* identified);
    void readCondition(FoundEndpoint& found);
    void readFormats(FoundEndpoint& found);
    void openCells(FoundEndpoint& found);

    bool exclusiveMode;
    bool everyEndpoint;
    bool opensCells = false;
    OpenProgress openProgress;
    bool hung = false;
    std::unique_ptr<TimedWorker> worker;
    std::shared_ptr<WorkerState> state;
    bool serviceFailed = false;
    bool defaultsRead = false;
    EndpointDefaults defaults;
    std::vector<std::u16string> matched;
    HardwareReader hardware;
};
