#include "output/console_buffer.h"

#include <cstring>

namespace {

constexpr char32_t replacement = 0xFFFD;

// The character UTF-8 text holds at `at`, which moves past it; a byte that
// starts no whole, shortest-form character stands for U+FFFD on its own.
char32_t nextCharacter(const std::string& text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at++]);
    if (lead < 0x80)
        return lead;
    std::size_t more = 0;
    char32_t c = 0;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead < 0xE0) {
        more = 1;
        c = lead & 0x1F;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        more = 2;
        c = lead & 0x0F;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead < 0xF5) {
        more = 3;
        c = lead & 0x07;
        smallest = 0x10000;
    } else {
        return replacement;
    }
    if (more > text.size() - at)
        return replacement;
    for (std::size_t k = 0; k < more; ++k) {
        const auto trail = static_cast<unsigned char>(text[at + k]);
        if ((trail & 0xC0) != 0x80)
            return replacement;
        c = c << 6 | (trail & 0x3F);
    }
    if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))
        return replacement;
    at += more;
    return c;
}

} // namespace

std::size_t wholeCharacters(const char* bytes, std::size_t length, CharacterBytes characterBytes) {
    std::size_t whole = 0;
    while (whole < length) {
        const std::size_t size = characterBytes(bytes[whole]);
        if (size > length - whole)
            break;
        whole += size > 0 ? size : 1;
    }
    return whole;
}

ConsoleBuffer::ConsoleBuffer(CharacterBytes characterBytes) : characterBytes(characterBytes) {
    setp(bytes, bytes + sizeof bytes);
}

void ConsoleBuffer::pass(bool everyByte) {
    const auto held = static_cast<std::size_t>(pptr() - pbase());
    const std::size_t whole = everyByte ? held : wholeCharacters(bytes, held, characterBytes);
    char16_t units[sizeof bytes];
    const std::size_t made = ansiIntoUtf16(bytes, whole, units);
    for (std::size_t i = 0; i < made; ++i)
        writer.put(units[i]);
    // The start of a character cut off by the end of the buffer waits for the rest.
    std::memmove(bytes, bytes + whole, held - whole);
    setp(bytes, bytes + sizeof bytes);
    pbump(static_cast<int>(held - whole));
}

ConsoleBuffer::int_type ConsoleBuffer::overflow(int_type c) {
    pass(false);
    if (!writer.good())
        return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

int ConsoleBuffer::sync() {
    pass(true);
    return writer.flush() ? 0 : -1;
}

bool ConsoleBuffer::writeName(const std::u16string& name) {
    pass(true);
    for (const char16_t unit : name)
        writer.put(nameOnConsole(unit));
    return writer.good();
}

bool ConsoleBuffer::writeDocument(const std::string& text) {
    pass(true);
    for (std::size_t at = 0; at < text.size();) {
        const char32_t c = nextCharacter(text, at);
        if (c < 0x10000) {
            writer.put(static_cast<char16_t>(c));
        } else {
            writer.put(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            writer.put(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        }
    }
    return writer.flush();
}
