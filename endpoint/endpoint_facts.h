// What can be found out about a device's endpoint: who it is, whether it is a
// default, how it is set and used, its shared-mode format and what it takes in
// exclusive mode. Each thing that cannot be had is left unset; the rest stands.
#pragma once

#include "exclusive/exclusive_probe.h"
#include "hardware/hardware_facts.h"
#include "platform/endpoint_services.h"
#include "verify/cell_opens.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

// One audio session on the endpoint: a program playing or recording through it.
struct AudioSession {
    std::optional<std::uint32_t> processId;
    std::optional<std::u16string> program; // its image's file name
    std::optional<std::uint32_t> state;    // 0 inactive, 1 active, 2 expired
    bool systemSounds = false;
};

// How the endpoint is set and who uses it; read in the exclusive mode only.
// An endpoint that is not active has no audio client to ask, so it gives its
// state and properties only.
struct EndpointCondition {
    std::optional<std::uint32_t> state;        // endpointActive, endpointDisabled, ...
    std::optional<FormatReading> deviceFormat; // the Sound control panel's format
    std::optional<bool> enhancements;          // system effects on
    std::optional<DevicePeriods> devicePeriods;
    std::optional<EnginePeriods> enginePeriods; // at the mix format
    std::optional<VolumeReading> volume;
    std::optional<std::vector<AudioSession>> sessions;

    // Asked only of an endpoint not known to be out of use.
    bool active() const { return !state || *state == endpointActive; }
};

struct EndpointFacts {
    std::u16string id;
    DeviceDirection direction = 'O';
    std::optional<std::u16string> name; // the friendly name, whole
    std::optional<std::u16string> adapter;
    std::optional<std::uint32_t> formFactor;
    std::optional<std::u16string> jackSubtype; // asked of a digital display only
    // Whether it is the default for each role; unset when that could not be asked.
    std::optional<std::array<bool, endpointRoleCount>> defaultFor;
    std::optional<EndpointCondition> condition; // in the exclusive mode
    std::optional<EndpointHardware> hardware;   // in the exclusive mode
};

// What the endpoint does with formats; found in the exclusive mode only.
struct EndpointFormats {
    std::optional<FormatReading> mix;
    ExclusiveFindings exclusive;
    std::optional<CellOpens> opens; // in the verify mode: what opening the cells gave
};

// The default endpoints of both directions, asked once per run.
struct EndpointDefaults {
    bool known[2] = {false, false}; // per direction: 0 input, 1 output
    std::u16string ids[2][endpointRoleCount];
};

// Whether two endpoint ids name the same endpoint: a driver may spell an id
// in another case than the service does.
bool sameEndpointId(const std::u16string& a, const std::u16string& b);

// Whether the endpoint is the default for each role; unset when the defaults
// of its direction could not be asked.
std::optional<std::array<bool, endpointRoleCount>> defaultRolesOf(const std::u16string& id,
                                                                  DeviceDirection direction,
                                                                  const EndpointDefaults& defaults);

// The report's reason for an answer that leaves the endpoint's formats
// unasked; Ok for Ok.
ExclusiveStatus stopReasonOf(EndpointAnswer answer);

// Levels the service documents: finite decibels, a scalar from 0 to 1.
bool plausibleVolume(const VolumeReading& v);

// Sessions as the report gives them: each program by its image's file name.
std::vector<AudioSession> sessionsOf(const std::vector<SessionReading>& readings);
