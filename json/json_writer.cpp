#include "json/json_writer.h"

#include "app/version.h"
#include "catalogue/format_catalogue.h"
#include "endpoint/endpoint_vocabulary.h"
#include "hardware/hardware_vocabulary.h"
#include "hardware/problem_codes.h"
#include "json/endpoint_json.h"
#include "json/utf8.h"
#include "report/manufacturer_names.h"
#include "report/pcm_lines.h"
#include "verify/opens_vocabulary.h"

namespace {

const char* modeName(ReportKind kind) {
    switch (kind) {
    case ReportKind::Quick:
        return "quick";
    case ReportKind::Slow:
        return "slow";
    case ReportKind::Exclusive:
        return "exclusive";
    }
    return "slow";
}

// How the endpoint is set and used, in the exclusive mode.
void conditionMembers(JsonText& json, const EndpointCondition& c) {
    const char* state = c.state ? endpointStateName(*c.state) : nullptr;
    if (state != nullptr)
        json.key("state").string(state);
    else
        json.key("state").null();
    json.key("deviceFormat");
    if (c.deviceFormat)
        formatObject(json, *c.deviceFormat);
    else
        json.null();
    json.key("devicePeriod");
    if (c.devicePeriods) {
        json.beginObject(JsonText::Layout::OneLine);
        json.key("defaultMs").decimal(periodMilliseconds(c.devicePeriods->defaultPeriod));
        json.key("minimumMs").decimal(periodMilliseconds(c.devicePeriods->minimumPeriod));
        json.endObject();
    } else {
        json.null();
    }
    json.key("enginePeriod");
    if (c.enginePeriods) {
        json.beginObject(JsonText::Layout::OneLine);
        json.key("defaultFrames").number(c.enginePeriods->defaultFrames);
        json.key("fundamentalFrames").number(c.enginePeriods->fundamentalFrames);
        json.key("minimumFrames").number(c.enginePeriods->minimumFrames);
        json.key("maximumFrames").number(c.enginePeriods->maximumFrames);
        json.endObject();
    } else {
        json.null();
    }
    json.key("volume");
    if (c.volume) {
        json.beginObject(JsonText::Layout::OneLine);
        json.key("db").decimal(roundedTo(c.volume->levelDb, 2));
        json.key("percent").number(percentOf(c.volume->scalar));
        json.key("muted").boolean(c.volume->muted);
        json.key("minDb").decimal(roundedTo(c.volume->minimumDb, 2));
        json.key("maxDb").decimal(roundedTo(c.volume->maximumDb, 2));
        json.key("stepDb").decimal(roundedTo(c.volume->stepDb, 2));
        json.endObject();
    } else {
        json.null();
    }
    json.key("enhancements");
    if (c.enhancements)
        json.boolean(*c.enhancements);
    else
        json.null();
    json.key("sessions");
    if (c.sessions) {
        json.beginArray();
        for (const AudioSession& s : *c.sessions)
            sessionObject(json, s);
        json.endArray();
    } else {
        json.null();
    }
}

void asciiOrNull(JsonText& json, const char* text) {
    if (text != nullptr)
        json.string(text);
    else
        json.null();
}

template <class T, class Text>
void valueOrNull(JsonText& json, const std::optional<T>& value, Text text) {
    if (value)
        json.string(text(*value));
    else
        json.null();
}

void driverObject(JsonText& json, const DriverFacts& d) {
    json.beginObject(JsonText::Layout::OneLine);
    textOrNull(json.key("provider"), d.provider);
    textOrNull(json.key("version"), d.version);
    valueOrNull(json.key("date"), d.date, dateText);
    textOrNull(json.key("inf"), d.inf);
    textOrNull(json.key("service"), d.service);
    valueOrNull(json.key("fileVersion"), d.fileVersion, versionText);
    json.endObject();
}

// The hardware behind the endpoint, in the exclusive mode.
void hardwareMembers(JsonText& json, const EndpointHardware& h) {
    const AdapterFacts* a = h.adapter ? &*h.adapter : nullptr;
    json.key("hardware");
    if (a != nullptr) {
        json.beginObject(JsonText::Layout::OneLine);
        json.key("bus").string(utf16ToUtf8(a->identity.bus));
        valueOrNull(json.key("vendorId"), a->identity.vendorId,
                    [](const std::string& t) { return t; });
        valueOrNull(json.key("productId"), a->identity.productId,
                    [](const std::string& t) { return t; });
        textOrNull(json.key("hardwareId"), a->hardwareId);
        json.endObject();
    } else {
        json.null();
    }
    json.key("driver");
    if (a != nullptr && a->driver)
        driverObject(json, *a->driver);
    else
        json.null();
    json.key("problem");
    if (a != nullptr && a->problem) {
        json.beginObject(JsonText::Layout::OneLine);
        json.key("code").number(*a->problem);
        asciiOrNull(json.key("meaning"), problemMeaning(*a->problem));
        json.endObject();
    } else {
        json.null();
    }
    asciiOrNull(json.key("bluetoothProfile"), a != nullptr && a->identity.profile
                                                  ? bluetoothProfileWords(*a->identity.profile).json
                                                  : nullptr);
    textOrNull(json.key("containerId"), h.containerId);
    json.key("effects");
    if (!h.effects) {
        json.null();
        return;
    }
    json.beginArray();
    for (const AudioEffect& e : *h.effects) {
        json.beginObject(JsonText::Layout::OneLine);
        json.key("slot").string(effectSlotWords(e.slot).json);
        json.key("classId").string(utf16ToUtf8(e.classId));
        textOrNull(json.key("dll"), e.dll);
        valueOrNull(json.key("version"), e.version, versionText);
        json.endObject();
    }
    json.endArray();
}

// The members of an endpoint object, which an unmatched endpoint's object shares.
void endpointMembers(JsonText& json, const EndpointFacts& facts, bool exclusive) {
    json.key("id").string(utf16ToUtf8(facts.id));
    json.key("direction").string(facts.direction == 'I' ? "input" : "output");
    textOrNull(json.key("name"), facts.name);
    textOrNull(json.key("adapter"), facts.adapter);
    if (facts.formFactor)
        json.key("formFactor").string(formFactorName(*facts.formFactor, facts.jackSubtype));
    else
        json.key("formFactor").null();
    json.key("default");
    if (facts.defaultFor) {
        json.beginArray(JsonText::Layout::OneLine);
        for (int role = 0; role < endpointRoleCount; ++role)
            if ((*facts.defaultFor)[role])
                json.string(roleName(static_cast<EndpointRole>(role)));
        json.endArray();
    } else {
        json.null();
    }
    if (exclusive)
        conditionMembers(json, facts.condition.value_or(EndpointCondition()));
    if (exclusive)
        hardwareMembers(json, facts.hardware.value_or(EndpointHardware()));
}

void mixMember(JsonText& json, const std::optional<FormatReading>& mix) {
    json.key("mix");
    if (mix)
        formatObject(json, *mix);
    else
        json.null();
}

void exclusiveFormatMembers(JsonText& json, const ExclusiveFormat& f,
                            const std::vector<DWORD>& rates) {
    json.key("sample").string(sampleTypeName(f.sample));
    json.key("channels").number(f.channels);
    // A plain header says nothing of speaker positions.
    if (f.shape.extensible)
        json.key("channelMask").number(f.shape.channelMask);
    else
        json.key("channelMask").null();
    json.key("extensible").boolean(f.shape.extensible);
    json.key("rates").beginArray();
    for (DWORD rate : rates)
        json.number(rate);
    json.endArray();
}

void exclusiveMember(JsonText& json, const ExclusiveFindings& findings) {
    json.key("exclusive").beginObject();
    json.key("status").string(exclusiveStatusName(findings.status));
    json.key("formats").beginArray();
    for (const ExclusiveFormat& f : findings.formats) {
        json.beginObject(JsonText::Layout::OneLine);
        exclusiveFormatMembers(json, f, f.rates);
        json.endObject();
    }
    json.endArray();
    json.endObject();
}

// The verify mode's: each format once for each thing opening its rates gave,
// and what the endpoint's opens came to.
void verifiedExclusiveMember(JsonText& json, const ExclusiveFindings& findings,
                             const CellOpens& opens) {
    json.key("exclusive").beginObject();
    json.key("status").string(exclusiveStatusName(findings.status));
    json.key("formats").beginArray();
    for (std::size_t i = 0; i < findings.formats.size(); ++i) {
        const ExclusiveFormat& f = findings.formats[i];
        const std::vector<CellOpen> untried(f.rates.size());
        for (const OpenGroup& g :
             openGroups(f.rates, i < opens.cells.size() ? opens.cells[i] : untried)) {
            const CellOutcome outcome = g.open.outcome;
            json.beginObject(JsonText::Layout::OneLine);
            exclusiveFormatMembers(json, f, g.rates);
            if (outcome == CellOutcome::NotTried)
                json.key("opened").null();
            else
                json.key("opened").boolean(outcome != CellOutcome::Failed);
            if (outcome == CellOutcome::Failed)
                json.key("openAnswer").string(openAnswerName(g.open.answer));
            else
                json.key("openAnswer").null();
            if (outcome == CellOutcome::Opened || outcome == CellOutcome::OpenedWithoutEvents)
                json.key("eventDriven").boolean(outcome == CellOutcome::Opened);
            else
                json.key("eventDriven").null();
            json.endObject();
        }
    }
    json.endArray();
    json.key("verify").beginObject(JsonText::Layout::OneLine);
    json.key("status").string(opensStatusName(opens.status));
    json.key("listed").number(static_cast<std::int64_t>(opens.listed()));
    json.key("opened").number(static_cast<std::int64_t>(
        opens.counted(CellOutcome::Opened) + opens.counted(CellOutcome::OpenedWithoutEvents)));
    json.key("failed").number(static_cast<std::int64_t>(opens.counted(CellOutcome::Failed)));
    json.endObject();
    json.endObject();
}

// The exclusive mode's members; an endpoint that could not be had could not be
// asked either.
void formatMembers(JsonText& json, const EndpointFormats* formats, bool verify) {
    const ExclusiveFindings none;
    mixMember(json, formats != nullptr ? formats->mix : std::nullopt);
    const ExclusiveFindings& findings = formats != nullptr ? formats->exclusive : none;
    if (!verify)
        exclusiveMember(json, findings);
    else if (formats != nullptr && formats->opens)
        verifiedExclusiveMember(json, findings, *formats->opens);
    else
        verifiedExclusiveMember(json, findings, CellOpens());
}

} // namespace

