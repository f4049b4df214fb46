// Where everything the program reports leaves it. Chosen once, at the start of
// a run: a console, which is written UTF-16 and so shows every name whole
// whatever its own code page, or a byte stream (a file, a pipe), which gets
// the bytes the program has always written: text in the ANSI code page, JSON
// in UTF-8, line ends by the stream's text mode.
#pragma once

#include <cstddef>
#include <string>

class ReportSink {
public:
    virtual ~ReportSink() = default;

    // The program's own text, in ASCII; a line ends with "\n".
    virtual void write(const char* text, std::size_t length) = 0;
    // A name a driver or codec gave, in the ANSI code page: at most `limit`
    // bytes, up to a NUL.
    virtual void writeDriverText(const char* text, std::size_t limit) = 0;
    // Text in Latin-1, as the manufacturer table holds it.
    virtual void writeLatin1(const char* text) = 0;
    // Text from the endpoint service, in UTF-16; to a byte stream in the ANSI
    // code page, each character it lacks as '?'. May throw std::bad_alloc.
    virtual void writeServiceText(const std::u16string& text) = 0;
    // UTF-8 as it stands: a JSON document or line.
    virtual void writeUtf8(const std::string& text) = 0;
    // Pushes out what is held. False once any write has failed; nothing more
    // is written after a failure.
    virtual bool flush() = 0;
};
