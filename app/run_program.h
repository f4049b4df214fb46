// The whole program: banner, mode, report or usage text, exit status.
#pragma once

// 0, or 1 when standard output could not take everything written to it.
int runProgram(int argc, const char* const argv[]);
