#include "fuzz_machine.h"

#include "catalogue/format_catalogue.h"
#include "exclusive/exclusive_probe.h"
#include "platform/endpoint_answers.h"
#include "support/expected_texts.h"
#include "support/format_bytes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <unordered_set>

namespace fuzz {

void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

void expect(bool holds, const std::string& what) {
    if (!holds)
        fail(what);
}

namespace {

// ---- The waveform and codec side ----

const MMRESULT failures[] = {MMSYSERR_ERROR,      MMSYSERR_BADDEVICEID, MMSYSERR_NOTENABLED,
                             MMSYSERR_ALLOCATED,  MMSYSERR_NODRIVER,    MMSYSERR_NOMEM,
                             MMSYSERR_INVALPARAM, ACMERR_NOTPOSSIBLE,   0xFFFFFFFFu};
const MMRESULT refusals[] = {WAVERR_BADFORMAT,   WAVERR_BADFORMAT,  MMSYSERR_NOERROR,
                             MMSYSERR_ALLOCATED, MMSYSERR_NODRIVER, MMSYSERR_BADDEVICEID};
const DWORD hugeSizes[] = {0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x10000000, 0x00100000, 1025};
const UINT oddCounts[] = {0, 0x7FFFFFFF, 0xFFFFFFFF, 0x80000000, 0xFFFFFFFE, 0x7FFFFFFE, 1000};

WORD cbSizeFrom(WORD raw) {
    // Mostly a few KB, so a run stays quick; now and then up to the limit.
    return raw >= 0xF000 ? raw : static_cast<WORD>(raw % 4097);
}

void readFormats(Input& in, simulated::Machine& m) {
    const unsigned count = in.byte() % 65;
    const DWORD offered[] = {ACM_FORMATENUMF_INPUT | ACM_FORMATENUMF_OUTPUT, ACM_FORMATENUMF_INPUT,
                             ACM_FORMATENUMF_OUTPUT, 0};
    for (unsigned i = 0; i < count; ++i) {
        const std::uint8_t kind = in.byte();
        simulated::CodecFormat f;
        f.offeredFor = offered[kind & 3];
        const unsigned source = (kind >> 2) & 3;
        if (source == 1 && !m.formats.empty()) {
            // the same header again, with other extra bytes
            f.header = m.formats[in.byte() % m.formats.size()].header;
            f.header.cbSize = cbSizeFrom(in.word());
        } else if (source == 2 && !m.formats.empty()) {
            // one field changed: a near duplicate, possibly equal in sort order
            f.header = m.formats[in.byte() % m.formats.size()].header;
            const std::uint8_t field = in.byte();
            const DWORD value = in.dword();
            switch (field % 6) {
            case 0:
                f.header.nAvgBytesPerSec = value;
                break;
            case 1:
                f.header.nBlockAlign = static_cast<WORD>(value);
                break;
            case 2:
                f.header.nSamplesPerSec = value;
                break;
            case 3:
                f.header.wBitsPerSample = static_cast<WORD>(value);
                break;
            case 4:
                f.header.nChannels = static_cast<WORD>(value);
                break;
            default:
                f.header.wFormatTag = static_cast<WORD>(value);
                break;
            }
        } else {
            f.header.wFormatTag = in.word();
            f.header.nChannels = in.word();
            f.header.nSamplesPerSec = in.dword();
            f.header.nAvgBytesPerSec = in.dword();
            f.header.nBlockAlign = in.word();
            f.header.wBitsPerSample = in.word();
            f.header.cbSize = cbSizeFrom(in.word());
        }
        m.formats.push_back(f);
    }
}

void readTags(Input& in, simulated::Machine& m) {
    const unsigned count = in.byte() % 17;
    for (unsigned i = 0; i < count; ++i) {
        const std::uint8_t kind = in.byte();
        simulated::FormatTag t;
        if ((kind & 4) != 0 && !m.formats.empty())
            t.tag = m.formats[in.byte() % m.formats.size()].header.wFormatTag;
        else
            t.tag = in.word();
        in.text(t.name);
        if ((kind & 3) == 3)
            t.detailsResult = in.pick(failures);
        m.tags.push_back(t);
    }
}

void readMetric(Input& in, simulated::Machine& m) {
    switch (in.byte() % 6) {
    case 1:
        m.metricsResult = in.pick(failures);
        break;
    case 2:
        m.largestFormatSize = in.byte(); // around the header's 18 bytes
        break;
    case 3:
        m.largestFormatSize = in.word();
        break;
    case 4:
        m.largestFormatSize = in.pick(hugeSizes);
        break;
    default:
        break; // the largest format offered
    }
}

void readFault(Input& in, simulated::EnumerationFault* fault) {
    const std::uint8_t code = in.byte();
    if ((code & 1) == 0)
        return;
    fault->result = failures[(code >> 1) % std::size(failures)];
    fault->delivered = in.byte() % 80;
}

void readDevices(Input& in, const simulated::Machine& m, std::vector<simulated::Device>* devices,
                 std::optional<UINT>* reported) {
    const unsigned count = in.byte() % 9;
    for (unsigned i = 0; i < count; ++i) {
        simulated::Device d;
        const std::uint8_t kind = in.byte();
        if ((kind & 3) == 3)
            d.capsResult = in.pick(failures);
        d.wMid = in.word();
        d.dwFormats = in.dword();
        in.text(d.szPname);
        d.refusal = in.pick(refusals);
        const unsigned accepted = in.byte() % 9;
        for (unsigned a = 0; a < accepted; ++a) {
            const std::uint8_t how = in.byte();
            FormatHeader h{};
            if ((how & 1) == 0 && !m.formats.empty()) {
                h = m.formats[in.byte() % m.formats.size()].header;
                if ((how & 2) == 0)
                    h.cbSize = 0; // as the catalogue keeps it
            } else {
                h.wFormatTag = in.word();
                h.nChannels = in.word();
                h.nSamplesPerSec = in.dword();
                h.nAvgBytesPerSec = in.dword();
                h.nBlockAlign = in.word();
                h.wBitsPerSample = in.word();
                h.cbSize = in.word();
            }
            d.accepts.push_back(h);
        }
        devices->push_back(d);
    }
    switch (in.byte() % 5) {
    case 1: // a few more or fewer than there are
        *reported = static_cast<UINT>(devices->size() + static_cast<std::int8_t>(in.byte()));
        break;
    case 2:
        *reported = in.dword();
        break;
    case 3:
        *reported = in.pick(oddCounts);
        break;
    default:
        break; // the number of devices
    }
}

// ---- Format bytes, read and written apart from the program ----

using namespace format_bytes;

// What an exclusive-mode question asks, read as a driver reads it. Any mask is
// read as given.
std::optional<Claim> decodeQuestion(const WAVEFORMATEX* format) {
    const std::optional<DriverReading> r = readAsDriver(format);
    if (!r)
        return std::nullopt;
    return Claim{r->type, r->channels, r->rate, r->extensible, r->mask};
}

std::optional<std::size_t> rateIndex(DWORD rate) {
    const auto at = std::find(std::begin(matrixRates), std::end(matrixRates), rate);
    if (at == std::end(matrixRates))
        return std::nullopt;
    return static_cast<std::size_t>(at - std::begin(matrixRates));
}

// ---- UTF-16 text from the input ----

// Characters that trip up escaping, line handling and code page conversion.
const char16_t specials[] = {
    u'"',   u'\\',  u'/',   u'\t',  u'\n',  u'\r',  0x0001, 0x001F, 0x007F, 0x0080, 0x0081,
    0x0085, 0x009F, 0x00A0, 0x00FF, 0x0100, 0x2028, 0x2029, 0xFEFF, 0xFFFD, 0xFFFE, 0xFFFF,
    0x20AC, 0x2122, u'?',   u'{',   u'}',   u'.',   0x0008, 0x000C, 0x001B, u' ',
};

// The characters Windows-1252 puts at 0x80 to 0x9F, 0 where it has none.
const char16_t windows1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// Never a NUL: a property's string ends at its first one.
std::u16string readText(Input& in) {
    const std::uint8_t lengthByte = in.byte();
    const std::size_t length = lengthByte >= 0xF0 ? 100 + in.word() % 1000 : lengthByte % 48;
    std::u16string text;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t b = in.byte();
        if (b < 0x60) {
            text += static_cast<char16_t>(0x20 + b); // printable ASCII, and DEL
        } else if (b < 0x80) {
            text += specials[b - 0x60];
        } else if (b < 0xA0) {
            text += static_cast<char16_t>(0x80 + in.byte()); // Latin-1 and a little past
        } else if (b < 0xC0) {
            char16_t c = 0;
            for (std::size_t k = b % 32; c == 0; k = (k + 1) % 32)
                c = windows1252[k];
            text += c;
        } else if (b < 0xE0) {
            text += static_cast<char16_t>(0x4E00 + in.word() % 0x5200); // CJK
        } else if (b < 0xF0) {
            const std::uint32_t c = 0x10000 + ((std::uint32_t(b & 0xF) << 16) | in.word());
            text += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            text += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else if (b < 0xF8) {
            text += static_cast<char16_t>(0xD800 + in.word() % 0x800); // a lone surrogate
        } else {
            const char16_t c = in.word();
            text += c == 0 ? char16_t(0xFFFF) : c;
        }
    }
    return text;
}

// ---- The endpoint side ----

const HRESULT comFailures[] = {E_OUTOFMEMORY, E_FAIL, E_INVALIDARG, E_UNEXPECTED,
                               CO_E_NOTINITIALIZED};
const HRESULT serviceFailures[] = {REGDB_E_CLASSNOTREG,
                                   E_NOINTERFACE,
                                   E_OUTOFMEMORY,
                                   CO_E_NOTINITIALIZED,
                                   E_FAIL,
                                   E_NOTFOUND,
                                   DISP_E_TYPEMISMATCH,
                                   AUDCLNT_E_SERVICE_NOT_RUNNING,
                                   E_ACCESSDENIED};
const HRESULT clientFailures[] = {AUDCLNT_E_DEVICE_INVALIDATED,
                                  AUDCLNT_E_DEVICE_IN_USE,
                                  AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED,
                                  AUDCLNT_E_RESOURCES_INVALIDATED,
                                  AUDCLNT_E_CPUUSAGE_EXCEEDED,
                                  AUDCLNT_E_NOT_INITIALIZED,
                                  AUDCLNT_E_WRONG_ENDPOINT_TYPE,
                                  AUDCLNT_E_ENDPOINT_CREATE_FAILED,
                                  AUDCLNT_E_SERVICE_NOT_RUNNING,
                                  E_NOTFOUND,
                                  E_OUTOFMEMORY,
                                  E_NOINTERFACE,
                                  E_FAIL,
                                  E_ACCESSDENIED,
                                  S_FALSE};
const HRESULT formatRefusals[] = {AUDCLNT_E_UNSUPPORTED_FORMAT,
                                  AUDCLNT_E_UNSUPPORTED_FORMAT,
                                  AUDCLNT_E_UNSUPPORTED_FORMAT,
                                  S_FALSE,
                                  E_INVALIDARG,
                                  E_FAIL,
                                  AUDCLNT_E_ENDPOINT_CREATE_FAILED,
                                  E_NOTFOUND};
const HRESULT stopAnswers[] = {AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED,
                               AUDCLNT_E_DEVICE_IN_USE,
                               AUDCLNT_E_DEVICE_INVALIDATED,
                               AUDCLNT_E_RESOURCES_INVALIDATED,
                               AUDCLNT_E_CPUUSAGE_EXCEEDED,
                               E_OUTOFMEMORY,
                               E_INVALIDARG,
                               E_ACCESSDENIED,
                               E_NOTFOUND};
const MMRESULT idFailures[] = {MMSYSERR_INVALPARAM, MMSYSERR_NODRIVER, MMSYSERR_BADDEVICEID,
                               MMSYSERR_NOMEM,      MMSYSERR_ERROR,    MMSYSERR_NOTENABLED};

// Some code from the list, now and then any value at all.
template <std::size_t N> HRESULT someCode(Input& in, const HRESULT (&codes)[N]) {
    const std::uint8_t b = in.byte();
    return b % (N + 1) == N ? static_cast<HRESULT>(in.dword()) : codes[b % (N + 1)];
}

HRESULT readServiceResult(Input& in) {
    return (in.byte() & 1) == 0 ? S_OK : someCode(in, serviceFailures);
}

template <class T> void readPropertyResult(Input& in, simulated::Property<T>* property) {
    switch (in.byte() % 8) {
    case 1:
        property->result = E_NOTFOUND;
        break;
    case 2:
        property->result = DISP_E_TYPEMISMATCH;
        break;
    case 3:
        property->result = someCode(in, serviceFailures);
        break;
    default:
        property->result = S_OK;
        break;
    }
}

// The mix format's bytes, sound or not. A mix of more than 8 channels widens
// the probe's matrix up to 32 counts, four times the questions; `wide` counts
// down how many more may have one.
std::vector<unsigned char> readMix(Input& in, unsigned& wide) {
    const std::uint8_t kind = in.byte();
    const unsigned oddCounts[] = {0, 9, 12, 18, 19, 24, 32, 33, 200, 0xFFFF};
    unsigned channels = in.byte() % 9;
    if (kind % 8 == 6)
        channels = in.pick(oddCounts);
    const std::uint8_t rateByte = in.byte();
    const DWORD rate = rateByte < 0xF0 ? matrixRates[rateByte % matrixRateCount] : in.dword();
    const std::uint8_t maskByte = in.byte();
    const DWORD mask = maskByte == 0 ? usualMask(channels) : maskByte == 1 ? 0 : in.dword();
    SampleType type = SampleType::Float32;
    if (kind % 8 == 1 || kind % 8 == 2)
        type = static_cast<SampleType>(in.byte() % sampleTypeCount);
    const TypeBits& t = bitsOf(type);
    std::vector<unsigned char> b = extensibleBytes(type, channels, rate, mask);
    switch (kind % 8) {
    case 2: // the plain header
        putWord(b.data(), 0, t.isFloat ? floatTag : pcmTag);
        putWord(b.data(), 16, 0);
        b.resize(sizeof(WAVEFORMATEX) + in.byte() % 3);
        break;
    case 3: // cut short
        b.resize(in.byte() % extensibleSize);
        break;
    case 4: // cbSize says other than the bytes there are
        putWord(b.data(), 16, in.word());
        b.resize(sizeof(WAVEFORMATEX) + in.byte() % 23);
        break;
    case 5: // a subformat nobody knows
        for (std::size_t i = 24; i < extensibleSize; ++i)
            b[i] = (i & 1) != 0 ? in.byte() : b[i];
        break;
    case 7: // anything
        b.resize(in.byte() % 64);
        for (unsigned char& byte : b)
            byte = in.byte();
        break;
    default:
        break;
    }
    if (b.size() >= 4 && getWord(b.data(), 2) > 8) {
        if (wide == 0)
            putWord(b.data(), 2, getWord(b.data(), 2) % 9);
        else
            --wide;
    }
    return b;
}

// An endpoint's exclusive-mode answers: a pure function of the format, and on
// top of it an answer that ends everything after so many questions. Every
// answer given is logged.
struct Profile {
    enum Kind { Product, PerType, Excepted, Hashed, Anything } kind = Product;
    // Product: types x counts x rates with a shape rule, for every type alike,
    // or per type; Excepted: a product with a few cells turned over.
    std::uint8_t types = 0;
    std::uint32_t counts[sampleTypeCount] = {}; // bit c-1 for c channels
    std::uint32_t rates[sampleTypeCount] = {};  // bit i for matrixRates[i]
    std::uint8_t shapes = 0; // 1 usual mask, 2 other masks, 4 mask 0, 8 plain; 0: any
    std::vector<std::array<unsigned, 3>> turned; // type, channels, rate index
    std::uint32_t seed = 0;
    std::uint8_t threshold = 0;
    HRESULT refusal = AUDCLNT_E_UNSUPPORTED_FORMAT;
    std::optional<unsigned long> stopAfter;
    HRESULT stopAnswer = S_OK;

