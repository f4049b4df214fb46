#include "watch/property_names.h"

#include <cstdio>

namespace {

// Written as numbers, from the documented keys: none of them is COM's to give.
constexpr NoticeKey deviceKey(std::uint32_t pid) { // PKEY_Device_*
    return {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}, pid};
}
constexpr NoticeKey endpointKey(std::uint32_t pid) { // PKEY_AudioEndpoint_*
    return {0x1da5d803, 0xd492, 0x4edd, {0x8c, 0x23, 0xe0, 0xc0, 0xff, 0xee, 0x7f, 0x0e}, pid};
}

const PropertyName names[] = {
    {deviceKey(14), "name", "name", PropertyRead::Name, false},
    {deviceKey(2), "description", "description", PropertyRead::Nothing, false},
    {{0x026e516e, 0xb814, 0x414b, {0x83, 0xcd, 0x85, 0x6d, 0x6f, 0xef, 0x48, 0x22}, 2},
     "adapter",
     "adapter",
     PropertyRead::Adapter,
     false},
    {endpointKey(0), "form factor", "formFactor", PropertyRead::FormFactor, false},
    {endpointKey(1), "control panel page", "controlPanelPage", PropertyRead::Nothing, false},
    {endpointKey(2), "association", "association", PropertyRead::Nothing, false},
    {endpointKey(3), "speakers", "physicalSpeakers", PropertyRead::Nothing, false},
    {endpointKey(4), "endpoint GUID", "guid", PropertyRead::Nothing, false},
    {endpointKey(5), "enhancements", "enhancements", PropertyRead::Enhancements, false},
    {endpointKey(6), "full-range speakers", "fullRangeSpeakers", PropertyRead::Nothing, false},
    {endpointKey(7), "event-driven mode", "eventDrivenMode", PropertyRead::Nothing, false},
    {endpointKey(8), "jack type", "jackSubType", PropertyRead::Nothing, false},
    {endpointKey(9), "default volume", "defaultVolumeDb", PropertyRead::Nothing, false},
    {{0xf19f064d, 0x082c, 0x4e27, {0xbc, 0x73, 0x68, 0x82, 0xa1, 0xbb, 0x8e, 0x4c}, 0},
     "panel format",
     "deviceFormat",
     PropertyRead::PanelFormat,
     true},
    {{0xe4870e26, 0x3cc5, 0x4cd2, {0xba, 0x46, 0xca, 0x0a, 0x9a, 0x70, 0xed, 0x04}, 3},
     "OEM format",
     "oemFormat",
     PropertyRead::Nothing,
     true},
    {{0x259abffc, 0x50a7, 0x47ce, {0xaf, 0x08, 0x68, 0xc9, 0xa7, 0xd7, 0x33, 0x66}, 12},
     "icon",
     "icon",
     PropertyRead::Nothing,
     false},
};

} // namespace

bool sameKey(const NoticeKey& a, const NoticeKey& b) {
    for (int i = 0; i < 8; ++i)
        if (a.data4[i] != b.data4[i])
            return false;
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 && a.pid == b.pid;
}

const PropertyName* knownProperty(const NoticeKey& key) {
    for (const PropertyName& n : names)
        if (sameKey(n.key, key))
            return &n;
    return nullptr;
}

std::string keyText(const NoticeKey& k) {
    char text[64];
    std::snprintf(text, sizeof text, "{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x},%lu",
                  static_cast<unsigned long>(k.data1), static_cast<unsigned>(k.data2),
                  static_cast<unsigned>(k.data3), k.data4[0], k.data4[1], k.data4[2], k.data4[3],
                  k.data4[4], k.data4[5], k.data4[6], k.data4[7],
                  static_cast<unsigned long>(k.pid));
    return text;
}
