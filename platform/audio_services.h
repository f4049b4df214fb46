// The records, constants and calls of the waveform-audio service (winmm) and the
// audio compression manager (msacm32), under the platform's own names.
//
// On Windows these are the SDK's own declarations and the calls go straight to
// the system. Elsewhere the same names are declared over a simulated machine in
// this folder, so the code that uses them is the same on both sides.
#pragma once

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
#include "platform/simulated_services.h"
#endif

#include <cstddef>

// The 18-byte waveform format header: the catalogue's records, the list keys and
// the query-open calls all use exactly these bytes.
using FormatHeader = WAVEFORMATEX;

// 'I' for an input device, 'O' for an output device.
using DeviceDirection = char;

static_assert(sizeof(FormatHeader) == 18, "a format header is 18 bytes, byte-packed");
static_assert(offsetof(FormatHeader, cbSize) == 16, "cbSize is the last field of the header");
static_assert(sizeof(WAVEINCAPSA) == 48, "input capability record");
static_assert(sizeof(WAVEOUTCAPSA) == 52, "output capability record");
static_assert(sizeof(ACMFORMATTAGDETAILSA) == 72, "format tag details record");
// The details record holds a pointer, so its size follows the build: the size
// passed to the manager is always sizeof, never a number written out.
static_assert(sizeof(ACMFORMATDETAILSA) == (sizeof(void*) == 4 ? 152 : 156),
              "format details record");
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40, "extensible format: the header and 22 bytes");
