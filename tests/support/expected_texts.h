// The program's fixed texts as the tests expect them, line by line, without
// line ends.
#pragma once

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
