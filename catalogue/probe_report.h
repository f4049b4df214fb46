// Under a device line in the slow mode: the catalogue formats the device says it
// could be opened with, one line each, in catalogue order.
#pragma once

#include "platform/audio_services.h"

#include <cstdint>

void probeDeviceFormats(std::int32_t id, DeviceDirection direction);
