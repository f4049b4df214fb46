// The program's fixed texts: the banner before every run and the usage text.
#pragma once

// Writes the banner's four lines, each flushed.
void writeBanner();

// Writes the usage text; it reaches the console when standard output is flushed.
void printUsage();

// The usage text itself.
extern const char usageText[];
