// The endpoint service over the real Core Audio. Every result code goes through
// the one sorting table; nothing of COM leaves this folder, where only the
// hardware calls share this file's records (endpoint_device_windows.h).
#include "platform/endpoint_answers.h"
#include "platform/format_copy.h"

#include <objbase.h>
// The property keys used here are defined in this file, not taken from a library.
#include <initguid.h>
#include <mmdeviceapi.h>
#include <functiondiscoverykeys_devpkey.h>
#include <audioclient.h>
#include <audiopolicy.h>
#include <endpointvolume.h>
#include <mmddk.h>
#include <tlhelp32.h>

#include "platform/endpoint_device_windows.h"

#include <climits>
#include <optional>
#include <new>
#include <utility>

// The waveform driver's endpoint-id messages, for headers that lack them.
#ifndef DRV_QUERYFUNCTIONINSTANCEID
#define DRV_QUERYFUNCTIONINSTANCEID (DRV_RESERVED + 17)
#endif
#ifndef DRV_QUERYFUNCTIONINSTANCEIDSIZE
#define DRV_QUERYFUNCTIONINSTANCEIDSIZE (DRV_RESERVED + 18)
#endif

namespace {

static_assert(static_cast<int>(EndpointRole::Console) == eConsole &&
                  static_cast<int>(EndpointRole::Multimedia) == eMultimedia &&
                  static_cast<int>(EndpointRole::Communications) == eCommunications,
              "the roles are numbered as the service numbers them");

EDataFlow dataFlow(DeviceDirection direction) {
    return direction == 'I' ? eCapture : eRender;
}

// An endpoint's id, as the service allocated it.
HRESULT deviceId(IMMDevice* device, std::u16string* id) {
    TaskMemory<wchar_t> text;
    const HRESULT result = device->GetId(text.receive());
    if (FAILED(result))
        return result;
    if (text.get() == nullptr)
        return E_POINTER;
    *id = fromWide(text.get());
    return S_OK;
}

// The longest endpoint id taken from a driver, in bytes: far beyond any real
// one, small enough that a driver's nonsense cannot exhaust memory.
constexpr DWORD_PTR longestDriverId = 64 * 1024;

MMRESULT driverMessage(DeviceDirection direction, UINT id, UINT message, DWORD_PTR first,
                       DWORD_PTR second) {
    // The messages take a device number in place of a handle.
    if (direction == 'I')
        return waveInMessage(reinterpret_cast<HWAVEIN>(static_cast<UINT_PTR>(id)), message, first,
                             second);
    return waveOutMessage(reinterpret_cast<HWAVEOUT>(static_cast<UINT_PTR>(id)), message, first,
                          second);
}

} // namespace

struct EndpointService {
    bool ownsCom = false; // COM was set up here and must be undone here
    ComRef<IMMDeviceEnumerator> enumerator;
};

struct EndpointDevice {
    ComRef<IMMDevice> device;
    ComRef<IPropertyStore> store; // opened when first needed
    ComRef<IAudioClient> client;  // activated when first needed, then kept
    bool clientAsked = false;
    HRESULT clientResult = S_OK; // what activating it answered
};

namespace {

HRESULT propertyStore(EndpointDevice* device, IPropertyStore** store) {
    if (device->store.get() == nullptr) {
        const HRESULT result =
            device->device->OpenPropertyStore(STGM_READ, device->store.receive());
        if (FAILED(result)) {
            device->store.reset();
            return result;
        }
        if (device->store.get() == nullptr)
            return E_POINTER;
    }
    *store = device->store.get();
    return S_OK;
}

// One activation per endpoint, success or failure: a probe asks thousands of
// questions and a failed activation would fail the same way every time.
HRESULT audioClient(EndpointDevice* device, IAudioClient** client) {
    if (!device->clientAsked) {
        device->clientAsked = true;
        device->clientResult = device->device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                                        device->client.receiveVoid());
        if (SUCCEEDED(device->clientResult) && device->client.get() == nullptr)
            device->clientResult = E_POINTER;
        if (FAILED(device->clientResult))
            device->client.reset();
    }
    *client = device->client.get();
    return device->clientResult;
}

