// Choosing the run mode from the command line.
#pragma once

#include <optional>

// Verify is the exclusive mode, and then each exclusive format listed opened for real.
enum class RunMode { Slow, Quick, Exclusive, Usage, Watch, Verify };

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

// Whether an argument is the word "out", in any case, after '-', "--" or '/'
// and blanks. Followed by a non-empty argument, it names the report's file.
bool isOutputWord(const char* argument);

// What the whole command line asks for. Besides the mode it may hold, anywhere,
// the json word and "out FILE" (the report goes to FILE, not standard output);
// the mode is chosen from the other arguments, as if those were not there.
// After the exclusive or verify mode's word, "all" lists the endpoints that
// are not present in full.
struct CommandLine {
    RunMode mode = RunMode::Usage;
    bool json = false;
    bool everyEndpoint = false;
    int outputArgument = 0;    // the index of the report file's name; 0: standard output
    unsigned watchSeconds = 0; // the watch mode's; 0: no limit
};

// May throw std::bad_alloc, and nothing else.
CommandLine readCommandLine(int argc, const char* const argv[]);