JsonWriter::JsonWriter(ReportKind kind, bool verify) : kind(kind), verify(verify) {
    json.beginObject();
    json.key("program").string("sndscout");
    json.key("version").string(programVersion);
    json.key("schema").number(1);
    json.key("mode").string(verify ? "verify" : modeName(kind));
}

const std::string& JsonWriter::text() {
    progress.erase();
    json.key("unmatchedEndpoints").beginArray();
    for (const FoundEndpoint& found : unmatched) {
        json.beginObject();
        endpointMembers(json, found.facts, kind == ReportKind::Exclusive);
        if (kind == ReportKind::Exclusive)
            formatMembers(json, found.formats ? &*found.formats : nullptr, verify);
        json.endObject();
    }
    json.endArray();
    if (notPresentCounted) {
        json.key("notPresentCount").beginObject(JsonText::Layout::OneLine);
        for (int d = 0; d < 2; ++d) {
            json.key(d == 0 ? "inputs" : "outputs");
            if (notPresent[d])
                json.number(static_cast<std::int64_t>(*notPresent[d]));
            else
                json.null();
        }
        json.endObject();
    }
    if (!countsNotAnswering.empty()) {
        json.key("deviceCountNotAnswering").beginArray(JsonText::Layout::OneLine);
        for (const char* name : countsNotAnswering)
            json.string(name);
        json.endArray();
    }
    json.endObject();
    return json.text();
}

