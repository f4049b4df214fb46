// Choosing the run mode from the command line.
#pragma once

// Verify is the exclusive mode, and then each exclusive format listed opened for real.
enum class RunMode { Slow, Quick, Exclusive, Usage, Verify };

// The first byte of `text` that is not a blank (a byte that, read as signed, is
// at most 32 and not NUL), or its terminating NUL. Null stays null.
const char* skipBlanks(const char* text);

// The mode the arguments select; arguments after the second are never read.
RunMode chooseMode(int argc, const char* const argv[]);

// Whether an argument asks for the report as a JSON document: a prefix of
// "json" from "j", in any case, after '-', "--" or '/' and blanks.
bool isJsonWord(const char* argument);

// What the whole command line asks for. Besides the mode it may hold, anywhere,
// the json word and "out FILE" (the report goes to FILE, not standard output);
// the mode is chosen from the other arguments, as if those were not there.
// After the exclusive or verify mode's word, "all" lists the endpoints that
// are not present in full.
struct CommandLine {
    RunMode mode = RunMode::Usage;
    bool json = false;
    bool everyEndpoint = false;
    int outputArgument = 0; // the index of the report file's name; 0: standard output
};

// May throw std::bad_alloc, and nothing else.
CommandLine readCommandLine(int argc, const char* const argv[]);
