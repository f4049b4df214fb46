// What an instance id and a hardware id say of the device, from the ids
// Windows gives and from ids no device should have.
#include "hardware/hardware_ids.h"

#include <gtest/gtest.h>

namespace {

TEST(HardwareIds, BusNumbersAndBluetoothProfile) {
    const std::optional<std::string> none;
    const std::optional<BluetoothProfile> noProfile;
    const auto handsFree = BluetoothProfile::HandsFree;
    const auto stereo = BluetoothProfile::Stereo;
    const struct {
        std::u16string instance;
        std::optional<std::u16string> hardware;
        std::u16string bus;
        std::optional<std::string> vendor, product;
        std::optional<BluetoothProfile> profile;
    } cases[] = {
        {u"USB\\VID_046D&PID_0A44&MI_00\\7&1F2E3D4C&0&0000",
         u"USB\\VID_046D&PID_0A44&REV_0011&MI_00", u"USB", "046D", "0A44", noProfile},
        // numbers from the instance id when no hardware id is known; any case
        {u"usb\\vid_046d&pid_0a44\\5&2&0&1", std::nullopt, u"USB", "046D", "0A44", noProfile},
        {u"HDAUDIO\\FUNC_01&VEN_10EC&DEV_0256&SUBSYS_10280A20&REV_1000\\4&2AB&0&0001",
         u"HDAUDIO\\FUNC_01&VEN_10EC&DEV_0256&SUBSYS_10280A20&REV_1000", u"HD Audio", "10EC",
         "0256", noProfile},
        // SUBSYS_ and REV_ hold hex too, but only VEN_ and DEV_ name the codec
        {u"PCI\\VEN_8086&DEV_A0C8&SUBSYS_0A201028&REV_20\\3&11583659&0&FB", std::nullopt, u"PCI",
         "8086", "A0C8", noProfile},
        {u"BTHENUM\\{0000110b-0000-1000-8000-00805f9b34fb}_VID&00020a5c_PID&4502\\8&1&0&E4_C0",
         u"BTHENUM\\{0000110b-0000-1000-8000-00805f9b34fb}_VID&00020a5c_PID&4502", u"Bluetooth",
         "0A5C", "4502", stereo},
        {u"BTHENUM\\{0000111E-0000-1000-8000-00805F9B34FB}_LOCALMFG&000F\\7&2&0&E4", std::nullopt,
         u"Bluetooth", none, none, handsFree},
        {u"BTHHFENUM\\BthHFPAudio\\8&3A&0&97", u"BTHHFENUM\\BthHFPAudio", u"Bluetooth", none, none,
         handsFree},
        // a service class outside the base UUID, and one that is no audio
        {u"BTHENUM\\{0000110B-0000-1000-8000-00805F9B34FC}_X\\1", std::nullopt, u"Bluetooth", none,
         none, noProfile},
        {u"BTHENUM\\{00001124-0000-1000-8000-00805F9B34FB}_X\\1", std::nullopt, u"Bluetooth", none,
         none, noProfile},
        {u"BTHLEDEVICE\\{0000184E-0000-1000-8000-00805F9B34FB}_Dev_VID&0105d8_PID&1004\\9",
         std::nullopt, u"Bluetooth", "05D8", "1004", noProfile},
        {u"ROOT\\MEDIA\\0000", u"LoopbackAudioWdm", u"virtual", none, none, noProfile},
        // odd ones: too few or too many digits, a key inside a word, no enumerator
        {u"USB\\VID_046&PID_0A445\\1", std::nullopt, u"USB", none, none, noProfile},
        {u"USB\\XVID_046D&PID_0A44\\1", std::nullopt, u"USB", none, none, noProfile},
        {u"USB\\VID_GGGG&PID_0A44", u"USB\\VID_12AB&PID_", u"USB", "12AB", none, noProfile},
        {u"", std::nullopt, u"", none, none, noProfile},
        {u"BTHENUM\\{0000", std::nullopt, u"Bluetooth", none, none, noProfile},
        {u"\u00DCSB\\VID_046D\xD800", std::nullopt, u"\u00DCSB", none, none, noProfile},
    };
    for (const auto& c : cases) {
        const HardwareIdentity id = identifyHardware(c.instance, c.hardware);
        const std::string name(c.instance.begin(), c.instance.end());
        EXPECT_EQ(c.bus, id.bus) << name;
        EXPECT_EQ(c.vendor, id.vendorId) << name;
        EXPECT_EQ(c.product, id.productId) << name;
        EXPECT_EQ(c.bus == u"Bluetooth", id.bluetooth) << name;
        EXPECT_EQ(c.profile, id.profile) << name;
    }
}

} // namespace
