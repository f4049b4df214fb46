// Runs part of the program with its standard output taken aside.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Everything `body` writes to standard output, through the streams or stdio.
std::string captureStdout(const std::function<void()>& body);

// While captureStdout runs: what has reached standard output's file so far,
// leaving out anything still held in a stream's buffer.
std::string writtenSoFar();

struct ProgramRun {
    int status;
    std::string output;
};

// Runs the whole program with these arguments (the program name is added).
ProgramRun runWithArguments(const std::vector<std::string>& arguments);

// Runs the whole program with standard output on a device that refuses every
// write, and gives its exit status.
int runOnFullDevice(const std::vector<std::string>& arguments);

struct FullRun {
    int status;
    std::string output;
    std::string errors; // what reached standard error
};

// Runs the whole program with both output streams taken aside. `before` runs
// just before the program and `after` just after it (say, to arm a fault and
// disarm it).
FullRun runCapturingErrors(const std::vector<std::string>& arguments,
                           const std::function<void()>& before = {},
                           const std::function<void()>& after = {});

// What bytes written to standard output show on the simulated console: the
// code page's characters as UTF-16, each line end as CR LF.
std::u16string onConsole(const std::string& bytes);
