#include "report/manufacturer_names.h"

#include <gtest/gtest.h>

namespace {

TEST(ManufacturerName, LooksUpTheTableAndKnowsItsEnd) {
    const struct {
        WORD id;
        const char* name;
    } cases[] = {
        {0, ""},
        {1, "Microsoft Corporation"},
        {13, "Hewlett-Packard Company"},
        {56, "Audio Processing Technology"},
        {74, "Audio Processing Technology"},
        {106, "ISOLUTION  B.V."},
        {122, "Unknown"},
        {123, "Unknown"},
        {124, "Unknown"},
        {125, "ENSONIQ Corporation"},
        {219, "EES Technik f\xFCr Musik GmbH"}, // Windows-1252, one byte
        {253, "Hewlett Packard Company"},
        {255, "Quick Audio, GbR"},
        {266, "Algo Vision Systems GmbH"},
        {267, "Unknown"},
        {65535, "Unknown"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(c.name, manufacturerName(c.id)) << "id " << c.id;
}

TEST(ManufacturerName, EveryKnownIdentifierHasPrintableText) {
    for (unsigned id = 1; id < 267; ++id) {
        const std::string name = manufacturerName(static_cast<WORD>(id));
        EXPECT_FALSE(name.empty()) << id;
        for (unsigned char c : name)
            EXPECT_TRUE(c >= 0x20 && c != 0x7F) << id;
    }
}

} // namespace
