#include "output/standard_output.h"

#include "platform/console.h"

StandardOutput::StandardOutput() : bytes(stdout) {
    if (standardOutputIsConsole())
        console.emplace(ConsoleStream::Output);
}
