// Finding and saying are apart: the device walk finds what the report holds and
// hands it, piece by piece and in order, to a writer, which says it as text or
// as a document.
#pragma once

#include "catalogue/accepted_formats.h"
#include "endpoint/endpoint_facts.h"
#include "platform/audio_services.h"
#include "report/device_caps.h"

#include <cstddef>
#include <cstdint>
#include <string>

class ReportWriter : public AcceptedFormatSink {
public:
    virtual ~ReportWriter() = default;

    // In the exclusive mode, before the first section: the system it runs on.
    virtual void systemFacts(const SystemFacts& facts) = 0;

    virtual void beginSection(DeviceDirection direction) = 0;
    // The section's device count passed its time limit: it lists no device.
    virtual void countNotAnswering() = 0;
    // Before a device is probed: its place among the section's numbers.
    virtual void probing(DeviceDirection direction, std::int32_t id, std::int32_t count,
                         const DeviceCaps& caps) = 0;
    virtual void beginDevice(std::int32_t id, const DeviceCaps& caps) = 0;
    // In place of a device whose capability query passed its time limit.
    virtual void deviceNotAnswering(std::int32_t id) = 0;

    // Quick mode: the standard PCM formats the device claims.
    virtual void pcmFormats(DWORD dwFormats) = 0;

    // Slow mode: the catalogue formats the device accepts, as an AcceptedFormatSink.

    // The device's endpoint, when the writer asked for endpoints; null when
    // none could be had. `formats` is given in the exclusive mode only.
    virtual void endpoint(const EndpointFacts* facts, const EndpointFormats* formats) = 0;
    // After it: a call passed its time limit, or the endpoint its budget, so
    // what was not read is unset. The exclusive mode's formats say so too.
    virtual void endpointNotAnswering() = 0;
    // The verify mode, while an endpoint's formats are opened: after each one,
    // how many of how many were tried.
    virtual void opening(const EndpointFacts&, std::size_t /*tried*/, std::size_t /*listed*/) {}

    virtual void endDevice() = 0;

    // An endpoint of this section's direction that no device leads to, or that
    // is out of use: before it is first asked anything, what names it so far
    // (its id, then its name); once its facts are read; and then with all of it.
    virtual void probingEndpoint(DeviceDirection direction, const std::u16string& name) = 0;
    virtual void beginUnmatchedEndpoint(const EndpointFacts& facts) = 0;
    virtual void unmatchedEndpoint(const EndpointFacts& facts, const EndpointFormats* formats) = 0;
    // The exclusive mode's endpoints of this direction that are not present
    // (devices once attached), counted rather than listed; no count when they
    // could not be listed.
    virtual void notPresentEndpoints(DeviceDirection direction,
                                     std::optional<std::size_t> count) = 0;

    virtual void endSection() = 0;
};
