// The words the endpoint view writes its readings in, which the watch's lines
// use too: formats, states, roles, volumes, sessions.
#pragma once

#include "endpoint/endpoint_facts.h"

#include <array>
#include <optional>
#include <string>

// "channel mask 0x60F (FL FR FC LFE SL SR)", or "no channel mask" for 0.
std::string maskText(DWORD mask);

// "48 kHz, 2 channels, float32, channel mask 0x3 (FL FR)".
std::string mixText(const FormatReading& format);

// "active", "disabled", "not present", "unplugged (not connected)", "unknown".
const char* stateText(const std::optional<std::uint32_t>& state);

// "console, multimedia"; "none" for no role, "unknown" when not known.
std::string rolesText(const std::optional<std::array<bool, endpointRoleCount>>& roles);

// A number as short as it is exact to `places` decimals: "-6.5", "0", "0.75".
std::string decimalText(double value, int places);

// "-6.5 dB (71%), not muted".
std::string levelText(const VolumeReading& volume);
// The level and "; range -65.25 to 0 dB in steps of 0.75 dB".
std::string volumeText(const VolumeReading& volume);

// What names a session's program when its file name does not: "System sounds",
// "unknown program"; null when the file name does.
const char* sessionProgramWord(const AudioSession& session);
// ", process 4312", or nothing when the number is not shown.
std::string sessionProcessText(const AudioSession& session);
