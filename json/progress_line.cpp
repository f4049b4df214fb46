#include "json/progress_line.h"

#include "platform/console.h"
#include "platform/endpoint_services.h"
#include "report/driver_text.h"

#include <algorithm>
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
    char lead[64];
    if (std::snprintf(lead, sizeof lead,
                      "probing %s %ld of %ld: ", direction == 'I' ? "input" : "output",
                      static_cast<long>(id) + 1, static_cast<long>(count)) < 0)
        return;
    showLine(lead, caps);
}

void ProgressLine::showEndpoint(DeviceDirection direction, const std::u16string& name) {
    if (!enabled)
        return;
    // Cut as a waveform name is.
    DeviceCaps caps;
    const std::string narrow = utf16ToAnsi(name);
    std::snprintf(caps.szPname, sizeof caps.szPname, "%s", narrow.c_str());
    showLine(direction == 'I' ? "probing input endpoint: " : "probing output endpoint: ", caps);
}

void ProgressLine::showLine(const char* lead, const DeviceCaps& caps) {
    char line[128];
    std::size_t used = std::min(std::strlen(lead), sizeof line - 1);
    std::memcpy(line, lead, used);
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
