// What std::cout writes into while standard output is a console: the report's
// bytes, in the ANSI code page, shown on the console as UTF-16.
#pragma once

#include "output/console_writer.h"
#include "platform/code_page.h"

#include <cstddef>
#include <streambuf>
#include <string>

// How many bytes the character that starts with `lead` takes.
using CharacterBytes = std::size_t (*)(char lead);

// The longest start of `bytes` that holds only whole characters.
std::size_t wholeCharacters(const char* bytes, std::size_t length, CharacterBytes characterBytes);

// Converts at each flush, and when its buffer is full, never splitting a
// character of a double-byte code page between two conversions. A write the
// console refuses makes the stream fail.
class ConsoleBuffer final : public std::streambuf {
public:
    explicit ConsoleBuffer(CharacterBytes characterBytes = ansiCharacterBytes);
    ConsoleBuffer(const ConsoleBuffer&) = delete;
    ConsoleBuffer& operator=(const ConsoleBuffer&) = delete;

    // After the bytes written so far: a name that is already UTF-16, each
    // control character as '?'. False when a write failed.
    bool writeName(const std::u16string& name);
    // The JSON document, UTF-8, whole and flushed, every character as it
    // stands (JSON escapes the C0 controls itself). False when a write failed.
    bool writeDocument(const std::string& text);

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    // Converts the bytes held and hands them on: every one, or only whole characters.
    void pass(bool everyByte);

    CharacterBytes characterBytes;
    char bytes[512];
    ConsoleWriter writer{ConsoleStream::Output};
};
