// The Windows multimedia records, constants and calls the program uses, declared
// for builds that are not for Windows. The records have the SDK's layout; the
// calls answer from the simulated machine (simulated_machine.h).
#pragma once

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using BOOL = int;
using CHAR = char;
using DWORD_PTR = std::uintptr_t;
using MMRESULT = UINT;
using MMVERSION = UINT;
using LPVOID = void*;
using HRESULT = std::int32_t;

struct HWAVEIN__;
struct HWAVEOUT__;
struct HACMDRIVER__;
struct HACMDRIVERID__;
struct HACMOBJ__;
using HWAVEIN = HWAVEIN__*;
using HWAVEOUT = HWAVEOUT__*;
using LPHWAVEIN = HWAVEIN*;
using LPHWAVEOUT = HWAVEOUT*;
using HACMDRIVER = HACMDRIVER__*;
using HACMDRIVERID = HACMDRIVERID__*;
using HACMOBJ = HACMOBJ__*;

#define CALLBACK
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;

constexpr DWORD WAVE_FORMAT_QUERY = 0x00000001;
constexpr UINT ACM_METRIC_MAX_SIZE_FORMAT = 50;
constexpr DWORD ACM_FORMATENUMF_INPUT = 0x00800000;
constexpr DWORD ACM_FORMATENUMF_OUTPUT = 0x01000000;
constexpr DWORD ACM_FORMATTAGDETAILSF_FORMATTAG = 0x00000001;
constexpr WORD WAVE_FORMAT_PCM = 1;
constexpr WORD WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr WORD WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

constexpr int MAXPNAMELEN = 32;
constexpr int ACMFORMATDETAILS_FORMAT_CHARS = 128;
constexpr int ACMFORMATTAGDETAILS_FORMATTAG_CHARS = 48;

constexpr DWORD WAVE_FORMAT_1M08 = 0x001;
constexpr DWORD WAVE_FORMAT_1S08 = 0x002;
constexpr DWORD WAVE_FORMAT_1M16 = 0x004;
constexpr DWORD WAVE_FORMAT_1S16 = 0x008;
constexpr DWORD WAVE_FORMAT_2M08 = 0x010;
constexpr DWORD WAVE_FORMAT_2S08 = 0x020;
constexpr DWORD WAVE_FORMAT_2M16 = 0x040;
constexpr DWORD WAVE_FORMAT_2S16 = 0x080;
constexpr DWORD WAVE_FORMAT_4M08 = 0x100;
constexpr DWORD WAVE_FORMAT_4S08 = 0x200;
constexpr DWORD WAVE_FORMAT_4M16 = 0x400;
constexpr DWORD WAVE_FORMAT_4S16 = 0x800;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)
using LPWAVEFORMATEX = WAVEFORMATEX*;
using LPCWAVEFORMATEX = const WAVEFORMATEX*;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

struct WAVEFORMATEXTENSIBLE {
    WAVEFORMATEX Format;
    union {
        WORD wValidBitsPerSample;
        WORD wSamplesPerBlock;
        WORD wReserved;
    } Samples;
    DWORD dwChannelMask;
    GUID SubFormat;
};

struct WAVEINCAPSA {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    CHAR szPname[MAXPNAMELEN];
    DWORD dwFormats;
    WORD wChannels;
    WORD wReserved1;
};

struct WAVEOUTCAPSA {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    CHAR szPname[MAXPNAMELEN];
    DWORD dwFormats;
    WORD wChannels;
    WORD wReserved1;
    DWORD dwSupport;
};

// The compression manager's records are byte-packed, as in the SDK.
#pragma pack(push, 1)
struct ACMFORMATDETAILSA {
    DWORD cbStruct;
    DWORD dwFormatIndex;
    DWORD dwFormatTag;
    DWORD fdwSupport;
    LPWAVEFORMATEX pwfx;
    DWORD cbwfx;
    CHAR szFormat[ACMFORMATDETAILS_FORMAT_CHARS];
};

struct ACMFORMATTAGDETAILSA {
    DWORD cbStruct;
    DWORD dwFormatTagIndex;
    DWORD dwFormatTag;
    DWORD cbFormatSize;
    DWORD fdwSupport;
    DWORD cStandardFormats;
    CHAR szFormatTag[ACMFORMATTAGDETAILS_FORMATTAG_CHARS];
};
#pragma pack(pop)
using LPACMFORMATDETAILSA = ACMFORMATDETAILSA*;
using LPACMFORMATTAGDETAILSA = ACMFORMATTAGDETAILSA*;

using ACMFORMATENUMCBA = BOOL(CALLBACK*)(HACMDRIVERID, LPACMFORMATDETAILSA, DWORD_PTR, DWORD);

UINT waveInGetNumDevs();
MMRESULT waveInGetDevCapsA(UINT uDeviceID, WAVEINCAPSA* pwic, UINT cbwic);
MMRESULT waveInOpen(LPHWAVEIN phwi, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback,
                    DWORD_PTR dwInstance, DWORD fdwOpen);
UINT waveOutGetNumDevs();
MMRESULT waveOutGetDevCapsA(UINT uDeviceID, WAVEOUTCAPSA* pwoc, UINT cbwoc);
MMRESULT waveOutOpen(LPHWAVEOUT phwo, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback,
                     DWORD_PTR dwInstance, DWORD fdwOpen);

MMRESULT acmMetrics(HACMOBJ hao, UINT uMetric, LPVOID pMetric);
MMRESULT acmFormatEnumA(HACMDRIVER had, LPACMFORMATDETAILSA pafd, ACMFORMATENUMCBA fnCallback,
                        DWORD_PTR dwInstance, DWORD fdwEnum);
MMRESULT acmFormatTagDetailsA(HACMDRIVER had, LPACMFORMATTAGDETAILSA paftd, DWORD fdwDetails);
