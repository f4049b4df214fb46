// Under a device line in the quick mode: the standard PCM formats the device
// claims in its capability bits.
#pragma once

#include "platform/audio_services.h"

#include <cstddef>
#include <ostream>

// One capability bit, the format it claims and the line that says so.
struct PcmFormat {
    DWORD bit;
    DWORD rate;
    WORD channels;
    WORD bits;
    const char* line;
};

// For each rate: mono 8-bit, mono 16-bit, stereo 8-bit, stereo 16-bit, which is
// not the order of the bit values.
constexpr std::size_t pcmFormatCount = 12;
extern const PcmFormat pcmFormats[pcmFormatCount];

void printPcmFlags(std::ostream& out, DWORD dwFormats);
// The same on standard output.
void printPcmFlags(DWORD dwFormats);
