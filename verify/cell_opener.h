// Opening, for real, every exclusive cell the probe listed: once each, the
// way a player would open it, and closed again at once. Only what the driver
// claims is opened, never the whole matrix.
//
// It goes a listed format (all of its rates) at a time, so that each step can
// be one job on the endpoint's worker, with its progress told between steps.
#pragma once

#include "endpoint/endpoint_facts.h"
#include "verify/cell_opens.h"

#include <functional>
#include <optional>

// One open of one cell's format; nothing when the call was cut off (the
// endpoint's time ran out, or the worker gave up on it).
using CellOpener =
    std::function<std::optional<EndpointAnswer>(const WAVEFORMATEXTENSIBLE& format, OpenWay way)>;

// Where an endpoint's opening stands.
struct CellOpening {
    CellOpens opens;
    bool noSession = false; // no session was known on the endpoint
    OpenWay way = OpenWay::EventCallback;
    std::size_t next = 0;  // the next listed format
    std::size_t tried = 0; // cells
};

// Nothing is opened while a program has an active session on the endpoint
// (`sessions` unset: they could not be read, and Windows itself refuses an
// exclusive stream beside a shared one), nor when nothing is listed; then the
// opening is over before it starts. May throw std::bad_alloc.
CellOpening startOpening(const ExclusiveFindings& findings,
                         const std::optional<std::vector<AudioSession>>& sessions);

// Whether a listed format is left to open.
bool moreToOpen(const CellOpening& opening, const std::vector<ExclusiveFormat>& formats);

// Opens each rate of the next listed format. An event-driven open that answers
// "in use" on an endpoint with no session known is tried once without the
// event callback before it is believed; when that opens, or is refused for the
// format, the "in use" was no holder, and the rest open without it too. "In
// use", "not allowed", "gone" and "access denied" end the opening; so does a
// call cut off, as TooSlow.
void openNextFormat(CellOpening& opening, const std::vector<ExclusiveFormat>& formats,
                    const CellOpener& open);
