#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ModeCase {
    std::vector<std::string> arguments; // after the program name
    RunMode mode;
};

const char* modeName(RunMode mode) {
    switch (mode) {
    case RunMode::Slow:
        return "slow";
    case RunMode::Quick:
        return "quick";
    case RunMode::Exclusive:
        return "exclusive";
    case RunMode::Usage:
        return "usage";
    case RunMode::Watch:
        return "watch";
    case RunMode::Verify:
        return "verify";
    }
    return "?";
}

TEST(ChooseMode, FollowsTheWordsOfTheFirstTwoArguments) {
    const ModeCase cases[] = {
        {{}, RunMode::Slow},
        // a prefix of a keyword, in any case, after at most one '-' or '/'
        {{"s"}, RunMode::Slow},
        {{"SL"}, RunMode::Slow},
        {{"slow"}, RunMode::Slow},
        {{"Slow"}, RunMode::Slow},
        {{"-s"}, RunMode::Slow},
        {{"/S"}, RunMode::Slow},
        {{"q"}, RunMode::Quick},
        {{"Qui"}, RunMode::Quick},
        {{"quick"}, RunMode::Quick},
        {{"/q"}, RunMode::Quick},
        {{"f"}, RunMode::Quick},
        {{"FAST"}, RunMode::Quick},
        {{"-F"}, RunMode::Quick},
        {{"fA"}, RunMode::Quick},
        // blanks after the prefix are stepped over, and so are high bytes
        {{"-  q"}, RunMode::Quick},
        {{"\t\x01s"}, RunMode::Slow},
        {{"\x80\xFF"
          "fast"},
         RunMode::Quick},
        // the whole word counts, blanks at its end too
        {{"slowly"}, RunMode::Usage},
        {{"fastest"}, RunMode::Usage},
        {{"x"}, RunMode::Usage},
        {{"slow "}, RunMode::Usage},
        {{"s "}, RunMode::Usage},
        {{"--slow"}, RunMode::Usage},
        {{" -s"}, RunMode::Usage},
        {{"\xE9t\xE9"}, RunMode::Usage},
        // a first argument that is empty after the prefix and blanks
        {{"-"}, RunMode::Usage},
        {{"/"}, RunMode::Usage},
        {{""}, RunMode::Usage},
        {{"- "}, RunMode::Usage},
        {{"", "q"}, RunMode::Quick},
        {{"-", "slow"}, RunMode::Slow},
        {{"/", " fast"}, RunMode::Quick},
        {{"-", "-slow"}, RunMode::Usage},
        {{"-", ""}, RunMode::Usage},
        {{"-", "  "}, RunMode::Usage},
        {{"-", "q", "x"}, RunMode::Quick},
        // the second argument is read only when the first gives no word
        {{"x", "slow"}, RunMode::Usage},
        {{"q", "x"}, RunMode::Quick},
        // the endpoint view: a prefix of "exclusive" from its first letter
        {{"e"}, RunMode::Exclusive},
        {{"/EXCL"}, RunMode::Exclusive},
        {{"-exclusive"}, RunMode::Exclusive},
        {{"-", "Ex"}, RunMode::Exclusive},
        {{"exclusively"}, RunMode::Usage},
        {{"--e"}, RunMode::Usage},
        // the watch: a prefix of "watch", then nothing or one whole number of seconds
        {{"w"}, RunMode::Watch},
        {{"/WAT", "86400"}, RunMode::Watch},
        {{"-", "watch", "007"}, RunMode::Watch},
        {{"watch", "1"}, RunMode::Watch},
        {{"watch", "0"}, RunMode::Usage},
        {{"watch", "86401"}, RunMode::Usage},
        {{"watch", "99999999999999999999"}, RunMode::Usage},
        {{"watch", ""}, RunMode::Usage},
        {{"watch", "5s"}, RunMode::Usage},
        {{"watch", "+5"}, RunMode::Usage},
        {{"watch", " 5"}, RunMode::Usage},
        {{"watch", "5", "x"}, RunMode::Usage},
        {{"watchful"}, RunMode::Usage},
        {{"x", "watch"}, RunMode::Usage},
        // opening what the endpoint view lists: a prefix of "verify"
        {{"v"}, RunMode::Verify},
        {{"/VER"}, RunMode::Verify},
        {{"-", "verify"}, RunMode::Verify},
        {{"verifying"}, RunMode::Usage},
    };
    for (const ModeCase& c : cases) {
        std::vector<const char*> argv{"sndscout"};
        std::string shown;
        for (const std::string& a : c.arguments) {
            argv.push_back(a.c_str());
            shown += "[" + a + "]";
        }
        argv.push_back(nullptr);
        EXPECT_STREQ(modeName(c.mode),
                     modeName(chooseMode(static_cast<int>(argv.size() - 1), argv.data())))
            << "arguments " << shown;
    }
}

