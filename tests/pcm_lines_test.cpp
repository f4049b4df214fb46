#include "report/pcm_lines.h"

#include "support/captured_output.h"

#include <gtest/gtest.h>

namespace {

const char* const lines[] = {
    "\t\tPCM, 11.025 kHz, mono,    8 bit\n", "\t\tPCM, 11.025 kHz, mono,   16 bit\n",
    "\t\tPCM, 11.025 kHz, stereo,  8 bit\n", "\t\tPCM, 11.025 kHz, stereo, 16 bit\n",
    "\t\tPCM, 22.050 kHz, mono,    8 bit\n", "\t\tPCM, 22.050 kHz, mono,   16 bit\n",
    "\t\tPCM, 22.050 kHz, stereo,  8 bit\n", "\t\tPCM, 22.050 kHz, stereo, 16 bit\n",
    "\t\tPCM, 44.100 kHz, mono,    8 bit\n", "\t\tPCM, 44.100 kHz, mono,   16 bit\n",
    "\t\tPCM, 44.100 kHz, stereo,  8 bit\n", "\t\tPCM, 44.100 kHz, stereo, 16 bit\n",
};

TEST(PrintPcmFlags, WritesTheClaimedLinesInRateThenLayoutOrder) {
    std::string all;
    for (const char* line : lines)
        all += line;
    const struct {
        DWORD bits;
        std::string block;
    } cases[] = {
        {0x000, ""},
        {0xFFF, all},
        {0x3000, ""}, // bits above the twelve are ignored
        {0xFFFFF000, ""},
        {0x006, std::string(lines[1]) + lines[2]}, // mono 16-bit before stereo 8-bit
        {0x001, lines[0]},
        {0x800, lines[11]},
        {0x9A5, std::string(lines[0]) + lines[1] + lines[6] + lines[7] + lines[8] + lines[11]},
    };
    for (const auto& c : cases)
        EXPECT_EQ("\n" + c.block + "\n", captureStdout([&] { printPcmFlags(c.bits); }))
            << std::hex << c.bits;
}

} // namespace
