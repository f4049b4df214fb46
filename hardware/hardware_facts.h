// What is found of the hardware behind an endpoint, in the exclusive mode: the
// adapter's devnode (its ids, driver and problem), the effects on the endpoint
// and the other endpoints of the same physical device; and of the system the
// report runs on. Each thing that cannot be had is left unset; the rest stands.
#pragma once

#include "hardware/file_version.h"
#include "hardware/hardware_ids.h"
#include "platform/device_hardware.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The driver as Device Manager shows it.
struct DriverFacts {
    std::optional<std::u16string> provider;
    std::optional<std::u16string> version; // the INF's
    std::optional<DriverDate> date;
    std::optional<std::u16string> inf;
    std::optional<std::u16string> service;
    std::optional<FileVersion> fileVersion; // the service's file's own
};

// One adapter, which many endpoints may share.
struct AdapterFacts {
    std::u16string instanceId;
    HardwareIdentity identity; // from the instance id, and the hardware id when known
    std::optional<std::u16string> hardwareId;
    // Only for a device the configuration manager knows.
    std::optional<DriverFacts> driver;
    std::optional<std::uint32_t> problem; // Device Manager's code, 0 for none
};

struct AudioEffect {
    EffectSlot slot = EffectSlot::PreMix;
    std::u16string classId;
    std::optional<std::u16string> dll; // the file registered for it
    std::optional<FileVersion> version;
};

// Another endpoint in the same container: the physical device.
struct SameDevice {
    std::u16string name; // its friendly name, or its id
    DeviceDirection direction = 'O';
};

struct EndpointHardware {
    std::optional<AdapterFacts> adapter; // unset when no adapter could be reached
    std::optional<std::u16string> containerId;
    std::optional<std::vector<SameDevice>> sameDevice; // known with the container id
    std::optional<std::vector<AudioEffect>> effects;
};

// The system, read once per run in the exclusive mode.
struct SystemFacts {
    std::optional<SystemVersion> version;
    // Per AudioService: the service manager's state, 0 for not installed.
    std::optional<std::uint32_t> services[2];
};
