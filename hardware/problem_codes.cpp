#include "hardware/problem_codes.h"

namespace {

struct Problem {
    std::uint32_t code;
    const char* meaning;
};

const Problem problems[] = {
    {0, "working properly"},
    {1, "not configured correctly"},
    {3, "driver corrupted, or memory is short"},
    {10, "cannot start"},
    {12, "not enough free resources"},
    {14, "needs a restart"},
    {16, "cannot identify all its resources"},
    {18, "drivers need reinstalling"},
    {19, "registry configuration damaged"},
    {21, "being removed"},
    {22, "disabled"},
    {24, "not present, not working, or lacking drivers"},
    {28, "no driver"},
    {29, "disabled by the firmware"},
    {31, "Windows cannot load its drivers"},
    {32, "its driver's service is disabled"},
    {33, "cannot determine its resources"},
    {34, "cannot determine its settings"},
    {35, "firmware lacks information for it"},
    {36, "interrupt conflict"},
    {37, "driver failed to initialize"},
    {38, "a previous instance of its driver is still loaded"},
    {39, "driver corrupted or missing"},
    {40, "driver's registry entry is missing"},
    {41, "driver loaded but cannot find the hardware"},
    {42, "a duplicate device is already running"},
    {43, "stopped after reporting problems"},
    {44, "shut down by a program or service"},
    {45, "not connected"},
    {46, "Windows is shutting down"},
    {47, "prepared for safe removal"},
    {48, "blocked from starting for known problems"},
    {49, "system registry too large"},
    {50, "cannot apply all its properties"},
    {51, "waiting on another device"},
    {52, "driver signature cannot be verified"},
    {53, "reserved for the kernel debugger"},
    {54, "failed and is being reset"},
    {56, "class configuration still being set up"},
};

} // namespace

const char* problemMeaning(std::uint32_t code) {
    for (const Problem& p : problems)
        if (p.code == code)
            return p.meaning;
    return nullptr;
}
