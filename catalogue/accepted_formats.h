// Where the slow mode's probe hands the catalogue formats a device accepts, as
// they are found.
#pragma once

#include "platform/audio_services.h"

class AcceptedFormatSink {
public:
    virtual ~AcceptedFormatSink() = default;

    virtual void beginAcceptedFormats() = 0;
    virtual void acceptedFormat(const FormatHeader& format) = 0;
    // A query passed its time limit: the formats after it are not asked.
    virtual void formatsNotAnswering() = 0;
    virtual void endAcceptedFormats() = 0;
};
