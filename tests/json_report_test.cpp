// The JSON document: chosen by its word anywhere among the arguments, whole or
// not written at all, and true to what the machine says.
#include "app/console_text.h"
#include "app/version.h"
#include "json/progress_line.h"
#include "json/utf8.h"
#include "support/captured_output.h"
#include "support/failing_heap.h"
#include "support/simulated_test.h"

#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::json;

// The endpoint machine, its devices with capability bits and other makers, the
// speakers mixing at 44.1 kHz, the HDMI endpoint held by another program, and
// three codec formats.
void furnish() {
    furnishEndpointMachine();
    simulated::Machine& m = simulated::machine();
    m.inputs[0].dwFormats = WAVE_FORMAT_1M08 | WAVE_FORMAT_4S16;
    m.outputs[0].wMid = 219;
    m.outputs[1].wMid = 300;
    m.outputs[1].dwFormats = WAVE_FORMAT_2S08;
    simulated::Endpoint& out = m.endpoints.endpoints[1];
    out.mixFormat = mixFormatBytes(44100, 2, 0x3);
    out.exclusive =
        productProfile({SampleType::Int16, SampleType::Float32}, {2}, {44100, 48000, 96000});
    m.endpoints.endpoints[2].activateResult = AUDCLNT_E_DEVICE_IN_USE;

    nameTag(WAVE_FORMAT_PCM, "PCM");
    offerFormat(pcm(44100, 16, 2));
    offerFormat(pcm(8000, 8, 1));
    offerFormat(formatHeader(0x31, 8000, 0, 1, 2)); // its tag has no name
    m.inputs[0].accepts = {pcm(8000, 8, 1), formatHeader(0x31, 8000, 0, 1)};
    m.outputs[0].accepts = {pcm(44100, 16, 2), pcm(8000, 8, 1)};
}

struct JsonRun {
    int status;
    Json document; // null when the output did not parse
    std::string output;
    std::string errors;
};

JsonRun runJson(const std::vector<std::string>& arguments) {
    const FullRun run = runCapturingErrors(arguments);
    emptyCatalogue();
    JsonRun parsed{run.status, Json(), run.output, run.errors};
    if (!run.output.empty() && run.output.back() == '\n')
        parsed.document = Json::parse(run.output, nullptr, false);
    if (parsed.document.is_discarded())
        parsed.document = Json();
    return parsed;
}

// The speakers' exclusive-mode members, as the endpoint machine furnishes them.
const char speakersCondition[] = R"({"state": "active",
  "deviceFormat": {"sample": "int24in32", "rate": 48000, "channels": 2, "channelMask": 3},
  "devicePeriod": {"defaultMs": 10.0, "minimumMs": 3.0},
  "enginePeriod": {"defaultFrames": 480, "fundamentalFrames": 480, "minimumFrames": 96,
                   "maximumFrames": 480},
  "volume": {"db": -6.5, "percent": 71, "muted": false, "minDb": -65.25, "maxDb": 0.0,
             "stepDb": 0.75},
  "enhancements": true,
  "sessions": [{"pid": 4312, "program": "player.exe", "state": "active", "system": false},
               {"pid": 0, "program": null, "state": "inactive", "system": true},
               {"pid": 977, "program": null, "state": "inactive", "system": false}]})";

using JsonReport = SimulatedTest;

TEST_F(JsonReport, TheWordSelectsJsonAnywhereAndTheRestSelectsTheMode) {
    const struct {
        std::vector<std::string> arguments;
        const char* mode;
    } cases[] = {
        {{"json"}, "slow"},
        {{"quick", "json"}, "quick"},
        {{"/json", "e"}, "exclusive"},
        {{"--json", "slow"}, "slow"},
        {{"J"}, "slow"},
        {{"-j", "f"}, "quick"},
        {{"q", "jS"}, "quick"},
        {{"-", "j", "q"}, "quick"},
        {{"v", "json", "all"}, "verify"},
    };
    for (const auto& c : cases) {
        resetEverything();
        furnish();
        const JsonRun run = runJson(c.arguments);
        EXPECT_EQ(0, run.status) << c.mode;
        ASSERT_TRUE(run.document.is_object()) << c.mode << ": " << run.output;
        EXPECT_EQ(c.mode, run.document["mode"]);
        EXPECT_EQ("sndscout", run.document["program"]);
        EXPECT_EQ(programVersion, run.document["version"]);
        EXPECT_EQ(1, run.document["schema"]);
        EXPECT_EQ("", run.errors) << c.mode;
    }
}

