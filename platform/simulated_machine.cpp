// The simulated machine and the platform calls that answer from it. The calls
// check their arguments as strictly as the real services do, so that a record
// size or a leftover field that a real service refuses is refused here too.
#include "platform/simulated_machine.h"

#include "platform/allocation.h"
#include "platform/console.h"

#include <cstring>
#include <mutex>

namespace simulated {
namespace {

Machine theMachine;
CallLog theLog;
unsigned long allocationsAsked = 0;
unsigned long failingAllocation = 0; // 0: none fails
bool failingOnward = false;

HACMDRIVERID codecId() {
    return reinterpret_cast<HACMDRIVERID>(static_cast<std::uintptr_t>(1));
}

Device* findDevice(std::vector<Device>& devices, UINT id) {
    return id < devices.size() ? &devices[id] : nullptr;
}

// A device's call answers `result`, after hanging when it is the one that does.
MMRESULT answered(Device* device, MMRESULT result) {
    if (device != nullptr)
        hangAtItsCall(device->hangsAtCall, device->callsAnswered);
    return result;
}

template <class Caps> MMRESULT fillRecord(const Device* device, Caps* caps, UINT size) {
    ++theLog.capsQueries;
    if (device == nullptr)
        return MMSYSERR_BADDEVICEID;
    if (caps == nullptr || size != sizeof(Caps))
        return MMSYSERR_INVALPARAM;
    if (device->capsResult != MMSYSERR_NOERROR)
        return device->capsResult;
    Caps filled;
    std::memset(&filled, 0, sizeof filled);
    filled.wMid = device->wMid;
    std::memcpy(filled.szPname, device->szPname, sizeof filled.szPname);
    filled.dwFormats = device->dwFormats;
    filled.wChannels = 2;
    std::size_t written = sizeof filled;
    if (device->capsBytesWritten && *device->capsBytesWritten < written)
        written = *device->capsBytesWritten;
    std::memcpy(caps, &filled, written);
    return MMSYSERR_NOERROR;
}

template <class Caps> MMRESULT fillCaps(Device* device, Caps* caps, UINT size) {
    return answered(device, fillRecord(device, caps, size));
}

// A real service's calls leave bytes of their own on the stack, where the
// caller's next record is likely to lie; the count calls do the same here, so
// that a record read without being cleared shows them. Inlined into the count
// call, so the bytes lie where the caller's next call makes its frame.
[[gnu::always_inline]] inline void leaveStackBytes() {
    volatile unsigned char leftOnStack[4096];
    for (std::size_t i = 0; i < sizeof leftOnStack; ++i)
        leftOnStack[i] = 'Z';
}

MMRESULT queryAnswer(const Device* device, unsigned long asked, const void* handle,
                     LPCWAVEFORMATEX format, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    if (flags != WAVE_FORMAT_QUERY)
        return MMSYSERR_INVALFLAG; // only ever asked, never opened
    if (handle != nullptr || callback != 0 || instance != 0)
        return MMSYSERR_INVALPARAM;
    if (device == nullptr)
        return MMSYSERR_BADDEVICEID;
    if (device->vanishesAfter && asked > *device->vanishesAfter)
        return device->vanishedAnswer;
    if (format == nullptr)
        return MMSYSERR_INVALPARAM;
    for (const FormatHeader& accepted : device->accepts)
        if (std::memcmp(&accepted, format, sizeof(FormatHeader)) == 0)
            return MMSYSERR_NOERROR;
    return device->refusal;
}

MMRESULT query(DeviceDirection direction, UINT id, const void* handle, LPCWAVEFORMATEX format,
               DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    ++theLog.queries;
    const unsigned long asked = ++theLog.queriesTo[{direction, id}];
    Device* device = findDevice(direction == 'I' ? theMachine.inputs : theMachine.outputs, id);
    return answered(device, queryAnswer(device, asked, handle, format, callback, instance, flags));
}

// The largest format size the manager knows, whether or not it will tell it.
DWORD largestFormatSize() {
    if (theMachine.largestFormatSize)
        return *theMachine.largestFormatSize;
    DWORD largest = sizeof(FormatHeader);
    for (const CodecFormat& f : theMachine.formats)
        if (sizeof(FormatHeader) + f.header.cbSize > largest)
            largest = static_cast<DWORD>(sizeof(FormatHeader) + f.header.cbSize);
    return largest;
}

} // namespace

// A call left hanging on an abandoned thread wrote to the log before it
// hung, and the next call, on another thread, reads it: taking the lock the
// hanging call waits under orders the two.
void noteCall() {
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(callMutex());
        // A callback of the service must not call back into it.
        if (inWatchCallback())
            ++theLog.watch.callsInCallbacks;
        first = theLog.platformCalls++ == 0;
    }
    if (first && theMachine.atFirstCall)
        theMachine.atFirstCall();
}

