#include "json/json_writer.h"

#include "app/version.h"
#include "catalogue/format_catalogue.h"
#include "endpoint/endpoint_vocabulary.h"
#include "json/utf8.h"
#include "report/manufacturer_names.h"
#include "report/pcm_lines.h"

namespace {

using Json = nlohmann::ordered_json;

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

template <class T> Json orNull(const std::optional<T>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json textOrNull(const std::optional<std::u16string>& text) {
    return text ? Json(utf16ToUtf8(*text)) : Json(nullptr);
}

Json endpointJson(const EndpointFacts& facts) {
    Json endpoint = Json::object();
    endpoint["id"] = utf16ToUtf8(facts.id);
    endpoint["direction"] = facts.direction == 'I' ? "input" : "output";
    endpoint["name"] = textOrNull(facts.name);
    endpoint["adapter"] = textOrNull(facts.adapter);
    endpoint["formFactor"] =
        facts.formFactor ? Json(formFactorName(*facts.formFactor)) : Json(nullptr);
    if (facts.defaultFor) {
        Json roles = Json::array();
        for (int role = 0; role < endpointRoleCount; ++role)
            if ((*facts.defaultFor)[role])
                roles.push_back(roleName(static_cast<EndpointRole>(role)));
        endpoint["default"] = roles;
    } else {
        endpoint["default"] = nullptr;
    }
    return endpoint;
}

Json mixJson(const std::optional<FormatReading>& mix) {
    if (!mix)
        return nullptr;
    Json format = Json::object();
    format["sample"] = mix->sample ? Json(sampleTypeName(*mix->sample)) : Json(nullptr);
    format["rate"] = mix->rate;
    format["channels"] = mix->channels;
    format["channelMask"] = orNull(mix->channelMask);
    return format;
}

Json exclusiveJson(const ExclusiveFindings& findings) {
    Json exclusive = Json::object();
    exclusive["status"] = exclusiveStatusName(findings.status);
    Json formats = Json::array();
    for (const ExclusiveFormat& f : findings.formats) {
        Json format = Json::object();
        format["sample"] = sampleTypeName(f.sample);
        format["channels"] = f.channels;
        format["channelMask"] = f.shape.extensible ? Json(f.shape.channelMask) : Json(nullptr);
        format["extensible"] = f.shape.extensible;
        format["rates"] = f.rates;
        formats.push_back(std::move(format));
    }
    exclusive["formats"] = std::move(formats);
    return exclusive;
}

// The exclusive mode's fields of a device or an endpoint; an endpoint that
// could not be had could not be asked either.
void addFormats(Json& into, const EndpointFormats* formats) {
    if (formats != nullptr) {
        into["mix"] = mixJson(formats->mix);
        into["exclusive"] = exclusiveJson(formats->exclusive);
    } else {
        into["mix"] = nullptr;
        into["exclusive"] = exclusiveJson(ExclusiveFindings());
    }
}

} // namespace

JsonWriter::JsonWriter(ReportKind kind) : kind(kind) {
    document["program"] = "sndscout";
    document["version"] = programVersion;
    document["schema"] = 1;
    document["mode"] = modeName(kind);
    document["inputs"] = Json::array();
    document["outputs"] = Json::array();
    document["unmatchedEndpoints"] = Json::array();
}

std::string JsonWriter::text() {
    progress.erase();
    // Names are made valid UTF-8 on the way in; replacing is only a backstop.
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

void JsonWriter::beginSection(DeviceDirection direction) {
    section = &document[direction == 'I' ? "inputs" : "outputs"];
}

void JsonWriter::probing(DeviceDirection direction, std::int32_t id, std::int32_t count,
                         const DeviceCaps& caps) {
    progress.show(direction, id, count, caps);
}

void JsonWriter::beginDevice(std::int32_t id, const DeviceCaps& caps) {
    device = Json::object();
    device["id"] = id;
    device["name"] = ansiToUtf8(caps.szPname, sizeof caps.szPname);
    device["manufacturer"] = {{"id", caps.wMid},
                              {"name", latin1ToUtf8(manufacturerName(caps.wMid))}};
    // Present in every mode, even when no endpoint is looked up or found.
    device["endpoint"] = nullptr;
}

void JsonWriter::pcmFormats(DWORD dwFormats) {
    Json pcm = Json::array();
    for (const PcmFormat& format : ::pcmFormats)
        if ((dwFormats & format.bit) != 0)
            pcm.push_back(
                {{"rate", format.rate}, {"channels", format.channels}, {"bits", format.bits}});
    device["pcm"] = std::move(pcm);
}

void JsonWriter::beginAcceptedFormats() {
    device["formats"] = Json::array();
}

void JsonWriter::acceptedFormat(const FormatHeader& h) {
    const char* name = findFormatTagName(h.wFormatTag);
    device["formats"].push_back({
        {"tag", h.wFormatTag},
        {"tagName",
         name != nullptr ? Json(ansiToUtf8(name, sizeof FormatTagEntry::name)) : Json(nullptr)},
        {"rate", h.nSamplesPerSec},
        {"channels", h.nChannels},
        {"bits", h.wBitsPerSample},
        {"blockAlign", h.nBlockAlign},
        {"avgBytesPerSec", h.nAvgBytesPerSec},
    });
}

void JsonWriter::endpoint(const EndpointFacts* facts, const EndpointFormats* formats) {
    if (facts != nullptr)
        device["endpoint"] = endpointJson(*facts);
    if (kind == ReportKind::Exclusive)
        addFormats(device, formats);
}

void JsonWriter::endDevice() {
    if (kind == ReportKind::Exclusive && !device.contains("exclusive"))
        addFormats(device, nullptr);
    section->push_back(std::move(device));
    device = Json();
}

void JsonWriter::unmatchedEndpoint(const EndpointFacts& facts, const EndpointFormats* formats) {
    Json endpoint = endpointJson(facts);
    if (kind == ReportKind::Exclusive)
        addFormats(endpoint, formats);
    document["unmatchedEndpoints"].push_back(std::move(endpoint));
}
