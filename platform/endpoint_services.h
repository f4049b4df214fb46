// The endpoint audio service (Core Audio) as a few plain calls, so that nothing
// outside this folder sees COM. On Windows they run over the real service;
// elsewhere they answer from the simulated machine. Every answer has already
// been sorted into the few outcomes the report tells apart.
#pragma once

#include "platform/audio_services.h"
#include "platform/code_page.h"

#include <cstdint>
#include <string>
#include <vector>

enum class EndpointAnswer {
    Ok,         // done; for a format: accepted
    Refused,    // the format is not supported
    NotFound,   // no such endpoint, default or property, or a property of the wrong type
    NotAllowed, // exclusive mode is not allowed for this device
    Busy,       // another program holds the device
    Gone,       // the device was removed or invalidated
    NoMemory,   // the service or this program ran out of memory
    Failed,     // anything else
};

// Default roles, in the order the service numbers them.
enum class EndpointRole { Console, Multimedia, Communications };
constexpr int endpointRoleCount = 3;

struct EndpointService; // the thread's COM apartment and the device enumerator
struct EndpointDevice;  // one endpoint, with its property store and audio client once needed

// Starts the service on this thread. On anything but Ok, *service is null.
EndpointAnswer openEndpointService(EndpointService** service);
// Accepts null.
void closeEndpointService(EndpointService* service);

// The endpoint id that a waveform device's driver gives for it.
EndpointAnswer waveDeviceEndpointId(DeviceDirection direction, UINT id, std::u16string* endpointId);

// The ids of the active endpoints of one direction, in the service's order.
EndpointAnswer activeEndpointIds(EndpointService* service, DeviceDirection direction,
                                 std::vector<std::u16string>* ids);

// The id of the default endpoint of a direction for a role; NotFound when there is none.
EndpointAnswer defaultEndpointId(EndpointService* service, DeviceDirection direction,
                                 EndpointRole role, std::u16string* id);

// On anything but Ok, *device is null.
EndpointAnswer openEndpoint(EndpointService* service, const std::u16string& id,
                            EndpointDevice** device);
// Accepts null.
void closeEndpoint(EndpointDevice* device);

enum class EndpointText { FriendlyName, AdapterName };
EndpointAnswer endpointText(EndpointDevice* device, EndpointText which, std::u16string* text);

// The endpoint's form factor as the service numbers it (speakers 1, headphones 3, ...).
EndpointAnswer endpointFormFactor(EndpointDevice* device, std::uint32_t* formFactor);

// The shared-mode mix format, whole: the header and its cbSize extra bytes.
EndpointAnswer endpointMixFormat(EndpointDevice* device, std::vector<unsigned char>* format);

// Whether the endpoint could be opened in exclusive mode with the format (the
// header and its cbSize extra bytes). Opens nothing.
EndpointAnswer askExclusiveFormat(EndpointDevice* device, const WAVEFORMATEX* format);
