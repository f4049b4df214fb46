#include "app/command_line.h"

#include <cstddef>
#include <cstring>
#include <vector>

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
    if (selects(word, length, "verify"))
        return RunMode::Verify;
    return RunMode::Usage;
}

namespace {

// The word of an argument that may follow '-', "--" or '/' and blanks.
const char* optionWord(const char* argument) {
    if (argument[0] == '-' && argument[1] == '-')
        argument += 2;
    else if (argument[0] == '-' || argument[0] == '/')
        ++argument;
    return skipBlanks(argument);
}

// The whole keyword, in any case.
bool isOptionWord(const char* argument, const char* keyword) {
    const char* word = optionWord(argument);
    return std::strlen(word) == std::strlen(keyword) && selects(word, std::strlen(word), keyword);
}

} // namespace

bool isJsonWord(const char* argument) {
    if (argument == nullptr)
        return false;
    const char* word = optionWord(argument);
    const std::size_t length = std::strlen(word);
    return length > 0 && selects(word, length, "json");
}

namespace {

// Whether argument `i` names the report's file; its name, which follows, is
// taken as it is, whatever it looks like.
bool outputWordAt(int argc, const char* const argv[], int i) {
    return isOutputWord(argv[i]) && i + 1 < argc && argv[i + 1][0] != '\0';
}

} // namespace

bool isOutputWord(const char* argument) {
    return argument != nullptr && isOptionWord(argument, "out");
}

CommandLine readCommandLine(int argc, const char* const argv[]) {
    CommandLine line;
    bool setAside = false;
    for (int i = 1; i < argc; ++i) {
        if (outputWordAt(argc, argv, i)) {
            line.outputArgument = ++i;
            setAside = true;
        } else if (isJsonWord(argv[i])) {
            line.json = setAside = true;
        }
    }
    // Most command lines hold neither word, and need no copy.
    std::vector<const char*> rest;
    const char* const* words = argv;
    int count = argc;
    if (setAside) {
        rest.push_back(argc > 0 ? argv[0] : "");
        for (int i = 1; i < argc; ++i) {
            if (outputWordAt(argc, argv, i))
                ++i;
            else if (!isJsonWord(argv[i]))
                rest.push_back(argv[i]);
        }
        count = static_cast<int>(rest.size());
        rest.push_back(nullptr);
        words = rest.data();
    }
    line.mode = chooseMode(count, words);
    if (line.mode == RunMode::Watch)
        line.watchSeconds = watchSeconds(count, words).value_or(0);
    if (line.mode == RunMode::Exclusive || line.mode == RunMode::Verify)
        for (int i = 2; i < count; ++i)
            line.everyEndpoint = line.everyEndpoint || isOptionWord(words[i], "all");
    return line;
}
