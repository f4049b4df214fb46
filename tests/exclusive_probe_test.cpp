#include "exclusive/exclusive_probe.h"

#include "support/exclusive_corpus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// One line per (type, channels, shape, rate): comparable, and readable in a failure.
std::set<std::string> cellsOf(const ExclusiveFindings& f) {
    std::set<std::string> cells;
    for (const ExclusiveFormat& e : f.formats)
        for (DWORD rate : e.rates) {
            char line[64];
            std::snprintf(line, sizeof line, "%s %2u %s%#x %6u", sampleTypeName(e.sample),
                          e.channels, e.shape.extensible ? "" : "plain ",
                          static_cast<unsigned>(e.shape.channelMask), static_cast<unsigned>(rate));
            cells.insert(line);
        }
    return cells;
}

std::string bytesOf(const WAVEFORMATEX* f) {
    const auto* b = reinterpret_cast<const unsigned char*>(f);
    return std::string(b, b + sizeof(WAVEFORMATEX) + f->cbSize);
}

// Fails the test when a format is asked twice.
FormatQuestion onceEach(const FormatQuestion& ask, std::set<std::string>& asked) {
    return [&ask, &asked](const WAVEFORMATEX* f) {
        EXPECT_TRUE(asked.insert(bytesOf(f)).second);
        return ask(f);
    };
}

// The device's mix format, the same at 44.1, 48 and 22.05 kHz and at a rate the
// matrix lacks, then none.
std::vector<ProbeStart> mixesFor(const CorpusDevice& d) {
    const DWORD rates[] = {44100, 48000, 22050, 50000};
    std::vector<ProbeStart> starts(5, startOf(d));
    for (std::size_t i = 1; i < 5; ++i)
        starts[i].mixRate = rates[i - 1];
    starts.push_back(ProbeStart{});
    return starts;
}

TEST(ExclusiveProbe, EqualsBruteForceOnTheCorpusWhateverTheMixFormat) {
    for (const CorpusDevice& d : exclusiveCorpus()) {
        std::set<std::string> withMix;
        for (const ProbeStart& start : mixesFor(d)) {
            SCOPED_TRACE(std::string(d.name) + ", mix at " + std::to_string(start.mixRate));
            const FormatQuestion ask = questionTo(d);
            std::set<std::string> asked;
            const ExclusiveFindings brute = probeEveryFormat(start, ask);
            const ExclusiveFindings pruned = probeExclusiveFormats(start, onceEach(ask, asked));
            EXPECT_EQ(brute.status, pruned.status);
            if (brute.status != ExclusiveStatus::Ok) { // failures alone: not the whole matrix
                EXPECT_LT(pruned.questions * 4, brute.questions);
            }
            EXPECT_LE(pruned.questions, brute.questions);
            EXPECT_EQ(asked.size(), pruned.questions);
            const std::set<std::string> all = cellsOf(brute), found = cellsOf(pruned);
            EXPECT_TRUE(std::includes(all.begin(), all.end(), found.begin(), found.end()));
            if (d.outcome == PrunedOutcome::Exact) {
                EXPECT_EQ(all, found);
            } else {
                EXPECT_LT(found.size(), all.size()) << "no longer misses: mark it exact";
            }
            if (start.mixChannels != 0) { // the same matrix: the same findings
                withMix = withMix.empty() ? found : withMix;
                EXPECT_EQ(withMix, found);
            }
        }
    }
}

TEST(ExclusiveProbe, AsksAQuarterOfBruteForceOverRealisticDevices) {
    unsigned long pruned = 0, brute = 0;
    for (const CorpusDevice& d : exclusiveCorpus())
        if (d.realistic) {
            pruned += probeExclusiveFormats(startOf(d), questionTo(d)).questions;
            brute += probeEveryFormat(startOf(d), questionTo(d)).questions;
        }
    EXPECT_LE(pruned * 4, brute) << pruned << " of " << brute;
}

const CorpusDevice& corpusDevice(const std::string& name) {
    for (const CorpusDevice& d : exclusiveCorpus())
        if (name == d.name)
            return d;
    throw std::invalid_argument(name);
}