std::mutex& callMutex() {
    static std::mutex* const mutex = new std::mutex; // a hanging thread may outlive statics
    return *mutex;
}

Machine& machine() {
    return theMachine;
}
CallLog& calls() {
    return theLog;
}

void reset() {
    releaseHangingCalls();
    theMachine = Machine();
    theLog = CallLog();
    allocationsAsked = 0;
    failingAllocation = 0;
    failingOnward = false;
}

void failAllocation(unsigned long n, bool persistent) {
    failingAllocation = n == 0 ? 0 : allocationsAsked + n;
    failingOnward = persistent;
}

unsigned long allocationCount() {
    return allocationsAsked;
}

} // namespace simulated

using namespace simulated;

bool allocationPermitted() {
    ++allocationsAsked;
    if (failingAllocation == 0 || allocationsAsked < failingAllocation)
        return true;
    return !(allocationsAsked == failingAllocation || failingOnward);
}

bool standardErrorIsConsole() {
    return theMachine.errorConsole;
}

bool standardOutputIsConsole() {
    return theMachine.outputConsole;
}

std::size_t consoleColumns(ConsoleStream stream) {
    return stream == ConsoleStream::Error ? theMachine.errorConsoleColumns : 0;
}

// Not a platform call of the audio services: the report's writes are not
// counted among them.
bool writeConsole(ConsoleStream stream, const char16_t* text, std::size_t length) {
    if (stream == ConsoleStream::Error) {
        if (!theMachine.errorConsole)
            return false; // as on a file or a pipe
        theLog.errorConsole.append(text, length);
        return true;
    }
    if (!theMachine.outputConsole)
        return false;
    ++theLog.outputConsoleWrites;
    const auto& arriving = theMachine.outputConsoleWritesBeforeFailure;
    if (arriving && theLog.outputConsoleWrites > *arriving)
        return false;
    theLog.outputConsole.append(text, length);
    return true;
}

namespace {

UINT deviceCount(DeviceDirection direction) {
    const std::optional<UINT>& reported =
        direction == 'I' ? theMachine.inputCount : theMachine.outputCount;
    const UINT count =
        reported
            ? *reported
            : static_cast<UINT>((direction == 'I' ? theMachine.inputs : theMachine.outputs).size());
    if (theMachine.countHangs == direction)
        hangUntilReleased();
    return count;
}

} // namespace

UINT waveInGetNumDevs() {
    noteCall();
    leaveStackBytes();
    return deviceCount('I');
}

UINT waveOutGetNumDevs() {
    noteCall();
    leaveStackBytes();
    return deviceCount('O');
}

MMRESULT waveInGetDevCapsA(UINT uDeviceID, WAVEINCAPSA* pwic, UINT cbwic) {
    noteCall();
    return fillCaps(findDevice(theMachine.inputs, uDeviceID), pwic, cbwic);
}

MMRESULT waveOutGetDevCapsA(UINT uDeviceID, WAVEOUTCAPSA* pwoc, UINT cbwoc) {
    noteCall();
    return fillCaps(findDevice(theMachine.outputs, uDeviceID), pwoc, cbwoc);
}

MMRESULT waveInOpen(LPHWAVEIN phwi, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback,
                    DWORD_PTR dwInstance, DWORD fdwOpen) {
    noteCall();
    return query('I', uDeviceID, phwi, pwfx, dwCallback, dwInstance, fdwOpen);
}

MMRESULT waveOutOpen(LPHWAVEOUT phwo, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback,
                     DWORD_PTR dwInstance, DWORD fdwOpen) {
    noteCall();
    return query('O', uDeviceID, phwo, pwfx, dwCallback, dwInstance, fdwOpen);
}

