#include "json/progress_line.h"

#include "output/console_writer.h"
#include "output/shown_text.h"
#include "platform/code_page.h"
#include "platform/console.h"

#include <cstdio>

namespace {

constexpr std::size_t longestLine = 127;

// The columns a character takes on a console: two for the wide characters of
// East Asian scripts, and for a character beyond the first 65536 (mostly wide
// ones) two for its first half and none for its second.
std::size_t columns(char16_t unit) {
    const struct {
        char16_t first, last;
    } wide[] = {
        {0x1100, 0x115F}, {0x2E80, 0xA4CF}, {0xAC00, 0xD7A3}, {0xD800, 0xDBFF},
        {0xF900, 0xFAFF}, {0xFE30, 0xFE4F}, {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6},
    };
    if (unit >= 0xDC00 && unit < 0xE000)
        return 0;
    for (const auto& range : wide)
        if (unit >= range.first && unit <= range.last)
            return 2;
    return 1;
}

// The line's words, before the name.
std::size_t startLine(char16_t* line, const char* words) {
    std::size_t length = 0;
    for (; words[length] != '\0' && length < longestLine; ++length)
        line[length] = static_cast<unsigned char>(words[length]);
    return length;
}

} // namespace

ProgressLine::ProgressLine() : enabled(standardErrorIsConsole()) {
    // One column short of the console's width: a line that filled it would
    // wrap, and rewriting it in place would leave the first part behind.
    const std::size_t width = enabled ? consoleColumns(ConsoleStream::Error) : 0;
    if (width > 1 && width - 1 < widest)
        widest = width - 1;
}

ProgressLine::~ProgressLine() {
    erase();
}

void ProgressLine::show(DeviceDirection direction, std::int32_t id, std::int32_t count,
                        const DeviceCaps& caps) {
    if (!enabled)
        return;
    char words[64];
    if (std::snprintf(words, sizeof words,
                      "probing %s %ld of %ld: ", direction == 'I' ? "input" : "output",
                      static_cast<long>(id) + 1, static_cast<long>(count)) < 0)
        return;
    char16_t line[longestLine];
    std::size_t length = startLine(line, words);
    // The name as the report shows it, control bytes as '?'; a driver may fill
    // the whole field without a terminator.
    char name[sizeof caps.szPname];
    std::size_t bytes = 0;
    for (; bytes < sizeof name && caps.szPname[bytes] != '\0'; ++bytes)
        name[bytes] = shownByte(caps.szPname[bytes]);
    char16_t units[sizeof name];
    const std::size_t made = ansiIntoUtf16(name, bytes, units);
    for (std::size_t i = 0; i < made && length < longestLine; ++i)
        line[length++] = units[i];
    replaceLine(line, length);
}

void ProgressLine::showEndpoint(DeviceDirection direction, const std::u16string& name) {
    if (enabled)
        showNamed(direction == 'I' ? "probing input endpoint: " : "probing output endpoint: ",
                  name);
}

void ProgressLine::showOpening(DeviceDirection direction, const std::u16string& name,
                               std::size_t tried, std::size_t listed) {
    if (!enabled)
        return;
    char words[96];
    if (std::snprintf(words, sizeof words, "opening %s endpoint, format %lu of %lu: ",
                      direction == 'I' ? "input" : "output", static_cast<unsigned long>(tried),
                      static_cast<unsigned long>(listed)) < 0)
        return;
    showNamed(words, name);
}

void ProgressLine::showNamed(const char* words, const std::u16string& name) {
    char16_t line[longestLine];
    std::size_t length = startLine(line, words);
    for (std::size_t i = 0; i < name.size() && length < longestLine; ++i)
        line[length++] = shownUnit(name[i]);
    // Never half a surrogate pair at the end.
    if (length == longestLine && line[length - 1] >= 0xD800 && line[length - 1] < 0xDC00)
        --length;
    replaceLine(line, length);
}

void ProgressLine::replaceLine(const char16_t* line, std::size_t length) {
    ConsoleWriter console(ConsoleStream::Error);
    console.put(u'\r');
    std::size_t width = 0;
    for (std::size_t i = 0; i < length && width + columns(line[i]) <= widest; ++i) {
        console.put(line[i]);
        width += columns(line[i]);
    }
    // Blank out what a longer line before left behind.
    for (std::size_t i = width; i < shown; ++i)
        console.put(u' ');
    console.flush();
    shown = width;
}

void ProgressLine::erase() {
    if (!enabled || shown == 0)
        return;
    ConsoleWriter console(ConsoleStream::Error);
    console.put(u'\r');
    for (std::size_t i = 0; i < shown; ++i)
        console.put(u' ');
    console.put(u'\r');
    console.flush();
    shown = 0;
}
