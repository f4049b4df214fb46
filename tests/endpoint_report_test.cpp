// The exclusive mode's text: its wording and layout, every endpoint service
// failure leaving out only what it touches, and names whole on a console.
#include "report/endpoint_text.h"

#include "support/captured_output.h"
#include "support/expected_texts.h"
#include "support/failing_heap.h"
#include "support/simulated_test.h"

#include <map>

namespace {

TEST(EndpointText, KilohertzAreShortAndExact) {
    const struct {
        DWORD rate;
        const char* text;
    } cases[] = {
        {8000, "8"},   {11025, "11.025"}, {22050, "22.05"}, {44100, "44.1"},
        {48000, "48"}, {705600, "705.6"}, {768000, "768"},  {1, "0.001"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, kilohertzText(c.rate)) << c.rate;
}

TEST(EndpointText, RatesRunOnlyOverThreeOrMoreMatrixNeighbours) {
    const struct {
        std::vector<DWORD> rates;
        const char* text;
    } cases[] = {
        {{48000}, "48"},
        {{44100, 48000}, "44.1 48"},
        {{44100, 48000, 64000}, "44.1-64"},
        // 64 kHz missing: HD audio's usual set
        {{44100, 48000, 88200, 96000, 176400, 192000}, "44.1 48 88.2-192"},
        // 88.2 refused, 96 taken
        {{44100, 48000, 64000, 96000}, "44.1-64 96"},
        {{8000, 11025, 16000, 22050, 24000, 32000, 44100, 48000, 64000, 88200, 96000, 176400,
          192000, 352800, 384000, 705600, 768000},
         "8-768"},
        {{}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, rateListText(c.rates)) << c.text;
}

ExclusiveFormat format(SampleType sample, unsigned channels, FormatShape shape,
                       std::vector<DWORD> rates) {
    return {sample, channels, shape, std::move(rates)};
}

FormatShape standard(unsigned channels) {
    return {true, standardChannelMask(channels)};
}

TEST(EndpointText, ExclusiveLinesShareCountsOfOneShapeAndRates) {
    const std::vector<DWORD> hd = {44100, 48000, 96000};
    const std::vector<DWORD> low = {48000};
    ExclusiveFindings findings;
    findings.status = ExclusiveStatus::Ok;
    findings.formats = {
        format(SampleType::Int16, 1, standard(1), hd),
        format(SampleType::Int16, 2, standard(2), hd),
        format(SampleType::Int16, 6, {true, 0x60F}, hd),
        format(SampleType::Int16, 8, standard(8), hd),
        format(SampleType::Int24, 2, {true, 0}, low),
        format(SampleType::Int24, 4, {true, 0}, low),
        format(SampleType::Int32, 2, {false, 0}, low),
    };
    const std::vector<std::string> expected = {
        "int16      1-2, 8 ch  44.1 48 96 kHz",
        "int16      6 ch       44.1 48 96 kHz, channel mask 0x60F (FL FR FC LFE SL SR)",
        "int24      2, 4 ch    48 kHz, no channel mask",
        "int32      2 ch       48 kHz, plain header",
    };
    EXPECT_EQ(expected, exclusiveLines(findings));

    const struct {
        ExclusiveStatus status;
        const char* line;
    } reasons[] = {
        {ExclusiveStatus::Ok, "nothing accepted"},
        {ExclusiveStatus::NotAllowed, "not allowed for this device"},
        {ExclusiveStatus::Busy, "device busy (another program holds it)"},
        {ExclusiveStatus::Gone, "device gone"},
        {ExclusiveStatus::Unavailable, "could not be asked"},
    };
    for (const auto& r : reasons) {
        ExclusiveFindings stopped;
        stopped.status = r.status;
        EXPECT_EQ(std::vector<std::string>{r.line}, exclusiveLines(stopped));
    }
}

// Past eighteen channels no layout is usual, so a count taken without a mask
// must say so, and must not join the usual layouts' line.
TEST(EndpointText, MaskZeroIsNamedWhereNoLayoutIsUsual) {
    const std::vector<DWORD> rates = {48000};
    ExclusiveFindings findings;
    findings.status = ExclusiveStatus::Ok;
    findings.formats = {
        format(SampleType::Int32, 2, standard(2), rates),
        format(SampleType::Int32, 18, standard(18), rates),
        format(SampleType::Int32, 19, {true, 0}, rates),
        format(SampleType::Int32, 20, {true, 0}, rates),
    };
    const std::vector<std::string> expected = {
        "int32      2, 18 ch   48 kHz",
        "int32      19-20 ch   48 kHz, no channel mask",
    };
    EXPECT_EQ(expected, exclusiveLines(findings));
}

std::string joined(const char* const* lines, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += std::string(lines[i]) + "\n";
    return text;
}

using ExclusiveReport = SimulatedTest;

TEST_F(ExclusiveReport, ListsEachDevicesEndpointThenTheUnmatchedOnes) {
    furnishEndpointMachine();
    const ProgramRun run = runWithArguments({"exclusive"});
    EXPECT_EQ(0, run.status);
    const std::string expected =
        joined(expectedBanner, std::size(expectedBanner)) +
        "        Input Devices\n        -------------\n\n"
        "0.\tIn: Mic / Microsoft Corporation\n\n"
        "\t\tName         Microphone (USB Audio)\n"
        "\t\tAdapter      unknown\n"
        "\t\tForm factor  microphone\n"
        "\t\tEndpoint     {0.0.1.00000000}.{mic}\n"
        "\t\tDefault for  console, multimedia, communications\n"
        "\t\tShared mode  48 kHz, 1 channel, float32, channel mask 0x4 (FC)\n"
        "\t\tExclusive    int16      1 ch       16 48 kHz\n\n"
        "\n"
        "        Output Devices\n        --------------\n\n"
        "0.\tOut: Speakers / Microsoft Corporation\n\n"
        "\t\tName         Speakers (High Definition Audio)\n"
        "\t\tAdapter      High Definition Audio Device\n"
        "\t\tForm factor  speakers\n"
        "\t\tEndpoint     {0.0.0.00000000}.{speakers}\n"
        "\t\tDefault for  console, multimedia\n"
        "\t\tShared mode  48 kHz, 2 channels, float32, channel mask 0x3 (FL FR)\n"
        "\t\tExclusive    int16      2 ch       44.1 48 96 192 kHz\n"
        "\t\t             int24in32  2 ch       44.1 48 96 192 kHz\n\n"
        "1.\tOut: Old / Creative Labs, Inc.\n\n"
        "\t\tEndpoint     none found\n"
        "\t\tExclusive    could not be asked\n\n"
        "--\tTV (HDMI) / no waveform device\n\n"
        "\t\tName         TV (HDMI)\n"
        "\t\tAdapter      unknown\n"
        "\t\tForm factor  HDMI\n"
        "\t\tEndpoint     {0.0.0.00000000}.{hdmi}\n"
        "\t\tDefault for  communications\n"
        "\t\tShared mode  48 kHz, 8 channels, float32, channel mask 0x63F (FL FR FC LFE BL BR "
        "SL SR)\n"
        "\t\tExclusive    int16      2, 8 ch    48 kHz\n\n"
        "\n";
    EXPECT_EQ(expected, run.output);
    EXPECT_EQ(0, simulated::calls().comDepth);
    EXPECT_EQ(0, simulated::calls().openEndpoints);
}

// The report cut into blocks: each device line, or unmatched endpoint's line,
// with the lines under it.
std::map<std::string, std::vector<std::string>> blocksOf(const std::string& output) {
    std::map<std::string, std::vector<std::string>> blocks;
    std::string current;
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = output.find('\n', start);
        const std::string line = output.substr(start, end - start);
        start = end == std::string::npos ? output.size() : end + 1;
        if (line.empty() || line[0] == ' ')
            continue;
        if (line[0] != '\t')
            current = line;
        else if (!current.empty())
            blocks[current].push_back(line);
    }
    return blocks;
}

TEST_F(ExclusiveReport, EachServiceFailureLeavesOutOnlyWhatItTouches) {
    furnishEndpointMachine();
    const auto clean = blocksOf(runWithArguments({"e"}).output);
    ASSERT_EQ(4u, clean.size());
    const std::string micLine = "0.\tIn: Mic / Microsoft Corporation";
    const std::string speakerLine = "0.\tOut: Speakers / Microsoft Corporation";
    const std::string tvLine = "--\tTV (HDMI) / no waveform device";
    const std::vector<std::string> noEndpoint = {"\t\tEndpoint     none found",
                                                 "\t\tExclusive    could not be asked"};
    auto speakerEndpoint = [](simulated::Machine& m) -> simulated::Endpoint& {
        return m.endpoints.endpoints[1];
    };
    auto replaced = [&](const std::string& block, const std::string& label,
                        const std::string& value) {
        std::vector<std::string> lines = clean.at(block);
        const std::string head = "\t\t" + label;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].compare(0, head.size(), head) != 0)
                continue;
            lines[i] = head + std::string(13 - label.size(), ' ') + value;
            // an exclusive block of several lines says its one reason instead
            if (label == "Exclusive")
                lines.resize(i + 1);
        }
        return lines;
    };
    const struct {
        const char* name;
        std::function<void(simulated::Machine&)> fault;
        // the blocks that change, and how; every other block is as it was
        std::map<std::string, std::vector<std::string>> changed;
        std::vector<std::string> gone; // blocks no longer there
    } cases[] = {
        {"COM already set up in another mode",
         [](simulated::Machine& m) { m.endpoints.comResult = RPC_E_CHANGED_MODE; },
         {},
         {}},
        {"COM cannot be set up",
         [](simulated::Machine& m) { m.endpoints.comResult = E_OUTOFMEMORY; },
         {{micLine, noEndpoint}, {speakerLine, noEndpoint}},
         {tvLine}},
        {"no enumerator",
         [](simulated::Machine& m) { m.endpoints.enumeratorResult = REGDB_E_CLASSNOTREG; },
         {{micLine, noEndpoint}, {speakerLine, noEndpoint}},
         {tvLine}},
        {"the driver gives no endpoint id",
         [](simulated::Machine& m) { m.inputs[0].endpointIdResult = MMSYSERR_NOTSUPPORTED; },
         // the microphone's endpoint then has no device that leads to it
         {{micLine, noEndpoint},
          {"--\tMicrophone (USB Audio) / no waveform device", clean.at(micLine)}},
         {}},
        {"the endpoint cannot be found",
         [&](simulated::Machine& m) { speakerEndpoint(m).openResult = E_NOTFOUND; },
         {{speakerLine, noEndpoint}},
         {}},
        {"no property store",
         [&](simulated::Machine& m) { speakerEndpoint(m).propertyStoreResult = E_FAIL; },
         {{speakerLine,
           [&] {
               auto lines = replaced(speakerLine, "Name", "unknown");
               lines[1] = "\t\tAdapter      unknown";
               lines[2] = "\t\tForm factor  unknown";
               return lines;
           }()}},
         {}},
        {"a name of the wrong type",
         [&](simulated::Machine& m) {
             speakerEndpoint(m).friendlyName.result = DISP_E_TYPEMISMATCH;
         },
         {{speakerLine, replaced(speakerLine, "Name", "unknown")}},
         {}},
        {"no form factor",
         [&](simulated::Machine& m) { speakerEndpoint(m).formFactor.result = E_NOTFOUND; },
         {{speakerLine, replaced(speakerLine, "Form factor", "unknown")}},
         {}},
        {"defaults cannot be asked",
         [](simulated::Machine& m) { m.endpoints.defaultResult = E_FAIL; },
         {{micLine, replaced(micLine, "Default for", "unknown")},
          {speakerLine, replaced(speakerLine, "Default for", "unknown")},
          {tvLine, replaced(tvLine, "Default for", "unknown")}},
         {}},
        {"no mix format",
         [&](simulated::Machine& m) { speakerEndpoint(m).mixResult = E_FAIL; },
         {{speakerLine, replaced(speakerLine, "Shared mode", "unknown")}},
         {}},
        {"no audio client: device gone",
         [&](simulated::Machine& m) {
             speakerEndpoint(m).activateResult = AUDCLNT_E_DEVICE_INVALIDATED;
         },
         {{speakerLine,
           [&] {
               auto lines = replaced(speakerLine, "Shared mode", "unknown");
               lines[6] = "\t\tExclusive    device gone";
               lines.resize(7);
               return lines;
           }()}},
         {}},
        {"exclusive mode not allowed",
         [&](simulated::Machine& m) {
             speakerEndpoint(m).exclusive = [](const WAVEFORMATEX*) {
                 return AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED;
             };
         },
         {{speakerLine, replaced(speakerLine, "Exclusive", "not allowed for this device")}},
         {}},
        {"device in use",
         [&](simulated::Machine& m) {
             speakerEndpoint(m).exclusive = [](const WAVEFORMATEX*) {
                 return AUDCLNT_E_DEVICE_IN_USE;
             };
         },
         {{speakerLine,
           replaced(speakerLine, "Exclusive", "device busy (another program holds it)")}},
         {}},
        {"device invalidated in the middle of the probe",
         [&](simulated::Machine& m) {
             simulated::ExclusiveProfile before = speakerEndpoint(m).exclusive;
             auto asked = std::make_shared<int>(0);
             speakerEndpoint(m).exclusive = [before, asked](const WAVEFORMATEX* f) {
                 return ++*asked > 20 ? AUDCLNT_E_DEVICE_INVALIDATED : before(f);
             };
         },
         {{speakerLine, replaced(speakerLine, "Exclusive", "device gone")}},
         {}},
        {"every question fails, with no yes or no",
         [&](simulated::Machine& m) {
             speakerEndpoint(m).exclusive = [](const WAVEFORMATEX*) { return E_FAIL; };
         },
         {{speakerLine, replaced(speakerLine, "Exclusive", "could not be asked")}},
         {}},
        {"the service runs out of memory mid-probe",
         [&](simulated::Machine& m) {
             simulated::ExclusiveProfile before = speakerEndpoint(m).exclusive;
             auto asked = std::make_shared<int>(0);
             speakerEndpoint(m).exclusive = [before, asked](const WAVEFORMATEX* f) {
                 return ++*asked > 5 ? E_OUTOFMEMORY : before(f);
             };
         },
         {{speakerLine, replaced(speakerLine, "Exclusive", "could not be asked")}},
         {}},
        {"active endpoints cannot be listed",
         [](simulated::Machine& m) { m.endpoints.listResult = E_FAIL; },
         {},
         {tvLine}},
    };
    for (const auto& c : cases) {
        resetEverything();
        furnishEndpointMachine();
        c.fault(simulated::machine());
        const ProgramRun run = runWithArguments({"e"});
        EXPECT_EQ(0, run.status) << c.name;
        const auto faulty = blocksOf(run.output);
        for (const auto& [line, lines] : clean) {
            const bool gone = std::find(c.gone.begin(), c.gone.end(), line) != c.gone.end();
            if (gone) {
                EXPECT_EQ(0u, faulty.count(line)) << c.name << ": " << line;
                continue;
            }
            const auto changed = c.changed.find(line);
            const std::vector<std::string>& want =
                changed != c.changed.end() ? changed->second : lines;
            ASSERT_EQ(1u, faulty.count(line)) << c.name << ": " << line;
            EXPECT_EQ(want, faulty.at(line)) << c.name << ": " << line;
        }
        for (const auto& [line, lines] : c.changed) {
            if (clean.count(line) != 0)
                continue;
            EXPECT_EQ(lines, faulty.count(line) ? faulty.at(line) : std::vector<std::string>())
                << c.name << ": " << line;
        }
        EXPECT_EQ(0, simulated::calls().comDepth) << c.name;
        EXPECT_EQ(0, simulated::calls().openEndpoints) << c.name;
    }
}

