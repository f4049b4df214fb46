// Choosing the run mode from the command line.
#pragma once

#include <optional>

enum class RunMode { Slow, Quick, Exclusive, Usage, Watch };

// The first byte of `text` that is not a blank (a byte that, read as signed, is
// at most 32 and not NUL), or its terminating NUL. Null stays null.
const char* skipBlanks(const char* text);

// The mode the arguments select; arguments after the second are never read,
// but for the watch mode's number of seconds.
RunMode chooseMode(int argc, const char* const argv[]);

// The watch mode's number of seconds, when the arguments choose it: 0 when
// none is given, and none when what follows the mode word is not one whole
// number from 1 to 86400 alone.
std::optional<unsigned> watchSeconds(int argc, const char* const argv[]);

// Whether an argument asks for the report as a JSON document: a prefix of
// "json" from "j", in any case, after '-', "--" or '/' and blanks.
bool isJsonWord(const char* argument);
