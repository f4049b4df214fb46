// The report as text on standard output, each line flushed as it ends, so a
// slow run shows its devices as they are probed.
#pragma once

#include "report/report_writer.h"

class TextWriter final : public ReportWriter {
public:
    void systemFacts(const SystemFacts& facts) override;
    void beginSection(DeviceDirection direction) override;
    void probing(DeviceDirection, std::int32_t, std::int32_t, const DeviceCaps&) override {}
    void beginDevice(std::int32_t id, const DeviceCaps& caps) override;
    void pcmFormats(DWORD dwFormats) override;
    void beginAcceptedFormats() override;
    void acceptedFormat(const FormatHeader& format) override;
    void endAcceptedFormats() override;
    void endpoint(const EndpointFacts* facts, const EndpointFormats* formats) override;
    void endDevice() override {}
    void probingEndpoint(DeviceDirection, const std::u16string&) override {}
    void beginUnmatchedEndpoint(const EndpointFacts& facts) override;
    void unmatchedEndpoint(const EndpointFacts& facts, const EndpointFormats* formats) override;
    void endSection() override;
};

// The slow mode's probe of one device, written as text on standard output.
void probeDeviceFormats(std::int32_t id, DeviceDirection direction);
