// Runs sndscout.exe in its exclusive mode, and every mode with its json word, and compares
// what it writes with what the live platform answers when asked here: the text
// byte for byte with a report this file renders itself, the documents value
// for value with one built here. What a device takes in exclusive mode is found
// by brute force, every shape of every cell asked, so the program's pruned probe
// must come out equal to the full walk, and each cell it finds is opened here as
// the verify mode opens it. Everything is asked, opened and rendered with
// this file's own plain code, so a fault in the program cannot hide in both.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "live_endpoints.h"
#include "live_formats.h"
#include "program_run.h"
#include "report/manufacturer_names.h"
#include "support/expected_texts.h"

#include <nlohmann/json.hpp>

#include <msacm.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Json = nlohmann::ordered_json;

int failures = 0;

void fail(const std::string& what) {
    std::printf("FAIL %s\n", what.c_str());
    ++failures;
}

// ---- Text conversions ---------------------------------------------------------------

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The code points of UTF-16 text; a surrogate without its partner stands alone.
std::vector<std::uint32_t> codePoints(const std::u16string& text) {
    std::vector<std::uint32_t> points;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            points.push_back(0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u));
            ++i;
        } else {
            points.push_back(c);
        }
    }
    return points;
}

bool isSurrogate(std::uint32_t c) {
    return c >= 0xD800 && c < 0xE000;
}

// A lone surrogate cannot be UTF-8: U+FFFD stands for it.
std::string utf8Of(const std::u16string& text) {
    std::string out;
    for (std::uint32_t c : codePoints(text))
        appendUtf8(out, isSurrogate(c) ? 0xFFFD : c);
    return out;
}

// Bytes in the ANSI code page, as the live platform reads them, in UTF-8.
std::string utf8OfAnsi(const std::string& bytes) {
    if (bytes.empty())
        return "";
    const int count = static_cast<int>(bytes.size());
    const int wide = MultiByteToWideChar(CP_ACP, 0, bytes.data(), count, nullptr, 0);
    if (wide <= 0)
        return "";
    std::vector<wchar_t> buffer(static_cast<std::size_t>(wide));
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), count, buffer.data(), wide);
    return utf8Of(std::u16string(buffer.begin(), buffer.end()));
}

std::string utf8OfLatin1(const char* text) {
    std::string out;
    for (; *text != '\0'; ++text)
        appendUtf8(out, static_cast<unsigned char>(*text));
    return out;
}

// ---- The exclusive-mode matrix, asked in full ---------------------------------------

struct SampleType {
    const char* name;
    bool isFloat;
    WORD container;
    WORD valid;
};

const SampleType sampleTypes[] = {
    {"uint8", false, 8, 8},       {"int16", false, 16, 16}, {"int24", false, 24, 24},
    {"int24in32", false, 32, 24}, {"int32", false, 32, 32}, {"float32", true, 32, 32},
    {"float64", true, 64, 64},
};
constexpr std::size_t typeCount = sizeof sampleTypes / sizeof sampleTypes[0];

const DWORD matrixRates[] = {8000,  11025, 16000,  22050,  24000,  32000,  44100,  48000, 64000,
                             88200, 96000, 176400, 192000, 352800, 384000, 705600, 768000};
constexpr std::size_t rateCount = sizeof matrixRates / sizeof matrixRates[0];

const GUID pcmSubformat = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
const GUID floatSubformat = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

constexpr unsigned speakerCount = 18; // speaker positions a mask names

// The usual layout of a channel count, 0 for none.
DWORD usualMask(unsigned channels) {
    switch (channels) {
    case 1:
        return 0x4; // FC
    case 2:
        return 0x3; // FL FR
    case 3:
        return 0x7; // FL FR FC
    case 4:
        return 0x33; // FL FR BL BR
    case 5:
        return 0x37; // FL FR FC BL BR
    case 6:
        return 0x3F; // 5.1, back
    case 7:
        return 0x13F; // 5.1 and BC
    case 8:
        return 0x63F; // 7.1, side
    default:
        return channels <= speakerCount ? (DWORD{1} << channels) - 1 : 0;
    }
}

struct Shape {
    bool extensible;
    DWORD mask; // 0 for the plain header
};

bool operator==(const Shape& a, const Shape& b) {
    return a.extensible == b.extensible && a.mask == b.mask;
}

std::vector<Shape> shapesOf(std::size_t type, unsigned channels, unsigned mixChannels,
                            DWORD mixMask) {
    std::vector<Shape> shapes;
    auto add = [&shapes](Shape shape) {
        if (std::find(shapes.begin(), shapes.end(), shape) == shapes.end())
            shapes.push_back(shape);
    };
    if (usualMask(channels) != 0)
        add({true, usualMask(channels)});
    if (channels == 6)
        add({true, 0x60F}); // 5.1, side
    if (channels == 8)
        add({true, 0xFF}); // 7.1 wide
    if (channels == mixChannels && mixMask != 0)
        add({true, mixMask});
    add({true, 0});
    if ((type == 0 || type == 1) && channels <= 2)
        add({false, 0});
    return shapes;
}

WAVEFORMATEXTENSIBLE question(std::size_t type, unsigned channels, DWORD rate, Shape shape) {
    const SampleType& s = sampleTypes[type];
    WAVEFORMATEXTENSIBLE f;
    std::memset(&f, 0, sizeof f);
    f.Format.nChannels = static_cast<WORD>(channels);
    f.Format.nSamplesPerSec = rate;
    f.Format.wBitsPerSample = s.container;
    f.Format.nBlockAlign = static_cast<WORD>(channels * s.container / 8);
    f.Format.nAvgBytesPerSec = rate * f.Format.nBlockAlign;
    if (!shape.extensible) {
        f.Format.wFormatTag = s.isFloat ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
        return f;
    }
    f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.Format.cbSize = 22;
    f.Samples.wValidBitsPerSample = s.valid;
    f.dwChannelMask = shape.mask;
    f.SubFormat = s.isFloat ? floatSubformat : pcmSubformat;
    return f;
}

// How the service's answer to a question counts.
enum class Verdict { Taken, Refused, NotAllowed, Busy, Gone, Missing, Denied, NoMemory };

Verdict verdictOf(HRESULT result) {
    switch (static_cast<std::uint32_t>(result)) {
    case 0x00000000:
        return Verdict::Taken;
    case 0x8889000E: // exclusive mode not allowed
        return Verdict::NotAllowed;
    case 0x8889000A: // device in use
    case 0x88890017: // CPU usage exceeded
        return Verdict::Busy;
    case 0x88890004: // device invalidated
    case 0x88890026: // resources invalidated
        return Verdict::Gone;
    case 0x80070490: // not found
    case 0x80020005: // type mismatch
        return Verdict::Missing;
    case 0x80070005: // access denied: privacy settings
        return Verdict::Denied;
    case 0x8007000E:
        return Verdict::NoMemory;
    default:
        return Verdict::Refused;
    }
}

// The status a question's answer ends the walk with; empty when it does not.
std::string stopStatus(Verdict verdict) {
    switch (verdict) {
    case Verdict::NotAllowed:
        return "not allowed";
    case Verdict::Busy:
        return "busy";
    case Verdict::Gone:
    case Verdict::Missing:
        return "gone";
    case Verdict::Denied:
        return "access denied";
    case Verdict::NoMemory:
        return "unavailable";
    default:
        return "";
    }
}

