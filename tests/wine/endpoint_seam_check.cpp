// Compares every answer of the program's endpoint calls with what the live
// service says when asked through live_endpoints.h's own plain COM code: the
// waveform devices' endpoint ids, the active and default endpoints, names,
// form factors, mix formats and exclusive-mode answers for a sample of
// formats; the ANSI conversions over the prefix's device names; and what one
// exclusive-mode question costs; and the endpoints in every state; and the
// hardware calls. What else an endpoint tells, endpoint_report_check compares
// through the program's report.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "live_endpoints.h"
#include "hardware/file_version.h"
#include "platform/device_hardware.h"
#include "platform/endpoint_answers.h"
#include "platform/endpoint_services.h"

#include <cfgmgr32.h>
#include <winver.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int failures = 0;

void fail(const std::string& what) {
    std::printf("FAIL %s\n", what.c_str());
    ++failures;
}

const char* answerName(EndpointAnswer answer) {
    switch (answer) {
    case EndpointAnswer::Ok:
        return "Ok";
    case EndpointAnswer::Refused:
        return "Refused";
    case EndpointAnswer::NotFound:
        return "NotFound";
    case EndpointAnswer::NotAllowed:
        return "NotAllowed";
    case EndpointAnswer::Busy:
        return "Busy";
    case EndpointAnswer::Gone:
        return "Gone";
    case EndpointAnswer::AccessDenied:
        return "AccessDenied";
    case EndpointAnswer::NoMemory:
        return "NoMemory";
    case EndpointAnswer::NotImplemented:
        return "NotImplemented";
    case EndpointAnswer::Failed:
        return "Failed";
    case EndpointAnswer::BufferRefused:
        return "BufferRefused";
    case EndpointAnswer::StreamFailed:
        return "StreamFailed";
    }
    return "?";
}

std::string hexCode(std::uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

// UTF-16 as ASCII, every other character as \uXXXX, so the log shows exactly
// which characters came.
std::string shown(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            out += escape;
        }
    }
    return out;
}

std::string shownBytes(const std::string& bytes) {
    std::string out;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            out += escape;
        }
    }
    return out;
}

std::string shownOptional(const std::optional<std::u16string>& text) {
    return text ? "\"" + shown(*text) + "\"" : "(none)";
}

// ---- The sample of formats -----------------------------------------------------

// Written out here rather than taken from a library, like everything this
// checker asks with.
const GUID pcmSubtype = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
const GUID floatSubtype = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

struct Sample {
    const char* name;
    WAVEFORMATEXTENSIBLE format;
};

WAVEFORMATEXTENSIBLE extensible(bool isFloat, WORD container, WORD valid, WORD channels, DWORD rate,
                                DWORD mask) {
    WAVEFORMATEXTENSIBLE f;
    std::memset(&f, 0, sizeof f);
    f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.Format.nChannels = channels;
    f.Format.nSamplesPerSec = rate;
    f.Format.wBitsPerSample = container;
    f.Format.nBlockAlign = static_cast<WORD>(channels * container / 8);
    f.Format.nAvgBytesPerSec = rate * f.Format.nBlockAlign;
    f.Format.cbSize = sizeof f - sizeof f.Format;
    f.Samples.wValidBitsPerSample = valid;
    f.dwChannelMask = mask;
    f.SubFormat = isFloat ? floatSubtype : pcmSubtype;
    return f;
}

WAVEFORMATEXTENSIBLE plainPcm(WORD bits, WORD channels, DWORD rate) {
    WAVEFORMATEXTENSIBLE f;
    std::memset(&f, 0, sizeof f);
    f.Format.wFormatTag = WAVE_FORMAT_PCM;
    f.Format.nChannels = channels;
    f.Format.nSamplesPerSec = rate;
    f.Format.wBitsPerSample = bits;
    f.Format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.Format.nAvgBytesPerSec = rate * f.Format.nBlockAlign;
    return f;
}

