// The exclusive mode's text: its wording and layout, every endpoint service
// failure leaving out only what it touches, and names whole on a console.
#include "report/endpoint_text.h"

#include "json/utf8.h"

#include "support/captured_output.h"
#include "support/format_bytes.h"
#include "support/expected_texts.h"
#include "support/failing_heap.h"
#include "support/simulated_test.h"

#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>

#include <nlohmann/json.hpp>

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
    const ProgramRun run = runWithArguments({"exclusive", "all"});
    EXPECT_EQ(0, run.status);
    const std::string expected =
        joined(expectedBanner, std::size(expectedBanner)) +
        "\t\tWindows      10.0, build 19045\n"
        "\t\tServices     Audiosrv running, AudioEndpointBuilder running\n\n"
        "        Input Devices\n        -------------\n\n"
        "0.\tIn: Mic / Microsoft Corporation\n\n"
        "\t\tName         Microphone (USB Audio)\n"
        "\t\tAdapter      unknown\n"
        "\t\tForm factor  microphone\n"
        "\t\tEndpoint     {0.0.1.00000000}.{mic}\n"
        "\t\tState        active\n"
        "\t\tDefault for  console, multimedia, communications\n"
        "\t\tHardware     USB 046D:0A44, USB\\VID_046D&PID_0A44&REV_0011&MI_00\n"
        "\t\tDriver       Microsoft, version 10.0.19041.1, 2006-06-21\n"
        "\t\t             wdma_usb.inf, service usbaudio, file version 10.0.19041.1566\n"
        "\t\tSame device  Headphones (USB), output\n"
        "\t\tEffects      none\n"
        "\t\tVolume       unknown\n"
        "\t\tEnhancements unknown\n"
        "\t\tSessions     unknown\n"
        "\t\tPeriod       10 ms default, 3 ms minimum\n"
        "\t\tEngine       unknown\n"
        "\t\tPanel format unknown\n"
        "\t\tShared mode  48 kHz, 1 channel, float32, channel mask 0x4 (FC)\n"
        "\t\tExclusive    int16      1 ch       16 48 kHz\n\n"
        "\n"
        "        Output Devices\n        --------------\n\n"
        "0.\tOut: Speakers / Microsoft Corporation\n\n"
        "\t\tName         Speakers (High Definition Audio)\n"
        "\t\tAdapter      High Definition Audio Device\n"
        "\t\tForm factor  speakers\n"
        "\t\tEndpoint     {0.0.0.00000000}.{speakers}\n"
        "\t\tState        active\n"
        "\t\tDefault for  console, multimedia\n"
        "\t\tHardware     HD Audio 10EC:0256, "
        "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0256&SUBSYS_10280A20&REV_1000\n"
        "\t\tDriver       Realtek Semiconductor Corp., version 6.0.9235.1, 2021-08-05\n"
        "\t\t             oem42.inf, service IntcAzAudAddService\n"
        "\t\tSame device  none\n"
        "\t\tEffects      stream   RtkApo64.dll 13.0.6000.1234\n"
        "\t\t             mode     RtkApo64.dll 13.0.6000.1234\n"
        "\t\t             endpoint {B2C3D4E5-0000-4000-8000-00000000B902}, not registered\n"
        "\t\tVolume       -6.5 dB (71%), not muted; range -65.25 to 0 dB in steps of 0.75 dB\n"
        "\t\tEnhancements on\n"
        "\t\tSessions     player.exe, process 4312, active\n"
        "\t\t             System sounds, inactive\n"
        "\t\t             unknown program, process 977, inactive\n"
        "\t\tPeriod       10 ms default, 3 ms minimum\n"
        "\t\tEngine       default 480, fundamental 480, minimum 96 (2 ms), maximum 480 frames\n"
        "\t\tPanel format 48 kHz, 2 channels, int24in32, channel mask 0x3 (FL FR)\n"
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
        "\t\tState        active\n"
        "\t\tDefault for  communications\n"
        "\t\tHardware     HD Audio 8086:280B, "
        "HDAUDIO\\FUNC_01&VEN_8086&DEV_280B&SUBSYS_80860101&REV_1000\n"
        "\t\tDriver       Intel(R) Corporation, version 10.27.0.12, 2019-12-06\n"
        "\t\t             oem7.inf, service IntcDAud\n"
        "\t\tSame device  none\n"
        "\t\tEffects      none\n"
        "\t\tVolume       unknown\n"
        "\t\tEnhancements unknown\n"
        "\t\tSessions     unknown\n"
        "\t\tPeriod       10 ms default, 3 ms minimum\n"
        "\t\tEngine       unknown\n"
        "\t\tPanel format unknown\n"
        "\t\tShared mode  48 kHz, 8 channels, float32, channel mask 0x63F (FL FR FC LFE BL BR "
        "SL SR)\n"
        "\t\tExclusive    int16      2, 8 ch    48 kHz\n\n"
        // out of use: its properties, and nothing of an audio client
        "--\tHeadphones (USB) / no waveform device\n\n"
        "\t\tName         Headphones (USB)\n"
        "\t\tAdapter      unknown\n"
        "\t\tForm factor  headphones\n"
        "\t\tEndpoint     {0.0.0.00000000}.{headphones}\n"
        "\t\tState        not present\n"
        "\t\tDefault for  none\n"
        // no devnode reached
        "\t\tHardware     unknown\n"
        "\t\tDriver       unknown\n"
        "\t\tProblem      unknown\n"
        "\t\tSame device  Microphone (USB Audio), input\n"
        "\t\tEffects      none\n"
        "\t\tEnhancements unknown\n"
        "\t\tPanel format 44.1 kHz, 2 channels, int16, no channel mask\n\n"
        "\n";
    EXPECT_EQ(expected, run.output);
    // Without "all" the endpoints not present are one line, in place of their blocks.
    const std::size_t gone = expected.find("--\tHeadphones");
    EXPECT_EQ(expected.substr(0, gone) +
                  "--\t1 endpoint not present (a device once attached)\n\n\n",
              runWithArguments({"exclusive"}).output);
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
    const auto clean = blocksOf(runWithArguments({"e", "all"}).output);
    ASSERT_EQ(6u, clean.size()); // the system's lines under the banner, then five blocks
    const std::string systemLines = "Waveform audio devices and the formats they accept";
    const std::string micLine = "0.\tIn: Mic / Microsoft Corporation";
    const std::string speakerLine = "0.\tOut: Speakers / Microsoft Corporation";
    const std::string tvLine = "--\tTV (HDMI) / no waveform device";
    const std::string headphonesLine = "--\tHeadphones (USB) / no waveform device";
    const std::vector<std::string> noEndpoint = {"\t\tEndpoint     none found",
                                                 "\t\tExclusive    could not be asked"};
    auto speakerEndpoint = [](simulated::Machine& m) -> simulated::Endpoint& {
        return m.endpoints.endpoints[1];
    };
    // The verify mode's, with the speakers' program idle so that every endpoint opens;
    // its speakers' block with these exclusive lines and Verify line.
    const auto idle = [&](simulated::Machine& m) { speakerEndpoint(m).sessions[0].state = 0; };
    resetEverything();
    furnishEndpointMachine();
    idle(simulated::machine());
    const auto cleanVerify = blocksOf(runWithArguments({"v", "all"}).output);
    const std::string int16 = "int16      2 ch       44.1 48 96 192 kHz";
    const std::string int24 = "int24in32  2 ch       44.1 48 96 192 kHz";
    auto speakers = [&](const std::vector<std::string>& exclusive, const std::string& verify) {
        std::vector<std::string> lines = cleanVerify.at(speakerLine);
        lines.erase(std::find(lines.begin(), lines.end(), "\t\tExclusive    " + int16 + "; opened"),
                    lines.end());
        for (std::size_t i = 0; i < exclusive.size(); ++i)
            lines.push_back((i == 0 ? "\t\tExclusive    " : "\t\t             ") + exclusive[i]);
        lines.push_back("\t\tVerify       " + verify);
        return lines;
    };
    const auto answering = [](HRESULT answer) {
        return [answer](const WAVEFORMATEX*, bool, std::int64_t) { return answer; };
    };
    // The block with these labels' values replaced; a value of several lines
    // (the sessions, the exclusive formats) becomes the one line given.
    auto replacedAll = [&](const std::string& block,
                           std::vector<std::pair<std::string, std::string>> values) {
        std::vector<std::string> lines = clean.at(block);
        const std::string continued = "\t\t" + std::string(13, ' ');
        for (const auto& [label, value] : values) {
            const std::string head = "\t\t" + label;
            for (std::size_t i = 0; i < lines.size(); ++i) {
                if (lines[i].compare(0, head.size(), head) != 0)
                    continue;
                lines[i] = head + std::string(13 - label.size(), ' ') + value;
                while (i + 1 < lines.size() &&
                       lines[i + 1].compare(0, continued.size(), continued) == 0)
                    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i + 1));
            }
        }
        return lines;
    };
    auto replaced = [&](const std::string& block, const std::string& label,
                        const std::string& value) {
        return replacedAll(block, {{label, value}});
    };
    // The block with whole lines replaced, each by none or several.
    auto edited = [&](const std::string& block,
                      std::vector<std::pair<std::string, std::vector<std::string>>> edits) {
        std::vector<std::string> lines;
        for (const std::string& line : clean.at(block)) {
            const auto edit = std::find_if(edits.begin(), edits.end(),
                                           [&](const auto& e) { return "\t\t" + e.first == line; });
            if (edit == edits.end())
                lines.push_back(line);
            for (std::size_t i = 0; edit != edits.end() && i < edit->second.size(); ++i)
                lines.push_back("\t\t" + edit->second[i]);
        }
        return lines;
    };
    const std::string codecLine = "Hardware     HD Audio 10EC:0256, "
                                  "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0256&SUBSYS_10280A20&REV_1000";
    const std::string realtekLine = "Driver       Realtek Semiconductor Corp., version 6.0.9235.1, "
                                    "2021-08-05";
    const std::string realtekFiles = "             oem42.inf, service IntcAzAudAddService";
    // The speakers' block when their adapter's reads stop after its hardware
    // id: the driver and the rest of the endpoint unknown, but for `said`.
    auto adapterCutShort = [&](std::vector<std::pair<std::string, std::string>> said) {
        said.push_back({"Driver", "provider unknown, version unknown, date unknown"});
        for (const char* label : {"Effects", "State", "Volume", "Enhancements", "Sessions",
                                  "Period", "Engine", "Panel format", "Shared mode"})
            said.push_back({label, "unknown"});
        std::vector<std::string> lines = replacedAll(speakerLine, said);
        const auto driver = std::find_if(
            lines.begin(), lines.end(), [](auto& l) { return l.compare(0, 8, "\t\tDriver") == 0; });
        lines.insert(driver + 1,
                     {"\t\t             INF unknown, service unknown", "\t\tProblem      unknown"});
        return lines;
    };
    // Without an audio client, nothing it would answer is known.
    auto noClient = [&](const std::string& reason) {
        return replacedAll(speakerLine, {{"Volume", "unknown"},
                                         {"Sessions", "unknown"},
                                         {"Period", "unknown"},
                                         {"Engine", "unknown"},
                                         {"Shared mode", "unknown"},
                                         {"Exclusive", reason}});
    };
    const struct {
        const char* name;
        std::function<void(simulated::Machine&)> fault;
        // the blocks that change, and how; every other block is as it was
        std::map<std::string, std::vector<std::string>> changed;
        std::vector<std::string> gone; // blocks no longer there
        long questions = -1;           // exclusive questions asked, when that counts
        // The verify mode's rows: the speakers' stream opens, when that counts (else -1).
        std::optional<long> verifyOpens = std::nullopt;
    } cases[] = {
        {"COM already set up in another mode",
         [](simulated::Machine& m) { m.endpoints.comResult = RPC_E_CHANGED_MODE; },
         {},
         {}},
        {"COM cannot be set up",
         [](simulated::Machine& m) { m.endpoints.comResult = E_OUTOFMEMORY; },
         {{micLine, noEndpoint}, {speakerLine, noEndpoint}},
         {tvLine, headphonesLine}},
        {"no enumerator",
         [](simulated::Machine& m) { m.endpoints.enumeratorResult = REGDB_E_CLASSNOTREG; },
         {{micLine, noEndpoint}, {speakerLine, noEndpoint}},
         {tvLine, headphonesLine}},
        {"the driver gives no endpoint id",
         [](simulated::Machine& m) { m.inputs[0].endpointIdResult = MMSYSERR_NOTSUPPORTED; },
         // the microphone's endpoint then has no device that leads to it
         {{micLine, noEndpoint},
          {"--\tMicrophone (USB Audio) / no waveform device", clean.at(micLine)}},
         {}},
        {"the driver hangs naming its endpoint",
         [](simulated::Machine& m) {
             setenv("SNDSCOUT_CALL_LIMIT_MS", "200", 1);
             m.inputs[0].hangsAtCall = 2; // its capability record, then the endpoint's id
         },
         {{micLine, {"\t\tEndpoint     not answering", "\t\tExclusive    not answering"}},
          {"--\tMicrophone (USB Audio) / no waveform device", clean.at(micLine)}},
         {}},
        {"a driver that answers, but too slowly for the endpoint's budget",
         [&](simulated::Machine& m) {
             setenv("SNDSCOUT_ENDPOINT_BUDGET_MS", "300", 1);
             simulated::ExclusiveProfile before = speakerEndpoint(m).exclusive;
             speakerEndpoint(m).exclusive = [before](const WAVEFORMATEX* f) {
                 std::this_thread::sleep_for(std::chrono::milliseconds(3));
                 return before(f);
             };
         },
         {{speakerLine, replaced(speakerLine, "Exclusive",
                                 "too slow: not asked within the time an endpoint may take")}},
         {}},
        {"the endpoint cannot be found",
         [&](simulated::Machine& m) { speakerEndpoint(m).openResult = E_NOTFOUND; },
         {{speakerLine, noEndpoint}},
         {}},
        {"no property store",
         [&](simulated::Machine& m) { speakerEndpoint(m).propertyStoreResult = E_FAIL; },
         {{speakerLine, replacedAll(speakerLine, {{"Name", "unknown"},
                                                  {"Adapter", "unknown"},
                                                  {"Form factor", "unknown"},
                                                  {"Same device", "unknown"},
                                                  {"Effects", "unknown"},
                                                  {"Enhancements", "unknown"},
                                                  {"Panel format", "unknown"}})}},
         {}},
        {"a name the privacy settings keep back",
         [&](simulated::Machine& m) { speakerEndpoint(m).friendlyName.result = E_ACCESSDENIED; },
         {{speakerLine, replaced(speakerLine, "Name", "unknown")}},
         {}},
        {"control-panel formats of the wrong type, and shorter than their header says",
         [&](simulated::Machine& m) {
             speakerEndpoint(m).deviceFormat = {DISP_E_TYPEMISMATCH, {}};
             m.endpoints.endpoints[3].deviceFormat.value.resize(17);
         },
         {{speakerLine, replaced(speakerLine, "Panel format", "unknown")},
          {headphonesLine, replaced(headphonesLine, "Panel format", "unknown")}},
         {}},
        {"no volume control, no newer audio client, no session list",
         [&](simulated::Machine& m) {
             speakerEndpoint(m).volume.result = E_NOTIMPL;
             speakerEndpoint(m).enginePeriods.result = E_NOINTERFACE;
             speakerEndpoint(m).sessionsResult = E_NOTIMPL;
         },
         {{speakerLine,
           replacedAll(speakerLine,
                       {{"Volume", "unknown"}, {"Engine", "unknown"}, {"Sessions", "unknown"}})}},
         {}},
        {"a session whose process cannot be opened, named by a snapshot of the processes",
         [&](simulated::Machine& m) {
             m.endpoints.snapshotNames[4312] = u"player.exe";
             m.endpoints.processes.clear();
         },
         {},
         {}},
        {"a display whose jack does not say HDMI, and one that says DisplayPort",
         [&](simulated::Machine& m) {
             m.endpoints.endpoints[2].jackSubtype.result = E_NOTFOUND;
             speakerEndpoint(m).formFactor.value = 9;
             speakerEndpoint(m).jackSubtype = {S_OK, u"{E47E4031-3EA6-418D-8F9B-B73843CCBA97}"};
         },
         {{tvLine, replaced(tvLine, "Form factor", "digital display")},
          {speakerLine, replaced(speakerLine, "Form factor", "DisplayPort")}},
         {}},
        {"a session whose process has ended",
         [&](simulated::Machine& m) { m.endpoints.processes.clear(); },
         {{speakerLine,
           [&] {
               std::vector<std::string> lines = clean.at(speakerLine);
               *std::find(lines.begin(), lines.end(),
                          "\t\tSessions     player.exe, process 4312, active") =
                   "\t\tSessions     unknown program, process 4312, active";
               return lines;
           }()}},
         {}},
        {"a plain PCM mix format with a stray cbSize",
         [&](simulated::Machine& m) {
             std::vector<unsigned char>& mix = speakerEndpoint(m).mixFormat;
             const FormatHeader header = formatHeader(WAVE_FORMAT_PCM, 48000, 16, 2, 22);
             const auto* bytes = reinterpret_cast<const unsigned char*>(&header);
             mix.assign(bytes, bytes + sizeof header);
         },
         {{speakerLine,
           replaced(speakerLine, "Shared mode", "48 kHz, 2 channels, int16, no channel mask")}},
         {}},
        {"a driver that spells the endpoint id in capitals",
         [](simulated::Machine& m) { m.outputs[0].endpointId = u"{0.0.0.00000000}.{SPEAKERS}"; },
         {},
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
          {tvLine, replaced(tvLine, "Default for", "unknown")},
          {headphonesLine, replaced(headphonesLine, "Default for", "unknown")}},
         {}},
        {"no mix format",
         [&](simulated::Machine& m) { speakerEndpoint(m).mixResult = E_FAIL; },
         {{speakerLine,
           replacedAll(speakerLine, {{"Shared mode", "unknown"}, {"Engine", "unknown"}})}},
         {}},
        {"no audio client: device gone",
         [&](simulated::Machine& m) {
             speakerEndpoint(m).activateResult = AUDCLNT_E_DEVICE_INVALIDATED;
         },
         {{speakerLine, noClient("device gone")}},
         {},
         0},
        {"no audio client: microphone access off",
         [&](simulated::Machine& m) { speakerEndpoint(m).activateResult = E_ACCESSDENIED; },
         {{speakerLine, noClient("access denied (Windows privacy settings)")}},
         {},
         0},
        {"no audio client: the request called invalid, which would refuse a format",
         [&](simulated::Machine& m) { speakerEndpoint(m).activateResult = E_INVALIDARG; },
         {{speakerLine, noClient("could not be asked")}},
         {},
         0},
        {"access denied in the middle of the probe",
         [&](simulated::Machine& m) {
             speakerEndpoint(m).exclusive = [](const WAVEFORMATEX*) { return E_ACCESSDENIED; };
         },
         {{speakerLine,
           replaced(speakerLine, "Exclusive", "access denied (Windows privacy settings)")}},
         {},
         1},
        {"a driver that hangs reading the volume",
         [&](simulated::Machine& m) {
             setenv("SNDSCOUT_CALL_LIMIT_MS", "200", 1);
             speakerEndpoint(m).hangsAtCall = 11;
         },
         // what was read before stays; the rest is unknown, the next endpoint as it was
         {{speakerLine, replacedAll(speakerLine, {{"Volume", "unknown"},
                                                  {"Sessions", "unknown"},
                                                  {"Period", "unknown"},
                                                  {"Engine", "unknown"},
                                                  {"Shared mode", "unknown"},
                                                  {"Exclusive", "not answering"}})}},
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
        {"endpoints cannot be listed",
         [](simulated::Machine& m) { m.endpoints.listResult = E_FAIL; },
         {},
         {tvLine, headphonesLine}},
        {"the adapter's devnode is gone",
         [](simulated::Machine& m) { m.hardware.devnodes[1].locateResult = CR_NO_SUCH_DEVNODE; },
         {{speakerLine, edited(speakerLine, {{codecLine, {"Hardware     HD Audio 10EC:0256"}},
                                             {realtekLine, {"Driver       unknown"}},
                                             {realtekFiles, {"Problem      unknown"}}})}},
         {}},
        {"a property missing, and one of another type",
         [](simulated::Machine& m) {
             m.hardware.devnodes[0].texts[0] = {CR_NO_SUCH_VALUE, u"", false};
             m.hardware.devnodes[0].hardwareIds.otherType = true;
         },
         {{micLine,
           edited(micLine,
                  {{"Hardware     USB 046D:0A44, USB\\VID_046D&PID_0A44&REV_0011&MI_00",
                    {"Hardware     USB 046D:0A44"}},
                   {"Driver       Microsoft, version 10.0.19041.1, 2006-06-21",
                    {"Driver       provider unknown, version 10.0.19041.1, 2006-06-21"}}})}},
         {}},
        {"a version resource missing, and one without its signature",
         [](simulated::Machine& m) {
             auto& versions = m.hardware.fixedVersions;
             versions[u"C:\\Windows\\System32\\drivers\\usbaudio.sys"].error =
                 ERROR_RESOURCE_TYPE_NOT_FOUND;
             versions[u"C:\\Windows\\System32\\RtkApo64.dll"].value[0] ^= 1;
         },
         {{micLine, edited(micLine, {{"             wdma_usb.inf, service usbaudio, file version "
                                      "10.0.19041.1566",
                                      {"             wdma_usb.inf, service usbaudio"}}})},
          {speakerLine,
           edited(speakerLine, {{"Effects      stream   RtkApo64.dll 13.0.6000.1234",
                                 {"Effects      stream   RtkApo64.dll version unknown"}},
                                {"             mode     RtkApo64.dll 13.0.6000.1234",
                                 {"             mode     RtkApo64.dll version unknown"}}})}},
         {}},
        {"the configuration manager out of memory: the INF's version, then the file's shows",
         [](simulated::Machine& m) {
             m.hardware.devnodes[1].texts[1].result = CR_OUT_OF_MEMORY;
             m.hardware.devnodes[1].problem.result = CR_OUT_OF_MEMORY;
         },
         {{speakerLine,
           edited(speakerLine,
                  {{realtekLine,
                    {"Driver       Realtek Semiconductor Corp., version unknown, 2021-08-05"}},
                   {realtekFiles,
                    {realtekFiles + ", file version 6.0.9235.1", "Problem      unknown"}}})}},
         {}},
        {"a configuration manager call that hangs: the rest of the endpoint unknown",
         [&](simulated::Machine& m) {
             setenv("SNDSCOUT_CALL_LIMIT_MS", "200", 1);
             m.hardware.devnodes[1].hangsAtCall = 2;
         },
         {{speakerLine, adapterCutShort({{"Hardware", "HD Audio 10EC:0256"},
                                         {"Same device", "unknown"},
                                         {"Exclusive", "not answering"}})}},
         {}},
        {"a driver whose devnode answers, but too slowly for the endpoint's budget",
         [](simulated::Machine& m) {
             setenv("SNDSCOUT_ENDPOINT_BUDGET_MS", "300", 1);
             // past the budget after its first property, well within a call's limit
             m.hardware.devnodes[1].answersAfter = std::chrono::milliseconds(400);
         },
         {{speakerLine,
           adapterCutShort(
               {{"Same device", "none"},
                {"Exclusive", "too slow: not asked within the time an endpoint may take"}})}},
         {}},
        {"the system's version and services not to be had",
         [](simulated::Machine& m) {
             m.hardware.version.result = E_FAIL;
             m.hardware.services[0].error = ERROR_SERVICE_DOES_NOT_EXIST;
             m.hardware.services[1].error = ERROR_ACCESS_DENIED;
         },
         {{systemLines,
           {"\t\tWindows      unknown",
            "\t\tServices     Audiosrv not installed, AudioEndpointBuilder unknown"}}},
         {}},
        {"verify: nothing opened while a program plays",
         [&](simulated::Machine& m) { speakerEndpoint(m).sessions[0].state = 1; },
         {{speakerLine,
           [&] {
               auto lines = speakers({int16, int24}, "in use by player.exe, not opened");
               *std::find(lines.begin(), lines.end(),
                          "\t\tSessions     player.exe, process 4312, inactive") =
                   "\t\tSessions     player.exe, process 4312, active";
               return lines;
           }()}},
         {},
         -1,
         0},
        {"verify: claimed at 44.1 kHz, but the driver makes no stream",
         [&](simulated::Machine& m) {
             speakerEndpoint(m).opening = [](const WAVEFORMATEX* f, bool, std::int64_t) {
                 return f->nSamplesPerSec == 44100 ? AUDCLNT_E_ENDPOINT_CREATE_FAILED : S_OK;
             };
         },
         {{speakerLine,
           speakers(
               {int16 + "; opened 48 96 192 kHz; claimed but failed: 44.1 kHz (stream not created)",
                int24 +
                    "; opened 48 96 192 kHz; claimed but failed: 44.1 kHz (stream not created)"},
               "6 of 8 formats opened, 2 claimed but failed")}},
         {},
         -1,
         8},
        {"verify: taken by another program in exclusive mode",
         [&](simulated::Machine& m) {
             speakerEndpoint(m).opening = answering(AUDCLNT_E_DEVICE_IN_USE);
         },
         {{speakerLine, speakers({int16, int24},
                                 "device busy (another program holds it); 0 of 8 formats opened")}},
         {},
         -1,
         1},
        {"verify: exclusive control turned off",
         [&](simulated::Machine& m) {
             speakerEndpoint(m).opening = answering(AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED);
         },
         {{speakerLine, speakers({int16, int24}, "not allowed: exclusive control is turned off for "
                                                 "this device; 0 of 8 formats opened")}},
         {},
         -1,
         1},
        {"verify: the sixth open hangs; what opened before stays, the next endpoint opens",
         [&](simulated::Machine& m) {
             setenv("SNDSCOUT_CALL_LIMIT_MS", "200", 1);
             speakerEndpoint(m).hangsAtOpen = 6;
         },
         {{speakerLine,
           speakers({int16 + "; opened", int24}, "not answering; 4 of 8 formats opened")}},
         {},
         -1,
         -1},
    };
    for (const auto& c : cases) {
        resetEverything();
        unsetenv("SNDSCOUT_CALL_LIMIT_MS");
        unsetenv("SNDSCOUT_ENDPOINT_BUDGET_MS");
        furnishEndpointMachine();
        const bool verify = c.verifyOpens.has_value();
        if (verify)
            idle(simulated::machine());
        c.fault(simulated::machine());
        const auto started = std::chrono::steady_clock::now();
        const ProgramRun run = runWithArguments({verify ? "v" : "e", "all"});
        const auto& base = verify ? cleanVerify : clean;
        // a hung call costs one time limit, never the wait for its answer
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << c.name;
        // a thread left hanging closes what it opened once let go
        simulated::releaseHangingCalls();
        if (c.questions >= 0) {
            EXPECT_EQ(static_cast<unsigned long>(c.questions),
                      speakerEndpoint(simulated::machine()).questionsAsked)
                << c.name;
        }
        // the exclusive mode never opens a stream
        const std::size_t opens = verify ? speakerEndpoint(simulated::machine()).opens.size()
                                         : simulated::calls().streamOpens;
        if (c.verifyOpens.value_or(0) >= 0) {
            EXPECT_EQ(c.verifyOpens.value_or(0), static_cast<long>(opens)) << c.name;
        }
        EXPECT_EQ(0, run.status) << c.name;
        const auto faulty = blocksOf(run.output);
        for (const auto& [line, lines] : base) {
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
            if (base.count(line) != 0)
                continue;
            EXPECT_EQ(lines, faulty.count(line) ? faulty.at(line) : std::vector<std::string>())
                << c.name << ": " << line;
        }
        EXPECT_EQ(0, simulated::calls().comDepth) << c.name;
        EXPECT_EQ(0, simulated::calls().openEndpoints) << c.name;
    }
}