struct Mix {
    std::optional<std::size_t> sample;
    DWORD rate = 0;
    unsigned channels = 0;
    std::optional<DWORD> mask; // none for a plain header
};

std::optional<std::size_t> sampleOf(bool isFloat, WORD container, WORD valid) {
    for (std::size_t t = 0; t < typeCount; ++t)
        if (sampleTypes[t].isFloat == isFloat && sampleTypes[t].container == container &&
            sampleTypes[t].valid == valid)
            return t;
    return std::nullopt;
}

std::optional<Mix> mixOf(const std::vector<unsigned char>& bytes) {
    WAVEFORMATEX h;
    if (bytes.size() < sizeof h)
        return std::nullopt;
    std::memcpy(&h, bytes.data(), sizeof h);
    Mix mix;
    mix.rate = h.nSamplesPerSec;
    mix.channels = h.nChannels;
    if (h.wFormatTag == WAVE_FORMAT_PCM || h.wFormatTag == WAVE_FORMAT_IEEE_FLOAT)
        mix.sample =
            sampleOf(h.wFormatTag == WAVE_FORMAT_IEEE_FLOAT, h.wBitsPerSample, h.wBitsPerSample);
    if (h.wFormatTag != WAVE_FORMAT_EXTENSIBLE)
        return mix;
    WAVEFORMATEXTENSIBLE x;
    if (h.cbSize < 22 || bytes.size() < sizeof x)
        return std::nullopt;
    std::memcpy(&x, bytes.data(), sizeof x);
    const WORD valid =
        x.Samples.wValidBitsPerSample != 0 ? x.Samples.wValidBitsPerSample : h.wBitsPerSample;
    if (IsEqualGUID(x.SubFormat, pcmSubformat))
        mix.sample = sampleOf(false, h.wBitsPerSample, valid);
    else if (IsEqualGUID(x.SubFormat, floatSubformat))
        mix.sample = sampleOf(true, h.wBitsPerSample, valid);
    mix.mask = x.dwChannelMask;
    return mix;
}

// One (type, channel count, shape) with the rates whose first taken shape it is.
struct Accepted {
    std::size_t type;
    unsigned channels;
    Shape shape;
    std::vector<DWORD> rates;
};

struct Findings {
    std::string status = "unavailable";
    std::vector<Accepted> formats;
    unsigned long questions = 0;
    std::size_t cells = 0; // (type, channels, rate) taken
    double seconds = 0;
};

// Asks every shape of every cell of the endpoint, or stops at the first answer
// that says the device cannot be asked.
Findings bruteForce(LiveEndpointSession& session, const std::u16string& id,
                    const std::optional<Mix>& mix) {
    Findings found;
    const unsigned mixChannels = mix ? mix->channels : 0;
    const DWORD mixMask = mix && mix->mask ? *mix->mask : 0;
    const unsigned counts = std::min(std::max(mixChannels, 8u), 32u);
    constexpr std::size_t none = static_cast<std::size_t>(-1);
    for (std::size_t t = 0; t < typeCount; ++t)
        for (unsigned c = 1; c <= counts; ++c) {
            const std::vector<Shape> shapes = shapesOf(t, c, mixChannels, mixMask);
            std::vector<std::size_t> first(rateCount, none);
            for (std::size_t r = 0; r < rateCount; ++r)
                for (std::size_t k = 0; k < shapes.size(); ++k) {
                    const WAVEFORMATEXTENSIBLE f = question(t, c, matrixRates[r], shapes[k]);
                    ++found.questions;
                    const Verdict v = verdictOf(session.askExclusive(id, &f.Format));
                    const std::string stop = stopStatus(v);
                    if (!stop.empty()) {
                        found.status = stop;
                        found.formats.clear();
                        found.cells = 0;
                        return found;
                    }
                    if (v == Verdict::Taken && first[r] == none)
                        first[r] = k;
                }
            for (std::size_t k = 0; k < shapes.size(); ++k) {
                Accepted a{t, c, shapes[k], {}};
                for (std::size_t r = 0; r < rateCount; ++r)
                    if (first[r] == k)
                        a.rates.push_back(matrixRates[r]);
                found.cells += a.rates.size();
                if (!a.rates.empty())
                    found.formats.push_back(a);
            }
        }
    found.status = "ok";
    return found;
}

// ---- What the live platform says ------------------------------------------------------

struct CatalogueFormat {
    WAVEFORMATEX header;
    std::optional<std::string> tagName; // the codec manager's bytes, when it names the tag
};

// Each listed cell opened as the verify mode opens it: per Accepted, per rate,
// its "opened", "openAnswer" and "eventDriven"; and what each way answered.
struct OpensTruth {
    std::string status = "nothing listed";
    std::vector<std::vector<Json>> cells;
    std::map<std::string, unsigned> answers;
};

struct EndpointTruth {
    const LiveEndpoint* live = nullptr;
    char direction = 'O'; // of the section it is listed in
    std::optional<std::array<bool, 3>> defaults;
    std::optional<Mix> mix;
    std::optional<Mix> deviceFormat;
    Findings findings;
    OpensTruth opens;
};

struct DeviceTruth {
    const LiveWaveDevice* wave;
    std::vector<bool> accepts;           // per catalogue format
    std::optional<std::size_t> endpoint; // into Truth::endpoints
};

struct Truth {
    LiveEndpoints live;
    LiveSystem system;
    std::vector<CatalogueFormat> catalogue; // in the report's order
    std::vector<DeviceTruth> devices[2];    // inputs, outputs
    std::vector<EndpointTruth> endpoints;   // the devices' and the unmatched ones
    std::vector<std::size_t> unmatched[2];  // into endpoints
    std::vector<std::size_t> activeOnly[2]; // those of them that quick and slow list
    unsigned long questions = 0;
    double bruteSeconds = 0;
};

int sideOf(char direction) {
    return direction == 'I' ? 0 : 1;
}