const PROPERTYKEY& textKey(EndpointText which) {
    switch (which) {
    case EndpointText::FriendlyName:
        return PKEY_Device_FriendlyName;
    case EndpointText::AdapterName:
        return PKEY_DeviceInterface_FriendlyName;
    case EndpointText::JackSubtype:
        break;
    }
    return PKEY_AudioEndpoint_JackSubType;
}

// Reads a property that should hold a value of `type` (or of `otherType`, for
// a property documented with another type on some versions of Windows) and
// hands it to `take`: NotFound when the store lacks it, a type mismatch when
// it holds another.
template <class Take>
EndpointAnswer typedProperty(EndpointDevice* device, const PROPERTYKEY& key, VARTYPE type,
                             Take take, VARTYPE otherType = VT_EMPTY) {
    try {
        IPropertyStore* store = nullptr;
        HRESULT result = propertyStore(device, &store);
        PropertyValue read;
        if (SUCCEEDED(result))
            result = store->GetValue(key, read.receive());
        const VARTYPE held = read.get().vt;
        if (SUCCEEDED(result))
            result = held != VT_EMPTY && (held == type || held == otherType) ? take(read.get())
                     : held == VT_EMPTY                                      ? E_NOTFOUND
                                                                             : DISP_E_TYPEMISMATCH;
        return endpointAnswerOf(result);
    } catch (const std::bad_alloc&) {
        return EndpointAnswer::NoMemory;
    }
}

} // namespace

EndpointAnswer openEndpointService(EndpointService** service) {
    *service = nullptr;
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // Already set up in another mode: usable, but not ours to undo.
    if (FAILED(com) && com != RPC_E_CHANGED_MODE)
        return endpointAnswerOf(com);
    const bool ownsCom = SUCCEEDED(com);
    auto* made = new (std::nothrow) EndpointService;
    if (made == nullptr) {
        if (ownsCom)
            CoUninitialize();
        return EndpointAnswer::NoMemory;
    }
    made->ownsCom = ownsCom;
    HRESULT result =
        CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                         __uuidof(IMMDeviceEnumerator), made->enumerator.receiveVoid());
    if (SUCCEEDED(result) && made->enumerator.get() == nullptr)
        result = E_POINTER;
    if (FAILED(result)) {
        closeEndpointService(made);
        return endpointAnswerOf(result);
    }
    *service = made;
    return EndpointAnswer::Ok;
}

void closeEndpointService(EndpointService* service) {
    if (service == nullptr)
        return;
    const bool ownsCom = service->ownsCom;
    // The enumerator goes before the apartment it lives in.
    delete service;
    if (ownsCom)
        CoUninitialize();
}

EndpointAnswer waveDeviceEndpointId(DeviceDirection direction, UINT id,
                                    std::u16string* endpointId) {
    try {
        // Windows writes the size as a ULONG, Wine as a DWORD_PTR: a zeroed
        // DWORD_PTR reads the same either way and takes either write.
        DWORD_PTR size = 0;
        MMRESULT result = driverMessage(direction, id, DRV_QUERYFUNCTIONINSTANCEIDSIZE,
                                        reinterpret_cast<DWORD_PTR>(&size), 0);
        if (result != MMSYSERR_NOERROR)
            return endpointAnswerOfMessage(result);
        // The size counts bytes with the terminating NUL; less than one
        // character leaves no id at all.
        if (size < sizeof(wchar_t))
            return EndpointAnswer::NotFound;
        if (size > longestDriverId)
            return EndpointAnswer::Failed;
        // An odd size is rounded up to whole characters, and one more NUL
        // stays beyond what the driver may write, in case it writes none.
        const std::size_t characters = (static_cast<std::size_t>(size) + 1) / sizeof(wchar_t);
        std::u16string buffer(characters + 1, u'\0');
        result = driverMessage(direction, id, DRV_QUERYFUNCTIONINSTANCEID,
                               reinterpret_cast<DWORD_PTR>(&buffer[0]),
                               static_cast<DWORD_PTR>(characters * sizeof(wchar_t)));
        if (result != MMSYSERR_NOERROR)
            return endpointAnswerOfMessage(result);
        buffer.resize(buffer.find(u'\0'));
        if (buffer.empty())
            return EndpointAnswer::NotFound;
        *endpointId = std::move(buffer);
        return EndpointAnswer::Ok;
    } catch (const std::bad_alloc&) {
        return EndpointAnswer::NoMemory;
    }
}

