#include "endpoint/endpoint_facts.h"

namespace {

int directionIndex(DeviceDirection direction) {
    return direction == 'I' ? 0 : 1;
}

template <class T> void keepIfFound(EndpointAnswer answer, const T& value, std::optional<T>* kept) {
    if (answer == EndpointAnswer::Ok)
        *kept = value;
}

ExclusiveFindings stopped(ExclusiveStatus status) {
    ExclusiveFindings findings;
    findings.status = status;
    return findings;
}

} // namespace

EndpointDefaults readEndpointDefaults(EndpointService* service) {
    EndpointDefaults defaults;
    for (DeviceDirection direction : {'I', 'O'}) {
        const int d = directionIndex(direction);
        defaults.known[d] = true;
        for (int role = 0; role < endpointRoleCount; ++role) {
            const EndpointAnswer answer = defaultEndpointId(
                service, direction, static_cast<EndpointRole>(role), &defaults.ids[d][role]);
            // No default for a role is an answer; a failure to ask is not.
            if (answer != EndpointAnswer::Ok && answer != EndpointAnswer::NotFound)
                defaults.known[d] = false;
            if (answer != EndpointAnswer::Ok)
                defaults.ids[d][role].clear();
        }
    }
    return defaults;
}

EndpointFacts readEndpointFacts(EndpointDevice* device, const std::u16string& id,
                                DeviceDirection direction, const EndpointDefaults& defaults) {
    EndpointFacts facts;
    facts.id = id;
    facts.direction = direction;
    std::u16string text;
    keepIfFound(endpointText(device, EndpointText::FriendlyName, &text), text, &facts.name);
    text.clear();
    keepIfFound(endpointText(device, EndpointText::AdapterName, &text), text, &facts.adapter);
    std::uint32_t formFactor = 0;
    keepIfFound(endpointFormFactor(device, &formFactor), formFactor, &facts.formFactor);
    const int d = directionIndex(direction);
    if (defaults.known[d]) {
        std::array<bool, endpointRoleCount> roles{};
        for (int role = 0; role < endpointRoleCount; ++role)
            roles[role] = !id.empty() && defaults.ids[d][role] == id;
        facts.defaultFor = roles;
    }
    return facts;
}

EndpointFormats findEndpointFormats(EndpointDevice* device) {
    EndpointFormats formats;
    std::vector<unsigned char> mix;
    const EndpointAnswer mixAnswer = endpointMixFormat(device, &mix);
    // Without an audio client nothing can be asked; say why.
    switch (mixAnswer) {
    case EndpointAnswer::NotAllowed:
        formats.exclusive = stopped(ExclusiveStatus::NotAllowed);
        return formats;
    case EndpointAnswer::Busy:
        formats.exclusive = stopped(ExclusiveStatus::Busy);
        return formats;
    case EndpointAnswer::Gone:
        formats.exclusive = stopped(ExclusiveStatus::Gone);
        return formats;
    default:
        break;
    }
    if (mixAnswer == EndpointAnswer::Ok)
        formats.mix = readFormat(mix.data(), mix.size());
    const ProbeStart start = formats.mix ? probeStartOf(*formats.mix) : ProbeStart();
    formats.exclusive = probeExclusiveFormats(
        start, [device](const WAVEFORMATEX* format) { return askExclusiveFormat(device, format); });
    return formats;
}