double secondsNow() {
    LARGE_INTEGER count;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::vector<CatalogueFormat> liveCatalogue() {
    std::vector<WAVEFORMATEX> headers = liveCodecFormats();
    // Formats that differ only past these four keys may come in either order;
    // the comparison of documents sorts them by the rest.
    std::sort(headers.begin(), headers.end(), [](const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
        return std::make_tuple(a.wFormatTag, a.nSamplesPerSec, a.wBitsPerSample, a.nChannels,
                               a.nBlockAlign, a.nAvgBytesPerSec) <
               std::make_tuple(b.wFormatTag, b.nSamplesPerSec, b.wBitsPerSample, b.nChannels,
                               b.nBlockAlign, b.nAvgBytesPerSec);
    });
    std::vector<CatalogueFormat> catalogue;
    for (const WAVEFORMATEX& h : headers) {
        ACMFORMATTAGDETAILSA details;
        std::memset(&details, 0, sizeof details);
        details.cbStruct = sizeof details;
        details.dwFormatTag = h.wFormatTag;
        CatalogueFormat format{h, std::nullopt};
        if (acmFormatTagDetailsA(nullptr, &details, ACM_FORMATTAGDETAILSF_FORMATTAG) ==
            MMSYSERR_NOERROR)
            format.tagName = std::string(details.szFormatTag,
                                         strnlen(details.szFormatTag, sizeof details.szFormatTag));
        catalogue.push_back(format);
    }
    return catalogue;
}

bool accepts(char direction, UINT id, const WAVEFORMATEX& header) {
    WAVEFORMATEX copy = header;
    const MMRESULT result = direction == 'I'
                                ? waveInOpen(nullptr, id, &copy, 0, 0, WAVE_FORMAT_QUERY)
                                : waveOutOpen(nullptr, id, &copy, 0, 0, WAVE_FORMAT_QUERY);
    return result == MMSYSERR_NOERROR;
}

// The words for a failed open, and the answers that end an endpoint's opening
// (those Wine can give; any other failure is "failed").
const struct {
    std::uint32_t code;
    const char* word;
    const char* stop;
} openAnswers[] = {
    {0x88890008, "unsupported format", ""},
    {0x88890016, "buffer size refused", ""},
    {0x88890019, "buffer size refused", ""},
    {0x8889000F, "stream not created", ""},
    {0x8889000A, "", "busy"},
    {0x8889000E, "", "not allowed"},
    {0x88890004, "", "gone"},
    {0x80070005, "", "access denied"},
};

// Event-driven first; once "in use" with no session known turns out no holder
// without the event callback (Wine's stub), the rest without it; nothing while
// a program plays.
OpensTruth openCells(LiveEndpointSession& session, const EndpointTruth& e) {
    OpensTruth t;
    if (e.findings.status != "ok" || e.findings.formats.empty())
        return t;
    const Json untried = {{"opened", nullptr}, {"openAnswer", nullptr}, {"eventDriven", nullptr}};
    for (const Accepted& a : e.findings.formats)
        t.cells.emplace_back(a.rates.size(), untried);
    const std::vector<LiveSession> sessions = e.live->sessions.value_or(std::vector<LiveSession>());
    t.status = std::any_of(sessions.begin(), sessions.end(),
                           [](const LiveSession& s) { return s.state == 1u; })
                   ? "in use"
                   : "done";
    bool events = true;
    for (std::size_t i = 0; i < t.cells.size() && t.status == "done"; ++i) {
        const Accepted& a = e.findings.formats[i];
        for (std::size_t r = 0; r < a.rates.size() && t.status == "done"; ++r) {
            const WAVEFORMATEXTENSIBLE f = question(a.type, a.channels, a.rates[r], a.shape);
            const auto open = [&](bool withEvents) {
                const auto h = static_cast<std::uint32_t>(
                    session.openExclusive(e.live->id, &f.Format, withEvents));
                char key[24];
                std::snprintf(key, sizeof key, "%s 0x%08lX", withEvents ? "event" : "none",
                              static_cast<unsigned long>(h));
                ++t.answers[key];
                return h;
            };
            std::uint32_t h = open(events);
            if (h == 0x8889000A && events && sessions.empty())
                events = (h = open(false)) == 0x8889000A;
            std::string word = "failed";
            for (const auto& known : openAnswers)
                if (known.code == h) {
                    word = known.word;
                    t.status = *known.stop != '\0' ? known.stop : t.status;
                }
            if (t.status == "done")
                t.cells[i][r] = {{"opened", h < 0x80000000u},
                                 {"openAnswer", h < 0x80000000u ? Json() : Json(word)},
                                 {"eventDriven", h < 0x80000000u ? Json(events) : Json()}};
        }
    }
    return t;
}

std::size_t endpointTruth(Truth& truth, LiveEndpointSession& session, const LiveEndpoint& live,
                          char direction) {
    EndpointTruth e;
    e.live = &live;
    e.direction = direction;
    const int d = sideOf(direction);
    // No default for a role is an answer; any other failure leaves them all unknown.
    bool known = true;
    for (int role = 0; role < 3; ++role)
        known =
            known && (truth.live.defaultResults[d][role] == S_OK ||
                      static_cast<std::uint32_t>(truth.live.defaultResults[d][role]) == 0x80070490);
    if (known) {
        std::array<bool, 3> roles{};
        for (int role = 0; role < 3; ++role)
            roles[role] = !live.shownId().empty() && truth.live.defaults[d][role] == live.shownId();
        e.defaults = roles;
    }
    if (live.mixFormat)
        e.mix = mixOf(*live.mixFormat);
    if (live.deviceFormat)
        e.deviceFormat = mixOf(*live.deviceFormat);
    // Without an audio client or its mix format the walk may not start at all.
    const HRESULT mixResult = FAILED(live.activateResult) ? live.activateResult : live.mixResult;
    const Verdict mixVerdict = live.mixFormat ? Verdict::Taken : verdictOf(mixResult);
    const std::string stop = stopStatus(mixVerdict);
    const double start = secondsNow();
    if (!live.active())
        e.findings.status = "inactive";
    else if (FAILED(live.activateResult))
        e.findings.status = stop.empty() ? "unavailable" : stop;
    else if (mixVerdict == Verdict::NotAllowed || mixVerdict == Verdict::Busy ||
             mixVerdict == Verdict::Gone || mixVerdict == Verdict::Denied)
        e.findings.status = stop;
    else
        e.findings = bruteForce(session, live.id, e.mix);
    e.findings.seconds = secondsNow() - start;
    truth.questions += e.findings.questions;
    truth.bruteSeconds += e.findings.seconds;
    e.opens = openCells(session, e);
    truth.endpoints.push_back(e);
    return truth.endpoints.size() - 1;
}

// Filled in place: the truths point into the live answers.
void gatherTruth(Truth& truth, LiveEndpointSession& session) {
    truth.live = session.gather();
    truth.system = liveSystem();
    truth.catalogue = liveCatalogue();
    std::vector<std::u16string> ledTo;
    for (char direction : {'I', 'O'}) {
        const auto& waves = direction == 'I' ? truth.live.inputs : truth.live.outputs;
        for (const LiveWaveDevice& w : waves) {
            // The listing stops at a number the service does not know and leaves
            // out a device it cannot describe.
            if (w.capsResult == MMSYSERR_BADDEVICEID)
                break;
            if (w.capsResult != MMSYSERR_NOERROR)
                continue;
            DeviceTruth device{&w, {}, std::nullopt};
            for (const CatalogueFormat& format : truth.catalogue)
                device.accepts.push_back(accepts(direction, w.id, format.header));
            if (w.endpointId && !w.endpointId->empty()) {
                ledTo.push_back(*w.endpointId);
                const LiveEndpoint* e = truth.live.find(*w.endpointId);
                if (e != nullptr && SUCCEEDED(e->openResult))
                    device.endpoint = endpointTruth(truth, session, *e, direction);
            }
            truth.devices[sideOf(direction)].push_back(device);
        }
    }
    for (char direction : {'I', 'O'}) {
        for (const std::u16string& id : truth.live.allIds[sideOf(direction)]) {
            if (std::find(ledTo.begin(), ledTo.end(), id) != ledTo.end())
                continue;
            const LiveEndpoint* e = truth.live.find(id);
            if (e != nullptr && SUCCEEDED(e->openResult))
                truth.unmatched[sideOf(direction)].push_back(
                    endpointTruth(truth, session, *e, direction));
        }
        // Quick and slow list only the active ones, in the order of that listing.
        for (const std::u16string& id : truth.live.activeIds[sideOf(direction)])
            for (std::size_t u : truth.unmatched[sideOf(direction)])
                if (truth.endpoints[u].live->id == id)
                    truth.activeOnly[sideOf(direction)].push_back(u);
    }
}

// ---- Words ---------------------------------------------------------------------------------

const char* const roleNames[] = {"console", "multimedia", "communications"};

std::string kilohertz(DWORD rate) {
    std::string text = std::to_string(rate / 1000);
    if (rate % 1000 != 0) {
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, "%03lu", static_cast<unsigned long>(rate % 1000));
        std::string digits = fraction;
        digits.erase(digits.find_last_not_of('0') + 1);
        text += "." + digits;
    }
    return text;
}

