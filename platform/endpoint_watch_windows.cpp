// The watch over the real Core Audio. Each callback object the service calls
// only copies what it is told into a record on the queue, sets the event the
// watch waits on, and returns: it never waits, never writes, never calls the
// service. The objects are counted references, each held by the watch from
// the moment it is made until after it is unregistered; the service may hold
// references of its own, and an object goes with the last of them, which is
// never dropped inside a callback. Every result code goes through the one
// sorting table.
#include "platform/windows_com.h"
#include "platform/console_interrupt.h"
#include "platform/endpoint_answers.h"
#include "platform/notice_queue.h"

#include <objbase.h>
#include <mmdeviceapi.h>
#include <audiopolicy.h>
#include <endpointvolume.h>

#include <atomic>
#include <cwchar>
#include <new>
#include <utility>
#include <vector>

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");

// The callbacks copy what they are given without allocating.
const char16_t* unitsOf(const wchar_t* text) {
    return reinterpret_cast<const char16_t*>(text);
}

// The queue and the event that wakes the waiting thread, shared by count with
// every callback object, which may outlive the watch in the service's hands.
class Inbox {
public:
    static Inbox* make() {
        Inbox* made = new (std::nothrow) Inbox;
        if (made != nullptr && made->event == nullptr) {
            made->release();
            return nullptr;
        }
        return made;
    }
    Inbox(const Inbox&) = delete;
    Inbox& operator=(const Inbox&) = delete;

    void addRef() { references.fetch_add(1); }
    void release() {
        if (references.fetch_sub(1) == 1)
            delete this;
    }

    // On the service's thread: the record, and the waiting thread woken.
    void put(EndpointNotice& fields, const char16_t* id, std::size_t length) noexcept {
        fields.at = watchTimeNow();
        queue.put(fields, id, length);
        SetEvent(event);
    }
    void put(EndpointNotice& fields, const wchar_t* id) noexcept {
        put(fields, unitsOf(id), id != nullptr ? std::wcslen(id) : 0);
    }

    NoticeQueue queue;
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr); // auto-reset

private:
    Inbox() = default;
    ~Inbox() {
        if (event != nullptr)
            CloseHandle(event);
    }
    std::atomic<long> references{1};
};

