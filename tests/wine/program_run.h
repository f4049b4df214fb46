// Runs sndscout.exe, which lies beside the checker, with its standard output on
// a pipe read here, and tells what came out, how it ended and how long it took.
// Shared by the checkers that compare the program with the live platform.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

struct ProgramRun {
    bool started = false;
    DWORD startError = 0;
    std::string output;
    std::string errors; // standard error, when it was kept
    DWORD status = 0;
    double seconds = 0; // from the start to the end of the process
};

// Where the program's standard error goes: to the checker's own, or into
// ProgramRun::errors.
enum class ErrorStream { Shared, Kept };

// With Closed the pipe's read end is closed before the program starts, so every
// write to standard output fails.
enum class OutputPipe { Open, Closed };

// The program that lies in the checker's own folder.
inline std::string programBeside(const char* name) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return "";
    std::string folder(path, length);
    const std::size_t slash = folder.find_last_of("\\/");
    folder.erase(slash == std::string::npos ? 0 : slash + 1);
    return folder + name;
}

namespace program_run_detail {

// Every argument in double quotes, so empty ones and ones with blanks arrive as
// they are. No checker passes one that holds a quote or a backslash.
inline std::string commandLine(const std::string& program, const std::vector<std::string>& args) {
    std::string line = "\"" + program + "\"";
    for (const std::string& arg : args)
        line += " \"" + arg + "\"";
    return line;
}

inline HANDLE inheritable(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

inline void readAll(HANDLE reader, std::string& into) {
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(reader, chunk, sizeof chunk, &got, nullptr) && got > 0)
        into.append(chunk, got);
}

struct PipeReading {
    HANDLE reader;
    std::string text;
};

// Standard error is read on a thread of its own, so that neither pipe can fill
// up and stall the program while the other is read.
inline DWORD WINAPI readPipe(void* parameter) {
    auto& reading = *static_cast<PipeReading*>(parameter);
    readAll(reading.reader, reading.text);
    return 0;
}

inline double now() {
    LARGE_INTEGER count;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

} // namespace program_run_detail

inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                             OutputPipe pipe = OutputPipe::Open,
                             ErrorStream errorStream = ErrorStream::Shared) {
    using namespace program_run_detail;
    ProgramRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    if (!CreatePipe(&reader, &writer, &inherit, 0)) {
        run.startError = GetLastError();
        return run;
    }
    SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
    if (pipe == OutputPipe::Closed) {
        CloseHandle(reader);
        reader = nullptr;
    }
    PipeReading errorReading = {nullptr, std::string()};
    HANDLE errors = nullptr;
    if (errorStream == ErrorStream::Kept) {
        if (!CreatePipe(&errorReading.reader, &errors, &inherit, 0)) {
            run.startError = GetLastError();
            CloseHandle(writer);
            if (reader != nullptr)
                CloseHandle(reader);
            return run;
        }
        SetHandleInformation(errorReading.reader, HANDLE_FLAG_INHERIT, 0);
    } else {
        // The program's own complaints, if any, go where ours do.
        errors = inheritable(GetStdHandle(STD_ERROR_HANDLE));
    }
    HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);

    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input == INVALID_HANDLE_VALUE ? nullptr : input;
    startup.hStdOutput = writer;
    startup.hStdError = errors;
    PROCESS_INFORMATION process;
    std::string line = commandLine(program, args);
    const double start = now();
    run.started = CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &startup, &process) != 0;
    if (!run.started)
        run.startError = GetLastError();
    // Only the child may hold the write ends now, so the reads below end when it does.
    CloseHandle(writer);
    if (startup.hStdInput != nullptr)
        CloseHandle(startup.hStdInput);
    if (errors != nullptr)
        CloseHandle(errors);
    HANDLE errorThread = nullptr;
    if (errorReading.reader != nullptr) {
        if (run.started)
            errorThread = CreateThread(nullptr, 0, readPipe, &errorReading, 0, nullptr);
        if (errorThread == nullptr)
            readAll(errorReading.reader, errorReading.text);
    }
    if (run.started && reader != nullptr)
        readAll(reader, run.output);
    if (reader != nullptr)
        CloseHandle(reader);
    if (errorThread != nullptr) {
        WaitForSingleObject(errorThread, INFINITE);
        CloseHandle(errorThread);
    }
    if (errorReading.reader != nullptr)
        CloseHandle(errorReading.reader);
    run.errors = errorReading.text;
    if (!run.started)
        return run;
    if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    run.seconds = now() - start;
    GetExitCodeProcess(process.hProcess, &run.status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

// ---- Showing what differs --------------------------------------------------------

// Bytes as a log can show them: line ends, tabs, backslashes and every byte
// outside printable ASCII escaped.
inline std::string visible(const std::string& text) {
    std::string shown;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r')
            shown += "\\r";
        else if (c == '\n')
            shown += "\\n";
        else if (c == '\t')
            shown += "\\t";
        else if (c == '\\')
            shown += "\\\\";
        else if (byte < 0x20 || byte >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            shown += hex;
        } else
            shown += c;
    }
    return shown;
}

inline std::string describeArgs(const std::vector<std::string>& args) {
    if (args.empty())
        return "(no arguments)";
    std::string text;
    for (const std::string& arg : args)
        text += (text.empty() ? "[" : " [") + visible(arg) + "]";
    return text;
}

// Lines split after each LF, so a missing or doubled CR shows in the line.
inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, next - start));
        start = next;
    }
    return lines;
}

// Prints the first line where the two texts part.
inline void reportDifference(const std::string& label, const std::string& expected,
                             const std::string& actual) {
    const std::vector<std::string> want = splitLines(expected);
    const std::vector<std::string> got = splitLines(actual);
    std::size_t line = 0;
    while (line < want.size() && line < got.size() && want[line] == got[line])
        ++line;
    std::printf("FAIL %s: output differs at line %zu (expected %zu bytes, got %zu)\n",
                label.c_str(), line + 1, expected.size(), actual.size());
    std::printf("  expected: %s\n",
                line < want.size() ? ("\"" + visible(want[line]) + "\"").c_str() : "<end>");
    std::printf("  actual:   %s\n",
                line < got.size() ? ("\"" + visible(got[line]) + "\"").c_str() : "<end>");
}