std::vector<Sample> samples() {
    const DWORD stereo = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    std::vector<Sample> list = {
        {"int16", extensible(false, 16, 16, 2, 48000, stereo)},
        {"int24", extensible(false, 24, 24, 2, 48000, stereo)},
        {"int24in32", extensible(false, 32, 24, 2, 48000, stereo)},
        {"int32", extensible(false, 32, 32, 2, 48000, stereo)},
        {"float32", extensible(true, 32, 32, 2, 48000, stereo)},
        {"float64", extensible(true, 64, 64, 2, 48000, stereo)},
        {"int16/mask0", extensible(false, 16, 16, 2, 48000, 0)},
        {"int16/5.1", extensible(false, 16, 16, 6, 48000, KSAUDIO_SPEAKER_5POINT1)},
        {"int16/192k", extensible(false, 16, 16, 2, 192000, stereo)},
        {"pcm16/44.1k", plainPcm(16, 2, 44100)},
        {"pcm8/mono", plainPcm(8, 1, 22050)},
        // Valid bits beyond the container: no device can take it.
        {"nonsense", extensible(false, 16, 24, 2, 48000, stereo)},
    };
    return list;
}

// ---- Comparisons -----------------------------------------------------------------

std::string directionName(char direction) {
    return direction == 'I' ? "input" : "output";
}

void checkWaveDevices(char direction, const std::vector<LiveWaveDevice>& devices) {
    for (const LiveWaveDevice& device : devices) {
        const std::string label = directionName(direction) + " " + std::to_string(device.id);
        std::u16string id;
        const EndpointAnswer answer = waveDeviceEndpointId(direction, device.id, &id);
        if (device.endpointId) {
            if (answer != EndpointAnswer::Ok)
                fail(label + ": endpoint id answered " + answerName(answer) + ", live gives " +
                     shown(*device.endpointId));
            else if (id != *device.endpointId)
                fail(label + ": endpoint id " + shown(id) + ", live gives " +
                     shown(*device.endpointId));
        } else if (answer == EndpointAnswer::Ok) {
            fail(label + ": endpoint id " + shown(id) + ", live gives none");
        }
    }
    // One past the last device: the driver knows no such device.
    std::u16string none;
    const UINT past = static_cast<UINT>(devices.size());
    const EndpointAnswer answer = waveDeviceEndpointId(direction, past, &none);
    if (answer == EndpointAnswer::Ok)
        fail(directionName(direction) + " " + std::to_string(past) +
             ": an endpoint id for a device that does not exist: " + shown(none));
    std::printf("endpoint id of %s %u, past the last: %s\n", directionName(direction).c_str(), past,
                answerName(answer));
}

void checkLists(EndpointService* service, const LiveEndpoints& live) {
    const char directions[2] = {'I', 'O'};
    const char* roles[3] = {"console", "multimedia", "communications"};
    for (int d = 0; d < 2; ++d) {
        std::vector<std::u16string> ids;
        EndpointAnswer answer = endpointIds(service, directions[d], EndpointListing::Active, &ids);
        if (answer != EndpointAnswer::Ok)
            fail("active " + directionName(directions[d]) + " endpoints answered " +
                 answerName(answer));
        else if (ids != live.activeIds[d])
            fail("active " + directionName(directions[d]) +
                 " endpoints: " + std::to_string(ids.size()) + " ids, live gives " +
                 std::to_string(live.activeIds[d].size()) + " (or another order)");
        // Those out of use too; the report shows only the ones no waveform device leads to.
        answer = endpointIds(service, directions[d], EndpointListing::EveryState, &ids);
        if (answer != EndpointAnswer::Ok || ids != live.allIds[d])
            fail("every state's " + directionName(directions[d]) + " endpoints answered " +
                 answerName(answer) + " with " + std::to_string(ids.size()) + " ids, live gives " +
                 std::to_string(live.allIds[d].size()) + " (or another order)");
        for (int role = 0; role < 3; ++role) {
            const std::string label = "default " + directionName(directions[d]) + " " + roles[role];
            std::u16string id;
            const EndpointAnswer got =
                defaultEndpointId(service, directions[d], static_cast<EndpointRole>(role), &id);
            const std::optional<std::u16string>& want = live.defaults[d][role];
            if (want && (got != EndpointAnswer::Ok || id != *want))
                fail(label + ": " + answerName(got) + " " + shown(id) + ", live gives " +
                     shown(*want));
            if (!want && got != EndpointAnswer::NotFound)
                fail(label + ": " + answerName(got) + ", live gives none");
        }
    }
}

