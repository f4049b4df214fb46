// The endpoint service over the simulated machine. It answers with the same
// result codes as the real service, sorted by the same table.
#include "platform/endpoint_answers.h"
#include "platform/format_copy.h"
#include "platform/simulated_calls.h"
#include "platform/simulated_machine.h"

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

using simulated::calls;
using simulated::countOnLog;
using simulated::findEndpoint;
using simulated::machine;

struct EndpointService {
    bool ownsCom; // COM was set up here and must be undone here
};

struct EndpointDevice {
    simulated::Endpoint* endpoint;
    bool clientAsked = false;
};

namespace {

int directionIndex(DeviceDirection direction) {
    return direction == 'I' ? 0 : 1;
}

char16_t foldAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

} // namespace

bool simulated::sameIdInAnyCase(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (foldAscii(a[i]) != foldAscii(b[i]))
            return false;
    return true;
}

// The service finds an endpoint by its id in any case.
simulated::Endpoint* simulated::findEndpoint(const std::u16string& id) {
    for (simulated::Endpoint& e : machine().endpoints.endpoints)
        if (simulated::sameIdInAnyCase(e.id, id))
            return &e;
    return nullptr;
}

using simulated::readProperty;

namespace {

// Hanging calls wait here until their time is up or the machine is reset.
// Never destroyed: a thread may still be waiting when the process ends.
struct Hangs {
    std::mutex& mutex = simulated::callMutex();
    std::condition_variable changed;
    unsigned long releases = 0; // how many times hanging calls were let go
    int liveServices = 0;       // services opened and not yet closed, on any thread
    int hanging = 0;            // calls hanging now
};

Hangs& hangs() {
    static Hangs* const all = new Hangs;
    return *all;
}

using simulated::noteEndpointCall;

void countService(int change) {
    Hangs& h = hangs();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.liveServices += change;
    h.changed.notify_all();
}

} // namespace

namespace simulated {

void hangUntilReleased() {
    const std::chrono::milliseconds length = machine().endpoints.hangLength;
    Hangs& h = hangs();
    std::unique_lock<std::mutex> lock(h.mutex);
    const unsigned long releases = h.releases;
    ++h.hanging;
    h.changed.wait_for(lock, length, [&] { return h.releases != releases; });
    --h.hanging;
    h.changed.notify_all();
}

void waitUntilNoCallHangs() {
    Hangs& h = hangs();
    std::unique_lock<std::mutex> lock(h.mutex);
    h.changed.wait(lock, [&] { return h.hanging == 0; });
}

void hangAtItsCall(const std::optional<unsigned long>& hangsAtCall, unsigned long& callsAnswered) {
    if (hangsAtCall && ++callsAnswered == *hangsAtCall)
        hangUntilReleased();
}

void noteHangingCall(const std::optional<unsigned long>& hangsAtCall,
                     unsigned long& callsAnswered) {
    noteCall();
    hangAtItsCall(hangsAtCall, callsAnswered);
}

void noteEndpointCall(Endpoint& e) {
    noteHangingCall(e.hangsAtCall, e.callsAnswered);
}

Endpoint& endpointOf(EndpointDevice* device) {
    return *device->endpoint;
}

void releaseHangingCalls() {
    Hangs& h = hangs();
    std::unique_lock<std::mutex> lock(h.mutex);
    ++h.releases;
    h.changed.notify_all();
    // A thread let go closes what it opened; wait for that, so that it
    // touches nothing of the next machine. A bound, in case one never does.
    h.changed.wait_for(lock, std::chrono::seconds(10), [&] { return h.liveServices == 0; });
}

} // namespace simulated

EndpointAnswer openEndpointService(EndpointService** service) {
    simulated::noteCall();
    *service = nullptr;
    const simulated::EndpointSystem& system = machine().endpoints;
    // Already set up by someone else in another mode: usable, but not ours to undo.
    const bool ownsCom = SUCCEEDED(system.comResult);
    if (!ownsCom && system.comResult != RPC_E_CHANGED_MODE)
        return endpointAnswerOf(system.comResult);
    if (ownsCom)
        countOnLog(calls().comDepth, +1);
    if (FAILED(system.enumeratorResult)) {
        if (ownsCom)
            countOnLog(calls().comDepth, -1);
        return endpointAnswerOf(system.enumeratorResult);
    }
    *service = new (std::nothrow) EndpointService{ownsCom};
    if (*service == nullptr) {
        if (ownsCom)
            countOnLog(calls().comDepth, -1);
        return EndpointAnswer::NoMemory;
    }
    countService(+1);
    return EndpointAnswer::Ok;
}