TEST_F(ExclusiveReport, EachEndpointSaysItsHardwareItsDriverAndItsDeviceOnce) {
    furnishHardwareMachine();
    const auto blocks = blocksOf(runWithArguments({"e", "all"}).output);
    // Two endpoints share the hands-free devnode: seven adapters, each read once.
    EXPECT_EQ(7u, simulated::calls().devnodesLocated);
    const struct {
        const char* endpoint;
        std::vector<std::string> lines; // one after the other in its block
    } cases[] = {
        {"Headphones (BT Headset Stereo)",
         {"Default for  none",
          "Hardware     Bluetooth 0A5C:4502, "
          "BTHENUM\\{0000110b-0000-1000-8000-00805f9b34fb}_VID&00020a5c_PID&4502",
          "Driver       Microsoft, version 10.0.19041.1202, 2022-03-14",
          "             btha2dp.inf, service BthA2dp", "Bluetooth    stereo (music)",
          "Same device  Headset (BT Headset Hands-Free), output",
          "             Headset Microphone (BT Headset Hands-Free), input", "Effects      none",
          "Volume       unknown"}},
        {"Headset Microphone (BT Headset Hands-Free)",
         {"Hardware     Bluetooth, BTHHFENUM\\BthHFPAudio",
          "Driver       Microsoft, version 10.0.19041.1202, 2022-03-14",
          "             bthhfaud.inf, service BthHFAud",
          "Bluetooth    hands-free (call audio, mono)",
          "Same device  Headphones (BT Headset Stereo), output",
          "             Headset (BT Headset Hands-Free), output"}},
        {"Loopback (Virtual Audio)",
         {"Hardware     virtual, LoopbackAudioWdm",
          "Driver       Loopback Audio, version 1.0.0.7, 2019-12-06",
          "             oem51.inf, service LoopbackAudio", "Same device  unknown"}},
        {"Speakers (USB DAC)",
         {"             wdma_usb.inf, service usbaudio, file version 10.0.19041.1566",
          "Problem      code 10, cannot start", "Same device  unknown"}},
    };
    for (const auto& c : cases) {
        const std::string line = std::string("--\t") + c.endpoint + " / no waveform device";
        ASSERT_EQ(1u, blocks.count(line)) << line;
        std::vector<std::string> wanted;
        for (const std::string& l : c.lines)
            wanted.push_back("\t\t" + l);
        const std::vector<std::string>& block = blocks.at(line);
        EXPECT_NE(block.end(),
                  std::search(block.begin(), block.end(), wanted.begin(), wanted.end()))
            << line;
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
        for (const std::vector<std::string>& arguments : {std::vector<std::string>{"exclusive"},
                                                          {"quick"},
                                                          {"slow"},
                                                          {"usage"},
                                                          {"watch"},
                                                          {"watch", "j"},
                                                          {"e", "j"},
                                                          {"q", "j"},
                                                          {"j"}}) {
            const bool json = arguments.back() == "j";
            const std::string mode = arguments[0] + (json ? " json" : "");
            m.outputConsole = false;
            const ProgramRun redirected = runWithArguments(arguments);
            emptyCatalogue();
            m.outputConsole = true;
            simulated::calls().outputConsole.clear();
            const ProgramRun console = runWithArguments(arguments);
            emptyCatalogue();
            EXPECT_EQ(0, console.status) << mode;
            EXPECT_EQ("", console.output) << mode;
            // The same text, but for the endpoint's name, which the code page
            // may lack characters of; a document is UTF-8 when redirected.
            std::u16string expected = onConsole(redirected.output);
            if (json) {
                std::string lines;
                for (const char c : redirected.output)
                    lines += c == '\n' ? "\r\n" : std::string(1, c);
                EXPECT_EQ(lines, utf16ToUtf8(simulated::calls().outputConsole)) << mode;
                continue;
            }
            // The watch's endpoint line names it between its event word and its id.
            const std::size_t watched = expected.find(u"endpoint  ");
            if (mode == "watch" && watched != std::u16string::npos) {
                const std::size_t start = watched + 10;
                expected.replace(start, expected.find(u"  " + micEndpoint, start) - start, c.shown);
            }
            const std::size_t name = expected.find(nameLabel);
            if (name != std::u16string::npos) {
                const std::size_t start = name + nameLabel.size();
                expected.replace(start, expected.find(u'\r', start) - start, c.shown);
            }
            EXPECT_EQ(expected, simulated::calls().outputConsole) << mode;
            EXPECT_EQ(mode == "exclusive",
                      simulated::calls().outputConsole.find(nameLabel + c.shown + u"\r\n") !=
                          std::u16string::npos)
                << mode;
        }
    }
}

