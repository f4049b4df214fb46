#include "catalogue/probe_report.h"

#include "catalogue/accepted_formats.h"
#include "catalogue/format_catalogue.h"

namespace {

// The answers of a device that is no longer there (unplugged mid-probe): it
// can accept nothing more, so asking it the rest would only cost time.
bool deviceGone(MMRESULT answer) {
    return answer == MMSYSERR_NODRIVER || answer == MMSYSERR_BADDEVICEID;
}

class DirectQuery final : public FormatQuery {
public:
    std::optional<MMRESULT> ask(std::int32_t id, DeviceDirection direction,
                                const FormatHeader& format) override {
        return askDevice(id, direction, &format);
    }
};

} // namespace

MMRESULT askDevice(std::int32_t id, DeviceDirection direction, const FormatHeader* format) {
    const UINT device = static_cast<UINT>(id);
    if (direction == 'I')
        return waveInOpen(nullptr, device, format, 0, 0, WAVE_FORMAT_QUERY);
    if (direction == 'O')
        return waveOutOpen(nullptr, device, format, 0, 0, WAVE_FORMAT_QUERY);
    return WAVERR_BADFORMAT;
}

void probeDeviceFormats(std::int32_t id, DeviceDirection direction, AcceptedFormatSink& sink) {
    DirectQuery query;
    probeDeviceFormats(id, direction, sink, query);
}

void probeDeviceFormats(std::int32_t id, DeviceDirection direction, AcceptedFormatSink& sink,
                        FormatQuery& query) {
    ListCursor cursor(&knownFormats);
    sink.beginAcceptedFormats();
    while (cursor.hasMore()) {
        const auto* format = static_cast<const FormatHeader*>(cursor.next());
        if (format == nullptr)
            continue;
        const std::optional<MMRESULT> answer = query.ask(id, direction, *format);
        if (!answer) {
            sink.formatsNotAnswering();
            break;
        }
        if (*answer == MMSYSERR_NOERROR)
            sink.acceptedFormat(*format);
        else if (deviceGone(*answer))
            break;
    }
    sink.endAcceptedFormats();
}
