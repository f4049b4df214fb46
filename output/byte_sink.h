// The report as bytes on a file or a pipe, exactly as the program has always
// written them.
#pragma once

#include "output/report_sink.h"

#include <cstdio>

class ByteSink final : public ReportSink {
public:
    // The stream stays the caller's to close.
    explicit ByteSink(std::FILE* stream) : stream(stream) {}

    void write(const char* text, std::size_t length) override;
    void writeDriverText(const char* text, std::size_t limit) override;
    void writeLatin1(const char* text) override;
    void writeServiceText(const std::u16string& text) override;
    void writeUtf8(const std::string& text) override;
    bool flush() override;

private:
    std::FILE* stream;
    bool failed = false;
};
