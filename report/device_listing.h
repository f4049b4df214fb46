// The run modes: the input and output sections, one line per device, and under
// each device what was found for it.
#pragma once

class ReportWriter;

enum class ReportKind { Quick, Slow, Exclusive };

struct ReportRequest {
    ReportKind kind = ReportKind::Slow;
    bool withEndpoints = false; // always in the exclusive mode
    bool everyEndpoint = false; // the exclusive mode lists the endpoints not present in full
    bool opensCells = false;    // the verify mode: each exclusive format listed is opened too
};

// Walks every device once and hands what it finds to the writer. Every call
// to a waveform driver or the endpoint service is watched against the call
// limit. True when a call that hung was left on its thread.
bool writeReport(const ReportRequest& request, ReportWriter& writer);

// The text reports on standard output.
// Lists each device's standard PCM capability bits.
void quickReport();
// Builds the codec format catalogue, then lists what each device accepts of it.
void slowReport();
// Lists each device's endpoint: its names, roles, shared and exclusive formats.
void exclusiveReport();
