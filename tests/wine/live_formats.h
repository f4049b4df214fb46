// Every distinct format header the installed codecs offer, for input or output,
// as the live compression manager reports them, with cbSize 0 as the report
// queries with it; in the order met.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <algorithm>
#include <cstring>
#include <vector>

inline BOOL CALLBACK keepLiveFormat(HACMDRIVERID, LPACMFORMATDETAILSA details, DWORD_PTR instance,
                                    DWORD) {
    auto& found = *reinterpret_cast<std::vector<WAVEFORMATEX>*>(instance);
    WAVEFORMATEX header;
    std::memcpy(&header, details->pwfx, sizeof header);
    header.cbSize = 0;
    const bool known = std::any_of(found.begin(), found.end(), [&](const WAVEFORMATEX& kept) {
        return std::memcmp(&kept, &header, sizeof header) == 0;
    });
    if (!known)
        found.push_back(header);
    return TRUE;
}

inline std::vector<WAVEFORMATEX> liveCodecFormats() {
    DWORD size = 0;
    if (acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &size) != MMSYSERR_NOERROR)
        size = 0;
    std::vector<unsigned char> buffer(std::max<DWORD>(size, sizeof(WAVEFORMATEX)), 0);
    std::vector<WAVEFORMATEX> found;
    for (DWORD direction : {ACM_FORMATENUMF_INPUT, ACM_FORMATENUMF_OUTPUT}) {
        ACMFORMATDETAILSA details;
        std::memset(&details, 0, sizeof details);
        details.cbStruct = sizeof details;
        details.pwfx = reinterpret_cast<WAVEFORMATEX*>(buffer.data());
        details.cbwfx = static_cast<DWORD>(buffer.size());
        acmFormatEnumA(nullptr, &details, keepLiveFormat, reinterpret_cast<DWORD_PTR>(&found),
                       direction);
    }
    return found;
}
