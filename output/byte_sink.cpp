#include "output/byte_sink.h"

#include "output/shown_text.h"
#include "platform/code_page.h"

#include <cstring>

void ByteSink::write(const char* text, std::size_t length) {
    if (!failed && length > 0)
        failed = std::fwrite(text, 1, length, stream) != length;
}

void ByteSink::writeDriverText(const char* text, std::size_t limit) {
    char shown[256];
    std::size_t held = 0;
    for (std::size_t i = 0; i < limit && text[i] != '\0'; ++i) {
        if (held == sizeof shown) {
            write(shown, held);
            held = 0;
        }
        shown[held++] = shownByte(text[i]);
    }
    write(shown, held);
}

void ByteSink::writeLatin1(const char* text) {
    write(text, std::strlen(text));
}

void ByteSink::writeServiceText(const std::u16string& text) {
    const std::string narrow = utf16ToAnsi(text);
    writeDriverText(narrow.data(), narrow.size());
}

void ByteSink::writeUtf8(const std::string& text) {
    write(text.data(), text.size());
}

bool ByteSink::flush() {
    if (std::fflush(stream) != 0 || std::ferror(stream) != 0)
        failed = true;
    return !failed;
}
