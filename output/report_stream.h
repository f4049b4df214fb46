// Formatted report text into a sink: the stream's own text (numbers, fields,
// words) goes to the sink as it is written, names through their own calls, so
// the two never change places.
#pragma once

#include "output/report_sink.h"

#include <ostream>
#include <streambuf>
#include <string>

class ReportStream final : public std::ostream {
public:
    explicit ReportStream(ReportSink& sink);
    ReportStream(const ReportStream&) = delete;
    ReportStream& operator=(const ReportStream&) = delete;

    // A waveform or codec name: at most `limit` bytes, up to a NUL.
    ReportStream& driverText(const char* text, std::size_t limit);
    // A manufacturer's name from the table.
    ReportStream& latin1(const char* text);
    // A name or id from the endpoint service.
    ReportStream& serviceText(const std::u16string& text);

    ReportSink& sink() { return buffer.sink; }

private:
    // Holds nothing: every character goes straight on to the sink.
    struct Forward final : std::streambuf {
        explicit Forward(ReportSink& sink) : sink(sink) {}
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char* text, std::streamsize count) override;
        int sync() override;
        ReportSink& sink;
    };
    Forward buffer;
};
