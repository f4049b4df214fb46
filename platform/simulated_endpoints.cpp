// The endpoint service over the simulated machine. It answers with the same
// result codes as the real service, sorted by the same table.
#include "platform/endpoint_answers.h"
#include "platform/simulated_machine.h"

#include <cstring>
#include <new>

using simulated::calls;
using simulated::machine;

struct EndpointService {
    bool ownsCom; // COM was set up here and must be undone here
};

struct EndpointDevice {
    const simulated::Endpoint* endpoint;
};

namespace {

int directionIndex(DeviceDirection direction) {
    return direction == 'I' ? 0 : 1;
}

const simulated::Endpoint* findEndpoint(const std::u16string& id) {
    for (const simulated::Endpoint& e : machine().endpoints.endpoints)
        if (e.id == id)
            return &e;
    return nullptr;
}

template <class T> EndpointAnswer readProperty(const simulated::Property<T>& property, T* value) {
    if (property.result == S_OK)
        *value = property.value;
    return endpointAnswerOf(property.result);
}

} // namespace

EndpointAnswer openEndpointService(EndpointService** service) {
    simulated::noteCall();
    *service = nullptr;
    const simulated::EndpointSystem& system = machine().endpoints;
    // Already set up by someone else in another mode: usable, but not ours to undo.
    const bool ownsCom = system.comResult == S_OK || system.comResult == S_FALSE;
    if (!ownsCom && system.comResult != RPC_E_CHANGED_MODE)
        return endpointAnswerOf(system.comResult);
    if (ownsCom)
        ++calls().comDepth;
    if (system.enumeratorResult != S_OK) {
        if (ownsCom)
            --calls().comDepth;
        return endpointAnswerOf(system.enumeratorResult);
    }
    *service = new (std::nothrow) EndpointService{ownsCom};
    if (*service == nullptr) {
        if (ownsCom)
            --calls().comDepth;
        return EndpointAnswer::NoMemory;
    }
    return EndpointAnswer::Ok;
}

void closeEndpointService(EndpointService* service) {
    simulated::noteCall();
    if (service == nullptr)
        return;
    if (service->ownsCom)
        --calls().comDepth;
    delete service;
}

EndpointAnswer waveDeviceEndpointId(DeviceDirection direction, UINT id,
                                    std::u16string* endpointId) {
    simulated::noteCall();
    const std::vector<simulated::Device>& devices =
        direction == 'I' ? machine().inputs : machine().outputs;
    if (id >= devices.size())
        return endpointAnswerOfMessage(MMSYSERR_BADDEVICEID);
    const simulated::Device& device = devices[id];
    if (device.endpointIdResult != MMSYSERR_NOERROR)
        return endpointAnswerOfMessage(device.endpointIdResult);
    *endpointId = device.endpointId;
    return EndpointAnswer::Ok;
}

EndpointAnswer activeEndpointIds(EndpointService* service, DeviceDirection direction,
                                 std::vector<std::u16string>* ids) {
    simulated::noteCall();
    ids->clear();
    if (service == nullptr)
        return EndpointAnswer::Failed;
    const simulated::EndpointSystem& system = machine().endpoints;
    if (system.listResult != S_OK)
        return endpointAnswerOf(system.listResult);
    for (const simulated::Endpoint& e : system.endpoints)
        if (e.active && e.direction == direction)
            ids->push_back(e.id);
    return EndpointAnswer::Ok;
}

EndpointAnswer defaultEndpointId(EndpointService* service, DeviceDirection direction,
                                 EndpointRole role, std::u16string* id) {
    simulated::noteCall();
    if (service == nullptr)
        return EndpointAnswer::Failed;
    const simulated::EndpointSystem& system = machine().endpoints;
    if (system.defaultResult != S_OK)
        return endpointAnswerOf(system.defaultResult);
    const std::u16string& found =
        system.defaults[directionIndex(direction)][static_cast<int>(role)];
    if (found.empty())
        return endpointAnswerOf(E_NOTFOUND);
    *id = found;
    return EndpointAnswer::Ok;
}

EndpointAnswer openEndpoint(EndpointService* service, const std::u16string& id,
                            EndpointDevice** device) {
    simulated::noteCall();
    *device = nullptr;
    if (service == nullptr)
        return EndpointAnswer::Failed;
    const simulated::Endpoint* endpoint = findEndpoint(id);
    if (endpoint == nullptr)
        return endpointAnswerOf(E_NOTFOUND);
    if (endpoint->openResult != S_OK)
        return endpointAnswerOf(endpoint->openResult);
    *device = new (std::nothrow) EndpointDevice{endpoint};
    if (*device == nullptr)
        return EndpointAnswer::NoMemory;
    ++calls().openEndpoints;
    return EndpointAnswer::Ok;
}

void closeEndpoint(EndpointDevice* device) {
    if (device == nullptr)
        return;
    --calls().openEndpoints;
    delete device;
}

EndpointAnswer endpointText(EndpointDevice* device, EndpointText which, std::u16string* text) {
    simulated::noteCall();
    const simulated::Endpoint& e = *device->endpoint;
    if (e.propertyStoreResult != S_OK)
        return endpointAnswerOf(e.propertyStoreResult);
    return readProperty(which == EndpointText::FriendlyName ? e.friendlyName : e.adapterName, text);
}

EndpointAnswer endpointFormFactor(EndpointDevice* device, std::uint32_t* formFactor) {
    simulated::noteCall();
    const simulated::Endpoint& e = *device->endpoint;
    if (e.propertyStoreResult != S_OK)
        return endpointAnswerOf(e.propertyStoreResult);
    return readProperty(e.formFactor, formFactor);
}

EndpointAnswer endpointMixFormat(EndpointDevice* device, std::vector<unsigned char>* format) {
    simulated::noteCall();
    const simulated::Endpoint& e = *device->endpoint;
    if (e.activateResult != S_OK)
        return endpointAnswerOf(e.activateResult);
    if (e.mixResult != S_OK)
        return endpointAnswerOf(e.mixResult);
    *format = e.mixFormat;
    return EndpointAnswer::Ok;
}

EndpointAnswer askExclusiveFormat(EndpointDevice* device, const WAVEFORMATEX* format) {
    simulated::noteCall();
    const simulated::Endpoint& e = *device->endpoint;
    ++calls().exclusiveQuestions;
    if (e.activateResult != S_OK)
        return endpointAnswerOf(e.activateResult);
    if (format == nullptr)
        return endpointAnswerOf(E_POINTER);
    if (!e.exclusive)
        return endpointAnswerOf(AUDCLNT_E_UNSUPPORTED_FORMAT);
    return endpointAnswerOf(e.exclusive(format));
}
