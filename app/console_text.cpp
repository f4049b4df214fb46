#include "app/console_text.h"

void writeBanner(std::ostream& out) {
    out << std::endl
        << "Sndscout" << std::endl
        << "Waveform audio devices and the formats they accept" << std::endl
        << std::endl;
}

// Plain line feeds: standard output is in text mode, where each one leaves as
// the platform's line end.
const char usageText[] =
    "Enter \n"
    "\n"
    "       sndscout\n"
    "       sndscout [ - | / ] s[low]\n"
    "       sndscout [ - | / ] f[ast]\n"
    "       sndscout [ - | /]  q[uick]\n"
    "\n"
    "To view an enumeration of all the audio devices on this system\n"
    "and the formats that they support. By default a slow enumeration is\n"
    "done in which an attempt is made to determime all known formats.\n"
    "Specify quick or fast for an enumeration limited to PCM formats.\n"
    "\n"
    "       sndscout [ - | / ] e[xclusive]\n"
    "       sndscout [ mode ] [ - | -- | / ] j[son]\n"
    "\n"
    "Specify exclusive for each device's endpoint: its full name, default\n"
    "roles, shared-mode format and the formats it takes in exclusive mode.\n"
    "Add json, before or after the mode, for the report as one JSON document.\n";

void printUsage(std::ostream& out) {
    out << usageText;
}
