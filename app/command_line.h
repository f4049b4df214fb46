// Choosing the run mode from the command line.
#pragma once

enum class RunMode { Slow, Quick, Exclusive, Usage };

// The first byte of `text` that is not a blank (a byte that, read as signed, is
// at most 32 and not NUL), or its terminating NUL. Null stays null.
const char* skipBlanks(const char* text);

// The mode the arguments select; arguments after the second are never read.
RunMode chooseMode(int argc, const char* const argv[]);

// Whether an argument asks for the report as a JSON document: a prefix of
// "json" from "j", in any case, after '-', "--" or '/' and blanks.
bool isJsonWord(const char* argument);
