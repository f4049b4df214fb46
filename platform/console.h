// Whether standard output and standard error are interactive consoles, and
// writing to one. A console is written UTF-16 text, which it shows whole
// whatever its own code page.
#pragma once

#include <cstddef>

enum class ConsoleStream { Output, Error };

#ifdef _WIN32
#include "platform/windows_sdk.h"

inline bool standardErrorIsConsole() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

inline bool standardOutputIsConsole() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}
#else
// The simulated machine says.
bool standardErrorIsConsole();
bool standardOutputIsConsole();
#endif

// Writes all of `text` to the console the stream is; false when any of it
// could not be written.
bool writeConsole(ConsoleStream stream, const char16_t* text, std::size_t length);

// How many columns the console's lines have before they wrap; 0 when that
// cannot be told.
std::size_t consoleColumns(ConsoleStream stream);