// The findings as the report would group them, one format a line.
std::string listing(const ExclusiveFindings& f) {
    std::string text;
    for (const ExclusiveFormat& e : f.formats) {
        char head[48];
        std::snprintf(head, sizeof head, "%s %u %s%#x:", sampleTypeName(e.sample), e.channels,
                      e.shape.extensible ? "" : "plain ",
                      static_cast<unsigned>(e.shape.channelMask));
        text += head;
        for (DWORD rate : e.rates)
            text += " " + std::to_string(rate / 100);
        text += "\n";
    }
    return text;
}

TEST(ExclusiveProbe, FindsWhatTheDeviceClassTakes) {
    const struct {
        const char* device;
        const char* formats; // rates in hundreds of hertz
    } cases[] = {
        {"HD-audio HDMI", "int16 2 0x3: 320 441 480 882 960 1764 1920\n"
                          "int16 6 0x60f: 320 441 480 882 960 1764 1920\n"
                          "int16 8 0x63f: 320 441 480 882 960 1764 1920\n"
                          "int24in32 2 0x3: 320 441 480 882 960 1764 1920\n"
                          "int24in32 6 0x60f: 320 441 480 882 960 1764 1920\n"
                          "int24in32 8 0x63f: 320 441 480 882 960 1764 1920\n"},
        {"Plain header only, for 16 bits", "int16 1 plain 0: 441 480 882 960 1764 1920\n"
                                           "int16 2 plain 0: 441 480 882 960 1764 1920\n"
                                           "int24in32 2 0x3: 441 480 882 960 1764 1920\n"},
        {"Surround masks change above 48 kHz", "int16 2 0x3: 441 480 882 960 1764 1920\n"
                                               "int16 6 0x3f: 882 960 1764 1920\n"
                                               "int16 6 0x60f: 441 480\n"
                                               "int16 8 0x63f: 441 480\n"
                                               "int16 8 0xff: 882 960 1764 1920\n"},
    };
    for (const auto& c : cases) {
        const CorpusDevice& d = corpusDevice(c.device);
        EXPECT_EQ(c.formats, listing(probeExclusiveFormats(startOf(d), questionTo(d))));
    }
}

// A device that takes everything until, at question `at`, it answers `stop`.
FormatQuestion stopsAt(unsigned long at, EndpointAnswer stop) {
    auto asked = std::make_shared<unsigned long>(0);
    return [asked, at, stop](const WAVEFORMATEX*) {
        return ++*asked == at ? stop : EndpointAnswer::Ok;
    };
}

TEST(ExclusiveProbe, AnAnswerThatEndsTheProbeLeavesNoFormats) {
    const struct {
        EndpointAnswer answer;
        ExclusiveStatus status;
    } cases[] = {
        {EndpointAnswer::NotAllowed, ExclusiveStatus::NotAllowed},
        {EndpointAnswer::Busy, ExclusiveStatus::Busy},
        {EndpointAnswer::Gone, ExclusiveStatus::Gone},
        {EndpointAnswer::NotFound, ExclusiveStatus::Gone},
        {EndpointAnswer::NoMemory, ExclusiveStatus::Unavailable},
        {EndpointAnswer::Failed, ExclusiveStatus::Ok}, // only a refusal
    };
    const ProbeStart start{2, 48000, 0x3};
    for (const auto& c : cases)
        for (unsigned long at : {1ul, 2ul, 200ul})
            for (auto probe : {probeEveryFormat, probeExclusiveFormats}) {
                const ExclusiveFindings f = probe(start, stopsAt(at, c.answer));
                const bool stops = c.status != ExclusiveStatus::Ok;
                EXPECT_EQ(c.status, f.status) << at;
                EXPECT_EQ(stops, f.formats.empty()) << at;
                EXPECT_EQ(stops, at == f.questions) << at;
            }
    for (auto probe : {probeEveryFormat, probeExclusiveFormats}) {
        unsigned long asked = 0;
        const ExclusiveFindings f = probe(start, [&asked](const WAVEFORMATEX*) {
            return ++asked == 9 ? throw std::bad_alloc() : EndpointAnswer::Ok;
        });
        EXPECT_EQ(ExclusiveStatus::Unavailable, f.status);
        EXPECT_TRUE(f.formats.empty());
        EXPECT_EQ(9u, f.questions);
    }
    // Failures alone, never a yes or a no: the device was not really asked.
    for (auto probe : {probeEveryFormat, probeExclusiveFormats}) {
        const ExclusiveFindings f =
            probe(start, [](const WAVEFORMATEX*) { return EndpointAnswer::Failed; });
        EXPECT_EQ(ExclusiveStatus::Unavailable, f.status);
        EXPECT_TRUE(f.formats.empty());
    }
}