TEST_F(ExclusiveReport, OnAConsoleEveryNameComesOutWhole) {
    const struct {
        const char* waveName;
        std::u16string endpointName;
        std::u16string shown; // on the console
    } cases[] = {
        {"Micr\xF3"
         "fono",
         u"Micr\u00f3fono (\u0141\u0105cze USB)", u"Micr\u00f3fono (\u0141\u0105cze USB)"},
        {"Ctl\x01|", u"Ctl\x01\n\x7F|", u"Ctl???|"},
        {"Caf\xE9", u"\U0001F3B5 \u4E2D\u6587", u"\U0001F3B5 \u4E2D\u6587"},
    };
    const std::u16string nameLabel = u"\t\tName         ";
    for (const auto& c : cases) {
        resetEverything();
        simulated::Machine& m = simulated::machine();
        m.inputs = {device(c.waveName, 1, WAVE_FORMAT_1M08)};
        linkDevice(m.inputs[0], micEndpoint);
        addEndpoint('I', micEndpoint, c.endpointName);
        offerFormat(pcm(8000, 8, 1));
        nameTag(WAVE_FORMAT_PCM, c.waveName);
        m.inputs[0].accepts.push_back(pcm(8000, 8, 1));
        for (const char* mode : {"exclusive", "quick", "slow", "usage"}) {
            m.outputConsole = false;
            const ProgramRun redirected = runWithArguments({mode});
            emptyCatalogue();
            m.outputConsole = true;
            simulated::calls().outputConsole.clear();
            const ProgramRun console = runWithArguments({mode});
            emptyCatalogue();
            EXPECT_EQ(0, console.status) << mode;
            EXPECT_EQ("", console.output) << mode;
            // the same text, but for the endpoint's name, which the code page
            // may lack characters of
            std::u16string expected = onConsole(redirected.output);
            const std::size_t name = expected.find(nameLabel);
            if (name != std::u16string::npos) {
                const std::size_t start = name + nameLabel.size();
                expected.replace(start, expected.find(u'\r', start) - start, c.shown);
            }
            EXPECT_EQ(expected, simulated::calls().outputConsole) << mode;
            EXPECT_EQ(std::string(mode) == "exclusive",
                      simulated::calls().outputConsole.find(nameLabel + c.shown + u"\r\n") !=
                          std::u16string::npos)
                << mode;
        }
    }
}

