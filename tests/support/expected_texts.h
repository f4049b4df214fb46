// The program's fixed texts as the tests expect them, line by line, without
// line ends.
#pragma once

#include <cstdint>

constexpr const char* expectedBanner[] = {
    "",
    "Sndscout",
    "Waveform audio devices and the formats they accept",
    "",
};

constexpr const char* expectedUsage[] = {
    "Enter ",
    "",
    "       sndscout",
    "       sndscout [ - | / ] s[low]",
    "       sndscout [ - | / ] f[ast]",
    "       sndscout [ - | /]  q[uick]",
    "",
    "To view an enumeration of all the audio devices on this system",
    "and the formats that they support. By default a slow enumeration is",
    "done in which an attempt is made to determime all known formats.",
    "Specify quick or fast for an enumeration limited to PCM formats.",
    "",
    "       sndscout [ - | / ] e[xclusive]",
    "       sndscout [ mode ] [ - | -- | / ] j[son]",
    "",
    "Specify exclusive for each device's endpoint: its full name, default",
    "roles, shared-mode format and the formats it takes in exclusive mode.",
    "Add json, before or after the mode, for the report as one JSON document.",
};

// An endpoint's form factor as the service numbers them; a display (9) is
// "HDMI" or "DisplayPort" only when its jack says so.
constexpr const char* expectedFormFactors[] = {
    "remote network device",
    "speakers",
    "line",
    "headphones",
    "microphone",
    "headset",
    "handset",
    "digital passthrough",
    "S/PDIF",
    "digital display",
    "unknown",
};

constexpr const char* expectedFormFactor(std::uint32_t formFactor) {
    return formFactor < sizeof expectedFormFactors / sizeof expectedFormFactors[0]
               ? expectedFormFactors[formFactor]
               : "unknown";
}
