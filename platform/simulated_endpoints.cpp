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

// Windows-1252, the code page the simulated machine's waveform names are in:
// what its bytes 0x80 to 0x9F stand for (0 where the code page has nothing).
const char16_t windows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

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

std::u16string ansiToUtf16(const char* text, std::size_t length) {
    std::u16string wide;
    wide.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        char16_t c = byte;
        if (byte >= 0x80 && byte < 0xA0)
            c = windows1252High[byte - 0x80] != 0 ? windows1252High[byte - 0x80] : char16_t(byte);
        wide.push_back(c);
    }
    return wide;
}

std::string utf16ToAnsi(const std::u16string& text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        // A pair of surrogates is one character, and one '?'.
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000)
            ++i;
        char byte = '?';
        if (c < 0x80 || (c >= 0xA0 && c < 0x100) || (c < 0xA0 && windows1252High[c - 0x80] == 0)) {
            byte = static_cast<char>(c);
        } else {
            for (int k = 0; k < 32; ++k)
                if (windows1252High[k] == c)
                    byte = static_cast<char>(0x80 + k);
        }
        narrow.push_back(byte);
    }
    return narrow;
}