TEST_F(JsonReport, EveryModeSaysWhatTheMachineSays) {
    furnish();
    const Json quick = runJson({"q", "j"}).document;
    ASSERT_EQ(1u, quick["inputs"].size());
    ASSERT_EQ(2u, quick["outputs"].size());
    const Json& in = quick["inputs"][0];
    EXPECT_EQ(0, in["id"]);
    EXPECT_EQ("In: Mic", in["name"]);
    EXPECT_EQ((Json{{"id", 1}, {"name", "Microsoft Corporation"}}), in["manufacturer"]);
    EXPECT_EQ((Json::array({{{"rate", 11025}, {"channels", 1}, {"bits", 8}},
                            {{"rate", 44100}, {"channels", 2}, {"bits", 16}}})),
              in["pcm"]);
    EXPECT_EQ((Json{{"id", "{0.0.1.00000000}.{mic}"},
                    {"direction", "input"},
                    {"name", "Microphone (USB Audio)"},
                    {"adapter", nullptr},
                    {"formFactor", "microphone"},
                    {"default", {"console", "multimedia", "communications"}}}),
              in["endpoint"]);
    const Json& out = quick["outputs"][0];
    EXPECT_EQ("EES Technik f\xC3\xBCr Musik GmbH", out["manufacturer"]["name"]);
    EXPECT_EQ((Json::array({"console", "multimedia"})), out["endpoint"]["default"]);
    EXPECT_EQ("High Definition Audio Device", out["endpoint"]["adapter"]);
    EXPECT_EQ("Unknown", quick["outputs"][1]["manufacturer"]["name"]);
    EXPECT_TRUE(quick["outputs"][1]["endpoint"].is_null());
    ASSERT_EQ(1u, quick["unmatchedEndpoints"].size());
    EXPECT_EQ("TV (HDMI)", quick["unmatchedEndpoints"][0]["name"]);
    EXPECT_EQ("HDMI", quick["unmatchedEndpoints"][0]["formFactor"]);

    const Json slow = runJson({"json"}).document;
    EXPECT_EQ((Json::array({{{"tag", 1},
                             {"tagName", "PCM"},
                             {"rate", 8000},
                             {"channels", 1},
                             {"bits", 8},
                             {"blockAlign", 1},
                             {"avgBytesPerSec", 8000}},
                            {{"tag", 0x31},
                             {"tagName", nullptr},
                             {"rate", 8000},
                             {"channels", 1},
                             {"bits", 0},
                             {"blockAlign", 0},
                             {"avgBytesPerSec", 0}}})),
              slow["inputs"][0]["formats"]);
    EXPECT_EQ(2u, slow["outputs"][0]["formats"].size());
    EXPECT_EQ(Json::array(), slow["outputs"][1]["formats"]);
    EXPECT_FALSE(slow["inputs"][0].contains("pcm"));

    const Json exclusive = runJson({"e", "j", "all"}).document;
    const Json& speakersJson = exclusive["outputs"][0];
    EXPECT_EQ((Json{{"sample", "float32"}, {"rate", 44100}, {"channels", 2}, {"channelMask", 3}}),
              speakersJson["mix"]);
    const std::vector<DWORD> rates = {44100, 48000, 96000};
    EXPECT_EQ((Json{{"status", "ok"},
                    {"formats",
                     {{{"sample", "int16"},
                       {"channels", 2},
                       {"channelMask", 3},
                       {"extensible", true},
                       {"rates", rates}},
                      {{"sample", "float32"},
                       {"channels", 2},
                       {"channelMask", 3},
                       {"extensible", true},
                       {"rates", rates}}}}}),
              speakersJson["exclusive"]);
    // no endpoint, nothing asked; an endpoint another program holds
    EXPECT_TRUE(exclusive["outputs"][1]["mix"].is_null());
    EXPECT_EQ("unavailable", exclusive["outputs"][1]["exclusive"]["status"]);
    EXPECT_EQ("busy", exclusive["unmatchedEndpoints"][0]["exclusive"]["status"]);
    EXPECT_FALSE(exclusive["inputs"][0].contains("pcm"));
    // how the endpoint is set and used, in the exclusive mode only
    const Json& speakers = speakersJson["endpoint"];
    for (const char* key : {"state", "deviceFormat", "devicePeriod", "enginePeriod", "volume",
                            "enhancements", "sessions"})
        EXPECT_EQ(Json::parse(std::string(speakersCondition))[key], speakers[key]) << key;
    const Json& gone = exclusive["unmatchedEndpoints"][1];
    EXPECT_EQ("notPresent", gone["state"]);
    EXPECT_TRUE(gone["volume"].is_null() && gone["sessions"].is_null() && gone["mix"].is_null());
    EXPECT_EQ((Json{{"status", "inactive"}, {"formats", Json::array()}}), gone["exclusive"]);
    EXPECT_FALSE(quick["unmatchedEndpoints"][0].contains("state"));
    // without "all", counted in place of listed
    const Json counted = runJson({"e", "j"}).document;
    EXPECT_EQ(1u, counted["unmatchedEndpoints"].size());
    EXPECT_EQ((Json{{"inputs", 0}, {"outputs", 1}}), counted["notPresentCount"]);
    EXPECT_FALSE(exclusive.contains("notPresentCount") || quick.contains("notPresentCount"));
}

