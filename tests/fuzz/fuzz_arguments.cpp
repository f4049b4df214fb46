// Runs the whole program with argument vectors from the input against one small
// fixed machine. Whatever the arguments, the program shows the banner and then
// exactly the report or usage text of the mode it chose (the watch: exactly its
// lines, with no banner), and succeeds; with a
// json word among them, it writes exactly the JSON document of the mode the
// other arguments choose, or the usage text on standard error and status 2.
//
// The input: a first byte whose value % 8 is argc, program name included; then
// the arguments, separated by NUL bytes. Arguments the input runs out of before
// argc are empty strings. A file the arguments name after "out" is always one
// scratch file here, whatever the input says; the report must be there, and
// nothing on standard output.
#include "app/command_line.h"
#include "app/console_text.h"
#include "app/run_program.h"
#include "support/captured_output.h"
#include "support/report_shape.h"
#include "support/simulated_setup.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz_arguments: %s\n", what.c_str());
    std::abort();
}

// Two devices each way, codec formats with and without extra bytes, one tag
// without a name: the slow and the quick report differ, and neither is empty;
// the exclusive and the verify report differ too.
void furnish() {
    resetEverything();
    simulated::Machine& m = simulated::machine();
    m.inputs = {device("Line In", 1, WAVE_FORMAT_1M08 | WAVE_FORMAT_4S16),
                device("Microphone", 2, WAVE_FORMAT_2M16)};
    m.outputs = {device("Speakers", 2, 0xFFF), device("Headphones", 300, 0)};
    m.inputs[0].accepts = {pcm(8000, 8, 1), pcm(44100, 16, 2)};
    m.outputs[0].accepts = {pcm(44100, 16, 2), formatHeader(2, 22050, 4, 1)};
    m.outputs[1].refusal = MMSYSERR_NOERROR; // takes everything
    offerFormat(pcm(44100, 16, 2));
    offerFormat(pcm(8000, 8, 1), ACM_FORMATENUMF_INPUT);
    offerFormat(formatHeader(2, 22050, 4, 1, 32));
    offerFormat(formatHeader(0x31, 8000, 0, 1, 2), ACM_FORMATENUMF_OUTPUT);
    nameTag(WAVE_FORMAT_PCM, "PCM");
    nameTag(2, "Microsoft ADPCM");
    linkDevice(m.outputs[0], u"{0.0.0.00000000}.{speakers}");
    simulated::Endpoint& speakers = addEndpoint('O', u"{0.0.0.00000000}.{speakers}", u"Speakers");
    speakers.mixFormat = mixFormatBytes(48000, 2, 0x3);
    speakers.exclusive = productProfile({SampleType::Int16}, {2}, {44100, 48000});
    // Ctrl+C as the watch starts, whatever time it was given.
    simulated::Happening interrupt;
    interrupt.interrupt = true;
    m.notifications.script = {interrupt};
}

// The scratch file every "out" word is given.
const std::string& reportFile() {
    static const std::string path = [] {
        char folder[] = "/tmp/sndscout-fuzz-XXXXXX";
        if (mkdtemp(folder) == nullptr)
            fail("no scratch folder");
        return std::string(folder) + "/report";
    }();
    return path;
}

// What the run left in it, which is then gone.
std::string takeReportFile() {
    std::string text;
    if (std::FILE* file = std::fopen(reportFile().c_str(), "rb")) {
        char chunk[4096];
        std::size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
            text.append(chunk, got);
        std::fclose(file);
    }
    std::remove(reportFile().c_str());
    return text;
}

ProgramRun run(int argc, const char* const argv[]) {
    furnish();
    ProgramRun result{-1, {}};
    result.output = captureStdout([&] { result.status = runProgram(argc, argv); });
    resetEverything();
    return result;
}

// The output of each mode, from one run with arguments that plainly select it.
const std::string& expectedOutput(RunMode mode) {
    static const std::string outputs[] = {
        [] {
            const char* const argv[] = {"sndscout", nullptr};
            return run(1, argv).output;
        }(),
        [] {
            const char* const argv[] = {"sndscout", "quick", nullptr};
            return run(2, argv).output;
        }(),
        [] {
            const char* const argv[] = {"sndscout", "exclusive", nullptr};
            return run(2, argv).output;
        }(),
        [] {
            const char* const argv[] = {"sndscout", "?", nullptr};
            return run(2, argv).output;
        }(),
        [] {
            const char* const argv[] = {"sndscout", "watch", nullptr};
            return run(2, argv).output;
        }(),
        [] {
            const char* const argv[] = {"sndscout", "verify", nullptr};
            return run(2, argv).output;
        }(),
    };
    return outputs[static_cast<int>(mode)];
}