TEST_F(ExclusiveReport, MemoryFailingAnywhereKeepsEveryDeviceLine) {
    furnishEndpointMachine();
    failing_heap::failFrom(0);
    const ProgramRun clean = runWithArguments({"e", "all"});
    const auto cleanBlocks = blocksOf(clean.output);
    unsigned long allocations = 0;
    runCapturingErrors({"e", "all"}, [&] { failing_heap::failFrom(0); });
    allocations = failing_heap::counted();
    ASSERT_GT(allocations, 50u);
    for (unsigned long n = 1; n <= allocations; n += 1 + n / 16) {
        for (bool persistent : {false, true}) {
            resetEverything();
            furnishEndpointMachine();
            const FullRun run = runCapturingErrors(
                {"e", "all"}, [&] { failing_heap::failFrom(n, persistent); },
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

// ---- The watch: every event kind, and faults that leave the rest standing ----

namespace watch_script {

using std::chrono::milliseconds;

simulated::Notice notice(NoticeKind kind, const std::u16string& id) {
    simulated::Notice n;
    n.kind = kind;
    n.id = id;
    return n;
}

simulated::Notice defaultTo(const std::u16string& id, EndpointRole role) {
    simulated::Notice n = notice(NoticeKind::DefaultChanged, id);
    n.role = role;
    return n;
}

simulated::Notice stateOf(const std::u16string& id, std::uint32_t state) {
    simulated::Notice n = notice(NoticeKind::StateChanged, id);
    n.state = state;
    return n;
}

simulated::Notice property(const std::u16string& id, const NoticeKey& key) {
    simulated::Notice n = notice(NoticeKind::PropertyChanged, id);
    n.key = key;
    return n;
}

simulated::Notice session(NoticeKind kind, const std::u16string& id, std::size_t index,
                          std::uint32_t state = 0) {
    simulated::Notice n = notice(kind, id);
    n.session = index;
    n.state = state;
    return n;
}

const NoticeKey nameKey = {
    0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}, 14};
const NoticeKey panelKey = {
    0xf19f064d, 0x082c, 0x4e27, {0xbc, 0x73, 0x68, 0x82, 0xa1, 0xbb, 0x8e, 0x4c}, 0};

simulated::Endpoint& speakers(simulated::Machine& m) {
    return m.endpoints.endpoints[1];
}

// A volume slider dragged: four changes 50 ms apart, each the machine's level too.
void drag(std::vector<simulated::Happening>& script) {
    for (int i = 0; i < 4; ++i) {
        simulated::Notice n = notice(NoticeKind::VolumeChanged, speakersEndpoint);
        n.scalar = 0.3f + 0.1f * i;
        script.push_back({milliseconds(i == 0 ? 1000 : 50),
                          [i](simulated::Machine& m) {
                              speakers(m).volume.value.levelDb = -20.0f + 3 * i;
                              speakers(m).volume.value.scalar = 0.3f + 0.1f * i;
                          },
                          {n}});
    }
}

// Something of every kind the service tells, on the endpoint machine.
std::vector<simulated::Happening> everyKind() {
    std::vector<simulated::Happening> s;
    s.push_back({milliseconds(1000),
                 [](simulated::Machine& m) {
                     m.endpoints.endpoints[3].state = endpointActive;
                     m.endpoints.endpoints[3].mixFormat = mixFormatBytes(44100, 2, 0x3);
                 },
                 {stateOf(headphonesEndpoint, endpointActive)}});
    // one notification per role, as Windows sends them
    s.push_back({milliseconds(10),
                 {},
                 {defaultTo(headphonesEndpoint, EndpointRole::Console),
                  defaultTo(headphonesEndpoint, EndpointRole::Multimedia),
                  defaultTo(headphonesEndpoint, EndpointRole::Communications)}});
    drag(s);
    s.push_back({milliseconds(1000),
                 [](simulated::Machine& m) {
                     speakers(m).sessions.push_back({S_OK, 5000, 1, false});
                     m.endpoints.processes[5000] = u"C:\\Games\\game.exe";
                 },
                 {session(NoticeKind::SessionCreated, speakersEndpoint, 3)}});
    s.push_back({milliseconds(100),
                 {},
                 {session(NoticeKind::SessionStateChanged, speakersEndpoint, 0, 0)}});
    s.push_back({milliseconds(100),
                 {},
                 {session(NoticeKind::SessionDisconnected, speakersEndpoint, 3, 2)}});
    s.push_back({milliseconds(1000),
                 [](simulated::Machine& m) {
                     m.endpoints.endpoints[2].friendlyName.value = u"TV (HDMI 2)";
                 },
                 {property(hdmiEndpoint, nameKey)}});
    s.push_back({milliseconds(1000),
                 [](simulated::Machine& m) {
                     speakers(m).deviceFormat.value =
                         format_bytes::extensibleBytes(SampleType::Int16, 2, 44100, 0x3);
                     speakers(m).mixFormat = mixFormatBytes(44100, 2, 0x3);
                 },
                 {property(speakersEndpoint, panelKey)}});
    s.push_back({milliseconds(1000),
                 {},
                 {property(micEndpoint, {0x12345678, 1, 2, {1, 2, 3, 4, 5, 6, 7, 8}, 9})}});
    s.push_back({milliseconds(1000),
                 [](simulated::Machine&) {
                     addEndpoint('O', u"{0.0.0.00000000}.{usb}", u"USB Speakers").mixFormat =
                         mixFormatBytes(48000, 2, 0x3);
                 },
                 {notice(NoticeKind::Added, u"{0.0.0.00000000}.{usb}")}});
    s.push_back({milliseconds(1000),
                 [](simulated::Machine& m) {
                     m.endpoints.endpoints.erase(m.endpoints.endpoints.begin() + 2);
                 },
                 {notice(NoticeKind::Removed, hdmiEndpoint)}});
    return s;
}

std::vector<std::string> linesOf(const std::string& output) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = output.find('\n', start);
        lines.push_back(output.substr(start, end - start));
        start = end == std::string::npos ? output.size() : end + 1;
    }
    return lines;
}

// What a watch leaves behind: nothing.
void expectAllLetGo(const std::string& label) {
    simulated::releaseHangingCalls();
    EXPECT_EQ(0, simulated::calls().watch.registrations) << label;
    EXPECT_EQ(0ul, simulated::calls().watch.callsInCallbacks) << label;
    EXPECT_EQ(0, simulated::calls().comDepth) << label;
    EXPECT_EQ(0, simulated::calls().openEndpoints) << label;
}

} // namespace watch_script

using WatchReport = SimulatedTest;

TEST_F(WatchReport, SaysEveryEventKindInTextAndInJsonLines) {
    using namespace watch_script;
    const std::string speakers = "Speakers (High Definition Audio)  {0.0.0.00000000}.{speakers}  ";
    const std::vector<std::string> expected = {
        "2025-03-14 09:26:53.589  input   endpoint  Microphone (USB Audio)  "
        "{0.0.1.00000000}.{mic}  active; default for console, multimedia, communications; "
        "shared mode 48 kHz, 1 channel, float32, channel mask 0x4 (FC)",
        "2025-03-14 09:26:53.589  output  endpoint  " + speakers +
            "active; default for console, multimedia; shared mode 48 kHz, 2 channels, float32, "
            "channel mask 0x3 (FL FR)",
        "2025-03-14 09:26:53.589  output  endpoint  TV (HDMI)  {0.0.0.00000000}.{hdmi}  active; "
        "default for communications; shared mode 48 kHz, 8 channels, float32, channel mask 0x63F "
        "(FL FR FC LFE BL BR SL SR)",
        "2025-03-14 09:26:53.589  output  endpoint  Headphones (USB)  "
        "{0.0.0.00000000}.{headphones}  not present; default for none",
        "2025-03-14 09:26:54.589  output  state     Headphones (USB)  "
        "{0.0.0.00000000}.{headphones}  not present -> active; shared mode 44.1 kHz, 2 channels, "
        "float32, channel mask 0x3 (FL FR)",
        // three notifications, one line
        "2025-03-14 09:26:54.599  output  default   Headphones (USB)  "
        "{0.0.0.00000000}.{headphones}  console, multimedia, communications; before: Speakers "
        "(High Definition Audio) for console, multimedia and TV (HDMI) for communications",
        // four changes in 150 ms: the first at once, the last when 250 ms are over
        "2025-03-14 09:26:55.599  output  volume    " + speakers + "-20 dB (30%), not muted",
        "2025-03-14 09:26:55.749  output  volume    " + speakers + "-11 dB (60%), not muted",
        "2025-03-14 09:26:56.749  output  session   " + speakers +
            "game.exe, process 5000: started",
        "2025-03-14 09:26:56.849  output  session   " + speakers +
            "player.exe, process 4312: inactive",
        "2025-03-14 09:26:56.949  output  session   " + speakers +
            "game.exe, process 5000: disconnected (format changed)",
        "2025-03-14 09:26:57.949  output  property  TV (HDMI 2)  {0.0.0.00000000}.{hdmi}  name: "
        "TV (HDMI) -> TV (HDMI 2)",
        "2025-03-14 09:26:58.949  output  property  " + speakers +
            "panel format: 48 kHz, 2 channels, int24in32, channel mask 0x3 (FL FR) -> 44.1 kHz, "
            "2 channels, int16, channel mask 0x3 (FL FR)",
        "2025-03-14 09:26:58.949  output  mix       " + speakers +
            "shared mode: 48 kHz, 2 channels, float32, channel mask 0x3 (FL FR) -> 44.1 kHz, 2 "
            "channels, float32, channel mask 0x3 (FL FR)",
        "2025-03-14 09:26:59.949  input   property  Microphone (USB Audio)  "
        "{0.0.1.00000000}.{mic}  {12345678-0001-0002-0102-030405060708},9 changed",
        "2025-03-14 09:27:00.949  output  added     USB Speakers  {0.0.0.00000000}.{usb}  "
        "active; shared mode 48 kHz, 2 channels, float32, channel mask 0x3 (FL FR)",
        // named from what was known of it
        "2025-03-14 09:27:01.949  output  removed   TV (HDMI 2)  {0.0.0.00000000}.{hdmi}",
        "2025-03-14 09:27:01.949  watch   ended     interrupted: 16 events seen",
    };
    furnishEndpointMachine();
    simulated::machine().notifications.script = everyKind();
    const ProgramRun text = runWithArguments({"watch"});
    EXPECT_EQ(0, text.status);
    EXPECT_EQ(expected, linesOf(text.output));
    expectAllLetGo("text");

    // The same events as JSON Lines: one object a line, its time and event the text line's.
    resetEverything();
    furnishEndpointMachine();
    simulated::machine().notifications.script = everyKind();
    const ProgramRun json = runWithArguments({"w", "json"});
    EXPECT_EQ(0, json.status);
    const std::vector<std::string> lines = linesOf(json.output);
    ASSERT_EQ(expected.size(), lines.size());
    const char* const events[] = {"endpoint",        "endpoint",      "endpoint",
                                  "endpoint",        "stateChanged",  "defaultChanged",
                                  "volumeChanged",   "volumeChanged", "session",
                                  "session",         "session",       "propertyChanged",
                                  "propertyChanged", "mixChanged",    "propertyChanged",
                                  "added",           "removed",       "ended"};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const nlohmann::json object = nlohmann::json::parse(lines[i]);
        std::string time = expected[i].substr(0, 23);
        time[10] = 'T';
        EXPECT_EQ(time, object["time"]) << lines[i];
        EXPECT_EQ(events[i], object["event"]) << lines[i];
    }
    const auto at = [&](std::size_t i) { return nlohmann::json::parse(lines[i]); };
    EXPECT_EQ(nlohmann::json::parse(R"(["console", "multimedia"])"), at(5)["before"][0]["roles"]);
    EXPECT_EQ(-11.0, at(7)["db"]);
    EXPECT_EQ("formatChanged", at(10)["reason"]);
    EXPECT_EQ("TV (HDMI)", at(11)["old"]);
    EXPECT_EQ(44100, at(12)["new"]["rate"]);
    EXPECT_EQ(nullptr, at(14)["property"]);
    EXPECT_EQ(16, at(17)["seen"]);
    expectAllLetGo("json");
}

