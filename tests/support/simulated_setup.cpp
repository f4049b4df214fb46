#include "support/simulated_setup.h"

#include "catalogue/format_catalogue.h"
#include "support/format_bytes.h"

#include <algorithm>
#include <map>

FormatHeader formatHeader(WORD tag, DWORD rate, WORD bits, WORD channels, WORD cbSize) {
    FormatHeader h{};
    h.wFormatTag = tag;
    h.nChannels = channels;
    h.nSamplesPerSec = rate;
    h.wBitsPerSample = bits;
    h.nBlockAlign = static_cast<WORD>(channels * ((bits + 7) / 8));
    h.nAvgBytesPerSec = rate * h.nBlockAlign;
    h.cbSize = cbSize;
    return h;
}

FormatHeader pcm(DWORD rate, WORD bits, WORD channels) {
    return formatHeader(WAVE_FORMAT_PCM, rate, bits, channels);
}

simulated::Device device(const char* name, WORD wMid, DWORD dwFormats) {
    simulated::Device d;
    simulated::setText(d.szPname, name);
    d.wMid = wMid;
    d.dwFormats = dwFormats;
    return d;
}

void offerFormat(const FormatHeader& header, DWORD offeredFor) {
    simulated::CodecFormat f;
    f.header = header;
    f.offeredFor = offeredFor;
    simulated::machine().formats.push_back(f);
}

void nameTag(WORD tag, const char* name) {
    simulated::FormatTag t;
    t.tag = tag;
    simulated::setText(t.name, name);
    simulated::machine().tags.push_back(t);
}

simulated::Endpoint& addEndpoint(DeviceDirection direction, const std::u16string& id,
                                 const std::u16string& name, std::uint32_t formFactor) {
    simulated::Endpoint e;
    e.id = id;
    e.direction = direction;
    e.friendlyName = {S_OK, name};
    e.formFactor = {S_OK, formFactor};
    std::vector<simulated::Endpoint>& all = simulated::machine().endpoints.endpoints;
    all.push_back(e);
    return all.back();
}

void linkDevice(simulated::Device& device, const std::u16string& endpointId) {
    device.endpointIdResult = MMSYSERR_NOERROR;
    device.endpointId = endpointId;
}

std::vector<unsigned char> mixFormatBytes(DWORD rate, unsigned channels, DWORD mask) {
    return format_bytes::extensibleBytes(SampleType::Float32, channels, rate, mask);
}

simulated::ExclusiveProfile productProfile(std::vector<SampleType> types,
                                           std::vector<unsigned> channels,
                                           std::vector<DWORD> rates) {
    return [=](const WAVEFORMATEX* format) -> HRESULT {
        const std::optional<format_bytes::DriverReading> r = format_bytes::readAsDriver(format);
        auto has = [](const auto& list, auto value) {
            return std::find(list.begin(), list.end(), value) != list.end();
        };
        const bool taken = r && has(types, r->type) && has(channels, r->channels) &&
                           has(rates, r->rate) && r->extensible &&
                           r->mask == standardChannelMask(r->channels);
        return taken ? S_OK : AUDCLNT_E_UNSUPPORTED_FORMAT;
    };
}

namespace {

// A devnode with its driver (provider, version, INF, service, date) behind an
// endpoint, in a container; a devnode already there is shared.
struct Behind {
    const char16_t* instance;
    const char16_t* hardwareId;
    const char16_t* driver[4];
    std::uint64_t date;
    const char16_t* container; // none: the endpoint names none
};

simulated::Devnode& attach(simulated::Endpoint& e, const Behind& b) {
    e.hardware.adapterInstance = {S_OK, b.instance};
    if (b.container != nullptr)
        e.hardware.containerId = {S_OK, b.container};
    std::vector<simulated::Devnode>& all = simulated::machine().hardware.devnodes;
    for (simulated::Devnode& d : all)
        if (d.instanceId == b.instance)
            return d;
    simulated::Devnode d;
    d.instanceId = b.instance;
    d.hardwareIds = {CR_SUCCESS, {b.hardwareId}};
    for (int i = 0; i < 4; ++i)
        d.texts[i] = {CR_SUCCESS, b.driver[i]};
    d.driverDate = {CR_SUCCESS, b.date};
    all.push_back(d);
    return all.back();
}

// A file registered for a service or a class id, with its version resource.
void addFile(std::map<std::u16string, simulated::Win32Answer<std::u16string>>& paths,
             const std::u16string& key, const std::u16string& path, std::uint32_t high,
             std::uint32_t low) {
    paths[key] = {ERROR_SUCCESS, path};
    const std::uint32_t words[13] = {0xFEEF04BD, 0x10000, high, low};
    std::vector<unsigned char> bytes;
    for (std::uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<unsigned char>(w >> (8 * i)));
    simulated::machine().hardware.fixedVersions[path] = {ERROR_SUCCESS, bytes};
}

const Behind usbMicrophone = {u"USB\\VID_046D&PID_0A44&MI_00\\7&1F2E3D4C&0&0000",
                              u"USB\\VID_046D&PID_0A44&REV_0011&MI_00",
                              {u"Microsoft", u"10.0.19041.1", u"wdma_usb.inf", u"usbaudio"},
                              127953216000000000,
                              u"{5F3C9A10-4B2D-4E8F-9A61-2C7D0B3E4F51}"};

} // namespace