void closeEndpointService(EndpointService* service) {
    simulated::noteCall();
    if (service == nullptr)
        return;
    if (service->ownsCom)
        countOnLog(calls().comDepth, -1);
    delete service;
    countService(-1);
}

EndpointAnswer waveDeviceEndpointId(DeviceDirection direction, UINT id,
                                    std::u16string* endpointId) {
    std::vector<simulated::Device>& devices =
        direction == 'I' ? machine().inputs : machine().outputs;
    if (id >= devices.size()) {
        simulated::noteCall();
        return endpointAnswerOfMessage(MMSYSERR_BADDEVICEID);
    }
    simulated::Device& device = devices[id];
    const MMRESULT result = device.endpointIdResult;
    const std::u16string given = device.endpointId;
    // The driver's own call: it counts toward its hang, which comes once the
    // answer is made.
    simulated::noteHangingCall(device.hangsAtCall, device.callsAnswered);
    if (result != MMSYSERR_NOERROR)
        return endpointAnswerOfMessage(result);
    *endpointId = given;
    return EndpointAnswer::Ok;
}

EndpointAnswer endpointIds(EndpointService* service, DeviceDirection direction,
                           EndpointListing listing, std::vector<std::u16string>* ids) {
    simulated::noteCall();
    ids->clear();
    if (service == nullptr)
        return EndpointAnswer::Failed;
    const simulated::EndpointSystem& system = machine().endpoints;
    if (FAILED(system.listResult))
        return endpointAnswerOf(system.listResult);
    for (const simulated::Endpoint& e : system.endpoints) {
        const bool listed =
            listing == EndpointListing::EveryState ||
            (listing == EndpointListing::Active && e.state == endpointActive) ||
            (listing == EndpointListing::Present && e.state != endpointNotPresent) ||
            (listing == EndpointListing::NotPresent && e.state == endpointNotPresent);
        if (e.direction == direction && listed)
            ids->push_back(e.id);
    }
    return EndpointAnswer::Ok;
}

EndpointAnswer defaultEndpointId(EndpointService* service, DeviceDirection direction,
                                 EndpointRole role, std::u16string* id) {
    simulated::noteCall();
    if (service == nullptr)
        return EndpointAnswer::Failed;
    const simulated::EndpointSystem& system = machine().endpoints;
    if (FAILED(system.defaultResult))
        return endpointAnswerOf(system.defaultResult);
    const std::u16string& found =
        system.defaults[directionIndex(direction)][static_cast<int>(role)];
    if (found.empty())
        return endpointAnswerOf(E_NOTFOUND);
    *id = found;
    return EndpointAnswer::Ok;
}

EndpointAnswer openEndpoint(EndpointService* service, const std::u16string& id,
                            EndpointDevice** device) {
    simulated::noteCall();
    *device = nullptr;
    if (service == nullptr)
        return EndpointAnswer::Failed;
    simulated::Endpoint* endpoint = findEndpoint(id);
    if (endpoint == nullptr)
        return endpointAnswerOf(E_NOTFOUND);
    noteEndpointCall(*endpoint);
    if (FAILED(endpoint->openResult))
        return endpointAnswerOf(endpoint->openResult);
    *device = new (std::nothrow) EndpointDevice{endpoint};
    if (*device == nullptr)
        return EndpointAnswer::NoMemory;
    countOnLog(calls().openEndpoints, +1);
    return EndpointAnswer::Ok;
}

void closeEndpoint(EndpointDevice* device) {
    if (device == nullptr)
        return;
    countOnLog(calls().openEndpoints, -1);
    delete device;
}

