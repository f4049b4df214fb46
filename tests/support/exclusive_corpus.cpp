#include "support/exclusive_corpus.h"

#include "platform/endpoint_answers.h"
#include "support/format_bytes.h"

#include <bitset>
#include <cstring>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <optional>

namespace {

using T = SampleType;

using namespace format_bytes;

// The corpus reads formats as a driver does, apart from the program's own
// reading, so that a fault in how the probe builds its formats shows as refusals.
using Query = DriverReading;

using Takes = std::function<bool(const Query&)>;

// A mask naming more speakers than there are channels is malformed too.
simulated::ExclusiveProfile profileOf(Takes takes) {
    return [takes](const WAVEFORMATEX* format) {
        const std::optional<Query> q = readAsDriver(format);
        const bool wellFormed = q && std::bitset<32>(q->mask).count() <= q->channels;
        return wellFormed && takes(*q) ? S_OK : AUDCLNT_E_UNSUPPORTED_FORMAT;
    };
}

// The shared-mode format as the service gives it: 32-bit float, extensible.
std::vector<unsigned char> mixOf(unsigned channels, DWORD rate, DWORD mask) {
    return extensibleBytes(SampleType::Float32, channels, rate, mask);
}

template <class V> bool oneOf(V value, std::initializer_list<V> list) {
    for (V v : list)
        if (v == value)
            return true;
    return false;
}

bool typeIn(const Query& q, std::initializer_list<SampleType> types) {
    return oneOf(q.type, types);
}

bool rateIn(const Query& q, std::initializer_list<DWORD> rates) {
    return oneOf(q.rate, rates);
}

// Extensible with one of the masks.
bool maskIn(const Query& q, std::initializer_list<DWORD> masks) {
    return q.extensible && oneOf(q.mask, masks);
}

// Extensible with the mask or none, or the plain header.
bool usualShape(const Query& q, DWORD mask) {
    return !q.extensible || q.mask == mask || q.mask == 0;
}

const std::initializer_list<DWORD> hdAudioRates = {44100, 48000, 88200, 96000, 176400, 192000};
const std::initializer_list<DWORD> hdmiRates = {32000, 44100, 48000, 88200, 96000, 176400, 192000};
const std::initializer_list<DWORD> usbDacRates = {44100,  48000,  88200,  96000,  176400,
                                                  192000, 352800, 384000, 705600, 768000};

constexpr DWORD mono = 0x4, stereo = 0x3, quad = 0x33, surround51 = 0x3F, surround51Side = 0x60F,
                surround71 = 0x63F, surround71Wide = 0xFF;

std::vector<CorpusDevice> buildCorpus() {
    const auto realistic = [](const char* name, std::vector<unsigned char> mix, Takes takes) {
        return CorpusDevice{name, true, PrunedOutcome::Exact, std::move(mix),
                            profileOf(std::move(takes))};
    };
    const auto adversarial = [](const char* name, PrunedOutcome outcome,
                                std::vector<unsigned char> mix, Takes takes) {
        return CorpusDevice{name, false, outcome, std::move(mix), profileOf(std::move(takes))};
    };
    const PrunedOutcome exact = PrunedOutcome::Exact;
    return {
        realistic("HD-audio speakers", mixOf(2, 48000, stereo),
                  [](const Query& q) {
                      return typeIn(q, {T::Int16, T::Int24In32}) && q.channels == 2 &&
                             oneOf(q.rate, hdAudioRates) && usualShape(q, stereo);
                  }),
        realistic("HD-audio HDMI", mixOf(2, 48000, stereo),
                  [](const Query& q) {
                      return typeIn(q, {T::Int16, T::Int24In32}) && oneOf(q.rate, hdmiRates) &&
                             ((q.channels == 2 && (!q.extensible || q.mask == stereo)) ||
                              (q.channels == 6 && maskIn(q, {surround51Side})) ||
                              (q.channels == 8 && maskIn(q, {surround71})));
                  }),
        realistic("USB class-2 DAC", mixOf(2, 48000, stereo),
                  [](const Query& q) {
                      return typeIn(q, {T::Int16, T::Int24, T::Int32}) && q.channels == 2 &&
                             oneOf(q.rate, usbDacRates) && usualShape(q, stereo);
                  }),
        realistic("USB headset, speakers", mixOf(2, 48000, stereo),
                  [](const Query& q) {
                      return q.type == T::Int16 && q.rate == 48000 &&
                             ((q.channels == 1 && usualShape(q, mono)) ||
                              (q.channels == 2 && usualShape(q, stereo)));
                  }),
        realistic("USB headset, microphone", mixOf(1, 48000, mono),
                  [](const Query& q) {
                      return q.type == T::Int16 && q.channels == 1 && rateIn(q, {16000, 48000}) &&
                             usualShape(q, mono);
                  }),
        realistic("Bluetooth hands-free, output", mixOf(1, 16000, mono),
                  [](const Query& q) {
                      return q.type == T::Int16 && q.channels == 1 && q.rate == 16000 &&
                             usualShape(q, mono);
                  }),
        realistic("Bluetooth hands-free, input", mixOf(1, 16000, mono),
                  [](const Query& q) {
                      return q.type == T::Int16 && q.channels == 1 && q.rate == 16000 &&
                             usualShape(q, mono);
                  }),
        realistic("S/PDIF output", mixOf(2, 48000, stereo),
                  [](const Query& q) {
                      return typeIn(q, {T::Int16, T::Int24In32}) && q.channels == 2 &&
                             rateIn(q, {44100, 48000, 96000}) && usualShape(q, stereo);
                  }),
        // Its driver names no speakers: any mask will do, the plain header will not.
        realistic("Studio interface, 18 channels", mixOf(18, 48000, 0),
                  [](const Query& q) {
                      return typeIn(q, {T::Int24In32, T::Int32}) && oneOf(q.channels, {2u, 18u}) &&
                             oneOf(q.rate, hdAudioRates) && q.extensible;
                  }),
        realistic("Virtual cable", mixOf(2, 48000, stereo),
                  [](const Query& q) { return q.channels <= 8; }),
        realistic("Microphone array, 4 channels", mixOf(4, 16000, quad),
                  [](const Query& q) {
                      return typeIn(q, {T::Int16, T::Int32}) && q.channels == 4 &&
                             rateIn(q, {16000, 48000}) && maskIn(q, {quad, 0});
                  }),
        // Each bit depth on its own alternate setting, at its own rates.
        realistic("USB class-1 DAC, 24 bits at 88.2/96", mixOf(2, 48000, stereo),
                  [](const Query& q) {
                      return q.channels == 2 && usualShape(q, stereo) &&
                             ((q.type == T::Int16 && rateIn(q, {44100, 48000})) ||
                              (q.type == T::Int24 && rateIn(q, {88200, 96000})));
                  }),
        realistic("USB DAC, 16 bits to 48 kHz", mixOf(2, 44100, stereo),
                  [](const Query& q) {
                      return q.channels == 2 && usualShape(q, stereo) &&
                             (q.type == T::Int16 ? rateIn(q, {44100, 48000})
                                                 : typeIn(q, {T::Int24In32, T::Int32}) &&
                                                       q.rate >= 88200 && q.rate <= 384000);
                  }),
        // What the display's EDID offers; the mix is at 44.1 kHz.
        realistic("HDMI, surround from 48 kHz", mixOf(2, 44100, stereo),
                  [](const Query& q) {
                      const bool surround = (q.channels == 6 && maskIn(q, {surround51Side})) ||
                                            (q.channels == 8 && maskIn(q, {surround71}));
                      return typeIn(q, {T::Int16, T::Int24In32}) &&
                             ((q.channels == 2 && rateIn(q, {32000, 44100, 48000}) &&
                               (!q.extensible || q.mask == stereo)) ||
                              (surround && rateIn(q, {48000, 96000, 192000})));
                  }),
        realistic("Pro interface, channels by rate", mixOf(8, 48000, 0),
                  [](const Query& q) {
                      return typeIn(q, {T::Int24In32, T::Int32}) && q.extensible &&
                             ((q.channels == 8 && rateIn(q, {44100, 48000})) ||
                              (q.channels == 4 && rateIn(q, {88200, 96000})) ||
                              (q.channels == 2 && rateIn(q, {176400, 192000})));
                  }),
        realistic("Laptop speakers, 5.1 mix", mixOf(6, 48000, surround51),
                  [](const Query& q) {
                      const bool low = q.rate <= 48000;
                      return typeIn(q, {T::Int16, T::Int24In32}) && oneOf(q.rate, hdAudioRates) &&
                             ((q.channels == 1 && low && usualShape(q, mono)) ||
                              (q.channels == 2 && usualShape(q, stereo)) ||
                              (q.channels == 6 && low && maskIn(q, {surround51})));
                  }),
        realistic("USB speakerphone", mixOf(2, 48000, stereo),
                  [](const Query& q) {
                      return q.type == T::Int16 &&
                             ((q.channels == 1 && q.rate == 16000 && usualShape(q, mono)) ||
                              (q.channels == 2 && q.rate == 48000 && usualShape(q, stereo)));
                  }),
        realistic("Headset, plain header at 8/16 kHz", mixOf(2, 48000, stereo),
                  [](const Query& q) {
                      const bool high = rateIn(q, {44100, 48000});
                      return q.type == T::Int16 &&
                             ((q.channels == 2 && high && usualShape(q, stereo)) ||
                              (q.channels == 1 &&
                               (high || (!q.extensible && rateIn(q, {8000, 16000})))));
                  }),
        // The widest type on an alternate setting for the high rates alone.
        realistic("Hi-res DAC, 32 bits from 176.4 kHz", mixOf(2, 48000, stereo),
                  [](const Query& q) {
                      return q.channels == 2 && usualShape(q, stereo) &&
                             ((q.type == T::Int16 && rateIn(q, {44100, 48000, 88200, 96000})) ||
                              (q.type == T::Int24In32 && oneOf(q.rate, hdAudioRates)) ||
                              (q.type == T::Int32 && rateIn(q, {176400, 192000, 352800, 384000})));
                  }),
        // Eight optical channels to 48 kHz, four at double rate, none above;
        // stereo at every rate.
        realistic("S/MUX interface, 18/14/10 channels", mixOf(18, 48000, 0),
                  [](const Query& q) {
                      const unsigned most = q.rate <= 48000 ? 18 : q.rate <= 96000 ? 14 : 10;
                      return typeIn(q, {T::Int24In32, T::Int32}) && oneOf(q.rate, hdAudioRates) &&
                             q.extensible && (q.channels == 2 || q.channels == most);
                  }),

        // Its mix format is at a rate it refuses in exclusive mode: the probe
        // must look for another seed.
        adversarial("Only the 44.1 kHz family", exact, mixOf(2, 48000, stereo),
                    [](const Query& q) {
                        return typeIn(q, {T::Int16, T::Int24, T::Int32}) && q.channels == 2 &&
                               rateIn(q, {44100, 88200, 176400, 352800, 705600}) &&
                               usualShape(q, stereo);
                    }),
        adversarial("88.2 kHz refused, 96 kHz taken", exact, mixOf(2, 48000, stereo),
                    [](const Query& q) {
                        return typeIn(q, {T::Int16, T::Int24In32}) && q.channels == 2 &&
                               rateIn(q, {44100, 48000, 96000, 192000}) && usualShape(q, stereo);
                    }),
        adversarial("4 channels refused, 2 and 6 taken", exact, mixOf(6, 48000, surround51),
                    [](const Query& q) {
                        return typeIn(q, {T::Int16, T::Int24In32}) &&
                               rateIn(q, {44100, 48000, 96000}) &&
                               ((q.channels == 2 && maskIn(q, {stereo})) ||
                                (q.channels == 6 && maskIn(q, {surround51})) ||
                                (q.channels == 8 && maskIn(q, {surround71})));
                    }),
        adversarial("Float only with mask 0", exact, mixOf(2, 48000, stereo),
                    [](const Query& q) {
                        const bool usual = (q.channels == 1 && usualShape(q, mono)) ||
                                           (q.channels == 2 && usualShape(q, stereo));
                        return q.channels <= 2 && rateIn(q, {44100, 48000}) &&
                               ((q.type == T::Int16 && usual) ||
                                (q.type == T::Float32 && maskIn(q, {0})));
                    }),
        adversarial("Plain header only, for 16 bits", exact, mixOf(2, 48000, stereo),
                    [](const Query& q) {
                        return oneOf(q.rate, hdAudioRates) &&
                               ((q.type == T::Int16 && q.channels <= 2 && !q.extensible) ||
                                (q.type == T::Int24In32 && q.channels == 2 && maskIn(q, {stereo})));
                    }),
        // Refused at the seed, 16 bits and float are found at 96 kHz.
        adversarial("Types anchored off the seed", exact, mixOf(2, 192000, stereo),
                    [](const Query& q) {
                        const bool shape = (q.channels == 2 && maskIn(q, {stereo})) ||
                                           (q.channels == 8 && maskIn(q, {surround71}));
                        return shape && oneOf(q.rate, hdAudioRates) &&
                               (q.type == T::Int24In32 ||
                                (q.type == T::Int16 && q.channels == 2 && q.rate <= 96000) ||
                                (q.type == T::Float32 && q.channels == 8));
                    }),
        // 16 bits, away from 96 kHz and the seed, is found at 48 kHz in stereo.
        adversarial("Types anchored one through another", exact, mixOf(2, 192000, stereo),
                    [](const Query& q) {
                        return q.channels == 2 && maskIn(q, {stereo}) &&
                               ((q.type == T::Int24In32 && rateIn(q, {96000, 192000})) ||
                                (q.type == T::Int32 && rateIn(q, {48000, 96000})) ||
                                (q.type == T::Int16 && rateIn(q, {44100, 48000})));
                    }),
        // 24 bits is found only through the seed's column, where 16 bits takes 5.1.
        adversarial("24 bits only in 5.1, at 44.1 kHz", exact, mixOf(2, 44100, stereo),
                    [](const Query& q) {
                        return q.rate == 44100 &&
                               ((q.channels == 2 && q.type == T::Int16 && usualShape(q, stereo)) ||
                                (q.channels == 6 && typeIn(q, {T::Int16, T::Int24In32}) &&
                                 maskIn(q, {surround51})));
                    }),
        adversarial("Takes nothing", exact, mixOf(2, 48000, stereo),
                    [](const Query&) { return false; }),
        // Neither a yes nor a no: as brute force, it could not be asked.
        CorpusDevice{"Fails every question", false, exact, mixOf(2, 48000, stereo),
                     [](const WAVEFORMATEX*) { return E_FAIL; }},
        // Layouts and counts that change with the rate.
        adversarial("Surround masks change above 48 kHz", exact, mixOf(2, 48000, stereo),
                    [](const Query& q) {
                        const bool high = q.rate > 48000;
                        return q.type == T::Int16 && oneOf(q.rate, hdAudioRates) &&
                               ((q.channels == 2 && maskIn(q, {stereo})) ||
                                (q.channels == 6 && (high ? maskIn(q, {surround51, surround51Side})
                                                          : maskIn(q, {surround51Side}))) ||
                                (q.channels == 8 &&
                                 maskIn(q, {high ? surround71Wide : surround71})));
                    }),
        adversarial("8 channels to 96 kHz, 2 to 192 kHz", exact, mixOf(8, 48000, surround71),
                    [](const Query& q) {
                        return q.type == T::Int24In32 && oneOf(q.rate, hdAudioRates) &&
                               ((q.channels == 2 && maskIn(q, {stereo})) ||
                                (q.channels == 8 && q.rate <= 96000 && maskIn(q, {surround71})));
                    }),
        adversarial("Bandwidth limit, mix at 192 kHz", exact, mixOf(2, 192000, stereo),
                    [](const Query& q) {
                        return q.type == T::Int32 && oneOf(q.rate, hdAudioRates) &&
                               q.channels % 2 == 0 && q.channels <= 8 &&
                               q.channels * q.rate <= 4 * 192000 &&
                               maskIn(q, {stereo, quad, surround51, surround71});
                    }),
        adversarial("Surround only at 48 kHz", exact, mixOf(2, 48000, stereo),
                    [](const Query& q) {
                        return q.type == T::Int16 && oneOf(q.rate, hdAudioRates) &&
                               ((q.channels == 2 && maskIn(q, {stereo})) ||
                                (q.channels == 6 && q.rate == 48000 && maskIn(q, {surround51})));
                    }),
        // Mono off every column, and a type sharing neither count nor rate.
        adversarial("Stereo, and mono at 8 kHz only", exact, mixOf(2, 48000, stereo),
                    [](const Query& q) {
                        return q.type == T::Int16 &&
                               ((q.channels == 2 && oneOf(q.rate, hdAudioRates) &&
                                 usualShape(q, stereo)) ||
                                (q.channels == 1 && q.rate == 8000 && usualShape(q, mono)));
                    }),
        adversarial("Float only at 8 channels, 96 kHz", exact, mixOf(2, 48000, stereo),
                    [](const Query& q) {
                        return (q.type == T::Int16 && q.channels == 2 &&
                                rateIn(q, {44100, 48000}) && usualShape(q, stereo)) ||
                               (q.type == T::Float32 && q.channels == 8 && q.rate == 96000 &&
                                maskIn(q, {surround71}));
                    }),
        // A type only high in the 44.1 kHz family, at no rate the other type
        // takes; a count beyond stereo at the bottom rate alone.
        adversarial("24 bits only at 88.2 and 176.4 kHz", exact, mixOf(2, 48000, stereo),
                    [](const Query& q) {
                        return q.channels == 2 && usualShape(q, stereo) &&
                               ((q.type == T::Int16 && rateIn(q, {44100, 48000})) ||
                                (q.type == T::Int24 && rateIn(q, {88200, 176400})));
                    }),
        adversarial("Surround only at 32 kHz", exact, mixOf(2, 48000, stereo),
                    [](const Query& q) {
                        return q.type == T::Int16 && rateIn(q, {32000, 44100, 48000}) &&
                               ((q.channels == 2 && usualShape(q, stereo)) ||
                                (q.channels == 6 && q.rate == 32000 && maskIn(q, {surround51})));
                    }),
    };
}

} // namespace

const std::vector<CorpusDevice>& exclusiveCorpus() {
    static const std::vector<CorpusDevice> corpus = buildCorpus();
    return corpus;
}

ProbeStart startOf(const CorpusDevice& device) {
    return probeStartOf(device.mixFormat.data(), device.mixFormat.size());
}

FormatQuestion questionTo(const CorpusDevice& device) {
    const simulated::ExclusiveProfile& profile = device.profile;
    return [&profile](const WAVEFORMATEX* format) { return formatAnswerOf(profile(format)); };
}