// A property the live side read, or could not read as its type.
template <class T>
void checkProperty(const std::string& label, EndpointAnswer answer, const T& value,
                   const std::optional<T>& live, std::string (*show)(const T&)) {
    if (live) {
        if (answer != EndpointAnswer::Ok)
            fail(label + " answered " + answerName(answer) + ", live gives " + show(*live));
        else if (value != *live)
            fail(label + " " + show(value) + ", live gives " + show(*live));
    } else if (answer != EndpointAnswer::NotFound) {
        fail(label + " answered " + answerName(answer) + ", live has none");
    }
}

std::string showText(const std::u16string& text) {
    return "\"" + shown(text) + "\"";
}
std::string showNumber(const std::uint32_t& n) {
    return std::to_string(n);
}

// The exclusive answers of one endpoint to the sample, in sample order: 'y'
// accepted, '.' refused, '!' anything else.
struct Row {
    std::string answers;
    EndpointAnswer other = EndpointAnswer::Ok; // the first answer neither yes nor no
};

Row checkEndpoint(EndpointService* service, LiveEndpointSession& session, const LiveEndpoint& live,
                  const std::vector<Sample>& sample) {
    Row row;
    const std::string label = "endpoint " + shown(live.id);
    EndpointDevice* device = nullptr;
    const EndpointAnswer opened = openEndpoint(service, live.id, &device);
    if (opened != endpointAnswerOf(live.openResult)) {
        fail(label + ": opening answered " + answerName(opened) + ", live gives " +
             hexCode(static_cast<std::uint32_t>(live.openResult)));
    }
    if (opened != EndpointAnswer::Ok)
        return row;

    std::u16string text;
    checkProperty(label + " friendly name", endpointText(device, EndpointText::FriendlyName, &text),
                  text, live.friendlyName, showText);
    text.clear();
    checkProperty(label + " adapter name", endpointText(device, EndpointText::AdapterName, &text),
                  text, live.adapterName, showText);
    std::uint32_t formFactor = 0;
    checkProperty(label + " form factor",
                  endpointNumber(device, EndpointNumber::FormFactor, &formFactor), formFactor,
                  live.formFactor, showNumber);
    // The report compares the rest; of an endpoint out of use it asks nothing more.
    if (!live.active()) {
        closeEndpoint(device);
        return row;
    }

    std::vector<unsigned char> mix;
    const EndpointAnswer mixAnswer = endpointMixFormat(device, &mix);
    if (live.mixFormat) {
        if (mixAnswer != EndpointAnswer::Ok || mix != *live.mixFormat)
            fail(label + ": mix format answered " + answerName(mixAnswer) + " with " +
                 std::to_string(mix.size()) + " bytes, live gives " +
                 std::to_string(live.mixFormat->size()) + " other bytes");
    } else {
        const HRESULT why = FAILED(live.activateResult) ? live.activateResult : live.mixResult;
        if (mixAnswer != endpointAnswerOf(why))
            fail(label + ": mix format answered " + answerName(mixAnswer) + ", live gives " +
                 hexCode(static_cast<std::uint32_t>(why)));
    }

    for (const Sample& s : sample) {
        const EndpointAnswer got = askExclusiveFormat(device, &s.format.Format);
        const HRESULT want = session.askExclusive(live.id, &s.format.Format);
        if (got != formatAnswerOf(want) || (got == EndpointAnswer::Ok) != (want == S_OK))
            fail(label + ": exclusive " + s.name + " answered " + answerName(got) +
                 ", live gives " + hexCode(static_cast<std::uint32_t>(want)));
        if (got == EndpointAnswer::Ok) {
            row.answers += 'y';
        } else if (got == EndpointAnswer::Refused) {
            row.answers += '.';
        } else {
            row.answers += '!';
            if (row.other == EndpointAnswer::Ok)
                row.other = got;
        }
    }
    closeEndpoint(device);
    return row;
}

