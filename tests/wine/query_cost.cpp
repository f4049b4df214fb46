// What one query-open costs on the platform: the unit the slow report pays once
// per catalogue format per device. It asks every device, many times over, about
// the formats the installed codecs offer (the slow report's own mix) and about
// one plain PCM format and one unknown tag, timing each call on its own.
// Built only for Windows, from tests/wine; run it under Wine with
// cmake/wine-run.sh.
#include "live_formats.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int rounds = 20;    // over the whole catalogue, per device
constexpr int repeats = 2000; // of each fixed format, per device

WAVEFORMATEX header(WORD tag, DWORD rate, WORD bits, WORD channels) {
    WAVEFORMATEX h{};
    h.wFormatTag = tag;
    h.nChannels = channels;
    h.nSamplesPerSec = rate;
    h.wBitsPerSample = bits;
    h.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    h.nAvgBytesPerSec = rate * h.nBlockAlign;
    return h;
}

double ticksPerMicrosecond() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart) / 1e6;
}

struct Tally {
    unsigned long accepted = 0;
    unsigned long refused = 0;
    double acceptedMicros = 0;
    double refusedMicros = 0;

    void add(const Tally& other) {
        accepted += other.accepted;
        refused += other.refused;
        acceptedMicros += other.acceptedMicros;
        refusedMicros += other.refusedMicros;
    }
    unsigned long queries() const { return accepted + refused; }
    double mean() const { return queries() ? (acceptedMicros + refusedMicros) / queries() : 0; }
    double meanAccepted() const { return accepted ? acceptedMicros / accepted : 0; }
    double meanRefused() const { return refused ? refusedMicros / refused : 0; }
};

MMRESULT queryOpen(char direction, UINT id, const WAVEFORMATEX* format) {
    if (direction == 'I')
        return waveInOpen(nullptr, id, format, 0, 0, WAVE_FORMAT_QUERY);
    return waveOutOpen(nullptr, id, format, 0, 0, WAVE_FORMAT_QUERY);
}

void timeQuery(char direction, UINT id, const WAVEFORMATEX& format, double perMicro, Tally* tally) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const MMRESULT result = queryOpen(direction, id, &format);
    QueryPerformanceCounter(&end);
    const double micros = static_cast<double>(end.QuadPart - start.QuadPart) / perMicro;
    if (result == MMSYSERR_NOERROR) {
        ++tally->accepted;
        tally->acceptedMicros += micros;
    } else {
        ++tally->refused;
        tally->refusedMicros += micros;
    }
}

void printTally(const char* what, const Tally& t) {
    std::printf("%-28s %8lu queries  mean %8.2f us  (accepted %lu at %.2f us, refused %lu at "
                "%.2f us)\n",
                what, t.queries(), t.mean(), t.accepted, t.meanAccepted(), t.refused,
                t.meanRefused());
}

} // namespace

int main() {
    const double perMicro = ticksPerMicrosecond();
    const std::vector<WAVEFORMATEX> catalogue = liveCodecFormats();
    const WAVEFORMATEX plain = header(WAVE_FORMAT_PCM, 44100, 16, 2);
    const WAVEFORMATEX unknown = header(0x7777, 44100, 16, 2);
    std::printf("catalogue: %zu distinct formats\n", catalogue.size());

    Tally firstCalls, catalogueMix, plainPcm, unknownTag;
    for (char direction : {'I', 'O'}) {
        const UINT count = direction == 'I' ? waveInGetNumDevs() : waveOutGetNumDevs();
        for (UINT id = 0; id < count; ++id) {
            // The first call may load a driver; it is counted apart.
            timeQuery(direction, id, plain, perMicro, &firstCalls);
            Tally device;
            for (int r = 0; r < rounds; ++r)
                for (const WAVEFORMATEX& format : catalogue)
                    timeQuery(direction, id, format, perMicro, &device);
            for (int r = 0; r < repeats; ++r) {
                timeQuery(direction, id, plain, perMicro, &plainPcm);
                timeQuery(direction, id, unknown, perMicro, &unknownTag);
            }
            char label[32];
            std::snprintf(label, sizeof label, "%s %u, catalogue",
                          direction == 'I' ? "input" : "output", id);
            printTally(label, device);
            catalogueMix.add(device);
        }
    }
    printTally("first call per device", firstCalls);
    printTally("catalogue, every device", catalogueMix);
    printTally("PCM 44.1 kHz 16 bit stereo", plainPcm);
    printTally("unknown tag", unknownTag);
    std::printf("mean query-open, catalogue mix: %.2f us\n", catalogueMix.mean());
    return 0;
}