TEST_F(WatchReport, EachFaultLeavesTheRestOfTheWatchStanding) {
    using namespace watch_script;
    const struct {
        const char* name;
        std::function<void(simulated::Machine&)> fault;
        std::vector<simulated::Happening> script;
        std::vector<std::string> arguments;
        // lines after the four endpoints', each the start of one, in order
        std::vector<std::string> lines;
    } cases[] = {
        {"registrations refused",
         [](simulated::Machine& m) {
             m.notifications.devicesResult = E_ACCESSDENIED;
             m.notifications.volumeResult = E_FAIL;
             m.notifications.sessionsResult = E_NOTIMPL;
         },
         {{milliseconds(10), {}, {stateOf(speakersEndpoint, endpointUnplugged)}}},
         {"watch"},
         {"2025-03-14 09:26:53.589  watch   warning   device events (added, removed, state, "
          "default, property) will not be seen: access denied",
          "2025-03-14 09:26:53.589  watch   warning   volume changes will not be seen: the audio "
          "service refused",
          "2025-03-14 09:26:53.589  watch   warning   session events will not be seen: the audio "
          "service does not offer them",
          "2025-03-14 09:26:53.599  watch   ended     interrupted: 0 events seen"}},
        {"an event for an endpoint the service does not know",
         {},
         {{milliseconds(10), {}, {stateOf(u"{0.0.0.00000000}.{nobody}", endpointActive)}}},
         {"watch"},
         {"2025-03-14 09:26:53.599  ?       state     unknown  {0.0.0.00000000}.{nobody}  "
          "unknown -> active; shared mode unknown (gone)",
          "2025-03-14 09:26:53.599  watch   ended     interrupted: 1 event seen"}},
        {"a burst of 100 default changes",
         {},
         {{milliseconds(10),
           {},
           {defaultTo(hdmiEndpoint, EndpointRole::Multimedia),
            defaultTo(speakersEndpoint, EndpointRole::Multimedia)},
           50}},
         {"watch"},
         {"2025-03-14 09:26:53.699  watch   ended     interrupted: 100 events seen"}},
        {"a burst of 100 default changes, and the last one sticks",
         {},
         {{milliseconds(10),
           {},
           {defaultTo(speakersEndpoint, EndpointRole::Communications),
            defaultTo(hdmiEndpoint, EndpointRole::Communications),
            defaultTo(speakersEndpoint, EndpointRole::Communications)},
           33},
          {milliseconds(20), {}, {defaultTo(speakersEndpoint, EndpointRole::Console)}}},
         {"watch"},
         {"2025-03-14 09:26:53.599  output  default   Speakers (High Definition Audio)  "
          "{0.0.0.00000000}.{speakers}  communications; before: TV (HDMI)",
          "2025-03-14 09:26:53.699  watch   ended     interrupted: 100 events seen"}},
        {"an endpoint removed between its event and the lookup",
         {},
         {{milliseconds(10),
           [](simulated::Machine& m) {
               m.endpoints.endpoints.erase(m.endpoints.endpoints.begin() + 2);
           },
           {property(hdmiEndpoint, nameKey)}}},
         {"watch"},
         {"2025-03-14 09:26:53.599  output  property  TV (HDMI)  {0.0.0.00000000}.{hdmi}  name: "
          "TV (HDMI) -> unknown (gone)",
          "2025-03-14 09:26:53.699  watch   ended     interrupted: 1 event seen"}},
        {"no memory for a record, as the service calls back",
         {},
         {{milliseconds(10),
           [](simulated::Machine&) { simulated::failAllocation(1); },
           {stateOf(hdmiEndpoint, endpointUnplugged),
            stateOf(headphonesEndpoint, endpointActive)}}},
         {"watch"},
         {"2025-03-14 09:26:53.599  output  state     Headphones (USB)",
          "2025-03-14 09:26:53.599  watch   ended     interrupted: 2 events seen, 1 of them lost "
          "(no room to queue them)"}},
        {"a driver that hangs while a new name is read",
         [](simulated::Machine&) { setenv("SNDSCOUT_CALL_LIMIT_MS", "200", 1); },
         {{milliseconds(10),
           [](simulated::Machine& m) {
               speakers(m).friendlyName.value = u"Speakers (Realtek)";
               speakers(m).hangsAtCall = speakers(m).callsAnswered + 2; // opened, then asked
           },
           {property(speakersEndpoint, nameKey)}},
          {milliseconds(1000), {}, {notice(NoticeKind::VolumeChanged, speakersEndpoint)}},
          {milliseconds(10), {}, {stateOf(hdmiEndpoint, endpointUnplugged)}}},
         {"watch"},
         {"2025-03-14 09:26:53.599  output  property  Speakers (High Definition Audio)  "
          "{0.0.0.00000000}.{speakers}  name: Speakers (High Definition Audio) -> unknown (not "
          "answering)",
          "2025-03-14 09:26:54.599  output  volume    Speakers (High Definition Audio)  "
          "{0.0.0.00000000}.{speakers}  0%, not muted, dB unknown (not answering)",
          "2025-03-14 09:26:54.609  output  state     TV (HDMI)  {0.0.0.00000000}.{hdmi}  active "
          "-> unplugged (not connected)",
          "2025-03-14 09:26:54.609  watch   ended"}},
        {"a name told twice within 100 ms: said at once, then as it ended",
         {},
         {{milliseconds(10),
           [](simulated::Machine& m) { m.endpoints.endpoints[2].friendlyName.value = u"A"; },
           {property(hdmiEndpoint, nameKey)}},
          {milliseconds(40),
           [](simulated::Machine& m) { m.endpoints.endpoints[2].friendlyName.value = u"B"; },
           {property(hdmiEndpoint, nameKey)}}},
         {"watch"},
         {"2025-03-14 09:26:53.599  output  property  A  {0.0.0.00000000}.{hdmi}  name: TV (HDMI) "
          "-> A",
          "2025-03-14 09:26:53.639  output  property  B  {0.0.0.00000000}.{hdmi}  name: A -> B",
          "2025-03-14 09:26:53.699  watch   ended     interrupted: 2 events seen"}},
        {"a role left with no default",
         {},
         {{milliseconds(10), {}, {defaultTo(u"", EndpointRole::Communications)}}},
         {"watch"},
         {"2025-03-14 09:26:53.599  output  default   no endpoint  communications; before: TV "
          "(HDMI)",
          "2025-03-14 09:26:53.699  watch   ended"}},
        {"an endpoint unplugged: its volume is let go",
         {},
         {{milliseconds(10),
           [](simulated::Machine& m) { speakers(m).state = endpointUnplugged; },
           {stateOf(speakersEndpoint, endpointUnplugged)}},
          {milliseconds(10), {}, {notice(NoticeKind::VolumeChanged, speakersEndpoint)}}},
         {"watch"},
         {"2025-03-14 09:26:53.599  output  state     Speakers (High Definition Audio)  "
          "{0.0.0.00000000}.{speakers}  active -> unplugged (not connected)",
          "2025-03-14 09:26:53.609  watch   ended     interrupted: 1 event seen"}},
        {"Ctrl+C before the script is done",
         {},
         {{milliseconds(10), {}, {stateOf(hdmiEndpoint, endpointDisabled)}, 1, true},
          {milliseconds(10), {}, {stateOf(hdmiEndpoint, endpointActive)}}},
         {"watch", "60"},
         {"2025-03-14 09:26:53.599  output  state     TV (HDMI)  {0.0.0.00000000}.{hdmi}  active "
          "-> disabled",
          "2025-03-14 09:26:53.599  watch   ended     interrupted: 1 event seen"}},
        {"time up before the next event",
         {},
         {{milliseconds(2500), {}, {stateOf(hdmiEndpoint, endpointDisabled)}}},
         {"watch", "2"},
         {"2025-03-14 09:26:55.589  watch   ended     time is up: 0 events seen"}},
    };
    for (const auto& c : cases) {
        resetEverything();
        unsetenv("SNDSCOUT_CALL_LIMIT_MS");
        unsetenv("SNDSCOUT_ENDPOINT_BUDGET_MS");
        furnishEndpointMachine();
        if (c.fault)
            c.fault(simulated::machine());
        simulated::machine().notifications.script = c.script;
        const auto started = std::chrono::steady_clock::now();
        const ProgramRun run = runWithArguments(c.arguments);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << c.name;
        EXPECT_EQ(0, run.status) << c.name;
        const std::vector<std::string> lines = linesOf(run.output);
        ASSERT_EQ(4 + c.lines.size(), lines.size()) << c.name << "\n" << run.output;
        for (std::size_t i = 0; i < c.lines.size(); ++i)
            EXPECT_EQ(c.lines[i], lines[4 + i].substr(0, c.lines[i].size())) << c.name;
        expectAllLetGo(c.name);
    }
    unsetenv("SNDSCOUT_CALL_LIMIT_MS");

    // Standard output closed: status 1, as in every mode, and the JSON Lines say why.
    for (const char* json : {"", "json"}) {
        resetEverything();
        furnishEndpointMachine();
        const std::vector<std::string> arguments =
            *json ? std::vector<std::string>{"watch", json} : std::vector<std::string>{"watch"};
        EXPECT_EQ(1, runOnFullDevice(arguments)) << json;
        expectAllLetGo(std::string("closed ") + json);
    }
}

TEST_F(WatchReport, MemoryFailingAnywhereLeavesNothingRegistered) {
    using namespace watch_script;
    furnishEndpointMachine();
    simulated::machine().notifications.script = everyKind();
    failing_heap::failFrom(0);
    runCapturingErrors({"watch"});
    const unsigned long allocations = failing_heap::counted();
    ASSERT_GT(allocations, 100u);
    for (unsigned long n = 1; n <= allocations; n += 1 + n / 8) {
        for (bool persistent : {false, true}) {
            resetEverything();
            furnishEndpointMachine();
            simulated::machine().notifications.script = everyKind();
            const FullRun run = runCapturingErrors(
                {"watch", "json"}, [&] { failing_heap::failFrom(n, persistent); },
                [] { failing_heap::failFrom(0); });
            EXPECT_TRUE(run.status == 0 || run.status == 1) << "allocation " << n;
            for (const std::string& line : linesOf(run.output))
                EXPECT_TRUE(nlohmann::json::accept(line)) << "allocation " << n << ": " << line;
            expectAllLetGo("allocation " + std::to_string(n));
        }
    }
}

} // namespace
