// The exclusive mode's block under a device line: the endpoint's names, roles,
// shared-mode format and what it takes in exclusive mode.
#pragma once

#include "endpoint/endpoint_facts.h"
#include "output/report_stream.h"

#include <string>

// The block under a device line; `facts` is null when no endpoint could be had.
void writeEndpointBlock(ReportStream& out, const EndpointFacts* facts,
                        const EndpointFormats* formats);

// The line that stands for the device number of an endpoint no waveform
// device leads to; its block follows with writeEndpointBlock().
void writeUnmatchedLine(ReportStream& out, const EndpointFacts& facts);

// The exclusive mode's header: the Windows version and the audio services.
void writeSystemLines(ReportStream& out, const SystemFacts& facts);

// A rate in kilohertz, as short as it is exact: "8", "11.025", "44.1".
std::string kilohertzText(DWORD rate);

// Rates of the matrix, rising: runs of three or more neighbours in the matrix
// as "first-last", the rest one by one: "44.1 48 88.2-192".
std::string rateListText(const std::vector<DWORD>& rates);

// The lines that say what the device takes in exclusive mode, without their
// indentation; one line with the reason when nothing could be asked. With
// `opens` (the verify mode) each line also says what opening its rates gave.
std::vector<std::string> exclusiveLines(const ExclusiveFindings& findings,
                                        const CellOpens* opens = nullptr);
