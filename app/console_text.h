// The program's fixed texts: the banner before every run and the usage text.
#pragma once

#include <ostream>

// Writes the banner's four lines, each flushed.
void writeBanner(std::ostream& out);

// Writes the usage text; it reaches the output when the stream is flushed.
void printUsage(std::ostream& out);

// The usage text itself.
extern const char usageText[];