TEST_F(JsonReport, TheExclusiveModeGivesTheHardwareAndTheSystem) {
    furnishHardwareMachine();
    const Json document = runJson({"e", "j", "all"}).document;
    EXPECT_EQ(Json::parse(R"({"windowsVersion": "10.0", "build": 19045,
                              "audioService": "running", "endpointBuilder": "running"})"),
              document["system"]);
    const Json& speakers = document["outputs"][0]["endpoint"];
    EXPECT_EQ(Json::parse(R"({"bus": "HD Audio", "vendorId": "10EC", "productId": "0256",
        "hardwareId": "HDAUDIO\\FUNC_01&VEN_10EC&DEV_0256&SUBSYS_10280A20&REV_1000"})"),
              speakers["hardware"]);
    EXPECT_EQ(Json::parse(R"({"provider": "Realtek Semiconductor Corp.", "version": "6.0.9235.1",
        "date": "2021-08-05", "inf": "oem42.inf", "service": "IntcAzAudAddService",
        "fileVersion": "6.0.9235.1"})"),
              speakers["driver"]);
    EXPECT_EQ(Json::parse(R"({"slot": "stream", "classId": "{A1B2C3D4-0000-4000-8000-00000000A901}",
        "dll": "C:\\Windows\\System32\\RtkApo64.dll", "version": "13.0.6000.1234"})"),
              speakers["effects"][0]);
    EXPECT_TRUE(speakers["effects"][2]["dll"].is_null() && speakers["effects"].size() == 3);
    // the headphones reach no devnode; the headset's halves, the DAC that cannot start
    const Json& unmatched = document["unmatchedEndpoints"];
    EXPECT_TRUE(unmatched[2]["hardware"].is_null() && unmatched[2]["problem"].is_null());
    EXPECT_EQ("handsFree", unmatched[0]["bluetoothProfile"]);
    EXPECT_EQ("stereo", unmatched[3]["bluetoothProfile"]);
    EXPECT_EQ(unmatched[0]["containerId"], unmatched[3]["containerId"]);
    EXPECT_EQ((Json{{"code", 10}, {"meaning", "cannot start"}}), unmatched[6]["problem"]);
    const Json quick = runJson({"q", "j"}).document;
    EXPECT_FALSE(quick.contains("system") || quick["outputs"][0]["endpoint"].contains("hardware"));
}

TEST_F(JsonReport, NamesArriveAsUtf8WithNothingReplaced) {
    const struct {
        const char* waveName; // code page bytes, cut to the 32-byte field
        std::u16string endpointName;
        const char* waveUtf8;
        const char* endpointUtf8;
    } cases[] = {
        {"Quote \" and \\ back", u"Quote \" and \\ back", "Quote \" and \\ back",
         "Quote \" and \\ back"},
        {"Ctl\x01\n\t\x7F|", u"Ctl\x01\n", "Ctl\x01\n\t\x7F|", "Ctl\x01\n"},
        {"Caf\xE9 \x80 \x81", u"Caf\u00e9 \u20ac", "Caf\xC3\xA9 \xE2\x82\xAC \xC2\x81",
         "Caf\xC3\xA9 \xE2\x82\xAC"},
        // all 32 bytes used, no terminator
        {"0123456789012345678901234567890123", u"\U0001F3B5 \xD800 x",
         "01234567890123456789012345678901", "\xF0\x9F\x8E\xB5 \xEF\xBF\xBD x"},
    };
    for (const auto& c : cases) {
        resetEverything();
        simulated::machine().outputs = {device(c.waveName)};
        linkDevice(simulated::machine().outputs[0], speakersEndpoint);
        addEndpoint('O', speakersEndpoint, c.endpointName);
        const JsonRun run = runJson({"q", "json"});
        ASSERT_TRUE(run.document.is_object()) << run.output;
        EXPECT_EQ(c.waveUtf8, run.document["outputs"][0]["name"]);
        EXPECT_EQ(c.endpointUtf8, run.document["outputs"][0]["endpoint"]["name"]);
    }
}