    // Logged, per run.
    ClaimSet taken;
    std::unordered_set<std::string> asked;
    bool askedTwice = false;
    unsigned long questions = 0;
    std::optional<EndpointAnswer> firstStop;
    unsigned long afterStop = 0;
    bool heard = false; // some question had a yes or a no before any stop

    bool inProduct(const Claim& q) const {
        const auto t = static_cast<std::size_t>(q.sample);
        const std::optional<std::size_t> r = rateIndex(q.rate);
        if ((types >> t & 1) == 0 || q.channels < 1 || q.channels > 32 || !r ||
            (counts[t] >> (q.channels - 1) & 1) == 0 || (rates[t] >> *r & 1) == 0)
            return false;
        unsigned shape = 8;
        if (q.extensible)
            shape = q.channelMask == 0 ? 4 : q.channelMask == usualMask(q.channels) ? 1 : 2;
        return shapes == 0 || (shapes & shape) != 0;
    }
    bool takes(const Claim& q) const {
        if (kind == Hashed) {
            std::uint32_t h = seed ^ 2166136261u;
            for (std::uint32_t v : {std::uint32_t(q.sample), std::uint32_t(q.channels), q.rate,
                                    std::uint32_t(q.extensible), q.channelMask})
                h = (h ^ v) * 16777619u;
            return (h >> 24) < threshold;
        }
        bool in = inProduct(q);
        if (kind == Excepted) {
            const std::optional<std::size_t> r = rateIndex(q.rate);
            for (const auto& cell : turned)
                if (r && cell[0] == static_cast<unsigned>(q.sample) && cell[1] == q.channels &&
                    cell[2] == *r)
                    in = !in;
        }
        return in;
    }
    HRESULT pure(const WAVEFORMATEX* format) const {
        if (kind == Anything)
            return S_OK;
        const std::optional<Claim> q = decodeQuestion(format);
        return q && takes(*q) ? S_OK : refusal;
    }
    // The device keeps the probe's assumptions: its answer is brute force's.
    bool keepsAssumptions() const { return kind == Product || kind == Anything; }

