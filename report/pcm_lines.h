// Under a device line in the quick mode: the standard PCM formats the device
// claims in its capability bits.
#pragma once

#include "platform/audio_services.h"

void printPcmFlags(DWORD dwFormats);
