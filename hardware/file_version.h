// Versions and dates as Windows keeps them: a file's fixed version record and
// a driver's FILETIME date.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct FileVersion {
    std::uint16_t parts[4] = {};
};

// The version in a VS_FIXEDFILEINFO as a resource holds it; nothing when the
// record is short or lacks its signature.
std::optional<FileVersion> fileVersionOf(const std::vector<unsigned char>& info);
// "10.0.19041.1566".
std::string versionText(const FileVersion& version);

struct DriverDate {
    int year = 0;
    unsigned month = 0;
    unsigned day = 0;
};
// The day a FILETIME falls on; nothing for none (0) or past the year 9999.
std::optional<DriverDate> driverDateOf(std::uint64_t fileTime);
// "2021-08-05".
std::string dateText(const DriverDate& date);
