// The report as one JSON document, built whole in memory and written only when
// the run is done.
#pragma once

#include "endpoint/endpoint_session.h"
#include "json/json_text.h"
#include "json/progress_line.h"
#include "report/device_listing.h"
#include "report/report_writer.h"

#include <string>
#include <vector>

class JsonWriter final : public ReportWriter {
public:
    // With `verify`, the verify mode's document: the exclusive one, and what
    // opening each format gave.
    explicit JsonWriter(ReportKind kind, bool verify = false);

    // The whole document, ending in a line break. Erases the progress line first.
    const std::string& text();

    void systemFacts(const SystemFacts& facts) override;
    void beginSection(DeviceDirection direction) override;
    void countNotAnswering() override;
    void probing(DeviceDirection direction, std::int32_t id, std::int32_t count,
                 const DeviceCaps& caps) override;
    void beginDevice(std::int32_t id, const DeviceCaps& caps) override;
    void deviceNotAnswering(std::int32_t id) override;
    void pcmFormats(DWORD dwFormats) override;
    void beginAcceptedFormats() override;
    void acceptedFormat(const FormatHeader& format) override;
    void formatsNotAnswering() override;
    void endAcceptedFormats() override;
    void endpoint(const EndpointFacts* facts, const EndpointFormats* formats) override;
    void endpointNotAnswering() override;
    void opening(const EndpointFacts& facts, std::size_t tried, std::size_t listed) override;
    void endDevice() override;
    void probingEndpoint(DeviceDirection direction, const std::u16string& name) override;
    void beginUnmatchedEndpoint(const EndpointFacts& facts) override;
    void unmatchedEndpoint(const EndpointFacts& facts, const EndpointFormats* formats) override;
    void notPresentEndpoints(DeviceDirection direction, std::optional<std::size_t> count) override;
    void endSection() override;

private:
    ReportKind kind;
    bool verify;
    JsonText json;
    // Found with each section, written after both.
    std::vector<FoundEndpoint> unmatched;
    std::vector<const char*> countsNotAnswering; // the sections whose count hung
    // Per direction, 0 input: when the endpoints not present were counted.
    std::optional<std::size_t> notPresent[2];
    bool notPresentCounted = false;
    DeviceDirection section = 'I';
    bool formatsCut = false;
    ProgressLine progress;
};
