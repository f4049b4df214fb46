#include "watch/watch_output.h"

TextLine& TextLine::word(const std::string& ascii) {
    parts.push_back({false, ascii, std::u16string()});
    return *this;
}

TextLine& TextLine::name(const std::u16string& text) {
    parts.push_back({true, std::string(), text});
    return *this;
}

bool writeTextLine(ReportSink& sink, const TextLine& line) {
    for (const TextLine::Piece& p : line.pieces()) {
        if (p.serviceText)
            sink.writeServiceText(p.text);
        else
            sink.write(p.ascii.data(), p.ascii.size());
    }
    sink.write("\n", 1);
    return sink.flush();
}

bool writeJsonLine(ReportSink& sink, const std::string& utf8) {
    sink.writeUtf8(utf8);
    sink.writeUtf8("\n");
    return sink.flush();
}