EndpointAnswer endpointIds(EndpointService* service, DeviceDirection direction,
                           EndpointListing listing, std::vector<std::u16string>* ids) {
    ids->clear();
    if (service == nullptr)
        return EndpointAnswer::Failed;
    try {
        const DWORD states =
            listing == EndpointListing::Active       ? DEVICE_STATE_ACTIVE
            : listing == EndpointListing::EveryState ? DEVICE_STATEMASK_ALL
            : listing == EndpointListing::NotPresent
                ? DEVICE_STATE_NOTPRESENT
                : DEVICE_STATE_ACTIVE | DEVICE_STATE_DISABLED | DEVICE_STATE_UNPLUGGED;
        ComRef<IMMDeviceCollection> collection;
        HRESULT result = service->enumerator->EnumAudioEndpoints(dataFlow(direction), states,
                                                                 collection.receive());
        if (SUCCEEDED(result) && collection.get() == nullptr)
            result = E_POINTER;
        UINT count = 0;
        if (SUCCEEDED(result))
            result = collection->GetCount(&count);
        for (UINT i = 0; SUCCEEDED(result) && i < count; ++i) {
            ComRef<IMMDevice> device;
            result = collection->Item(i, device.receive());
            if (SUCCEEDED(result) && device.get() == nullptr)
                result = E_POINTER;
            std::u16string id;
            if (SUCCEEDED(result))
                result = deviceId(device.get(), &id);
            if (SUCCEEDED(result))
                ids->push_back(std::move(id));
        }
        if (FAILED(result)) {
            ids->clear();
            return endpointAnswerOf(result);
        }
        return EndpointAnswer::Ok;
    } catch (const std::bad_alloc&) {
        ids->clear();
        return EndpointAnswer::NoMemory;
    }
}

EndpointAnswer defaultEndpointId(EndpointService* service, DeviceDirection direction,
                                 EndpointRole role, std::u16string* id) {
    if (service == nullptr)
        return EndpointAnswer::Failed;
    try {
        ComRef<IMMDevice> device;
        HRESULT result = service->enumerator->GetDefaultAudioEndpoint(
            dataFlow(direction), static_cast<ERole>(static_cast<int>(role)), device.receive());
        if (SUCCEEDED(result) && device.get() == nullptr)
            result = E_POINTER;
        if (SUCCEEDED(result))
            result = deviceId(device.get(), id);
        return endpointAnswerOf(result);
    } catch (const std::bad_alloc&) {
        return EndpointAnswer::NoMemory;
    }
}

EndpointAnswer openEndpoint(EndpointService* service, const std::u16string& id,
                            EndpointDevice** device) {
    *device = nullptr;
    if (service == nullptr)
        return EndpointAnswer::Failed;
    auto* made = new (std::nothrow) EndpointDevice;
    if (made == nullptr)
        return EndpointAnswer::NoMemory;
    HRESULT result = service->enumerator->GetDevice(toWide(id), made->device.receive());
    if (SUCCEEDED(result) && made->device.get() == nullptr)
        result = E_POINTER;
    if (FAILED(result)) {
        delete made;
        return endpointAnswerOf(result);
    }
    *device = made;
    return EndpointAnswer::Ok;
}

void closeEndpoint(EndpointDevice* device) {
    delete device;
}

EndpointAnswer endpointText(EndpointDevice* device, EndpointText which, std::u16string* text) {
    return typedProperty(device, textKey(which), VT_LPWSTR, [text](const PROPVARIANT& v) {
        *text = fromWide(v.pwszVal);
        return S_OK;
    });
}

