#include "report/device_listing.h"

#include "support/captured_output.h"
#include "support/report_shape.h"
#include "support/simulated_test.h"

#include <cstddef>

namespace {

const std::string inputHeader = "        Input Devices\n        -------------\n\n";
const std::string outputHeader = "        Output Devices\n        --------------\n\n";

using DeviceListing = SimulatedTest;

TEST_F(DeviceListing, QuickRunOfOneInputWithNoFormatBits) {
    simulated::machine().inputs.push_back(device("Line In", 0, 0));
    EXPECT_EQ(inputHeader + "0.\tLine In / \n\n\n" + "\n" + outputHeader + "\n",
              captureStdout(quickReport));
}

TEST_F(DeviceListing, NoInputDevicesGiveTwoEmptyLinesBeforeTheOutputs) {
    simulated::machine().outputs.push_back(device("Speakers", 2, 0));
    EXPECT_EQ(inputHeader + "\n" + outputHeader + "0.\tSpeakers / Creative Labs, Inc.\n\n\n\n",
              captureStdout(quickReport));
}

TEST_F(DeviceListing, DeviceLinesAreTheSameInBothModes) {
    simulated::Machine& m = simulated::machine();
    m.inputs = {device("Mic", 1, 0x001), device("Line", 266, 0)};
    m.outputs = {device("Speakers", 255, 0x800)};
    ParsedReport quick;
    ParsedReport slow;
    ASSERT_EQ("", parseSections(captureStdout(quickReport), &quick));
    ASSERT_EQ("", parseSections(captureStdout(slowReport), &slow));
    ASSERT_EQ(2u, quick.inputs.size());
    ASSERT_EQ(1u, quick.outputs.size());
    EXPECT_EQ("0.\tMic / Microsoft Corporation", quick.inputs[0].line);
    EXPECT_EQ("1.\tLine / Algo Vision Systems GmbH", quick.inputs[1].line);
    EXPECT_EQ("0.\tSpeakers / Quick Audio, GbR", quick.outputs[0].line);
    ASSERT_EQ(quick.inputs.size(), slow.inputs.size());
    ASSERT_EQ(quick.outputs.size(), slow.outputs.size());
    for (std::size_t i = 0; i < quick.inputs.size(); ++i)
        EXPECT_EQ(quick.inputs[i].line, slow.inputs[i].line);
    EXPECT_EQ(quick.outputs[0].line, slow.outputs[0].line);
}

TEST_F(DeviceListing, WhichIdentifiersAreListed) {
    auto failing = [](MMRESULT result) {
        simulated::Device d = device("Broken");
        d.capsResult = result;
        return d;
    };
    const struct {
        const char* name;
        std::vector<simulated::Device> inputs;
        std::optional<UINT> count;
        std::vector<long> listed;
        unsigned long asked; // capability queries, no output devices
    } cases[] = {
        // each identifier the count gives is asked once, and none past it
        {"plain", {device("A"), device("B")}, {}, {0, 1}, 2},
        // a device whose capability query fails leaves a gap in the numbers
        {"gap", {device("A"), failing(MMSYSERR_NODRIVER), device("C")}, {}, {0, 2}, 3},
        {"all fail", {failing(MMSYSERR_NOMEM), failing(MMSYSERR_ERROR)}, {}, {}, 2},
        // the count is read as signed
        {"count -1", {device("A")}, 0xFFFFFFFFu, {}, 0},
        {"count 0", {device("A")}, 0u, {}, 0},
        {"count short", {device("A"), device("B")}, 1u, {0}, 1},
        // a count past the devices stops at the first unknown identifier
        {"count huge", {device("A"), device("B")}, 0x7FFFFFFFu, {0, 1}, 3},
    };
    for (const auto& c : cases) {
        resetEverything();
        simulated::machine().inputs = c.inputs;
        simulated::machine().inputCount = c.count;
        ParsedReport report;
        ASSERT_EQ("", parseSections(captureStdout(quickReport), &report)) << c.name;
        std::vector<long> listed;
        for (const ReportedDevice& d : report.inputs)
            listed.push_back(d.id);
        EXPECT_EQ(c.listed, listed) << c.name;
        EXPECT_EQ(c.asked, simulated::calls().capsQueries) << c.name;
    }
}

TEST_F(DeviceListing, NamesAreWrittenWithinTheirField) {
    const struct {
        const char* name; // as the driver stores it; cut to 32 bytes
        const char* shown;
    } cases[] = {
        {"0123456789012345678901234567890", "0123456789012345678901234567890"},
        // all 32 bytes used, no terminator: all 32 written, nothing after them
        {"0123456789012345678901234567890123", "01234567890123456789012345678901"},
        {"", ""},
        // control bytes cannot break the line; other bytes pass as they are
        {"Line\nIn\tHere\x1b[2J", "Line?In?Here?[2J"},
        {"Del\177ete\177", "Del?ete?"}, // DEL, 0x7F
        {"Caf\xE9 \xFC", "Caf\xE9 \xFC"},
    };
    for (const auto& c : cases) {
        resetEverything();
        simulated::machine().outputs.push_back(device(c.name, 0, 0));
        EXPECT_EQ(inputHeader + "\n" + outputHeader + "0.\t" + c.shown + " / \n\n\n\n",
                  captureStdout(quickReport))
            << c.name;
    }
}

TEST_F(DeviceListing, ARecordTheDriverFillsOnlyInPartShowsNothingUnfilled) {
    const struct {
        std::size_t written; // leading bytes of the record the driver writes
        const char* line;
    } cases[] = {
        {0, "0.\t / "},
        {offsetof(WAVEINCAPSA, szPname), "0.\t / Creative Labs, Inc."},
        {offsetof(WAVEINCAPSA, szPname) + 4, "0.\tSpea / Creative Labs, Inc."},
        // the name whole, but no terminator and no format bits
        {offsetof(WAVEINCAPSA, szPname) + 8, "0.\tSpeakers / Creative Labs, Inc."},
        {offsetof(WAVEINCAPSA, dwFormats), "0.\tSpeakers / Creative Labs, Inc."},
    };
    static_assert(offsetof(WAVEINCAPSA, dwFormats) == offsetof(WAVEOUTCAPSA, dwFormats),
                  "both records lead with the same fields");
    for (const auto& c : cases) {
        resetEverything();
        simulated::Device d = device("Speakers", 2, 0xFFF);
        d.capsBytesWritten = c.written;
        simulated::machine().inputs = {d};
        simulated::machine().outputs = {d};
        ParsedReport report;
        ASSERT_EQ("", parseSections(captureStdout(quickReport), &report)) << c.written;
        for (const std::vector<ReportedDevice>* section : {&report.inputs, &report.outputs}) {
            ASSERT_EQ(1u, section->size()) << c.written;
            EXPECT_EQ(c.line, section->front().line) << c.written;
            EXPECT_TRUE(section->front().formats.empty()) << c.written; // no bits were written
        }
    }
}

} // namespace
