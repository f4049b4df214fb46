#include "catalogue/format_catalogue.h"

#include "support/simulated_test.h"

#include <cstring>
#include <optional>

namespace {

constexpr DWORD input = ACM_FORMATENUMF_INPUT;
constexpr DWORD output = ACM_FORMATENUMF_OUTPUT;
constexpr WORD adpcm = 2;

bool sameHeader(const FormatHeader& a, const FormatHeader& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::vector<FormatHeader> catalogue() {
    std::vector<FormatHeader> listed;
    ListCursor cursor(&knownFormats);
    while (cursor.hasMore())
        if (const void* record = cursor.next())
            listed.push_back(*static_cast<const FormatHeader*>(record));
    return listed;
}

FormatHeader withoutExtra(FormatHeader h) {
    h.cbSize = 0;
    return h;
}

using FormatCatalogue = SimulatedTest;

TEST_F(FormatCatalogue, KeepsEachHeaderOnceWithNoExtraBytes) {
    const FormatHeader mono = pcm(8000, 8, 1);
    FormatHeader shortBlock = formatHeader(adpcm, 8000, 4, 1, 32);
    FormatHeader longBlock = shortBlock;
    longBlock.nBlockAlign = 512;
    FormatHeader moreExtra = shortBlock;
    moreExtra.cbSize = 2;
    offerFormat(mono, input);
    offerFormat(mono, input);  // twice in one enumeration
    offerFormat(mono, output); // and again in the other
    offerFormat(shortBlock);
    offerFormat(moreExtra); // differs only in cbSize: the same entry
    offerFormat(longBlock); // differs in nBlockAlign: its own entry
    collectCodecFormats();
    const std::vector<FormatHeader> listed = catalogue();
    ASSERT_EQ(3u, listed.size());
    EXPECT_TRUE(sameHeader(mono, listed[0]));
    EXPECT_TRUE(sameHeader(withoutExtra(shortBlock), listed[1]));
    EXPECT_TRUE(sameHeader(withoutExtra(longBlock), listed[2]));
}

TEST_F(FormatCatalogue, BothEnumerationsRunAndContribute) {
    offerFormat(pcm(8000, 8, 1), input);
    offerFormat(pcm(96000, 24, 2), output); // offered only for output
    collectCodecFormats();
    EXPECT_EQ((std::vector<MMRESULT>{MMSYSERR_NOERROR, MMSYSERR_NOERROR}),
              simulated::calls().enumerationResults);
    ASSERT_EQ(2u, catalogue().size());
    EXPECT_TRUE(sameHeader(pcm(96000, 24, 2), catalogue()[1]));
}

TEST_F(FormatCatalogue, BufferHoldsTheHeaderWhateverTheMetricSays) {
    constexpr DWORD stack = 1024;          // the buffer every enumeration gets at least
    constexpr DWORD largest = 18 + 0xFFFF; // a header with all the extra bytes cbSize counts
    const struct {
        const char* name;
        MMRESULT metricsResult;
        std::optional<DWORD> reported; // unset: the largest format offered
        WORD extra;                    // bytes after the header of the one format offered
        bool heapRefused;
        DWORD told; // the buffer size both enumerations are given
        bool listed;
    } cases[] = {
        // the manager still knows its largest format, and refuses a buffer below it
        {"metric fails", MMSYSERR_ERROR, {}, 0, false, stack, true},
        {"metric fails, a format with extra bytes", MMSYSERR_ERROR, {}, 32, false, stack, true},
        {"metric says 0", MMSYSERR_NOERROR, 0, 0, false, stack, true},
        {"metric says 10", MMSYSERR_NOERROR, 10, 0, false, stack, true},
        {"metric says 18", MMSYSERR_NOERROR, 18, 0, false, stack, true},
        {"extra bytes beyond the metric", MMSYSERR_NOERROR, 18, 2, false, stack, true},
        {"a format larger than the buffer", MMSYSERR_NOERROR, 18, 2000, false, stack, false},
        {"the stack buffer exactly", MMSYSERR_NOERROR, {}, stack - 18, false, stack, true},
        {"one byte past the stack buffer",
         MMSYSERR_NOERROR,
         {},
         stack - 17,
         false,
         stack + 1,
         true},
        {"large format", MMSYSERR_NOERROR, 6000, 5000, false, 6000, true},
        // the stack buffer is offered all the same, and this manager refuses it
        {"no memory for a large format", MMSYSERR_NOERROR, 6000, 5000, true, stack, false},
        // no format can need it: the buffer stops at the largest one could
        {"metric says 4 GB", MMSYSERR_NOERROR, 0xFFFFFFFF, 0, false, largest, false},
        {"all the extra bytes cbSize can count",
         MMSYSERR_NOERROR,
         {},
         0xFFFF,
         false,
         largest,
         true},
    };
    for (const auto& c : cases) {
        resetEverything();
        simulated::machine().metricsResult = c.metricsResult;
        simulated::machine().largestFormatSize = c.reported;
        offerFormat(formatHeader(adpcm, 22050, 4, 2, c.extra));
        if (c.heapRefused)
            simulated::failAllocation(1);
        collectCodecFormats();
        EXPECT_EQ((std::vector<DWORD>{c.told, c.told}), simulated::calls().enumerationBuffers)
            << c.name;
        EXPECT_EQ(c.listed ? 1u : 0u, catalogue().size()) << c.name;
    }
}

TEST_F(FormatCatalogue, SortsByTagRateBitsChannels) {
    const FormatHeader ordered[] = {
        pcm(8000, 8, 1),
        pcm(8000, 8, 2),
        pcm(8000, 16, 1),
        pcm(11025, 8, 1),
        pcm(192000, 16, 6),
        pcm(1000000, 8, 0),
        formatHeader(adpcm, 8000, 4, 1),
        formatHeader(0x55, 1, 0, 1),
        formatHeader(0xFFFF, 8000, 8, 1),
    };
    // offered in a scrambled order
    for (int i : {5, 8, 2, 0, 7, 4, 1, 6, 3})
        offerFormat(ordered[i]);
    collectCodecFormats();
    sortKnownFormats();
    const std::vector<FormatHeader> listed = catalogue();
    ASSERT_EQ(std::size(ordered), listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i)
        EXPECT_TRUE(sameHeader(ordered[i], listed[i])) << "position " << i;
}

TEST_F(FormatCatalogue, CompareFormatsLooksAtFourFieldsOnly) {
    const FormatHeader base = formatHeader(adpcm, 22050, 4, 2);
    FormatHeader other = base;
    other.nAvgBytesPerSec = 1;
    other.nBlockAlign = 2048;
    other.cbSize = 32;
    EXPECT_EQ(0, compareFormats(base, other));
    EXPECT_EQ(-1, compareFormats(pcm(0xFFFFFFFF, 8, 1), formatHeader(adpcm, 0, 0, 0)));
    EXPECT_EQ(1, compareFormats(pcm(0x80000000, 8, 1), pcm(0x7FFFFFFF, 8, 1)));
    EXPECT_EQ(1, compareFormats(pcm(8000, 0x8000, 1), pcm(8000, 0x7FFF, 2)));
    EXPECT_EQ(-1, compareFormats(pcm(8000, 8, 1), pcm(8000, 8, 0xFFFF)));
}

TEST_F(FormatCatalogue, FormatsThatCompareEqualStayAdjacent) {
    FormatHeader a = formatHeader(adpcm, 8000, 4, 1);
    FormatHeader b = a;
    b.nBlockAlign = 1024;
    offerFormat(a);
    offerFormat(pcm(44100, 16, 2));
    offerFormat(formatHeader(adpcm, 11025, 4, 1));
    offerFormat(b);
    collectCodecFormats();
    sortKnownFormats();
    const std::vector<FormatHeader> listed = catalogue();
    ASSERT_EQ(4u, listed.size());
    EXPECT_TRUE((sameHeader(a, listed[1]) && sameHeader(b, listed[2])) ||
                (sameHeader(b, listed[1]) && sameHeader(a, listed[2])));
}

TEST_F(FormatCatalogue, TagNamesAreAskedOnceAndMayBeMissing) {
    nameTag(WAVE_FORMAT_PCM, "PCM");
    nameTag(adpcm, "Microsoft ADPCM");
    simulated::FormatTag refused;
    refused.tag = 0x31;
    refused.detailsResult = ACMERR_NOTPOSSIBLE;
    simulated::machine().tags.push_back(refused);
    for (WORD tag : {WAVE_FORMAT_PCM, adpcm, WORD(0x31), WORD(0x99)})
        for (WORD bits : {8, 16, 24})
            offerFormat(formatHeader(tag, 8000, bits, 1));
    collectCodecFormats();
    EXPECT_EQ(1u, simulated::calls().tagDetailsAsked[WAVE_FORMAT_PCM]);
    EXPECT_EQ(1u, simulated::calls().tagDetailsAsked[adpcm]);
    // a tag with no name is asked again at each of its formats, in each enumeration
    EXPECT_EQ(6u, simulated::calls().tagDetailsAsked[0x31]);
    EXPECT_STREQ("PCM", formatTagName(WAVE_FORMAT_PCM));
    EXPECT_STREQ("Microsoft ADPCM", formatTagName(adpcm));
    EXPECT_STREQ("???", formatTagName(0x31));
    EXPECT_STREQ("???", formatTagName(0x99));
    EXPECT_STREQ("???", formatTagName(0x1234));
    EXPECT_EQ(12u, catalogue().size()); // their formats are catalogued all the same
}

TEST_F(FormatCatalogue, TagNameThatFillsItsFieldIsKeptWhole) {
    const char full[] = "0123456789abcdef0123456789abcdef0123456789abcdefXYZ";
    nameTag(adpcm, full); // cut to the field's 48 bytes, no terminator
    offerFormat(formatHeader(adpcm, 8000, 4, 1));
    collectCodecFormats();
    EXPECT_EQ(std::string(full, 48), formatTagName(adpcm));
}

TEST_F(FormatCatalogue, EmptyCatalogueSortsToEmpty) {
    collectCodecFormats();
    sortKnownFormats();
    EXPECT_EQ(0, knownFormats.size());
}

} // namespace
