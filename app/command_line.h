// Choosing the run mode from the command line.
#pragma once

#include <cstddef>

enum class RunMode { Slow, Quick, Usage };

// The first byte of `text` that is not a blank (a byte that, read as signed, is
// at most 32 and not NUL), or its terminating NUL. Null stays null.
const char* skipBlanks(const char* text);

// Compares the first `count` bytes of two strings as unsigned bytes with A to Z
// folded to lower case, stopping at a difference or a NUL: <0, 0 or >0.
int compareFolded(const char* a, const char* b, std::size_t count);

// The mode the arguments select; arguments after the second are never read.
RunMode chooseMode(int argc, const char* const argv[]);
