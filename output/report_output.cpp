#include "output/report_output.h"

#include "output/driver_text.h"
#include "platform/console.h"

#include <cstdio>
#include <iostream>

namespace {

// The console under std::cout during this run, if it is one.
ConsoleBuffer* outputConsole() {
    return dynamic_cast<ConsoleBuffer*>(std::cout.rdbuf());
}

} // namespace

ReportOutput::ReportOutput() {
    if (standardOutputIsConsole())
        replaced = std::cout.rdbuf(&console);
}

ReportOutput::~ReportOutput() {
    if (replaced == nullptr)
        return;
    std::cout.flush();
    std::cout.rdbuf(replaced); // and clears the stream's state for the next run
}

void writeReportText(const std::u16string& text) {
    if (ConsoleBuffer* console = outputConsole()) {
        if (!console->writeName(text))
            std::cout.setstate(std::ios::badbit);
        return;
    }
    const std::string narrow = utf16ToAnsi(text);
    writeDriverText(narrow.c_str(), narrow.size());
}

bool writeReportDocument(const std::string& text) {
    if (ConsoleBuffer* console = outputConsole())
        return console->writeDocument(text);
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
}
