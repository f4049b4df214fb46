// The report as text on standard output, each line flushed as it ends, so a
// slow run shows its devices as they are probed.
#pragma once

#include "json/progress_line.h"
#include "output/report_stream.h"
#include "report/report_writer.h"

#include <optional>

class TextWriter final : public ReportWriter {
public:
    explicit TextWriter(ReportStream& out) : out(out) {}

    void systemFacts(const SystemFacts& facts) override;
    void beginSection(DeviceDirection direction) override;
    void countNotAnswering() override;
    void probing(DeviceDirection, std::int32_t, std::int32_t, const DeviceCaps&) override {}
    void beginDevice(std::int32_t id, const DeviceCaps& caps) override;
    void deviceNotAnswering(std::int32_t id) override;
    void pcmFormats(DWORD dwFormats) override;
    void beginAcceptedFormats() override;
    void acceptedFormat(const FormatHeader& format) override;
    void formatsNotAnswering() override;
    void endAcceptedFormats() override;
    void endpoint(const EndpointFacts* facts, const EndpointFormats* formats) override;
    void endpointNotAnswering() override {} // its block says so
    void opening(const EndpointFacts& facts, std::size_t tried, std::size_t listed) override;
    void endDevice() override {}
    void probingEndpoint(DeviceDirection, const std::u16string&) override {}
    void beginUnmatchedEndpoint(const EndpointFacts& facts) override;
    void unmatchedEndpoint(const EndpointFacts& facts, const EndpointFormats* formats) override;
    void notPresentEndpoints(DeviceDirection direction, std::optional<std::size_t> count) override;
    void endSection() override;

private:
    // Erased before the endpoint's block is written, so that a console that
    // shows both streams keeps the report whole.
    void endProgress();

    ReportStream& out;
    std::optional<ProgressLine> progress; // made only when the verify mode opens
};

// The slow mode's probe of one device, written as text on standard output.
void probeDeviceFormats(std::int32_t id, DeviceDirection direction);
