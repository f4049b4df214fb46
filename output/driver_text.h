// Text that comes from a driver or codec, written into the report.
#pragma once

#include <cstddef>

// Writes at most `limit` bytes of `text`, stopping at a NUL. Control bytes are
// shown as '?', so a driver's text cannot break or restyle the report's lines;
// every other byte is written as it is.
void writeDriverText(const char* text, std::size_t limit);

// Whether a byte of a driver's text is shown as '?'.
inline bool isControlByte(char byte) {
    const auto value = static_cast<unsigned char>(byte);
    return value < 0x20 || value == 0x7F;
}