// ---- Names through the ANSI code page --------------------------------------------

// Each waveform name is its endpoint's friendly name cut to 31 characters and
// written in the ANSI code page, so the conversions must lead from one to the
// other.
void checkNames(const LiveEndpoints& live) {
    bool nonAscii = false;
    bool quoteAndBackslash = false;
    bool cut = false;
    for (const auto* devices : {&live.inputs, &live.outputs}) {
        for (const LiveWaveDevice& w : *devices) {
            const LiveEndpoint* e = w.endpointId ? live.find(*w.endpointId) : nullptr;
            if (e == nullptr || !e->friendlyName)
                continue;
            const std::u16string& full = *e->friendlyName;
            // A name the code page cannot hold is cut and replaced as Wine
            // sees fit; the JSON check compares it with what the driver gave.
            if (ansiToUtf16(utf16ToAnsi(full).data(), utf16ToAnsi(full).size()) != full)
                continue;
            const std::u16string expected = full.substr(0, MAXPNAMELEN - 1);
            const std::u16string wide = ansiToUtf16(w.name.data(), w.name.size());
            const std::string label = "name \"" + shownBytes(w.name) + "\"";
            if (wide != expected)
                fail(label + ": as UTF-16 \"" + shown(wide) + "\", its endpoint's name gives \"" +
                     shown(expected) + "\"");
            const std::string back = utf16ToAnsi(expected);
            if (back != w.name)
                fail(label + ": its endpoint's name in ANSI is \"" + shownBytes(back) + "\"");
            for (char c : w.name)
                nonAscii = nonAscii || static_cast<unsigned char>(c) >= 0x80;
            quoteAndBackslash = quoteAndBackslash || (w.name.find('"') != std::string::npos &&
                                                      w.name.find('\\') != std::string::npos);
            cut = cut || full.size() > expected.size();
        }
    }
    if (!nonAscii)
        fail("the prefix has no device whose name is not ASCII");
    if (!quoteAndBackslash)
        fail("the prefix has no device whose name holds a quote and a backslash");
    if (!cut)
        fail("the prefix has no device whose waveform name is cut from its endpoint's");
}

// What the conversions give beyond the prefix's names, in code page 1252.
void checkCodePage() {
    if (GetACP() != 1252) {
        fail("the ANSI code page is " + std::to_string(GetACP()) +
             ", not 1252 (wine-run.sh sets "
             "the locale that gives it)");
        return;
    }
    struct Case {
        const char16_t* wide;
        const char* narrow;
        bool roundTrip; // the narrow text reads back as the wide one
    };
    const Case cases[] = {
        {u"caf\u00E9", "caf\xE9", true},
        {u"\u20AC \u0153 \u2122 \u00FF", "\x80 \x9C \x99 \xFF", true},
        {u"", "", true},
        // Not in the code page, and no near letter either: '?'.
        {u"\u4E2D\u0101", "??", false},
        // One character beyond the first 65536, a pair of surrogates: one '?'.
        {u"a\U0001F600b", "a?b", false},
        {u"\u00E9\u03A9", "\xE9?", false},
    };
    for (const Case& c : cases) {
        const std::u16string wide = c.wide;
        const std::string narrow = utf16ToAnsi(wide);
        if (narrow != c.narrow)
            fail("utf16ToAnsi(\"" + shown(wide) + "\") gives \"" + shownBytes(narrow) +
                 "\", expected \"" + shownBytes(c.narrow) + "\"");
        if (c.roundTrip) {
            const std::u16string back = ansiToUtf16(c.narrow, std::strlen(c.narrow));
            if (back != wide)
                fail("ansiToUtf16(\"" + shownBytes(c.narrow) + "\") gives \"" + shown(back) + "\"");
        }
    }
    // Bytes the code page leaves unassigned still come through as themselves.
    const std::u16string odd = ansiToUtf16("\x81\x8D", 2);
    if (odd != u"\u0081\u008D")
        fail("ansiToUtf16(\"\\x81\\x8D\") gives \"" + shown(odd) + "\"");
}

