// The watch mode: the endpoints as they are, then every event as it happens,
// one line each, until Ctrl+C (or Ctrl+Break, or the console closing), until
// `seconds` have passed (0: no limit), or until standard output is closed.
#pragma once

// 0, or 1 when standard output would not take a line.
int runWatch(unsigned seconds, bool json);
