// Runs the real sndscout.exe beside this program and compares its standard
// output, byte for byte, with a report built here from what the live platform
// answers. The expected text is made with this file's own plain formatting, so
// a fault in the program's listing or catalogue code cannot hide in both.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "live_formats.h"
#include "program_run.h"
#include "report/manufacturer_names.h"
#include "support/expected_texts.h"

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

enum class Mode { Quick, Slow, Usage };

const char* modeName(Mode mode) {
    switch (mode) {
    case Mode::Quick:
        return "quick";
    case Mode::Slow:
        return "slow";
    case Mode::Usage:
        return "usage";
    }
    return "?";
}

// ---- What the live platform says, asked once --------------------------------

struct CatalogueFormat {
    WAVEFORMATEX header; // cbSize always 0, as the program queries with it
    std::string tagName;
};

struct Device {
    UINT id;
    std::string name; // as the report shows it: at most the 32-byte field
    WORD mid;
    DWORD formats;
    std::vector<bool> accepts; // per catalogue format, in catalogue order
};

struct Platform {
    std::vector<CatalogueFormat> catalogue; // sorted the way the report lists it
    std::vector<Device> inputs;
    std::vector<Device> outputs;
};

// Driver and codec text as the report shows it: up to the NUL or the end of the
// field, control bytes as '?'.
std::string shownText(const char* field, std::size_t limit) {
    std::string text;
    for (std::size_t i = 0; i < limit && field[i] != '\0'; ++i) {
        const auto byte = static_cast<unsigned char>(field[i]);
        text += byte < 0x20 || byte == 0x7F ? '?' : field[i];
    }
    return text;
}

std::string tagName(WORD tag) {
    ACMFORMATTAGDETAILSA details;
    std::memset(&details, 0, sizeof details);
    details.cbStruct = sizeof details;
    details.dwFormatTag = tag;
    if (acmFormatTagDetailsA(nullptr, &details, ACM_FORMATTAGDETAILSF_FORMATTAG) !=
        MMSYSERR_NOERROR)
        return "???";
    return shownText(details.szFormatTag, sizeof details.szFormatTag);
}

std::vector<CatalogueFormat> liveCatalogue() {
    std::vector<WAVEFORMATEX> headers = liveCodecFormats();
    // Formats equal in these four keys print the same line, so their relative
    // order cannot show in the report.
    std::stable_sort(headers.begin(), headers.end(),
                     [](const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
                         if (a.wFormatTag != b.wFormatTag)
                             return a.wFormatTag < b.wFormatTag;
                         if (a.nSamplesPerSec != b.nSamplesPerSec)
                             return a.nSamplesPerSec < b.nSamplesPerSec;
                         if (a.wBitsPerSample != b.wBitsPerSample)
                             return a.wBitsPerSample < b.wBitsPerSample;
                         return a.nChannels < b.nChannels;
                     });
    std::map<WORD, std::string> names;
    std::vector<CatalogueFormat> catalogue;
    for (const WAVEFORMATEX& header : headers) {
        auto name = names.find(header.wFormatTag);
        if (name == names.end())
            name = names.emplace(header.wFormatTag, tagName(header.wFormatTag)).first;
        catalogue.push_back({header, name->second});
    }
    return catalogue;
}

template <class Caps>
std::vector<Device> liveDevices(UINT count, MMRESULT (*askCaps)(UINT, Caps*),
                                bool (*accepts)(UINT, WAVEFORMATEX*),
                                const std::vector<CatalogueFormat>& catalogue) {
    std::vector<Device> devices;
    for (UINT id = 0; id < count; ++id) {
        Caps caps;
        const MMRESULT result = askCaps(id, &caps);
        if (result == MMSYSERR_BADDEVICEID)
            break;
        if (result != MMSYSERR_NOERROR)
            continue;
        Device device{
            id, shownText(caps.szPname, sizeof caps.szPname), caps.wMid, caps.dwFormats, {}};
        for (const CatalogueFormat& format : catalogue) {
            WAVEFORMATEX header = format.header;
            device.accepts.push_back(accepts(id, &header));
        }
        devices.push_back(device);
    }
    return devices;
}

MMRESULT inputCaps(UINT id, WAVEINCAPSA* caps) {
    return waveInGetDevCapsA(id, caps, sizeof *caps);
}
MMRESULT outputCaps(UINT id, WAVEOUTCAPSA* caps) {
    return waveOutGetDevCapsA(id, caps, sizeof *caps);
}
bool inputAccepts(UINT id, WAVEFORMATEX* format) {
    return waveInOpen(nullptr, id, format, 0, 0, WAVE_FORMAT_QUERY) == MMSYSERR_NOERROR;
}
bool outputAccepts(UINT id, WAVEFORMATEX* format) {
    return waveOutOpen(nullptr, id, format, 0, 0, WAVE_FORMAT_QUERY) == MMSYSERR_NOERROR;
}