TEST_F(JsonReport, AWordThatChoosesNoModeGivesUsageOnStandardErrorOnly) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"json", "xyz"}, {"x", "j"}, {"j", "-"}}) {
        const FullRun run = runCapturingErrors(arguments);
        EXPECT_EQ(2, run.status);
        EXPECT_EQ("", run.output);
        EXPECT_EQ(usageText, run.errors);
    }
}

TEST_F(JsonReport, NothingIsWrittenWhenMemoryFailsAndAWriteFailureIsStatusOne) {
    furnish();
    const JsonRun clean = runJson({"json", "e"});
    ASSERT_TRUE(clean.document.is_object());
    runCapturingErrors({"json", "e"}, [] { failing_heap::failFrom(0); });
    const unsigned long allocations = failing_heap::counted();
    ASSERT_GT(allocations, 100u);
    for (unsigned long n = 1; n <= allocations; n += 1 + n / 32) {
        resetEverything();
        furnish();
        const FullRun run = runCapturingErrors(
            {"json", "e"}, [&] { failing_heap::failFrom(n); }, [] { failing_heap::failFrom(0); });
        if (run.status == 0) {
            // a lost endpoint is left out, the document stays whole
            const Json document = Json::parse(run.output, nullptr, false);
            ASSERT_FALSE(document.is_discarded()) << "allocation " << n;
            EXPECT_EQ(clean.document["inputs"].size(), document["inputs"].size());
            EXPECT_EQ(clean.document["outputs"].size(), document["outputs"].size());
            EXPECT_EQ("", run.errors);
        } else {
            EXPECT_EQ(1, run.status) << "allocation " << n;
            EXPECT_EQ("", run.output) << "allocation " << n;
            EXPECT_EQ("sndscout: out of memory; no report written\n", run.errors);
        }
    }
    EXPECT_EQ(1, runOnFullDevice({"json"}));
    EXPECT_EQ(1, runOnFullDevice({"e", "json"}));
}

TEST_F(JsonReport, ProgressShowsOnAConsoleOnlyWhileProbing) {
    furnish();
    simulated::machine().errorConsole = true;
    const std::string erase = "\r" + std::string(31, ' ') + "\r";
    const FullRun slow = runCapturingErrors({"json"});
    EXPECT_EQ("", slow.errors); // it goes to the console
    EXPECT_EQ(onConsole("\rprobing input 1 of 1: In: Mic\rprobing output 1 of 2: Out: Speakers"
                        "\rprobing output 2 of 2: Out: Old" +
                        std::string(5, ' ') + erase),
              simulated::calls().errorConsole);
    emptyCatalogue();
    // On a console 20 columns wide every line stays within 19, so none wraps.
    simulated::machine().errorConsoleColumns = 20;
    simulated::calls().errorConsole.clear();
    runCapturingErrors({"json"});
    EXPECT_EQ(onConsole("\rprobing input 1 of \rprobing output 1 of\rprobing output 2 of"
                        "\r" +
                        std::string(19, ' ') + "\r"),
              simulated::calls().errorConsole);
    simulated::machine().errorConsoleColumns = 0;
    emptyCatalogue();
    simulated::calls().errorConsole.clear();
    EXPECT_EQ("", runCapturingErrors({"json", "q"}).errors);
    EXPECT_EQ(u"", simulated::calls().errorConsole);
    simulated::machine().errorConsole = false;
    EXPECT_EQ("", runCapturingErrors({"json"}).errors);
    EXPECT_EQ(u"", simulated::calls().errorConsole);
    emptyCatalogue();
}

TEST_F(JsonReport, TheProgressLineShowsNamesWholeAndBlanksByColumns) {
    simulated::machine().errorConsole = true;
    {
        ProgressLine progress;
        DeviceCaps caps{};
        simulated::setText(caps.szPname, "Micr\xF3"
                                         "fono\x01");
        progress.show('I', 0, 2, caps);
        // two columns for each wide character
        progress.showEndpoint('O', u"\u0141\u0105cze \u4E2D\u6587\n");
        progress.showEndpoint('I', u"x");
        progress.showOpening('O', u"x", 3, 14);
    }
    EXPECT_EQ(u"\rprobing input 1 of 2: Micr\u00f3fono?"
              u"\rprobing output endpoint: \u0141\u0105cze \u4E2D\u6587?"
              u"\rprobing input endpoint: x" +
                  std::u16string(11, u' ') + u"\ropening output endpoint, format 3 of 14: x\r" +
                  std::u16string(42, u' ') + u"\r",
              simulated::calls().errorConsole);
}

} // namespace