EndpointAnswer endpointOwnId(EndpointDevice* device, std::u16string* id) {
    noteEndpointCall(*device->endpoint);
    *id = device->endpoint->id;
    return EndpointAnswer::Ok;
}

EndpointAnswer endpointState(EndpointDevice* device, std::uint32_t* state) {
    simulated::Endpoint& e = *device->endpoint;
    noteEndpointCall(e);
    if (SUCCEEDED(e.stateResult))
        *state = e.state;
    return endpointAnswerOf(e.stateResult);
}

EndpointAnswer endpointText(EndpointDevice* device, EndpointText which, std::u16string* text) {
    simulated::Endpoint& e = *device->endpoint;
    noteEndpointCall(e);
    if (FAILED(e.propertyStoreResult))
        return endpointAnswerOf(e.propertyStoreResult);
    const simulated::Property<std::u16string>& property =
        which == EndpointText::FriendlyName  ? e.friendlyName
        : which == EndpointText::AdapterName ? e.adapterName
                                             : e.jackSubtype;
    return readProperty(property, text);
}

EndpointAnswer endpointNumber(EndpointDevice* device, EndpointNumber which, std::uint32_t* value) {
    simulated::Endpoint& e = *device->endpoint;
    noteEndpointCall(e);
    if (FAILED(e.propertyStoreResult))
        return endpointAnswerOf(e.propertyStoreResult);
    return readProperty(which == EndpointNumber::FormFactor ? e.formFactor : e.systemEffectsOff,
                        value);
}

EndpointAnswer endpointDeviceFormat(EndpointDevice* device, std::vector<unsigned char>* format) {
    simulated::Endpoint& e = *device->endpoint;
    noteEndpointCall(e);
    if (FAILED(e.propertyStoreResult))
        return endpointAnswerOf(e.propertyStoreResult);
    return readProperty(e.deviceFormat, format);
}

EndpointAnswer openAudioClient(EndpointDevice* device) {
    simulated::Endpoint& e = *device->endpoint;
    noteEndpointCall(e);
    device->clientAsked = true;
    return endpointAnswerOf(e.activateResult);
}

namespace {

// The audio client's answer before any of its own: a client never asked for
// is not there to answer.
HRESULT clientResult(const EndpointDevice* device) {
    if (!device->clientAsked)
        return E_POINTER;
    return device->endpoint->activateResult;
}

} // namespace

EndpointAnswer endpointMixFormat(EndpointDevice* device, std::vector<unsigned char>* format) {
    simulated::Endpoint& e = *device->endpoint;
    noteEndpointCall(e);
    if (FAILED(clientResult(device)))
        return endpointAnswerOf(clientResult(device));
    if (FAILED(e.mixResult))
        return endpointAnswerOf(e.mixResult);
    if (e.mixFormat.size() < sizeof(WAVEFORMATEX))
        return endpointAnswerOf(E_FAIL);
    // Copied out of an allocation of exactly its size, as from the service's
    // own, so that reading past what the format holds is caught.
    std::unique_ptr<unsigned char[]> given(new (std::nothrow) unsigned char[e.mixFormat.size()]);
    if (!given)
        return EndpointAnswer::NoMemory;
    std::memcpy(given.get(), e.mixFormat.data(), e.mixFormat.size());
    const auto* header = reinterpret_cast<const WAVEFORMATEX*>(given.get());
    if (formatByteCount(*header) > e.mixFormat.size())
        return endpointAnswerOf(E_FAIL); // the service never hands over less than it says
    copyFormat(header, format);
    return EndpointAnswer::Ok;
}

EndpointAnswer askExclusiveFormat(EndpointDevice* device, const WAVEFORMATEX* format) {
    simulated::Endpoint& e = *device->endpoint;
    noteEndpointCall(e);
    countOnLog(calls().exclusiveQuestions, +1);
    ++e.questionsAsked;
    if (FAILED(clientResult(device)))
        return endpointAnswerOf(clientResult(device));
    if (format == nullptr)
        return endpointAnswerOf(E_POINTER);
    if (!e.exclusive)
        return endpointAnswerOf(AUDCLNT_E_UNSUPPORTED_FORMAT);
    return formatAnswerOf(e.exclusive(format));
}

