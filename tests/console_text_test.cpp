// The fixed texts and the exit status, through the whole program, and the
// text on a console.
#include "output/console_sink.h"
#include "support/captured_output.h"
#include "support/expected_texts.h"
#include "support/simulated_test.h"

#include <ostream>

namespace {

std::string joined(const char* const* lines, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += std::string(lines[i]) + "\n";
    return text;
}

const std::string banner = joined(expectedBanner, std::size(expectedBanner));
const std::string usage = joined(expectedUsage, std::size(expectedUsage));

const std::string emptySections = "        Input Devices\n        -------------\n\n\n"
                                  "        Output Devices\n        --------------\n\n\n";

using ConsoleText = SimulatedTest;

TEST_F(ConsoleText, BannerComesFirstThenUsageOrSections) {
    const struct {
        std::vector<std::string> arguments;
        std::string afterBanner;
    } cases[] = {
        {{"x"}, usage},
        {{"-"}, usage},
        {{"quick"}, emptySections},
        {{}, emptySections},
    };
    for (const auto& c : cases) {
        const ProgramRun run = runWithArguments(c.arguments);
        EXPECT_EQ(banner + c.afterBanner, run.output);
        EXPECT_EQ(0, run.status);
    }
}

TEST_F(ConsoleText, BannerIsOutBeforeThePlatformIsAsked) {
    const struct {
        std::vector<std::string> arguments;
        std::string out; // what has left the program at its first platform call
    } cases[] = {
        {{}, banner}, // the codecs are asked first, and nothing is written meanwhile
        {{"quick"}, banner + "        Input Devices\n        -------------\n\n"},
        // the endpoint service is set up first
        {{"exclusive"}, banner},
    };
    for (const auto& c : cases) {
        resetEverything();
        std::string out = "<no platform call>";
        simulated::machine().atFirstCall = [&out] { out = writtenSoFar(); };
        runWithArguments(c.arguments);
        EXPECT_EQ(c.out, out) << (c.arguments.empty() ? "slow" : c.arguments[0]);
    }
}

TEST_F(ConsoleText, OutputThatCannotBeWrittenGivesStatusOne) {
    simulated::machine().inputs.push_back(device("Mic", 1, 0xFFF));
    offerFormat(pcm(8000, 8, 1));
    simulated::machine().inputs[0].accepts.push_back(pcm(8000, 8, 1));
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"quick"}, {"usage"}, {}, {"exclusive"}}) {
        EXPECT_EQ(1, runOnFullDevice(arguments)) << (arguments.empty() ? "slow" : arguments[0]);
        emptyCatalogue();
    }
    // a report file that cannot be made, for text or a document
    for (const char* mode : {"quick", "json"}) {
        const FullRun run = runCapturingErrors({mode, "out", "/nonexistent/folder/report"});
        EXPECT_EQ(1, run.status) << mode;
        EXPECT_EQ("", run.output) << mode;
        EXPECT_EQ(0u, run.errors.rfind("sndscout: cannot write /nonexistent/folder/report: ", 0))
            << run.errors;
        emptyCatalogue();
    }
    // and a run after it, on a working output, is back to 0
    EXPECT_EQ(0, runWithArguments({"q"}).status);
}

// Lead bytes as Shift-JIS has them.
std::size_t doubleByte(char lead) {
    const auto b = static_cast<unsigned char>(lead);
    return (b >= 0x81 && b < 0xA0) || (b >= 0xE0 && b < 0xFD) ? 2 : 1;
}

TEST(ConsoleOutput, ABufferEndNeverSplitsACharacter) {
    const struct {
        CharacterBytes characterBytes;
        std::string bytes;
        std::size_t whole;
    } cases[] = {
        {doubleByte, "ab", 2},
        {doubleByte, "a\x81", 1},     // the lead waits for its trail
        {doubleByte, "\x81\x81z", 3}, // a trail byte that could also lead
        {doubleByte, "\x81\x81\x81", 2},
        {doubleByte, "", 0},
        {ansiCharacterBytes, "a\x81", 2}, // the simulated code page has no lead bytes
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.whole, wholeCharacters(c.bytes.data(), c.bytes.size(), c.characterBytes))
            << c.bytes;
}

// A name the driver cut inside a double-byte character, then the report's own
// words and the table's Latin-1: each whole, none swallowing the next.
TEST_F(ConsoleText, ACutNameEndsInAQuestionMarkAndTheTableIsLatin1) {
    simulated::machine().outputConsole = true;
    ConsoleSink console(ConsoleStream::Output, doubleByte);
    console.writeDriverText("Mic\x81", 32);
    console.write(" / ", 3);
    console.writeLatin1("f\xFCr");
    console.writeDriverText("\x81\x40\x01", 3);
    ASSERT_TRUE(console.flush());
    EXPECT_EQ(u"Mic? / f\u00fcr\x81@?", simulated::calls().outputConsole);
}

TEST_F(ConsoleText, AConsoleWriteThatFailsGivesStatusOne) {
    furnishEndpointMachine();
    simulated::Machine& m = simulated::machine();
    offerFormat(pcm(8000, 8, 1));
    m.inputs[0].accepts.push_back(pcm(8000, 8, 1));
    m.outputConsole = true;
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"quick"}, {"usage"}, {}, {"exclusive"}, {"json"}, {"e", "j"}}) {
        m.outputConsoleWritesBeforeFailure.reset();
        simulated::calls().outputConsoleWrites = 0;
        ASSERT_EQ(0, runWithArguments(arguments).status);
        emptyCatalogue();
        // whichever write fails
        const unsigned long writes = simulated::calls().outputConsoleWrites;
        ASSERT_GT(writes, 0u);
        for (unsigned long n = 0; n < writes; ++n) {
            m.outputConsoleWritesBeforeFailure = n;
            simulated::calls().outputConsoleWrites = 0;
            EXPECT_EQ(1, runCapturingErrors(arguments).status)
                << (arguments.empty() ? "slow" : arguments[0]) << ", write " << n + 1;
            emptyCatalogue();
        }
    }
    m.outputConsoleWritesBeforeFailure.reset();
    EXPECT_EQ(0, runWithArguments({"q"}).status);
}

} // namespace
