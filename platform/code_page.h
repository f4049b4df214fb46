// The ANSI code page: the encoding of waveform device names and codec names,
// and of the report when it goes to a file or a pipe.
#pragma once

#include <cstddef>
#include <string>

// Text in the ANSI code page, and UTF-16. A character with no equivalent in
// the code page becomes '?'.
std::u16string ansiToUtf16(const char* text, std::size_t length);
std::string utf16ToAnsi(const std::u16string& text);

// The same conversion to UTF-16 without allocating: `length` bytes of whole
// characters into `out`, which has room for `length` units (no character
// takes more units than bytes). Gives the units made.
std::size_t ansiIntoUtf16(const char* text, std::size_t length, char16_t* out);

// How many bytes the character that starts with `lead` takes: 2 for a lead
// byte of a double-byte code page, up to 4 when the code page is UTF-8, else 1.
std::size_t ansiCharacterBytes(char lead);