EndpointAnswer endpointOwnId(EndpointDevice* device, std::u16string* id) {
    try {
        return endpointAnswerOf(deviceId(device->device.get(), id));
    } catch (const std::bad_alloc&) {
        return EndpointAnswer::NoMemory;
    }
}

EndpointAnswer endpointState(EndpointDevice* device, std::uint32_t* state) {
    DWORD value = 0;
    const HRESULT result = device->device->GetState(&value);
    if (SUCCEEDED(result))
        *state = value;
    return endpointAnswerOf(result);
}

EndpointAnswer endpointNumber(EndpointDevice* device, EndpointNumber which, std::uint32_t* value) {
    if (which == EndpointNumber::FormFactor)
        return typedProperty(device, PKEY_AudioEndpoint_FormFactor, VT_UI4,
                             [value](const PROPVARIANT& v) {
                                 *value = v.ulVal;
                                 return S_OK;
                             });
    // A number on some versions of Windows, a truth value on others.
    return typedProperty(
        device, PKEY_AudioEndpoint_Disable_SysFx, VT_UI4,
        [value](const PROPVARIANT& v) {
            *value = v.vt == VT_BOOL ? (v.boolVal != VARIANT_FALSE ? 1 : 0) : v.ulVal;
            return S_OK;
        },
        VT_BOOL);
}

EndpointAnswer endpointDeviceFormat(EndpointDevice* device, std::vector<unsigned char>* format) {
    return typedProperty(device, PKEY_AudioEngine_DeviceFormat, VT_BLOB,
                         [format](const PROPVARIANT& v) {
                             if (v.blob.pBlobData == nullptr && v.blob.cbSize != 0)
                                 return E_POINTER;
                             format->assign(v.blob.pBlobData, v.blob.pBlobData + v.blob.cbSize);
                             return S_OK;
                         });
}

EndpointAnswer openAudioClient(EndpointDevice* device) {
    IAudioClient* client = nullptr;
    return endpointAnswerOf(audioClient(device, &client));
}

EndpointAnswer endpointMixFormat(EndpointDevice* device, std::vector<unsigned char>* format) {
    try {
        IAudioClient* client = nullptr;
        HRESULT result = audioClient(device, &client);
        if (FAILED(result))
            return endpointAnswerOf(result);
        TaskMemory<WAVEFORMATEX> mix;
        result = client->GetMixFormat(mix.receive());
        if (SUCCEEDED(result) && mix.get() == nullptr)
            result = E_POINTER;
        if (FAILED(result))
            return endpointAnswerOf(result);
        copyFormat(mix.get(), format);
        return endpointAnswerOf(S_OK);
    } catch (const std::bad_alloc&) {
        return EndpointAnswer::NoMemory;
    }
}

EndpointAnswer askExclusiveFormat(EndpointDevice* device, const WAVEFORMATEX* format) {
    IAudioClient* client = nullptr;
    HRESULT result = audioClient(device, &client);
    if (FAILED(result))
        return endpointAnswerOf(result);
    if (format == nullptr)
        return endpointAnswerOf(E_POINTER);
    // In exclusive mode there is no "closest" format to offer.
    result = client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, format, nullptr);
    return formatAnswerOf(result);
}

EndpointAnswer endpointDevicePeriods(EndpointDevice* device, DevicePeriods* periods) {
    IAudioClient* client = nullptr;
    HRESULT result = audioClient(device, &client);
    if (FAILED(result))
        return endpointAnswerOf(result);
    REFERENCE_TIME defaultPeriod = 0;
    REFERENCE_TIME minimumPeriod = 0;
    result = client->GetDevicePeriod(&defaultPeriod, &minimumPeriod);
    if (SUCCEEDED(result)) {
        periods->defaultPeriod = defaultPeriod;
        periods->minimumPeriod = minimumPeriod;
    }
    return endpointAnswerOf(result);
}

