// The fixed texts and the exit status, through the whole program.
#include "support/captured_output.h"
#include "support/simulated_test.h"

namespace {

const std::string banner = "\nSndscout\nWaveform audio devices and the formats they accept\n\n";

const std::string usage = "Enter \n"
                          "\n"
                          "       sndscout\n"
                          "       sndscout [ - | / ] s[low]\n"
                          "       sndscout [ - | / ] f[ast]\n"
                          "       sndscout [ - | /]  q[uick]\n"
                          "\n"
                          "To view an enumeration of all the audio devices on this system\n"
                          "and the formats that they support. By default a slow enumeration is\n"
                          "done in which an attempt is made to determime all known formats.\n"
                          "Specify quick or fast for an enumeration limited to PCM formats.\n";

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

TEST_F(ConsoleText, OutputThatCannotBeWrittenGivesStatusOne) {
    simulated::machine().inputs.push_back(device("Mic", 1, 0xFFF));
    offerFormat(pcm(8000, 8, 1));
    simulated::machine().inputs[0].accepts.push_back(pcm(8000, 8, 1));
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"quick"}, {"usage"}, {}}) {
        EXPECT_EQ(1, runOnFullDevice(arguments)) << (arguments.empty() ? "slow" : arguments[0]);
        emptyCatalogue();
    }
    // and a run after it, on a working output, is back to 0
    EXPECT_EQ(0, runWithArguments({"q"}).status);
}

} // namespace
