// The COM and Core Audio result codes the simulated machine answers with, under
// their Windows names, for builds that are not for Windows.
#pragma once

#include "platform/simulated_services.h"

constexpr HRESULT hresult(std::uint32_t bits) {
    return static_cast<HRESULT>(bits);
}

// As the SDK's macros test a result: every success code is a success.
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = hresult(0x80004001);
constexpr HRESULT E_NOINTERFACE = hresult(0x80004002);
constexpr HRESULT E_POINTER = hresult(0x80004003);
constexpr HRESULT E_FAIL = hresult(0x80004005);
constexpr HRESULT E_ACCESSDENIED = hresult(0x80070005);
constexpr HRESULT E_UNEXPECTED = hresult(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = hresult(0x8007000E);
constexpr HRESULT E_INVALIDARG = hresult(0x80070057);
constexpr HRESULT E_NOTFOUND = hresult(0x80070490); // HRESULT_FROM_WIN32(ERROR_NOT_FOUND)
constexpr HRESULT RPC_E_CHANGED_MODE = hresult(0x80010106);
constexpr HRESULT REGDB_E_CLASSNOTREG = hresult(0x80040154);
constexpr HRESULT CO_E_NOTINITIALIZED = hresult(0x800401F0);
constexpr HRESULT DISP_E_TYPEMISMATCH = hresult(0x80020005);

constexpr HRESULT AUDCLNT_E_NOT_INITIALIZED = hresult(0x88890001);
constexpr HRESULT AUDCLNT_E_WRONG_ENDPOINT_TYPE = hresult(0x88890003);
constexpr HRESULT AUDCLNT_E_DEVICE_INVALIDATED = hresult(0x88890004);
constexpr HRESULT AUDCLNT_E_UNSUPPORTED_FORMAT = hresult(0x88890008);
constexpr HRESULT AUDCLNT_E_DEVICE_IN_USE = hresult(0x8889000A);
constexpr HRESULT AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED = hresult(0x8889000E);
constexpr HRESULT AUDCLNT_E_ENDPOINT_CREATE_FAILED = hresult(0x8889000F);
constexpr HRESULT AUDCLNT_E_SERVICE_NOT_RUNNING = hresult(0x88890010);
constexpr HRESULT AUDCLNT_E_BUFDURATION_PERIOD_NOT_EQUAL = hresult(0x88890013);
constexpr HRESULT AUDCLNT_E_BUFFER_SIZE_ERROR = hresult(0x88890016);
constexpr HRESULT AUDCLNT_E_CPUUSAGE_EXCEEDED = hresult(0x88890017);
constexpr HRESULT AUDCLNT_E_BUFFER_SIZE_NOT_ALIGNED = hresult(0x88890019);
constexpr HRESULT AUDCLNT_E_INVALID_DEVICE_PERIOD = hresult(0x88890020);
constexpr HRESULT AUDCLNT_E_RESOURCES_INVALIDATED = hresult(0x88890026);

// The configuration manager's CONFIGRET codes.
constexpr std::uint32_t CR_SUCCESS = 0x00;
constexpr std::uint32_t CR_OUT_OF_MEMORY = 0x02;
constexpr std::uint32_t CR_NO_SUCH_DEVNODE = 0x0D;
constexpr std::uint32_t CR_FAILURE = 0x13;
constexpr std::uint32_t CR_NO_SUCH_VALUE = 0x25;
constexpr std::uint32_t CR_ACCESS_DENIED = 0x33;

// Win32 error codes of the registry, the service manager and version resources.
constexpr std::uint32_t ERROR_SUCCESS = 0;
constexpr std::uint32_t ERROR_INVALID_FUNCTION = 1;
constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
constexpr std::uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr std::uint32_t ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr std::uint32_t ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
