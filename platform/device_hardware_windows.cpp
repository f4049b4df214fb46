// The hardware calls on Windows. From an endpoint to its adapter: the device
// topology's first connector names the adapter's device interface, SetupAPI
// turns that into a device instance id, and the configuration manager reads
// the instance's properties. (CM_Get_Device_Interface_PropertyW would do
// SetupAPI's part, but not every cfgmgr32 that runs Windows programs has it,
// and a missing import stops the program before it starts.)
#include "platform/device_hardware.h"

#include "platform/endpoint_answers.h"

#include <objbase.h>
// The property keys used here are defined in this file, not taken from a library.
#include <initguid.h>
#include <devpkey.h>
#include <mmdeviceapi.h>
#include <devicetopology.h>
#include <cfgmgr32.h>
#include <setupapi.h>
#include <winsvc.h>
#include <winver.h>

#include "platform/endpoint_device_windows.h"

#include <cstring>
#include <new>
#include <utility>

namespace {

// The endpoint's effect properties, by slot: the one class id of each kind,
// then since Windows 10 the lists of several.
const GUID fxKeys = {0xd04e05a6, 0x594b, 0x4fb6, {0xa8, 0x0d, 0x01, 0xaf, 0x5e, 0xed, 0x7d, 0x1d}};
const struct {
    DWORD id;
    EffectSlot slot;
} effectKeys[] = {
    {1, EffectSlot::PreMix}, {2, EffectSlot::PostMix},   {5, EffectSlot::Stream},
    {6, EffectSlot::Mode},   {7, EffectSlot::Endpoint},  {13, EffectSlot::Stream},
    {14, EffectSlot::Mode},  {15, EffectSlot::Endpoint},
};
const PROPERTYKEY containerKey = { // PKEY_Device_ContainerId
    {0x8c7ed206, 0x3f8a, 0x4827, {0xb3, 0xab, 0xae, 0x9e, 0x1f, 0xae, 0xfc, 0x6c}},
    2};
const PROPERTYKEY friendlyNameKey = { // PKEY_Device_FriendlyName
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}},
    14};

// Far beyond any real property or path, small enough that nonsense cannot
// exhaust memory.
constexpr ULONG longestValue = 64 * 1024;

EndpointAnswer lastError() {
    return endpointAnswerOfError(GetLastError());
}

// "{2}.\\?\usb#vid_046d&pid_0a44&mi_00#7&1f2e&0&0000#{6994ad04-...}\global/00010001":
// the device interface after the kind, up to a part the topology adds.
std::u16string interfacePathOf(const std::u16string& deviceId) {
    std::size_t start = 0;
    if (!deviceId.empty() && deviceId[0] == u'{') {
        const std::size_t kind = deviceId.find(u"}.");
        start = kind == std::u16string::npos ? 0 : kind + 2;
    }
    const std::size_t guid = deviceId.rfind(u"#{");
    const std::size_t end =
        guid == std::u16string::npos ? std::u16string::npos : deviceId.find(u'/', guid);
    return deviceId.substr(start, end == std::u16string::npos ? end : end - start);
}

// The instance id of the device a device interface belongs to.
EndpointAnswer interfaceInstance(const std::u16string& path, std::u16string* instanceId) {
    const HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE)
        return lastError();
    SP_DEVICE_INTERFACE_DATA found = {};
    found.cbSize = sizeof found;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    DWORD needed = 0;
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    EndpointAnswer answer = EndpointAnswer::Ok;
    // The detail call fails for want of a buffer, and fills in the device all the same.
    if (!SetupDiOpenDeviceInterfaceW(set, toWide(path), 0, &found) ||
        (!SetupDiGetDeviceInterfaceDetailW(set, &found, nullptr, 0, &needed, &device) &&
         GetLastError() != ERROR_INSUFFICIENT_BUFFER) ||
        !SetupDiGetDeviceInstanceIdW(set, &device, id, MAX_DEVICE_ID_LEN, &needed))
        answer = lastError();
    SetupDiDestroyDeviceInfoList(set);
    if (answer == EndpointAnswer::Ok)
        *instanceId = fromWide(id);
    return answer;
}

