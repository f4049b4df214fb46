#include "platform/report_file.h"

#include "platform/windows_sdk.h"

#include <shellapi.h>

#include <cstring>
#include <new>
#include <string>

namespace {

// The argument as the wide command line has it, when it is the same argument
// the runtime split off: its ANSI form, with the runtime's own best-fit
// conversion, must equal what the runtime gave.
std::wstring wideArgument(int argc, const char* const argv[], int index) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return std::wstring();
    std::wstring found;
    if (count == argc) {
        const wchar_t* candidate = wide[index];
        char narrow[4 * MAX_PATH];
        const int made =
            WideCharToMultiByte(CP_ACP, 0, candidate, -1, narrow, sizeof narrow, nullptr, nullptr);
        if (made > 0 && std::strcmp(narrow, argv[index]) == 0)
            found = candidate;
    }
    LocalFree(wide);
    return found;
}

} // namespace

std::FILE* createReportFile(int argc, const char* const argv[], int index) {
    try {
        const std::wstring wide = wideArgument(argc, argv, index);
        if (!wide.empty())
            return _wfopen(wide.c_str(), L"w");
    } catch (const std::bad_alloc&) {
        // the ANSI name still serves
    }
    return std::fopen(argv[index], "w");
}
