// The slow mode's probe of one device: the catalogue formats the device says it
// could be opened with, in catalogue order.
#pragma once

#include "platform/audio_services.h"

#include <cstdint>

class AcceptedFormatSink;

// Asks the device every catalogue format and hands the accepted ones to the sink.
void probeDeviceFormats(std::int32_t id, DeviceDirection direction, AcceptedFormatSink& sink);
