// The words both writers use for what the endpoint service reports.
#pragma once

#include "exclusive/exclusive_probe.h"
#include "platform/endpoint_services.h"

#include <cstdint>
#include <optional>
#include <string>

// The form factor the service numbers 9.
constexpr std::uint32_t formFactorDigitalDisplay = 9;

// "speakers", "headphones", "S/PDIF", ...; "unknown" past the known ones. A
// digital display is "HDMI" or "DisplayPort" when its jack says which, else
// "digital display".
const char* formFactorName(std::uint32_t formFactor,
                           const std::optional<std::u16string>& jackSubtype);

// "console", "multimedia", "communications".
const char* roleName(EndpointRole role);

// "ok", "not allowed", "busy", "gone", "access denied", "unavailable",
// "not answering", "inactive", "too slow".
const char* exclusiveStatusName(ExclusiveStatus status);

// "active", "disabled", "notPresent", "unplugged"; null for anything else.
const char* endpointStateName(std::uint32_t state);

// "inactive", "active", "expired"; null for anything else.
const char* sessionStateName(std::uint32_t state);

// A value rounded to `places` decimals, as both writers give it.
double roundedTo(double value, int places);

// The device periods in milliseconds: 100-ns units, to 4 decimals.
double periodMilliseconds(std::int64_t period);

// A volume scalar (0 to 1) as a whole percentage.
long percentOf(float scalar);

// The speakers of a channel mask, short and in bit order: "FL FR FC LFE".
// Bits past the eighteen named speakers show as one hexadecimal rest.
std::string speakerNames(DWORD channelMask);