Platform livePlatform() {
    Platform platform;
    platform.catalogue = liveCatalogue();
    platform.inputs = liveDevices(waveInGetNumDevs(), inputCaps, inputAccepts, platform.catalogue);
    platform.outputs =
        liveDevices(waveOutGetNumDevs(), outputCaps, outputAccepts, platform.catalogue);
    return platform;
}

// ---- The report it should print ----------------------------------------------

// Standard output is in text mode: every line leaves with CR LF.
void addLine(std::string& text, const std::string& line) {
    text += line + "\r\n";
}

void addBanner(std::string& text) {
    for (const char* line : expectedBanner)
        addLine(text, line);
}

void addUsage(std::string& text) {
    for (const char* line : expectedUsage)
        addLine(text, line);
}

// The capability bits in the order the quick report lists them.
struct PcmBit {
    DWORD bit;
    const char* line;
};
const PcmBit pcmBits[] = {
    {0x001, "\t\tPCM, 11.025 kHz, mono,    8 bit"}, {0x004, "\t\tPCM, 11.025 kHz, mono,   16 bit"},
    {0x002, "\t\tPCM, 11.025 kHz, stereo,  8 bit"}, {0x008, "\t\tPCM, 11.025 kHz, stereo, 16 bit"},
    {0x010, "\t\tPCM, 22.050 kHz, mono,    8 bit"}, {0x040, "\t\tPCM, 22.050 kHz, mono,   16 bit"},
    {0x020, "\t\tPCM, 22.050 kHz, stereo,  8 bit"}, {0x080, "\t\tPCM, 22.050 kHz, stereo, 16 bit"},
    {0x100, "\t\tPCM, 44.100 kHz, mono,    8 bit"}, {0x400, "\t\tPCM, 44.100 kHz, mono,   16 bit"},
    {0x200, "\t\tPCM, 44.100 kHz, stereo,  8 bit"}, {0x800, "\t\tPCM, 44.100 kHz, stereo, 16 bit"},
};

std::string formatLine(const CatalogueFormat& format) {
    const WAVEFORMATEX& h = format.header;
    char tail[64];
    std::snprintf(tail, sizeof tail, ", %3lu.%03lu kHz, %s%3u bit",
                  static_cast<unsigned long>(h.nSamplesPerSec / 1000),
                  static_cast<unsigned long>(h.nSamplesPerSec % 1000),
                  h.nChannels == 1 ? "mono,  " : "stereo,",
                  static_cast<unsigned>(h.wBitsPerSample));
    return "\t\t" + format.tagName + tail;
}

void addSection(std::string& text, const char* title, const char* underline,
                const std::vector<Device>& devices, const std::vector<CatalogueFormat>& catalogue,
                Mode mode) {
    addLine(text, title);
    addLine(text, underline);
    addLine(text, "");
    for (const Device& device : devices) {
        addLine(text, std::to_string(device.id) + ".\t" + device.name + " / " +
                          manufacturerName(device.mid));
        addLine(text, "");
        if (mode == Mode::Quick) {
            for (const PcmBit& pcm : pcmBits)
                if ((device.formats & pcm.bit) != 0)
                    addLine(text, pcm.line);
        } else {
            for (std::size_t i = 0; i < catalogue.size(); ++i)
                if (device.accepts[i])
                    addLine(text, formatLine(catalogue[i]));
        }
        addLine(text, "");
    }
    addLine(text, "");
}

std::string expectedOutput(const Platform& platform, Mode mode) {
    std::string text;
    addBanner(text);
    if (mode == Mode::Usage) {
        addUsage(text);
        return text;
    }
    addSection(text, "        Input Devices", "        -------------", platform.inputs,
               platform.catalogue, mode);
    addSection(text, "        Output Devices", "        --------------", platform.outputs,
               platform.catalogue, mode);
    return text;
}

struct Case {
    std::vector<std::string> args;
    Mode mode;
};