MMRESULT acmMetrics(HACMOBJ, UINT uMetric, LPVOID pMetric) {
    noteCall();
    if (uMetric != ACM_METRIC_MAX_SIZE_FORMAT)
        return MMSYSERR_NOTSUPPORTED;
    if (pMetric == nullptr)
        return MMSYSERR_INVALPARAM;
    if (theMachine.metricsResult != MMSYSERR_NOERROR)
        return theMachine.metricsResult;
    const DWORD size = largestFormatSize();
    std::memcpy(pMetric, &size, sizeof size);
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatEnumA(HACMDRIVER, LPACMFORMATDETAILSA pafd, ACMFORMATENUMCBA fnCallback,
                        DWORD_PTR dwInstance, DWORD fdwEnum) {
    noteCall();
    MMRESULT result = MMSYSERR_NOERROR;
    const DWORD direction = fdwEnum & (ACM_FORMATENUMF_INPUT | ACM_FORMATENUMF_OUTPUT);
    // The manager refuses a record that is the wrong size, still carries the
    // answers of an earlier enumeration, or names a tag without asking for one.
    // It also refuses a format buffer smaller than its largest format, even
    // when its metric query fails and the caller could not know that size.
    if (pafd == nullptr || fnCallback == nullptr || pafd->cbStruct != sizeof(ACMFORMATDETAILSA) ||
        pafd->fdwSupport != 0 || pafd->dwFormatTag != 0 || pafd->pwfx == nullptr ||
        pafd->cbwfx < sizeof(FormatHeader) || pafd->cbwfx < largestFormatSize() || direction == 0 ||
        direction == (ACM_FORMATENUMF_INPUT | ACM_FORMATENUMF_OUTPUT)) {
        result = MMSYSERR_INVALPARAM;
    } else {
        // A manager may use all of the buffer it is told of, so a size larger
        // than the buffer really given overruns it.
        std::memset(pafd->pwfx, 0x5A, pafd->cbwfx);
        const EnumerationFault& fault = direction == ACM_FORMATENUMF_INPUT
                                            ? theMachine.inputEnumeration
                                            : theMachine.outputEnumeration;
        unsigned delivered = 0;
        DWORD index = 0;
        for (const CodecFormat& f : theMachine.formats) {
            if ((f.offeredFor & direction) == 0)
                continue;
            if (fault.result != MMSYSERR_NOERROR && delivered == fault.delivered)
                break;
            const DWORD size = static_cast<DWORD>(sizeof(FormatHeader) + f.header.cbSize);
            if (size > pafd->cbwfx)
                continue; // this codec cannot describe the format in so small a buffer
            auto* out = reinterpret_cast<unsigned char*>(pafd->pwfx);
            std::memcpy(out, &f.header, sizeof(FormatHeader));
            std::memset(out + sizeof(FormatHeader), 0xA5, f.header.cbSize);
            pafd->dwFormatIndex = index++;
            pafd->dwFormatTag = f.header.wFormatTag;
            pafd->fdwSupport = 0x00000002; // a converter's support bit, as a codec reports it
            std::memset(pafd->szFormat, 0, sizeof pafd->szFormat);
            ++delivered;
            if (!fnCallback(codecId(), pafd, dwInstance, pafd->fdwSupport))
                break;
        }
        if (fault.result != MMSYSERR_NOERROR)
            result = fault.result;
    }
    theLog.enumerationResults.push_back(result);
    theLog.enumerationBuffers.push_back(pafd != nullptr ? pafd->cbwfx : 0);
    return result;
}

MMRESULT acmFormatTagDetailsA(HACMDRIVER, LPACMFORMATTAGDETAILSA paftd, DWORD fdwDetails) {
    noteCall();
    if (paftd == nullptr || paftd->cbStruct != sizeof(ACMFORMATTAGDETAILSA))
        return MMSYSERR_INVALPARAM;
    if (fdwDetails != ACM_FORMATTAGDETAILSF_FORMATTAG)
        return MMSYSERR_INVALFLAG;
    const WORD tag = static_cast<WORD>(paftd->dwFormatTag);
    ++theLog.tagDetailsAsked[tag];
    for (const FormatTag& t : theMachine.tags) {
        if (t.tag != tag)
            continue;
        if (t.detailsResult != MMSYSERR_NOERROR)
            return t.detailsResult;
        paftd->cbFormatSize = sizeof(FormatHeader);
        std::memcpy(paftd->szFormatTag, t.name, sizeof paftd->szFormatTag);
        return MMSYSERR_NOERROR;
    }
    return ACMERR_NOTPOSSIBLE;
}
