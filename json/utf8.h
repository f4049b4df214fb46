// UTF-8 for the JSON document.
#pragma once

#include <string>

// A lone surrogate, which no UTF-8 text can hold, becomes U+FFFD.
std::string utf16ToUtf8(const std::u16string& text);

// Text in the ANSI code page, the waveform names' and codec names' encoding,
// read up to its NUL or `limit` bytes.
std::string ansiToUtf8(const char* text, std::size_t limit);

// The manufacturer table's text, which is Windows-1252 within its Latin-1 part.
std::string latin1ToUtf8(const char* text);