TEST(WatchSeconds, AreTheNumberAfterTheModeWord) {
    const struct {
        std::vector<const char*> argv;
        std::optional<unsigned> seconds;
    } cases[] = {
        {{"sndscout", "watch", nullptr}, 0u},
        {{"sndscout", "w", "86400", nullptr}, 86400u},
        {{"sndscout", "/", "wa", "09", nullptr}, 9u},
        {{"sndscout", "quick", "5", nullptr}, std::nullopt},
        {{"sndscout", "watch", "-5", nullptr}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.seconds, watchSeconds(static_cast<int>(c.argv.size() - 1), c.argv.data()))
            << c.argv[1];
}

TEST(JsonWord, IsAPrefixOfJsonAfterAnyOptionPrefix) {
    const struct {
        const char* argument;
        bool json;
    } cases[] = {
        {"j", true},    {"json", true}, {"JSon", true},   {"-j", true},     {"--json", true},
        {"/JS", true},  {"- j", true},  {"\tjson", true}, {"jsonx", false}, {"json ", false},
        {"x", false},   {"", false},    {"-", false},     {"--", false},    {"---j", false},
        {"/-j", false}, {"s", false},   {"jason", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.json, isJsonWord(c.argument)) << "argument [" << c.argument << "]";
    EXPECT_FALSE(isJsonWord(nullptr));
}

TEST(CommandLine, SetsAsideJsonAndOutAnywhereAndReadsAllAfterTheExclusiveMode) {
    const struct {
        std::vector<std::string> arguments;
        RunMode mode;
        bool json, every;
        int output; // the index of the file's name
    } cases[] = {
        {{"e", "all"}, RunMode::Exclusive, false, true, 0},
        {{"-", "exclusive", "--ALL"}, RunMode::Exclusive, false, true, 0},
        {{"all", "e"}, RunMode::Usage, false, false, 0}, // a mode word comes first
        {{"q", "all"}, RunMode::Quick, false, false, 0},
        {{"e", "al"}, RunMode::Exclusive, false, false, 0},
        {{"out", "r.txt", "q"}, RunMode::Quick, false, false, 2},
        {{"e", "json", "/OUT", "json"}, RunMode::Exclusive, true, false, 4}, // a name as it stands
        {{"q", "out"}, RunMode::Quick, false, false, 0},                     // no name: no out word
        {{"out", "", "q"}, RunMode::Usage, false, false, 0}, // nor with an empty one
        {{"out", "out", "s"}, RunMode::Slow, false, false, 2},
        {{"out", "a", "out", "b"}, RunMode::Slow, false, false, 4}, // the last one counts
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv{"sndscout"};
        std::string shown;
        for (const std::string& a : c.arguments) {
            argv.push_back(a.c_str());
            shown += "[" + a + "]";
        }
        argv.push_back(nullptr);
        const CommandLine line = readCommandLine(static_cast<int>(argv.size() - 1), argv.data());
        EXPECT_STREQ(modeName(c.mode), modeName(line.mode)) << shown;
        EXPECT_EQ(c.json, line.json) << shown;
        EXPECT_EQ(c.every, line.everyEndpoint) << shown;
        EXPECT_EQ(c.output, line.outputArgument) << shown;
    }
}

TEST(SkipBlanks, StepsOverControlBytesSpacesAndHighBytes) {
    const struct {
        const char* text;
        std::size_t skipped;
    } cases[] = {
        {"", 0},
        {"word", 0},
        {" \t\x01\x1F"
         "a",
         4},
        {"\x80\xFF"
         "b",
         2},
        {"   ", 3},
        {"!x", 0},
        {"\x7F"
         "c",
         0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text + c.skipped, skipBlanks(c.text)) << "text [" << c.text << "]";
    EXPECT_EQ(nullptr, skipBlanks(nullptr));
}

} // namespace
