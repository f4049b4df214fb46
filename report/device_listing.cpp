#include "report/device_listing.h"

#include "catalogue/format_catalogue.h"
#include "catalogue/probe_report.h"
#include "platform/audio_services.h"
#include "report/driver_text.h"
#include "report/manufacturer_names.h"
#include "report/pcm_lines.h"

#include <cstdint>
#include <cstring>
#include <iostream>

namespace {

// What the listing reads of either direction's capability record.
struct DeviceCaps {
    WORD wMid;
    char szPname[MAXPNAMELEN];
    DWORD dwFormats;
};

template <class Caps> void keepCaps(const Caps& caps, DeviceCaps* kept) {
    kept->wMid = caps.wMid;
    std::memcpy(kept->szPname, caps.szPname, sizeof kept->szPname);
    kept->dwFormats = caps.dwFormats;
}

// The records are cleared first: a driver may fill only part of one, and the
// bytes it leaves must read as an empty name, not as old stack contents.
MMRESULT deviceCaps(DeviceDirection direction, UINT id, DeviceCaps* kept) {
    MMRESULT result;
    if (direction == 'I') {
        WAVEINCAPSA caps;
        std::memset(&caps, 0, sizeof caps);
        result = waveInGetDevCapsA(id, &caps, sizeof caps);
        if (result == MMSYSERR_NOERROR)
            keepCaps(caps, kept);
    } else {
        WAVEOUTCAPSA caps;
        std::memset(&caps, 0, sizeof caps);
        result = waveOutGetDevCapsA(id, &caps, sizeof caps);
        if (result == MMSYSERR_NOERROR)
            keepCaps(caps, kept);
    }
    return result;
}

void writeDeviceLine(std::int32_t id, const DeviceCaps& caps) {
    std::cout << id << ".\t";
    // A driver may fill the whole name field without a terminator.
    writeDriverText(caps.szPname, sizeof caps.szPname);
    std::cout << " / " << manufacturerName(caps.wMid) << std::endl;
}

using DeviceBlock = void (*)(std::int32_t id, DeviceDirection direction, const DeviceCaps& caps);

void listSection(const char* title, const char* underline, DeviceDirection direction,
                 DeviceBlock block) {
    std::cout << title << std::endl << underline << std::endl << std::endl;
    // The count is read as signed: a driver's "-1" lists nothing.
    const auto count =
        static_cast<std::int32_t>(direction == 'I' ? waveInGetNumDevs() : waveOutGetNumDevs());
    for (std::int32_t id = 0; id < count; ++id) {
        DeviceCaps caps;
        const MMRESULT result = deviceCaps(direction, static_cast<UINT>(id), &caps);
        // Identifiers run from 0 without holes, so none past one the service
        // does not know can answer; a count that overstates the devices must
        // not send us through billions of queries.
        if (result == MMSYSERR_BADDEVICEID)
            break;
        if (result != MMSYSERR_NOERROR)
            continue; // left out; the gap in the numbers shows where
        writeDeviceLine(id, caps);
        block(id, direction, caps);
    }
    std::cout << std::endl;
}

void listDevices(DeviceBlock block) {
    listSection("        Input Devices", "        -------------", 'I', block);
    listSection("        Output Devices", "        --------------", 'O', block);
}

void pcmBlock(std::int32_t, DeviceDirection, const DeviceCaps& caps) {
    printPcmFlags(caps.dwFormats);
}

void probeBlock(std::int32_t id, DeviceDirection direction, const DeviceCaps&) {
    probeDeviceFormats(id, direction);
}

} // namespace

void quickReport() {
    listDevices(pcmBlock);
}

void slowReport() {
    collectCodecFormats();
    sortKnownFormats();
    listDevices(probeBlock);
}
