// The watch's lines into the report's sink, each flushed as it is written so
// that a console, a file or a pipe has it at once; names go whole to a
// console, as the endpoint view's do.
#pragma once

#include "output/report_sink.h"

#include <string>
#include <vector>

// A line of text: the program's own ASCII words and the service's texts
// (names, ids), in order.
class TextLine {
public:
    TextLine& word(const std::string& ascii);
    // Control characters show as '?', as in every name a driver gives.
    TextLine& name(const std::u16string& text);

    struct Piece {
        bool serviceText;
        std::string ascii;
        std::u16string text;
    };
    const std::vector<Piece>& pieces() const { return parts; }

private:
    std::vector<Piece> parts;
};

// The line and its line end. False when the output would not take it.
bool writeTextLine(ReportSink& sink, const TextLine& line);

// One JSON object, UTF-8, on a line of its own. False when the output would
// not take it.
bool writeJsonLine(ReportSink& sink, const std::string& utf8);
