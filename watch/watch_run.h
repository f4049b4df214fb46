// The watch mode: the endpoints as they are, then every event as it happens,
// one line each, until Ctrl+C (or Ctrl+Break, or the console closing), until
// `seconds` have passed (0: no limit), or until standard output is closed.
#pragma once

#include "output/report_sink.h"

// 0, or 1 when the output would not take a line. `callsLeftBehind` is set
// when a lookup that hung was left on its thread.
int runWatch(unsigned seconds, bool json, ReportSink& sink, bool* callsLeftBehind);