// The command line picks the mode; the rest of the report follows from it.
const Case cases[] = {
    {{}, Mode::Slow},
    {{"quick"}, Mode::Quick},
    {{"fast"}, Mode::Quick},
    {{"q"}, Mode::Quick},
    {{"/F"}, Mode::Quick},
    {{"-Qui"}, Mode::Quick},
    {{"fA"}, Mode::Quick},
    {{"QUICK"}, Mode::Quick},
    {{"s"}, Mode::Slow},
    {{"-slow"}, Mode::Slow},
    {{"/S"}, Mode::Slow},
    {{"Slow"}, Mode::Slow},
    // Blanks after the option prefix are skipped, control and high bytes count as blanks.
    {{"- q"}, Mode::Quick},
    {{"\tq"}, Mode::Quick},
    {{"\xA0s"}, Mode::Slow},
    {{"-"}, Mode::Usage},
    {{"/"}, Mode::Usage},
    {{"- "}, Mode::Usage},
    {{"x"}, Mode::Usage},
    {{"qx"}, Mode::Usage},
    {{"slowly"}, Mode::Usage},
    {{"fastest"}, Mode::Usage},
    {{"--slow"}, Mode::Usage},
    {{" -s"}, Mode::Usage},
    {{"slow "}, Mode::Usage},
    {{""}, Mode::Usage},
    {{"  "}, Mode::Usage},
    // A bare prefix or an empty first argument takes the word from the second.
    {{"-", "slow"}, Mode::Slow},
    {{"/", " fast"}, Mode::Quick},
    {{"- ", "q"}, Mode::Quick},
    {{"-", "-slow"}, Mode::Usage},
    {{"/", ""}, Mode::Usage},
    {{"", "q"}, Mode::Quick},
    {{"", ""}, Mode::Usage},
    // The second argument counts only when the first gives no word.
    {{"x", "slow"}, Mode::Usage},
    {{"q", "slow"}, Mode::Quick},
    {{"s", "x", "y"}, Mode::Slow},
};

// Writes that cannot arrive must give exit status 1, in every mode.
const Case closedPipeCases[] = {
    {{"quick"}, Mode::Quick},
    {{}, Mode::Slow},
    {{"xyz"}, Mode::Usage},
};

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::string program = programBeside("sndscout.exe");
    if (GetFileAttributesA(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::printf("FAIL cannot find %s\n", program.c_str());
        return 1;
    }
    const Platform platform = livePlatform();
    // The longest name tells whether the prefix gave a device whose name the
    // driver had to cut to its field.
    std::size_t longestName = 0;
    for (const auto* devices : {&platform.inputs, &platform.outputs})
        for (const Device& device : *devices)
            longestName = std::max(longestName, device.name.size());
    std::printf("live platform: %zu inputs, %zu outputs, %zu catalogue formats, longest device "
                "name %zu bytes\n",
                platform.inputs.size(), platform.outputs.size(), platform.catalogue.size(),
                longestName);

    int failures = 0;
    for (const Case& c : cases) {
        const std::string label = std::string(modeName(c.mode)) + " " + describeArgs(c.args);
        const ProgramRun run = runProgram(program, c.args);
        if (!run.started) {
            std::printf("FAIL %s: could not start (error %lu)\n", label.c_str(),
                        static_cast<unsigned long>(run.startError));
            ++failures;
            continue;
        }
        const std::string expected = expectedOutput(platform, c.mode);
        bool good = true;
        if (run.output != expected) {
            reportDifference(label, expected, run.output);
            good = false;
        }
        if (run.status != 0) {
            std::printf("FAIL %s: exit status %lu, expected 0\n", label.c_str(),
                        static_cast<unsigned long>(run.status));
            good = false;
        }
        if (!good) {
            ++failures;
            continue;
        }
        if (c.mode == Mode::Usage)
            std::printf("ok   %s: %zu bytes\n", label.c_str(), run.output.size());
        else
            std::printf("ok   %s: %zu bytes, %zu input and %zu output devices\n", label.c_str(),
                        run.output.size(), platform.inputs.size(), platform.outputs.size());
    }

    for (const Case& c : closedPipeCases) {
        const std::string label =
            std::string(modeName(c.mode)) + " " + describeArgs(c.args) + " into a closed pipe";
        const ProgramRun run = runProgram(program, c.args, OutputPipe::Closed);
        if (!run.started) {
            std::printf("FAIL %s: could not start (error %lu)\n", label.c_str(),
                        static_cast<unsigned long>(run.startError));
            ++failures;
        } else if (run.status != 1) {
            std::printf("FAIL %s: exit status %lu, expected 1\n", label.c_str(),
                        static_cast<unsigned long>(run.status));
            ++failures;
        } else {
            std::printf("ok   %s: exit status 1\n", label.c_str());
        }
    }

    std::printf("%d of %zu cases failed\n", failures,
                sizeof cases / sizeof cases[0] +
                    sizeof closedPipeCases / sizeof closedPipeCases[0]);
    return failures == 0 ? 0 : 1;
}