// ---- COM left as found ---------------------------------------------------------------

struct ThreadCase {
    bool singleThreaded; // the thread set up COM in the other mode first
    std::string failure;
};

DWORD WINAPI comThread(void* parameter) {
    auto& c = *static_cast<ThreadCase*>(parameter);
    if (c.singleThreaded && FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        c.failure = "could not set up COM single-threaded";
        return 0;
    }
    EndpointService* service = nullptr;
    const EndpointAnswer answer = openEndpointService(&service);
    std::vector<std::u16string> ids;
    const EndpointAnswer listed = endpointIds(service, 'O', EndpointListing::Active, &ids);
    closeEndpointService(service);
    if (answer != EndpointAnswer::Ok || listed != EndpointAnswer::Ok || ids.empty()) {
        c.failure = std::string("the service answered ") + answerName(answer) + ", listing " +
                    answerName(listed);
    }
    // Asking single-threaded again tells what the thread was left with.
    const HRESULT after = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (c.singleThreaded && after != S_FALSE)
        c.failure += " COM set up by the thread was undone (" +
                     hexCode(static_cast<std::uint32_t>(after)) + ")";
    if (!c.singleThreaded && after != S_OK)
        c.failure += " COM was left set up (" + hexCode(static_cast<std::uint32_t>(after)) + ")";
    if (SUCCEEDED(after))
        CoUninitialize();
    if (c.singleThreaded)
        CoUninitialize();
    return 0;
}

void checkComLeftAsFound() {
    for (bool singleThreaded : {false, true}) {
        ThreadCase c{singleThreaded, ""};
        HANDLE thread = CreateThread(nullptr, 0, comThread, &c, 0, nullptr);
        if (thread == nullptr) {
            fail("could not start a thread");
            return;
        }
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        if (!c.failure.empty())
            fail(std::string(singleThreaded ? "on a single-threaded thread: "
                                            : "on a thread without COM: ") +
                 c.failure);
    }
}

// ---- Cost ------------------------------------------------------------------------------

// The median time of one exclusive-mode question through the program's calls,
// in microseconds.
double exclusiveCost(EndpointService* service, const std::u16string& id,
                     const WAVEFORMATEX* format) {
    EndpointDevice* device = nullptr;
    if (openEndpoint(service, id, &device) != EndpointAnswer::Ok)
        return -1;
    askExclusiveFormat(device, format); // the audio client is made on the first
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    for (int i = 0; i < 301; ++i) {
        LARGE_INTEGER start;
        LARGE_INTEGER end;
        QueryPerformanceCounter(&start);
        askExclusiveFormat(device, format);
        QueryPerformanceCounter(&end);
        times.push_back(static_cast<double>(end.QuadPart - start.QuadPart) * 1e6 /
                        static_cast<double>(frequency.QuadPart));
    }
    closeEndpoint(device);
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
}

std::string mixSummary(const std::optional<std::vector<unsigned char>>& mix) {
    if (!mix || mix->size() < sizeof(WAVEFORMATEX))
        return "no mix format";
    WAVEFORMATEX h;
    std::memcpy(&h, mix->data(), sizeof h);
    std::string kind = "tag " + std::to_string(h.wFormatTag);
    if (h.wFormatTag == WAVE_FORMAT_EXTENSIBLE && mix->size() >= sizeof(WAVEFORMATEXTENSIBLE)) {
        WAVEFORMATEXTENSIBLE x;
        std::memcpy(&x, mix->data(), sizeof x);
        kind = IsEqualGUID(x.SubFormat, floatSubtype) ? "float"
               : IsEqualGUID(x.SubFormat, pcmSubtype) ? "int"
                                                      : "other";
        kind += std::to_string(x.Samples.wValidBitsPerSample) + " mask " +
                std::to_string(x.dwChannelMask);
    }
    return std::to_string(h.nSamplesPerSec) + " Hz " + std::to_string(h.nChannels) + " ch " + kind;
}

} // namespace

