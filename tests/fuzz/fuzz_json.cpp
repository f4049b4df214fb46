// Runs the JSON report of each mode (slow, quick, exclusive) against a simulated
// machine built from the input, as fuzz_platform builds it (fuzz_machine.h),
// and reads each document back. Whatever the devices and endpoints say, the
// run succeeds, standard output is one document that parses, and it agrees
// with the machine: the devices and their numbers as the quick text report
// lists them, names converted to UTF-8 from the code page and from UTF-16,
// each device's endpoint there exactly when it could be had, the PCM bits,
// slow formats the device accepted, exclusive formats the device took, the
// exclusive mode's own members (state, formats, periods, volume, effects,
// sessions) and no others in the other modes, and every key in its place.
// Standard error stays empty; when it is a console, the console holds only the
// progress line, erased at the end. When standard output is a console, the
// console holds the same document in UTF-16, each line end as CR LF.
//
// The input: the machine as fuzz_platform reads it, then one byte whose bits
// 0 to 2 make standard error a console for the slow, quick and exclusive run,
// and bits 3 to 5 standard output, then the endpoints' conditions and the
// hang, as fuzz_platform reads them.
#include "fuzz_machine.h"

#include "catalogue/format_catalogue.h"
#include "report/manufacturer_names.h"
#include "support/captured_output.h"
#include "support/report_shape.h"
#include "support/simulated_setup.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using namespace fuzz;
using Json = nlohmann::ordered_json;

// The object's keys, all of them, in this order.
void expectKeys(const Json& object, const std::vector<const char*>& keys,
                const std::string& where) {
    expect(object.is_object(), [&] { return where + ": not an object: " + object.dump(); });
    std::vector<std::string> found;
    for (const auto& item : object.items())
        found.push_back(item.key());
    expect(found == std::vector<std::string>(keys.begin(), keys.end()),
           [&] { return where + ": keys of " + object.dump(); });
}

void expectNumber(const Json& value, std::int64_t wanted, const std::string& where) {
    expect(value.is_number_integer() && value.get<std::int64_t>() == wanted,
           [&] { return where + ": " + value.dump() + ", expected " + std::to_string(wanted); });
}

void expectText(const Json& value, const std::string& wanted, const std::string& where) {
    expect(value.is_string() && value.get<std::string>() == wanted,
           [&] { return where + ": " + value.dump() + ", expected " + Json(wanted).dump(); });
}

void expectTextOrNull(const Json& value, const std::optional<std::string>& wanted,
                      const std::string& where) {
    if (wanted)
        expectText(value, *wanted, where);
    else
        expect(value.is_null(), [&] { return where + ": " + value.dump() + ", expected null"; });
}

std::optional<std::string> utf8OrNone(const std::optional<std::u16string>& text) {
    return text ? std::optional<std::string>(utf8Of(*text)) : std::nullopt;
}

enum class Mode { Slow, Quick, Exclusive };

struct Context {
    const simulated::Machine& m;
    const EndpointExpectations& expected;
    Mode mode;
    bool console;                   // standard error is a console
    const std::u16string& progress; // what its console was written
    bool memoryFailed;
    std::vector<FormatHeader> known; // the catalogue, after the slow run
};

// A FORMAT, or null.
Json formatJson(const std::optional<MixView>& f) {
    if (!f)
        return nullptr;
    return {{"sample", f->sample ? Json(sampleWord(*f->sample)) : Json()},
            {"rate", f->rate},
            {"channels", f->channels},
            {"channelMask", f->channelMask ? Json(*f->channelMask) : Json()}};
}

template <class T, class Make> Json nullOr(const std::optional<T>& value, Make make) {
    return value ? make(*value) : Json();
}