std::string hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", static_cast<unsigned long>(value));
    return text;
}

Json stateJson(const std::optional<std::uint32_t>& state) {
    const char* const names[] = {"active", "disabled", "notPresent", "unplugged"};
    for (unsigned i = 0; i < 4; ++i)
        if (state == 1u << i) // DEVICE_STATE_ACTIVE, ... are single bits
            return names[i];
    return nullptr;
}

// Rounded half away from zero to `places` decimals, never -0.
double rounded(double value, int places) {
    const double scale = std::pow(10.0, places);
    const double r = std::round(value * scale) / scale;
    return r == 0 ? 0.0 : r;
}

Json periodJson(const LiveEndpoint& live) {
    if (!live.periods)
        return nullptr;
    return {{"defaultMs", rounded((*live.periods)[0] / 10000.0, 4)},
            {"minimumMs", rounded((*live.periods)[1] / 10000.0, 4)}};
}

// Asked with the mix format, so only known with one that could be read.
Json engineJson(const EndpointTruth& e) {
    if (!e.mix || !e.live->engine)
        return nullptr;
    const auto [def, fundamental, min, max] = *e.live->engine;
    return {{"defaultFrames", def},
            {"fundamentalFrames", fundamental},
            {"minimumFrames", min},
            {"maximumFrames", max}};
}

// Known when the control gave what it documents: finite, the scalar 0 to 1.
Json volumeJson(const LiveEndpoint& live) {
    if (!live.volume)
        return nullptr;
    const auto [db, scalar, muted, minDb, maxDb, stepDb] = *live.volume;
    for (float f : *live.volume)
        if (!std::isfinite(f) || scalar < 0 || scalar > 1)
            return nullptr;
    return {{"db", rounded(db, 2)},       {"percent", std::lround(scalar * 100.0)},
            {"muted", muted != 0},        {"minDb", rounded(minDb, 2)},
            {"maxDb", rounded(maxDb, 2)}, {"stepDb", rounded(stepDb, 2)}};
}

Json sessionsJson(const LiveEndpoint& live) {
    if (!live.sessions)
        return nullptr;
    Json sessions = Json::array();
    for (const LiveSession& s : *live.sessions) {
        const std::u16string path = s.programPath.value_or(u"");
        const std::u16string program = path.substr(path.find_last_of(u"\\/") + 1); // npos + 1 is 0
        const char* const states[] = {"inactive", "active", "expired"};
        const char* state = s.state && *s.state < 3 ? states[*s.state] : nullptr;
        sessions.push_back({{"pid", s.processId ? Json(*s.processId) : Json(nullptr)},
                            {"program", program.empty() ? Json(nullptr) : Json(utf8Of(program))},
                            {"state", state != nullptr ? Json(state) : Json(nullptr)},
                            {"system", s.systemSounds}});
    }
    return sessions;
}

bool notPresent(const EndpointTruth& e) {
    return stateJson(e.live->state) == "notPresent";
}

void addLine(std::string& text, const std::string& line) {
    text += line + "\r\n";
}

void addHardwareMembers(Json& j, const LiveEndpoint& live) {
    for (const char* key : {"hardware", "driver", "problem", "bluetoothProfile", "containerId"})
        j[key] = nullptr;
    j["effects"] = live.storeOpened ? Json::array() : Json(nullptr);
}

// A service's state, as the JSON words it.
Json serviceJson(const LiveSystem& system, int i) {
    const char* const words[] = {"",        "stopped",  "starting", "stopping",
                                 "running", "resuming", "pausing",  "paused"};
    if (system.serviceErrors[i] == ERROR_SERVICE_DOES_NOT_EXIST)
        return "notInstalled";
    const DWORD state = system.serviceStates[i];
    if (system.serviceErrors[i] != ERROR_SUCCESS || state == 0 || state > 7)
        return nullptr;
    return words[state];
}

// ---- The documents ---------------------------------------------------------------------

enum class Mode { Quick, Slow, Exclusive, Verify };

const char* modeName(Mode mode) {
    const char* const names[] = {"quick", "slow", "exclusive", "verify"};
    return names[static_cast<int>(mode)];
}

bool endpointView(Mode mode) {
    return mode == Mode::Exclusive || mode == Mode::Verify;
}

Json textOrNull(const std::optional<std::u16string>& text) {
    return text ? Json(utf8Of(*text)) : Json(nullptr);
}

Json formatJson(const std::optional<Mix>& mix) {
    if (!mix)
        return nullptr;
    return {{"sample", mix->sample ? Json(sampleTypes[*mix->sample].name) : Json(nullptr)},
            {"rate", mix->rate},
            {"channels", mix->channels},
            {"channelMask", mix->mask ? Json(*mix->mask) : Json(nullptr)}};
}

// How the endpoint is set and used: the exclusive mode's own members.
void addConditionMembers(Json& j, const EndpointTruth& e) {
    const LiveEndpoint& live = *e.live;
    j["state"] = stateJson(live.state);
    j["deviceFormat"] = formatJson(e.deviceFormat);
    j["devicePeriod"] = periodJson(live);
    j["enginePeriod"] = engineJson(e);
    j["volume"] = volumeJson(live);
    j["enhancements"] = live.sysFxOff ? Json(*live.sysFxOff == 0) : Json(nullptr);
    j["sessions"] = sessionsJson(live);
    addHardwareMembers(j, live);
}

Json endpointMembers(const EndpointTruth& e, Mode mode) {
    const LiveEndpoint& live = *e.live;
    Json j = Json::object();
    j["id"] = utf8Of(live.shownId());
    // The endpoint's own data flow, when it tells one.
    const char direction = live.direction == '?' ? e.direction : live.direction;
    j["direction"] = direction == 'I' ? "input" : "output";
    j["name"] = textOrNull(live.friendlyName);
    j["adapter"] = textOrNull(live.adapterName);
    j["formFactor"] = live.formFactor ? Json(expectedFormFactor(*live.formFactor)) : Json(nullptr);
    if (e.defaults) {
        Json roles = Json::array();
        for (int role = 0; role < 3; ++role)
            if ((*e.defaults)[role])
                roles.push_back(roleNames[role]);
        j["default"] = roles;
    } else {
        j["default"] = nullptr;
    }
    if (endpointView(mode))
        addConditionMembers(j, e);
    return j;
}

Json acceptedJson(const Accepted& a, const std::vector<DWORD>& rates) {
    return {{"sample", sampleTypes[a.type].name},
            {"channels", a.channels},
            {"channelMask", a.shape.extensible ? Json(a.shape.mask) : Json()},
            {"extensible", a.shape.extensible},
            {"rates", rates}};
}

