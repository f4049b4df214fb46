#include "output/console_sink.h"

#include "output/shown_text.h"

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

void ConsoleSink::putAnsi(const char* bytes, std::size_t length, bool shown) {
    constexpr std::size_t chunk = 256;
    char held[chunk];
    char16_t units[chunk];
    while (length > 0) {
        const std::size_t taken = length < chunk ? length : chunk;
        // Control bytes are never part of a double-byte character.
        for (std::size_t i = 0; i < taken; ++i)
            held[i] = shown ? shownByte(bytes[i]) : bytes[i];
        std::size_t whole = wholeCharacters(held, taken, characterBytes);
        // Only the text's own end leaves a character unfinished for good.
        const bool cut = whole < taken && taken == length;
        if (whole == 0 && !cut)
            whole = taken;
        const std::size_t made = ansiIntoUtf16(held, whole, units);
        for (std::size_t i = 0; i < made; ++i)
            writer.put(units[i]);
        if (cut) {
            writer.put(u'?');
            return;
        }
        bytes += whole;
        length -= whole;
    }
}

void ConsoleSink::write(const char* text, std::size_t length) {
    putAnsi(text, length, false);
}

void ConsoleSink::writeDriverText(const char* text, std::size_t limit) {
    std::size_t length = 0;
    while (length < limit && text[length] != '\0')
        ++length;
    putAnsi(text, length, true);
}

void ConsoleSink::writeLatin1(const char* text) {
    for (; *text != '\0'; ++text)
        writer.put(static_cast<unsigned char>(*text));
}

void ConsoleSink::writeServiceText(const std::u16string& text) {
    for (const char16_t unit : text)
        writer.put(shownUnit(unit));
}

void ConsoleSink::writeUtf8(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const char32_t c = nextCharacter(text, at);
        if (c < 0x10000) {
            writer.put(static_cast<char16_t>(c));
        } else {
            writer.put(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            writer.put(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        }
    }
}

bool ConsoleSink::flush() {
    return writer.flush();
}
