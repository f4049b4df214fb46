#include "support/captured_output.h"

#include "app/run_program.h"
#include "platform/code_page.h"

#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Points file descriptor 1 (or `target`) at `fd` for the life of the object.
class StdoutRedirect {
public:
    explicit StdoutRedirect(int fd, int target = 1) : target(target) {
        flushAll();
        saved = dup(target);
        dup2(fd, target);
    }
    ~StdoutRedirect() {
        flushAll();
        dup2(saved, target);
        close(saved);
        // A failed write leaves both streams in error; the next run starts clean.
        std::clearerr(stdout);
        std::cout.clear();
    }
    StdoutRedirect(const StdoutRedirect&) = delete;
    StdoutRedirect& operator=(const StdoutRedirect&) = delete;

private:
    static void flushAll() {
        std::cout.flush();
        std::cerr.flush();
        std::fflush(stdout);
        std::fflush(stderr);
    }
    int target;
    int saved;
};

std::string readBack(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    std::fclose(file);
    return text;
}

int runProgramWith(const std::vector<std::string>& arguments,
                   const std::function<void()>& before = {},
                   const std::function<void()>& after = {}) {
    std::vector<const char*> argv{"sndscout"};
    for (const std::string& a : arguments)
        argv.push_back(a.c_str());
    argv.push_back(nullptr);
    if (before)
        before();
    const int status = runProgram(static_cast<int>(argv.size() - 1), argv.data());
    if (after)
        after();
    return status;
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
    return readBack(file);
}

FullRun runCapturingErrors(const std::vector<std::string>& arguments,
                           const std::function<void()>& before,
                           const std::function<void()>& after) {
    FullRun run{-1, "<no temporary file>", "<no temporary file>"};
    std::FILE* output = std::tmpfile();
    std::FILE* errors = std::tmpfile();
    if (output == nullptr || errors == nullptr) {
        if (output != nullptr)
            std::fclose(output);
        if (errors != nullptr)
            std::fclose(errors);
        return run;
    }
    {
        StdoutRedirect outputRedirect(fileno(output));
        StdoutRedirect errorRedirect(fileno(errors), 2);
        run.status = runProgramWith(arguments, before, after);
    }
    run.output = readBack(output);
    run.errors = readBack(errors);
    return run;
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

std::u16string onConsole(const std::string& bytes) {
    std::u16string text;
    for (const char16_t c : ansiToUtf16(bytes.data(), bytes.size())) {
        if (c == u'\n')
            text += u'\r';
        text += c;
    }
    return text;
}
