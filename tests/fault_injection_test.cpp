// Every failure the platform or the heap can give, one at a time, against one
// machine: the run never crashes, its report keeps its shape, and what it had
// already found stays in it.
#include "support/captured_output.h"
#include "support/report_shape.h"
#include "support/simulated_test.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <set>

namespace {

constexpr WORD adpcm = 2;
constexpr WORD gsm = 0x31;
constexpr DWORD input = ACM_FORMATENUMF_INPUT;
constexpr DWORD output = ACM_FORMATENUMF_OUTPUT;

using Lines = std::vector<std::string>;

FormatHeader withBlockAlign(FormatHeader h, WORD blockAlign) {
    h.nBlockAlign = blockAlign;
    return h;
}

FormatHeader catalogued(FormatHeader h) {
    h.cbSize = 0;
    return h;
}

// Two inputs and two outputs; PCM for either direction or one only, two ADPCM
// block sizes, and one GSM format, offered for input only, whose tag has no other.
void furnishMachine() {
    nameTag(WAVE_FORMAT_PCM, "PCM");
    nameTag(adpcm, "Microsoft ADPCM");
    nameTag(gsm, "GSM 6.10");
    const FormatHeader both[] = {
        pcm(8000, 8, 1),
        pcm(44100, 16, 2),
        withBlockAlign(formatHeader(adpcm, 8000, 4, 1, 32), 256),
        withBlockAlign(formatHeader(adpcm, 8000, 4, 1, 32), 512),
    };
    for (const FormatHeader& f : both)
        offerFormat(f);
    const FormatHeader gsmFormat = formatHeader(gsm, 8000, 0, 1, 2);
    offerFormat(gsmFormat, input);
    offerFormat(pcm(22050, 16, 1), input);
    offerFormat(pcm(48000, 16, 2), output);
    std::vector<FormatHeader> all;
    for (const simulated::CodecFormat& f : simulated::machine().formats)
        all.push_back(catalogued(f.header));

    simulated::Machine& m = simulated::machine();
    m.inputs = {device("Mic", 1), device("Line", 2)};
    m.outputs = {device("Speakers", 255), device("Headset", 0)};
    m.inputs[0].accepts = {pcm(8000, 8, 1), pcm(22050, 16, 1), catalogued(both[2])};
    m.inputs[1].accepts = all;
    m.outputs[0].accepts = all;
    m.outputs[1].accepts = {pcm(48000, 16, 2), catalogued(gsmFormat)};
}

ParsedReport slowRun() {
    const ProgramRun run = runWithArguments({});
    ParsedReport parsed;
    const std::string problem = parseReport(run.output, &parsed);
    EXPECT_EQ("", problem);
    EXPECT_EQ(0, run.status);
    emptyCatalogue();
    return parsed;
}

std::vector<const ReportedDevice*> devicesOf(const ParsedReport& r) {
    std::vector<const ReportedDevice*> all;
    for (const ReportedDevice& d : r.inputs)
        all.push_back(&d);
    for (const ReportedDevice& d : r.outputs)
        all.push_back(&d);
    return all;
}

Lines without(const Lines& lines, const std::vector<std::string>& marks) {
    Lines kept;
    for (const std::string& line : lines)
        if (std::none_of(marks.begin(), marks.end(), [&](const std::string& mark) {
                return line.find(mark) != std::string::npos;
            }))
            kept.push_back(line);
    return kept;
}

Lines renamed(Lines lines, const std::string& from, const std::string& to) {
    for (std::string& line : lines)
        if (line.compare(2, from.size() + 1, from + ",") == 0)
            line = "\t\t" + to + line.substr(2 + from.size());
    return lines;
}

class FaultInjection : public SimulatedTest {
protected:
    void SetUp() override {
        SimulatedTest::SetUp();
        furnishMachine();
        clean = slowRun();
        ASSERT_EQ(2u, clean.inputs.size());
        ASSERT_EQ(2u, clean.outputs.size());
    }
    ParsedReport clean;
};

// How each device's block should look, from the clean one.
using Expectation = std::function<Lines(std::size_t device, const Lines& cleanBlock)>;

TEST_F(FaultInjection, PlatformFailuresLeaveOutOnlyWhatTheyTouch) {
    const struct {
        const char* name;
        std::function<void(simulated::Machine&)> fault;
        std::vector<long> inputIds; // the inputs still listed
        Expectation block;
    } cases[] = {
        {"capability query fails",
         [](simulated::Machine& m) { m.inputs[0].capsResult = 6; },
         {1},
         [](std::size_t, const Lines& b) { return b; }},
        {"input enumeration fails at once",
         [](simulated::Machine& m) {
             m.inputEnumeration = {MMSYSERR_ERROR, 0};
         },
         {0, 1},
         [](std::size_t, const Lines& b) {
             return without(b, {"22.050 kHz", "GSM"});
         }},
        {"output enumeration fails after one format",
         [](simulated::Machine& m) {
             m.outputEnumeration = {MMSYSERR_NOMEM, 1};
         },
         {0, 1},
         [](std::size_t, const Lines& b) { return without(b, {"48.000 kHz"}); }},
        {"both enumerations fail",
         [](simulated::Machine& m) {
             m.inputEnumeration = {MMSYSERR_ERROR, 0};
             m.outputEnumeration = {MMSYSERR_ERROR, 0};
         },
         {0, 1},
         [](std::size_t, const Lines&) { return Lines(); }},
        // the buffer offered is never smaller than the stack's, which the
        // manager's largest format fits: the catalogue stays whole
        {"metrics fail",
         [](simulated::Machine& m) { m.metricsResult = MMSYSERR_ERROR; },
         {0, 1},
         [](std::size_t, const Lines& b) { return b; }},
        {"metrics below a header",
         [](simulated::Machine& m) { m.largestFormatSize = 4; },
         {0, 1},
         [](std::size_t, const Lines& b) { return b; }},
        {"tag details fail",
         [](simulated::Machine& m) { m.tags[1].detailsResult = ACMERR_NOTPOSSIBLE; },
         {0, 1},
         [](std::size_t, const Lines& b) { return renamed(b, "Microsoft ADPCM", "???"); }},
        {"a device refuses every query",
         [](simulated::Machine& m) {
             m.outputs[0].accepts.clear();
             m.outputs[0].refusal = MMSYSERR_NOMEM;
         },
         {0, 1},
         [](std::size_t d, const Lines& b) { return d == 2 ? Lines() : b; }},
        {"a device is unplugged mid-probe",
         [](simulated::Machine& m) { m.outputs[0].vanishesAfter = 2; },
         {0, 1},
         [](std::size_t d, const Lines& b) {
             // it accepts every format, so its first two lines stay
             return d == 2 ? Lines(b.begin(), b.begin() + 2) : b;
         }},
        // A driver that hangs costs one call limit: the device says so in
        // its place, and the next one is asked on a fresh thread.
        {"a capability query hangs",
         [](simulated::Machine& m) { m.inputs[0].hangsAtCall = 1; },
         {0, 1},
         [](std::size_t, const Lines& b) { return b; }},
        {"a query hangs mid-probe",
         [](simulated::Machine& m) { m.outputs[0].hangsAtCall = 3; },
         {0, 1},
         [](std::size_t d, const Lines& b) {
             if (d != 2)
                 return b;
             Lines first(b.begin(), b.begin() + 1);
             first.push_back("\t\tnot answering");
             return first;
         }},
        {"the input count hangs",
         [](simulated::Machine& m) { m.countHangs = 'I'; },
         {},
         [](std::size_t, const Lines& b) { return b; }},
    };
    // Short enough for the hangs to cost little, long enough for a loaded
    // machine's calls that do not hang.
    setenv("SNDSCOUT_CALL_LIMIT_MS", "300", 1);
    for (const auto& c : cases) {
        resetEverything();
        furnishMachine();
        c.fault(simulated::machine());
        const ParsedReport faulty = slowRun();
        std::vector<long> inputIds;
        for (const ReportedDevice& d : faulty.inputs)
            inputIds.push_back(d.id);
        EXPECT_EQ(c.inputIds, inputIds) << c.name;
        ASSERT_EQ(clean.outputs.size(), faulty.outputs.size()) << c.name;
        // every device still listed shows its clean block less what the fault took
        const std::vector<const ReportedDevice*> before = devicesOf(clean);
        for (const ReportedDevice* after : devicesOf(faulty)) {
            for (std::size_t i = 0; i < before.size(); ++i) {
                if (before[i]->line == after->line) {
                    EXPECT_EQ(c.block(i, before[i]->formats), after->formats)
                        << c.name << ", " << after->line;
                }
            }
        }
    }
    unsetenv("SNDSCOUT_CALL_LIMIT_MS");
}

// What one failed allocation did to the report, judged against the clean run.
enum class Effect { None, OneBlockEmpty, Reordered, OneFormatMissing, TagUnnamed, Other };

// The line whose removal turns `was` into `is`, or an empty text.
std::string droppedLine(const Lines& was, const Lines& is) {
    if (is.size() + 1 != was.size())
        return "";
    std::size_t k = 0;
    while (k < is.size() && was[k] == is[k])
        ++k;
    Lines rest = was;
    rest.erase(rest.begin() + static_cast<long>(k));
    return rest == is ? was[k] : "";
}

Effect effectOf(const ParsedReport& clean, const ParsedReport& faulty) {
    const std::vector<const ReportedDevice*> a = devicesOf(clean);
    const std::vector<const ReportedDevice*> b = devicesOf(faulty);
    if (a.size() != b.size())
        return Effect::Other;
    std::multiset<Effect> seen;
    std::set<std::string> dropped;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const Lines& was = a[i]->formats;
        const Lines& is = b[i]->formats;
        if (a[i]->line != b[i]->line)
            return Effect::Other;
        if (was == is)
            continue;
        if (is.empty()) {
            seen.insert(Effect::OneBlockEmpty);
        } else if (std::is_permutation(was.begin(), was.end(), is.begin(), is.end())) {
            seen.insert(Effect::Reordered);
        } else if (std::string line = droppedLine(was, is); !line.empty()) {
            seen.insert(Effect::OneFormatMissing);
            dropped.insert(line);
        } else if (renamed(was, "GSM 6.10", "???") == is) {
            seen.insert(Effect::TagUnnamed);
        } else {
            return Effect::Other;
        }
    }
    if (seen.empty())
        return Effect::None;
    const Effect effect = *seen.begin();
    // one kind of change; one device's walk, or one format for every device
    if (seen.count(effect) != seen.size() || dropped.size() > 1 ||
        (effect == Effect::OneBlockEmpty && seen.size() > 1))
        return Effect::Other;
    return effect;
}