// How the endpoint is set and used: the exclusive mode's members, in order.
Json conditionJson(const EndpointView& v) {
    const char* const states[] = {"active", "disabled", "notPresent", "unplugged"};
    Json state;
    for (unsigned bit = 0; v.state && bit < 4; ++bit)
        if (*v.state == 1u << bit)
            state = states[bit];
    Json members = {{"state", state}, {"deviceFormat", formatJson(v.deviceFormat)}};
    members["devicePeriod"] = nullOr(v.devicePeriods, [](const DevicePeriods& p) {
        return Json{{"defaultMs", rounded(p.defaultPeriod / 1e4, 4)},
                    {"minimumMs", rounded(p.minimumPeriod / 1e4, 4)}};
    });
    members["enginePeriod"] = nullOr(v.enginePeriods, [](const EnginePeriods& e) {
        return Json{{"defaultFrames", e.defaultFrames},
                    {"fundamentalFrames", e.fundamentalFrames},
                    {"minimumFrames", e.minimumFrames},
                    {"maximumFrames", e.maximumFrames}};
    });
    members["volume"] = nullOr(v.volume, [](const VolumeReading& r) {
        return Json{{"db", rounded(r.levelDb, 2)},
                    {"percent", std::lround(double(r.scalar) * 100)},
                    {"muted", r.muted},
                    {"minDb", rounded(r.minimumDb, 2)},
                    {"maxDb", rounded(r.maximumDb, 2)},
                    {"stepDb", rounded(r.stepDb, 2)}};
    });
    members["enhancements"] = nullOr(v.enhancements, [](bool on) { return Json(on); });
    members["sessions"] = nullOr(v.sessions, [](const std::vector<SessionView>& all) {
        Json sessions = Json::array();
        for (const SessionView& s : all)
            sessions.push_back({{"pid", nullOr(s.pid, [](std::uint32_t pid) { return Json(pid); })},
                                {"program", nullOr(utf8OrNone(s.program),
                                                   [](const std::string& p) { return Json(p); })},
                                {"state", s.state < 3 ? Json(sessionStateWords[s.state]) : Json()},
                                {"system", s.system}});
        return sessions;
    });
    return members;
}

// The members of an endpoint object, which an unmatched endpoint's object
// shares, all of them, in their order.
void checkEndpointMembers(const Context& c, const Json& endpoint, const EndpointView& view,
                          DeviceDirection direction, std::initializer_list<const char*> more,
                          const std::string& where) {
    std::vector<const char*> keys = {"id", "direction", "name", "adapter", "formFactor", "default"};
    if (c.mode == Mode::Exclusive)
        keys.insert(keys.end(), {"state", "deviceFormat", "devicePeriod", "enginePeriod", "volume",
                                 "enhancements", "sessions"});
    keys.insert(keys.end(), more);
    expectKeys(endpoint, keys, where);
    expectText(endpoint["id"], utf8Of(view.id), where + ": id");
    expectText(endpoint["direction"], direction == 'I' ? "input" : "output", where + ": direction");
    expectTextOrNull(endpoint["name"], utf8OrNone(view.name), where + ": name");
    expectTextOrNull(endpoint["adapter"], utf8OrNone(view.adapter), where + ": adapter");
    expectTextOrNull(endpoint["formFactor"],
                     view.formFactor ? std::optional<std::string>(formFactorWord(*view.formFactor))
                                     : std::nullopt,
                     where + ": formFactor");
    const Json condition = c.mode == Mode::Exclusive ? conditionJson(view) : Json::object();
    for (const auto& [key, wanted] : condition.items())
        expect(endpoint[key] == wanted, [&, &key = key, &wanted = wanted] {
            return where + ": " + key + " " + endpoint[key].dump() + ", expected " + wanted.dump();
        });
    if (!view.defaultFor) {
        expect(endpoint["default"].is_null(),
               [&] { return where + ": default " + endpoint["default"].dump(); });
        return;
    }
    Json roles = Json::array();
    for (int role = 0; role < endpointRoleCount; ++role)
        if ((*view.defaultFor)[role])
            roles.push_back(roleWords[role]);
    expect(endpoint["default"] == roles, [&] {
        return where + ": default " + endpoint["default"].dump() + ", expected " + roles.dump();
    });
}

