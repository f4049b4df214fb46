// The formats the exclusive-mode probe asks about: seven sample types, seventeen
// rates, the channel counts and, for each count, the shapes tried in order.
#pragma once

#include "platform/audio_services.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// In the order the report lists them.
enum class SampleType : std::uint8_t {
    Uint8,
    Int16,
    Int24,
    Int24In32, // 24 valid bits in a 32-bit container
    Int32,
    Float32,
    Float64,
};
constexpr std::size_t sampleTypeCount = 7;

// "uint8", "int16", "int24", "int24in32", "int32", "float32", "float64".
const char* sampleTypeName(SampleType type);

constexpr std::size_t matrixRateCount = 17;
extern const DWORD matrixRates[matrixRateCount]; // 8000 to 768000, rising

// The channel counts asked, rising: 1 to 8, or to the mix format's count when
// it has more, at most 32.
std::vector<unsigned> matrixChannelCounts(unsigned mixChannels);

// How a query describes its channels: WAVE_FORMAT_EXTENSIBLE with a channel
// mask (0 is allowed), or the plain 18-byte header with no mask at all.
struct FormatShape {
    bool extensible = true;
    DWORD channelMask = 0;
};
bool operator==(const FormatShape& a, const FormatShape& b);
bool operator!=(const FormatShape& a, const FormatShape& b);

// The usual speaker layout for a channel count (mono is front centre, stereo
// front left and right, 5.1 with back speakers, 7.1 with side ones, ...), or 0
// when there is none.
DWORD standardChannelMask(unsigned channels);

// The shapes asked for a type and a channel count, in order of preference: the
// standard mask, the usual alternatives (5.1 with side speakers, 7.1 wide), the
// mix format's own mask when it has this count and is none of those, then mask
// 0; and for 1 or 2 channels of 8- or 16-bit integer, last, the plain header.
std::vector<FormatShape> shapesFor(SampleType type, unsigned channels, unsigned mixChannels,
                                   DWORD mixMask);

// The format asked for one cell of the matrix. A plain shape gives a
// WAVE_FORMAT_PCM header (WAVE_FORMAT_IEEE_FLOAT for the float types) with
// cbSize 0 in `Format`; it cannot say int24in32. Ask with &result.Format.
WAVEFORMATEXTENSIBLE queryFormat(SampleType type, unsigned channels, DWORD rate, FormatShape shape);

// A format read back, as the report names it.
struct FormatReading {
    std::optional<SampleType> sample; // none when it is none of the seven
    DWORD rate = 0;
    unsigned channels = 0;
    std::optional<DWORD> channelMask; // none for a plain header
};

// Reads `size` bytes of a format: a plain header or an extensible one.
// Nothing when the bytes are too few for what the header says it is.
std::optional<FormatReading> readFormat(const unsigned char* bytes, std::size_t size);