TEST_F(FaultInjection, EachAllocationFailingInTurnLosesAtMostItsOwnRecord) {
    resetEverything();
    furnishMachine();
    const ParsedReport reference = slowRun();
    const unsigned long allocations = simulated::allocationCount();
    ASSERT_GT(allocations, 10u);
    std::set<Effect> effects;
    for (unsigned long n = 1; n <= allocations; ++n) {
        resetEverything();
        furnishMachine();
        simulated::failAllocation(n);
        const ParsedReport faulty = slowRun();
        const Effect effect = effectOf(reference, faulty);
        EXPECT_NE(Effect::Other, effect) << "allocation " << n;
        effects.insert(effect);
    }
    // Every kind of allocation was hit: a tag entry (its one format then has no
    // name), a catalogued header or its node, the sort, and a device's cursor.
    EXPECT_EQ((std::set<Effect>{Effect::None, Effect::OneBlockEmpty, Effect::Reordered,
                                Effect::OneFormatMissing, Effect::TagUnnamed}),
              effects);
}

TEST_F(FaultInjection, MemoryRunningOutMidwayKeepsTheDevicesAndTheShape) {
    resetEverything();
    furnishMachine();
    slowRun();
    const unsigned long allocations = simulated::allocationCount();
    for (unsigned long n = 1; n <= allocations + 1; ++n) {
        resetEverything();
        furnishMachine();
        simulated::failAllocation(n, true);
        const ParsedReport faulty = slowRun();
        ASSERT_EQ(clean.inputs.size(), faulty.inputs.size()) << "from allocation " << n;
        ASSERT_EQ(clean.outputs.size(), faulty.outputs.size()) << "from allocation " << n;
        const std::vector<const ReportedDevice*> a = devicesOf(clean);
        const std::vector<const ReportedDevice*> b = devicesOf(faulty);
        for (std::size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(a[i]->line, b[i]->line);
            EXPECT_LE(b[i]->formats.size(), a[i]->formats.size());
        }
    }
}

} // namespace