// The verify mode's entries of one format: its rates by what opening them gave,
// opened first, then without the event callback, the failures, what was not tried.
void addOpenedEntries(Json& formats, const Accepted& a, const std::vector<Json>& cells) {
    const auto rank = [](const Json& c) {
        return c["opened"] == true    ? (c["eventDriven"] == true ? 0 : 1)
               : c["opened"] == false ? 2
                                      : 3;
    };
    std::vector<Json> kinds;
    for (int k = 0; k < 4; ++k)
        for (const Json& c : cells)
            if (rank(c) == k && std::find(kinds.begin(), kinds.end(), c) == kinds.end())
                kinds.push_back(c);
    for (const Json& kind : kinds) {
        std::vector<DWORD> rates;
        for (std::size_t r = 0; r < a.rates.size(); ++r)
            if (cells[r] == kind)
                rates.push_back(a.rates[r]);
        Json j = acceptedJson(a, rates);
        j.update(kind);
        formats.push_back(j);
    }
}

void addFormatMembers(Json& j, const EndpointTruth* e, Mode mode) {
    j["mix"] = formatJson(e != nullptr ? e->mix : std::nullopt);
    Json formats = Json::array();
    const OpensTruth none;
    const OpensTruth& opens = e != nullptr ? e->opens : none;
    std::size_t counts[3] = {0, 0, 0}; // listed, opened, failed
    for (std::size_t i = 0; e != nullptr && i < e->findings.formats.size(); ++i) {
        const Accepted& a = e->findings.formats[i];
        if (mode != Mode::Verify) {
            formats.push_back(acceptedJson(a, a.rates));
            continue;
        }
        addOpenedEntries(formats, a, opens.cells[i]);
        for (const Json& c : opens.cells[i]) {
            ++counts[0];
            counts[1] += c["opened"] == true;
            counts[2] += c["opened"] == false;
        }
    }
    j["exclusive"] = {{"status", e != nullptr ? e->findings.status : "unavailable"},
                      {"formats", formats}};
    if (mode == Mode::Verify)
        j["exclusive"]["verify"] = {{"status", opens.status},
                                    {"listed", counts[0]},
                                    {"opened", counts[1]},
                                    {"failed", counts[2]}};
}

struct PcmBit {
    DWORD bit;
    DWORD rate;
    unsigned channels;
    unsigned bits;
};

// In the quick report's order.
const PcmBit pcmBits[] = {
    {0x001, 11025, 1, 8}, {0x004, 11025, 1, 16}, {0x002, 11025, 2, 8}, {0x008, 11025, 2, 16},
    {0x010, 22050, 1, 8}, {0x040, 22050, 1, 16}, {0x020, 22050, 2, 8}, {0x080, 22050, 2, 16},
    {0x100, 44100, 1, 8}, {0x400, 44100, 1, 16}, {0x200, 44100, 2, 8}, {0x800, 44100, 2, 16},
};

Json expectedDocument(const Truth& truth, Mode mode, bool all) {
    Json doc = Json::object();
    doc["program"] = "sndscout";
    doc["version"] = SNDSCOUT_EXPECTED_VERSION;
    doc["schema"] = 1;
    doc["mode"] = modeName(mode);
    if (endpointView(mode)) {
        const auto& version = truth.system.version;
        doc["system"] = {{"windowsVersion", version ? Json(std::to_string((*version)[0]) + "." +
                                                           std::to_string((*version)[1]))
                                                    : Json(nullptr)},
                         {"build", version ? Json((*version)[2]) : Json(nullptr)},
                         {"audioService", serviceJson(truth.system, 0)},
                         {"endpointBuilder", serviceJson(truth.system, 1)}};
    }
    for (int d = 0; d < 2; ++d) {
        Json devices = Json::array();
        for (const DeviceTruth& device : truth.devices[d]) {
            const EndpointTruth* e = device.endpoint ? &truth.endpoints[*device.endpoint] : nullptr;
            Json j = Json::object();
            j["id"] = device.wave->id;
            j["name"] = utf8OfAnsi(device.wave->name);
            j["manufacturer"] = {{"id", device.wave->mid},
                                 {"name", utf8OfLatin1(manufacturerName(device.wave->mid))}};
            j["endpoint"] = e != nullptr ? endpointMembers(*e, mode) : Json(nullptr);
            if (mode == Mode::Quick) {
                Json pcm = Json::array();
                for (const PcmBit& p : pcmBits)
                    if (device.wave->formats & p.bit)
                        pcm.push_back(
                            {{"rate", p.rate}, {"channels", p.channels}, {"bits", p.bits}});
                j["pcm"] = pcm;
            } else if (mode == Mode::Slow) {
                Json formats = Json::array();
                for (std::size_t i = 0; i < truth.catalogue.size(); ++i) {
                    if (!device.accepts[i])
                        continue;
                    const CatalogueFormat& c = truth.catalogue[i];
                    const WAVEFORMATEX& h = c.header;
                    formats.push_back(
                        {{"tag", h.wFormatTag},
                         {"tagName", c.tagName ? Json(utf8OfAnsi(*c.tagName)) : Json(nullptr)},
                         {"rate", h.nSamplesPerSec},
                         {"channels", h.nChannels},
                         {"bits", h.wBitsPerSample},
                         {"blockAlign", h.nBlockAlign},
                         {"avgBytesPerSec", h.nAvgBytesPerSec}});
                }
                j["formats"] = formats;
            } else {
                addFormatMembers(j, e, mode);
            }
            devices.push_back(j);
        }
        doc[d == 0 ? "inputs" : "outputs"] = devices;
    }
    Json unmatched = Json::array();
    // Without "all" the exclusive mode counts the endpoints not present.
    Json gone = {{"inputs", 0}, {"outputs", 0}};
    for (int d = 0; d < 2; ++d)
        for (std::size_t u : endpointView(mode) ? truth.unmatched[d] : truth.activeOnly[d]) {
            if (endpointView(mode) && !all && notPresent(truth.endpoints[u])) {
                Json& count = gone[d == 0 ? "inputs" : "outputs"];
                count = count.get<int>() + 1;
                continue;
            }
            Json j = endpointMembers(truth.endpoints[u], mode);
            if (endpointView(mode))
                addFormatMembers(j, &truth.endpoints[u], mode);
            unmatched.push_back(j);
        }
    doc["unmatchedEndpoints"] = unmatched;
    if (endpointView(mode) && !all)
        doc["notPresentCount"] = gone;
    return doc;
}

// The slow formats in catalogue order: by tag, rate, bits and channels. Those
// equal in all four may come in any order, so both sides are put in one.
void orderTies(Json& doc, const std::string& label, bool checkOrder) {
    for (const char* section : {"inputs", "outputs"}) {
        if (!doc.contains(section) || !doc[section].is_array())
            continue;
        for (Json& device : doc[section]) {
            if (!device.is_object() || !device.contains("formats") || !device["formats"].is_array())
                continue;
            Json& formats = device["formats"];
            const char* keys[] = {"tag",      "rate",       "bits",
                                  "channels", "blockAlign", "avgBytesPerSec"};
            std::vector<std::array<std::uint64_t, 6>> rows;
            for (const Json& f : formats) {
                std::array<std::uint64_t, 6> row{};
                for (std::size_t k = 0; k < 6; ++k) {
                    if (!f.is_object() || !f.contains(keys[k]) || !f[keys[k]].is_number_unsigned())
                        return; // the comparison will say what is wrong
                    row[k] = f[keys[k]].get<std::uint64_t>();
                }
                rows.push_back(row);
            }
            for (std::size_t i = 1; checkOrder && i < rows.size(); ++i)
                if (std::lexicographical_compare(rows[i].begin(), rows[i].begin() + 4,
                                                 rows[i - 1].begin(), rows[i - 1].begin() + 4)) {
                    fail(label + ": " + section + " device " + device.value("name", "?") +
                         ": format " + std::to_string(i) + " out of catalogue order");
                    break;
                }
            std::vector<std::size_t> order(rows.size());
            for (std::size_t i = 0; i < order.size(); ++i)
                order[i] = i;
            std::stable_sort(order.begin(), order.end(),
                             [&rows](std::size_t a, std::size_t b) { return rows[a] < rows[b]; });
            Json sorted = Json::array();
            for (std::size_t i : order)
                sorted.push_back(formats[i]);
            formats = sorted;
        }
    }
}

