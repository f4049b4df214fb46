// Runs the whole program with argument vectors from the input against one small
// fixed machine. Whatever the arguments, the program shows the banner and then
// exactly the report or usage text of the mode it chose, and succeeds.
//
// The input: a first byte whose value % 8 is argc, program name included; then
// the arguments, separated by NUL bytes. Arguments the input runs out of before
// argc are empty strings.
#include "app/command_line.h"
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
// without a name: the slow and the quick report differ, and neither is empty.
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
            const char* const argv[] = {"sndscout", "?", nullptr};
            return run(2, argv).output;
        }(),
    };
    return outputs[static_cast<int>(mode)];
}

const char* modeName(RunMode mode) {
    return mode == RunMode::Slow ? "slow" : mode == RunMode::Quick ? "quick" : "usage";
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

    const RunMode mode = chooseMode(argc, argv.data());
    const std::string& expected = expectedOutput(mode);
    const ProgramRun result = run(argc, argv.data());
    if (result.status != 0)
        fail("exit status " + std::to_string(result.status));
    ParsedReport parsed;
    const std::string problem = parseReport(result.output, &parsed);
    if (!problem.empty())
        fail(std::string(modeName(mode)) + " run: " + problem);
    if (parsed.usage != (mode == RunMode::Usage))
        fail(std::string("chose ") + modeName(mode) + " but the output says otherwise");
    // The arguments choose the mode and nothing else.
    if (result.output != expected)
        fail(std::string("output differs from the ") + modeName(mode) + " run's");
    return 0;
}