// The hardware calls the report never reaches under Wine, where no endpoint
// leads to a device: locating one, version resources (the program's own and a
// DLL without one, against this file's reading), a class id's file, a driver
// service's file.
void checkHardwareCalls() {
    wchar_t id[] = L"ROOT\\MEDIA\\0000";
    DEVINST own = 0;
    Devnode node = 0;
    bool present = false;
    const CONFIGRET located = CM_Locate_DevNodeW(&own, id, CM_LOCATE_DEVNODE_NORMAL);
    if (locateDevnode(u"ROOT\\MEDIA\\0000", &node, &present) != endpointAnswerOfConfig(located))
        fail("locating a devnode, CR " + std::to_string(located));
    wchar_t path[MAX_PATH] = {};
    std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    self = self.substr(0, self.find_last_of(L'\\') + 1) + L"sndscout.exe";
    GetSystemDirectoryW(path, MAX_PATH);
    for (const std::wstring& file : {self, std::wstring(path) + L"\\mmdevapi.dll"}) {
        DWORD ignored = 0;
        std::vector<unsigned char> resource(GetFileVersionInfoSizeW(file.c_str(), &ignored) + 1);
        void* fixed = nullptr;
        UINT length = 0;
        const bool has = resource.size() > 1 &&
                         GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(resource.size()),
                                             resource.data()) &&
                         VerQueryValueW(resource.data(), L"\\", &fixed, &length);
        std::vector<unsigned char> got;
        const EndpointAnswer answer = fileFixedVersion({file.begin(), file.end()}, &got);
        const auto* bytes = static_cast<const unsigned char*>(fixed);
        if (has ? answer != EndpointAnswer::Ok || !fileVersionOf(got) ||
                      got != std::vector<unsigned char>(bytes, bytes + length)
                : answer != EndpointAnswer::NotFound)
            fail("the version resource of " + std::string(file.begin(), file.end()));
        std::printf("version resource of %s: %s\n", std::string(file.begin(), file.end()).c_str(),
                    fileVersionOf(got) ? versionText(*fileVersionOf(got)).c_str() : "none");
    }
    std::u16string files[2];
    const EndpointAnswer answers[] = {
        classServerPath(u"{BCDE0395-E52F-467C-8E3D-C4579291692E}", &files[0]),
        serviceImagePath(u"mountmgr", &files[1])};
    for (int i = 0; i < 2; ++i)
        if (answers[i] != EndpointAnswer::Ok || GetFileAttributesW(reinterpret_cast<const wchar_t*>(
                                                    files[i].c_str())) == INVALID_FILE_ATTRIBUTES)
            fail(std::string(i == 0 ? "the device enumerator's" : "mountmgr's") +
                 " file: " + answerName(answers[i]) + " " + shown(files[i]));
    std::printf("the device enumerator's file %s, mountmgr's %s\n", shown(files[0]).c_str(),
                shown(files[1]).c_str());
}

