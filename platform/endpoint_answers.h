// The one place that sorts the service's result codes into the answers the
// report tells apart. Both sides use it: the simulated machine answers with the
// same codes as the real service.
#pragma once

#include "platform/endpoint_services.h"

#include <cstdint>

// Every success code is Ok, as COM means it.
EndpointAnswer endpointAnswerOf(HRESULT result);

// For the answer to whether a format is supported: only S_OK is a yes.
EndpointAnswer formatAnswerOf(HRESULT result);

// For the waveform driver's endpoint-id messages.
EndpointAnswer endpointAnswerOfMessage(MMRESULT result);

// For the configuration manager's CONFIGRET codes, and for the Win32 error
// codes of the registry, the service manager and the version resources.
EndpointAnswer endpointAnswerOfConfig(std::uint32_t result);
EndpointAnswer endpointAnswerOfError(std::uint32_t error);
