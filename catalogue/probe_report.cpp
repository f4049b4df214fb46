#include "catalogue/probe_report.h"

#include "catalogue/format_catalogue.h"
#include "report/driver_text.h"

#include <iomanip>
#include <iostream>

namespace {

// Asks whether the device could be opened with the format; opens nothing.
bool deviceAccepts(std::int32_t id, DeviceDirection direction, const FormatHeader* format) {
    const UINT device = static_cast<UINT>(id);
    if (direction == 'I')
        return waveInOpen(nullptr, device, format, 0, 0, WAVE_FORMAT_QUERY) == MMSYSERR_NOERROR;
    if (direction == 'O')
        return waveOutOpen(nullptr, device, format, 0, 0, WAVE_FORMAT_QUERY) == MMSYSERR_NOERROR;
    return false;
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
        if (format != nullptr && deviceAccepts(id, direction, format))
            writeFormatLine(*format);
    }
    std::cout << std::endl;
}
