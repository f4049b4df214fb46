// The words both writers use for what the endpoint service reports.
#pragma once

#include "exclusive/exclusive_probe.h"
#include "platform/endpoint_services.h"

#include <cstdint>
#include <string>

// "speakers", "headphones", "S/PDIF", "HDMI", ...; "unknown" past the known ones.
const char* formFactorName(std::uint32_t formFactor);

// "console", "multimedia", "communications".
const char* roleName(EndpointRole role);

// "ok", "not allowed", "busy", "gone", "unavailable".
const char* exclusiveStatusName(ExclusiveStatus status);

// The speakers of a channel mask, short and in bit order: "FL FR FC LFE".
// Bits past the eighteen named speakers show as one hexadecimal rest.
std::string speakerNames(DWORD channelMask);