const std::u16string micEndpoint = u"{0.0.1.00000000}.{mic}";
const std::u16string speakersEndpoint = u"{0.0.0.00000000}.{speakers}";
const std::u16string hdmiEndpoint = u"{0.0.0.00000000}.{hdmi}";
const std::u16string headphonesEndpoint = u"{0.0.0.00000000}.{headphones}";

void furnishEndpointMachine() {
    simulated::Machine& m = simulated::machine();
    m.inputs = {device("In: Mic", 1)};
    m.outputs = {device("Out: Speakers", 1), device("Out: Old", 2)};
    linkDevice(m.inputs[0], micEndpoint);
    linkDevice(m.outputs[0], speakersEndpoint);

    simulated::Endpoint& in = addEndpoint('I', micEndpoint, u"Microphone (USB Audio)", 4);
    in.mixFormat = mixFormatBytes(48000, 1, 0x4);
    in.exclusive = productProfile({SampleType::Int16}, {1}, {16000, 48000});
    simulated::Endpoint& out =
        addEndpoint('O', speakersEndpoint, u"Speakers (High Definition Audio)", 1);
    out.adapterName = {S_OK, u"High Definition Audio Device"};
    out.mixFormat = mixFormatBytes(48000, 2, 0x3);
    out.exclusive = productProfile({SampleType::Int16, SampleType::Int24In32}, {2},
                                   {44100, 48000, 96000, 192000});
    out.volume = {S_OK, {-6.5f, 0.71f, false, -65.25f, 0, 0.75f}};
    out.systemEffectsOff = {S_OK, 0};
    out.deviceFormat = {S_OK, format_bytes::extensibleBytes(SampleType::Int24In32, 2, 48000, 0x3)};
    out.enginePeriods = {S_OK, {480, 480, 96, 480}};
    out.sessionsResult = S_OK;
    out.sessions = {{S_OK, 4312, 1, false}, {S_OK, 0, 0, true}, {S_OK, 977, 0, false}};
    m.endpoints.processes[4312] = u"C:\\Program Files\\Player\\player.exe";
    simulated::Endpoint& tv = addEndpoint('O', hdmiEndpoint, u"TV (HDMI)", 9);
    tv.jackSubtype = {S_OK, u"{d1b9cc2a-f519-417f-91c9-55fa65481001}"}; // HDMI
    tv.mixFormat = mixFormatBytes(48000, 8, 0x63F);
    tv.exclusive = productProfile({SampleType::Int16}, {2, 8}, {48000});

    simulated::Endpoint& gone = addEndpoint('O', headphonesEndpoint, u"Headphones (USB)", 3);
    gone.state = endpointNotPresent;
    const FormatHeader cd = pcm(44100, 16, 2);
    const auto* cdBytes = reinterpret_cast<const unsigned char*>(&cd);
    gone.deviceFormat = {S_OK, {cdBytes, cdBytes + sizeof cd}};

    simulated::EndpointSystem& system = m.endpoints;
    for (int role = 0; role < endpointRoleCount; ++role)
        system.defaults[0][role] = micEndpoint;
    system.defaults[1][0] = speakersEndpoint;
    system.defaults[1][1] = speakersEndpoint;
    system.defaults[1][2] = hdmiEndpoint;

    // The endpoints again: the references above went with the list's growth.
    std::vector<simulated::Endpoint>& all = system.endpoints;
    simulated::Hardware& h = m.hardware;
    h.version = {S_OK, {10, 0, 19045}};
    h.services[0] = h.services[1] = {ERROR_SUCCESS, 4};
    attach(all[0], usbMicrophone);
    all[3].hardware.containerId = all[0].hardware.containerId;
    addFile(h.serviceImages, u"usbaudio", u"C:\\Windows\\System32\\drivers\\usbaudio.sys",
            0x000A0000, 19041 << 16 | 1566);
    // Inside the computer: the container every built-in device shares.
    attach(all[1],
           {u"HDAUDIO\\FUNC_01&VEN_10EC&DEV_0256&SUBSYS_10280A20&REV_1000\\4&2AB3C4D5&0&0001",
            u"HDAUDIO\\FUNC_01&VEN_10EC&DEV_0256&SUBSYS_10280A20&REV_1000",
            {u"Realtek Semiconductor Corp.", u"6.0.9235.1", u"oem42.inf", u"IntcAzAudAddService"},
            132725952000000000,
            u"{00000000-0000-0000-FFFF-FFFFFFFFFFFF}"});
    addFile(h.serviceImages, u"IntcAzAudAddService",
            u"C:\\Windows\\System32\\drivers\\RTKVHD64.sys", 0x00060000, 9235 << 16 | 1);
    const std::u16string apo = u"{A1B2C3D4-0000-4000-8000-00000000A901}";
    all[1].hardware.effects = {S_OK,
                               {{EffectSlot::Stream, apo},
                                {EffectSlot::Mode, apo},
                                {EffectSlot::Endpoint, u"{B2C3D4E5-0000-4000-8000-00000000B902}"}}};
    addFile(h.classServers, apo, u"C:\\Windows\\System32\\RtkApo64.dll", 0x000D0000,
            6000 << 16 | 1234);
    attach(all[2],
           {u"HDAUDIO\\FUNC_01&VEN_8086&DEV_280B&SUBSYS_80860101&REV_1000\\4&2AB3C4D5&0&0201",
            u"HDAUDIO\\FUNC_01&VEN_8086&DEV_280B&SUBSYS_80860101&REV_1000",
            {u"Intel(R) Corporation", u"10.27.0.12", u"oem7.inf", u"IntcDAud"},
            132200640000000000,
            u"{7D1E4C2B-9A3F-4B6D-8E5C-1F2A3B4C5D6E}"});
}

