// The endpoint side of one run: the service, the defaults and which endpoints
// the waveform devices have led to so far. Nothing here throws: whatever cannot
// be had, memory included, is left out of what is handed back.
#pragma once

#include "endpoint/endpoint_facts.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// One endpoint as the report shows it: who it is and, in the exclusive mode,
// what it does with formats.
struct FoundEndpoint {
    EndpointFacts facts;
    std::optional<EndpointFormats> formats;
};

class EndpointSession {
public:
    // Starts the service; with `probeFormats` every endpoint found is also
    // asked its mix format and its exclusive formats.
    explicit EndpointSession(bool probeFormats);
    ~EndpointSession();
    EndpointSession(const EndpointSession&) = delete;
    EndpointSession& operator=(const EndpointSession&) = delete;

    // The endpoint of a waveform device; nothing when it cannot be had.
    std::optional<FoundEndpoint> deviceEndpoint(DeviceDirection direction, UINT id);

    // The active endpoints of a direction that no device has led to yet.
    std::vector<FoundEndpoint> unmatchedEndpoints(DeviceDirection direction);

private:
    std::optional<FoundEndpoint> find(const std::u16string& id, DeviceDirection direction);

    bool probeFormats;
    EndpointService* service = nullptr;
    EndpointDefaults defaults;
    std::vector<std::u16string> matched;
};