TEST_F(ExclusiveReport, MemoryFailingAnywhereKeepsEveryDeviceLine) {
    furnishEndpointMachine();
    failing_heap::failFrom(0);
    const ProgramRun clean = runWithArguments({"e"});
    const auto cleanBlocks = blocksOf(clean.output);
    unsigned long allocations = 0;
    runCapturingErrors({"e"}, [&] { failing_heap::failFrom(0); });
    allocations = failing_heap::counted();
    ASSERT_GT(allocations, 50u);
    for (unsigned long n = 1; n <= allocations; n += 1 + n / 16) {
        for (bool persistent : {false, true}) {
            resetEverything();
            furnishEndpointMachine();
            const FullRun run = runCapturingErrors(
                {"e"}, [&] { failing_heap::failFrom(n, persistent); },
                [] { failing_heap::failFrom(0); });
            EXPECT_EQ(0, run.status) << "allocation " << n;
            const auto blocks = blocksOf(run.output);
            for (const auto& [line, lines] : cleanBlocks) {
                if (line[0] == '-')
                    continue; // an unmatched endpoint may be what was lost
                EXPECT_EQ(1u, blocks.count(line)) << "allocation " << n << ": " << line;
            }
            EXPECT_EQ(0, simulated::calls().openEndpoints) << "allocation " << n;
        }
    }
}

} // namespace
