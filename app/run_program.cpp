#include "app/run_program.h"

#include "app/command_line.h"
#include "app/console_text.h"
#include "report/device_listing.h"

#include <cstdio>
#include <iostream>

namespace {

// Pushes out what is still buffered and says whether every write arrived.
bool outputWritten() {
    std::cout.flush();
    const bool flushed = std::fflush(stdout) == 0;
    return flushed && std::ferror(stdout) == 0 && !std::cout.fail();
}

} // namespace

int runProgram(int argc, const char* const argv[]) {
    writeBanner();
    switch (chooseMode(argc, argv)) {
    case RunMode::Slow:
        slowReport();
        break;
    case RunMode::Quick:
        quickReport();
        break;
    case RunMode::Usage:
        printUsage();
        break;
    }
    return outputWritten() ? 0 : 1;
}