EndpointAnswer endpointEnginePeriods(EndpointDevice* device, const WAVEFORMATEX* format,
                                     EnginePeriods* periods) {
    IAudioClient* client = nullptr;
    HRESULT result = audioClient(device, &client);
    if (FAILED(result))
        return endpointAnswerOf(result);
    if (format == nullptr)
        return endpointAnswerOf(E_POINTER);
    // Before Windows 10 the client has no such interface.
    ComRef<IAudioClient3> newer;
    result = client->QueryInterface(__uuidof(IAudioClient3), newer.receiveVoid());
    if (SUCCEEDED(result) && newer.get() == nullptr)
        result = E_POINTER;
    if (FAILED(result))
        return endpointAnswerOf(result);
    UINT32 defaultFrames = 0, fundamentalFrames = 0, minimumFrames = 0, maximumFrames = 0;
    result = newer->GetSharedModeEnginePeriod(format, &defaultFrames, &fundamentalFrames,
                                              &minimumFrames, &maximumFrames);
    if (SUCCEEDED(result))
        *periods = {defaultFrames, fundamentalFrames, minimumFrames, maximumFrames};
    return endpointAnswerOf(result);
}

EndpointAnswer endpointVolume(EndpointDevice* device, VolumeReading* volume) {
    ComRef<IAudioEndpointVolume> control;
    HRESULT result = device->device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr,
                                              control.receiveVoid());
    if (SUCCEEDED(result) && control.get() == nullptr)
        result = E_POINTER;
    VolumeReading read;
    BOOL muted = FALSE;
    if (SUCCEEDED(result))
        result = control->GetMasterVolumeLevel(&read.levelDb);
    if (SUCCEEDED(result))
        result = control->GetMasterVolumeLevelScalar(&read.scalar);
    if (SUCCEEDED(result))
        result = control->GetMute(&muted);
    if (SUCCEEDED(result))
        result = control->GetVolumeRange(&read.minimumDb, &read.maximumDb, &read.stepDb);
    if (FAILED(result))
        return endpointAnswerOf(result);
    read.muted = muted != FALSE;
    *volume = read;
    return endpointAnswerOf(S_OK);
}

namespace {

// The full path of a process's image; nothing when the process has ended or
// this program may not look at it.
std::optional<std::u16string> processImage(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr)
        return std::nullopt;
    std::optional<std::u16string> image;
    // A path may be longer than MAX_PATH: the buffer grows to the longest one.
    for (DWORD size = MAX_PATH; size <= 32768 && !image; size *= 2) {
        std::u16string path(size, u'\0');
        DWORD length = size;
        if (QueryFullProcessImageNameW(process, 0, reinterpret_cast<wchar_t*>(&path[0]), &length)) {
            path.resize(length);
            image = std::move(path);
        } else if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            break;
        }
    }
    CloseHandle(process);
    return image;
}

// The file names of the processes running now, taken once for every session
// whose process cannot be opened (another user's, a protected one).
class ProcessSnapshot {
public:
    ProcessSnapshot() = default;
    ProcessSnapshot(const ProcessSnapshot&) = delete;
    ProcessSnapshot& operator=(const ProcessSnapshot&) = delete;
    ~ProcessSnapshot() {
        if (snapshot != INVALID_HANDLE_VALUE)
            CloseHandle(snapshot);
    }

    std::optional<std::u16string> fileName(DWORD processId) {
        if (!taken) {
            taken = true;
            snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        }
        if (snapshot == INVALID_HANDLE_VALUE)
            return std::nullopt;
        PROCESSENTRY32W entry;
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot, &entry); more;
             more = Process32NextW(snapshot, &entry))
            if (entry.th32ProcessID == processId && entry.szExeFile[0] != L'\0')
                return fromWide(entry.szExeFile);
        return std::nullopt;
    }

private:
    bool taken = false;
    HANDLE snapshot = INVALID_HANDLE_VALUE;
};