int main() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    LiveEndpointSession session;
    if (FAILED(session.status())) {
        std::printf("FAIL the live endpoint service did not start: %s\n",
                    hexCode(static_cast<std::uint32_t>(session.status())).c_str());
        return 1;
    }
    const LiveEndpoints live = session.gather();
    EndpointService* service = nullptr;
    const EndpointAnswer opened = openEndpointService(&service);
    if (opened != EndpointAnswer::Ok) {
        std::printf("FAIL the program's endpoint service answered %s\n", answerName(opened));
        return 1;
    }

    checkWaveDevices('I', live.inputs);
    checkWaveDevices('O', live.outputs);
    checkLists(service, live);
    checkHardwareCalls();

    const std::vector<Sample> sample = samples();
    std::vector<Row> rows;
    for (const LiveEndpoint& e : live.endpoints)
        rows.push_back(checkEndpoint(service, session, e, sample));
    checkNames(live);
    checkCodePage();
    checkComLeftAsFound();

    // The prefix must give devices that differ, or the exclusive view is not
    // really compared.
    std::vector<std::string> patterns;
    for (const Row& row : rows)
        if (!row.answers.empty() && row.answers.find('!') == std::string::npos)
            patterns.push_back(row.answers);
    std::sort(patterns.begin(), patterns.end());
    patterns.erase(std::unique(patterns.begin(), patterns.end()), patterns.end());
    if (patterns.size() < 2)
        fail("every endpoint answers the sample alike");

    std::printf("%zu waveform inputs, %zu outputs; %zu endpoints (%zu and %zu active)\n",
                live.inputs.size(), live.outputs.size(), live.endpoints.size(),
                live.activeIds[0].size(), live.activeIds[1].size());
    std::printf("exclusive sample:");
    for (const Sample& s : sample)
        std::printf(" %s", s.name);
    std::printf("\n");
    for (std::size_t i = 0; i < live.endpoints.size(); ++i) {
        const LiveEndpoint& e = live.endpoints[i];
        std::string roles;
        const char* roleNames[3] = {"console", "multimedia", "communications"};
        for (int role = 0; role < 3; ++role)
            if (e.defaultFor[role])
                roles += std::string(roles.empty() ? " default for " : ",") + roleNames[role];
        std::printf("%c %s%s\n    %s; form factor %s; %s\n    accepts:", e.direction,
                    shownOptional(e.friendlyName).c_str(), roles.c_str(), shown(e.id).c_str(),
                    e.formFactor ? std::to_string(*e.formFactor).c_str() : "(none)",
                    mixSummary(e.mixFormat).c_str());
        const Row& row = rows[i];
        if (row.other != EndpointAnswer::Ok || !e.active()) {
            std::printf(" nothing: %s\n", e.active() ? answerName(row.other) : "out of use");
            continue;
        }
        for (std::size_t k = 0; k < row.answers.size(); ++k)
            if (row.answers[k] == 'y')
                std::printf(" %s", sample[k].name);
        std::printf("\n");
    }

    // An id no endpoint has.
    const std::u16string unknownId = u"{0.0.0.00000000}.{00000000-0000-0000-0000-000000000000}";
    EndpointDevice* nothing = nullptr;
    const EndpointAnswer unknown = openEndpoint(service, unknownId, &nothing);
    const HRESULT unknownLive = session.findResult(unknownId);
    if (unknown == EndpointAnswer::Ok || nothing != nullptr ||
        unknown != endpointAnswerOf(unknownLive))
        fail(std::string("an id no endpoint has: opening answered ") + answerName(unknown) +
             ", live gives " + hexCode(static_cast<std::uint32_t>(unknownLive)));
    std::printf("an id no endpoint has: %s (live %s)\n", answerName(unknown),
                hexCode(static_cast<std::uint32_t>(unknownLive)).c_str());

    if (!live.activeIds[1].empty()) {
        const std::u16string& id =
            live.defaults[1][0] ? *live.defaults[1][0] : live.activeIds[1].front();
        std::printf("one exclusive question through the program's calls, median of 301:");
        for (const char* name : {"float32", "int24in32", "nonsense"})
            for (const Sample& s : sample)
                if (std::strcmp(s.name, name) == 0)
                    std::printf(" %s %.1f us;", name, exclusiveCost(service, id, &s.format.Format));
        std::printf("\n");
    }
    closeEndpointService(service);

    std::printf("%d failures\n", failures);
    return failures == 0 ? 0 : 1;
}
