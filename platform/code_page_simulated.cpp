// The ANSI code page of the simulated machine: Windows-1252, a single-byte
// code page.
#include "platform/code_page.h"

namespace {

// Windows-1252, the code page the simulated machine's waveform names are in:
// what its bytes 0x80 to 0x9F stand for (0 where the code page has nothing).
const char16_t windows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char16_t unitOf(char text) {
    const auto byte = static_cast<unsigned char>(text);
    if (byte >= 0x80 && byte < 0xA0 && windows1252High[byte - 0x80] != 0)
        return windows1252High[byte - 0x80];
    return byte;
}

} // namespace

std::u16string ansiToUtf16(const char* text, std::size_t length) {
    std::u16string wide;
    wide.reserve(length);
    for (std::size_t i = 0; i < length; ++i)
        wide.push_back(unitOf(text[i]));
    return wide;
}

std::string utf16ToAnsi(const std::u16string& text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        // A pair of surrogates is one character, and one '?'.
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000)
            ++i;
        char byte = '?';
        if (c < 0x80 || (c >= 0xA0 && c < 0x100) || (c < 0xA0 && windows1252High[c - 0x80] == 0)) {
            byte = static_cast<char>(c);
        } else {
            for (int k = 0; k < 32; ++k)
                if (windows1252High[k] == c)
                    byte = static_cast<char>(0x80 + k);
        }
        narrow.push_back(byte);
    }
    return narrow;
}

std::size_t ansiIntoUtf16(const char* text, std::size_t length, char16_t* out) {
    for (std::size_t i = 0; i < length; ++i)
        out[i] = unitOf(text[i]);
    return length;
}

std::size_t ansiCharacterBytes(char) {
    return 1;
}
