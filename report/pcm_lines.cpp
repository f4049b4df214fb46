#include "report/pcm_lines.h"

#include "output/report_stream.h"
#include "output/standard_output.h"

const PcmFormat pcmFormats[pcmFormatCount] = {
    {WAVE_FORMAT_1M08, 11025, 1, 8, "\t\tPCM, 11.025 kHz, mono,    8 bit"},
    {WAVE_FORMAT_1M16, 11025, 1, 16, "\t\tPCM, 11.025 kHz, mono,   16 bit"},
    {WAVE_FORMAT_1S08, 11025, 2, 8, "\t\tPCM, 11.025 kHz, stereo,  8 bit"},
    {WAVE_FORMAT_1S16, 11025, 2, 16, "\t\tPCM, 11.025 kHz, stereo, 16 bit"},
    {WAVE_FORMAT_2M08, 22050, 1, 8, "\t\tPCM, 22.050 kHz, mono,    8 bit"},
    {WAVE_FORMAT_2M16, 22050, 1, 16, "\t\tPCM, 22.050 kHz, mono,   16 bit"},
    {WAVE_FORMAT_2S08, 22050, 2, 8, "\t\tPCM, 22.050 kHz, stereo,  8 bit"},
    {WAVE_FORMAT_2S16, 22050, 2, 16, "\t\tPCM, 22.050 kHz, stereo, 16 bit"},
    {WAVE_FORMAT_4M08, 44100, 1, 8, "\t\tPCM, 44.100 kHz, mono,    8 bit"},
    {WAVE_FORMAT_4M16, 44100, 1, 16, "\t\tPCM, 44.100 kHz, mono,   16 bit"},
    {WAVE_FORMAT_4S08, 44100, 2, 8, "\t\tPCM, 44.100 kHz, stereo,  8 bit"},
    {WAVE_FORMAT_4S16, 44100, 2, 16, "\t\tPCM, 44.100 kHz, stereo, 16 bit"},
};

void printPcmFlags(std::ostream& out, DWORD dwFormats) {
    out << std::endl;
    for (const PcmFormat& format : pcmFormats)
        if ((dwFormats & format.bit) != 0)
            out << format.line << std::endl;
    out << std::endl;
}

void printPcmFlags(DWORD dwFormats) {
    StandardOutput output;
    ReportStream out(output.sink());
    printPcmFlags(out, dwFormats);
}
