// Format bytes read and written as a driver and the endpoint service see them,
// apart from the program's own code, so that a fault in how the program builds
// or reads a format cannot hide in the tests as well.
#pragma once

#include "exclusive/format_matrix.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace format_bytes {

constexpr WORD pcmTag = 1;
constexpr WORD floatTag = 3;
constexpr WORD extensibleTag = 0xFFFE;
constexpr std::size_t extensibleSize = 40;

// Bytes 4 to 15 of both subformats; bytes 0 to 3 are the tag, little-endian.
extern const unsigned char subformatTail[12];

unsigned getWord(const unsigned char* b, std::size_t at);
DWORD getDword(const unsigned char* b, std::size_t at);
void putWord(unsigned char* b, std::size_t at, unsigned value);
void putDword(unsigned char* b, std::size_t at, DWORD value);

struct TypeBits {
    SampleType type;
    bool isFloat;
    unsigned container, valid;
    const char* word; // as the JSON report names it
};
extern const TypeBits typeBits[sampleTypeCount];
const TypeBits& bitsOf(SampleType type);
std::optional<SampleType> typeOf(bool isFloat, unsigned container, unsigned valid);

// What a format asks for, as a driver reads it.
struct DriverReading {
    SampleType type;
    unsigned channels;
    DWORD rate;
    bool extensible;
    DWORD mask; // as given; 0 for a plain header
};

// Nothing when the format's fields do not agree with each other, as a driver
// refuses such a format.
std::optional<DriverReading> readAsDriver(const WAVEFORMATEX* format);

// An extensible header with its 22 extra bytes, as the service gives a mix format.
std::vector<unsigned char> extensibleBytes(SampleType type, unsigned channels, DWORD rate,
                                           DWORD mask);

} // namespace format_bytes
