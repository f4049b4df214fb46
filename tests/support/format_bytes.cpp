#include "support/format_bytes.h"

#include <cstring>

namespace format_bytes {

const unsigned char subformatTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                         0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};

unsigned getWord(const unsigned char* b, std::size_t at) {
    return b[at] | b[at + 1] << 8;
}

DWORD getDword(const unsigned char* b, std::size_t at) {
    return getWord(b, at) | static_cast<DWORD>(getWord(b, at + 2)) << 16;
}

void putWord(unsigned char* b, std::size_t at, unsigned value) {
    b[at] = static_cast<unsigned char>(value);
    b[at + 1] = static_cast<unsigned char>(value >> 8);
}

void putDword(unsigned char* b, std::size_t at, DWORD value) {
    putWord(b, at, value & 0xFFFF);
    putWord(b, at + 2, value >> 16);
}

const TypeBits typeBits[sampleTypeCount] = {
    {SampleType::Uint8, false, 8, 8, "uint8"},
    {SampleType::Int16, false, 16, 16, "int16"},
    {SampleType::Int24, false, 24, 24, "int24"},
    {SampleType::Int24In32, false, 32, 24, "int24in32"},
    {SampleType::Int32, false, 32, 32, "int32"},
    {SampleType::Float32, true, 32, 32, "float32"},
    {SampleType::Float64, true, 64, 64, "float64"},
};

const TypeBits& bitsOf(SampleType type) {
    return typeBits[static_cast<std::size_t>(type)];
}

std::optional<SampleType> typeOf(bool isFloat, unsigned container, unsigned valid) {
    for (const TypeBits& t : typeBits)
        if (t.isFloat == isFloat && t.container == container && t.valid == valid)
            return t.type;
    return std::nullopt;
}

std::optional<DriverReading> readAsDriver(const WAVEFORMATEX* format) {
    if (format == nullptr)
        return std::nullopt;
    const auto* b = reinterpret_cast<const unsigned char*>(format);
    const unsigned tag = getWord(b, 0), channels = getWord(b, 2), align = getWord(b, 12),
                   bits = getWord(b, 14), extra = getWord(b, 16);
    const DWORD rate = getDword(b, 4), byteRate = getDword(b, 8);
    if (channels == 0 || rate == 0 || bits == 0 || bits % 8 != 0 || align != channels * bits / 8 ||
        byteRate != rate * align)
        return std::nullopt;
    if (tag == pcmTag || tag == floatTag) {
        const std::optional<SampleType> type = typeOf(tag == floatTag, bits, bits);
        if (extra != 0 || !type)
            return std::nullopt;
        return DriverReading{*type, channels, rate, false, 0};
    }
    if (tag != extensibleTag || extra != extensibleSize - sizeof(WAVEFORMATEX))
        return std::nullopt;
    const unsigned valid = getWord(b, 18);
    const DWORD subformat = getDword(b, 24);
    if (valid == 0 || valid > bits || (subformat != pcmTag && subformat != floatTag) ||
        std::memcmp(b + 28, subformatTail, sizeof subformatTail) != 0)
        return std::nullopt;
    const std::optional<SampleType> type = typeOf(subformat == floatTag, bits, valid);
    if (!type)
        return std::nullopt;
    return DriverReading{*type, channels, rate, true, getDword(b, 20)};
}

std::vector<unsigned char> extensibleBytes(SampleType type, unsigned channels, DWORD rate,
                                           DWORD mask) {
    const TypeBits& t = bitsOf(type);
    std::vector<unsigned char> b(extensibleSize);
    putWord(b.data(), 0, extensibleTag);
    putWord(b.data(), 2, channels);
    putDword(b.data(), 4, rate);
    putDword(b.data(), 8, rate * channels * (t.container / 8));
    putWord(b.data(), 12, channels * (t.container / 8));
    putWord(b.data(), 14, t.container);
    putWord(b.data(), 16, extensibleSize - sizeof(WAVEFORMATEX));
    putWord(b.data(), 18, t.valid);
    putDword(b.data(), 20, mask);
    putDword(b.data(), 24, t.isFloat ? floatTag : pcmTag);
    std::memcpy(b.data() + 28, subformatTail, sizeof subformatTail);
    return b;
}

} // namespace format_bytes
