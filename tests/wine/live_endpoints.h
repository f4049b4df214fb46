// What the live endpoint service (Core Audio) and the waveform drivers' endpoint
// ids say, gathered with plain COM calls of this file's own, so that a fault in
// the program's platform code cannot hide in both sides of a comparison.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winsvc.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <objbase.h>
#include <mmdeviceapi.h>
#include <devicetopology.h>
#include <audioclient.h>
#include <audiopolicy.h>
#include <endpointvolume.h>
#include <propidl.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

// The driver messages and property keys, written out from their documented
// values so that including this header defines nothing for the rest of a file.
constexpr UINT liveQueryInstanceId = 0x0800 + 17;     // DRV_QUERYFUNCTIONINSTANCEID
constexpr UINT liveQueryInstanceIdSize = 0x0800 + 18; // DRV_QUERYFUNCTIONINSTANCEIDSIZE
constexpr PROPERTYKEY liveFriendlyNameKey =           // PKEY_Device_FriendlyName
    {{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};
constexpr PROPERTYKEY liveAdapterNameKey = // PKEY_DeviceInterface_FriendlyName
    {{0x026e516e, 0xb814, 0x414b, {0x83, 0xcd, 0x85, 0x6d, 0x6f, 0xef, 0x48, 0x22}}, 2};
constexpr PROPERTYKEY liveFormFactorKey = // PKEY_AudioEndpoint_FormFactor
    {{0x1da5d803, 0xd492, 0x4edd, {0x8c, 0x23, 0xe0, 0xc0, 0xff, 0xee, 0x7f, 0x0e}}, 0};
constexpr PROPERTYKEY liveSysFxOffKey = // PKEY_AudioEndpoint_Disable_SysFx
    {{0x1da5d803, 0xd492, 0x4edd, {0x8c, 0x23, 0xe0, 0xc0, 0xff, 0xee, 0x7f, 0x0e}}, 5};
constexpr PROPERTYKEY liveDeviceFormatKey = // PKEY_AudioEngine_DeviceFormat
    {{0xf19f064d, 0x082c, 0x4e27, {0xbc, 0x73, 0x68, 0x82, 0xa1, 0xbb, 0x8e, 0x4c}}, 0};
constexpr PROPERTYKEY liveContainerKey = // PKEY_Device_ContainerId
    {{0x8c7ed206, 0x3f8a, 0x4827, {0xb3, 0xab, 0xae, 0x9e, 0x1f, 0xae, 0xfc, 0x6c}}, 2};
// PKEY_FX_*: pre-mix, post-mix, stream, mode, endpoint; and the lists of several.
constexpr GUID liveEffectKeys = {
    0xd04e05a6, 0x594b, 0x4fb6, {0xa8, 0x0d, 0x01, 0xaf, 0x5e, 0xed, 0x7d, 0x1d}};
constexpr DWORD liveEffectIds[] = {1, 2, 5, 6, 7, 13, 14, 15};

// One waveform device and the endpoint id its driver gives.
struct LiveWaveDevice {
    UINT id = 0;
    std::string name; // the capability record's name, up to its NUL
    MMRESULT capsResult = MMSYSERR_NOERROR;
    WORD mid = 0;
    DWORD formats = 0;                    // the capability bits of the standard PCM formats
    MMRESULT idResult = MMSYSERR_NOERROR; // the first message that failed, if one did
    std::optional<std::u16string> endpointId;
};

// One audio session; what could not be read of it is missing.
struct LiveSession {
    std::optional<std::uint32_t> processId;
    std::optional<std::u16string> programPath;
    std::optional<std::uint32_t> state;
    bool systemSounds = false;
};

// One endpoint; every property is missing when it could not be read as the
// type it should have.
struct LiveEndpoint {
    std::u16string id;
    std::u16string ownId; // as its own GetId spells it, empty when that failed
    char direction = '?'; // 'I' or 'O', from the endpoint's own data flow
    HRESULT openResult = S_OK;
    std::optional<std::uint32_t> state;
    std::optional<std::u16string> friendlyName;
    std::optional<std::u16string> adapterName;
    std::optional<std::uint32_t> formFactor;
    std::optional<std::uint32_t> sysFxOff;
    std::optional<std::vector<unsigned char>> deviceFormat;
    bool defaultFor[3] = {};         // console, multimedia, communications
    HRESULT activateResult = E_FAIL; // getting its audio client
    HRESULT mixResult = E_FAIL;
    std::optional<std::vector<unsigned char>> mixFormat; // the header and its cbSize bytes
    // Missing when a call failed; nothing of these is asked of an endpoint out of use.
    std::optional<std::array<REFERENCE_TIME, 2>> periods; // default, minimum
    std::optional<std::array<UINT32, 4>> engine; // default, fundamental, minimum, maximum frames
    std::optional<std::array<float, 6>> volume;  // dB, scalar, muted 0 or 1, min, max, step dB
    std::optional<std::vector<LiveSession>> sessions;
    // What it tells of its hardware: activating its device topology, its
    // container id, and whether an effect property holds anything at all.
    HRESULT topologyResult = E_FAIL;
    bool storeOpened = false;
    std::optional<GUID> containerId;
    bool namesEffects = false;

    bool active() const { return !state || *state == DEVICE_STATE_ACTIVE; }
    const std::u16string& shownId() const { return ownId.empty() ? id : ownId; }
};

struct LiveEndpoints {
    std::vector<LiveWaveDevice> inputs;
    std::vector<LiveWaveDevice> outputs;
    // The active endpoints' ids per direction (0 input, 1 output), in the service's order.
    std::vector<std::u16string> activeIds[2];
    std::vector<std::u16string> allIds[2]; // and those in every state
    // The default endpoint's id per direction and role, when there is one, and
    // what the service answered when asked for it.
    std::optional<std::u16string> defaults[2][3];
    HRESULT defaultResults[2][3] = {{E_FAIL, E_FAIL, E_FAIL}, {E_FAIL, E_FAIL, E_FAIL}};
    // Each id once: the waveform devices' endpoints, inputs then outputs, then
    // the endpoints in every state that no waveform device names.
    std::vector<LiveEndpoint> endpoints;

    const LiveEndpoint* find(const std::u16string& id) const {
        for (const LiveEndpoint& e : endpoints)
            if (e.id == id)
                return &e;
        return nullptr;
    }
};

// The system as Windows itself gives it, and the audio services' states or,
// when one cannot be asked, the service manager's error.
struct LiveSystem {
    std::optional<std::array<DWORD, 3>> version; // major, minor, build
    DWORD serviceErrors[2] = {ERROR_SUCCESS, ERROR_SUCCESS};
    DWORD serviceStates[2] = {0, 0};
};

inline LiveSystem liveSystem() {
    LiveSystem system;
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto get = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (get != nullptr && get(&info) == 0)
        system.version = {info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    const wchar_t* const names[] = {L"Audiosrv", L"AudioEndpointBuilder"};
    for (int i = 0; i < 2; ++i) {
        SC_HANDLE service =
            manager != nullptr ? OpenServiceW(manager, names[i], SERVICE_QUERY_STATUS) : nullptr;
        SERVICE_STATUS status = {};
        if (service == nullptr || !QueryServiceStatus(service, &status))
            system.serviceErrors[i] = GetLastError();
        else
            system.serviceStates[i] = status.dwCurrentState;
        if (service != nullptr)
            CloseServiceHandle(service);
    }
    if (manager != nullptr)
        CloseServiceHandle(manager);
    return system;
}

// The thread's COM apartment and a device enumerator; audio clients are kept
// per endpoint once asked, so a matrix of questions activates each only once.
class LiveEndpointSession {
public:
    LiveEndpointSession() {
        com_ = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (FAILED(com_) && com_ != RPC_E_CHANGED_MODE) {
            status_ = com_;
            return;
        }
        status_ =
            CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                             __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&enumerator_));
    }
    LiveEndpointSession(const LiveEndpointSession&) = delete;
    LiveEndpointSession& operator=(const LiveEndpointSession&) = delete;
    ~LiveEndpointSession() {
        for (auto& kept : clients_)
            if (kept.second.client != nullptr)
                kept.second.client->Release();
        if (enumerator_ != nullptr)
            enumerator_->Release();
        if (SUCCEEDED(com_))
            CoUninitialize();
    }

    // S_OK when the enumerator could be made.
    HRESULT status() const { return status_; }

    LiveEndpoints gather() {
        LiveEndpoints found;
        found.inputs = waveDevices('I');
        found.outputs = waveDevices('O');
        if (enumerator_ == nullptr)
            return found;
        for (int d = 0; d < 2; ++d) {
            const EDataFlow flow = d == 0 ? eCapture : eRender;
            found.activeIds[d] = listIds(flow, DEVICE_STATE_ACTIVE);
            found.allIds[d] = listIds(flow, DEVICE_STATEMASK_ALL);
            for (int role = 0; role < 3; ++role) {
                IMMDevice* device = nullptr;
                found.defaultResults[d][role] =
                    enumerator_->GetDefaultAudioEndpoint(flow, static_cast<ERole>(role), &device);
                if (SUCCEEDED(found.defaultResults[d][role]) && device != nullptr)
                    found.defaults[d][role] = idOf(device);
                if (device != nullptr)
                    device->Release();
            }
        }
        std::vector<std::u16string> ids;
        for (const auto* devices : {&found.inputs, &found.outputs})
            for (const LiveWaveDevice& w : *devices)
                if (w.endpointId)
                    ids.push_back(*w.endpointId);
        for (const auto& listed : found.allIds)
            ids.insert(ids.end(), listed.begin(), listed.end());
        for (const std::u16string& id : ids)
            if (found.find(id) == nullptr)
                found.endpoints.push_back(endpoint(id, found));
        return found;
    }

    // What the service answers when asked for the endpoint with this id.
    HRESULT findResult(const std::u16string& id) {
        if (enumerator_ == nullptr)
            return status_;
        const std::wstring wide(id.begin(), id.end());
        IMMDevice* device = nullptr;
        const HRESULT result = enumerator_->GetDevice(wide.c_str(), &device);
        if (device != nullptr)
            device->Release();
        return result;
    }

    // The service's own answer to an exclusive-mode question about the format
    // (the header and its cbSize bytes), untouched; or, when the endpoint gave
    // no audio client, what it answered instead.
    HRESULT askExclusive(const std::u16string& id, const WAVEFORMATEX* format) {
        auto kept = clients_.find(id);
        if (kept == clients_.end()) {
            KeptClient made;
            IMMDevice* device = nullptr;
            const std::wstring wide(id.begin(), id.end());
            made.result =
                enumerator_ == nullptr ? status_ : enumerator_->GetDevice(wide.c_str(), &device);
            if (SUCCEEDED(made.result) && device != nullptr)
                made.result = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                               reinterpret_cast<void**>(&made.client));
            if (FAILED(made.result))
                made.client = nullptr;
            else if (made.client == nullptr)
                made.result = E_POINTER;
            if (device != nullptr)
                device->Release();
            kept = clients_.emplace(id, made).first;
        }
        if (kept->second.client == nullptr)
            return kept->second.result;
        return kept->second.client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, format, nullptr);
    }

    // Opens an exclusive stream with the format for a moment, as a player
    // would: a client of its own, the device's minimum period, with the event
    // callback or not; never started. The service's answer, untouched. (Wine
    // never asks for an aligned buffer, so it is not asked again with one.)
    HRESULT openExclusive(const std::u16string& id, const WAVEFORMATEX* format, bool events) {
        const std::wstring wide(id.begin(), id.end());
        IMMDevice* device = nullptr;
        IAudioClient* client = nullptr;
        REFERENCE_TIME defaultPeriod = 0, period = 0;
        HRESULT result =
            enumerator_ != nullptr ? enumerator_->GetDevice(wide.c_str(), &device) : status_;
        if (SUCCEEDED(result))
            result = device != nullptr ? activate(device, &client) : E_POINTER;
        if (SUCCEEDED(result))
            result = client->GetDevicePeriod(&defaultPeriod, &period);
        if (SUCCEEDED(result))
            result = client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE,
                                        events ? AUDCLNT_STREAMFLAGS_EVENTCALLBACK : 0, period,
                                        period, format, nullptr);
        if (client != nullptr)
            client->Release();
        if (device != nullptr)
            device->Release();
        return result;
    }