void checkExclusiveMember(const Context& c, const Json& exclusive,
                          const std::optional<Visit>& visit, const EndpointView* view,
                          const std::string& where) {
    expectKeys(exclusive, {"status", "formats"}, where + ": exclusive");
    const Json& status = exclusive["status"];
    expect(status.is_string(), [&] { return where + ": status " + status.dump(); });
    const std::string word = status.get<std::string>();
    expect(word == "ok" || word == "not allowed" || word == "busy" || word == "gone" ||
               word == "access denied" || word == "unavailable" || word == "not answering" ||
               word == "inactive",
           where + ": status " + word);
    const Json& formats = exclusive["formats"];
    expect(formats.is_array(), [&] { return where + ": formats " + formats.dump(); });
    std::vector<Claim> claims;
    for (const Json& f : formats) {
        expectKeys(f, {"sample", "channels", "channelMask", "extensible", "rates"},
                   where + ": exclusive format");
        const std::optional<SampleType> sample =
            f["sample"].is_string() ? sampleOfWord(f["sample"].get<std::string>()) : std::nullopt;
        expect(sample.has_value(), [&] { return where + ": sample " + f["sample"].dump(); });
        expect(f["channels"].is_number_unsigned() && f["extensible"].is_boolean() &&
                   f["rates"].is_array() && !f["rates"].empty(),
               [&] { return where + ": " + f.dump(); });
        const bool extensible = f["extensible"].get<bool>();
        // A plain header says nothing of speaker positions.
        expect(extensible ? f["channelMask"].is_number_unsigned() : f["channelMask"].is_null(),
               [&] { return where + ": channelMask of " + f.dump(); });
        Claim claim{*sample, f["channels"].get<unsigned>(), 0, extensible,
                    extensible ? f["channelMask"].get<DWORD>() : 0};
        DWORD previous = 0;
        for (const Json& rate : f["rates"]) {
            expect(rate.is_number_unsigned() && rate.get<DWORD>() > previous,
                   [&] { return where + ": rates not rising in " + f.dump(); });
            claim.rate = previous = rate.get<DWORD>();
            claims.push_back(claim);
        }
    }
    if (!visit) {
        expect(word == "unavailable" && claims.empty(), [&] {
            return where + ": exclusive findings without an endpoint: " + exclusive.dump();
        });
        return;
    }
    checkExclusive(c.m, c.expected, *visit, *view, word, claims, where);
}

void checkPcm(const Json& pcm, DWORD bits, const std::string& where) {
    Json wanted = Json::array();
    const DWORD rates[] = {11025, 22050, 44100};
    for (unsigned r = 0; r < 3; ++r)
        for (unsigned channels = 1; channels <= 2; ++channels)
            for (unsigned sampleBits = 8; sampleBits <= 16; sampleBits += 8)
                if ((bits >> (4 * r + (channels - 1) + (sampleBits == 16 ? 2 : 0)) & 1) != 0)
                    wanted.push_back(
                        Json{{"rate", rates[r]}, {"channels", channels}, {"bits", sampleBits}});
    expect(pcm == wanted,
           [&] { return where + ": pcm " + pcm.dump() + ", expected " + wanted.dump(); });
}

// The tag's name as the catalogue must have it: the first tag entry the
// manager finds answers; a refused or missing one has none.
std::optional<std::string> tagName(const simulated::Machine& m, WORD tag) {
    for (const simulated::FormatTag& t : m.tags)
        if (t.tag == tag)
            return t.detailsResult == MMSYSERR_NOERROR
                       ? std::optional<std::string>(utf8OfAnsi(t.name, sizeof t.name))
                       : std::nullopt;
    return std::nullopt;
}

void checkSlowFormats(const Context& c, const Json& formats, const simulated::Device& d,
                      const std::string& where) {
    expect(formats.is_array(), [&] { return where + ": formats " + formats.dump(); });
    std::vector<std::size_t> wanted;
    for (std::size_t i = 0; i < askedOf(d, c.known); ++i)
        if (accepts(d, c.known[i]))
            wanted.push_back(i);
    std::size_t next = 0; // in catalogue order
    std::size_t count = 0;
    for (const Json& f : formats) {
        expectKeys(f,
                   {"tag", "tagName", "rate", "channels", "bits", "blockAlign", "avgBytesPerSec"},
                   where + ": format");
        while (next < c.known.size()) {
            const FormatHeader& h = c.known[next++];
            if (f["tag"] == h.wFormatTag && f["rate"] == h.nSamplesPerSec &&
                f["channels"] == h.nChannels && f["bits"] == h.wBitsPerSample &&
                f["blockAlign"] == h.nBlockAlign && f["avgBytesPerSec"] == h.nAvgBytesPerSec) {
                expect(accepts(d, h),
                       [&] { return where + ": lists " + f.dump() + ", which it refused"; });
                if (!c.memoryFailed) {
                    expect(count < wanted.size() && wanted[count] == next - 1,
                           [&] { return where + ": lists " + f.dump() + " out of turn"; });
                    expectTextOrNull(f["tagName"], tagName(c.m, h.wFormatTag), where + ": tagName");
                }
                ++count;
                break;
            }
            expect(next < c.known.size(),
                   [&] { return where + ": " + f.dump() + " is not in the catalogue"; });
        }
    }
    expect(c.memoryFailed || count == wanted.size(), where + ": " + std::to_string(count) +
                                                         " formats listed, expected " +
                                                         std::to_string(wanted.size()));
}

