#include "hardware/hardware_ids.h"

#include <cstdint>

namespace {

char16_t upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool isHex(char16_t c) {
    const char16_t u = upper(c);
    return (u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'F');
}

int hexValue(char16_t c) {
    const char16_t u = upper(c);
    return u <= u'9' ? u - u'0' : u - u'A' + 10;
}

bool startsWith(const std::u16string& text, std::size_t at, const char* word) {
    for (std::size_t i = 0; word[i] != '\0'; ++i)
        if (at + i >= text.size() || upper(text[at + i]) != static_cast<char16_t>(word[i]))
            return false;
    return true;
}

// The hex digits after `key` where it starts a part of the id (after a
// backslash, '&' or '_'), when there are exactly `digits` of them, of which
// the last `kept` are the number.
std::optional<std::string> numberAfter(const std::u16string& id, const char* key,
                                       std::size_t digits, std::size_t kept) {
    const std::size_t keyLength = std::char_traits<char>::length(key);
    for (std::size_t at = 0; at < id.size(); ++at) {
        const bool partStarts =
            at == 0 || id[at - 1] == u'\\' || id[at - 1] == u'&' || id[at - 1] == u'_';
        if (!partStarts || !startsWith(id, at, key))
            continue;
        const std::size_t first = at + keyLength;
        std::size_t end = first;
        while (end < id.size() && isHex(id[end]))
            ++end;
        if (end - first != digits)
            continue;
        std::string number;
        for (std::size_t i = end - kept; i < end; ++i)
            number += static_cast<char>(upper(id[i]));
        return number;
    }
    return std::nullopt;
}

struct Bus {
    const char* enumerator;
    const char16_t* name;
    const char* vendorKey; // none for a bus without such numbers
    std::size_t vendorDigits;
    const char* productKey;
    bool bluetooth;
};

const Bus buses[] = {
    {"USB", u"USB", "VID_", 4, "PID_", false},
    {"HDAUDIO", u"HD Audio", "VEN_", 4, "DEV_", false},
    {"PCI", u"PCI", "VEN_", 4, "DEV_", false},
    // Bluetooth's vendor is a source (0001 the SIG, 0002 USB) and the number;
    // Bluetooth LE gives the source in two digits.
    {"BTHENUM", u"Bluetooth", "VID&", 8, "PID&", true},
    {"BTHHFENUM", u"Bluetooth", "VID&", 8, "PID&", true},
    {"BTHLEDEVICE", u"Bluetooth", "VID&", 6, "PID&", true},
    {"ROOT", u"virtual", nullptr, 0, nullptr, false},
};

// The service class of "BTHENUM\{0000110B-0000-1000-8000-00805F9B34FB}_...":
// a 16-bit number in the Bluetooth base UUID.
std::optional<unsigned> serviceClass(const std::u16string& id) {
    const std::size_t slash = id.find(u'\\');
    if (slash == std::u16string::npos || !startsWith(id, slash + 1, "{0000"))
        return std::nullopt;
    const std::size_t digits = slash + 6;
    unsigned value = 0;
    for (std::size_t i = digits; i < digits + 4; ++i) {
        if (i >= id.size() || !isHex(id[i]))
            return std::nullopt;
        value = value * 16 + static_cast<unsigned>(hexValue(id[i]));
    }
    if (!startsWith(id, digits + 4, "-0000-1000-8000-00805F9B34FB}"))
        return std::nullopt;
    return value;
}

std::optional<BluetoothProfile> profileOf(const std::u16string& enumerator,
                                          const std::u16string& id) {
    if (startsWith(enumerator, 0, "BTHHFENUM") && enumerator.size() == 9)
        return BluetoothProfile::HandsFree;
    const std::optional<unsigned> service = serviceClass(id);
    if (!service)
        return std::nullopt;
    switch (*service) {
    case 0x1108: // headset
    case 0x1112: // headset audio gateway
    case 0x111E: // hands-free
    case 0x111F: // hands-free audio gateway
        return BluetoothProfile::HandsFree;
    case 0x110A: // audio source
    case 0x110B: // audio sink
    case 0x110D: // advanced audio distribution
        return BluetoothProfile::Stereo;
    default:
        return std::nullopt;
    }
}

} // namespace

HardwareIdentity identifyHardware(const std::u16string& instanceId,
                                  const std::optional<std::u16string>& hardwareId) {
    HardwareIdentity identity;
    const std::u16string enumerator = instanceId.substr(0, instanceId.find(u'\\'));
    identity.bus = enumerator;
    const Bus* bus = nullptr;
    for (const Bus& b : buses)
        if (enumerator.size() == std::char_traits<char>::length(b.enumerator) &&
            startsWith(enumerator, 0, b.enumerator))
            bus = &b;
    if (bus == nullptr)
        return identity;
    identity.bus = bus->name;
    identity.bluetooth = bus->bluetooth;
    if (bus->vendorKey != nullptr) {
        for (const std::u16string* id : {hardwareId ? &*hardwareId : nullptr, &instanceId}) {
            if (id == nullptr || identity.vendorId)
                continue;
            identity.vendorId = numberAfter(*id, bus->vendorKey, bus->vendorDigits, 4);
            if (identity.vendorId)
                identity.productId = numberAfter(*id, bus->productKey, 4, 4);
        }
    }
    if (identity.bluetooth) {
        identity.profile = profileOf(enumerator, instanceId);
        if (!identity.profile && hardwareId)
            identity.profile = profileOf(enumerator, *hardwareId);
    }
    return identity;
}

bool isContainerId(const std::u16string& text) {
    if (text.size() != 38 || text.front() != u'{' || text.back() != u'}')
        return false;
    bool nonZero = false;
    for (std::size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != u'-' : !isHex(text[i]))
            return false;
        nonZero = nonZero || (!dash && text[i] != u'0');
    }
    return nonZero;
}
