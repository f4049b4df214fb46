// The program's own time around its format catalogue: building it, sorting it,
// walking it once per device, and the whole slow report, at 100 to 10,000
// formats and 8 devices. The simulated devices accept nothing, so every query
// answers at once from an empty list and no format line is written; what is
// left is the catalogue's own cost. The few heading and blank lines go to
// /dev/null.
#include "catalogue/format_catalogue.h"
#include "report/text_writer.h"
#include "report/device_listing.h"
#include "support/simulated_setup.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <random>
#include <unistd.h>
#include <vector>

namespace {

constexpr int devicesPerSide = 4;
constexpr int deviceCount = 2 * devicesPerSide;

// Tags codecs commonly report: PCM, two ADPCMs, float, A-law, mu-law, GSM, MP3.
constexpr WORD tags[] = {1, 2, 0x11, 3, 6, 7, 0x31, 0x55};
constexpr DWORD rates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 192000};
constexpr WORD bits[] = {4, 8, 16, 24, 32};
constexpr WORD channels[] = {1, 2, 4, 6, 8};

template <class T, std::size_t N> std::size_t pick(std::size_t& rest, const T (&)[N]) {
    const std::size_t digit = rest % N;
    rest /= N;
    return digit;
}

// The i-th of as many distinct headers as wanted: every tag, rate, depth and
// channel count in turn, then again with ever larger blocks, as codecs offer
// one format at several block sizes.
FormatHeader distinctFormat(std::size_t i) {
    std::size_t rest = i;
    const WORD tag = tags[pick(rest, tags)];
    const DWORD rate = rates[pick(rest, rates)];
    const WORD depth = bits[pick(rest, bits)];
    const WORD count = channels[pick(rest, channels)];
    FormatHeader h = formatHeader(tag, rate, depth, count);
    h.nBlockAlign = static_cast<WORD>(h.nBlockAlign << rest);
    h.nAvgBytesPerSec = rate * h.nBlockAlign;
    return h;
}

// A machine whose codecs offer n distinct formats, in no particular order, for
// both directions, and 4 devices on each side that accept none of them.
void furnish(std::size_t n) {
    resetEverything();
    std::vector<FormatHeader> formats;
    for (std::size_t i = 0; i < n; ++i)
        formats.push_back(distinctFormat(i));
    std::shuffle(formats.begin(), formats.end(), std::mt19937(12345));
    for (const FormatHeader& h : formats)
        offerFormat(h);
    for (WORD tag : tags)
        nameTag(tag, "Bench tag");
    for (int i = 0; i < devicesPerSide; ++i) {
        simulated::machine().inputs.push_back(device("Bench input"));
        simulated::machine().outputs.push_back(device("Bench output"));
    }
}

// Points file descriptor 1 at /dev/null while the benchmark body runs; the
// library writes its table only between bodies.
class QuietStdout {
public:
    QuietStdout() {
        std::cout.flush();
        std::fflush(stdout);
        saved = dup(1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~QuietStdout() {
        std::cout.flush();
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    int saved;
};

template <class Body> double secondsOf(Body body) {
    const auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The catalogue must hold exactly the formats offered, or the figures mean nothing.
bool catalogueHolds(benchmark::State& state, std::size_t n) {
    if (static_cast<std::size_t>(knownFormats.size()) == n)
        return true;
    state.SkipWithError("the catalogue does not hold every offered format");
    return false;
}

void walkEveryDevice() {
    for (int id = 0; id < devicesPerSide; ++id) {
        probeDeviceFormats(id, 'I');
        probeDeviceFormats(id, 'O');
    }
}

// Time per catalogue format, or per format and device, rather than per run.
void perFormat(benchmark::State& state, std::size_t n, int devices) {
    state.SetComplexityN(static_cast<benchmark::IterationCount>(n));
    const double units = static_cast<double>(n) * devices;
    state.counters[devices == 1 ? "per_format" : "per_format_device"] = benchmark::Counter(
        units, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The catalogue is emptied before each run, outside the clock, so each run
// builds from nothing, tag names included, as a fresh program does.
void Build(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    furnish(n);
    for (auto _ : state) {
        emptyCatalogue();
        state.SetIterationTime(secondsOf(collectCodecFormats));
    }
    if (catalogueHolds(state, n))
        perFormat(state, n, 1);
    resetEverything();
}

// Each run sorts a freshly built, unsorted catalogue; only the sort is timed.
void Sort(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    furnish(n);
    for (auto _ : state) {
        emptyCatalogue();
        collectCodecFormats();
        state.SetIterationTime(secondsOf(sortKnownFormats));
    }
    if (catalogueHolds(state, n))
        perFormat(state, n, 1);
    resetEverything();
}

// The walk leaves the catalogue as it was, so one built catalogue serves every run.
void WalkEightDevices(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    furnish(n);
    collectCodecFormats();
    sortKnownFormats();
    {
        QuietStdout quiet;
        for (auto _ : state)
            walkEveryDevice();
    }
    if (catalogueHolds(state, n))
        perFormat(state, n, deviceCount);
    resetEverything();
}

void SlowReport(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    furnish(n);
    {
        QuietStdout quiet;
        for (auto _ : state) {
            emptyCatalogue();
            state.SetIterationTime(secondsOf(slowReport));
        }
    }
    if (catalogueHolds(state, n))
        perFormat(state, n, deviceCount);
    resetEverything();
}

} // namespace

BENCHMARK(Build)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(Sort)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(WalkEightDevices)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(SlowReport)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