EndpointAnswer endpointDevicePeriods(EndpointDevice* device, DevicePeriods* periods) {
    simulated::Endpoint& e = *device->endpoint;
    noteEndpointCall(e);
    if (FAILED(clientResult(device)))
        return endpointAnswerOf(clientResult(device));
    return readProperty(e.devicePeriods, periods);
}

EndpointAnswer endpointEnginePeriods(EndpointDevice* device, const WAVEFORMATEX* format,
                                     EnginePeriods* periods) {
    simulated::Endpoint& e = *device->endpoint;
    noteEndpointCall(e);
    if (FAILED(clientResult(device)))
        return endpointAnswerOf(clientResult(device));
    if (format == nullptr)
        return endpointAnswerOf(E_POINTER);
    return readProperty(e.enginePeriods, periods);
}

EndpointAnswer endpointVolume(EndpointDevice* device, VolumeReading* volume) {
    simulated::Endpoint& e = *device->endpoint;
    noteEndpointCall(e);
    if (FAILED(e.activateResult))
        return endpointAnswerOf(e.activateResult);
    return readProperty(e.volume, volume);
}

EndpointAnswer endpointSessions(EndpointDevice* device, std::vector<SessionReading>* sessions) {
    simulated::Endpoint& e = *device->endpoint;
    noteEndpointCall(e);
    if (FAILED(e.activateResult))
        return endpointAnswerOf(e.activateResult);
    if (FAILED(e.sessionsResult))
        return endpointAnswerOf(e.sessionsResult);
    sessions->clear();
    const std::map<std::uint32_t, std::u16string>& processes = machine().endpoints.processes;
    for (const simulated::Session& s : e.sessions) {
        SessionReading reading;
        reading.state = s.state;
        reading.systemSounds = s.systemSounds;
        if (SUCCEEDED(s.processIdResult)) {
            reading.processId = s.processId;
            const std::map<std::uint32_t, std::u16string>& names =
                machine().endpoints.snapshotNames;
            const auto process = processes.find(s.processId);
            const auto named = names.find(s.processId);
            if (process != processes.end())
                reading.programPath = process->second;
            else if (named != names.end() && !s.systemSounds)
                reading.programPath = named->second;
        }
        sessions->push_back(reading);
    }
    return EndpointAnswer::Ok;
}

namespace {

// One try at opening, as the endpoint's profile answers it, logged.
HRESULT tryOpening(simulated::Endpoint& e, const WAVEFORMATEX* format, bool eventCallback,
                   std::int64_t period) {
    countOnLog(calls().streamOpens, +1);
    HRESULT answer = AUDCLNT_E_UNSUPPORTED_FORMAT;
    if (e.alignedFrames && period != alignedPeriod(*e.alignedFrames, format->nSamplesPerSec))
        answer = AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED;
    else if (e.opening)
        answer = e.opening(format, eventCallback, period);
    else if (e.exclusive)
        answer = e.exclusive(format);
    const auto* bytes = reinterpret_cast<const unsigned char*>(format);
    e.opens.push_back({{bytes, bytes + formatByteCount(*format)}, eventCallback, period, answer});
    return answer;
}

} // namespace

EndpointAnswer openExclusiveStream(EndpointDevice* device, const WAVEFORMATEX* format,
                                   OpenWay way) {
    simulated::Endpoint& e = *device->endpoint;
    noteEndpointCall(e);
    simulated::hangAtItsCall(e.hangsAtOpen, e.opensCalled);
    if (format == nullptr)
        return endpointAnswerOf(E_POINTER);
    // A fresh audio client, whatever the endpoint's own gave.
    if (FAILED(e.activateResult))
        return endpointAnswerOf(e.activateResult);
    if (FAILED(e.devicePeriods.result))
        return endpointAnswerOf(e.devicePeriods.result);
    const bool events = way == OpenWay::EventCallback;
    HRESULT answer = tryOpening(e, format, events, e.devicePeriods.value.minimumPeriod);
    if (answer == AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED && e.alignedFrames)
        answer =
            tryOpening(e, format, events, alignedPeriod(*e.alignedFrames, format->nSamplesPerSec));
    return endpointAnswerOf(answer);
}
