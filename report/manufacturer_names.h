// The manufacturer named by a device's wMid identifier.
#pragma once

#include "platform/audio_services.h"

// A constant text: the table's entry, or "Unknown" past its end.
const char* manufacturerName(WORD id);