void JsonWriter::systemFacts(const SystemFacts& facts) {
    json.key("system").beginObject(JsonText::Layout::OneLine);
    const std::optional<SystemVersion>& v = facts.version;
    valueOrNull(json.key("windowsVersion"), v, [](const SystemVersion& version) {
        return std::to_string(version.major) + "." + std::to_string(version.minor);
    });
    json.key("build");
    if (v)
        json.number(v->build);
    else
        json.null();
    const char* const keys[] = {"audioService", "endpointBuilder"};
    for (int i = 0; i < 2; ++i)
        asciiOrNull(json.key(keys[i]),
                    facts.services[i] ? serviceStateWords(*facts.services[i]).json : nullptr);
    json.endObject();
}

void JsonWriter::beginSection(DeviceDirection direction) {
    section = direction;
    json.key(direction == 'I' ? "inputs" : "outputs").beginArray();
}

void JsonWriter::countNotAnswering() {
    countsNotAnswering.push_back(section == 'I' ? "inputs" : "outputs");
}

// Only its number is known.
void JsonWriter::deviceNotAnswering(std::int32_t id) {
    json.beginObject();
    json.key("id").number(id);
    json.key("name").null();
    json.key("manufacturer").null();
    json.key("notAnswering").string("capabilities");
    json.endObject();
}