    // Opening a stream: what it takes opens, but for the cells `openSeed`
    // picks, which answer `openFailure`; or "in use" (Wine's, with the event
    // callback), or "not allowed", whatever is asked.
    std::uint8_t openKind = 0; // 2 and 7 in use with events, 3 in use, 4 not allowed
    std::uint8_t openSeed = 0;
    HRESULT openFailure = S_OK;
    HRESULT open(const WAVEFORMATEX* format, bool events) const {
        const std::optional<Claim> q = decodeQuestion(format);
        if (openKind == 3 || ((openKind == 2 || openKind == 7) && events))
            return AUDCLNT_E_DEVICE_IN_USE;
        if (openKind == 4)
            return AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED;
        const bool fails = openSeed != 0 && q && (ClaimHash()(*q) ^ openSeed) % 4 == 0;
        return fails && pure(format) == S_OK ? openFailure : pure(format);
    }

    HRESULT answer(const WAVEFORMATEX* format) {
        ++questions;
        const HRESULT a = stopAfter && questions > *stopAfter ? stopAnswer : pure(format);
        const EndpointAnswer sorted = formatAnswerOf(a);
        if (!firstStop && (sorted == EndpointAnswer::Ok || sorted == EndpointAnswer::Refused))
            heard = true;
        if (firstStop)
            ++afterStop;
        else if (sorted == EndpointAnswer::NotAllowed || sorted == EndpointAnswer::Busy ||
                 sorted == EndpointAnswer::Gone || sorted == EndpointAnswer::NotFound ||
                 sorted == EndpointAnswer::NoMemory || sorted == EndpointAnswer::AccessDenied)
            firstStop = sorted;
        const auto* bytes = reinterpret_cast<const char*>(format);
        if (!asked.insert(std::string(bytes, sizeof *format + format->cbSize)).second)
            askedTwice = true;
        if (sorted == EndpointAnswer::Ok)
            if (const std::optional<Claim> q = decodeQuestion(format))
                taken.insert(*q);
        return a;
    }
};

// Per endpoint of the machine read last; the endpoints' profiles point here.
std::vector<std::shared_ptr<Profile>> profiles;

std::uint32_t readRates(Input& in) {
    const std::uint32_t low = in.word();
    return (low | std::uint32_t(in.byte()) << 16) & ((1u << matrixRateCount) - 1);
}

void readProfile(Input& in, simulated::Endpoint& e, std::size_t index) {
    const std::uint8_t kind = in.byte();
    if (kind % 8 == 0)
        return; // left unset: every format is refused
    auto p = std::make_shared<Profile>();
    switch (kind % 8) {
    case 3:
        p->kind = Profile::PerType;
        break;
    case 4:
        p->kind = Profile::Excepted;
        break;
    case 5:
        p->kind = Profile::Hashed;
        break;
    case 6:
        p->kind = Profile::Product; // everything sound
        p->types = 0x7F;
        std::fill(std::begin(p->counts), std::end(p->counts), 0xFFFFFFFFu);
        std::fill(std::begin(p->rates), std::end(p->rates), (1u << matrixRateCount) - 1);
        break;
    case 7:
        p->kind = Profile::Anything; // even what is not sound
        break;
    default:
        p->kind = Profile::Product;
        break;
    }
    if (p->kind == Profile::Hashed) {
        p->seed = in.dword();
        p->threshold = in.byte();
    } else if (kind % 8 < 6) {
        p->types = in.byte() & 0x7F;
        p->counts[0] = in.dword();
        p->rates[0] = readRates(in);
        p->shapes = in.byte() & 0xF;
        for (std::size_t t = 1; t < sampleTypeCount; ++t) {
            p->counts[t] = p->counts[0];
            p->rates[t] = p->rates[0];
        }
        if (p->kind == Profile::PerType)
            for (std::size_t t = 0; t < sampleTypeCount; ++t)
                if ((p->types >> t & 1) != 0) {
                    p->counts[t] = in.dword();
                    p->rates[t] = readRates(in);
                }
        if (p->kind == Profile::Excepted)
            for (unsigned n = in.byte() % 5; n > 0; --n) {
                const unsigned type = in.byte() % sampleTypeCount;
                const unsigned channels = 1 + in.byte() % 32;
                p->turned.push_back({type, channels, unsigned(in.byte() % matrixRateCount)});
            }
    }
    p->refusal = someCode(in, formatRefusals);
    if ((in.byte() & 1) != 0) {
        p->stopAfter = in.word() % 4096;
        p->stopAnswer = someCode(in, stopAnswers);
    }
    profiles[index] = p;
    e.exclusive = [p](const WAVEFORMATEX* format) { return p->answer(format); };
}

// Per endpoint a byte: % 8 the profile's open kind, and besides 1 and 7 some
// cells that fail (a seed and a code), 5 an aligned buffer, 6 an open that hangs.
void readOpenAnswers(Input& in, simulated::Machine& m) {
    const HRESULT failures[] = {AUDCLNT_E_ENDPOINT_CREATE_FAILED, AUDCLNT_E_BUFFER_SIZE_ERROR,
                                AUDCLNT_E_INVALID_DEVICE_PERIOD, AUDCLNT_E_DEVICE_INVALIDATED};
    for (std::size_t i = 0; i < m.endpoints.endpoints.size() && i < profiles.size(); ++i) {
        simulated::Endpoint& e = m.endpoints.endpoints[i];
        const std::shared_ptr<Profile> p = profiles[i];
        const std::uint8_t kind = in.byte() % 8;
        if (p == nullptr)
            continue; // refuses everything: nothing is listed, nothing opened
        p->openKind = kind;
        if (kind == 1 || kind == 7) {
            p->openSeed = static_cast<std::uint8_t>(in.byte() | 1);
            p->openFailure = someCode(in, failures);
        }
        if (kind == 5)
            e.alignedFrames = 1 + in.byte() * 7u;
        if (kind == 6)
            e.hangsAtOpen = 1 + in.byte() % 8;
        e.opening = [p](const WAVEFORMATEX* f, bool events, std::int64_t) {
            return p->open(f, events);
        };
    }
}

std::u16string madeUpId(DeviceDirection direction, std::size_t index, std::uint8_t salt) {
    static const char16_t hex[] = u"0123456789abcdef";
    std::u16string id = direction == 'I' ? u"{0.0.1.00000000}.{" : u"{0.0.0.00000000}.{";
    for (unsigned value : {unsigned(index), unsigned(salt)}) {
        id += hex[value >> 4 & 0xF];
        id += hex[value & 0xF];
    }
    return id + u"}";
}

void readWaveMachine(Input& in, simulated::Machine& m) {
    readFormats(in, m);
    readTags(in, m);
    readMetric(in, m);
    readFault(in, &m.inputEnumeration);
    readFault(in, &m.outputEnumeration);
    readDevices(in, m, &m.inputs, &m.inputCount);
    readDevices(in, m, &m.outputs, &m.outputCount);
}

HRESULT readReadingResult(Input& in) {
    const HRESULT results[] = {S_OK,      E_NOTFOUND,    DISP_E_TYPEMISMATCH,
                               E_NOTIMPL, E_NOINTERFACE, E_ACCESSDENIED,
                               S_OK,      E_OUTOFMEMORY};
    const std::uint8_t b = in.byte();
    return b % 8 == 6 ? someCode(in, serviceFailures) : results[b % 8];
}

// A byte, signed, times `step`; or from 0xF0 any bits of T, little-endian.
template <class T> T readValue(Input& in, double step) {
    const std::uint8_t b = in.byte();
    T value = static_cast<T>(static_cast<std::int8_t>(b) * step);
    for (std::size_t i = 0; b >= 0xF0 && i < sizeof value; ++i)
        reinterpret_cast<std::uint8_t*>(&value)[i] = in.byte();
    return value;
}

MemoryFault readMemoryFault(Input& in) {
    MemoryFault fault;
    const std::uint8_t memory = in.byte();
    fault.fails = (memory & 1) != 0;
    if (fault.fails) {
        fault.allocation = 1 + in.word() % 1024;
        fault.persistent = (memory & 2) != 0;
    }
    return fault;
}

void readEndpoints(Input& in, simulated::Machine& m) {
    simulated::EndpointSystem& system = m.endpoints;
    switch (in.byte() % 8) {
    case 1:
        system.comResult = S_FALSE; // already set up in this mode
        break;
    case 2:
        system.comResult = RPC_E_CHANGED_MODE;
        break;
    case 3:
        system.comResult = someCode(in, comFailures);
        break;
    default:
        break;
    }
    system.enumeratorResult = readServiceResult(in);
    system.listResult = readServiceResult(in);
    system.defaultResult = readServiceResult(in);

    const std::size_t count = in.byte() % 9;
    profiles.assign(count, nullptr);
    unsigned wide = 2; // endpoints whose mix may have more than 8 channels
    for (std::size_t i = 0; i < count; ++i) {
        simulated::Endpoint e;
        const std::uint8_t kind = in.byte();
        e.direction = (kind & 4) != 0 ? 'I' : 'O';
        e.state = (kind & 8) == 0 ? endpointActive : endpointDisabled; // the conditions may say
        switch (kind & 3) {
        case 2:
            e.id = readText(in);
            break;
        case 3:
            if (i > 0) {
                e.id = system.endpoints[in.byte() % i].id;
                break;
            }
            [[fallthrough]];
        default:
            e.id = madeUpId(e.direction, i, in.byte());
            break;
        }
        if ((kind & 0x10) != 0)
            e.openResult = someCode(in, serviceFailures);
        if ((kind & 0x20) != 0)
            e.propertyStoreResult = someCode(in, serviceFailures);
        if ((kind & 0x40) != 0)
            e.activateResult = someCode(in, clientFailures);
        if ((kind & 0x80) != 0)
            e.mixResult = someCode(in, clientFailures);
        readPropertyResult(in, &e.friendlyName);
        if (SUCCEEDED(e.friendlyName.result))
            e.friendlyName.value = readText(in);
        readPropertyResult(in, &e.adapterName);
        if (SUCCEEDED(e.adapterName.result))
            e.adapterName.value = readText(in);
        readPropertyResult(in, &e.formFactor);
        const std::uint8_t formFactor = in.byte();
        e.formFactor.value = formFactor < 0xF0 ? formFactor % 12 : in.dword();
        e.mixFormat = readMix(in, wide);
        readProfile(in, e, i);
        system.endpoints.push_back(e);
    }

    for (auto& roles : system.defaults)
        for (std::u16string& id : roles) {
            const std::uint8_t b = in.byte();
            if (b == 0xFF)
                id = u"{0.0.0.00000000}.{no-such-endpoint}";
            else if (b != 0 && count > 0)
                id = system.endpoints[(b - 1) % count].id;
        }

    for (std::vector<simulated::Device>* devices : {&m.inputs, &m.outputs}) {
        const DeviceDirection direction = devices == &m.inputs ? 'I' : 'O';
        for (simulated::Device& d : *devices) {
            const std::uint8_t b = in.byte();
            if (b % 4 == 0)
                continue; // the driver does not know the message
            if (b % 4 == 2) {
                d.endpointIdResult = in.pick(idFailures);
                continue;
            }
            d.endpointIdResult = MMSYSERR_NOERROR;
            const std::uint8_t which = in.byte();
            if (which % 8 == 5) {
                d.endpointId = u"{0.0.0.00000000}.{unknown}";
            } else if (which % 8 == 6 || count == 0) {
                d.endpointId.clear();
            } else {
                // Mostly an endpoint of the device's own direction.
                std::vector<std::size_t> candidates;
                for (std::size_t i = 0; i < count; ++i)
                    if (which % 8 == 7 || system.endpoints[i].direction == direction)
                        candidates.push_back(i);
                const std::size_t n = in.byte();
                d.endpointId = candidates.empty()
                                   ? system.endpoints[n % count].id
                                   : system.endpoints[candidates[n % candidates.size()]].id;
            }
        }
    }
}

// ---- The hardware behind the endpoints ----

const std::uint32_t configFailures[] = {CR_NO_SUCH_VALUE, CR_OUT_OF_MEMORY, CR_FAILURE,
                                        CR_NO_SUCH_DEVNODE};
const std::uint32_t win32Failures[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,
                                       ERROR_RESOURCE_TYPE_NOT_FOUND, ERROR_INVALID_FUNCTION};

// Had, of another type, or a failure; the value when had.
template <class T, class Value>
void readDevnodeProperty(Input& in, simulated::DevnodeProperty<T>* p, Value value) {
    const std::uint8_t b = in.byte();
    p->result = b % 8 < 4 ? CR_SUCCESS : configFailures[b % 4];
    p->otherType = b % 8 == 3;
    if (p->result == CR_SUCCESS)
        p->value = value();
}

// A service's or a class id's file: none, not to be had, or with a version
// resource that is whole, cut short, without its signature or not to be read.
void readFile(Input& in, simulated::Hardware& h,
              std::map<std::u16string, simulated::Win32Answer<std::u16string>>& paths,
              const std::u16string& key) {
    const std::uint8_t b = in.byte();
    if (b % 4 == 0)
        return;
    const std::u16string path = readText(in);
    paths[key] = {b % 4 == 1 ? in.pick(win32Failures) : ERROR_SUCCESS, path};
    std::vector<unsigned char> info((b & 4) != 0 ? in.byte() % 52 : 52);
    for (std::size_t i = 0; i < info.size(); ++i)
        info[i] =
            i < 4 && (b & 8) == 0 ? static_cast<unsigned char>(0xFEEF04BDu >> (8 * i)) : in.byte();
    h.fixedVersions[path] = {b % 4 == 2 ? in.pick(win32Failures) : ERROR_SUCCESS, info};
}

void readDevnodes(Input& in, simulated::Hardware& h) {
    const char16_t* const buses[] = {
        u"USB\\VID_046D&PID_0A44&MI_00\\7", u"HDAUDIO\\FUNC_01&VEN_10EC&DEV_0256\\4",
        u"PCI\\VEN_8086&DEV_A0C8\\3",       u"BTHENUM\\{0000110B-0000-1000-8000-00805F9B34FB}_X\\8",
        u"BTHHFENUM\\BthHFPAudio\\8",       u"ROOT\\MEDIA\\0000"};
    for (std::size_t n = in.byte() % 6; n > 0; --n) {
        simulated::Devnode d;
        const std::uint8_t kind = in.byte(); // the bus or text, located, present, in lower case
        d.instanceId = kind % 8 < 6 ? buses[kind % 8] : u"TEXT\\" + readText(in);
        for (char16_t& c : d.instanceId)
            c = (kind & 0x20) != 0 && c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
        d.locateResult = (kind & 8) != 0 ? in.pick(configFailures) : CR_SUCCESS;
        d.present = (kind & 0x10) == 0;
        for (simulated::DevnodeProperty<std::u16string>& text : d.texts)
            readDevnodeProperty(in, &text, [&] { return readText(in); });
        readDevnodeProperty(in, &d.hardwareIds, [&] {
            std::vector<std::u16string> ids(in.byte() % 3);
            for (std::u16string& id : ids)
                id = readText(in);
            return ids;
        });
        readDevnodeProperty(in, &d.driverDate, [&] { return std::uint64_t{in.dword()} << 30; });
        readDevnodeProperty(in, &d.problem, [&] { return std::uint32_t(in.byte() % 60); });
        if (d.texts[3].result == CR_SUCCESS)
            readFile(in, h, h.serviceImages, d.texts[3].value);
        h.devnodes.push_back(d);
    }
}

// An endpoint's adapter (none, a devnode's, an empty or unknown id, a failure),
// effects (a failure, or each a slot and a class id with or without its file)
// and container (none, one shared, one given as text, a failure).
void readEndpointHardware(Input& in, simulated::Hardware& h, simulated::EndpointHardware& e) {
    const char16_t* const containers[] = {
        u"{5F3C9A10-4B2D-4E8F-9A61-2C7D0B3E4F51}", u"{5f3c9a10-4b2d-4e8f-9a61-2c7d0b3e4f51}",
        u"{00000000-0000-0000-FFFF-FFFFFFFFFFFF}", u"{00000000-0000-0000-0000-000000000000}"};
    const std::uint8_t b = in.byte();
    if (b % 4 == 1 && !h.devnodes.empty())
        e.adapterInstance = {S_OK, h.devnodes[in.byte() % h.devnodes.size()].instanceId};
    else if (b % 4 == 2)
        e.adapterInstance = {S_OK, (b & 4) != 0 ? u"" : u"USB\\VID_FFFF\\NO-SUCH"};
    else if (b % 4 == 3)
        e.adapterInstance.result = someCode(in, serviceFailures);
    if ((b & 8) != 0)
        e.effects.result = someCode(in, serviceFailures);
    for (std::size_t n = (b & 8) != 0 ? 0 : b >> 4 & 3; n > 0; --n) {
        const std::uint8_t kind = in.byte();
        const std::u16string id = kind % 4 == 0   ? u""
                                  : kind % 4 == 1 ? readText(in)
                                                  : containers[kind % 3];
        e.effects.value.push_back({static_cast<EffectSlot>(kind / 4 % effectSlotCount), id});
        if (kind % 4 > 1)
            readFile(in, h, h.classServers, id);
    }
    const std::uint8_t container = in.byte();
    if (container % 4 == 1)
        e.containerId = {S_OK, containers[in.byte() % 4]};
    else if (container % 4 == 2)
        e.containerId = {S_OK, readText(in)};
    else if (container % 4 == 3)
        e.containerId.result = someCode(in, serviceFailures);
}

void readHardware(Input& in, simulated::Machine& m) {
    simulated::Hardware& h = m.hardware;
    if ((in.byte() & 1) != 0)
        h.containersResult = someCode(in, serviceFailures);
    readDevnodes(in, h);
    for (simulated::Endpoint& e : m.endpoints.endpoints)
        readEndpointHardware(in, h, e.hardware);
}

} // namespace

MemoryFault readMachine(Input& in, simulated::Machine& m) {
    readWaveMachine(in, m);
    const MemoryFault memory = readMemoryFault(in);
    readEndpoints(in, m);
    return memory;
}

std::optional<Hang> readEndpointConditions(Input& in, simulated::Machine& m) {
    std::vector<simulated::Endpoint>& endpoints = m.endpoints.endpoints;
    unsigned wide = ~0u; // a panel format is asked nothing: any channel count is as quick
    for (simulated::Endpoint& e : endpoints) {
        const std::uint8_t flags = in.byte();
        if (e.state != endpointActive) // disabled, not present, unplugged or any
            e.state = (flags & 3) == 3 ? in.dword() : endpointDisabled << (flags & 3);
        if ((flags & 4) != 0)
            e.stateResult = someCode(in, serviceFailures);
        for (char16_t& c : e.id)
            if ((flags & 8) != 0 && ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')))
                c ^= 0x20;
        if ((flags & 0x10) != 0)
            e.systemEffectsOff = {readReadingResult(in), readValue<std::int32_t>(in, 1) != 0};
        if ((flags & 0x20) != 0)
            e.deviceFormat = {readReadingResult(in), readMix(in, wide)};
        if ((flags & 0x40) != 0) {
            e.devicePeriods = {
                readReadingResult(in),
                {readValue<std::int64_t>(in, 2500), readValue<std::int64_t>(in, 2500)}};
            e.enginePeriods = {readReadingResult(in),
                               {in.dword(), in.dword(), in.dword(), in.dword()}};
            e.volume.result = readReadingResult(in); // levels in dB, the scalar past 1 too
            e.volume.value = {readValue<float>(in, -0.625), readValue<float>(in, 0.005),
                              (in.byte() & 1) != 0,         readValue<float>(in, -0.625),
                              readValue<float>(in, 0.125),  readValue<float>(in, 0.125)};
        }
        if ((flags & 0x80) != 0)
            e.sessionsResult = readReadingResult(in);
        e.sessions.resize((flags & 0x80) != 0 ? in.byte() % 5 : 0);
        for (simulated::Session& s : e.sessions) {
            const std::uint8_t session = in.byte();
            if ((session & 1) != 0)
                s.processIdResult = someCode(in, serviceFailures);
            s.systemSounds = (session & 2) != 0;
            s.state = (session >> 2 & 3) == 3 ? in.dword() : session >> 2 & 3;
            const std::uint8_t pid = in.byte();
            s.processId = pid == 0xFF ? in.dword() : pid;
            if ((session & 0x10) != 0) // a process that opens; the first image given stays
                m.endpoints.processes.emplace(
                    s.processId,
                    ((session & 0x20) != 0 ? u"C:\\Program Files\\" : u"") + readText(in));
        }
    }
    std::optional<Hang> hang;
    if (in.byte() % 32 == 31 && !endpoints.empty()) {
        const std::size_t endpoint = in.byte() % endpoints.size();
        const std::uint8_t call = in.byte(); // from 0xF0 deep in the probe
        hang = Hang{endpoint, call < 0xF0 ? 1ul + call % 16 : 17ul + in.word() % 2048};
    }
    readHardware(in, m);
    readOpenAnswers(in, m);
    return hang;
}

namespace {

// Keys the watch names and reads again, and one it cannot name.
const NoticeKey noticeKeys[] = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}, 14},
    {0x026e516e, 0xb814, 0x414b, {0x83, 0xcd, 0x85, 0x6d, 0x6f, 0xef, 0x48, 0x22}, 2},
    {0x1da5d803, 0xd492, 0x4edd, {0x8c, 0x23, 0xe0, 0xc0, 0xff, 0xee, 0x7f, 0x0e}, 0},
    {0x1da5d803, 0xd492, 0x4edd, {0x8c, 0x23, 0xe0, 0xc0, 0xff, 0xee, 0x7f, 0x0e}, 5},
    {0xf19f064d, 0x082c, 0x4e27, {0xbc, 0x73, 0x68, 0x82, 0xa1, 0xbb, 0x8e, 0x4c}, 0},
    {0xe4870e26, 0x3cc5, 0x4cd2, {0xba, 0x46, 0xca, 0x0a, 0x9a, 0x70, 0xed, 0x04}, 3},
    {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}, 17},
};

