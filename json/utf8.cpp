#include "json/utf8.h"

#include "platform/endpoint_services.h"

namespace {

void append(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isHigh(char16_t c) {
    return c >= 0xD800 && c < 0xDC00;
}
bool isLow(char16_t c) {
    return c >= 0xDC00 && c < 0xE000;
}

} // namespace

std::string utf16ToUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (isHigh(c) && i + 1 < text.size() && isLow(text[i + 1])) {
            append(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (isHigh(c) || isLow(c)) {
            append(out, 0xFFFD);
        } else {
            append(out, c);
        }
    }
    return out;
}

std::string ansiToUtf8(const char* text, std::size_t limit) {
    std::size_t length = 0;
    while (length < limit && text[length] != '\0')
        ++length;
    return utf16ToUtf8(ansiToUtf16(text, length));
}

std::string latin1ToUtf8(const char* text) {
    std::string out;
    for (; *text != '\0'; ++text)
        append(out, static_cast<unsigned char>(*text));
    return out;
}
