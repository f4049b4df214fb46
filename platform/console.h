// Whether standard error is an interactive console, where a progress line can
// be rewritten in place.
#pragma once

#ifdef _WIN32
#include "platform/windows_sdk.h"

inline bool standardErrorIsConsole() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
#else
// The simulated machine says.
bool standardErrorIsConsole();
#endif
