#include "app/run_program.h"

#include "app/command_line.h"
#include "app/console_text.h"
#include "json/json_writer.h"
#include "output/byte_sink.h"
#include "output/report_stream.h"
#include "output/standard_output.h"
#include "platform/process_end.h"
#include "platform/report_file.h"
#include "report/device_listing.h"
#include "report/text_writer.h"
#include "watch/watch_run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

namespace {

void complain(const char* reason) {
    std::fprintf(stderr, "sndscout: %s\n", reason);
}

// The file the command line names, made empty; null, with a line that says
// why, when it cannot be.
std::FILE* reportFile(int argc, const char* const argv[], int index) {
    std::FILE* file = createReportFile(argc, argv, index);
    if (file == nullptr) {
        const int why = errno;
        std::fprintf(stderr, "sndscout: cannot write %s: %s\n", argv[index], std::strerror(why));
    }
    return file;
}

// Closes the report's file; false when what it held could not all be written.
bool closed(std::FILE* file) {
    return file == nullptr || std::fclose(file) == 0;
}

ReportKind kindOf(RunMode mode) {
    return mode == RunMode::Quick                                  ? ReportKind::Quick
           : mode == RunMode::Exclusive || mode == RunMode::Verify ? ReportKind::Exclusive
                                                                   : ReportKind::Slow;
}

ReportRequest requestFor(const CommandLine& line) {
    ReportRequest request;
    request.kind = kindOf(line.mode);
    request.withEndpoints = line.json || request.kind == ReportKind::Exclusive;
    request.everyEndpoint = line.everyEndpoint;
    request.opensCells = line.mode == RunMode::Verify;
    return request;
}

// Where the report goes: standard output, or the file named after `out`,
// which is closed after `write`; one that will not open or close gives 1.
template <class Write>
int toDestination(const CommandLine& line, int argc, const char* const argv[], Write&& write) {
    if (line.outputArgument == 0) {
        StandardOutput output;
        return write(output.sink());
    }
    std::FILE* file = reportFile(argc, argv, line.outputArgument);
    if (file == nullptr)
        return 1;
    int status = 0;
    {
        ByteSink bytes(file);
        status = write(bytes);
    }
    return closed(file) ? status : 1;
}

int textReport(const CommandLine& line, ReportSink& sink, bool* callsLeftBehind) {
    ReportStream out(sink);
    writeBanner(out);
    if (line.mode == RunMode::Usage) {
        printUsage(out);
    } else {
        TextWriter writer(out);
        *callsLeftBehind = writeReport(requestFor(line), writer);
    }
    out.flush();
    return sink.flush() && !out.fail() ? 0 : 1;
}

// The document is made whole before a byte of it is written, so a run that
// fails leaves its output empty.
int jsonReport(const CommandLine& line, int argc, const char* const argv[], bool* callsLeftBehind) {
    if (line.mode == RunMode::Usage) {
        std::fputs(usageText, stderr);
        return 2;
    }
    try {
        const ReportRequest request = requestFor(line);
        JsonWriter writer(request.kind, request.opensCells);
        *callsLeftBehind = writeReport(request, writer);
        bool reached = false; // a file that will not open has said so
        const int status = toDestination(line, argc, argv, [&](ReportSink& sink) {
            reached = true;
            sink.writeUtf8(writer.text());
            return sink.flush() ? 0 : 1;
        });
        if (status != 0 && reached)
            complain("the report could not be written");
        return status;
    } catch (const std::bad_alloc&) {
        complain("out of memory; no report written");
        return 1;
    } catch (const std::exception& e) {
        complain(e.what());
        return 1;
    }
}

} // namespace

int runProgram(int argc, const char* const argv[], bool* callsLeftBehind) {
    bool leftBehind = false;
    if (callsLeftBehind == nullptr)
        callsLeftBehind = &leftBehind;
    *callsLeftBehind = false;
    CommandLine line;
    try {
        line = readCommandLine(argc, argv);
    } catch (const std::bad_alloc&) {
        complain("out of memory; no report written");
        return 1;
    }
    if (line.json && line.mode != RunMode::Watch)
        return jsonReport(line, argc, argv, callsLeftBehind);
    // The text reports and the watch stream, line by line, to where they go.
    const auto stream = [&](ReportSink& sink) {
        if (line.mode == RunMode::Watch)
            return runWatch(line.watchSeconds, line.json, sink, callsLeftBehind);
        return textReport(line, sink, callsLeftBehind);
    };
    return toDestination(line, argc, argv, stream);
}

int programMain(int argc, const char* const argv[]) {
    bool callsLeftBehind = false;
    const int status = runProgram(argc, argv, &callsLeftBehind);
    if (callsLeftBehind)
        endProcessNow(status);
    return status;
}