// A devnode's property of one type, whole.
EndpointAnswer devnodeProperty(Devnode node, const DEVPROPKEY& key, DEVPROPTYPE type,
                               std::vector<BYTE>* value) {
    DEVPROPTYPE given = 0;
    ULONG size = 0;
    CONFIGRET result = CM_Get_DevNode_PropertyW(node, &key, &given, nullptr, &size, 0);
    for (int tries = 0; result == CR_BUFFER_SMALL && tries < 3 && size <= longestValue; ++tries) {
        value->assign(size, 0);
        result = CM_Get_DevNode_PropertyW(node, &key, &given, value->data(), &size, 0);
    }
    if (result == CR_BUFFER_SMALL)
        return EndpointAnswer::Failed; // a size that keeps changing, or nonsense
    if (result != CR_SUCCESS)
        return endpointAnswerOfConfig(result);
    if (given != type)
        return endpointAnswerOf(DISP_E_TYPEMISMATCH);
    value->resize(size);
    return EndpointAnswer::Ok;
}

// UTF-16 strings, each ended by a NUL, as a property or the registry holds them.
std::vector<std::u16string> stringsOf(const std::vector<BYTE>& bytes) {
    std::vector<std::u16string> strings;
    std::u16string current;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto c = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
        if (c != u'\0') {
            current += c;
        } else if (!current.empty()) {
            strings.push_back(std::move(current));
            current.clear();
        } else {
            break; // the list's closing NUL
        }
    }
    if (!current.empty())
        strings.push_back(std::move(current));
    return strings;
}

const DEVPROPKEY& textKey(DevnodeText which) {
    switch (which) {
    case DevnodeText::DriverProvider:
        return DEVPKEY_Device_DriverProvider;
    case DevnodeText::DriverVersion:
        return DEVPKEY_Device_DriverVersion;
    case DevnodeText::DriverInf:
        return DEVPKEY_Device_DriverInfPath;
    case DevnodeText::Service:
        break;
    }
    return DEVPKEY_Device_Service;
}

std::u16string windowsFolder() {
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemWindowsDirectoryW(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? fromWide(folder) : u"C:\\Windows";
}

std::u16string expanded(const std::u16string& text) {
    wchar_t out[MAX_PATH * 4] = {};
    const DWORD length = ExpandEnvironmentStringsW(toWide(text), out, MAX_PATH * 4);
    return length > 0 && length <= MAX_PATH * 4 ? fromWide(out) : text;
}

// A service's image as the service manager holds it, as a path to open:
// "\SystemRoot\System32\drivers\x.sys", "System32\drivers\x.sys" (from the
// Windows folder), "\??\C:\...", "%SystemRoot%\...", or quoted with arguments.
std::u16string imageFile(std::u16string image) {
    if (!image.empty() && image[0] == u'"') {
        const std::size_t close = image.find(u'"', 1);
        image = image.substr(1, close == std::u16string::npos ? close : close - 1);
    }
    image = expanded(image);
    const std::u16string systemRoot = u"\\SystemRoot\\";
    if (image.size() >= systemRoot.size() &&
        CompareStringOrdinal(toWide(image), static_cast<int>(systemRoot.size()), toWide(systemRoot),
                             static_cast<int>(systemRoot.size()), TRUE) == CSTR_EQUAL)
        return windowsFolder() + image.substr(systemRoot.size() - 1);
    if (image.compare(0, 4, u"\\??\\") == 0)
        return image.substr(4);
    if (image.size() > 1 && image[1] != u':' && image[0] != u'\\')
        return windowsFolder() + u"\\" + image;
    return image;
}

// The service manager's handle to a service, closed with the manager's.
class ServiceHandle {
public:
    ServiceHandle(const wchar_t* name, DWORD access) {
        manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        if (manager_ != nullptr)
            service_ = OpenServiceW(manager_, name, access);
        if (service_ == nullptr)
            error_ = GetLastError();
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;
    ~ServiceHandle() {
        if (service_ != nullptr)
            CloseServiceHandle(service_);
        if (manager_ != nullptr)
            CloseServiceHandle(manager_);
    }
    SC_HANDLE get() const { return service_; }
    DWORD error() const { return error_; }

private:
    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
    DWORD error_ = ERROR_SUCCESS;
};

// A 32-bit program on 64-bit Windows sees System32 redirected to the 32-bit
// files; drivers and effects live only in the real one.
class RealSystemFolder {
public:
    RealSystemFolder() {
        using Disable = BOOL(WINAPI*)(PVOID*);
        const auto disable = reinterpret_cast<Disable>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "Wow64DisableWow64FsRedirection")));
        disabled_ = disable != nullptr && disable(&old_);
    }
    RealSystemFolder(const RealSystemFolder&) = delete;
    RealSystemFolder& operator=(const RealSystemFolder&) = delete;
    ~RealSystemFolder() {
        using Revert = BOOL(WINAPI*)(PVOID);
        const auto revert = reinterpret_cast<Revert>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "Wow64RevertWow64FsRedirection")));
        if (disabled_ && revert != nullptr)
            revert(old_);
    }

