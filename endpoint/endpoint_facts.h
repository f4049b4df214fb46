// What can be found out about a device's endpoint: who it is, whether it is a
// default, its shared-mode format and what it takes in exclusive mode. Each
// thing that cannot be had is left unset; the rest stands.
#pragma once

#include "exclusive/exclusive_probe.h"
#include "platform/endpoint_services.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

struct EndpointFacts {
    std::u16string id;
    DeviceDirection direction = 'O';
    std::optional<std::u16string> name; // the friendly name, whole
    std::optional<std::u16string> adapter;
    std::optional<std::uint32_t> formFactor;
    // Whether it is the default for each role; unset when that could not be asked.
    std::optional<std::array<bool, endpointRoleCount>> defaultFor;
};

// What the endpoint does with formats; found in the exclusive mode only.
struct EndpointFormats {
    std::optional<FormatReading> mix;
    ExclusiveFindings exclusive;
};

// The default endpoints of both directions, asked once per run.
struct EndpointDefaults {
    bool known[2] = {false, false}; // per direction: 0 input, 1 output
    std::u16string ids[2][endpointRoleCount];
};

EndpointDefaults readEndpointDefaults(EndpointService* service);

// Reads the endpoint's identity from the open device.
EndpointFacts readEndpointFacts(EndpointDevice* device, const std::u16string& id,
                                DeviceDirection direction, const EndpointDefaults& defaults);

// Reads the mix format and probes every exclusive format.
EndpointFormats findEndpointFormats(EndpointDevice* device);
