#include "platform/endpoint_answers.h"

#include <cstdint>
#include <iterator>

namespace {

struct Sorting {
    std::uint32_t code;
    EndpointAnswer answer;
};

// The failures, written as numbers: some of these are functions, not
// constants, in the SDK.
const Sorting sortings[] = {
    {0x88890008, EndpointAnswer::Refused}, // AUDCLNT_E_UNSUPPORTED_FORMAT
    // E_INVALIDARG: some drivers call a format they cannot take malformed.
    {0x80070057, EndpointAnswer::Refused},
    {0x80070490, EndpointAnswer::NotFound},   // HRESULT_FROM_WIN32(ERROR_NOT_FOUND)
    {0x80020005, EndpointAnswer::NotFound},   // DISP_E_TYPEMISMATCH
    {0x8889000E, EndpointAnswer::NotAllowed}, // AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED
    {0x8889000A, EndpointAnswer::Busy},       // AUDCLNT_E_DEVICE_IN_USE
    {0x88890004, EndpointAnswer::Gone},       // AUDCLNT_E_DEVICE_INVALIDATED
    {0x88890026, EndpointAnswer::Gone},       // AUDCLNT_E_RESOURCES_INVALIDATED
    // Microphone access turned off in the privacy settings, or by policy.
    {0x80070005, EndpointAnswer::AccessDenied}, // E_ACCESSDENIED
    {0x8007000E, EndpointAnswer::NoMemory},     // E_OUTOFMEMORY
    // What opening a stream can answer besides.
    {0x88890016, EndpointAnswer::BufferRefused}, // AUDCLNT_E_BUFFER_SIZE_ERROR
    {0x88890019, EndpointAnswer::BufferRefused}, // AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED
    {0x88890013, EndpointAnswer::BufferRefused}, // AUDCLNT_E_BUFDURATION_PERIOD_NOT_EQUAL
    {0x88890020, EndpointAnswer::BufferRefused}, // AUDCLNT_E_INVALID_DEVICE_PERIOD
    {0x8889000F, EndpointAnswer::StreamFailed},  // AUDCLNT_E_ENDPOINT_CREATE_FAILED
};

} // namespace

EndpointAnswer endpointAnswerOf(HRESULT result) {
    // Every success code is a success: S_FALSE, AUDCLNT_S_NO_SINGLE_PROCESS, ...
    if (result >= 0)
        return EndpointAnswer::Ok;
    const auto code = static_cast<std::uint32_t>(result);
    for (const Sorting& s : sortings)
        if (s.code == code)
            return s.answer;
    return EndpointAnswer::Failed;
}

EndpointAnswer formatAnswerOf(HRESULT result) {
    // S_FALSE is the shared mode's "not this, but a close one": never a yes.
    if (result >= 0)
        return result == 0 ? EndpointAnswer::Ok : EndpointAnswer::Refused;
    return endpointAnswerOf(result);
}

EndpointAnswer endpointAnswerOfMessage(MMRESULT result) {
    switch (result) {
    case MMSYSERR_NOERROR:
        return EndpointAnswer::Ok;
    // An older driver that does not know the message.
    case MMSYSERR_NOTSUPPORTED:
    case MMSYSERR_INVALPARAM:
        return EndpointAnswer::NotFound;
    case MMSYSERR_BADDEVICEID:
    case MMSYSERR_NODRIVER:
        return EndpointAnswer::Gone;
    case MMSYSERR_NOMEM:
        return EndpointAnswer::NoMemory;
    default:
        return EndpointAnswer::Failed;
    }
}