// One session's facts; each that cannot be read is left unset.
SessionReading readSession(IAudioSessionControl* control, ProcessSnapshot& processes) {
    SessionReading reading;
    AudioSessionState state = AudioSessionStateInactive;
    if (SUCCEEDED(control->GetState(&state)))
        reading.state = static_cast<std::uint32_t>(state);
    ComRef<IAudioSessionControl2> more;
    if (FAILED(control->QueryInterface(__uuidof(IAudioSessionControl2), more.receiveVoid())) ||
        more.get() == nullptr)
        return reading;
    reading.systemSounds = more->IsSystemSoundsSession() == S_OK;
    // A session of several processes answers with a success code and one of them.
    DWORD processId = 0;
    if (SUCCEEDED(more->GetProcessId(&processId))) {
        reading.processId = processId;
        if (!reading.systemSounds)
            reading.programPath = processImage(processId);
        if (!reading.systemSounds && !reading.programPath)
            reading.programPath = processes.fileName(processId);
    }
    return reading;
}

} // namespace

EndpointAnswer endpointSessions(EndpointDevice* device, std::vector<SessionReading>* sessions) {
    try {
        ComRef<IAudioSessionManager2> manager;
        HRESULT result = device->device->Activate(__uuidof(IAudioSessionManager2), CLSCTX_ALL,
                                                  nullptr, manager.receiveVoid());
        if (SUCCEEDED(result) && manager.get() == nullptr)
            result = E_POINTER;
        ComRef<IAudioSessionEnumerator> list;
        if (SUCCEEDED(result))
            result = manager->GetSessionEnumerator(list.receive());
        if (SUCCEEDED(result) && list.get() == nullptr)
            result = E_POINTER;
        int count = 0;
        if (SUCCEEDED(result))
            result = list->GetCount(&count);
        if (FAILED(result))
            return endpointAnswerOf(result);
        sessions->clear();
        ProcessSnapshot processes;
        for (int i = 0; i < count; ++i) {
            ComRef<IAudioSessionControl> control;
            // A session that ends while it is listed is left out.
            if (FAILED(list->GetSession(i, control.receive())) || control.get() == nullptr)
                continue;
            sessions->push_back(readSession(control.get(), processes));
        }
        return endpointAnswerOf(S_OK);
    } catch (const std::bad_alloc&) {
        sessions->clear();
        return EndpointAnswer::NoMemory;
    }
}

IMMDeviceEnumerator* endpointEnumerator(EndpointService* service) {
    return service != nullptr ? service->enumerator.get() : nullptr;
}

IMMDevice* endpointComDevice(EndpointDevice* device) {
    return device->device.get();
}

HRESULT endpointPropertyStore(EndpointDevice* device, IPropertyStore** store) {
    return propertyStore(device, store);
}

namespace {

// An audio client of the open's own, activated afresh each time.
HRESULT freshClient(EndpointDevice* device, ComRef<IAudioClient>& client) {
    HRESULT result =
        device->device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, client.receiveVoid());
    if (SUCCEEDED(result) && client.get() == nullptr)
        result = E_POINTER;
    return result;
}

} // namespace

EndpointAnswer openExclusiveStream(EndpointDevice* device, const WAVEFORMATEX* format,
                                   OpenWay way) {
    if (format == nullptr)
        return endpointAnswerOf(E_POINTER);
    const DWORD flags = way == OpenWay::EventCallback ? AUDCLNT_STREAMFLAGS_EVENTCALLBACK : 0;
    ComRef<IAudioClient> client;
    HRESULT result = freshClient(device, client);
    REFERENCE_TIME defaultPeriod = 0;
    REFERENCE_TIME period = 0;
    if (SUCCEEDED(result))
        result = client->GetDevicePeriod(&defaultPeriod, &period);
    // An event-driven exclusive stream takes its buffer as long as its period.
    if (SUCCEEDED(result))
        result =
            client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, flags, period, period, format, nullptr);
    // As documented: the aligned buffer the failed client gives, as a period,
    // asked once more of a new client.
    if (result == AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED) {
        UINT32 frames = 0;
        if (SUCCEEDED(client->GetBufferSize(&frames)) && frames != 0) {
            client.reset();
            period = alignedPeriod(frames, format->nSamplesPerSec);
            result = freshClient(device, client);
            if (SUCCEEDED(result))
                result = client->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, flags, period, period,
                                            format, nullptr);
        }
    }
    // Released unstarted, the stream closes and the device is free again.
    return endpointAnswerOf(result);
}
