#include "json/progress_line.h"

#include "output/driver_text.h"
#include "platform/console.h"

#include <cstdio>
#include <cstring>

ProgressLine::ProgressLine() : enabled(standardErrorIsConsole()) {}

ProgressLine::~ProgressLine() {
    erase();
}

void ProgressLine::show(DeviceDirection direction, std::int32_t id, std::int32_t count,
                        const DeviceCaps& caps) {
    if (!enabled)
        return;
    char line[128];
    int length = std::snprintf(line, sizeof line,
                               "probing %s %ld of %ld: ", direction == 'I' ? "input" : "output",
                               static_cast<long>(id) + 1, static_cast<long>(count));
    if (length < 0)
        return;
    std::size_t used = static_cast<std::size_t>(length);
    // The name as the report shows it, control bytes as '?'.
    for (std::size_t i = 0; i < sizeof caps.szPname && caps.szPname[i] != '\0'; ++i) {
        if (used + 1 >= sizeof line)
            break;
        line[used++] = isControlByte(caps.szPname[i]) ? '?' : caps.szPname[i];
    }
    line[used] = '\0';
    std::fprintf(stderr, "\r%s", line);
    // Blank out what a longer line before left behind.
    for (std::size_t i = used; i < shown; ++i)
        std::fputc(' ', stderr);
    std::fflush(stderr);
    shown = used;
}

void ProgressLine::erase() {
    if (!enabled || shown == 0)
        return;
    std::fputc('\r', stderr);
    for (std::size_t i = 0; i < shown; ++i)
        std::fputc(' ', stderr);
    std::fputc('\r', stderr);
    std::fflush(stderr);
    shown = 0;
}