// What the happening changes in the machine, for the endpoint it names: the
// state a state notice tells, the level a volume notice does, a new session,
// a new name; for the rest the endpoint goes away.
std::function<void(simulated::Machine&)> changeFor(const simulated::Notice& n, std::size_t index,
                                                   std::u16string name) {
    return [n, index, name](simulated::Machine& m) {
        std::vector<simulated::Endpoint>& endpoints = m.endpoints.endpoints;
        if (index >= endpoints.size())
            return;
        simulated::Endpoint& e = endpoints[index];
        switch (n.kind) {
        case NoticeKind::StateChanged:
            e.state = n.state;
            break;
        case NoticeKind::VolumeChanged:
            e.volume = {S_OK, {-96.0f * (1 - n.scalar), n.scalar, n.muted, -96, 0, 0.5f}};
            break;
        case NoticeKind::SessionCreated:
            e.sessions.push_back(
                {S_OK, 1000 + static_cast<std::uint32_t>(e.sessions.size()), 1, false});
            break;
        case NoticeKind::PropertyChanged:
            e.friendlyName = {S_OK, name};
            break;
        default:
            endpoints.erase(endpoints.begin() + static_cast<std::ptrdiff_t>(index));
            break;
        }
    };
}

} // namespace

void readNotifications(Input& in, simulated::Machine& m) {
    simulated::NotificationSource& source = m.notifications;
    const std::uint8_t refused = in.byte();
    for (int bit = 0; bit < 3; ++bit) {
        if ((refused >> bit & 1) == 0)
            continue;
        const HRESULT code = someCode(in, serviceFailures);
        (bit == 0   ? source.devicesResult
         : bit == 1 ? source.volumeResult
                    : source.sessionsResult) = code == S_OK ? E_NOTIMPL : code;
    }
    const std::size_t count = in.byte() % 17;
    const std::vector<simulated::Endpoint>& endpoints = m.endpoints.endpoints;
    for (std::size_t h = 0; h < count; ++h) {
        const std::uint8_t kind = in.byte();
        simulated::Happening happening;
        happening.after = std::chrono::milliseconds(10 * in.byte());
        const std::uint8_t which = in.byte();
        const std::size_t index = endpoints.empty() ? 0 : which % endpoints.size();
        simulated::Notice n;
        n.kind = static_cast<NoticeKind>(kind % 9);
        n.id =
            which == 0xFF || endpoints.empty() ? u"{0.0.0.00000000}.{nobody}" : endpoints[index].id;
        const std::uint8_t state = in.byte();
        n.state = state < 0xF0 ? state % 16 : in.dword(); // states, session states, reasons
        n.direction = (in.byte() & 1) != 0 ? 'I' : 'O';
        n.role = static_cast<EndpointRole>(in.byte() % endpointRoleCount);
        if (n.kind == NoticeKind::DefaultChanged && (state & 1) != 0)
            n.id.clear(); // the role has no default any more
        n.key = in.pick(noticeKeys);
        n.scalar = (in.byte() % 101) / 100.0f;
        n.muted = (in.byte() & 1) != 0;
        n.session = in.byte() % 6;
        if ((kind & 0x10) != 0 && which != 0xFF)
            happening.change = changeFor(n, index, readText(in));
        if ((kind & 0x80) != 0) {
            auto change = happening.change;
            happening.change = [change](simulated::Machine& machine) {
                if (change)
                    change(machine);
                simulated::failAllocation(1);
            };
        }
        happening.notices.push_back(n);
        if ((kind & 0x20) != 0)
            happening.repeat = 1 + in.byte() % 64;
        happening.interrupt = (kind & 0x40) != 0;
        source.script.push_back(happening);
    }
}

