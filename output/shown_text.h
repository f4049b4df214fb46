// The one rule for text that comes from a driver, a codec or the endpoint
// service: every control character shows as '?', so such text can never break
// or restyle the report's lines. Every other character is written as it is.
#pragma once

inline bool isControlCharacter(unsigned long c) {
    return c < 0x20 || c == 0x7F;
}

inline char shownByte(char byte) {
    return isControlCharacter(static_cast<unsigned char>(byte)) ? '?' : byte;
}

inline char16_t shownUnit(char16_t unit) {
    return isControlCharacter(unit) ? u'?' : unit;
}
