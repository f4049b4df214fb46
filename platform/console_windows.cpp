#include "platform/console.h"

bool writeConsole(ConsoleStream stream, const char16_t* text, std::size_t length) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");
    const HANDLE console =
        GetStdHandle(stream == ConsoleStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    // A console may take less than it is given; older ones refuse large writes.
    constexpr std::size_t largestWrite = 8192;
    while (length > 0) {
        const DWORD asked = static_cast<DWORD>(length < largestWrite ? length : largestWrite);
        DWORD written = 0;
        if (!WriteConsoleW(console, reinterpret_cast<const wchar_t*>(text), asked, &written,
                           nullptr) ||
            written == 0 || written > asked)
            return false;
        text += written;
        length -= written;
    }
    return true;
}

std::size_t consoleColumns(ConsoleStream stream) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    const HANDLE console =
        GetStdHandle(stream == ConsoleStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    // A line wraps at the buffer's width, which may be wider than the window.
    if (!GetConsoleScreenBufferInfo(console, &info) || info.dwSize.X <= 0)
        return 0;
    return static_cast<std::size_t>(info.dwSize.X);
}
