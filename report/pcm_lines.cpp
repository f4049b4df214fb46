#include "report/pcm_lines.h"

#include <iostream>

namespace {

struct PcmLine {
    DWORD bit;
    const char* text;
};

// For each rate: mono 8-bit, mono 16-bit, stereo 8-bit, stereo 16-bit, which is
// not the order of the bit values.
const PcmLine pcmLines[] = {
    {WAVE_FORMAT_1M08, "\t\tPCM, 11.025 kHz, mono,    8 bit"},
    {WAVE_FORMAT_1M16, "\t\tPCM, 11.025 kHz, mono,   16 bit"},
    {WAVE_FORMAT_1S08, "\t\tPCM, 11.025 kHz, stereo,  8 bit"},
    {WAVE_FORMAT_1S16, "\t\tPCM, 11.025 kHz, stereo, 16 bit"},
    {WAVE_FORMAT_2M08, "\t\tPCM, 22.050 kHz, mono,    8 bit"},
    {WAVE_FORMAT_2M16, "\t\tPCM, 22.050 kHz, mono,   16 bit"},
    {WAVE_FORMAT_2S08, "\t\tPCM, 22.050 kHz, stereo,  8 bit"},
    {WAVE_FORMAT_2S16, "\t\tPCM, 22.050 kHz, stereo, 16 bit"},
    {WAVE_FORMAT_4M08, "\t\tPCM, 44.100 kHz, mono,    8 bit"},
    {WAVE_FORMAT_4M16, "\t\tPCM, 44.100 kHz, mono,   16 bit"},
    {WAVE_FORMAT_4S08, "\t\tPCM, 44.100 kHz, stereo,  8 bit"},
    {WAVE_FORMAT_4S16, "\t\tPCM, 44.100 kHz, stereo, 16 bit"},
};

} // namespace

void printPcmFlags(DWORD dwFormats) {
    std::cout << std::endl;
    for (const PcmLine& line : pcmLines)
        if ((dwFormats & line.bit) != 0)
            std::cout << line.text << std::endl;
    std::cout << std::endl;
}