void expectWatchLeftNothing(const std::string& where) {
    simulated::releaseHangingCalls();
    const simulated::CallLog& log = simulated::calls();
    expect(log.watch.registrations == 0, [&] {
        return where + ": " + std::to_string(log.watch.registrations) +
               " callbacks left registered";
    });
    expect(log.watch.callsInCallbacks == 0, where + ": a callback called the service");
    expect(log.comDepth == 0, where + ": COM left set up");
    expect(log.openEndpoints == 0, where + ": an endpoint left open");
}

std::vector<long> listedIds(const std::vector<simulated::Device>& devices,
                            const std::optional<UINT>& reported) {
    std::vector<long> ids;
    const auto count =
        static_cast<std::int32_t>(reported ? *reported : static_cast<UINT>(devices.size()));
    for (std::int32_t id = 0; id < count; ++id) {
        const auto i = static_cast<std::size_t>(id);
        if (i >= devices.size() || devices[i].capsResult == MMSYSERR_BADDEVICEID)
            break;
        if (devices[i].capsResult == MMSYSERR_NOERROR)
            ids.push_back(id);
    }
    return ids;
}

std::string shown(const char* text, std::size_t limit) {
    std::string s;
    for (std::size_t i = 0; i < limit && text[i] != '\0'; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        s += byte < 0x20 || byte == 0x7F ? '?' : text[i];
    }
    return s;
}