void JsonWriter::probing(DeviceDirection direction, std::int32_t id, std::int32_t count,
                         const DeviceCaps& caps) {
    progress.show(direction, id, count, caps);
}

void JsonWriter::beginDevice(std::int32_t id, const DeviceCaps& caps) {
    json.beginObject();
    json.key("id").number(id);
    json.key("name").string(ansiToUtf8(caps.szPname, sizeof caps.szPname));
    json.key("manufacturer").beginObject(JsonText::Layout::OneLine);
    json.key("id").number(caps.wMid);
    json.key("name").string(latin1ToUtf8(manufacturerName(caps.wMid)));
    json.endObject();
}

void JsonWriter::endpoint(const EndpointFacts* facts, const EndpointFormats* formats) {
    json.key("endpoint");
    if (facts != nullptr) {
        json.beginObject();
        endpointMembers(json, *facts, kind == ReportKind::Exclusive);
        json.endObject();
    } else {
        json.null();
    }
    if (kind == ReportKind::Exclusive)
        formatMembers(json, formats, verify);
}

void JsonWriter::opening(const EndpointFacts& facts, std::size_t tried, std::size_t listed) {
    progress.showOpening(facts.direction, facts.name ? *facts.name : facts.id, tried, listed);
}

// The exclusive mode's formats already say so.
void JsonWriter::endpointNotAnswering() {
    if (kind != ReportKind::Exclusive)
        json.key("notAnswering").string("endpoint");
}

void JsonWriter::pcmFormats(DWORD dwFormats) {
    json.key("pcm").beginArray();
    for (const PcmFormat& format : ::pcmFormats) {
        if ((dwFormats & format.bit) == 0)
            continue;
        json.beginObject(JsonText::Layout::OneLine);
        json.key("rate").number(format.rate);
        json.key("channels").number(format.channels);
        json.key("bits").number(format.bits);
        json.endObject();
    }
    json.endArray();
}

void JsonWriter::beginAcceptedFormats() {
    formatsCut = false;
    json.key("formats").beginArray();
}

void JsonWriter::formatsNotAnswering() {
    formatsCut = true;
}

void JsonWriter::acceptedFormat(const FormatHeader& h) {
    json.beginObject(JsonText::Layout::OneLine);
    json.key("tag").number(h.wFormatTag);
    const char* name = findFormatTagName(h.wFormatTag);
    if (name != nullptr)
        json.key("tagName").string(ansiToUtf8(name, sizeof FormatTagEntry::name));
    else
        json.key("tagName").null();
    json.key("rate").number(h.nSamplesPerSec);
    json.key("channels").number(h.nChannels);
    json.key("bits").number(h.wBitsPerSample);
    json.key("blockAlign").number(h.nBlockAlign);
    json.key("avgBytesPerSec").number(h.nAvgBytesPerSec);
    json.endObject();
}

void JsonWriter::endAcceptedFormats() {
    json.endArray();
    if (formatsCut)
        json.key("notAnswering").string("formats");
}

void JsonWriter::endDevice() {
    json.endObject();
}

// Only the exclusive mode asks an endpoint long enough to be worth naming.
void JsonWriter::probingEndpoint(DeviceDirection direction, const std::u16string& name) {
    if (kind == ReportKind::Exclusive)
        progress.showEndpoint(direction, name);
}

void JsonWriter::beginUnmatchedEndpoint(const EndpointFacts& facts) {
    if (kind == ReportKind::Exclusive)
        progress.showEndpoint(facts.direction, facts.name ? *facts.name : facts.id);
}

void JsonWriter::unmatchedEndpoint(const EndpointFacts& facts, const EndpointFormats* formats) {
    FoundEndpoint found{facts, std::nullopt};
    if (formats != nullptr)
        found.formats = *formats;
    unmatched.push_back(std::move(found));
}

void JsonWriter::notPresentEndpoints(DeviceDirection direction, std::optional<std::size_t> count) {
    notPresentCounted = true;
    notPresent[direction == 'I' ? 0 : 1] = count;
}

void JsonWriter::endSection() {
    json.endArray();
}