private:
    static std::u16string text(const wchar_t* wide) {
        std::u16string copy;
        for (; wide != nullptr && *wide != L'\0'; ++wide)
            copy.push_back(static_cast<char16_t>(*wide));
        return copy;
    }

    static std::u16string idOf(IMMDevice* device) {
        LPWSTR id = nullptr;
        std::u16string copy;
        if (SUCCEEDED(device->GetId(&id)))
            copy = text(id);
        CoTaskMemFree(id);
        return copy;
    }

    static MMRESULT message(char direction, UINT id, UINT msg, DWORD_PTR first, DWORD_PTR second) {
        return direction == 'I'
                   ? waveInMessage(reinterpret_cast<HWAVEIN>(UINT_PTR(id)), msg, first, second)
                   : waveOutMessage(reinterpret_cast<HWAVEOUT>(UINT_PTR(id)), msg, first, second);
    }

    static std::vector<LiveWaveDevice> waveDevices(char direction) {
        std::vector<LiveWaveDevice> devices;
        const UINT count = direction == 'I' ? waveInGetNumDevs() : waveOutGetNumDevs();
        for (UINT id = 0; id < count; ++id) {
            LiveWaveDevice device;
            device.id = id;
            char name[MAXPNAMELEN + 1] = {};
            if (direction == 'I') {
                WAVEINCAPSA caps = {};
                device.capsResult = waveInGetDevCapsA(id, &caps, sizeof caps);
                std::memcpy(name, caps.szPname, MAXPNAMELEN);
                device.mid = caps.wMid;
                device.formats = caps.dwFormats;
            } else {
                WAVEOUTCAPSA caps = {};
                device.capsResult = waveOutGetDevCapsA(id, &caps, sizeof caps);
                std::memcpy(name, caps.szPname, MAXPNAMELEN);
                device.mid = caps.wMid;
                device.formats = caps.dwFormats;
            }
            device.name = name;
            // Read as a pointer-sized number: a driver may write either width.
            DWORD_PTR bytes = 0;
            device.idResult = message(direction, id, liveQueryInstanceIdSize,
                                      reinterpret_cast<DWORD_PTR>(&bytes), 0);
            if (device.idResult == MMSYSERR_NOERROR && bytes >= 2 && bytes < 65536) {
                std::vector<wchar_t> buffer(bytes / 2 + 2, L'\0');
                device.idResult = message(direction, id, liveQueryInstanceId,
                                          reinterpret_cast<DWORD_PTR>(buffer.data()), bytes);
                if (device.idResult == MMSYSERR_NOERROR)
                    device.endpointId = text(buffer.data());
            }
            devices.push_back(device);
        }
        return devices;
    }

    std::vector<std::u16string> listIds(EDataFlow flow, DWORD states) {
        std::vector<std::u16string> ids;
        IMMDeviceCollection* collection = nullptr;
        if (FAILED(enumerator_->EnumAudioEndpoints(flow, states, &collection)) ||
            collection == nullptr)
            return ids;
        UINT count = 0;
        collection->GetCount(&count);
        for (UINT i = 0; i < count; ++i) {
            IMMDevice* device = nullptr;
            if (SUCCEEDED(collection->Item(i, &device)) && device != nullptr) {
                ids.push_back(idOf(device));
                device->Release();
            }
        }
        collection->Release();
        return ids;
    }

    static std::optional<std::u16string> textProperty(IPropertyStore* store,
                                                      const PROPERTYKEY& key) {
        std::optional<std::u16string> value;
        PROPVARIANT v;
        PropVariantInit(&v);
        if (SUCCEEDED(store->GetValue(key, &v)) && v.vt == VT_LPWSTR)
            value = text(v.pwszVal);
        PropVariantClear(&v);
        return value;
    }

    LiveEndpoint endpoint(const std::u16string& id, const LiveEndpoints& found) {
        LiveEndpoint e;
        e.id = id;
        for (int d = 0; d < 2; ++d)
            for (int role = 0; role < 3; ++role)
                if (found.defaults[d][role] == id)
                    e.defaultFor[role] = true;
        std::wstring wide(id.begin(), id.end());
        IMMDevice* device = nullptr;
        e.openResult = enumerator_->GetDevice(wide.c_str(), &device);
        if (FAILED(e.openResult) || device == nullptr)
            return e;
        e.ownId = idOf(device);
        DWORD state = 0;
        if (SUCCEEDED(device->GetState(&state)))
            e.state = state;
        IMMEndpoint* flow = nullptr;
        if (SUCCEEDED(
                device->QueryInterface(__uuidof(IMMEndpoint), reinterpret_cast<void**>(&flow)))) {
            EDataFlow data = eAll;
            if (SUCCEEDED(flow->GetDataFlow(&data)))
                e.direction = data == eCapture ? 'I' : data == eRender ? 'O' : '?';
            flow->Release();
        }
        IPropertyStore* store = nullptr;
        if (SUCCEEDED(device->OpenPropertyStore(STGM_READ, &store)) && store != nullptr) {
            e.friendlyName = textProperty(store, liveFriendlyNameKey);
            e.adapterName = textProperty(store, liveAdapterNameKey);
            PROPVARIANT v;
            PropVariantInit(&v);
            if (SUCCEEDED(store->GetValue(liveFormFactorKey, &v)) && v.vt == VT_UI4)
                e.formFactor = v.ulVal;
            PropVariantClear(&v);
            if (SUCCEEDED(store->GetValue(liveSysFxOffKey, &v)) && v.vt == VT_UI4)
                e.sysFxOff = v.ulVal;
            PropVariantClear(&v);
            if (SUCCEEDED(store->GetValue(liveDeviceFormatKey, &v)) && v.vt == VT_BLOB &&
                v.blob.pBlobData != nullptr)
                e.deviceFormat.emplace(v.blob.pBlobData, v.blob.pBlobData + v.blob.cbSize);
            PropVariantClear(&v);
            e.storeOpened = true;
            if (SUCCEEDED(store->GetValue(liveContainerKey, &v)) && v.vt == VT_CLSID &&
                v.puuid != nullptr)
                e.containerId = *v.puuid;
            PropVariantClear(&v);
            for (DWORD id : liveEffectIds) {
                if (SUCCEEDED(store->GetValue(PROPERTYKEY{liveEffectKeys, id}, &v)))
                    e.namesEffects = e.namesEffects || v.vt != VT_EMPTY;
                PropVariantClear(&v);
            }
            store->Release();
        }
        IDeviceTopology* topology = nullptr;
        e.topologyResult = activate(device, &topology);
        if (topology != nullptr)
            topology->Release();
        // Out of use, it has no audio client or controls to ask. Of the others
        // only questions: no client is initialised, no level or session is touched.
        if (!e.active()) {
            device->Release();
            return e;
        }
        IAudioClient* client = nullptr;
        e.activateResult = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                            reinterpret_cast<void**>(&client));
        if (SUCCEEDED(e.activateResult) && client != nullptr) {
            WAVEFORMATEX* mix = nullptr;
            e.mixResult = client->GetMixFormat(&mix);
            if (SUCCEEDED(e.mixResult) && mix != nullptr) {
                const auto* bytes = reinterpret_cast<const unsigned char*>(mix);
                e.mixFormat.emplace(bytes, bytes + sizeof(WAVEFORMATEX) + mix->cbSize);
            }
            std::array<REFERENCE_TIME, 2> p{};
            if (SUCCEEDED(client->GetDevicePeriod(&p[0], &p[1])))
                e.periods = p;
            IAudioClient3* newer = nullptr;
            std::array<UINT32, 4> f{};
            if (mix != nullptr && SUCCEEDED(client->QueryInterface(&newer)) && newer != nullptr &&
                SUCCEEDED(newer->GetSharedModeEnginePeriod(mix, &f[0], &f[1], &f[2], &f[3])))
                e.engine = f;
            if (newer != nullptr)
                newer->Release();
            CoTaskMemFree(mix);
            client->Release();
        }
        IAudioEndpointVolume* volume = nullptr;
        std::array<float, 6> v{};
        BOOL muted = FALSE;
        if (SUCCEEDED(activate(device, &volume)) &&
            SUCCEEDED(volume->GetMasterVolumeLevel(&v[0])) &&
            SUCCEEDED(volume->GetMasterVolumeLevelScalar(&v[1])) &&
            SUCCEEDED(volume->GetMute(&muted)) &&
            SUCCEEDED(volume->GetVolumeRange(&v[3], &v[4], &v[5]))) {
            v[2] = muted != FALSE ? 1.0f : 0.0f;
            e.volume = v;
        }
        if (volume != nullptr)
            volume->Release();
        e.sessions = sessions(device);
        device->Release();
        return e;
    }

    template <class T> static HRESULT activate(IMMDevice* device, T** made) {
        const HRESULT result =
            device->Activate(__uuidof(T), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(made));
        return SUCCEEDED(result) && *made == nullptr ? E_POINTER : result;
    }

    static std::optional<std::vector<LiveSession>> sessions(IMMDevice* device) {
        IAudioSessionManager2* manager = nullptr;
        IAudioSessionEnumerator* list = nullptr;
        int count = 0;
        std::optional<std::vector<LiveSession>> found;
        if (SUCCEEDED(activate(device, &manager)) &&
            SUCCEEDED(manager->GetSessionEnumerator(&list)) && list != nullptr &&
            SUCCEEDED(list->GetCount(&count)))
            found.emplace();
        for (int i = 0; found && i < count; ++i) {
            IAudioSessionControl* control = nullptr;
            if (FAILED(list->GetSession(i, &control)) || control == nullptr)
                continue;
            LiveSession s;
            AudioSessionState state = AudioSessionStateInactive;
            if (SUCCEEDED(control->GetState(&state)))
                s.state = static_cast<std::uint32_t>(state);
            IAudioSessionControl2* more = nullptr;
            DWORD pid = 0;
            if (SUCCEEDED(control->QueryInterface(&more)) && more != nullptr) {
                s.systemSounds = more->IsSystemSoundsSession() == S_OK;
                if (SUCCEEDED(more->GetProcessId(&pid)))
                    s.processId = pid;
                more->Release();
            }
            control->Release();
            // The program's image; not asked of the system sounds.
            const HANDLE process = s.processId && !s.systemSounds
                                       ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)
                                       : nullptr;
            wchar_t path[MAX_PATH * 4];
            DWORD length = MAX_PATH * 4;
            if (process != nullptr && QueryFullProcessImageNameW(process, 0, path, &length))
                s.programPath = text(path);
            if (process != nullptr)
                CloseHandle(process);
            found->push_back(s);
        }
        if (list != nullptr)
            list->Release();
        if (manager != nullptr)
            manager->Release();
        return found;
    }

    HRESULT com_ = E_FAIL;
    HRESULT status_ = E_FAIL;
    IMMDeviceEnumerator* enumerator_ = nullptr;
    struct KeptClient {
        IAudioClient* client = nullptr;
        HRESULT result = E_FAIL;
    };
    std::map<std::u16string, KeptClient> clients_;
};
