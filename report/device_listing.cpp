#include "report/device_listing.h"

#include "catalogue/format_catalogue.h"
#include "catalogue/probe_report.h"
#include "endpoint/endpoint_session.h"
#include "output/standard_output.h"
#include "platform/audio_services.h"
#include "report/report_writer.h"
#include "report/text_writer.h"
#include "watchdog/time_limits.h"
#include "watchdog/watched_calls.h"

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

struct CapsAnswer {
    MMRESULT result = MMSYSERR_ERROR;
    DeviceCaps caps{};
};

// The slow mode's format queries, each under the call limit.
class WatchedQuery final : public FormatQuery {
public:
    explicit WatchedQuery(WatchedCalls& calls) : calls(calls) {}
    std::optional<MMRESULT> ask(std::int32_t id, DeviceDirection direction,
                                const FormatHeader& format) override {
        return calls.run([id, direction, format] { return askDevice(id, direction, &format); });
    }

private:
    WatchedCalls& calls;
};

struct Walk {
    ReportKind kind;
    EndpointSession* session; // null when endpoints are not asked
    WatchedCalls waveform{callLimit()};
};

void writeEndpoint(EndpointSession& session, DeviceDirection direction, UINT id,
                   ReportWriter& writer) {
    const std::optional<FoundEndpoint> found = session.deviceEndpoint(direction, id);
    if (!found || found->facts.id.empty())
        writer.endpoint(nullptr, found && found->formats ? &*found->formats : nullptr);
    else
        writer.endpoint(&found->facts, found->formats ? &*found->formats : nullptr);
    if (found && found->notAnswering)
        writer.endpointNotAnswering();
}

void walkSection(DeviceDirection direction, Walk& walk, ReportWriter& writer) {
    writer.beginSection(direction);
    const std::optional<UINT> counted = walk.waveform.run(
        [direction] { return direction == 'I' ? waveInGetNumDevs() : waveOutGetNumDevs(); });
    if (!counted)
        writer.countNotAnswering();
    // The count is read as signed: a driver's "-1" lists nothing.
    const auto count = static_cast<std::int32_t>(counted.value_or(0));
    for (std::int32_t id = 0; id < count; ++id) {
        const std::optional<CapsAnswer> answer = walk.waveform.run([direction, id] {
            CapsAnswer a;
            a.result = deviceCaps(direction, static_cast<UINT>(id), &a.caps);
            return a;
        });
        if (!answer) {
            writer.deviceNotAnswering(id);
            continue;
        }
        // Identifiers run from 0 without holes, so none past one the service
        // does not know can answer; a count that overstates the devices must
        // not send us through billions of queries.
        if (answer->result == MMSYSERR_BADDEVICEID)
            break;
        if (answer->result != MMSYSERR_NOERROR)
            continue; // left out; the gap in the numbers shows where
        const DeviceCaps& caps = answer->caps;
        if (walk.kind != ReportKind::Quick)
            writer.probing(direction, id, count, caps);
        writer.beginDevice(id, caps);
        if (walk.session != nullptr)
            writeEndpoint(*walk.session, direction, static_cast<UINT>(id), writer);
        if (walk.kind == ReportKind::Quick) {
            writer.pcmFormats(caps.dwFormats);
        } else if (walk.kind == ReportKind::Slow) {
            WatchedQuery query(walk.waveform);
            probeDeviceFormats(id, direction, writer, query);
        }
        writer.endDevice();
    }
    if (walk.session != nullptr) {
        EndpointSession& session = *walk.session;
        const auto identified = [&writer](const EndpointFacts& facts) {
            writer.beginUnmatchedEndpoint(facts);
        };
        for (const std::u16string& endpointId : session.unmatchedIds(direction)) {
            writer.probingEndpoint(direction, endpointId);
            const std::optional<FoundEndpoint> found =
                session.unmatchedEndpoint(endpointId, direction, identified);
            if (found)
                writer.unmatchedEndpoint(found->facts, found->formats ? &*found->formats : nullptr);
        }
        if (session.countsNotPresent())
            writer.notPresentEndpoints(direction, session.notPresentCount(direction));
    }
    writer.endSection();
}

void writeText(ReportKind kind) {
    StandardOutput output;
    ReportStream out(output.sink());
    TextWriter writer(out);
    ReportRequest request;
    request.kind = kind;
    writeReport(request, writer);
}

} // namespace

bool writeReport(const ReportRequest& request, ReportWriter& writer) {
    if (request.kind == ReportKind::Slow) {
        collectCodecFormats();
        sortKnownFormats();
    }
    Walk walk{request.kind, nullptr};
    if (!request.withEndpoints && request.kind != ReportKind::Exclusive) {
        walkSection('I', walk, writer);
        walkSection('O', walk, writer);
        return walk.waveform.leftCallsBehind();
    }
    EndpointSession session(request.kind == ReportKind::Exclusive, request.everyEndpoint);
    if (request.kind == ReportKind::Exclusive)
        writer.systemFacts(session.systemFacts());
    if (request.opensCells)
        session.openListedCells(
            [&writer](const EndpointFacts& facts, std::size_t tried, std::size_t listed) {
                writer.opening(facts, tried, listed);
            });
    walk.session = &session;
    walkSection('I', walk, writer);
    walkSection('O', walk, writer);
    const bool endpointsLeftBehind = session.finish();
    return walk.waveform.leftCallsBehind() || endpointsLeftBehind;
}

void quickReport() {
    writeText(ReportKind::Quick);
}

void slowReport() {
    writeText(ReportKind::Slow);
}

void exclusiveReport() {
    writeText(ReportKind::Exclusive);
}
