#include "catalogue/probe_report.h"

#include "catalogue/format_catalogue.h"
#include "report/report_writer.h"
#include "report/text_writer.h"

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

} // namespace

void probeDeviceFormats(std::int32_t id, DeviceDirection direction, ReportWriter& writer) {
    ListCursor cursor(&knownFormats);
    writer.beginAcceptedFormats();
    while (cursor.hasMore()) {
        const auto* format = static_cast<const FormatHeader*>(cursor.next());
        if (format != nullptr && deviceAccepts(id, direction, format))
            writer.acceptedFormat(*format);
    }
    writer.endAcceptedFormats();
}

void probeDeviceFormats(std::int32_t id, DeviceDirection direction) {
    TextWriter writer;
    probeDeviceFormats(id, direction, writer);
}