std::vector<FormatHeader> catalogueFormats() {
    std::vector<FormatHeader> records;
    for (ListNode* n = knownFormats.headNode(); n != nullptr; n = n->next) {
        expect(n->data != nullptr, "a catalogue node without a record");
        records.push_back(*static_cast<const FormatHeader*>(n->data));
    }
    return records;
}

bool accepts(const simulated::Device& d, const FormatHeader& h) {
    if (d.refusal == MMSYSERR_NOERROR)
        return true;
    for (const FormatHeader& a : d.accepts)
        if (std::memcmp(&a, &h, sizeof h) == 0)
            return true;
    return false;
}

std::size_t askedOf(const simulated::Device& d, const std::vector<FormatHeader>& known) {
    const bool gone = d.refusal == MMSYSERR_NODRIVER || d.refusal == MMSYSERR_BADDEVICEID;
    for (std::size_t i = 0; i < known.size(); ++i)
        if (gone && !accepts(d, known[i]))
            return i + 1;
    return known.size();
}

namespace {

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c < 0xDC00;
}

bool isLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c < 0xE000;
}

// An endpoint id as the service matches it, in any case.
std::u16string folded(std::u16string id) {
    for (char16_t& c : id)
        c = c >= u'A' && c <= u'Z' ? char16_t(c + 0x20) : c;
    return id;
}

} // namespace

std::string utf8OfAnsi(const char* text, std::size_t limit) {
    std::string out;
    for (std::size_t i = 0; i < limit && text[i] != '\0'; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const bool mapped = b >= 0x80 && b < 0xA0 && windows1252[b - 0x80] != 0;
        appendUtf8(out, mapped ? windows1252[b - 0x80] : b);
    }
    return out;
}

std::string utf8OfLatin1(const char* text) {
    std::string out;
    for (; *text != '\0'; ++text)
        appendUtf8(out, static_cast<unsigned char>(*text));
    return out;
}

std::string utf8Of(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            appendUtf8(out, 0x10000 + ((std::uint32_t(text[i]) - 0xD800) << 10) +
                                (std::uint32_t(text[i + 1]) - 0xDC00));
            ++i;
        } else {
            const bool lone = isHighSurrogate(text[i]) || isLowSurrogate(text[i]);
            appendUtf8(out, lone ? 0xFFFD : text[i]);
        }
    }
    return out;
}

std::string ansiShown(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            out += '?'; // one character, one '?'
            ++i;
            continue;
        }
        char byte = '?';
        if (c < 0x20 || c == 0x7F)
            byte = '?';
        else if (c < 0x80 || (c >= 0xA0 && c < 0x100))
            byte = static_cast<char>(c);
        else if (c < 0xA0 && windows1252[c - 0x80] == 0)
            byte = static_cast<char>(c); // a byte the code page leaves unassigned maps to itself
        else
            for (std::size_t k = 0; k < 32; ++k)
                if (windows1252[k] == c)
                    byte = static_cast<char>(0x80 + k);
        out += byte;
    }
    return out;
}

EndpointExpectations expectEndpoints(const simulated::Machine& m, bool exclusive,
                                     std::optional<Hang> hang, bool everyEndpoint) {
    const bool counts = exclusive && !everyEndpoint;
    EndpointExpectations expected;
    const simulated::EndpointSystem& system = m.endpoints;
    const std::vector<simulated::Endpoint>& endpoints = system.endpoints;
    expected.probes.assign(endpoints.size(), 0);
    const bool opens = (SUCCEEDED(system.comResult) || system.comResult == RPC_E_CHANGED_MODE) &&
                       SUCCEEDED(system.enumeratorResult);
    // An endpoint is found by its id in any case: the first with that id answers.
    auto found = [&](const std::u16string& id) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < endpoints.size(); ++i)
            if (folded(endpoints[i].id) == folded(id)) {
                expected.hangAsked = hang && hang->first == i ? id : expected.hangAsked;
                return SUCCEEDED(endpoints[i].openResult) ? std::optional<std::size_t>(i)
                                                          : std::nullopt;
            }
        return std::nullopt;
    };
    std::vector<std::u16string> ledTo;
    for (int s = 0; s < 2; ++s) {
        const DeviceDirection direction = s == 0 ? 'I' : 'O';
        const std::vector<simulated::Device>& devices = s == 0 ? m.inputs : m.outputs;
        SectionEndpoints& section = expected.sections[s];
        for (long id : listedIds(devices, s == 0 ? m.inputCount : m.outputCount)) {
            const simulated::Device& d = devices[static_cast<std::size_t>(id)];
            std::optional<std::size_t> endpoint;
            if (opens && d.endpointIdResult == MMSYSERR_NOERROR && !d.endpointId.empty()) {
                ledTo.push_back(folded(d.endpointId));
                endpoint = found(d.endpointId);
            }
            section.devices.push_back(endpoint);
            if (endpoint)
                ++expected.probes[*endpoint];
        }
        if (!opens || FAILED(system.listResult))
            continue;
        if (counts)
            section.notPresent = 0;
        for (const simulated::Endpoint& e : endpoints) {
            if ((!exclusive && e.state != endpointActive) || e.direction != direction ||
                std::find(ledTo.begin(), ledTo.end(), folded(e.id)) != ledTo.end())
                continue;
            if (counts && e.state == endpointNotPresent) {
                ++*section.notPresent; // counted by its listing, found or not
                continue;
            }
            if (const std::optional<std::size_t> endpoint = found(e.id)) {
                section.unmatched.push_back(*endpoint);
                ++expected.probes[*endpoint];
            }
        }
    }
    if (exclusive && hang && expected.probes[hang->first] == 1)
        expected.hang = hang;
    return expected;
}

