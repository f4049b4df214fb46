#include "report/text_writer.h"

#include "catalogue/format_catalogue.h"
#include "support/captured_output.h"
#include "support/simulated_test.h"

#include <cstdio>

namespace {

constexpr WORD adpcm = 2;

class ProbeReport : public SimulatedTest {
protected:
    // Catalogues the formats and makes input device 0 accept `accepted` of them.
    void furnish(const std::vector<FormatHeader>& offered,
                 const std::vector<FormatHeader>& accepted) {
        simulated::machine().inputs = {device("Mic")};
        simulated::machine().outputs = {device("Speakers")};
        simulated::machine().inputs[0].accepts = accepted;
        simulated::machine().outputs[0].accepts = accepted;
        for (const FormatHeader& f : offered)
            offerFormat(f);
        collectCodecFormats();
        sortKnownFormats();
    }
};

TEST_F(ProbeReport, FormatLineLayout) {
    nameTag(WAVE_FORMAT_PCM, "PCM");
    nameTag(adpcm, "");
    const struct {
        FormatHeader format;
        const char* line;
    } cases[] = {
        {pcm(44100, 16, 2), "\t\tPCM,  44.100 kHz, stereo, 16 bit"},
        {pcm(8000, 8, 1), "\t\tPCM,   8.000 kHz, mono,    8 bit"},
        {pcm(11025, 24, 1), "\t\tPCM,  11.025 kHz, mono,   24 bit"},
        {pcm(192000, 16, 6), "\t\tPCM, 192.000 kHz, stereo, 16 bit"},
        {pcm(1000000, 8, 0), "\t\tPCM, 1000.000 kHz, stereo,  8 bit"},
        {pcm(999, 1000, 2), "\t\tPCM,   0.999 kHz, stereo,1000 bit"},
        {pcm(4294967295u, 65535, 1), "\t\tPCM, 4294967.295 kHz, mono,  65535 bit"},
        {formatHeader(adpcm, 22050, 4, 1), "\t\t,  22.050 kHz, mono,    4 bit"},
        {formatHeader(0x99, 8000, 8, 2), "\t\t???,   8.000 kHz, stereo,  8 bit"},
    };
    for (const auto& c : cases) {
        resetEverything();
        nameTag(WAVE_FORMAT_PCM, "PCM");
        nameTag(adpcm, "");
        furnish({c.format}, {c.format});
        EXPECT_EQ("\n" + std::string(c.line) + "\n\n",
                  captureStdout([] { probeDeviceFormats(0, 'I'); }));
    }
}

TEST_F(ProbeReport, TagNamesCannotBreakTheLine) {
    const struct {
        const char* name; // as the codec stores it
        const char* shown;
    } cases[] = {
        {"Line\nFeed\rReturn\tTab", "Line?Feed?Return?Tab"},
        {"\x1b[2JClear", "?[2JClear"},
        {"Del\177ete\177", "Del?ete?"}, // DEL, 0x7F
        // other bytes pass as they are
        {"Caf\xE9 \xFC ~", "Caf\xE9 \xFC ~"},
    };
    for (const auto& c : cases) {
        resetEverything();
        nameTag(adpcm, c.name);
        furnish({formatHeader(adpcm, 8000, 4, 1)}, {formatHeader(adpcm, 8000, 4, 1)});
        EXPECT_EQ("\n\t\t" + std::string(c.shown) + ",   8.000 kHz, mono,    4 bit\n\n",
                  captureStdout([] { probeDeviceFormats(0, 'I'); }))
            << c.shown;
    }
}

TEST_F(ProbeReport, ListsWhatEachDeviceAcceptsInCatalogueOrder) {
    nameTag(WAVE_FORMAT_PCM, "PCM");
    const FormatHeader low = pcm(8000, 8, 1);
    const FormatHeader mid = pcm(22050, 16, 2);
    const FormatHeader high = pcm(48000, 16, 2);
    furnish({high, low, mid}, {high, low});
    const std::string expected =
        "\n\t\tPCM,   8.000 kHz, mono,    8 bit\n\t\tPCM,  48.000 kHz, stereo, 16 bit\n\n";
    EXPECT_EQ(expected, captureStdout([] { probeDeviceFormats(0, 'I'); }));
    EXPECT_EQ(expected, captureStdout([] { probeDeviceFormats(0, 'O'); }));
    // a direction that is neither asks nothing
    const unsigned long asked = simulated::calls().queries;
    EXPECT_EQ("\n\n", captureStdout([] { probeDeviceFormats(0, 'X'); }));
    EXPECT_EQ(asked, simulated::calls().queries);
    // a device the service does not know accepts nothing, and is asked once
    const unsigned long before = simulated::calls().queries;
    EXPECT_EQ("\n\n", captureStdout([] { probeDeviceFormats(7, 'I'); }));
    EXPECT_EQ(before + 1, simulated::calls().queries);
}

TEST_F(ProbeReport, ADeviceThatIsGoneIsAskedNothingMore) {
    nameTag(WAVE_FORMAT_PCM, "PCM");
    std::vector<FormatHeader> offered;
    for (DWORD rate : {8000u, 11025u, 16000u, 22050u, 32000u, 44100u, 48000u, 96000u})
        offered.push_back(pcm(rate, 16, 2));
    const std::vector<FormatHeader> accepted = {offered[0], offered[2], offered[6]};
    auto lines = [&](std::initializer_list<std::size_t> shown) {
        std::string text = "\n";
        for (std::size_t i : shown) {
            const DWORD rate = offered[i].nSamplesPerSec;
            char line[64];
            std::snprintf(line, sizeof line, "\t\tPCM, %3u.%03u kHz, stereo, 16 bit\n",
                          static_cast<unsigned>(rate / 1000), static_cast<unsigned>(rate % 1000));
            text += line;
        }
        return text + "\n";
    };
    const struct {
        MMRESULT answer;
        bool gone; // the answer of a device that is no longer there
    } cases[] = {
        {MMSYSERR_NODRIVER, true}, {MMSYSERR_BADDEVICEID, true}, {WAVERR_BADFORMAT, false},
        {MMSYSERR_ERROR, false},   {MMSYSERR_NOTENABLED, false}, {MMSYSERR_ALLOCATED, false},
        {MMSYSERR_NOMEM, false},   {MMSYSERR_INVALPARAM, false},
    };
    for (const auto& c : cases) {
        // every format it does not take is refused with the answer
        resetEverything();
        nameTag(WAVE_FORMAT_PCM, "PCM");
        furnish(offered, accepted);
        simulated::machine().inputs[0].refusal = c.answer;
        EXPECT_EQ(c.gone ? lines({0}) : lines({0, 2, 6}),
                  captureStdout([] { probeDeviceFormats(0, 'I'); }))
            << c.answer;
        EXPECT_EQ(c.gone ? 2u : 8u, simulated::calls().queries) << c.answer;

        // unplugged after three answers, mid-probe
        resetEverything();
        nameTag(WAVE_FORMAT_PCM, "PCM");
        furnish(offered, accepted);
        simulated::machine().outputs[0].vanishesAfter = 3;
        simulated::machine().outputs[0].vanishedAnswer = c.answer;
        EXPECT_EQ(lines({0, 2}), captureStdout([] { probeDeviceFormats(0, 'O'); })) << c.answer;
        EXPECT_EQ(c.gone ? 4u : 8u, simulated::calls().queries) << c.answer;
    }
}

TEST_F(ProbeReport, EmptyCatalogueGivesTwoEmptyLines) {
    furnish({}, {});
    EXPECT_EQ("\n\n", captureStdout([] { probeDeviceFormats(0, 'I'); }));
    EXPECT_EQ(0u, simulated::calls().queries);
}

} // namespace