void furnishHardwareMachine() {
    furnishEndpointMachine();
    const char16_t* const headset = u"{9E8D7C6B-5A49-4837-A625-14F3E2D1C0B9}";
    const Behind stereo = {
        u"BTHENUM\\{0000110b-0000-1000-8000-00805f9b34fb}_VID&00020a5c_PID&4502\\8&2F1C&0&E4A4_C0",
        u"BTHENUM\\{0000110b-0000-1000-8000-00805f9b34fb}_VID&00020a5c_PID&4502",
        {u"Microsoft", u"10.0.19041.1202", u"btha2dp.inf", u"BthA2dp"},
        132916896000000000,
        headset};
    const Behind handsFree = {u"BTHHFENUM\\BthHFPAudio\\8&3A1B2C3D&0&97",
                              u"BTHHFENUM\\BthHFPAudio",
                              {u"Microsoft", u"10.0.19041.1202", u"bthhfaud.inf", u"BthHFAud"},
                              132916896000000000,
                              headset};
    const Behind cable = {u"ROOT\\MEDIA\\0000",
                          u"LoopbackAudioWdm",
                          {u"Loopback Audio", u"1.0.0.7", u"oem51.inf", u"LoopbackAudio"},
                          132200640000000000,
                          nullptr};
    Behind dac = usbMicrophone;
    dac.instance = u"USB\\VID_1234&PID_5678\\5&1A2B3C4D&0&3";
    dac.hardwareId = u"USB\\VID_1234&PID_5678&REV_0100";
    dac.container = nullptr;
    const struct {
        DeviceDirection direction;
        const char16_t* id;
        const char16_t* name;
        std::uint32_t formFactor;
        const Behind& behind;
    } endpoints[] = {
        {'O', u"{0.0.0.00000000}.{bt-stereo}", u"Headphones (BT Headset Stereo)", 3, stereo},
        {'O', u"{0.0.0.00000000}.{bt-hands-free}", u"Headset (BT Headset Hands-Free)", 5,
         handsFree},
        {'I', u"{0.0.1.00000000}.{bt-hands-free}", u"Headset Microphone (BT Headset Hands-Free)", 5,
         handsFree},
        {'O', u"{0.0.0.00000000}.{cable}", u"Loopback (Virtual Audio)", 1, cable},
        {'O', u"{0.0.0.00000000}.{dac}", u"Speakers (USB DAC)", 1, dac},
    };
    for (const auto& e : endpoints)
        attach(addEndpoint(e.direction, e.id, e.name, e.formFactor), e.behind);
    // The DAC's device cannot start, and its endpoint is gone with it.
    simulated::machine().hardware.devnodes.back().problem = {CR_SUCCESS, 10, false};
    simulated::machine().endpoints.endpoints.back().state = endpointNotPresent;
}

void emptyCatalogue() {
    std::uint32_t keyLength;
    void* record;
    while (knownFormats.popFront(&keyLength, &record))
        delete static_cast<FormatHeader*>(record);
    while (formatTagNames.popFront(&keyLength, &record))
        delete static_cast<FormatTagEntry*>(record);
}

void resetEverything() {
    simulated::reset();
    emptyCatalogue();
}
