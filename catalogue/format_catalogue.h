// The catalogue of every format the installed codecs offer, each kept once, in a
// fixed order, with the display names of their format tags.
#pragma once

#include "container/keyed_list.h"
#include "platform/audio_services.h"

// A format tag and its display name. The tag is the first field, so an entry is
// found by its first two bytes.
struct FormatTagEntry {
    WORD formatTag;
    char name[ACMFORMATTAGDETAILS_FORMATTAG_CHARS + 1]; // always NUL-terminated
};

extern KeyedList formatTagNames; // FormatTagEntry records
extern KeyedList knownFormats;   // FormatHeader records, cbSize always 0

// Runs the compression manager's input and output enumerations into the lists.
void collectCodecFormats();

// Called by the manager for each format it enumerates; always goes on.
BOOL CALLBACK onCodecFormat(HACMDRIVERID driverId, LPACMFORMATDETAILSA details, DWORD_PTR instance,
                            DWORD support);

// Puts knownFormats in the order of compareFormats. When memory runs short it
// leaves the catalogue as it was.
void sortKnownFormats();

// Orders by tag, sample rate, bits per sample and channels: -1, 0 or 1.
int compareFormats(const FormatHeader& a, const FormatHeader& b);

// The tag's display name, or "???" when the manager gave none.
const char* formatTagName(WORD tag);

// The tag's display name, or null when the manager gave none.
const char* findFormatTagName(WORD tag);
