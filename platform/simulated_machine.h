// The machine that the platform calls answer from in builds that are not for
// Windows. Tests and fuzzers program it; untouched it is an empty machine: no
// devices, no codecs, no faults.
#pragma once

#include "platform/audio_services.h"
#include "platform/endpoint_services.h"
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
    bool outputConsole = false;          // standard output is an interactive console
    bool errorConsole = false;           // standard error is an interactive console
    std::size_t errorConsoleColumns = 0; // its width; 0: it cannot be told
    // Writes to the output console that arrive before every later one fails.
    std::optional<unsigned long> outputConsoleWritesBeforeFailure;
    // Run at the program's first platform call, before it is answered.
    std::function<void()> atFirstCall;
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
    std::map<std::pair<DeviceDirection, UINT>, unsigned long> queriesTo; // per device
    std::u16string outputConsole; // what each console was written, in order
    std::u16string errorConsole;
    unsigned long outputConsoleWrites = 0; // including those that failed
};

Machine& machine();
CallLog& calls();

// Counts a platform call; the first one runs the machine's hook.
void noteCall();

// The lock every call takes as it is counted, and under which a hanging call
// waits.
std::mutex& callMutex();

// Empties the machine, clears the log and every allocation fault. Calls left
// hanging are let go first, and their threads' services closed.
void reset();

// Lets every hanging call go, and waits until the threads they held have
// closed their services.
void releaseHangingCalls();

// Where a call that hangs waits: the system's hang length, or until hanging
// calls are let go. The call has read all it needs of the machine before.
void hangUntilReleased();

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
