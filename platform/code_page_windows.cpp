// The ANSI code page conversions over Windows' own tables.
#include "platform/code_page.h"

#include "platform/windows_sdk.h"

#include <climits>
#include <new>

namespace {

const wchar_t* toWide(const std::u16string& text) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

} // namespace

std::u16string ansiToUtf16(const char* text, std::size_t length) {
    try {
        // No name comes near what an int counts; beyond that the rest is dropped.
        const int count = static_cast<int>(length < INT_MAX ? length : INT_MAX);
        if (count == 0)
            return std::u16string();
        const int needed = MultiByteToWideChar(CP_ACP, 0, text, count, nullptr, 0);
        if (needed <= 0)
            return std::u16string();
        std::u16string wide(static_cast<std::size_t>(needed), u'\0');
        const int made = MultiByteToWideChar(CP_ACP, 0, text, count,
                                             reinterpret_cast<wchar_t*>(&wide[0]), needed);
        wide.resize(static_cast<std::size_t>(made > 0 ? made : 0));
        return wide;
    } catch (const std::bad_alloc&) {
        return std::u16string();
    }
}

std::string utf16ToAnsi(const std::u16string& text) {
    try {
        // With UTF-8 as the ANSI code page every character has its bytes, and
        // the call refuses a default character.
        const bool utf8 = GetACP() == CP_UTF8;
        std::u16string characters;
        const std::u16string* source = &text;
        if (!utf8) {
            // No ANSI code page holds a character beyond the first 65536, and
            // some conversions give a '?' for each half of its pair: make it one.
            characters.reserve(text.size());
            for (std::size_t i = 0; i < text.size(); ++i) {
                const char16_t c = text[i];
                const bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() &&
                                  text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
                characters.push_back(pair ? u'?' : c);
                if (pair)
                    ++i;
            }
            source = &characters;
        }
        if (source->empty())
            return std::string();
        // Beyond what the call can count in bytes; no name comes near.
        if (source->size() > static_cast<std::size_t>(INT_MAX / 2))
            return std::string(source->size(), '?');
        const int length = static_cast<int>(source->size());
        const wchar_t* wide = toWide(*source);
        const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
        const char* fallback = utf8 ? nullptr : "?";
        const int needed =
            WideCharToMultiByte(CP_ACP, flags, wide, length, nullptr, 0, fallback, nullptr);
        if (needed <= 0)
            return std::string(source->size(), '?');
        std::string narrow(static_cast<std::size_t>(needed), '\0');
        const int made =
            WideCharToMultiByte(CP_ACP, flags, wide, length, &narrow[0], needed, fallback, nullptr);
        narrow.resize(static_cast<std::size_t>(made > 0 ? made : 0));
        return narrow;
    } catch (const std::bad_alloc&) {
        return std::string();
    }
}
std::size_t ansiIntoUtf16(const char* text, std::size_t length, char16_t* out) {
    if (length == 0)
        return 0;
    // Callers convert a buffer's worth at a time, far below what an int counts.
    const int count = static_cast<int>(length < INT_MAX ? length : INT_MAX);
    const int made =
        MultiByteToWideChar(CP_ACP, 0, text, count, reinterpret_cast<wchar_t*>(out), count);
    if (made > 0)
        return static_cast<std::size_t>(made);
    // Not expected of any ANSI code page; the text's place is still kept.
    for (int i = 0; i < count; ++i)
        out[i] = u'?';
    return static_cast<std::size_t>(count);
}

std::size_t ansiCharacterBytes(char lead) {
    const UINT codePage = GetACP();
    const auto byte = static_cast<unsigned char>(lead);
    if (codePage == CP_UTF8)
        return byte >= 0xF0 && byte < 0xF8 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return IsDBCSLeadByteEx(codePage, byte) ? 2 : 1;
}