void checkDevice(const Context& c, const Json& device, const simulated::Device& d, long id,
                 const std::optional<Visit>& visit, DeviceDirection direction,
                 const std::string& section) {
    const std::string where = section + " " + std::to_string(id);
    switch (c.mode) {
    case Mode::Quick:
        expectKeys(device, {"id", "name", "manufacturer", "endpoint", "pcm"}, where);
        break;
    case Mode::Slow:
        expectKeys(device, {"id", "name", "manufacturer", "endpoint", "formats"}, where);
        break;
    case Mode::Exclusive:
        expectKeys(device, {"id", "name", "manufacturer", "endpoint", "mix", "exclusive"}, where);
        break;
    }
    expectNumber(device["id"], id, where + ": id");
    expectText(device["name"], utf8OfAnsi(d.szPname, sizeof d.szPname), where + ": name");
    expectKeys(device["manufacturer"], {"id", "name"}, where + ": manufacturer");
    expectNumber(device["manufacturer"]["id"], d.wMid, where + ": manufacturer id");
    expectText(device["manufacturer"]["name"], utf8OfLatin1(manufacturerName(d.wMid)),
               where + ": manufacturer name");
    std::optional<EndpointView> view;
    if (visit) {
        view = expectedView(c.m, c.expected, *visit, direction);
        checkEndpointMembers(c, device["endpoint"], *view, direction, {}, where + ": endpoint");
    } else {
        expect(device["endpoint"].is_null(), [&] {
            return where + ": an endpoint where none can be had: " + device["endpoint"].dump();
        });
    }
    switch (c.mode) {
    case Mode::Quick:
        checkPcm(device["pcm"], d.dwFormats, where);
        break;
    case Mode::Slow:
        checkSlowFormats(c, device["formats"], d, where);
        break;
    case Mode::Exclusive:
        expect(device["mix"] == formatJson(view ? view->mix : std::nullopt),
               [&] { return where + ": mix " + device["mix"].dump(); });
        checkExclusiveMember(c, device["exclusive"], visit, view ? &*view : nullptr, where);
        break;
    }
}

// The progress lines the run must have shown, in order.
// An endpoint's name on the progress line: UTF-16, control characters as '?',
// the line at most 127 units and never ending in half a surrogate pair.
std::string progressName(const std::string& lead, const std::u16string& name) {
    std::u16string line(lead.begin(), lead.end());
    for (char16_t u : name)
        line += u < 0x20 || u == 0x7F ? u'?' : u;
    if (line.size() >= 127) {
        line.resize(127);
        if (line.back() >= 0xD800 && line.back() < 0xDC00)
            line.pop_back();
    }
    return utf8Of(line);
}

// The progress lines a JSON run shows, in order, in UTF-8.
std::vector<std::string> progressLines(const Context& c) {
    const simulated::Machine& m = c.m;
    std::vector<std::string> lines;
    for (int s = 0; s < 2; ++s) {
        const std::vector<simulated::Device>& devices = s == 0 ? m.inputs : m.outputs;
        const std::optional<UINT>& reported = s == 0 ? m.inputCount : m.outputCount;
        const auto count =
            static_cast<std::int32_t>(reported ? *reported : static_cast<UINT>(devices.size()));
        for (long id : listedIds(devices, reported)) {
            const simulated::Device& d = devices[static_cast<std::size_t>(id)];
            const std::string line = std::string("probing ") + (s == 0 ? "input " : "output ") +
                                     std::to_string(id + 1) + " of " + std::to_string(count) +
                                     ": " + shown(d.szPname, sizeof d.szPname);
            lines.push_back(utf8OfAnsi(line.c_str(), line.size()));
        }
        if (c.mode != Mode::Exclusive)
            continue;
        // Each endpoint no device led to, by its id and then, once it is
        // known, by its name.
        const std::string lead = s == 0 ? "probing input endpoint: " : "probing output endpoint: ";
        const SectionEndpoints& section = c.expected.sections[s];
        for (std::size_t i = 0; i < section.unmatchedIds.size(); ++i) {
            lines.push_back(progressName(lead, section.unmatchedIds[i]));
            if (!section.unmatched[i])
                continue;
            const EndpointView view =
                expectedView(m, c.expected, *section.unmatched[i], s == 0 ? 'I' : 'O');
            lines.push_back(progressName(lead, view.name ? *view.name : view.id));
        }
    }
    for (std::string& line : lines)
        line.erase(line.find_last_not_of(' ') + 1);
    return lines;
}

