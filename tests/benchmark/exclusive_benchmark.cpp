// The exclusive-mode probe over the corpus of simulated devices. First a table:
// per device, the questions the pruned probe and brute force ask, and what they
// would take at 1 ms a question, about what a real device spends on one; then
// the realistic devices together. Then the probe's own time per device, with
// the simulated answers costing next to nothing.
#include "exclusive/exclusive_probe.h"
#include "support/exclusive_corpus.h"

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

void printTable() {
    std::printf("%-36s %8s %8s %10s %10s\n", "Device", "Pruned", "Brute", "Pruned s", "Brute s");
    unsigned long pruned = 0, brute = 0;
    for (const CorpusDevice& d : exclusiveCorpus()) {
        const unsigned long p = probeExclusiveFormats(startOf(d), questionTo(d)).questions;
        const unsigned long b = probeEveryFormat(startOf(d), questionTo(d)).questions;
        std::printf("%-36s %8lu %8lu %10.3f %10.3f%s\n", d.name, p, b, p / 1000.0, b / 1000.0,
                    d.realistic ? "" : "  (adversarial)");
        if (d.realistic) {
            pruned += p;
            brute += b;
        }
    }
    std::printf("%-36s %8lu %8lu %10.3f %10.3f\n", "Realistic devices together", pruned, brute,
                pruned / 1000.0, brute / 1000.0);
    std::printf("Pruned asks %.1f%% of brute force's questions over the realistic devices.\n\n",
                100.0 * pruned / brute);
}

void probeDevice(benchmark::State& state, const CorpusDevice* d) {
    const ProbeStart start = startOf(*d);
    const FormatQuestion ask = questionTo(*d);
    unsigned long questions = 0;
    for (auto _ : state) {
        const ExclusiveFindings f = probeExclusiveFormats(start, ask);
        questions = f.questions;
        benchmark::DoNotOptimize(f.formats.data());
    }
    state.counters["questions"] = static_cast<double>(questions);
}

} // namespace

int main(int argc, char** argv) {
    printTable();
    for (const CorpusDevice& d : exclusiveCorpus())
        benchmark::RegisterBenchmark(d.name, probeDevice, &d)->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
