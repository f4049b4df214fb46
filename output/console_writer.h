// UTF-16 text on its way to a console, gathered into few writes.
#pragma once

#include "platform/console.h"

#include <cstddef>

class ConsoleWriter {
public:
    explicit ConsoleWriter(ConsoleStream stream) : stream(stream) {}
    ConsoleWriter(const ConsoleWriter&) = delete;
    ConsoleWriter& operator=(const ConsoleWriter&) = delete;

    // Each "\n" goes out as "\r\n", as standard output's text mode writes it
    // to a file.
    void put(char16_t unit);
    // Writes what is gathered. False when this or any earlier write failed;
    // after a failure nothing more is written.
    bool flush();
    bool good() const { return !failed; }

private:
    ConsoleStream stream;
    char16_t units[1024];
    std::size_t used = 0;
    bool failed = false;
};