// On a console: each line over the one before (blanked where it was longer,
// by the console's columns), then the whole line erased. Nothing else.
void checkErrors(const Context& c, const std::string& errors, const std::string& where) {
    expect(errors.empty(), where + ": standard error holds \"" + errors + "\"");
    const std::string shown = utf8Of(c.progress);
    const std::vector<std::string> lines = progressLines(c);
    if (!c.console || c.mode == Mode::Quick || lines.empty()) {
        expect(shown.empty(), where + ": the console shows \"" + shown + "\"");
        return;
    }
    // The lines between carriage returns, their blanking left out.
    std::vector<std::string> seen;
    for (std::size_t at = 0; at < shown.size();) {
        const std::size_t end = std::min(shown.find('\r', at + 1), shown.size());
        std::string line = shown.substr(at + 1, end - at - 1);
        line.erase(line.find_last_not_of(' ') + 1);
        seen.push_back(line);
        at = end;
    }
    expect(shown.front() == '\r' && shown.back() == '\r' && seen.size() == lines.size() + 2 &&
               seen[lines.size()].empty() && seen.back().empty() &&
               std::equal(lines.begin(), lines.end(), seen.begin()),
           [&] { return where + ": the console shows \"" + shown + "\""; });
}

void checkRun(const Context& c, const FullRun& run, const ParsedReport& quickText) {
    const char* const modeWords[] = {"slow", "quick", "exclusive"};
    const std::string where = std::string(modeWords[static_cast<int>(c.mode)]) + " json";
    expect(run.status == 0, where + ": exit status " + std::to_string(run.status));
    checkErrors(c, run.errors, where);
    expect(!run.output.empty() && run.output.back() == '\n',
           where + ": the document does not end with a line break");
    const Json document = Json::parse(run.output, nullptr, false);
    expect(!document.is_discarded(), where + ": the document does not parse: " + run.output);
    expectKeys(document,
               {"program", "version", "schema", "mode", "inputs", "outputs", "unmatchedEndpoints"},
               where);
    expectText(document["program"], "sndscout", where + ": program");
    expect(document["version"].is_string(), where + ": version");
    expectNumber(document["schema"], 1, where + ": schema");
    expectText(document["mode"], modeWords[static_cast<int>(c.mode)], where + ": mode");

    std::vector<std::pair<Visit, DeviceDirection>> unmatched;
    for (int s = 0; s < 2; ++s) {
        const DeviceDirection direction = s == 0 ? 'I' : 'O';
        const std::string section = where + (s == 0 ? " input" : " output");
        const Json& devices = document[s == 0 ? "inputs" : "outputs"];
        const std::vector<ReportedDevice>& listed = s == 0 ? quickText.inputs : quickText.outputs;
        const std::vector<simulated::Device>& machineDevices = s == 0 ? c.m.inputs : c.m.outputs;
        const SectionEndpoints& endpoints = c.expected.sections[s];
        expect(devices.is_array() && devices.size() == listed.size(),
               section + ": " + std::to_string(devices.size()) + " devices, the text lists " +
                   std::to_string(listed.size()));
        expect(listed.size() == endpoints.devices.size(), section + ": device count");
        for (std::size_t i = 0; i < listed.size(); ++i)
            checkDevice(c, devices[i], machineDevices[static_cast<std::size_t>(listed[i].id)],
                        listed[i].id, endpoints.devices[i], direction, section);
        for (const std::optional<Visit>& visit : endpoints.unmatched)
            if (visit)
                unmatched.emplace_back(*visit, direction);
    }

    const Json& found = document["unmatchedEndpoints"];
    expect(found.is_array() && found.size() == unmatched.size(), [&] {
        return where + ": unmatched endpoints " + found.dump() + ", expected " +
               std::to_string(unmatched.size());
    });
    for (std::size_t i = 0; i < unmatched.size(); ++i) {
        const auto& [visit, direction] = unmatched[i];
        const std::string at = where + ": unmatched endpoint " + std::to_string(i);
        const Json& endpoint = found[i];
        const EndpointView view = expectedView(c.m, c.expected, visit, direction);
        if (c.mode != Mode::Exclusive) {
            checkEndpointMembers(c, endpoint, view, direction, {}, at);
            continue;
        }
        checkEndpointMembers(c, endpoint, view, direction, {"mix", "exclusive"}, at);
        expect(endpoint["mix"] == formatJson(view.mix),
               [&] { return at + ": mix " + endpoint["mix"].dump(); });
        checkExclusiveMember(c, endpoint["exclusive"], visit, &view, at);
    }
}

