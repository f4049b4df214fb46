#include "support/simulated_setup.h"

#include "catalogue/format_catalogue.h"
#include "support/format_bytes.h"

#include <algorithm>

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
