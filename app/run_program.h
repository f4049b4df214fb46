// The whole program: banner, mode, report or usage text, exit status.
#pragma once

// 0, or 1 when the report could not all be written (2 for a json run whose
// words choose no mode). `callsLeftBehind`, when given, says whether a call
// that hung was left on its thread: the process must then end without the
// clean-up that could wait for it (platform/process_end.h).
int runProgram(int argc, const char* const argv[], bool* callsLeftBehind = nullptr);

// main's whole body: runs the program and gives its exit status, unless a
// call that hung is still on its thread; then it ends the process at once,
// with that status and without the clean-up that could wait for the call.
int programMain(int argc, const char* const argv[]);
