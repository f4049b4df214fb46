#include "support/captured_output.h"

#include "app/run_program.h"

#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Points file descriptor 1 at `fd` for the life of the object.
class StdoutRedirect {
public:
    explicit StdoutRedirect(int fd) {
        std::cout.flush();
        std::fflush(stdout);
        saved = dup(1);
        dup2(fd, 1);
    }
    ~StdoutRedirect() {
        std::cout.flush();
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
        // A failed write leaves both streams in error; the next run starts clean.
        std::clearerr(stdout);
        std::cout.clear();
    }
    StdoutRedirect(const StdoutRedirect&) = delete;
    StdoutRedirect& operator=(const StdoutRedirect&) = delete;

private:
    int saved;
};

int runProgramWith(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv{"sndscout"};
    for (const std::string& a : arguments)
        argv.push_back(a.c_str());
    argv.push_back(nullptr);
    return runProgram(static_cast<int>(argv.size() - 1), argv.data());
}

} // namespace

std::string captureStdout(const std::function<void()>& body) {
    std::FILE* file = std::tmpfile();
    if (file == nullptr)
        return "<no temporary file>";
    {
        StdoutRedirect redirect(fileno(file));
        body();
    }
    std::string text;
    std::rewind(file);
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    std::fclose(file);
    return text;
}

std::string writtenSoFar() {
    struct stat file;
    if (fstat(1, &file) != 0 || file.st_size <= 0)
        return "";
    std::string text(static_cast<std::size_t>(file.st_size), '\0');
    const ssize_t got = pread(1, &text[0], text.size(), 0);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return text;
}

ProgramRun runWithArguments(const std::vector<std::string>& arguments) {
    ProgramRun run{-1, {}};
    run.output = captureStdout([&] { run.status = runProgramWith(arguments); });
    return run;
}

int runOnFullDevice(const std::vector<std::string>& arguments) {
    const int full = open("/dev/full", O_WRONLY);
    if (full < 0)
        return -1;
    int status;
    {
        StdoutRedirect redirect(full);
        status = runProgramWith(arguments);
    }
    close(full);
    return status;
}
