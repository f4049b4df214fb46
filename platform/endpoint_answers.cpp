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
    {0x80070005, EndpointAnswer::AccessDenied},   // E_ACCESSDENIED
    {0x8007000E, EndpointAnswer::NoMemory},       // E_OUTOFMEMORY
    {0x80004001, EndpointAnswer::NotImplemented}, // E_NOTIMPL
    // What opening a stream can answer besides.
    {0x88890016, EndpointAnswer::BufferRefused}, // AUDCLNT_E_BUFFER_SIZE_ERROR
    {0x88890019, EndpointAnswer::BufferRefused}, // AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED
    {0x88890013, EndpointAnswer::BufferRefused}, // AUDCLNT_E_BUFDURATION_PERIOD_NOT_EQUAL
    {0x88890020, EndpointAnswer::BufferRefused}, // AUDCLNT_E_INVALID_DEVICE_PERIOD
    {0x8889000F, EndpointAnswer::StreamFailed},  // AUDCLNT_E_ENDPOINT_CREATE_FAILED
};

const Sorting configSortings[] = {
    {0x00, EndpointAnswer::Ok},           // CR_SUCCESS
    {0x02, EndpointAnswer::NoMemory},     // CR_OUT_OF_MEMORY
    {0x0D, EndpointAnswer::NotFound},     // CR_NO_SUCH_DEVNODE
    {0x25, EndpointAnswer::NotFound},     // CR_NO_SUCH_VALUE
    {0x37, EndpointAnswer::NotFound},     // CR_NO_SUCH_DEVICE_INTERFACE
    {0x33, EndpointAnswer::AccessDenied}, // CR_ACCESS_DENIED
};

const Sorting errorSortings[] = {
    {0, EndpointAnswer::Ok},           // ERROR_SUCCESS
    {2, EndpointAnswer::NotFound},     // ERROR_FILE_NOT_FOUND
    {3, EndpointAnswer::NotFound},     // ERROR_PATH_NOT_FOUND
    {1060, EndpointAnswer::NotFound},  // ERROR_SERVICE_DOES_NOT_EXIST
    {1812, EndpointAnswer::NotFound},  // ERROR_RESOURCE_DATA_NOT_FOUND
    {1813, EndpointAnswer::NotFound},  // ERROR_RESOURCE_TYPE_NOT_FOUND
    {1814, EndpointAnswer::NotFound},  // ERROR_RESOURCE_NAME_NOT_FOUND
    {5, EndpointAnswer::AccessDenied}, // ERROR_ACCESS_DENIED
    {8, EndpointAnswer::NoMemory},     // ERROR_NOT_ENOUGH_MEMORY
    {14, EndpointAnswer::NoMemory},    // ERROR_OUTOFMEMORY
};

template <std::size_t N> EndpointAnswer sorted(const Sorting (&table)[N], std::uint32_t code) {
    for (const Sorting& s : table)
        if (s.code == code)
            return s.answer;
    return EndpointAnswer::Failed;
}

} // namespace

EndpointAnswer endpointAnswerOf(HRESULT result) {
    // Every success code is a success: S_FALSE, AUDCLNT_S_NO_SINGLE_PROCESS, ...
    if (result >= 0)
        return EndpointAnswer::Ok;
    return sorted(sortings, static_cast<std::uint32_t>(result));
}

EndpointAnswer formatAnswerOf(HRESULT result) {
    // S_FALSE is the shared mode's "not this, but a close one": never a yes.
    if (result >= 0)
        return result == 0 ? EndpointAnswer::Ok : EndpointAnswer::Refused;
    return endpointAnswerOf(result);
}

EndpointAnswer endpointAnswerOfConfig(std::uint32_t result) {
    return sorted(configSortings, result);
}

EndpointAnswer endpointAnswerOfError(std::uint32_t error) {
    return sorted(errorSortings, error);
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
