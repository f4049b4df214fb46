#include "support/exclusive_corpus.h"

#include "platform/endpoint_answers.h"

#include <bitset>
#include <cstring>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <optional>

namespace {

using T = SampleType;

// What a driver reads from a format before deciding. Decoded here from the raw
// bytes, apart from the program's own reading, so that a fault in how the probe
// builds its formats shows as refusals.
struct Query {
    SampleType type;
    unsigned channels;
    DWORD rate;
    bool extensible;
    DWORD mask; // 0 for a plain header
};

constexpr WORD pcmTag = 1;
constexpr WORD floatTag = 3;
constexpr WORD extensibleTag = 0xFFFE;

// Bytes 4 to 15 of both subformats; bytes 0 to 3 are the tag, little-endian.
const unsigned char subformatTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                         0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71};

unsigned word(const unsigned char* b, std::size_t at) {
    return b[at] | b[at + 1] << 8;
}

DWORD dword(const unsigned char* b, std::size_t at) {
    return word(b, at) | static_cast<DWORD>(word(b, at + 2)) << 16;
}

void putWord(unsigned char* b, std::size_t at, unsigned value) {
    b[at] = static_cast<unsigned char>(value);
    b[at + 1] = static_cast<unsigned char>(value >> 8);
}

void putDword(unsigned char* b, std::size_t at, DWORD value) {
    putWord(b, at, value & 0xFFFF);
    putWord(b, at + 2, value >> 16);
}

std::optional<SampleType> typeOf(bool isFloat, unsigned container, unsigned valid) {
    const struct {
        SampleType type;
        bool isFloat;
        unsigned container, valid;
    } types[] = {
        {T::Uint8, false, 8, 8},       {T::Int16, false, 16, 16}, {T::Int24, false, 24, 24},
        {T::Int24In32, false, 32, 24}, {T::Int32, false, 32, 32}, {T::Float32, true, 32, 32},
        {T::Float64, true, 64, 64},
    };
    for (const auto& t : types)
        if (t.isFloat == isFloat && t.container == container && t.valid == valid)
            return t.type;
    return std::nullopt;
}

// Nothing for a malformed format, as a driver refuses one.
std::optional<Query> decode(const WAVEFORMATEX* format) {
    if (format == nullptr)
        return std::nullopt;
    const auto* b = reinterpret_cast<const unsigned char*>(format);
    const unsigned tag = word(b, 0), channels = word(b, 2), align = word(b, 12), bits = word(b, 14),
                   extra = word(b, 16);
    const DWORD rate = dword(b, 4), byteRate = dword(b, 8);
    if (channels == 0 || rate == 0 || bits == 0 || bits % 8 != 0 || align != channels * bits / 8 ||
        byteRate != rate * align)
        return std::nullopt;
    if (tag == pcmTag || tag == floatTag) {
        const std::optional<SampleType> type = typeOf(tag == floatTag, bits, bits);
        if (extra != 0 || !type)
            return std::nullopt;
        return Query{*type, channels, rate, false, 0};
    }
    if (tag != extensibleTag || extra != 22)
        return std::nullopt;
    const unsigned valid = word(b, 18);
    const DWORD mask = dword(b, 20);
    const DWORD subformat = dword(b, 24);
    if (valid == 0 || valid > bits || std::bitset<32>(mask).count() > channels ||
        (subformat != pcmTag && subformat != floatTag) ||
        std::memcmp(b + 28, subformatTail, sizeof subformatTail) != 0)
        return std::nullopt;
    const std::optional<SampleType> type = typeOf(subformat == floatTag, bits, valid);
    if (!type)
        return std::nullopt;
    return Query{*type, channels, rate, true, mask};
}

using Takes = std::function<bool(const Query&)>;

simulated::ExclusiveProfile profileOf(Takes takes) {
    return [takes](const WAVEFORMATEX* format) {
        const std::optional<Query> q = decode(format);
        return q && takes(*q) ? S_OK : AUDCLNT_E_UNSUPPORTED_FORMAT;
    };
}

// The shared-mode format as the service gives it: 32-bit float, extensible.
std::vector<unsigned char> mixOf(unsigned channels, DWORD rate, DWORD mask) {
    std::vector<unsigned char> b(40);
    putWord(b.data(), 0, extensibleTag);
    putWord(b.data(), 2, channels);
    putDword(b.data(), 4, rate);
    putDword(b.data(), 8, rate * channels * 4);
    putWord(b.data(), 12, channels * 4);
    putWord(b.data(), 14, 32);
    putWord(b.data(), 16, 22);
    putWord(b.data(), 18, 32);
    putDword(b.data(), 20, mask);
    putDword(b.data(), 24, floatTag);
    std::memcpy(b.data() + 28, subformatTail, sizeof subformatTail);
    return b;
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
    const PrunedOutcome exact = PrunedOutcome::Exact, misses = PrunedOutcome::Misses;
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
        // Refused at the seed, 16 bits is found on its row and float on its column.
        adversarial("Types anchored off the seed", exact, mixOf(2, 192000, stereo),
                    [](const Query& q) {
                        const bool shape = (q.channels == 2 && maskIn(q, {stereo})) ||
                                           (q.channels == 8 && maskIn(q, {surround71}));
                        return shape && oneOf(q.rate, hdAudioRates) &&
                               (q.type == T::Int24In32 ||
                                (q.type == T::Int16 && q.channels == 2 && q.rate <= 96000) ||
                                (q.type == T::Float32 && q.channels == 8));
                    }),
        // 32 bits is found through 24 in 32, and 16 bits only through 32 bits.
        adversarial("Types anchored one through another", exact, mixOf(2, 192000, stereo),
                    [](const Query& q) {
                        return q.channels == 2 && maskIn(q, {stereo}) &&
                               ((q.type == T::Int24In32 && rateIn(q, {96000, 192000})) ||
                                (q.type == T::Int32 && rateIn(q, {48000, 96000})) ||
                                (q.type == T::Int16 && rateIn(q, {44100, 48000})));
                    }),
        adversarial("Takes nothing", exact, mixOf(2, 48000, stereo),
                    [](const Query&) { return false; }),
        // Breaks the assumptions in ways the probe notices.
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
        // Breaks them where the probe does not look.
        adversarial("Stereo, and mono at 8 kHz only", misses, mixOf(2, 48000, stereo),
                    [](const Query& q) {
                        return q.type == T::Int16 &&
                               ((q.channels == 2 && oneOf(q.rate, hdAudioRates) &&
                                 usualShape(q, stereo)) ||
                                (q.channels == 1 && q.rate == 8000 && usualShape(q, mono)));
                    }),
        adversarial("Float only at 8 channels, 96 kHz", misses, mixOf(2, 48000, stereo),
                    [](const Query& q) {
                        return (q.type == T::Int16 && q.channels == 2 &&
                                rateIn(q, {44100, 48000}) && usualShape(q, stereo)) ||
                               (q.type == T::Float32 && q.channels == 8 && q.rate == 96000 &&
                                maskIn(q, {surround71}));
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
    return [&profile](const WAVEFORMATEX* format) { return endpointAnswerOf(profile(format)); };
}