private:
    PVOID old_ = nullptr;
    bool disabled_ = false;
};

// A class id as a key name: braces, hex digits and dashes only.
bool plainClassId(const std::u16string& id) {
    if (id.size() != 38 || id.front() != u'{' || id.back() != u'}')
        return false;
    for (std::size_t i = 1; i + 1 < id.size(); ++i) {
        const char16_t c = id[i];
        const bool hex =
            (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!hex && c != u'-')
            return false;
    }
    return true;
}

void addEffect(std::vector<EffectReading>* effects, EffectSlot slot, const wchar_t* classId) {
    if (classId == nullptr || *classId == L'\0')
        return;
    EffectReading reading{slot, fromWide(classId)};
    // The one class id of a kind is often the first of its list too.
    for (const EffectReading& e : *effects)
        if (e.slot == slot &&
            CompareStringOrdinal(toWide(e.classId), -1, classId, -1, TRUE) == CSTR_EQUAL)
            return;
    effects->push_back(std::move(reading));
}

} // namespace

EndpointAnswer endpointAdapterInstance(EndpointDevice* device, std::u16string* instanceId) {
    try {
        ComRef<IDeviceTopology> topology;
        HRESULT result = endpointComDevice(device)->Activate(__uuidof(IDeviceTopology), CLSCTX_ALL,
                                                             nullptr, topology.receiveVoid());
        if (SUCCEEDED(result) && topology.get() == nullptr)
            result = E_POINTER;
        // An endpoint has one connector, to the adapter's side.
        ComRef<IConnector> connector;
        if (SUCCEEDED(result))
            result = topology->GetConnector(0, connector.receive());
        if (SUCCEEDED(result) && connector.get() == nullptr)
            result = E_POINTER;
        TaskMemory<wchar_t> adapter;
        if (SUCCEEDED(result))
            result = connector->GetDeviceIdConnectedTo(adapter.receive());
        if (SUCCEEDED(result) && adapter.get() == nullptr)
            result = E_POINTER;
        if (FAILED(result))
            return endpointAnswerOf(result);
        return interfaceInstance(interfacePathOf(fromWide(adapter.get())), instanceId);
    } catch (const std::bad_alloc&) {
        return EndpointAnswer::NoMemory;
    }
}

EndpointAnswer endpointEffects(EndpointDevice* device, std::vector<EffectReading>* effects) {
    try {
        IPropertyStore* store = nullptr;
        HRESULT result = endpointPropertyStore(device, &store);
        if (FAILED(result))
            return endpointAnswerOf(result);
        effects->clear();
        for (const auto& k : effectKeys) {
            PropertyValue value;
            result = store->GetValue(PROPERTYKEY{fxKeys, k.id}, value.receive());
            if (FAILED(result))
                return endpointAnswerOf(result);
            const PROPVARIANT& v = value.get();
            if (v.vt == VT_LPWSTR)
                addEffect(effects, k.slot, v.pwszVal);
            else if (v.vt == (VT_VECTOR | VT_LPWSTR))
                for (ULONG i = 0; i < v.calpwstr.cElems && v.calpwstr.pElems != nullptr; ++i)
                    addEffect(effects, k.slot, v.calpwstr.pElems[i]);
            // Anything else, VT_EMPTY above all, names no effect.
        }
        return EndpointAnswer::Ok;
    } catch (const std::bad_alloc&) {
        effects->clear();
        return EndpointAnswer::NoMemory;
    }
}

