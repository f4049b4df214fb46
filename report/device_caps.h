// What the report reads of a device's capability record, either direction.
#pragma once

#include "platform/audio_services.h"

struct DeviceCaps {
    WORD wMid;
    char szPname[MAXPNAMELEN]; // may fill all 32 bytes with no terminator
    DWORD dwFormats;
};