// A hang outlasts any run on a loaded machine, so a call left behind comes
// back only when it is let go, never in the middle of the next worker's asking.
const std::chrono::milliseconds callLimit{400}, hangLength{8000};

std::chrono::steady_clock::time_point armHang(simulated::Machine& live,
                                              const EndpointExpectations& expected) {
    setenv("SNDSCOUT_CALL_LIMIT_MS", std::to_string(callLimit.count()).c_str(), 1);
    live.endpoints.hangLength = hangLength;
    if (expected.hang)
        live.endpoints.endpoints[expected.hang->first].hangsAtCall = expected.hang->second;
    return std::chrono::steady_clock::now();
}

void checkHang(const simulated::Machine& live, EndpointExpectations& expected,
               std::chrono::steady_clock::time_point start) {
    const auto took = std::chrono::steady_clock::now() - start;
    simulated::releaseHangingCalls(); // a call let go closes what it opened
    const auto& hang = expected.hang;
    const unsigned long made = hang ? live.endpoints.endpoints[hang->first].callsAnswered : 0;
    expected.hangReached = hang && made == hang->second;
    expect(!hang || (made <= hang->second && took < hangLength &&
                     (!expected.hangReached || took >= callLimit)),
           "a hang that cost no call limit, the whole hang or a call after it");
}

