// Runs the JSON report of each mode (slow, quick, exclusive, verify) against a simulated
// machine built from the input, as fuzz_platform builds it (fuzz_machine.h),
// and reads each document back. Whatever the devices and endpoints say, the
// run succeeds, standard output is one document that parses, and it agrees
// with the machine: the devices and their numbers as the quick text report
// lists them, names converted to UTF-8 from the code page and from UTF-16,
// each device's endpoint there exactly when it could be had, the PCM bits,
// slow formats the device accepted, exclusive formats the device took, what
// the verify mode opened against the opens the device saw, and every key in
// its place. Standard error stays empty, unless it is a console: then it holds
// only the progress line, erased at the end. Last, the watch's JSON Lines over
// the input's script of notifications each parse.
//
// The input: the machine as fuzz_platform reads it, then one byte whose bits
// 0 to 3 make standard error a console for the slow, quick, exclusive and verify
// run, then the conditions.
#include "fuzz_machine.h"

#include "catalogue/format_catalogue.h"
#include "report/manufacturer_names.h"
#include "support/captured_output.h"
#include "support/report_shape.h"
#include "support/simulated_setup.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <iterator>
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

enum class Mode { Slow, Quick, Exclusive, Verify };

// The modes that show the endpoint view: the verify mode is the exclusive one and its opens.
bool endpointView(Mode mode) {
    return mode == Mode::Exclusive || mode == Mode::Verify;
}

struct Context {
    const simulated::Machine& m;
    const EndpointExpectations& expected;
    Mode mode;
    bool console; // standard error is a console
    bool memoryFailed;
    std::vector<FormatHeader> known; // the catalogue, after the slow run
};