bool sameKind(const Json& a, const Json& b) {
    return a.type() == b.type() || (a.is_number() && b.is_number());
}

// Every place where the documents differ, by its path, up to a few.
void compareJson(const std::string& path, const Json& want, const Json& got,
                 std::vector<std::string>& differences) {
    if (differences.size() >= 12)
        return;
    if (!sameKind(want, got)) {
        differences.push_back(path + ": expected " + want.dump(-1, ' ', true) + ", got " +
                              got.dump(-1, ' ', true));
        return;
    }
    if (want.is_object()) {
        std::vector<std::string> wantKeys;
        std::vector<std::string> gotKeys;
        for (auto it = want.begin(); it != want.end(); ++it)
            wantKeys.push_back(it.key());
        for (auto it = got.begin(); it != got.end(); ++it)
            gotKeys.push_back(it.key());
        if (wantKeys != gotKeys) {
            std::string w;
            std::string g;
            for (const std::string& k : wantKeys)
                w += " " + k;
            for (const std::string& k : gotKeys)
                g += " " + k;
            differences.push_back(path + ": keys expected" + w + ", got" + g);
        }
        for (const std::string& k : wantKeys)
            if (got.contains(k))
                compareJson(path + "." + k, want[k], got[k], differences);
        return;
    }
    if (want.is_array()) {
        // A list of plain values, such as rates, is shown whole.
        const auto plain = [](const Json& item) { return !item.is_structured(); };
        if (std::all_of(want.begin(), want.end(), plain) &&
            std::all_of(got.begin(), got.end(), plain)) {
            if (want != got)
                differences.push_back(path + ": expected " + want.dump(-1, ' ', true) + ", got " +
                                      got.dump(-1, ' ', true));
            return;
        }
        if (want.size() != got.size())
            differences.push_back(path + ": " + std::to_string(want.size()) +
                                  " items expected, got " + std::to_string(got.size()));
        for (std::size_t i = 0; i < std::min(want.size(), got.size()); ++i)
            compareJson(path + "[" + std::to_string(i) + "]", want[i], got[i], differences);
        return;
    }
    if (want != got)
        differences.push_back(path + ": expected " + want.dump(-1, ' ', true) + ", got " +
                              got.dump(-1, ' ', true));
}

// ---- The runs ----------------------------------------------------------------------------

bool startedAndQuiet(const std::string& label, const ProgramRun& run, DWORD status) {
    if (!run.started) {
        fail(label + ": could not start (error " + std::to_string(run.startError) + ")");
        return false;
    }
    bool good = true;
    if (run.status != status) {
        fail(label + ": exit status " + std::to_string(run.status) + ", expected " +
             std::to_string(status));
        good = false;
    }
    if (status == 0 && !run.errors.empty()) {
        fail(label + ": standard error not empty: \"" + visible(run.errors) + "\"");
        good = false;
    }
    return good;
}

// The text is the JSON document's findings worded, which the unit tests
// compare; here only what the live platform decides: the endpoints not present
// are one line, or with "all" each its own block.
double checkExclusiveText(const std::string& program, const Truth& truth) {
    double seconds = 0;
    std::size_t gone[2] = {0, 0};
    for (int d = 0; d < 2; ++d)
        for (std::size_t u : truth.unmatched[d])
            gone[d] += notPresent(truth.endpoints[u]) ? 1 : 0;
    for (const bool all : {false, true}) {
        const std::vector<std::string> args = all ? std::vector<std::string>{"exclusive", "all"}
                                                  : std::vector<std::string>{"exclusive"};
        const std::string label = "text " + describeArgs(args);
        const ProgramRun run = runProgram(program, args, OutputPipe::Open, ErrorStream::Kept);
        if (!all)
            seconds = run.seconds;
        if (!startedAndQuiet(label, run, 0))
            continue;
        const std::vector<std::string> lines = splitLines(run.output);
        std::size_t counted = 0;
        for (int d = 0; d < 2; ++d) {
            if (gone[d] == 0)
                continue;
            const std::string line =
                "--\t" + std::to_string(gone[d]) +
                (gone[d] == 1 ? " endpoint not present (a device once attached)"
                              : " endpoints not present (devices once attached)") +
                "\r\n";
            counted += static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
        }
        const std::size_t wanted = all ? 0 : (gone[0] > 0) + (gone[1] > 0);
        if (counted != wanted)
            fail(label + ": " + std::to_string(counted) +
                 " lines counting the endpoints not "
                 "present, expected " +
                 std::to_string(wanted));
        else
            std::printf("ok   %s: %zu bytes, the endpoints not present %s, in %.2f s\n",
                        label.c_str(), run.output.size(), all ? "listed" : "counted", run.seconds);
    }
    return seconds;
}

struct JsonCase {
    std::vector<std::string> args;
    Mode mode;
    bool all = false;
};

const JsonCase jsonCases[] = {
    {{"exclusive", "json"}, Mode::Exclusive},
    {{"exclusive", "all", "json"}, Mode::Exclusive, true},
    {{"json"}, Mode::Slow},
    {{"quick", "json"}, Mode::Quick},
    {{"/J", "e"}, Mode::Exclusive},
    {{"--json", "q"}, Mode::Quick},
    // every cell the full walk finds, opened by the program and here
    {{"verify", "json"}, Mode::Verify},
};

void checkDocument(const std::string& program, const Truth& truth, const JsonCase& c) {
    const std::string label = std::string(modeName(c.mode)) + " " + describeArgs(c.args);
    const ProgramRun run = runProgram(program, c.args, OutputPipe::Open, ErrorStream::Kept);
    if (!startedAndQuiet(label, run, 0))
        return;
    const std::string& out = run.output;
    if (out.compare(0, 3, "\xEF\xBB\xBF") == 0)
        fail(label + ": the document starts with a byte-order mark");
    if (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0)
        fail(label + ": the document does not end with a line break");
    Json got;
    try {
        got = Json::parse(out);
    } catch (const Json::exception& e) {
        fail(label + ": not a JSON document in UTF-8: " + e.what());
        return;
    }
    Json want = expectedDocument(truth, c.mode, c.all);
    orderTies(want, label, false);
    orderTies(got, label, true);
    std::vector<std::string> differences;
    compareJson("$", want, got, differences);
    for (const std::string& d : differences)
        fail(label + ": " + d);
    if (differences.empty())
        std::printf("ok   %s: %zu bytes, equal to the live platform, in %.2f s\n", label.c_str(),
                    out.size(), run.seconds);
}

void checkUsage(const std::string& program) {
    const std::vector<std::string> args = {"json", "xyz"};
    const std::string label = "usage " + describeArgs(args);
    const ProgramRun run = runProgram(program, args, OutputPipe::Open, ErrorStream::Kept);
    if (!startedAndQuiet(label, run, 2))
        return;
    std::string usage;
    for (const char* line : expectedUsage)
        addLine(usage, line);
    bool good = true;
    if (!run.output.empty()) {
        fail(label + ": standard output not empty: \"" + visible(run.output) + "\"");
        good = false;
    }
    if (run.errors != usage) {
        reportDifference(label + " on standard error", usage, run.errors);
        ++failures;
        good = false;
    }
    if (good)
        std::printf("ok   %s: exit status 2, the usage text on standard error only\n",
                    label.c_str());
}

