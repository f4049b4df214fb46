// The file a report is written to when the command line names one. It is
// opened in text mode, as standard output is, so the file holds the very bytes
// a redirection would have given it.
#pragma once

#include <cstdio>

// Creates or empties the file that argument `index` names; null when it cannot
// be, with errno saying why. On Windows a name with characters beyond the ANSI
// code page is taken whole from the wide command line.
std::FILE* createReportFile(int argc, const char* const argv[], int index);
