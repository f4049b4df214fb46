// The machine that the platform calls answer from in builds that are not for
// Windows. Tests and fuzzers program it; untouched it is an empty machine: no
// devices, no codecs, no faults.
#pragma once

#include "platform/audio_services.h"
#include "platform/device_hardware.h"
#include "platform/endpoint_services.h"
#include "platform/endpoint_watch.h"
#include "platform/simulated_com_codes.h"

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace simulated {

struct Device {
    MMRESULT capsResult = MMSYSERR_NOERROR; // answer to the capability query
    WORD wMid = 0;
    char szPname[MAXPNAMELEN] = {}; // copied as it stands: it may fill all 32 bytes
    DWORD dwFormats = 0;
    // When set, the capability query writes only this many leading bytes of
    // the caller's record and leaves the rest as it was.
    std::optional<std::size_t> capsBytesWritten;
    std::vector<FormatHeader> accepts;   // a query-open of exactly these 18 bytes answers 0
    MMRESULT refusal = WAVERR_BADFORMAT; // the answer for every other format
    // Unplugged after answering this many query-opens: every later one answers
    // `vanishedAnswer`, whatever the format.
    std::optional<unsigned long> vanishesAfter;
    MMRESULT vanishedAnswer = MMSYSERR_NODRIVER;
    // What the driver's endpoint-id messages answer; an older driver does not
    // know them.
    MMRESULT endpointIdResult = MMSYSERR_NOTSUPPORTED;
    std::u16string endpointId;
    // Its n-th capability query or query-open (from 1) answers only after the
    // system's hang length, or when the machine is reset: a driver that hangs.
    std::optional<unsigned long> hangsAtCall;
    unsigned long callsAnswered = 0;
};

// A property of an endpoint: S_OK with its value, E_NOTFOUND when the store
// lacks it, DISP_E_TYPEMISMATCH when it holds another type, or a failure. The
// readings of its audio client and controls take the same shape.
template <class T> struct Property {
    HRESULT result = E_NOTFOUND;
    T value{};
};

// What an endpoint answers to an exclusive-mode format question.
using ExclusiveProfile = std::function<HRESULT(const WAVEFORMATEX* format)>;

// What opening an exclusive stream with the format answers, the event callback
// asked for or not, at a period in units of 100 ns.
using OpenProfile =
    std::function<HRESULT(const WAVEFORMATEX* format, bool eventCallback, std::int64_t period)>;

// One exclusive stream opened (or tried), as the log keeps it.
struct StreamOpen {
    std::vector<unsigned char> format; // the header and its extra bytes
    bool eventCallback = true;
    std::int64_t period = 0;
    HRESULT answer = S_OK;
};

// One audio session on an endpoint.
struct Session {
    HRESULT processIdResult = S_OK;
    std::uint32_t processId = 0; // its program is looked up in the machine's processes
    std::uint32_t state = 1;     // 0 inactive, 1 active, 2 expired
    bool systemSounds = false;
};

// ---- The hardware behind the endpoints ----
// Devnodes as the configuration manager answers for them, what Win32 answers
// of services, class ids and files, and the system.

// A devnode's property: CR_SUCCESS with its value, CR_NO_SUCH_VALUE when the
// device lacks it, or another code; with `otherType`, the property is there
// but of another type than it should be.
template <class T> struct DevnodeProperty {
    std::uint32_t result = CR_NO_SUCH_VALUE;
    T value{};
    bool otherType = false;
};

// What a Win32 call answers: ERROR_SUCCESS with its value, or an error.
template <class T> struct Win32Answer {
    std::uint32_t error = ERROR_FILE_NOT_FOUND;
    T value{};
};

struct Devnode {
    std::u16string instanceId; // found in any case
    std::uint32_t locateResult = CR_SUCCESS;
    bool present = true;
    DevnodeProperty<std::u16string> texts[4]; // by DevnodeText
    DevnodeProperty<std::vector<std::u16string>> hardwareIds;
    DevnodeProperty<std::uint64_t> driverDate;
    DevnodeProperty<std::uint32_t> problem{CR_SUCCESS, 0, false};
    // Its n-th call (from 1), locating it included, hangs as an endpoint's does.
    std::optional<unsigned long> hangsAtCall;
    unsigned long callsAnswered = 0;
    std::chrono::milliseconds answersAfter{0}; // how long each of its properties takes
};

// What an endpoint says of its hardware. Unset, it reaches no adapter, as an
// endpoint that is not present may not; it names no effect and no container.
struct EndpointHardware {
    Property<std::u16string> adapterInstance;
    Property<std::vector<EffectReading>> effects{S_OK, {}};
    Property<std::u16string> containerId;
};

struct Hardware {
    std::vector<Devnode> devnodes;
    HRESULT containersResult = S_OK; // listing every endpoint's container
    std::map<std::u16string, Win32Answer<std::u16string>> serviceImages; // by service name
    std::map<std::u16string, Win32Answer<std::u16string>> classServers;  // by class id
    // The VS_FIXEDFILEINFO bytes of each file, by its path.
    std::map<std::u16string, Win32Answer<std::vector<unsigned char>>> fixedVersions;
    Property<SystemVersion> version;
    Win32Answer<std::uint32_t> services[2] = {{ERROR_INVALID_FUNCTION, 0},
                                              {ERROR_INVALID_FUNCTION, 0}}; // by AudioService
};

// ---- The endpoints ----

struct Endpoint {
    std::u16string id;
    DeviceDirection direction = 'O';
    std::uint32_t state = endpointActive;
    HRESULT stateResult = S_OK;
    HRESULT openResult = S_OK; // finding it by its id, which matches in any case
    HRESULT propertyStoreResult = S_OK;
    Property<std::u16string> friendlyName;
    Property<std::u16string> adapterName;
    Property<std::u16string> jackSubtype;
    Property<std::uint32_t> formFactor;
    Property<std::uint32_t> systemEffectsOff;
    Property<std::vector<unsigned char>> deviceFormat;
    // Getting its audio client; one that is not active has none to give.
    HRESULT activateResult = S_OK;
    HRESULT mixResult = S_OK;
    // The header and its extra bytes, handed over as the service does: in an
    // allocation of exactly this size.
    std::vector<unsigned char> mixFormat;
    ExclusiveProfile exclusive; // unset: every format is refused
    // What an endpoint that is not set up for them answers: the periods of a
    // typical device, no newer audio client, the volume and sessions unread.
    Property<DevicePeriods> devicePeriods{S_OK, {100000, 30000}};
    Property<EnginePeriods> enginePeriods{E_NOINTERFACE, {}};
    Property<VolumeReading> volume{E_NOTIMPL, {}};
    HRESULT sessionsResult = E_NOTIMPL;
    std::vector<Session> sessions;
    // Its n-th call (from 1), whatever it is, answers only after the system's
    // hang length, or when the machine is reset: a driver that hangs.
    std::optional<unsigned long> hangsAtCall;
    unsigned long callsAnswered = 0;  // counts toward hangsAtCall
    unsigned long questionsAsked = 0; // exclusive-mode format questions
    EndpointHardware hardware;
    // Opening a stream: unset, it opens every format the exclusive profile
    // takes (asked of it again) and answers the others as it does. With
    // `alignedFrames` the first try at any other period answers that the
    // buffer is not aligned, and gives that many frames.
    OpenProfile opening;
    std::optional<std::uint32_t> alignedFrames;
    std::optional<unsigned long> hangsAtOpen; // its n-th open (from 1) hangs
    unsigned long opensCalled = 0;            // counts toward hangsAtOpen
    std::vector<StreamOpen> opens;            // every open tried, in order
};

// The endpoint service as a whole.
struct EndpointSystem {
    HRESULT comResult = S_OK;        // setting up COM on the thread
    HRESULT enumeratorResult = S_OK; // making the device enumerator
    HRESULT listResult = S_OK;       // listing the endpoints
    HRESULT defaultResult = S_OK;    // asking for a default, when there is one
    // The default endpoint's id per direction (0 input, 1 output) and role;
    // empty when there is none.
    std::u16string defaults[2][endpointRoleCount];
    std::vector<Endpoint> endpoints;
    // The image of each process that can be opened, by its id, and the file
    // name a snapshot of the processes gives for the others it holds.
    std::map<std::uint32_t, std::u16string> processes;
    std::map<std::uint32_t, std::u16string> snapshotNames;
    std::chrono::milliseconds hangLength{60000};
};

struct CodecFormat {
    FormatHeader header = {}; // as the codec reports it; cbSize extra bytes follow it
    DWORD offeredFor = ACM_FORMATENUMF_INPUT | ACM_FORMATENUMF_OUTPUT;
};

struct FormatTag {
    WORD tag = 0;
    char name[ACMFORMATTAGDETAILS_FORMATTAG_CHARS] = {}; // as it stands: may fill all 48 bytes
    MMRESULT detailsResult = MMSYSERR_NOERROR;
};

// An enumeration that reports `delivered` formats and then gives up with `result`.
struct EnumerationFault {
    MMRESULT result = MMSYSERR_NOERROR;
    unsigned delivered = 0;
};

// ---- The notification source: what a watch of the endpoint service hears ----
//
// Each time the program waits for notices, the source answers with the next
// happening of its script: the watch's clock moves on to it, the machine
// changes as it says, and a thread of the source's own plays the service's
// callbacks, one after another, for what is registered. Past the script the
// user presses Ctrl+C, unless the program's own time runs out first. A live
// source plays its happenings by itself on the real clock, as fast as the
// program takes them, and changes nothing.

struct Machine;

// What one callback of the service says.
struct Notice {
    NoticeKind kind = NoticeKind::Added;
    std::u16string id;       // the endpoint's; for a default, the new default's (empty: none)
    std::uint32_t state = 0; // an endpoint's new state, a session's, or why it was disconnected
    DeviceDirection direction = 'O'; // a default's
    EndpointRole role = EndpointRole::Console;
    NoticeKey key;
    float scalar = 0; // a volume's
    bool muted = false;
    std::size_t session = 0; // which of the endpoint's sessions
};

struct Happening {
    std::chrono::milliseconds after{0};   // on the watch's clock, after the happening before
    std::function<void(Machine&)> change; // made first
    std::vector<Notice> notices;          // then said, in order, each `repeat` times
    unsigned repeat = 1;
    bool interrupt = false; // then Ctrl+C
};

struct NotificationSource {
    std::vector<Happening> script;
    std::function<bool(Happening*)> more; // past the script, while it gives one
    bool live = false;
    HRESULT devicesResult = S_OK;  // registering for the device events
    HRESULT volumeResult = S_OK;   // for an active endpoint's volume, after its activation
    HRESULT sessionsResult = S_OK; // for its sessions
    WatchTime start{2025, 3, 14, 9, 26, 53, 589, 0}; // the local time as the watch starts
};

struct WatchLog {
    int registrations = 0;              // callbacks registered and not yet unregistered
    unsigned long callbacks = 0;        // callbacks played
    unsigned long callsInCallbacks = 0; // platform calls made from inside one
};

// Whether this thread is playing a callback.
bool inWatchCallback();

// The endpoint the service finds by this id, in any case; null when none.
Endpoint* findEndpoint(const std::u16string& id);

// ---- The machine as a whole ----

struct Machine {
    std::vector<Device> inputs;
    std::vector<Device> outputs;
    std::optional<UINT> inputCount; // the count reported, when not the number of inputs
    std::optional<UINT> outputCount;
    std::optional<DeviceDirection> countHangs; // that direction's device count hangs

    std::vector<CodecFormat> formats; // in the order the codecs report them
    std::vector<FormatTag> tags;
    MMRESULT metricsResult = MMSYSERR_NOERROR;
    // What the size metric answers, and the smallest format buffer an
    // enumeration takes; when unset: the largest format offered.
    std::optional<DWORD> largestFormatSize;
    EnumerationFault inputEnumeration;
    EnumerationFault outputEnumeration;

    EndpointSystem endpoints;
    Hardware hardware;
    bool outputConsole = false;          // standard output is an interactive console
    bool errorConsole = false;           // standard error is an interactive console
    std::size_t errorConsoleColumns = 0; // its width; 0: it cannot be told
    // Writes to the output console that arrive before every later one fails.
    std::optional<unsigned long> outputConsoleWritesBeforeFailure;
    // Run at the program's first platform call, before it is answered.
    std::function<void()> atFirstCall;
    NotificationSource notifications;
};

// What the program asked of the machine.
struct CallLog {
    std::vector<MMRESULT> enumerationResults; // one per enumeration, in order
    std::vector<DWORD> enumerationBuffers;    // the format buffer size each was told of
    std::map<WORD, unsigned> tagDetailsAsked; // per tag
    unsigned long platformCalls = 0;          // calls of every kind
    unsigned long capsQueries = 0;            // capability queries of either direction
    unsigned long queries = 0;                // query-opens of either direction
    unsigned long exclusiveQuestions = 0;     // exclusive-mode format questions
    unsigned long streamOpens = 0;            // exclusive streams opened or tried
    int comDepth = 0;                         // COM set-ups not yet undone
    int openEndpoints = 0;                    // endpoints opened and not closed
    unsigned long devnodesLocated = 0;        // devnodes looked for
    std::map<std::pair<DeviceDirection, UINT>, unsigned long> queriesTo; // per device
    std::u16string outputConsole; // what each console was written, in order
    std::u16string errorConsole;
    unsigned long outputConsoleWrites = 0; // including those that failed
    WatchLog watch;
};

Machine& machine();
CallLog& calls();

// Counts a platform call; the first one runs the machine's hook.
void noteCall();

// The lock every call takes as it is counted, and under which a hanging call
// waits.
std::mutex& callMutex();

// Changes one of the log's counts under that lock: a call left behind may
// return late, and close what it opened, while the next worker asks.
template <class Count> void countOnLog(Count& count, int change) {
    std::lock_guard<std::mutex> lock(callMutex());
    count = static_cast<Count>(count + change);
}

// Empties the machine, clears the log and every allocation fault. Calls left
// hanging are let go first, and their threads' services closed.
void reset();

// Lets every hanging call go, and waits until the threads they held have
// closed their services.
void releaseHangingCalls();

// Where a call that hangs waits: the system's hang length, or until hanging
// calls are let go. The call has read all it needs of the machine before.
void hangUntilReleased();

// Counts one more call of something that hangs at its n-th call, and hangs
// when this is that one.
void hangAtItsCall(const std::optional<unsigned long>& hangsAtCall, unsigned long& callsAnswered);

// What a DLL's detach code does when the process ends in the ordinary way: it
// waits for the locks a call hanging inside the service holds, so here for
// every hanging call to end.
void waitUntilNoCallHangs();

// Makes the n-th allocation from now fail (1: the next one); when `persistent`,
// every one after it fails too.
void failAllocation(unsigned long n, bool persistent = false);

// Allocations asked for since the last reset.
unsigned long allocationCount();

// Copies `text` into a fixed field, cut to fit, NUL-padded.
template <std::size_t N> void setText(char (&field)[N], const char* text) {
    std::size_t i = 0;
    for (; i < N && text[i] != '\0'; ++i)
        field[i] = text[i];
    for (; i < N; ++i)
        field[i] = '\0';
}

} // namespace simulated
