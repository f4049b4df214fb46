#include "app/run_program.h"

#include "app/command_line.h"
#include "app/console_text.h"
#include "json/json_writer.h"
#include "output/report_output.h"
#include "report/device_listing.h"
#include "watch/watch_run.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <new>
#include <vector>

namespace {

// Pushes out what is still buffered and says whether every write arrived.
bool outputWritten() {
    std::cout.flush();
    const bool flushed = std::fflush(stdout) == 0;
    return flushed && std::ferror(stdout) == 0 && !std::cout.fail();
}

int textReport(int argc, const char* const argv[]) {
    if (chooseMode(argc, argv) == RunMode::Watch)
        return runWatch(watchSeconds(argc, argv).value_or(0), false);
    writeBanner();
    switch (chooseMode(argc, argv)) {
    case RunMode::Slow:
        slowReport();
        break;
    case RunMode::Quick:
        quickReport();
        break;
    case RunMode::Exclusive:
        exclusiveReport();
        break;
    case RunMode::Usage:
    case RunMode::Watch:
        printUsage();
        break;
    }
    return outputWritten() ? 0 : 1;
}

void complain(const char* reason) {
    std::fprintf(stderr, "sndscout: %s\n", reason);
}

// The document is made whole before a byte of it is written, so a run that
// fails leaves standard output empty.
int jsonReport(const std::vector<const char*>& arguments) {
    const RunMode mode = chooseMode(static_cast<int>(arguments.size()) - 1, arguments.data());
    if (mode == RunMode::Usage) {
        std::fputs(usageText, stderr);
        return 2;
    }
    if (mode == RunMode::Watch)
        return runWatch(
            watchSeconds(static_cast<int>(arguments.size()) - 1, arguments.data()).value_or(0),
            true);
    const ReportKind kind = mode == RunMode::Quick       ? ReportKind::Quick
                            : mode == RunMode::Exclusive ? ReportKind::Exclusive
                                                         : ReportKind::Slow;
    bool written = false;
    try {
        JsonWriter writer(kind);
        writeReport(kind, true, writer);
        written = writeReportDocument(writer.text());
    } catch (const std::bad_alloc&) {
        complain("out of memory; no report written");
        return 1;
    } catch (const std::exception& e) {
        complain(e.what());
        return 1;
    }
    if (!outputWritten() || !written) {
        complain("the report could not be written to standard output");
        return 1;
    }
    return 0;
}

} // namespace

int runProgram(int argc, const char* const argv[]) {
    const ReportOutput output;
    bool json = false;
    for (int i = 1; i < argc && !json; ++i)
        json = isJsonWord(argv[i]);
    if (!json)
        return textReport(argc, argv);
    // The mode is chosen from the other arguments, as when there is no json word.
    std::vector<const char*> rest;
    try {
        for (int i = 0; i < argc; ++i)
            if (i == 0 || !isJsonWord(argv[i]))
                rest.push_back(argv[i]);
        rest.push_back(nullptr);
    } catch (const std::bad_alloc&) {
        complain("out of memory; no report written");
        return 1;
    }
    return jsonReport(rest);
}
