#include "output/console_writer.h"

void ConsoleWriter::put(char16_t unit) {
    // A line end's two units, and the two halves of a surrogate pair, always
    // go out in the same write.
    const bool pairs = unit == u'\n' || (unit >= 0xD800 && unit < 0xDC00);
    if (used + (pairs ? 2 : 1) > sizeof units / sizeof units[0])
        flush();
    if (unit == u'\n')
        units[used++] = u'\r';
    units[used++] = unit;
}

bool ConsoleWriter::flush() {
    if (used > 0 && !failed)
        failed = !writeConsole(stream, units, used);
    used = 0;
    return !failed;
}