// Every member, in order, an unmatched one's formats last; the exclusive mode's own null exactly
// where the machine's answer is a failure (their values are the unit tests').
void checkEndpointMembers(const Context& c, const Json& endpoint, std::size_t index,
                          DeviceDirection direction, const std::string& where,
                          bool unmatched = false) {
    const EndpointView view = expectedView(c.m, c.expected, index, direction);
    const bool exclusive = endpointView(c.mode),
               known[] = {view.state >= 0,    view.deviceFormat, view.devicePeriods,
                          view.enginePeriods, view.volume,       view.enhancements,
                          !!view.sessions};
    std::vector<const char*> keys = {"id",
                                     "direction",
                                     "name",
                                     "adapter",
                                     "formFactor",
                                     "default",
                                     "state",
                                     "deviceFormat",
                                     "devicePeriod",
                                     "enginePeriod",
                                     "volume",
                                     "enhancements",
                                     "sessions",
                                     "hardware",
                                     "driver",
                                     "problem",
                                     "bluetoothProfile",
                                     "containerId",
                                     "effects",
                                     "mix",
                                     "exclusive"};
    keys.resize(exclusive ? unmatched ? 21 : 19 : 6);
    expectKeys(endpoint, keys, where);
    for (std::size_t i = 6; exclusive && i < 13; ++i)
        expect(endpoint[keys[i]].is_null() != known[i - 6],
               [&] { return where + ": " + keys[i] + " " + endpoint[keys[i]].dump(); });
    // The hardware's members null exactly where the machine's answer is a failure; their values
    // are the unit tests', but the container id and the number of effects.
    const bool hardwareKnown[] = {view.adapterReached, view.located, view.problem != 0};
    for (std::size_t i = 13; exclusive && i < 16; ++i)
        expect(endpoint[keys[i]].is_null() != hardwareKnown[i - 13],
               [&] { return where + ": " + keys[i] + " " + endpoint[keys[i]].dump(); });
    if (exclusive) {
        expectTextOrNull(endpoint["containerId"], utf8OrNone(view.containerId),
                         where + ": containerId");
        expect(view.effects
                   ? endpoint["effects"].is_array() && endpoint["effects"].size() == *view.effects
                   : endpoint["effects"].is_null(),
               [&] { return where + ": effects " + endpoint["effects"].dump(); });
        expect(view.bluetooth || endpoint["bluetoothProfile"].is_null(),
               [&] { return where + ": bluetoothProfile of another bus"; });
    }
    expectText(endpoint["id"], utf8Of(view.id), where + ": id");
    expectText(endpoint["direction"], direction == 'I' ? "input" : "output", where + ": direction");
    expectTextOrNull(endpoint["name"], utf8OrNone(view.name), where + ": name");
    expectTextOrNull(endpoint["adapter"], utf8OrNone(view.adapter), where + ": adapter");
    expectTextOrNull(endpoint["formFactor"],
                     view.formFactor ? std::optional<std::string>(formFactorWord(*view.formFactor))
                                     : std::nullopt,
                     where + ": formFactor");
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

void checkMix(const Context& c, const Json& mix, std::optional<std::size_t> endpoint,
              DeviceDirection direction, const std::string& where) {
    const bool read = endpoint && expectedView(c.m, c.expected, *endpoint, direction).mix;
    const std::optional<MixView> wanted =
        read ? expectedMix(c.m.endpoints.endpoints[*endpoint]) : std::nullopt;
    if (!wanted) {
        expect(mix.is_null(), [&] { return where + ": mix " + mix.dump() + ", expected null"; });
        return;
    }
    expectKeys(mix, {"sample", "rate", "channels", "channelMask"}, where + ": mix");
    expectTextOrNull(mix["sample"],
                     wanted->sample ? std::optional<std::string>(sampleWord(*wanted->sample))
                                    : std::nullopt,
                     where + ": mix sample");
    expectNumber(mix["rate"], wanted->rate, where + ": mix rate");
    expectNumber(mix["channels"], wanted->channels, where + ": mix channels");
    if (wanted->channelMask)
        expectNumber(mix["channelMask"], *wanted->channelMask, where + ": mix channelMask");
    else
        expect(mix["channelMask"].is_null(), where + ": mix channelMask for a plain header");
}

// The verify mode's opens against those the device saw: nothing unlisted
// opened, nothing while in use; what an entry says opened did so the last time
// it was tried, and what it says failed failed (maybe reading the periods, which
// an open does first); the counts.
void checkOpens(const Context& c, const Json& exclusive, const std::vector<Claim>& claims,
                std::size_t endpoint, const std::string& where) {
    if (c.expected.probes[endpoint] != 1)
        return; // a second opening's tries mix with the first's, and its findings may differ
    const simulated::Endpoint& e = simulated::machine().endpoints.endpoints[endpoint];
    const auto cellOf = [](const simulated::StreamOpen& o) {
        return claimOf(reinterpret_cast<const WAVEFORMATEX*>(o.format.data()));
    };
    long counts[2] = {0, 0}; // failed, opened
    std::size_t at = 0;
    for (const Json& f : exclusive["formats"])
        for (std::size_t r = 0; r < f["rates"].size(); ++r, ++at) {
            const simulated::StreamOpen* last = nullptr;
            for (const simulated::StreamOpen& o : e.opens)
                last = cellOf(o) == claims[at] ? &o : last;
            const Json& opened = f["opened"];
            if (opened.is_boolean())
                ++counts[opened.get<bool>()];
            expect(opened.is_null() ||
                       (last != nullptr
                            ? SUCCEEDED(last->answer) == opened &&
                                  (opened == false || f["eventDriven"] == last->eventCallback)
                            : opened == false && FAILED(e.devicePeriods.result)),
                   [&] { return where + ": " + describe(claims[at]) + " said " + f.dump(); });
        }
    const Json& v = exclusive["verify"];
    expect(v == Json{{"status", v.value("status", "")},
                     {"listed", claims.size()},
                     {"opened", counts[1]},
                     {"failed", counts[0]}},
           [&] { return where + ": verify " + v.dump(); });
    for (const simulated::StreamOpen& o : e.opens)
        expect(v["status"] != "in use" && cellOf(o) &&
                   std::find(claims.begin(), claims.end(), *cellOf(o)) != claims.end(),
               where + ": opened what is not listed, or while in use");
}

void checkExclusiveMember(const Context& c, const Json& exclusive,
                          std::optional<std::size_t> endpoint, const std::string& where) {
    const bool verify = c.mode == Mode::Verify;
    std::vector<const char*> keys = {"status", "formats", "verify"};
    expectKeys(exclusive, {keys.begin(), keys.end() - !verify}, where + ": exclusive");
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
        std::vector<const char*> fields = {"sample", "channels", "channelMask", "extensible",
                                           "rates",  "opened",   "openAnswer",  "eventDriven"};
        expectKeys(f, {fields.begin(), fields.end() - (verify ? 0 : 3)},
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
    if (!endpoint) {
        expect(word == "unavailable" && claims.empty(), [&] {
            return where + ": exclusive findings without an endpoint: " + exclusive.dump();
        });
        return;
    }
    checkExclusive(c.m, c.expected, *endpoint, word, claims, where);
    if (verify)
        checkOpens(c, exclusive, claims, *endpoint, where);
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
                 std::optional<std::size_t> endpoint, DeviceDirection direction,
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
    case Mode::Verify:
        expectKeys(device, {"id", "name", "manufacturer", "endpoint", "mix", "exclusive"}, where);
        break;
    }
    expectNumber(device["id"], id, where + ": id");
    expectText(device["name"], utf8OfAnsi(d.szPname, sizeof d.szPname), where + ": name");
    expectKeys(device["manufacturer"], {"id", "name"}, where + ": manufacturer");
    expectNumber(device["manufacturer"]["id"], d.wMid, where + ": manufacturer id");
    expectText(device["manufacturer"]["name"], utf8OfLatin1(manufacturerName(d.wMid)),
               where + ": manufacturer name");
    if (endpoint) {
        checkEndpointMembers(c, device["endpoint"], *endpoint, direction, where + ": endpoint");
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
    case Mode::Verify:
        checkMix(c, device["mix"], endpoint, direction, where);
        checkExclusiveMember(c, device["exclusive"], endpoint, where);
        break;
    }
}

// The progress lines the run must have shown, in order.
std::vector<std::string> progressLines(const simulated::Machine& m) {
    std::vector<std::string> lines;
    for (int s = 0; s < 2; ++s) {
        const std::vector<simulated::Device>& devices = s == 0 ? m.inputs : m.outputs;
        const std::optional<UINT>& reported = s == 0 ? m.inputCount : m.outputCount;
        const auto count =
            static_cast<std::int32_t>(reported ? *reported : static_cast<UINT>(devices.size()));
        for (long id : listedIds(devices, reported)) {
            const simulated::Device& d = devices[static_cast<std::size_t>(id)];
            lines.push_back(std::string("probing ") + (s == 0 ? "input " : "output ") +
                            std::to_string(id + 1) + " of " + std::to_string(count) + ": " +
                            shown(d.szPname, sizeof d.szPname));
        }
    }
    return lines;
}

// On a console: each line over the one before, then the whole line erased (two blank pieces);
// nothing else. The slow mode's lines, the devices' alone, are blanked exactly (a column a
// character); the exclusive mode's endpoint lines are the unit tests'.
void checkErrors(const Context& c, const std::string& errors, const std::string& where) {
    const std::string shown = utf8Of(simulated::calls().errorConsole);
    simulated::calls().errorConsole.clear();
    std::vector<std::string> seen, wanted = progressLines(c.m);
    if (c.console && c.mode == Mode::Slow && !wanted.empty()) {
        std::string exact;
        std::size_t width = 0;
        for (const std::string& line : wanted) {
            exact += "\r" + line + std::string(line.size() < width ? width - line.size() : 0, ' ');
            width = line.size();
        }
        exact += "\r" + std::string(width, ' ') + "\r";
        expect(shown == utf8OfAnsi(exact.c_str(), exact.size()),
               where + ": the console shows \"" + shown + "\"");
    }
    for (std::string& line : wanted) {
        line.erase(line.find_last_not_of(' ') + 1); // as the blanking is left out
        line = utf8OfAnsi(line.c_str(), line.size());
    }
    for (std::size_t at = 0, end; at < shown.size(); at = end) {
        end = std::min(shown.find('\r', at + 1), shown.size());
        std::string line = shown.substr(at + 1, end - at - 1);
        line.erase(line.find_last_not_of(' ') + 1);
        if (!endpointView(c.mode) ||
            (line.find(" endpoint:") > 14 && line.rfind("opening ", 0) != 0)) // not an endpoint's
            seen.push_back(line);
    }
    wanted.resize(c.console && c.mode != Mode::Quick ? wanted.size() + 2 * !shown.empty() : 0);
    expect(errors.empty() && seen == wanted && (shown.empty() || shown[0] == '\r'),
           where + ": standard error holds \"" + errors + "\", its console \"" + shown + "\"");
}

void checkRun(const Context& c, const FullRun& run, const ParsedReport& quickText) {
    const char* const modeWords[] = {"slow", "quick", "exclusive", "verify"};
    const std::string where = std::string(modeWords[static_cast<int>(c.mode)]) + " json";
    expect(run.status == 0, where + ": exit status " + std::to_string(run.status));
    checkErrors(c, run.errors, where);
    expect(!run.output.empty() && run.output.back() == '\n',
           where + ": the document does not end with a line break");
    const Json document = Json::parse(run.output, nullptr, false);
    expect(!document.is_discarded(), where + ": the document does not parse: " + run.output);
    std::vector<const char*> keys = {"program", "version", "schema",  "mode",
                                     "system",  "inputs",  "outputs", "unmatchedEndpoints"};
    if (!endpointView(c.mode))
        keys.erase(keys.begin() + 4);
    if (c.mode == Mode::Exclusive)
        keys.push_back("notPresentCount");
    expectKeys(document, keys, where);
    if (endpointView(c.mode)) // the system's members are the unit tests'
        expectKeys(document["system"],
                   {"windowsVersion", "build", "audioService", "endpointBuilder"},
                   where + ": system");
    if (c.mode == Mode::Exclusive) {
        // Null for a direction whose endpoints could not be listed.
        Json want = Json::object();
        for (int s = 0; s < 2; ++s) {
            const std::optional<std::size_t>& n = c.expected.sections[s].notPresent;
            want[s == 0 ? "inputs" : "outputs"] = n ? Json(*n) : Json(nullptr);
        }
        expect(document["notPresentCount"] == want, [&] {
            return where + ": notPresentCount " + document["notPresentCount"].dump() +
                   ", expected " + want.dump();
        });
    }
    expectText(document["program"], "sndscout", where + ": program");
    expect(document["version"].is_string(), where + ": version");
    expectNumber(document["schema"], 1, where + ": schema");
    expectText(document["mode"], modeWords[static_cast<int>(c.mode)], where + ": mode");

    Json unmatched = Json::array();
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
        for (std::size_t index : endpoints.unmatched)
            unmatched.push_back(Json{{"index", index}, {"direction", s}});
    }

    const Json& found = document["unmatchedEndpoints"];
    expect(found.is_array() && found.size() == unmatched.size(), [&] {
        return where + ": unmatched endpoints " + found.dump() + ", expected " +
               std::to_string(unmatched.size());
    });
    for (std::size_t i = 0; i < unmatched.size(); ++i) {
        const auto index = unmatched[i]["index"].get<std::size_t>();
        const DeviceDirection direction = unmatched[i]["direction"] == 0 ? 'I' : 'O';
        const std::string at = where + ": unmatched endpoint " + std::to_string(i);
        const Json& endpoint = found[i];
        checkEndpointMembers(c, endpoint, index, direction, at, true);
        if (endpointView(c.mode)) {
            checkMix(c, endpoint["mix"], index, direction, at);
            checkExclusiveMember(c, endpoint["exclusive"], index, at);
        }
    }
}