// The document a console was written: CR LF line ends, nothing else between
// the two.
std::string fromConsole(const std::u16string& text) {
    std::u16string lines;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool lineEnd = text[i] == u'\n';
        expect(lineEnd == (i > 0 && text[i - 1] == u'\r'), "a CR without LF on the console");
        if (text[i] != u'\r')
            lines += text[i];
    }
    return utf8Of(lines);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    resetEverything();
    Input in(data, size);
    simulated::Machine& m = simulated::machine();
    const MemoryFault memory = readMachine(in, m);
    const std::uint8_t consoles = in.byte();
    const std::optional<Hang> hang = readEndpointConditions(in, m);
    const simulated::Machine furnished = m; // the program only reads it
    const EndpointExpectations listing = expectEndpoints(furnished, false);
    EndpointExpectations exclusive = expectEndpoints(furnished, true, hang);

    ParsedReport quickText;
    const ProgramRun quick = runWithArguments({"quick"});
    expect(parseReport(quick.output, &quickText).empty(), "quick text report");

    const struct {
        Mode mode;
        std::vector<std::string> arguments;
    } runs[] = {
        {Mode::Slow, {"json"}},
        {Mode::Quick, {"quick", "json"}},
        {Mode::Exclusive, {"exclusive", "json"}},
    };
    for (const auto& r : runs) {
        const int bit = static_cast<int>(r.mode);
        m.errorConsole = (consoles >> bit & 1) != 0;
        m.outputConsole = (consoles >> (bit + 3) & 1) != 0;
        simulated::calls().outputConsole.clear();
        simulated::calls().errorConsole.clear();
        const bool memoryFails = memory.fails && r.mode == Mode::Slow;
        if (memoryFails)
            simulated::failAllocation(memory.allocation, memory.persistent);
        // Only the exclusive mode asks the endpoints formats.
        expect(simulated::calls().exclusiveQuestions == 0,
               "exclusive-mode questions before the exclusive run");
        if (r.mode == Mode::Exclusive) {
            armHang(m, exclusive);
            clearProbeLogs();
        }
        const auto start = std::chrono::steady_clock::now();
        FullRun run = runCapturingErrors(r.arguments);
        const auto took = std::chrono::steady_clock::now() - start;
        simulated::failAllocation(0);
        if (r.mode == Mode::Exclusive) {
            // A call left hanging closes what it opened once let go.
            simulated::releaseHangingCalls();
            checkHang(m, exclusive, took);
        }
        if (m.outputConsole) {
            expect(run.output.empty(), "standard output holds text while it is a console");
            run.output = fromConsole(simulated::calls().outputConsole);
        }
        Context c{furnished,
                  r.mode == Mode::Exclusive ? exclusive : listing,
                  r.mode,
                  m.errorConsole,
                  simulated::calls().errorConsole,
                  memoryFails,
                  {}};
        if (r.mode == Mode::Slow)
            c.known = catalogueFormats();
        checkRun(c, run, quickText);
        emptyCatalogue();
    }
    expect(simulated::calls().comDepth == 0,
           std::to_string(simulated::calls().comDepth) + " COM set-ups not undone");
    expect(simulated::calls().openEndpoints == 0,
           std::to_string(simulated::calls().openEndpoints) + " endpoints left open");

    resetEverything();
    return 0;
}