EndpointAnswer endpointContainers(EndpointService* service,
                                  std::vector<ContainerReading>* endpoints) {
    endpoints->clear();
    IMMDeviceEnumerator* enumerator = endpointEnumerator(service);
    if (enumerator == nullptr)
        return EndpointAnswer::Failed;
    try {
        ComRef<IMMDeviceCollection> all;
        HRESULT result = enumerator->EnumAudioEndpoints(eAll, DEVICE_STATEMASK_ALL, all.receive());
        if (SUCCEEDED(result) && all.get() == nullptr)
            result = E_POINTER;
        UINT count = 0;
        if (SUCCEEDED(result))
            result = all->GetCount(&count);
        if (FAILED(result))
            return endpointAnswerOf(result);
        for (UINT i = 0; i < count; ++i) {
            ComRef<IMMDevice> device;
            TaskMemory<wchar_t> id;
            // One that goes while it is listed is left out.
            if (FAILED(all->Item(i, device.receive())) || device.get() == nullptr ||
                FAILED(device->GetId(id.receive())) || id.get() == nullptr)
                continue;
            ContainerReading r;
            r.endpointId = fromWide(id.get());
            ComRef<IMMEndpoint> endpoint;
            EDataFlow flow = eRender;
            if (SUCCEEDED(device->QueryInterface(__uuidof(IMMEndpoint), endpoint.receiveVoid())) &&
                endpoint.get() != nullptr && SUCCEEDED(endpoint->GetDataFlow(&flow)))
                r.direction = flow == eCapture ? 'I' : 'O';
            ComRef<IPropertyStore> store;
            if (SUCCEEDED(device->OpenPropertyStore(STGM_READ, store.receive())) &&
                store.get() != nullptr) {
                PropertyValue name;
                if (SUCCEEDED(store->GetValue(friendlyNameKey, name.receive())) &&
                    name.get().vt == VT_LPWSTR)
                    r.name = fromWide(name.get().pwszVal);
                PropertyValue container;
                if (SUCCEEDED(store->GetValue(containerKey, container.receive())) &&
                    container.get().vt == VT_CLSID && container.get().puuid != nullptr) {
                    wchar_t text[40] = {};
                    if (StringFromGUID2(*container.get().puuid, text, 40) > 0)
                        r.containerId = fromWide(text);
                }
            }
            endpoints->push_back(std::move(r));
        }
        return EndpointAnswer::Ok;
    } catch (const std::bad_alloc&) {
        endpoints->clear();
        return EndpointAnswer::NoMemory;
    }
}

EndpointAnswer locateDevnode(const std::u16string& instanceId, Devnode* node, bool* present) {
    if (instanceId.size() > MAX_DEVICE_ID_LEN)
        return EndpointAnswer::NotFound;
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    instanceId.copy(reinterpret_cast<char16_t*>(id), instanceId.size());
    DEVINST found = 0;
    CONFIGRET result = CM_Locate_DevNodeW(&found, id, CM_LOCATE_DEVNODE_NORMAL);
    *present = result == CR_SUCCESS;
    // A device that is not connected keeps its devnode, and its driver.
    if (result == CR_NO_SUCH_DEVNODE)
        result = CM_Locate_DevNodeW(&found, id, CM_LOCATE_DEVNODE_PHANTOM);
    if (result == CR_SUCCESS)
        *node = found;
    return endpointAnswerOfConfig(result);
}

EndpointAnswer devnodeText(Devnode node, DevnodeText which, std::u16string* text) {
    try {
        std::vector<BYTE> bytes;
        const EndpointAnswer answer =
            devnodeProperty(node, textKey(which), DEVPROP_TYPE_STRING, &bytes);
        if (answer == EndpointAnswer::Ok) {
            const std::vector<std::u16string> strings = stringsOf(bytes);
            *text = strings.empty() ? std::u16string() : strings.front();
        }
        return answer;
    } catch (const std::bad_alloc&) {
        return EndpointAnswer::NoMemory;
    }
}

EndpointAnswer devnodeHardwareIds(Devnode node, std::vector<std::u16string>* ids) {
    try {
        std::vector<BYTE> bytes;
        const EndpointAnswer answer =
            devnodeProperty(node, DEVPKEY_Device_HardwareIds, DEVPROP_TYPE_STRING_LIST, &bytes);
        if (answer == EndpointAnswer::Ok)
            *ids = stringsOf(bytes);
        return answer;
    } catch (const std::bad_alloc&) {
        return EndpointAnswer::NoMemory;
    }
}

EndpointAnswer devnodeDriverDate(Devnode node, std::uint64_t* fileTime) {
    try {
        std::vector<BYTE> bytes;
        EndpointAnswer answer =
            devnodeProperty(node, DEVPKEY_Device_DriverDate, DEVPROP_TYPE_FILETIME, &bytes);
        if (answer == EndpointAnswer::Ok && bytes.size() != sizeof(FILETIME))
            answer = endpointAnswerOf(DISP_E_TYPEMISMATCH);
        if (answer == EndpointAnswer::Ok) {
            FILETIME time;
            std::memcpy(&time, bytes.data(), sizeof time);
            *fileTime = static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
        }
        return answer;
    } catch (const std::bad_alloc&) {
        return EndpointAnswer::NoMemory;
    }
}

EndpointAnswer devnodeProblem(Devnode node, std::uint32_t* problem) {
    ULONG status = 0;
    ULONG code = 0;
    const CONFIGRET result = CM_Get_DevNode_Status(&status, &code, node, 0);
    if (result == CR_SUCCESS)
        *problem = (status & DN_HAS_PROBLEM) != 0 ? code : 0;
    return endpointAnswerOfConfig(result);
}

