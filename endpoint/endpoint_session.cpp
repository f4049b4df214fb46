#include "endpoint/endpoint_session.h"

#include <algorithm>
#include <new>

EndpointSession::EndpointSession(bool probeFormats) : probeFormats(probeFormats) {
    if (openEndpointService(&service) != EndpointAnswer::Ok)
        return; // every endpoint is then unknown
    try {
        defaults = readEndpointDefaults(service);
    } catch (const std::bad_alloc&) {
        defaults = EndpointDefaults();
    }
}

EndpointSession::~EndpointSession() {
    closeEndpointService(service);
}

std::optional<FoundEndpoint> EndpointSession::find(const std::u16string& id,
                                                   DeviceDirection direction) {
    EndpointDevice* device = nullptr;
    if (openEndpoint(service, id, &device) != EndpointAnswer::Ok)
        return std::nullopt;
    std::optional<FoundEndpoint> found;
    try {
        found.emplace();
        found->facts = readEndpointFacts(device, id, direction, defaults);
        if (probeFormats)
            found->formats = findEndpointFormats(device);
    } catch (const std::bad_alloc&) {
        found.reset();
    }
    closeEndpoint(device);
    return found;
}

std::optional<FoundEndpoint> EndpointSession::deviceEndpoint(DeviceDirection direction, UINT id) {
    if (service == nullptr)
        return std::nullopt;
    try {
        std::u16string endpointId;
        if (waveDeviceEndpointId(direction, id, &endpointId) != EndpointAnswer::Ok ||
            endpointId.empty())
            return std::nullopt;
        // Led to, even when it then cannot be opened: it is not without a device.
        matched.push_back(endpointId);
        return find(endpointId, direction);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::vector<FoundEndpoint> EndpointSession::unmatchedEndpoints(DeviceDirection direction) {
    std::vector<FoundEndpoint> unmatched;
    if (service == nullptr)
        return unmatched;
    try {
        std::vector<std::u16string> ids;
        if (activeEndpointIds(service, direction, &ids) != EndpointAnswer::Ok)
            return unmatched;
        for (const std::u16string& id : ids) {
            if (std::find(matched.begin(), matched.end(), id) != matched.end())
                continue;
            if (std::optional<FoundEndpoint> found = find(id, direction))
                unmatched.push_back(std::move(*found));
        }
    } catch (const std::bad_alloc&) {
        // what was found before memory ran out stands
    }
    return unmatched;
}