FullRun runJson(const std::vector<std::string>& arguments) {
    furnish();
    const FullRun result = runCapturingErrors(arguments);
    resetEverything();
    return result;
}

// The same for the JSON document of each mode but the usage text.
const FullRun& expectedJson(RunMode mode) {
    // In the order of RunMode; the usage text has no document.
    static const FullRun outputs[] = {
        runJson({"json"}),          runJson({"quick", "json"}),  runJson({"exclusive", "json"}), {},
        runJson({"watch", "json"}), runJson({"verify", "json"}),
    };
    return outputs[static_cast<int>(mode)];
}

const char* modeName(RunMode mode) {
    switch (mode) {
    case RunMode::Slow:
        return "slow";
    case RunMode::Quick:
        return "quick";
    case RunMode::Exclusive:
        return "exclusive";
    case RunMode::Watch:
        return "watch";
    case RunMode::Verify:
        return "verify";
    case RunMode::Usage:
        break;
    }
    return "usage";
}

// With a json word the mode comes from the other arguments, the program name
// included as it stands.
void checkJsonRun(int argc, const char* const argv[], const std::vector<const char*>& rest,
                  bool toFile) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(argv[i]);
    const RunMode mode = chooseMode(static_cast<int>(rest.size()) - 1, rest.data());
    FullRun result = runJson(arguments);
    if (toFile && mode != RunMode::Usage) {
        if (!result.output.empty())
            fail("json into a file wrote to standard output");
        result.output = takeReportFile();
    }
    if (mode == RunMode::Usage) {
        if (result.status != 2 || !result.output.empty() || result.errors != usageText)
            fail("json without a mode: status " + std::to_string(result.status) + ", output \"" +
                 result.output + "\", errors \"" + result.errors + "\"");
        return;
    }
    const FullRun& expected = expectedJson(mode);
    if (result.status != 0 || !result.errors.empty())
        fail(std::string(modeName(mode)) + " json: status " + std::to_string(result.status) +
             ", errors \"" + result.errors + "\"");
    if (result.output != expected.output)
        fail(std::string("output differs from the ") + modeName(mode) + " json run's");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const int argc = data[0] % 8;
    // Each argument in a block of exactly its own size, so a read past its NUL
    // is caught.
    std::vector<std::unique_ptr<char[]>> pieces;
    std::size_t at = 1;
    for (int i = 0; i < argc; ++i) {
        std::size_t end = at;
        while (end < size && data[end] != 0)
            ++end;
        const std::size_t length = end - at;
        pieces.emplace_back(new char[length + 1]);
        if (length > 0)
            std::memcpy(pieces.back().get(), data + at, length);
        pieces.back()[length] = '\0';
        at = end + 1;
    }
    std::vector<const char*> argv;
    for (const auto& p : pieces)
        argv.push_back(p.get());
    argv.push_back(nullptr);

    // The json words and each "out" with the name after it are set aside; the
    // rest chooses the mode.
    std::vector<const char*> rest{argv[0]};
    bool json = false;
    bool toFile = false;
    for (int i = 1; i < argc; ++i) {
        if (isOutputWord(argv[i]) && i + 1 < argc && argv[i + 1][0] != '\0') {
            argv[++i] = reportFile().c_str();
            toFile = true;
        } else if (isJsonWord(argv[i])) {
            json = true;
        } else {
            rest.push_back(argv[i]);
        }
    }
    rest.push_back(nullptr);
    if (json) {
        checkJsonRun(argc, argv.data(), rest, toFile);
        return 0;
    }

    const RunMode mode = chooseMode(static_cast<int>(rest.size()) - 1, rest.data());
    const std::string& expected = expectedOutput(mode);
    ProgramRun result = run(argc, argv.data());
    if (toFile) {
        if (!result.output.empty())
            fail("a report into a file wrote to standard output");
        result.output = takeReportFile();
    }
    if (result.status != 0)
        fail("exit status " + std::to_string(result.status));
    // The exclusive report's blocks are not format lines; its device lines are
    // still the others'.
    ParsedReport parsed;
    const std::string problem =
        mode == RunMode::Exclusive || mode == RunMode::Watch || mode == RunMode::Verify
            ? std::string()
            : parseReport(result.output, &parsed);
    if (!problem.empty())
        fail(std::string(modeName(mode)) + " run: " + problem);
    if (parsed.usage != (mode == RunMode::Usage))
        fail(std::string("chose ") + modeName(mode) + " but the output says otherwise");
    // The arguments choose the mode and nothing else.
    if (result.output != expected)
        fail(std::string("output differs from the ") + modeName(mode) + " run's");
    return 0;
}
