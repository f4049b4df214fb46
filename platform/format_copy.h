// A format the service hands over, copied whole on both sides of the seam.
#pragma once

#include "platform/audio_services.h"

#include <cstddef>
#include <cstring>
#include <vector>

// The bytes a format holds: the header and, for a tag that carries them, its
// cbSize extra bytes. Plain PCM carries none, and its cbSize is to be ignored:
// a driver may leave anything there, so reading that far could leave the
// service's allocation.
inline std::size_t formatByteCount(const WAVEFORMATEX& format) {
    if (format.wFormatTag == WAVE_FORMAT_PCM)
        return sizeof(WAVEFORMATEX);
    return sizeof(WAVEFORMATEX) + format.cbSize;
}

// Copies the format; a plain PCM header's cbSize reads 0 in the copy.
inline void copyFormat(const WAVEFORMATEX* format, std::vector<unsigned char>* bytes) {
    const auto* first = reinterpret_cast<const unsigned char*>(format);
    bytes->assign(first, first + formatByteCount(*format));
    if (format->wFormatTag == WAVE_FORMAT_PCM)
        std::memset(bytes->data() + offsetof(WAVEFORMATEX, cbSize), 0, sizeof format->cbSize);
}
