// The endpoint audio service (Core Audio) as a few plain calls, so that nothing
// outside this folder sees COM. On Windows they run over the real service;
// elsewhere they answer from the simulated machine. Every answer has already
// been sorted into the few outcomes the report tells apart.
#pragma once

#include "platform/audio_services.h"
#include "platform/code_page.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class EndpointAnswer {
    Ok,             // done; for a format: accepted
    Refused,        // the format is not supported
    NotFound,       // no such endpoint, default or property, or a property of the wrong type
    NotAllowed,     // exclusive mode is not allowed for this device
    Busy,           // another program holds the device
    Gone,           // the device was removed or invalidated
    AccessDenied,   // privacy settings or policy keep programs from the device
    NoMemory,       // the service or this program ran out of memory
    NotImplemented, // the service does not offer it (Wine's sessions)
    Failed,         // anything else
    // Opening a stream only:
    BufferRefused, // the buffer or period asked for is not one the device takes
    StreamFailed,  // the driver could not make the stream
};

// Default roles, in the order the service numbers them.
enum class EndpointRole { Console, Multimedia, Communications };
constexpr int endpointRoleCount = 3;

// An endpoint's state, as the service numbers it.
constexpr std::uint32_t endpointActive = 0x1;
constexpr std::uint32_t endpointDisabled = 0x2;
constexpr std::uint32_t endpointNotPresent = 0x4;
constexpr std::uint32_t endpointUnplugged = 0x8;

struct EndpointService; // the thread's COM apartment and the device enumerator
struct EndpointDevice;  // one endpoint, with its property store and audio client once needed

// Starts the service on this thread. On anything but Ok, *service is null.
// The service, and every endpoint opened through it, is used and closed on
// the thread that opened it.
EndpointAnswer openEndpointService(EndpointService** service);
// Accepts null.
void closeEndpointService(EndpointService* service);

// The endpoint id that a waveform device's driver gives for it.
EndpointAnswer waveDeviceEndpointId(DeviceDirection direction, UINT id, std::u16string* endpointId);

// The ids of one direction's endpoints, in the service's order: the active
// ones, those in every state, those present (active, disabled or unplugged), or
// those not present.
enum class EndpointListing { Active, EveryState, Present, NotPresent };
EndpointAnswer endpointIds(EndpointService* service, DeviceDirection direction,
                           EndpointListing listing, std::vector<std::u16string>* ids);

// The id of the default endpoint of a direction for a role; NotFound when there is none.
EndpointAnswer defaultEndpointId(EndpointService* service, DeviceDirection direction,
                                 EndpointRole role, std::u16string* id);

// On anything but Ok, *device is null.
EndpointAnswer openEndpoint(EndpointService* service, const std::u16string& id,
                            EndpointDevice** device);
// Accepts null.
void closeEndpoint(EndpointDevice* device);

// The endpoint's id as the service itself spells it, and its state.
EndpointAnswer endpointOwnId(EndpointDevice* device, std::u16string* id);
EndpointAnswer endpointState(EndpointDevice* device, std::uint32_t* state);

// Properties of the endpoint, readable in every state. The jack's subtype is
// the kind of connector, a GUID in braces (HDMI, DisplayPort, ...).
enum class EndpointText { FriendlyName, AdapterName, JackSubtype };
EndpointAnswer endpointText(EndpointDevice* device, EndpointText which, std::u16string* text);
// The form factor as the service numbers it (speakers 1, headphones 3, ...);
// whether system effects are off (non-zero) or on (0).
enum class EndpointNumber { FormFactor, SystemEffectsOff };
EndpointAnswer endpointNumber(EndpointDevice* device, EndpointNumber which, std::uint32_t* value);
// The format set in the Sound control panel, as the property holds it.
EndpointAnswer endpointDeviceFormat(EndpointDevice* device, std::vector<unsigned char>* format);

// Gets the endpoint's audio client, once, which every call below but the volume
// and the sessions needs: ask for it first; the calls then answer what this
// answered when it failed. The client is only asked things, never initialised,
// so no stream is opened.
EndpointAnswer openAudioClient(EndpointDevice* device);

// The shared-mode mix format, whole: the header and, for a tag that carries
// them, its cbSize extra bytes.
EndpointAnswer endpointMixFormat(EndpointDevice* device, std::vector<unsigned char>* format);

// Whether the endpoint could be opened in exclusive mode with the format (the
// header and its cbSize extra bytes). Opens nothing.
EndpointAnswer askExclusiveFormat(EndpointDevice* device, const WAVEFORMATEX* format);

// The device's periods, in units of 100 ns.
struct DevicePeriods {
    std::int64_t defaultPeriod = 0;
    std::int64_t minimumPeriod = 0;
};
EndpointAnswer endpointDevicePeriods(EndpointDevice* device, DevicePeriods* periods);

// The shared engine's periods for a format, in frames (Windows 10 and later).
struct EnginePeriods {
    std::uint32_t defaultFrames = 0;
    std::uint32_t fundamentalFrames = 0;
    std::uint32_t minimumFrames = 0;
    std::uint32_t maximumFrames = 0;
};
EndpointAnswer endpointEnginePeriods(EndpointDevice* device, const WAVEFORMATEX* format,
                                     EnginePeriods* periods);

// The master volume: level in dB and as a fraction, mute, range and step in dB.
struct VolumeReading {
    float levelDb = 0;
    float scalar = 0;
    bool muted = false;
    float minimumDb = 0;
    float maximumDb = 0;
    float stepDb = 0;
};
EndpointAnswer endpointVolume(EndpointDevice* device, VolumeReading* volume);

// One audio session on the endpoint. What could not be read of it is unset.
struct SessionReading {
    std::optional<std::uint32_t> processId;
    // The process's image, when it could be opened; else its file name as a
    // snapshot of the running processes gives it.
    std::optional<std::u16string> programPath;
    std::optional<std::uint32_t> state; // 0 inactive, 1 active, 2 expired
    bool systemSounds = false;
};
EndpointAnswer endpointSessions(EndpointDevice* device, std::vector<SessionReading>* sessions);

// How an exclusive stream is opened: driven by the device's event, as a player
// that wants the lowest latency opens one, or without it.
enum class OpenWay { EventCallback, NoEventCallback };

// Opens an exclusive-mode stream with the format (the header and its cbSize
// extra bytes) as a player would, at the device's minimum period, and closes it
// again at once: no stream is started, no sound is made, but for that moment
// the device is held. Each open has a fresh audio client of its own, never the
// one the questions above are asked of. Ok when it opened.
EndpointAnswer openExclusiveStream(EndpointDevice* device, const WAVEFORMATEX* format, OpenWay way);

// The period that makes an exclusive stream's buffer `frames` long at `rate`,
// in units of 100 ns, rounded: what a device that wants an aligned buffer is
// asked again with.
constexpr std::int64_t alignedPeriod(std::uint32_t frames, std::uint32_t rate) {
    return rate == 0 ? 0 : (std::int64_t{10000000} * frames + rate / 2) / rate;
}
