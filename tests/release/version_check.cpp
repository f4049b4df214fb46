// Reads the version resource of the program named first, as Explorer's Details
// tab does, and checks it against the version and texts CMake passes after it,
// all from project(). The program's own version header must agree too.
//   version_check PROGRAM.exe VERSION DESCRIPTION PRODUCT COPYRIGHT
#include "app/version.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int failures = 0;

void check(bool good, const char* what, const std::string& got, const std::string& expected) {
    if (good) {
        std::printf("ok   %s: %s\n", what, got.c_str());
    } else {
        std::printf("FAIL %s: \"%s\", expected \"%s\"\n", what, got.c_str(), expected.c_str());
        ++failures;
    }
}

std::string dotted(DWORD high, DWORD low) {
    return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
           std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
}

// "1.1.0" or "1.1.0.7" into the four numbers of the fixed part; project()
// leaves out the fourth, which is then 0.
bool readVersion(const std::string& text, unsigned (&parts)[4]) {
    std::size_t count = 0;
    std::size_t start = 0;
    while (count < 4) {
        const std::size_t end = text.find('.', start);
        const std::string part = text.substr(start, end == std::string::npos ? end : end - start);
        if (part.empty() || part.size() > 5 || part.find_first_not_of("0123456789") != part.npos)
            return false;
        parts[count] = static_cast<unsigned>(std::stoul(part));
        if (parts[count++] > 0xFFFF)
            return false;
        if (end == std::string::npos)
            return count >= 3;
        start = end + 1;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 6) {
        std::printf("usage: version_check PROGRAM.exe VERSION DESCRIPTION PRODUCT COPYRIGHT\n");
        return 2;
    }
    const char* program = argv[1];
    const std::string version = argv[2];

    check(version == programVersion, "app/version.h", programVersion, version);

    unsigned parts[4] = {0, 0, 0, 0};
    if (!readVersion(version, parts)) {
        std::printf("FAIL cannot read the version \"%s\"\n", version.c_str());
        return 1;
    }
    const std::string fourPart = std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
                                 std::to_string(parts[2]) + "." + std::to_string(parts[3]);

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(program, &ignored);
    if (size == 0) {
        std::printf("FAIL %s has no version resource (error %lu)\n", program,
                    static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(program, 0, size, data.data())) {
        std::printf("FAIL cannot read the version resource of %s\n", program);
        return 1;
    }

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
        length < sizeof *fixed || fixed->dwSignature != 0xFEEF04BD) {
        std::printf("FAIL the version resource has no fixed part\n");
        return 1;
    }
    const std::string fileNumbers = dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    const std::string productNumbers = dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
    check(fileNumbers == fourPart, "file version number", fileNumbers, fourPart);
    check(productNumbers == fourPart, "product version number", productNumbers, fourPart);

    // The texts are kept under the first language and code page the resource names.
    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translation = nullptr;
    if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
        length < sizeof *translation) {
        std::printf("FAIL the version resource names no language\n");
        return 1;
    }
    char block[64];
    std::snprintf(block, sizeof block, "\\StringFileInfo\\%04x%04x\\", translation->language,
                  translation->codePage);

    const struct {
        const char* name;
        std::string expected;
    } texts[] = {
        {"FileVersion", version},     {"ProductVersion", version},
        {"FileDescription", argv[3]}, {"ProductName", argv[4]},
        {"LegalCopyright", argv[5]},  {"OriginalFilename", std::string(argv[4]) + ".exe"},
    };
    for (const auto& text : texts) {
        char* value = nullptr;
        const std::string path = block + std::string(text.name);
        const bool found =
            VerQueryValueA(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) &&
            value != nullptr;
        const std::string got = found ? std::string(value) : std::string("(missing)");
        check(found && got == text.expected, text.name, got, text.expected);
    }
    return failures == 0 ? 0 : 1;
}
