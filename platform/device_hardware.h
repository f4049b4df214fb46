// The hardware behind the endpoints as a few plain calls: the adapter an
// endpoint is connected to, its devnode's properties as Device Manager shows
// them, the effects registered on the endpoint, a file's version resource,
// and the system's version and audio services. On Windows they run over Core
// Audio's device topology, SetupAPI, the configuration manager, the registry,
// the service manager and the version resources; elsewhere they answer from
// the simulated machine. They only read: nothing is changed and nothing needs
// administrator rights. Every result code is sorted in endpoint_answers.cpp.
#pragma once

#include "platform/endpoint_services.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The device instance id of the adapter the endpoint is connected to, as the
// configuration manager names it ("USB\VID_046D&PID_0A44&MI_00\7&1F2E&0&0000").
// An endpoint that is not present may have none to give.
EndpointAnswer endpointAdapterInstance(EndpointDevice* device, std::u16string* instanceId);

// The audio processing objects the endpoint's effect properties name: each
// class id ("{...}") by the slot it is registered in. Ok and none when the
// endpoint names none.
enum class EffectSlot { PreMix, PostMix, Stream, Mode, Endpoint };
constexpr int effectSlotCount = 5;
struct EffectReading {
    EffectSlot slot = EffectSlot::PreMix;
    std::u16string classId;
};
EndpointAnswer endpointEffects(EndpointDevice* device, std::vector<EffectReading>* effects);

// Every endpoint of both directions and in every state, with its friendly name
// and its container id ("{...}", as the property holds it); what cannot be read
// of one is unset.
struct ContainerReading {
    std::u16string endpointId;
    DeviceDirection direction = 'O';
    std::optional<std::u16string> name;
    std::optional<std::u16string> containerId;
};
EndpointAnswer endpointContainers(EndpointService* service,
                                  std::vector<ContainerReading>* endpoints);

// A device instance as the configuration manager numbers it for this process.
using Devnode = std::uint32_t;
// Finds a device instance, present or not; `present` says which.
EndpointAnswer locateDevnode(const std::u16string& instanceId, Devnode* node, bool* present);
enum class DevnodeText { DriverProvider, DriverVersion, DriverInf, Service };
EndpointAnswer devnodeText(Devnode node, DevnodeText which, std::u16string* text);
// Its hardware ids, the most specific first.
EndpointAnswer devnodeHardwareIds(Devnode node, std::vector<std::u16string>* ids);
// The driver's date, as a FILETIME: 100-ns units since 1601.
EndpointAnswer devnodeDriverDate(Devnode node, std::uint64_t* fileTime);
// Device Manager's problem code for a present device; 0 when it has none.
EndpointAnswer devnodeProblem(Devnode node, std::uint32_t* problem);

// The file a service runs (a driver's .sys), as a path this program can open.
EndpointAnswer serviceImagePath(const std::u16string& service, std::u16string* path);
// The DLL registered for a class id, as a path this program can open.
EndpointAnswer classServerPath(const std::u16string& classId, std::u16string* path);
// The fixed part of a file's version resource (VS_FIXEDFILEINFO) as the
// resource holds it; fileVersionOf() reads it.
EndpointAnswer fileFixedVersion(const std::u16string& path, std::vector<unsigned char>* info);

// The version Windows itself says it is, not the one a compatibility shim gives.
struct SystemVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
};
EndpointAnswer systemVersion(SystemVersion* version);

// An audio service's state as the service manager numbers it (1 stopped,
// 4 running, ...); NotFound when it is not installed.
enum class AudioService { AudioSrv, EndpointBuilder };
EndpointAnswer audioServiceState(AudioService which, std::uint32_t* state);