// A random device: the formats it takes. Shared: every type it takes at all
// takes the same counts and rates, each count with some of its shapes, so it
// is within the assumptions. Otherwise each type has a product of its own with
// a few stray cells, or the cells are strewn at random.
std::set<std::string> randomDevice(std::mt19937& random, int kind, const ProbeStart& start) {
    const auto chance = [&random](double p) { return std::bernoulli_distribution(p)(random); };
    const std::vector<unsigned> counts = matrixChannelCounts(start.mixChannels);
    std::vector<bool> countTaken, rateTaken;
    std::set<std::string> takes;
    for (std::size_t t = 0; t < sampleTypeCount; ++t) {
        if (t == 0 || kind == 1) {
            countTaken.clear();
            rateTaken.clear();
            for (std::size_t c = 0; c < counts.size(); ++c)
                countTaken.push_back(chance(0.3));
            for (std::size_t r = 0; r < matrixRateCount; ++r)
                rateTaken.push_back(chance(0.4));
        }
        const bool typeTaken = chance(0.6);
        for (std::size_t c = 0; c < counts.size(); ++c) {
            const std::vector<FormatShape> shapes =
                shapesFor(SampleType(t), counts[c], start.mixChannels, start.mixMask);
            std::vector<bool> shapeTaken;
            for (std::size_t k = 0; k < shapes.size(); ++k)
                shapeTaken.push_back(chance(0.5));
            shapeTaken[random() % shapes.size()] = true;
            for (std::size_t r = 0; r < matrixRateCount; ++r)
                for (std::size_t k = 0; k < shapes.size(); ++k) {
                    const bool product =
                        typeTaken && countTaken[c] && rateTaken[r] && shapeTaken[k];
                    if (kind == 2 ? chance(0.02) : product || (kind == 1 && chance(0.001))) {
                        const WAVEFORMATEXTENSIBLE f =
                            queryFormat(SampleType(t), counts[c], matrixRates[r], shapes[k]);
                        takes.insert(bytesOf(&f.Format));
                    }
                }
        }
    }
    return takes;
}

TEST(ExclusiveProbe, NeverListsWhatARandomDeviceRefuses) {
    std::mt19937 random(7);
    const unsigned mixes[] = {0, 1, 2, 2, 6, 8, 12};
    for (int i = 0; i < 300; ++i) {
        ProbeStart start;
        start.mixChannels = mixes[random() % 7];
        start.mixRate = start.mixChannels == 0 ? 0 : matrixRates[random() % matrixRateCount];
        start.mixMask = random() % 4 != 0 ? standardChannelMask(start.mixChannels) : 0;
        const int kind = i % 3;
        const std::set<std::string> takes = randomDevice(random, kind, start);
        const FormatQuestion ask = [&takes](const WAVEFORMATEX* f) {
            return takes.count(bytesOf(f)) != 0 ? EndpointAnswer::Ok : EndpointAnswer::Refused;
        };
        std::set<std::string> asked;
        const ExclusiveFindings brute = probeEveryFormat(start, ask);
        const ExclusiveFindings pruned = probeExclusiveFormats(start, onceEach(ask, asked));
        const std::set<std::string> all = cellsOf(brute), found = cellsOf(pruned);
        EXPECT_LE(pruned.questions, brute.questions) << i;
        EXPECT_TRUE(std::includes(all.begin(), all.end(), found.begin(), found.end())) << i;
        if (kind == 0) {
            EXPECT_EQ(all, found) << i;
        }
    }
}

} // namespace
