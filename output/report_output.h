// Where report text leaves the program. Standard output is a console or a file
// (or a pipe), decided once at the start of a run. To a file every byte goes as
// it always has: text in the ANSI code page, the document in UTF-8, line ends
// by text mode. To a console the same text goes as UTF-16, which the console
// shows whole whatever its own code page, and names from the endpoint service
// go straight from UTF-16, with none of their characters lost to the code page.
#pragma once

#include "output/console_buffer.h"

#include <streambuf>
#include <string>

// For the length of a run: on a console, std::cout writes through a
// ConsoleBuffer; at the end it is put back as it was.
class ReportOutput {
public:
    ReportOutput();
    ~ReportOutput();
    ReportOutput(const ReportOutput&) = delete;
    ReportOutput& operator=(const ReportOutput&) = delete;

private:
    ConsoleBuffer console;
    std::streambuf* replaced = nullptr; // null when standard output is not a console
};

// Text from the endpoint service, control characters shown as '?'. To a file
// in the ANSI code page, a character it lacks as '?'.
void writeReportText(const std::u16string& text);

// The JSON document, UTF-8. False when it could not all be written.
bool writeReportDocument(const std::string& text);
