#include "catalogue/probe_report.h"

#include "catalogue/format_catalogue.h"
#include "report/driver_text.h"

#include <iomanip>
#include <iostream>

namespace {

// Asks whether the device could be opened with the format; opens nothing.
// 0 means it could.
MMRESULT askDevice(std::int32_t id, DeviceDirection direction, const FormatHeader* format) {
    const UINT device = static_cast<UINT>(id);
    if (direction == 'I')
        return waveInOpen(nullptr, device, format, 0, 0, WAVE_FORMAT_QUERY);
    if (direction == 'O')
        return waveOutOpen(nullptr, device, format, 0, 0, WAVE_FORMAT_QUERY);
    return WAVERR_BADFORMAT;
}

// The answers of a device that is no longer there (unplugged mid-probe): it
// can accept nothing more, so asking it the rest would only cost time.
bool deviceGone(MMRESULT answer) {
    return answer == MMSYSERR_NODRIVER || answer == MMSYSERR_BADDEVICEID;
}

void writeFormatLine(const FormatHeader& h) {
    const DWORD rate = h.nSamplesPerSec;
    const unsigned channels = h.nChannels;
    const unsigned bits = h.wBitsPerSample;
    std::cout << "\t\t";
    writeDriverText(formatTagName(h.wFormatTag), sizeof FormatTagEntry::name);
    std::cout << ", " << std::setfill(' ') << std::setw(3) << rate / 1000 << '.'
              << std::setfill('0') << std::setw(3) << rate % 1000 << std::setfill(' ') << " kHz, "
              << (channels == 1 ? "mono,  " : "stereo,") << std::setw(3) << bits << " bit"
              << std::endl;
}

} // namespace

void probeDeviceFormats(std::int32_t id, DeviceDirection direction) {
    ListCursor cursor(&knownFormats);
    std::cout << std::endl;
    while (cursor.hasMore()) {
        const auto* format = static_cast<const FormatHeader*>(cursor.next());
        if (format == nullptr)
            continue;
        const MMRESULT answer = askDevice(id, direction, format);
        if (answer == MMSYSERR_NOERROR)
            writeFormatLine(*format);
        else if (deviceGone(answer))
            break;
    }
    std::cout << std::endl;
}
