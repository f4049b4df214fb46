// Under a device line in the slow mode: the catalogue formats the device says it
// could be opened with, one line each, in catalogue order.
#pragma once

#include "platform/audio_services.h"

#include <cstdint>

class ReportWriter;

// Asks the device every catalogue format and hands the accepted ones to the writer.
void probeDeviceFormats(std::int32_t id, DeviceDirection direction, ReportWriter& writer);

// The same, written as text on standard output.
void probeDeviceFormats(std::int32_t id, DeviceDirection direction);