void checkClosedPipe(const std::string& program, const std::vector<std::string>& args) {
    const std::string label = describeArgs(args) + " into a closed pipe";
    const ProgramRun run = runProgram(program, args, OutputPipe::Closed, ErrorStream::Kept);
    if (!startedAndQuiet(label, run, 1))
        return;
    // One line that says why.
    const std::vector<std::string> lines = splitLines(run.errors);
    if (lines.size() != 1 || lines[0].compare(0, 10, "sndscout: ") != 0)
        fail(label + ": standard error is not one line of reason: \"" + visible(run.errors) + "\"");
    else
        std::printf("ok   %s: exit status 1, \"%s\"\n", label.c_str(), visible(lines[0]).c_str());
}

// ---- The watch ------------------------------------------------------------------------

// Wine tells a watcher of one thing only, a change of default: another process
// sets winealsa.drv's DefaultOutput while `sndscout watch 5 json` runs, here
// from a thread of the checker's own, and puts it back afterwards.
const wchar_t* const alsaKey = L"Software\\Wine\\Drivers\\winealsa.drv";

struct DefaultSwitch {
    std::u16string to;
    DWORD afterMs = 1500;
};

DWORD WINAPI switchDefault(void* parameter) {
    const auto& s = *static_cast<const DefaultSwitch*>(parameter);
    Sleep(s.afterMs);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, alsaKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return 1;
    const auto* bytes = reinterpret_cast<const BYTE*>(s.to.c_str());
    const LONG set = RegSetValueExW(key, L"DefaultOutput", 0, REG_SZ, bytes,
                                    static_cast<DWORD>((s.to.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
    return set == ERROR_SUCCESS ? 0 : 1;
}

// DefaultOutput as it was, or unset when there was none; put back by restore().
std::optional<std::u16string> savedDefault() {
    wchar_t value[512];
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, alsaKey, L"DefaultOutput", RRF_RT_REG_SZ, nullptr, value,
                     &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::u16string(reinterpret_cast<const char16_t*>(value));
}

void restore(const std::optional<std::u16string>& saved) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, alsaKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (saved)
        RegSetValueExW(key, L"DefaultOutput", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(saved->c_str()),
                       static_cast<DWORD>((saved->size() + 1) * sizeof(char16_t)));
    else
        RegDeleteValueW(key, L"DefaultOutput");
    RegCloseKey(key);
}

bool watchedForAbout5s(const std::string& label, const ProgramRun& run) {
    if (!startedAndQuiet(label, run, 0))
        return false;
    if (run.seconds < 4.5 || run.seconds > 15) {
        fail(label + ": ended after " + std::to_string(run.seconds) + " s, expected about 5");
        return false;
    }
    return true;
}

// `sndscout watch 5`: a line per endpoint of every state, the sessions it will
// not see, and no event.
void checkWatchText(const std::string& program, const Truth& truth) {
    const std::string label = "watch " + describeArgs({"watch", "5"});
    const ProgramRun run = runProgram(program, {"watch", "5"}, OutputPipe::Open, ErrorStream::Kept);
    if (!watchedForAbout5s(label, run))
        return;
    const std::vector<std::string> lines = splitLines(run.output);
    std::size_t at = 0;
    // Each endpoint by its id, in the service's order; the names and states
    // are the JSON lines' to compare.
    for (int d = 0; d < 2; ++d)
        for (const std::u16string& id : truth.live.allIds[d]) {
            const std::string want = std::string(d == 0 ? "input " : "output") + "  endpoint  ";
            if (at >= lines.size() || lines[at].compare(25, want.size(), want) != 0 ||
                lines[at].find("  " + utf8Of(id) + "  ") == std::string::npos)
                fail(label + ": line " + std::to_string(at + 1) + " \"" +
                     (at < lines.size() ? visible(lines[at]) : "") + "\", expected \"" +
                     visible(want) + "...\"");
            ++at;
        }
    const std::vector<std::string> rest = {
        "watch   warning   session events will not be seen: the audio service does not offer "
        "them\r\n",
        "watch   ended     time is up: 0 events seen\r\n"};
    for (const std::string& want : rest) {
        if (at >= lines.size() || lines[at].compare(25, std::string::npos, want) != 0)
            fail(label + ": line " + std::to_string(at + 1) + " \"" +
                 (at < lines.size() ? visible(lines[at]) : "") + "\", expected \"..." +
                 visible(want) + "\"");
        ++at;
    }
    if (lines.size() != at)
        fail(label + ": " + std::to_string(lines.size()) + " lines, expected " +
             std::to_string(at));
    else
        std::printf("ok   %s: %zu lines, exit status 0 after %.2f s\n", label.c_str(), at,
                    run.seconds);
}

// `sndscout watch 5 json` while DefaultOutput goes to another output endpoint:
// the endpoints' lines, then exactly one default change, naming that endpoint
// and the roles it now has, and who had them before.
void checkWatchDefault(const std::string& program, const Truth& truth) {
    const std::string label = "watch " + describeArgs({"watch", "5", "json"});
    const std::u16string& before = truth.live.defaults[1][0].value_or(u"");
    DefaultSwitch change;
    for (const std::u16string& id : truth.live.activeIds[1])
        if (id != before && change.to.empty())
            change.to = id;
    if (change.to.empty())
        return fail(label + ": the prefix has no second active output endpoint");
    const std::optional<std::u16string> saved = savedDefault();
    HANDLE thread = CreateThread(nullptr, 0, switchDefault, &change, 0, nullptr);
    const ProgramRun run =
        runProgram(program, {"watch", "5", "json"}, OutputPipe::Open, ErrorStream::Kept);
    if (thread != nullptr) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    restore(saved);
    if (!watchedForAbout5s(label, run))
        return;
    std::size_t endpoints = 0;
    std::vector<Json> changes;
    Json ended;
    for (const std::string& line : splitLines(run.output)) {
        if (!Json::accept(line)) {
            fail(label + ": not a JSON line: " + visible(line));
            continue;
        }
        const Json object = Json::parse(line);
        const std::string event = object.value("event", "");
        endpoints += event == "endpoint" ? 1 : 0;
        if (event == "defaultChanged")
            changes.push_back(object);
        if (event == "ended")
            ended = object;
        if (event != "endpoint" && event != "defaultChanged" && event != "ended" &&
            !(event == "notWatched" && object["what"] == "sessions"))
            fail(label + ": an event Wine does not send: " + visible(line));
    }
    if (endpoints != truth.live.allIds[0].size() + truth.live.allIds[1].size())
        fail(label + ": " + std::to_string(endpoints) + " endpoint lines");
    const LiveEndpoint* to = truth.live.find(change.to);
    const Json want = {{"id", utf8Of(change.to)},
                       {"direction", "output"},
                       {"name", to != nullptr && to->friendlyName ? Json(utf8Of(*to->friendlyName))
                                                                  : Json(nullptr)},
                       {"roles", {"console", "multimedia"}}};
    bool good = changes.size() == 1;
    for (const auto& [key, value] : want.items())
        good = good && changes[0][key] == value;
    good = good && changes[0]["before"].size() >= 1 &&
           changes[0]["before"][0]["id"] == (before.empty() ? Json(nullptr) : Json(utf8Of(before)));
    if (!good)
        fail(label + ": " + std::to_string(changes.size()) +
             " default changes, expected one like " + want.dump() +
             (changes.empty() ? "" : ", got " + changes[0].dump()));
    if (ended["reason"] != "time" || ended["seen"] != 2 || ended["lost"] != 0)
        fail(label + ": last line " + ended.dump() + ", expected the time up and 2 events seen");
    if (good)
        std::printf("ok   %s: one default change to %s, exit status 0 after %.2f s\n",
                    label.c_str(), utf8Of(change.to).c_str(), run.seconds);
}

// ---- What the prefix must hold ---------------------------------------------------------

void checkPrefix(const Truth& truth) {
    // The run's code page is the one asked for, and its own name in it is there.
    const char* wantedPage = std::getenv("SNDSCOUT_EXPECTED_CODE_PAGE");
    const UINT page = wantedPage != nullptr ? static_cast<UINT>(std::atoi(wantedPage)) : 1252;
    if (GetACP() != page)
        fail("the ANSI code page is " + std::to_string(GetACP()) + ", expected " +
             std::to_string(page));
    const char* const ownName = page == 932 ? "\xE9\x9F\xB3\xE5\xA3\xB0" : "caf\xC3\xA9";
    bool cafe = false;
    bool quoteAndBackslash = false;
    bool gone = false;
    for (const auto& devices : truth.devices)
        for (const DeviceTruth& device : devices) {
            const std::string name = utf8OfAnsi(device.wave->name);
            cafe = cafe || name.find(ownName) != std::string::npos;
            const bool quoted =
                name.find('"') != std::string::npos && name.find('\\') != std::string::npos;
            quoteAndBackslash = quoteAndBackslash || quoted;
            gone = gone || (quoted && device.endpoint &&
                            truth.endpoints[*device.endpoint].findings.status == "gone");
        }
    if (!cafe)
        fail(std::string("the prefix has no device named with ") +
             (page == 932 ? "Japanese" : "\"caf\\u00E9\"") + " in its code page");
    if (!quoteAndBackslash)
        fail("the prefix has no device whose name holds a quote and a backslash");
    else if (!gone)
        std::printf("note the device with a quote and a backslash is not gone here\n");
    // Wine keeps an output it once saw and that then left its device list.
    bool notPresent = false;
    for (const auto& unmatched : truth.unmatched)
        for (std::size_t u : unmatched)
            notPresent = notPresent || (truth.endpoints[u].live->friendlyName &&
                                        stateJson(truth.endpoints[u].live->state) == "notPresent");
    if (!notPresent)
        fail("the prefix has no endpoint that is not present, with its name, among the unmatched");
    std::vector<std::string> kinds;
    for (const EndpointTruth& e : truth.endpoints)
        if (e.findings.status == "ok") {
            std::string kind;
            for (const Accepted& a : e.findings.formats)
                kind += sampleTypes[a.type].name;
            kinds.push_back(kind);
        }
    std::sort(kinds.begin(), kinds.end());
    if (std::unique(kinds.begin(), kinds.end()) - kinds.begin() < 2)
        fail("every endpoint takes the same sample types: the exclusive view is not really "
             "compared");
}

// What Wine was measured to answer for the hardware behind its endpoints: no
// device topology (E_NOINTERFACE), no container id, no effect property. The
// expected report knows only that, so anything else fails here by name.
void checkWineHardware(const Truth& truth) {
    for (const LiveEndpoint& e : truth.live.endpoints)
        if (SUCCEEDED(e.openResult) &&
            (e.topologyResult != E_NOINTERFACE || e.containerId || e.namesEffects))
            fail(utf8Of(e.friendlyName.value_or(e.id)) +
                 ": a topology, container or effect; this check knows only Wine's answers");
}

// Three lines a device: what it is called on either side, then what was compared.
void printSummary(const Truth& truth, double programSeconds) {
    auto show = [](const char* side, const std::string& id, const std::string& name,
                   const EndpointTruth* e) {
        std::printf("%s %s \"%s\"", side, id.c_str(), name.c_str());
        if (e == nullptr) {
            std::printf(": no endpoint\n");
            return;
        }
        const std::optional<Mix>& mix = e->mix;
        std::printf(" -> \"%s\"\n    mix %s; exclusive %s, %zu cells taken, %lu questions\n",
                    e->live->friendlyName ? utf8Of(*e->live->friendlyName).c_str() : "(no name)",
                    mix ? (kilohertz(mix->rate) + " kHz " + std::to_string(mix->channels) + " ch " +
                           (mix->sample ? sampleTypes[*mix->sample].name : "other") +
                           (mix->mask ? " mask " + hex(*mix->mask) : ""))
                              .c_str()
                        : "unknown",
                    e->findings.status.c_str(), e->findings.cells, e->findings.questions);
        // What opening answered each way: Wine's event-driven stub shows here.
        std::printf("    opens %s:", e->opens.status.c_str());
        for (const auto& [answer, count] : e->opens.answers)
            std::printf(" %s x%u", answer.c_str(), count);
        std::printf("\n");
    };
    for (int d = 0; d < 2; ++d) {
        const char* side = d == 0 ? "input" : "output";
        for (const DeviceTruth& device : truth.devices[d])
            show(side, std::to_string(device.wave->id), utf8OfAnsi(device.wave->name),
                 device.endpoint ? &truth.endpoints[*device.endpoint] : nullptr);
        for (std::size_t u : truth.unmatched[d])
            show(side, "--", "(no waveform device)", &truth.endpoints[u]);
    }
    std::printf("brute force: %lu questions in %.2f s here; sndscout exclusive took %.2f s\n",
                truth.questions, truth.bruteSeconds, programSeconds);
}

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const double start = secondsNow();
    const std::string program = programBeside("sndscout.exe");
    if (GetFileAttributesA(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::printf("FAIL cannot find %s\n", program.c_str());
        return 1;
    }
    Truth truth;
    {
        // Closed before the program runs, so no audio client of ours is alive then.
        LiveEndpointSession session;
        if (FAILED(session.status())) {
            std::printf("FAIL the live endpoint service did not start: 0x%08lX\n",
                        static_cast<unsigned long>(session.status()));
            return 1;
        }
        gatherTruth(truth, session);
    }
    std::printf("live platform: %zu inputs, %zu outputs, %zu unmatched endpoints, %zu catalogue "
                "formats, code page %u\n",
                truth.devices[0].size(), truth.devices[1].size(),
                truth.unmatched[0].size() + truth.unmatched[1].size(), truth.catalogue.size(),
                GetACP());
    checkPrefix(truth);
    checkWineHardware(truth);

    const double programSeconds = checkExclusiveText(program, truth);
    for (const JsonCase& c : jsonCases)
        checkDocument(program, truth, c);
    checkUsage(program);
    checkClosedPipe(program, {"json", "q"});
    checkClosedPipe(program, {"e", "json"});
    // Last: the second one changes the default output while it runs.
    checkWatchText(program, truth);
    checkWatchDefault(program, truth);

    printSummary(truth, programSeconds);
    std::printf("%d failures, %.1f s in all\n", failures, secondsNow() - start);
    return failures == 0 ? 0 : 1;
}
