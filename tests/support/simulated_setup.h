// Short ways to furnish the simulated machine, and to put the program's global
// catalogue back to empty between runs.
#pragma once

#include "platform/simulated_machine.h"

// A header with the average byte rate and block alignment a codec would give.
FormatHeader formatHeader(WORD tag, DWORD rate, WORD bits, WORD channels, WORD cbSize = 0);
FormatHeader pcm(DWORD rate, WORD bits, WORD channels);

simulated::Device device(const char* name, WORD wMid = 0, DWORD dwFormats = 0);

// Makes a codec offer the format, for input, output or both.
void offerFormat(const FormatHeader& header,
                 DWORD offeredFor = ACM_FORMATENUMF_INPUT | ACM_FORMATENUMF_OUTPUT);
void nameTag(WORD tag, const char* name);

// Empties both catalogue lists and frees their records.
void emptyCatalogue();

// An empty machine, no faults, an empty catalogue.
void resetEverything();
