// The run modes: the input and output sections, one line per device, and under
// each device what was found for it.
#pragma once

class ReportWriter;

enum class ReportKind { Quick, Slow, Exclusive };

// Walks every device once and hands what it finds to the writer. Endpoints are
// looked up when `withEndpoints` is set, and always in the exclusive mode.
void writeReport(ReportKind kind, bool withEndpoints, ReportWriter& writer);

// The text reports on standard output.
// Lists each device's standard PCM capability bits.
void quickReport();
// Builds the codec format catalogue, then lists what each device accepts of it.
void slowReport();
// Lists each device's endpoint: its names, roles, shared and exclusive formats.
void exclusiveReport();