EndpointAnswer serviceImagePath(const std::u16string& service, std::u16string* path) {
    try {
        const ServiceHandle handle(toWide(service), SERVICE_QUERY_CONFIG);
        if (handle.get() == nullptr)
            return endpointAnswerOfError(handle.error());
        DWORD needed = 0;
        if (!QueryServiceConfigW(handle.get(), nullptr, 0, &needed) &&
            GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return lastError();
        if (needed < sizeof(QUERY_SERVICE_CONFIGW) || needed > longestValue)
            return EndpointAnswer::Failed;
        std::vector<unsigned char> buffer(needed);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        if (!QueryServiceConfigW(handle.get(), config, needed, &needed))
            return lastError();
        if (config->lpBinaryPathName == nullptr || *config->lpBinaryPathName == L'\0')
            return EndpointAnswer::NotFound;
        *path = imageFile(fromWide(config->lpBinaryPathName));
        return EndpointAnswer::Ok;
    } catch (const std::bad_alloc&) {
        return EndpointAnswer::NoMemory;
    }
}

EndpointAnswer classServerPath(const std::u16string& classId, std::u16string* path) {
    if (!plainClassId(classId))
        return EndpointAnswer::NotFound;
    try {
        const std::u16string keyName =
            u"SOFTWARE\\Classes\\CLSID\\" + classId + u"\\InprocServer32";
        HKEY key = nullptr;
        // Effects are 64-bit on 64-bit Windows, whatever this program is.
        LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, toWide(keyName), 0,
                                    KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key);
        if (result != ERROR_SUCCESS)
            return endpointAnswerOfError(static_cast<DWORD>(result));
        DWORD type = 0;
        DWORD size = 0;
        result = RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size);
        std::vector<BYTE> bytes;
        if (result == ERROR_SUCCESS && (type != REG_SZ && type != REG_EXPAND_SZ))
            result = ERROR_FILE_NOT_FOUND;
        if (result == ERROR_SUCCESS && size > longestValue)
            result = ERROR_INVALID_DATA;
        if (result == ERROR_SUCCESS) {
            bytes.assign(size, 0);
            result = RegQueryValueExW(key, nullptr, nullptr, &type, bytes.data(), &size);
            bytes.resize(size);
        }
        RegCloseKey(key);
        if (result != ERROR_SUCCESS)
            return endpointAnswerOfError(static_cast<DWORD>(result));
        const std::vector<std::u16string> strings = stringsOf(bytes);
        if (strings.empty())
            return EndpointAnswer::NotFound;
        *path = imageFile(strings.front());
        return EndpointAnswer::Ok;
    } catch (const std::bad_alloc&) {
        return EndpointAnswer::NoMemory;
    }
}

EndpointAnswer fileFixedVersion(const std::u16string& path, std::vector<unsigned char>* info) {
    try {
        const RealSystemFolder real;
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(toWide(path), &ignored);
        if (size == 0)
            return lastError();
        if (size > longestValue * 16)
            return EndpointAnswer::Failed;
        std::vector<unsigned char> resource(size);
        if (!GetFileVersionInfoW(toWide(path), 0, size, resource.data()))
            return lastError();
        void* fixed = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(resource.data(), L"\\", &fixed, &length) || fixed == nullptr)
            return endpointAnswerOfError(ERROR_RESOURCE_DATA_NOT_FOUND);
        const auto* bytes = static_cast<const unsigned char*>(fixed);
        const auto* end = resource.data() + resource.size();
        if (bytes < resource.data() || bytes > end || length > static_cast<UINT>(end - bytes))
            return EndpointAnswer::Failed; // a record said to lie outside the resource
        info->assign(bytes, bytes + length);
        return EndpointAnswer::Ok;
    } catch (const std::bad_alloc&) {
        return EndpointAnswer::NoMemory;
    }
}

EndpointAnswer systemVersion(SystemVersion* version) {
    using GetVersion = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    const auto get = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (get == nullptr)
        return EndpointAnswer::Failed;
    RTL_OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (get(&info) != 0)
        return EndpointAnswer::Failed;
    *version = {info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
    return EndpointAnswer::Ok;
}

EndpointAnswer audioServiceState(AudioService which, std::uint32_t* state) {
    const ServiceHandle handle(which == AudioService::AudioSrv ? L"Audiosrv"
                                                               : L"AudioEndpointBuilder",
                               SERVICE_QUERY_STATUS);
    if (handle.get() == nullptr)
        return endpointAnswerOfError(handle.error());
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(handle.get(), &status))
        return lastError();
    *state = status.dwCurrentState;
    return EndpointAnswer::Ok;
}
