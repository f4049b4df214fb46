#include "watch/watch_output.h"

#include "output/report_output.h"

#include <cstdio>
#include <iostream>

namespace {

bool flushed() {
    std::cout.flush();
    const bool written = std::fflush(stdout) == 0;
    return written && std::ferror(stdout) == 0 && !std::cout.fail();
}

} // namespace

TextLine& TextLine::word(const std::string& ascii) {
    parts.push_back({false, ascii, std::u16string()});
    return *this;
}

TextLine& TextLine::name(const std::u16string& text) {
    parts.push_back({true, std::string(), text});
    return *this;
}

bool writeTextLine(const TextLine& line) {
    for (const TextLine::Piece& p : line.pieces()) {
        if (p.serviceText)
            writeReportText(p.text);
        else
            std::cout << p.ascii;
    }
    std::cout << '\n';
    return flushed();
}

bool writeJsonLine(const std::string& utf8) {
    const bool written = writeReportDocument(utf8 + "\n");
    return flushed() && written;
}