// The watch's JSON Lines: each one object that parses, of an event it names,
// about an endpoint by id or none, the last counting every callback played.
void checkWatchLines(const FullRun& run) {
    expect(run.status == 0 && run.errors.empty(), "watch json: status or errors");
    const char* const events[] = {"endpoint",        "notWatched",   "added",
                                  "removed",         "stateChanged", "defaultChanged",
                                  "propertyChanged", "mixChanged",   "volumeChanged",
                                  "session",         "ended"};
    Json last;
    for (std::size_t start = 0; start < run.output.size();) {
        const std::size_t end = run.output.find('\n', start);
        expect(end != std::string::npos, "a JSON line without its end");
        const std::string line = run.output.substr(start, end - start);
        start = end + 1;
        expect(Json::accept(line), "not one JSON object: " + line);
        last = Json::parse(line);
        expect(last["time"].is_string() && last["time"].get<std::string>().size() == 23 &&
                   last["event"].is_string() &&
                   std::find(std::begin(events), std::end(events), last["event"]) !=
                       std::end(events),
               "a JSON line's time or event: " + line);
        if (last.contains("id"))
            expect((last["id"].is_string() || last["id"].is_null()) &&
                       (last["name"].is_string() || last["name"].is_null()),
                   "a JSON line's endpoint: " + line);
    }
    const auto seen = static_cast<std::int64_t>(simulated::calls().watch.callbacks);
    expect(last["event"] == "ended" && last["seen"] == seen && last["lost"] <= seen,
           "the watch's last line: " + last.dump() + ", " + std::to_string(seen) + " callbacks");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    resetEverything();
    Input in(data, size);
    simulated::Machine& m = simulated::machine();
    const MemoryFault memory = readMachine(in, m);
    const std::uint8_t consoles = in.byte();
    const std::optional<Hang> hang = readEndpointConditions(in, m);
    readNotifications(in, m);
    const simulated::Machine furnished = m; // the program only reads it, but for the watch

    ParsedReport quickText;
    const ProgramRun quick = runWithArguments({"quick"});
    expect(parseReport(quick.output, &quickText).empty(), "quick text report");

    const struct {
        Mode mode;
        std::vector<std::string> arguments;
    } runs[] = {
        {Mode::Slow, {"json"}},
        {Mode::Quick, {"quick", "json"}},
        // those not present counted by one, listed by the other
        {Mode::Exclusive, {"exclusive", "json"}},
        {Mode::Verify, {"verify", "all", "json"}},
    };
    for (const auto& r : runs) {
        const int bit = static_cast<int>(r.mode);
        m.errorConsole = (consoles >> bit & 1) != 0;
        const bool memoryFails = memory.fails && r.mode == Mode::Slow;
        if (memoryFails)
            simulated::failAllocation(memory.allocation, memory.persistent);
        // Only the exclusive mode asks the endpoints formats, and only the verify mode opens.
        expect(r.mode == Mode::Verify || simulated::calls().exclusiveQuestions == 0,
               "exclusive-mode questions before the exclusive run");
        expect(simulated::calls().streamOpens == 0, "a stream opened before the verify run");
        // The verify run's hangs are its opens'.
        EndpointExpectations expected =
            expectEndpoints(furnished, endpointView(r.mode),
                            r.mode == Mode::Verify ? std::nullopt : hang, r.mode == Mode::Verify);
        if (endpointView(r.mode))
            clearProbeLogs();
        if (r.mode == Mode::Verify)
            for (simulated::Endpoint& e : m.endpoints.endpoints)
                e.hangsAtCall.reset();
        const auto start = armHang(m, expected);
        const FullRun run = runCapturingErrors(r.arguments);
        checkHang(m, expected, start);
        simulated::failAllocation(0);
        Context c{furnished, expected, r.mode, m.errorConsole, memoryFails, {}};
        if (r.mode == Mode::Slow)
            c.known = catalogueFormats();
        checkRun(c, run, quickText);
        emptyCatalogue();
    }
    expect(simulated::calls().comDepth == 0,
           std::to_string(simulated::calls().comDepth) + " COM set-ups not undone");
    expect(simulated::calls().openEndpoints == 0,
           std::to_string(simulated::calls().openEndpoints) + " endpoints left open");

    // Last, as its script changes the machine.
    checkWatchLines(runCapturingErrors({"watch", "json"}));
    expectWatchLeftNothing("watch json");

    resetEverything();
    return 0;
}
