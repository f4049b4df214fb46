// What the hardware calls on Windows need of the endpoint service's own
// records: the device enumerator, and an open endpoint's device and its
// property store, opened once for both files.
#pragma once

#include "platform/endpoint_services.h"
#include "platform/windows_com.h"

#include <mmdeviceapi.h>

IMMDeviceEnumerator* endpointEnumerator(EndpointService* service);
IMMDevice* endpointComDevice(EndpointDevice* device);
HRESULT endpointPropertyStore(EndpointDevice* device, IPropertyStore** store);
