// The slow mode's probe of one device: the catalogue formats the device says it
// could be opened with, in catalogue order.
#pragma once

#include "platform/audio_services.h"

#include <cstdint>
#include <optional>

class AcceptedFormatSink;

// Asks whether the device could be opened with the format; opens nothing.
// 0 means it could.
MMRESULT askDevice(std::int32_t id, DeviceDirection direction, const FormatHeader* format);

// How the probe asks: the answer, or nothing when the device did not answer
// in time and the formats after this one are not to be asked.
class FormatQuery {
public:
    virtual ~FormatQuery() = default;
    virtual std::optional<MMRESULT> ask(std::int32_t id, DeviceDirection direction,
                                        const FormatHeader& format) = 0;
};

// Asks the device every catalogue format and hands the accepted ones to the sink.
void probeDeviceFormats(std::int32_t id, DeviceDirection direction, AcceptedFormatSink& sink);
void probeDeviceFormats(std::int32_t id, DeviceDirection direction, AcceptedFormatSink& sink,
                        FormatQuery& query);