// IUnknown for a callback object: one reference to begin with, the maker's.
template <class Interface> class Callback : public Interface {
public:
    explicit Callback(Inbox* inbox) : inbox(inbox) { inbox->addRef(); }
    Callback(const Callback&) = delete;
    Callback& operator=(const Callback&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (out == nullptr)
            return E_POINTER;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(Interface)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return references.fetch_add(1) + 1; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = references.fetch_sub(1) - 1;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~Callback() { inbox->release(); }
    Inbox* inbox;

private:
    std::atomic<ULONG> references{1};
};

// A callback object, or null when there is no memory for it or its copy of an id.
template <class T, class... Arguments> T* make(Arguments&&... arguments) noexcept {
    try {
        return new (std::nothrow) T(std::forward<Arguments>(arguments)...);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

EndpointNotice noticeOf(NoticeKind kind) {
    EndpointNotice n;
    n.kind = kind;
    return n;
}

class DeviceEvents final : public Callback<IMMNotificationClient> {
public:
    using Callback::Callback;

    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR id, DWORD state) override {
        EndpointNotice n = noticeOf(NoticeKind::StateChanged);
        n.state = state;
        inbox->put(n, id);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR id) override {
        EndpointNotice n = noticeOf(NoticeKind::Added);
        inbox->put(n, id);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR id) override {
        EndpointNotice n = noticeOf(NoticeKind::Removed);
        inbox->put(n, id);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role,
                                                     LPCWSTR id) override {
        if ((flow != eRender && flow != eCapture) || role < eConsole || role > eCommunications)
            return S_OK;
        EndpointNotice n = noticeOf(NoticeKind::DefaultChanged);
        n.direction = flow == eCapture ? 'I' : 'O';
        n.role = static_cast<EndpointRole>(static_cast<int>(role));
        inbox->put(n, id); // null when the role has no default any more
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR id, const PROPERTYKEY key) override {
        EndpointNotice n = noticeOf(NoticeKind::PropertyChanged);
        n.key.data1 = key.fmtid.Data1;
        n.key.data2 = key.fmtid.Data2;
        n.key.data3 = key.fmtid.Data3;
        for (int i = 0; i < 8; ++i)
            n.key.data4[i] = key.fmtid.Data4[i];
        n.key.pid = key.pid;
        inbox->put(n, id);
        return S_OK;
    }
};

// Callbacks of one endpoint's controls carry its id, copied when they are made.
struct EndpointId {
    std::u16string id;
};

class VolumeEvents final : public Callback<IAudioEndpointVolumeCallback>, EndpointId {
public:
    VolumeEvents(Inbox* inbox, std::u16string endpoint) : Callback(inbox), EndpointId{endpoint} {}

    HRESULT STDMETHODCALLTYPE OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA data) override {
        if (data == nullptr)
            return S_OK;
        EndpointNotice n = noticeOf(NoticeKind::VolumeChanged);
        n.scalar = data->fMasterVolume;
        n.muted = data->bMuted != FALSE;
        inbox->put(n, id.data(), id.size());
        return S_OK;
    }
};

// A session announced, kept until the watch takes it.
struct Arrival {
    Arrival* next;
    IAudioSessionControl* control; // one reference, the arrival's
};

class SessionArrivals final : public Callback<IAudioSessionNotification>, EndpointId {
public:
    SessionArrivals(Inbox* inbox, std::u16string endpoint)
        : Callback(inbox), EndpointId{endpoint} {}

    HRESULT STDMETHODCALLTYPE OnSessionCreated(IAudioSessionControl* session) override {
        if (session == nullptr)
            return S_OK;
        auto* arrival = new (std::nothrow) Arrival{nullptr, session};
        if (arrival != nullptr) {
            session->AddRef();
            arrival->next = arrived.load();
            while (!arrived.compare_exchange_weak(arrival->next, arrival)) {
            }
        }
        EndpointNotice n = noticeOf(NoticeKind::SessionCreated);
        inbox->put(n, id.data(), id.size());
        return S_OK;
    }

    // Everything announced so far, oldest first; each with its reference.
    Arrival* take() {
        Arrival* newest = arrived.exchange(nullptr);
        Arrival* oldest = nullptr;
        while (newest != nullptr) {
            Arrival* next = newest->next;
            newest->next = oldest;
            oldest = newest;
            newest = next;
        }
        return oldest;
    }

private:
    ~SessionArrivals() override {
        for (Arrival* a = take(); a != nullptr;) {
            Arrival* next = a->next;
            a->control->Release();
            delete a;
            a = next;
        }
    }
    std::atomic<Arrival*> arrived{nullptr};
};

class SessionEvents final : public Callback<IAudioSessionEvents>, EndpointId {
public:
    SessionEvents(Inbox* inbox, std::u16string endpoint, std::uint32_t number,
                  std::uint32_t processId, bool systemSounds)
        : Callback(inbox), EndpointId{endpoint}, number(number), processId(processId),
          systemSounds(systemSounds) {}

    HRESULT STDMETHODCALLTYPE OnDisplayNameChanged(LPCWSTR, LPCGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnIconPathChanged(LPCWSTR, LPCGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnSimpleVolumeChanged(float, BOOL, LPCGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnChannelVolumeChanged(DWORD, float[], DWORD, LPCGUID) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnGroupingParamChanged(LPCGUID, LPCGUID) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStateChanged(AudioSessionState state) override {
        put(NoticeKind::SessionStateChanged, static_cast<std::uint32_t>(state));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnSessionDisconnected(AudioSessionDisconnectReason reason) override {
        put(NoticeKind::SessionDisconnected, static_cast<std::uint32_t>(reason));
        return S_OK;
    }

private:
    void put(NoticeKind kind, std::uint32_t state) {
        EndpointNotice n = noticeOf(kind);
        n.state = state;
        n.session = number;
        n.processId = processId;
        n.systemSounds = systemSounds;
        inbox->put(n, id.data(), id.size());
    }
    std::uint32_t number;
    std::uint32_t processId;
    bool systemSounds;
};

} // namespace

struct EndpointWatch {
    bool ownsCom = false;
    bool interrupts = false;
    Inbox* inbox = nullptr;
    ComRef<IMMDeviceEnumerator> enumerator;
    DeviceEvents* devices = nullptr; // registered
};

struct ControlWatch {
    Inbox* inbox = nullptr;
    std::u16string id;
    ComRef<IAudioEndpointVolume> volume;
    VolumeEvents* volumeEvents = nullptr; // registered with `volume`
    ComRef<IAudioSessionManager2> manager;
    SessionArrivals* arrivals = nullptr; // registered with `manager`
    struct Watched {
        std::uint32_t number;
        IAudioSessionControl* control; // a reference of its own
        SessionEvents* events;         // registered with `control`
    };
    std::vector<Watched> watched;
    std::uint32_t nextNumber = 1;
};

namespace {

// Registers for one session's events; nothing is added when that fails.
void watchSession(ControlWatch& c, IAudioSessionControl* control,
                  std::vector<WatchedSession>* sessions) {
    WatchedSession reading;
    reading.number = c.nextNumber;
    AudioSessionState state = AudioSessionStateInactive;
    if (SUCCEEDED(control->GetState(&state)))
        reading.state = static_cast<std::uint32_t>(state);
    ComRef<IAudioSessionControl2> more;
    if (SUCCEEDED(control->QueryInterface(__uuidof(IAudioSessionControl2), more.receiveVoid())) &&
        more.get() != nullptr) {
        reading.systemSounds = more->IsSystemSoundsSession() == S_OK;
        // A session of several processes answers with a success code and one of them.
        DWORD processId = 0;
        if (SUCCEEDED(more->GetProcessId(&processId)))
            reading.processId = processId;
    }
    try {
        c.watched.reserve(c.watched.size() + 1);
        sessions->reserve(sessions->size() + 1);
    } catch (const std::bad_alloc&) {
        return;
    }
    auto* events = make<SessionEvents>(c.inbox, c.id, reading.number, reading.processId.value_or(0),
                                       reading.systemSounds);
    if (events == nullptr)
        return;
    if (FAILED(control->RegisterAudioSessionNotification(events))) {
        events->Release();
        return;
    }
    control->AddRef();
    ++c.nextNumber;
    c.watched.push_back({reading.number, control, events});
    sessions->push_back(reading);
}

void letSessionGo(const ControlWatch::Watched& w) {
    w.control->UnregisterAudioSessionNotification(w.events);
    w.events->Release();
    w.control->Release();
}

} // namespace

WatchTime watchTimeNow() {
    SYSTEMTIME local;
    GetLocalTime(&local);
    WatchTime t;
    t.year = local.wYear;
    t.month = local.wMonth;
    t.day = local.wDay;
    t.hour = local.wHour;
    t.minute = local.wMinute;
    t.second = local.wSecond;
    t.millisecond = local.wMilliseconds;
    t.tick = static_cast<std::int64_t>(GetTickCount64());
    return t;
}

EndpointAnswer startEndpointWatch(EndpointWatch** watch, EndpointAnswer* devices) {
    *watch = nullptr;
    auto* made = new (std::nothrow) EndpointWatch;
    if (made == nullptr)
        return EndpointAnswer::NoMemory;
    made->inbox = Inbox::make();
    if (made->inbox == nullptr) {
        delete made;
        return EndpointAnswer::NoMemory;
    }
    made->interrupts = catchInterrupts();
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // Already set up in another mode: usable, but not ours to undo.
    made->ownsCom = SUCCEEDED(com);
    HRESULT result = com;
    if (SUCCEEDED(com) || com == RPC_E_CHANGED_MODE) {
        result = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                  __uuidof(IMMDeviceEnumerator), made->enumerator.receiveVoid());
        if (SUCCEEDED(result) && made->enumerator.get() == nullptr)
            result = E_POINTER;
    }
    if (SUCCEEDED(result)) {
        made->devices = make<DeviceEvents>(made->inbox);
        result = made->devices == nullptr
                     ? E_OUTOFMEMORY
                     : made->enumerator->RegisterEndpointNotificationCallback(made->devices);
        if (FAILED(result) && made->devices != nullptr) {
            made->devices->Release();
            made->devices = nullptr;
        }
    }
    *devices = endpointAnswerOf(SUCCEEDED(result) ? S_OK : result);
    *watch = made;
    return EndpointAnswer::Ok;
}

void stopEndpointWatch(EndpointWatch* watch) {
    if (watch == nullptr)
        return;
    if (watch->devices != nullptr) {
        watch->enumerator->UnregisterEndpointNotificationCallback(watch->devices);
        watch->devices->Release();
    }
    watch->enumerator.reset();
    watch->inbox->release();
    const bool ownsCom = watch->ownsCom;
    const bool interrupts = watch->interrupts;
    delete watch;
    // The enumerator goes before the apartment it lives in.
    if (ownsCom)
        CoUninitialize();
    if (interrupts)
        releaseInterrupts();
}

WatchWake waitForNotices(EndpointWatch* watch, std::optional<std::int64_t> until) {
    DWORD timeout = INFINITE;
    if (until) {
        const std::int64_t now = static_cast<std::int64_t>(GetTickCount64());
        const std::int64_t left = *until > now ? *until - now : 0;
        timeout = left >= 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(left);
    }
    HANDLE handles[] = {watch->inbox->event, interruptEvent()};
    const DWORD count = watch->interrupts ? 2 : 1;
    const DWORD woken = WaitForMultipleObjects(count, handles, FALSE, timeout);
    if (watch->interrupts && WaitForSingleObject(interruptEvent(), 0) == WAIT_OBJECT_0)
        return WatchWake::Interrupted;
    if (woken == WAIT_TIMEOUT)
        return WatchWake::TimeUp;
    // A wait that fails would fail again at once: the watch ends rather than spin.
    return woken == WAIT_OBJECT_0 ? WatchWake::Notices : WatchWake::Interrupted;
}

bool takeNotice(EndpointWatch* watch, EndpointNotice* notice) {
    return watch->inbox->queue.take(notice);
}

NoticeCounts noticeCounts(EndpointWatch* watch) {
    return watch->inbox->queue.counts();
}

ControlAnswers watchControls(EndpointWatch* watch, const std::u16string& id,
                             ControlWatch** controls, std::vector<WatchedSession>* sessions) {
    *controls = nullptr;
    ControlAnswers answers;
    if (watch->enumerator.get() == nullptr)
        return answers;
    ComRef<IMMDevice> device;
    HRESULT result = watch->enumerator->GetDevice(toWide(id), device.receive());
    if (SUCCEEDED(result) && device.get() == nullptr)
        result = E_POINTER;
    if (FAILED(result)) {
        answers.volume = answers.sessions = endpointAnswerOf(result);
        return answers;
    }
    auto* made = new (std::nothrow) ControlWatch;
    if (made == nullptr)
        return {EndpointAnswer::NoMemory, EndpointAnswer::NoMemory};
    try {
        made->id = id;
    } catch (const std::bad_alloc&) {
        delete made;
        return {EndpointAnswer::NoMemory, EndpointAnswer::NoMemory};
    }
    made->inbox = watch->inbox;
    made->inbox->addRef();

    result = device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr,
                              made->volume.receiveVoid());
    if (SUCCEEDED(result) && made->volume.get() == nullptr)
        result = E_POINTER;
    if (SUCCEEDED(result)) {
        made->volumeEvents = make<VolumeEvents>(made->inbox, made->id);
        result = made->volumeEvents == nullptr
                     ? E_OUTOFMEMORY
                     : made->volume->RegisterControlChangeNotify(made->volumeEvents);
        if (FAILED(result) && made->volumeEvents != nullptr) {
            made->volumeEvents->Release();
            made->volumeEvents = nullptr;
        }
    }
    if (FAILED(result))
        made->volume.reset();
    answers.volume = endpointAnswerOf(SUCCEEDED(result) ? S_OK : result);

    result = device->Activate(__uuidof(IAudioSessionManager2), CLSCTX_ALL, nullptr,
                              made->manager.receiveVoid());
    if (SUCCEEDED(result) && made->manager.get() == nullptr)
        result = E_POINTER;
    // The manager tells of new sessions only once its sessions have been
    // listed; those listed are watched one by one.
    ComRef<IAudioSessionEnumerator> listed;
    if (SUCCEEDED(result))
        result = made->manager->GetSessionEnumerator(listed.receive());
    if (SUCCEEDED(result) && listed.get() == nullptr)
        result = E_POINTER;
    if (SUCCEEDED(result)) {
        made->arrivals = make<SessionArrivals>(made->inbox, made->id);
        result = made->arrivals == nullptr
                     ? E_OUTOFMEMORY
                     : made->manager->RegisterSessionNotification(made->arrivals);
        if (FAILED(result) && made->arrivals != nullptr) {
            made->arrivals->Release();
            made->arrivals = nullptr;
        }
    }
    int count = 0;
    if (SUCCEEDED(result) && FAILED(listed->GetCount(&count)))
        count = 0;
    for (int i = 0; i < count; ++i) {
        ComRef<IAudioSessionControl> control;
        if (SUCCEEDED(listed->GetSession(i, control.receive())) && control.get() != nullptr)
            watchSession(*made, control.get(), sessions);
    }
    if (FAILED(result))
        made->manager.reset();
    answers.sessions = endpointAnswerOf(SUCCEEDED(result) ? S_OK : result);

    if (made->volumeEvents == nullptr && made->arrivals == nullptr) {
        unwatchControls(made);
        return answers;
    }
    *controls = made;
    return answers;
}

void takeNewSessions(ControlWatch* controls, std::vector<WatchedSession>* sessions) {
    if (controls->arrivals == nullptr)
        return;
    for (Arrival* a = controls->arrivals->take(); a != nullptr;) {
        watchSession(*controls, a->control, sessions);
        Arrival* next = a->next;
        a->control->Release();
        delete a;
        a = next;
    }
}

void forgetSession(ControlWatch* controls, std::uint32_t number) {
    std::vector<ControlWatch::Watched>& watched = controls->watched;
    for (auto w = watched.begin(); w != watched.end(); ++w)
        if (w->number == number) {
            letSessionGo(*w);
            watched.erase(w);
            return;
        }
}

void unwatchControls(ControlWatch* controls) {
    if (controls == nullptr)
        return;
    for (const ControlWatch::Watched& w : controls->watched)
        letSessionGo(w);
    if (controls->arrivals != nullptr) {
        controls->manager->UnregisterSessionNotification(controls->arrivals);
        controls->arrivals->Release();
    }
    controls->manager.reset();
    if (controls->volumeEvents != nullptr) {
        controls->volume->UnregisterControlChangeNotify(controls->volumeEvents);
        controls->volumeEvents->Release();
    }
    controls->volume.reset();
    controls->inbox->release();
    delete controls;
}
