// What a device's instance id and hardware id say of it: the bus, the vendor
// and product (or codec) numbers, and for Bluetooth which profile its service
// is. Text rules only, the same on every platform.
#pragma once

#include <optional>
#include <string>

enum class BluetoothProfile { HandsFree, Stereo };

struct HardwareIdentity {
    // "USB", "HD Audio", "PCI", "Bluetooth", "virtual" (root-enumerated), or
    // the enumerator's own name.
    std::u16string bus;
    std::optional<std::string> vendorId; // four hex digits, upper case
    std::optional<std::string> productId;
    bool bluetooth = false;
    // From the service the Bluetooth enumerator made the device for; unset
    // where it names neither.
    std::optional<BluetoothProfile> profile;
};

// From the instance id ("USB\VID_046D&PID_0A44&MI_00\7&1F2E&0&0000"), whose
// enumerator gives the bus, and the most specific hardware id when there is
// one, which the numbers are read from first.
HardwareIdentity identifyHardware(const std::u16string& instanceId,
                                  const std::optional<std::u16string>& hardwareId);

// Whether the text is a container id, and not the empty one.
bool isContainerId(const std::u16string& text);
