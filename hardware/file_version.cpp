#include "hardware/file_version.h"

#include <cstdio>

namespace {

std::uint32_t dwordAt(const std::vector<unsigned char>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

constexpr std::size_t fixedInfoSize = 13 * 4;
constexpr std::uint32_t fixedInfoSignature = 0xFEEF04BD;

} // namespace

std::optional<FileVersion> fileVersionOf(const std::vector<unsigned char>& info) {
    if (info.size() < fixedInfoSize || dwordAt(info, 0) != fixedInfoSignature)
        return std::nullopt;
    const std::uint32_t high = dwordAt(info, 8);
    const std::uint32_t low = dwordAt(info, 12);
    FileVersion version;
    version.parts[0] = static_cast<std::uint16_t>(high >> 16);
    version.parts[1] = static_cast<std::uint16_t>(high);
    version.parts[2] = static_cast<std::uint16_t>(low >> 16);
    version.parts[3] = static_cast<std::uint16_t>(low);
    return version;
}

std::string versionText(const FileVersion& version) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned{version.parts[0]},
                  unsigned{version.parts[1]}, unsigned{version.parts[2]},
                  unsigned{version.parts[3]});
    return text;
}

std::optional<DriverDate> driverDateOf(std::uint64_t fileTime) {
    constexpr std::uint64_t ticksPerDay = 864000000000ull;
    // 1601-01-01 to 10000-01-01.
    constexpr std::int64_t lastDay = 3067671;
    const auto days1601 = static_cast<std::int64_t>(fileTime / ticksPerDay);
    if (fileTime == 0 || days1601 >= lastDay)
        return std::nullopt;
    // Days from 0000-03-01, then the civil calendar in 400-year eras.
    const std::int64_t days = days1601 + 584694;
    const std::int64_t era = days / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    DriverDate date;
    date.day = static_cast<unsigned>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    date.month = static_cast<unsigned>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    date.year = static_cast<int>(yearOfEra + era * 400 + (date.month <= 2 ? 1 : 0));
    return date;
}

std::string dateText(const DriverDate& date) {
    char text[24];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", date.year, date.month, date.day);
    return text;
}
