// Standard output as a report sink: the console when it is one, else its bytes.
#pragma once

#include "output/byte_sink.h"
#include "output/console_sink.h"

#include <optional>

class StandardOutput {
public:
    StandardOutput();
    StandardOutput(const StandardOutput&) = delete;
    StandardOutput& operator=(const StandardOutput&) = delete;

    ReportSink& sink() { return console ? static_cast<ReportSink&>(*console) : bytes; }

private:
    std::optional<ConsoleSink> console;
    ByteSink bytes;
};