namespace {

bool containerText(const std::u16string& t) {
    if (t.size() != 38 || t.front() != u'{' || t.back() != u'}')
        return false;
    bool zero = true;
    for (std::size_t i = 1; i < 37; ++i) {
        const char16_t c = t[i];
        const bool hex =
            (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if ((i == 9 || i == 14 || i == 19 || i == 24) ? c != u'-' : !hex)
            return false;
        zero = zero && (c == u'0' || c == u'-');
    }
    return !zero;
}

// The endpoint's two calls for its hardware come after its form factor; past a hang nothing
// more of it is read. The devnodes' own calls do not hang here.
template <class Answers>
void expectHardware(const simulated::Machine& m, const simulated::Endpoint& e, EndpointView& view,
                    Answers answers) {
    const bool adapterCall = answers(), effectsCall = adapterCall && answers();
    if (!adapterCall)
        return;
    const simulated::Property<std::u16string>& instance = e.hardware.adapterInstance;
    view.adapterReached = SUCCEEDED(instance.result) && !instance.value.empty();
    const simulated::Devnode* d = nullptr;
    for (const simulated::Devnode& candidate : m.hardware.devnodes)
        if (view.adapterReached && d == nullptr &&
            folded(candidate.instanceId) == folded(instance.value))
            d = &candidate;
    view.located = d != nullptr && d->locateResult == CR_SUCCESS;
    const bool problem =
        view.located && (!d->present || (d->problem.result == CR_SUCCESS && !d->problem.otherType));
    view.problem = !problem ? 0 : d->present && d->problem.value == 0 ? -1 : 1;
    const std::u16string bus = folded(instance.value.substr(0, instance.value.find(u'\\')));
    view.bluetooth =
        view.adapterReached && (bus == u"bthenum" || bus == u"bthhfenum" || bus == u"bthledevice");
    if (!effectsCall)
        return;
    if (SUCCEEDED(e.propertyStoreResult) && SUCCEEDED(e.hardware.effects.result))
        view.effects = static_cast<std::size_t>(
            std::count_if(e.hardware.effects.value.begin(), e.hardware.effects.value.end(),
                          [](const EffectReading& r) { return !r.classId.empty(); }));
    if (FAILED(m.hardware.containersResult))
        return;
    const auto container = [](const simulated::Endpoint& x) -> const std::u16string* {
        const bool read =
            SUCCEEDED(x.propertyStoreResult) && SUCCEEDED(x.hardware.containerId.result);
        return read ? &x.hardware.containerId.value : nullptr;
    };
    for (const simulated::Endpoint& x : m.endpoints.endpoints)
        if (!view.containerId && folded(x.id) == folded(view.id) && container(x) &&
            containerText(*container(x)))
            view.containerId = *container(x);
    for (const simulated::Endpoint& x : m.endpoints.endpoints)
        view.sameDevice += view.containerId && folded(x.id) != folded(view.id) && container(x) &&
                           folded(*container(x)) == folded(*view.containerId);
}

} // namespace

EndpointView expectedView(const simulated::Machine& m, const EndpointExpectations& expected,
                          std::size_t endpoint, DeviceDirection direction) {
    const simulated::EndpointSystem& system = m.endpoints;
    const simulated::Endpoint& e = system.endpoints[endpoint];
    EndpointView view;
    // Each call in the report's order; from one that hangs on, none answers.
    view.hung = expected.hangReached && expected.hang->first == endpoint;
    unsigned long calls = 0;
    const auto answers = [&] { return !view.hung || ++calls < expected.hang->second; };
    view.id = answers() && answers() ? e.id : expected.hangAsked; // its opening, its own id
    if (calls == 1)
        return view; // not even opened
    const bool store = SUCCEEDED(e.propertyStoreResult);
    if (answers() && store && SUCCEEDED(e.friendlyName.result))
        view.name = e.friendlyName.value;
    if (answers() && store && SUCCEEDED(e.adapterName.result))
        view.adapter = e.adapterName.value;
    if (answers() && store && SUCCEEDED(e.formFactor.result))
        view.formFactor = e.formFactor.value;
    if (view.formFactor == 9u)
        answers(); // a display's jack, which says nothing here
    expectHardware(m, e, view, answers);
    // No default for a role is an answer; a failure to ask is not.
    const EndpointAnswer asked = endpointAnswerOf(system.defaultResult);
    if (asked == EndpointAnswer::Ok || asked == EndpointAnswer::NotFound) {
        std::array<bool, endpointRoleCount> roles{};
        for (int role = 0; role < endpointRoleCount; ++role)
            roles[role] =
                asked == EndpointAnswer::Ok && !view.id.empty() &&
                folded(system.defaults[direction == 'I' ? 0 : 1][role]) == folded(view.id);
        view.defaultFor = roles;
    }
    const bool stateRead = answers() && SUCCEEDED(e.stateResult);
    view.active = !stateRead || e.state == endpointActive;
    for (int bit = 0; stateRead && bit < 4; ++bit)
        view.state = e.state == 1u << bit ? bit : view.state;
    view.deviceFormat =
        answers() && store && SUCCEEDED(e.deviceFormat.result) && expectedMix(e, true);
    view.enhancements = answers() && store && SUCCEEDED(e.systemEffectsOff.result);
    if (!view.active)
        return view;
    // The volume and the sessions are not the audio client's, but come with it.
    const bool client = SUCCEEDED(e.activateResult);
    const VolumeReading& v = e.volume.value;
    view.volume = answers() && client && SUCCEEDED(e.volume.result) && v.scalar >= 0 &&
                  v.scalar <= 1 &&
                  std::isfinite(double(v.levelDb) + v.minimumDb + v.maximumDb + v.stepDb);
    if (answers() && client && SUCCEEDED(e.sessionsResult))
        view.sessions = e.sessions.size();
    if (!answers() || !client)
        return view; // the audio client is not had
    view.mix = answers() && expectedMix(e);
    view.devicePeriods = answers() && SUCCEEDED(e.devicePeriods.result);
    view.enginePeriods = view.mix && answers() && SUCCEEDED(e.enginePeriods.result);
    return view;
}

const char* formFactorWord(std::uint32_t formFactor) {
    return expectedFormFactor(formFactor);
}

const char* const roleWords[endpointRoleCount] = {"console", "multimedia", "communications"};

std::optional<MixView> expectedMix(const simulated::Endpoint& e, bool panel) {
    const std::vector<unsigned char>& b = panel ? e.deviceFormat.value : e.mixFormat;
    if (b.size() < sizeof(WAVEFORMATEX) ||
        (!panel && (FAILED(e.activateResult) || FAILED(e.mixResult) ||
                    (getWord(b.data(), 0) != pcmTag && 18u + getWord(b.data(), 16) > b.size()))))
        return std::nullopt;
    MixView mix;
    const unsigned tag = getWord(b.data(), 0), bits = getWord(b.data(), 14);
    mix.channels = getWord(b.data(), 2);
    mix.rate = getDword(b.data(), 4);
    if (tag == pcmTag || tag == floatTag)
        mix.sample = typeOf(tag == floatTag, bits, bits);
    if (tag != extensibleTag)
        return mix;
    if (getWord(b.data(), 16) < extensibleSize - sizeof(WAVEFORMATEX) || b.size() < extensibleSize)
        return std::nullopt;
    const unsigned valid = getWord(b.data(), 18) == 0 ? bits : getWord(b.data(), 18);
    const DWORD subformat = getDword(b.data(), 24);
    if ((subformat == pcmTag || subformat == floatTag) &&
        std::memcmp(b.data() + 28, subformatTail, sizeof subformatTail) == 0)
        mix.sample = typeOf(subformat == floatTag, bits, valid);
    mix.channelMask = getDword(b.data(), 20);
    return mix;
}

const char* sampleWord(SampleType type) {
    return bitsOf(type).word;
}

std::optional<SampleType> sampleOfWord(const std::string& word) {
    for (const TypeBits& t : typeBits)
        if (word == t.word)
            return t.type;
    return std::nullopt;
}

bool Claim::operator==(const Claim& o) const {
    return sample == o.sample && channels == o.channels && rate == o.rate &&
           extensible == o.extensible && channelMask == o.channelMask;
}

std::size_t ClaimHash::operator()(const Claim& c) const {
    std::uint64_t h = 14695981039346656037u;
    for (std::uint64_t v :
         {std::uint64_t(c.sample), std::uint64_t(c.channels), std::uint64_t(c.rate),
          std::uint64_t(c.extensible), std::uint64_t(c.channelMask)})
        h = (h ^ v) * 1099511628211u;
    return static_cast<std::size_t>(h);
}

std::string describe(const Claim& c) {
    char text[96];
    std::snprintf(text, sizeof text, "%s %u ch %lu Hz %s 0x%lX", sampleWord(c.sample), c.channels,
                  static_cast<unsigned long>(c.rate), c.extensible ? "extensible" : "plain",
                  static_cast<unsigned long>(c.channelMask));
    return text;
}

DWORD usualMask(unsigned channels) {
    const DWORD masks[] = {0, 0x4, 0x3, 0x7, 0x33, 0x37, 0x3F, 0x13F, 0x63F};
    if (channels < std::size(masks))
        return masks[channels];
    return channels <= 18 ? (DWORD{1} << channels) - 1 : 0;
}

void clearProbeLogs() {
    for (const std::shared_ptr<Profile>& p : profiles) {
        if (p == nullptr)
            continue;
        p->taken.clear();
        p->asked.clear();
        p->askedTwice = false;
        p->questions = 0;
        p->firstStop.reset();
        p->afterStop = 0;
        p->heard = false;
    }
}

namespace {

const char* statusWord(EndpointAnswer answer) {
    switch (answer) {
    case EndpointAnswer::NotAllowed:
        return "not allowed";
    case EndpointAnswer::Busy:
        return "busy";
    case EndpointAnswer::Gone:
    case EndpointAnswer::NotFound:
        return "gone";
    case EndpointAnswer::AccessDenied:
        return "access denied";
    case EndpointAnswer::NoMemory:
        return "unavailable";
    default:
        return "ok";
    }
}

// The status an endpoint asked once must end with.
std::string expectedStatus(const simulated::Endpoint& e, const Profile* p) {
    // Without an audio client the mix format says why, when it can.
    const EndpointAnswer client =
        endpointAnswerOf(FAILED(e.activateResult) ? e.activateResult : e.mixResult);
    if (client == EndpointAnswer::NotAllowed || client == EndpointAnswer::Busy ||
        client == EndpointAnswer::Gone || client == EndpointAnswer::AccessDenied)
        return statusWord(client);
    if (FAILED(e.activateResult)) {
        const EndpointAnswer a = endpointAnswerOf(e.activateResult);
        const std::string word = statusWord(a);
        return word != "ok" ? word : "unavailable";
    }
    if (p == nullptr)
        return "ok"; // every format refused
    if (p->firstStop)
        return statusWord(*p->firstStop);
    return p->heard ? "ok" : "unavailable";
}

ClaimSet bruteForce(const simulated::Endpoint& e, const Profile& p) {
    ProbeStart start;
    if (expectedMix(e))
        start = probeStartOf(e.mixFormat.data(), e.mixFormat.size());
    const ExclusiveFindings findings = probeEveryFormat(
        start, [&p](const WAVEFORMATEX* format) { return formatAnswerOf(p.pure(format)); });
    ClaimSet claims;
    for (const ExclusiveFormat& f : findings.formats)
        for (DWORD rate : f.rates)
            claims.insert({f.sample, f.channels, rate, f.shape.extensible,
                           f.shape.extensible ? f.shape.channelMask : 0});
    return claims;
}

} // namespace

void checkExclusive(const simulated::Machine& m, const EndpointExpectations& expected,
                    std::size_t endpoint, const std::string& status,
                    const std::vector<Claim>& claims, const std::string& where) {
    const simulated::Endpoint& e = m.endpoints.endpoints[endpoint];
    const Profile* p = profiles[endpoint].get();
    expect(status == "ok" || claims.empty(), where + ": formats listed with status " + status);
    ClaimSet cells; // each listed once, under the first shape it took
    for (const Claim& c : claims) {
        expect(p != nullptr && p->taken.count(c) != 0,
               [&] { return where + ": claims " + describe(c) + ", which the device never took"; });
        expect(cells.insert({c.sample, c.channels, c.rate, true, 0}).second,
               [&] { return where + ": lists " + describe(c) + " twice"; });
    }
    // Known before any question, none asked: a hang, an endpoint out of use,
    // an audio client not had or refusing its own mix format.
    const EndpointView view = expectedView(m, expected, endpoint, e.direction);
    const std::string known = view.hung      ? "not answering"
                              : !view.active ? "inactive"
                                             : expectedStatus(e, nullptr);
    if (known != "ok")
        return expect(status == known && (view.hung || p == nullptr || p->questions == 0),
                      where + ": status " + status + ", expected " + known + ", none asked");
    if (expected.probes[endpoint] != 1)
        return; // a second probe's answers mix with the first's
    const std::string wanted = expectedStatus(e, p);
    expect(status == wanted, where + ": status " + status + ", expected " + wanted);
    if (p == nullptr)
        return;
    expect(p->afterStop == 0, where + ": " + std::to_string(p->afterStop) +
                                  " questions after an answer that ends the probe");
    expect(!p->askedTwice, where + ": a format asked twice");
    const bool stopAnswered = p->stopAfter && p->questions > *p->stopAfter;
    if (!p->keepsAssumptions() || stopAnswered || FAILED(e.activateResult) || wanted != "ok")
        return;
    const ClaimSet brute = bruteForce(e, *p);
    const ClaimSet listed(claims.begin(), claims.end());
    for (const Claim& c : brute)
        expect(listed.count(c) != 0,
               [&] { return where + ": misses " + describe(c) + ", which brute force finds"; });
    expect(listed == brute, where + ": differs from brute force");
}

std::optional<Claim> claimOf(const WAVEFORMATEX* format) {
    return decodeQuestion(format);
}

} // namespace fuzz
