#include "app/command_line.h"

#include <cstddef>
#include <cstring>

namespace {

int foldAscii(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

// Compares the first `count` bytes of two strings as unsigned bytes with A to Z
// folded to lower case, stopping at a difference or a NUL: <0, 0 or >0.
int compareFolded(const char* a, const char* b, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const int difference = foldAscii(static_cast<unsigned char>(a[i])) -
                               foldAscii(static_cast<unsigned char>(b[i]));
        if (difference != 0 || a[i] == '\0')
            return difference;
    }
    return 0;
}

bool selects(const char* word, std::size_t length, const char* keyword) {
    return compareFolded(word, keyword, length) == 0;
}

} // namespace

const char* skipBlanks(const char* text) {
    if (text == nullptr)
        return nullptr;
    // Bytes from 0x80 up read as negative, so they count as blanks too.
    while (*text != '\0' && static_cast<signed char>(*text) <= 32)
        ++text;
    return text;
}

namespace {

// The mode word and the argument it stands in (1 or 2); null when there is none.
const char* modeWord(int argc, const char* const argv[], int* at) {
    // Step over one option prefix, in the first argument only.
    const char* word = argv[1];
    if (*word == '-' || *word == '/')
        ++word;
    word = skipBlanks(word);
    *at = 1;
    if (*word == '\0') {
        if (argc == 2)
            return nullptr;
        word = skipBlanks(argv[2]);
        *at = 2;
        if (*word == '\0')
            return nullptr;
    }
    return word;
}

} // namespace

std::optional<unsigned> watchSeconds(int argc, const char* const argv[]) {
    int at = 0;
    const char* word = argc < 2 ? nullptr : modeWord(argc, argv, &at);
    if (word == nullptr || !selects(word, std::strlen(word), "watch"))
        return std::nullopt;
    if (argc <= at + 1)
        return 0u;
    if (argc > at + 2)
        return std::nullopt;
    unsigned long seconds = 0;
    const char* digit = argv[at + 1];
    for (; *digit >= '0' && *digit <= '9' && seconds <= 86400; ++digit)
        seconds = seconds * 10 + static_cast<unsigned long>(*digit - '0');
    if (*digit != '\0' || digit == argv[at + 1] || seconds < 1 || seconds > 86400)
        return std::nullopt;
    return static_cast<unsigned>(seconds);
}

RunMode chooseMode(int argc, const char* const argv[]) {
    if (argc < 2)
        return RunMode::Slow;
    int at = 0;
    const char* word = modeWord(argc, argv, &at);
    if (word == nullptr)
        return RunMode::Usage;
    const std::size_t length = std::strlen(word);
    // The whole word counts, so it selects a keyword it is a prefix of.
    if (selects(word, length, "watch"))
        return watchSeconds(argc, argv) ? RunMode::Watch : RunMode::Usage;
    if (selects(word, length, "slow"))
        return RunMode::Slow;
    if (selects(word, length, "quick") || selects(word, length, "fast"))
        return RunMode::Quick;
    if (selects(word, length, "exclusive"))
        return RunMode::Exclusive;
    return RunMode::Usage;
}

bool isJsonWord(const char* argument) {
    if (argument == nullptr)
        return false;
    if (argument[0] == '-' && argument[1] == '-')
        argument += 2;
    else if (argument[0] == '-' || argument[0] == '/')
        ++argument;
    const char* word = skipBlanks(argument);
    const std::size_t length = std::strlen(word);
    return length > 0 && selects(word, length, "json");
}
