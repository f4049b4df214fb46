// The report on an interactive console, written as UTF-16, which the console
// shows whole whatever its own code page: the ANSI code page's text converted,
// the endpoint service's names as they are.
#pragma once

#include "output/console_writer.h"
#include "output/report_sink.h"
#include "platform/code_page.h"

#include <cstddef>

// How many bytes the character that starts with `lead` takes.
using CharacterBytes = std::size_t (*)(char lead);

// The longest start of `bytes` that holds only whole characters.
std::size_t wholeCharacters(const char* bytes, std::size_t length, CharacterBytes characterBytes);

class ConsoleSink final : public ReportSink {
public:
    explicit ConsoleSink(ConsoleStream stream, CharacterBytes characterBytes = ansiCharacterBytes)
        : writer(stream), characterBytes(characterBytes) {}

    void write(const char* text, std::size_t length) override;
    // A name cut inside a double-byte character ends in '?', never in a lone
    // lead byte that would swallow what follows it.
    void writeDriverText(const char* text, std::size_t limit) override;
    void writeLatin1(const char* text) override;
    void writeServiceText(const std::u16string& text) override;
    void writeUtf8(const std::string& text) override;
    bool flush() override;

private:
    // Converts ANSI bytes, with control bytes as '?' when `shown`; an
    // unfinished character at the end shows as '?'.
    void putAnsi(const char* bytes, std::size_t length, bool shown);

    ConsoleWriter writer;
    CharacterBytes characterBytes;
};
