#include "report/device_listing.h"

#include "catalogue/format_catalogue.h"
#include "catalogue/probe_report.h"
#include "endpoint/endpoint_session.h"
#include "platform/audio_services.h"
#include "report/report_writer.h"
#include "report/text_writer.h"

#include <cstdint>
#include <cstring>

namespace {

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

void writeEndpoint(EndpointSession& session, DeviceDirection direction, UINT id,
                   ReportWriter& writer) {
    const std::optional<FoundEndpoint> found = session.deviceEndpoint(direction, id);
    if (!found)
        writer.endpoint(nullptr, nullptr);
    else
        writer.endpoint(&found->facts, found->formats ? &*found->formats : nullptr);
}

void walkSection(DeviceDirection direction, ReportKind kind, EndpointSession* session,
                 ReportWriter& writer) {
    writer.beginSection(direction);
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
        if (kind != ReportKind::Quick)
            writer.probing(direction, id, count, caps);
        writer.beginDevice(id, caps);
        if (session != nullptr)
            writeEndpoint(*session, direction, static_cast<UINT>(id), writer);
        if (kind == ReportKind::Quick)
            writer.pcmFormats(caps.dwFormats);
        else if (kind == ReportKind::Slow)
            probeDeviceFormats(id, direction, writer);
        writer.endDevice();
    }
    if (session != nullptr) {
        const auto identified = [&writer](const EndpointFacts& facts) {
            writer.beginUnmatchedEndpoint(facts);
        };
        for (const std::u16string& endpointId : session->unmatchedIds(direction)) {
            writer.probingEndpoint(direction, endpointId);
            const std::optional<FoundEndpoint> found =
                session->unmatchedEndpoint(endpointId, direction, identified);
            if (found)
                writer.unmatchedEndpoint(found->facts, found->formats ? &*found->formats : nullptr);
        }
    }
    writer.endSection();
}

} // namespace

void writeReport(ReportKind kind, bool withEndpoints, ReportWriter& writer) {
    if (kind == ReportKind::Slow) {
        collectCodecFormats();
        sortKnownFormats();
    }
    if (!withEndpoints && kind != ReportKind::Exclusive) {
        walkSection('I', kind, nullptr, writer);
        walkSection('O', kind, nullptr, writer);
        return;
    }
    EndpointSession session(kind == ReportKind::Exclusive);
    if (kind == ReportKind::Exclusive)
        writer.systemFacts(session.systemFacts());
    walkSection('I', kind, &session, writer);
    walkSection('O', kind, &session, writer);
}

void quickReport() {
    TextWriter writer;
    writeReport(ReportKind::Quick, false, writer);
}

void slowReport() {
    TextWriter writer;
    writeReport(ReportKind::Slow, false, writer);
}

void exclusiveReport() {
    TextWriter writer;
    writeReport(ReportKind::Exclusive, true, writer);
}
