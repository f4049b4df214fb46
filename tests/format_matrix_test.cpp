#include "exclusive/format_matrix.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using T = SampleType;

std::string shapeList(const std::vector<FormatShape>& shapes) {
    std::string text;
    for (const FormatShape& s : shapes) {
        char word[16];
        std::snprintf(word, sizeof word, s.extensible ? "%#x " : "plain ",
                      static_cast<unsigned>(s.channelMask));
        text += word;
    }
    return text;
}

TEST(FormatMatrix, ShapesInOrderOfPreference) {
    const struct {
        SampleType type;
        unsigned channels, mixChannels;
        DWORD mixMask;
        const char* shapes;
    } cases[] = {
        {T::Int16, 1, 2, 0x3, "0x4 0 plain "},
        {T::Uint8, 2, 2, 0x3, "0x3 0 plain "},
        {T::Float32, 2, 2, 0x3, "0x3 0 "},
        {T::Int16, 3, 0, 0, "0x7 0 "},
        {T::Int32, 4, 0, 0, "0x33 0 "},
        {T::Int32, 5, 0, 0, "0x37 0 "},
        {T::Int24, 6, 2, 0x3, "0x3f 0x60f 0 "},
        {T::Int24, 6, 6, 0x60f, "0x3f 0x60f 0 "},
        {T::Int24, 6, 6, 0x707, "0x3f 0x60f 0x707 0 "},
        {T::Int16, 2, 6, 0x3f, "0x3 0 plain "},
        {T::Int32, 7, 0, 0, "0x13f 0 "},
        {T::Uint8, 8, 0, 0, "0x63f 0xff 0 "},
        {T::Int24In32, 9, 9, 0, "0x1ff 0 "},
        {T::Int24In32, 18, 18, 0x3ffff, "0x3ffff 0 "},
        {T::Float64, 20, 20, 0xfffff, "0xfffff 0 "},
        {T::Int16, 24, 24, 0, "0 "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.shapes, shapeList(shapesFor(c.type, c.channels, c.mixChannels, c.mixMask)))
            << sampleTypeName(c.type) << " " << c.channels;
}

TEST(FormatMatrix, ChannelCountsFollowTheMixFormatUpTo32) {
    const struct {
        unsigned mix, last;
    } cases[] = {{0, 8}, {2, 8}, {8, 8}, {12, 12}, {32, 32}, {40, 32}};
    for (const auto& c : cases) {
        const std::vector<unsigned> counts = matrixChannelCounts(c.mix);
        ASSERT_EQ(c.last, counts.size()) << c.mix;
        EXPECT_EQ(1u, counts.front());
        EXPECT_EQ(c.last, counts.back());
    }
}

TEST(FormatMatrix, QueriesAreWellFormedAndReadBack) {
    for (std::size_t t = 0; t < sampleTypeCount; ++t)
        for (unsigned channels : {1u, 2u, 6u, 8u, 18u, 32u})
            for (const FormatShape& shape : shapesFor(SampleType(t), channels, 18, 0x3ffff))
                for (DWORD rate : {matrixRates[0], matrixRates[matrixRateCount - 1]}) {
                    const WAVEFORMATEXTENSIBLE f =
                        queryFormat(SampleType(t), channels, rate, shape);
                    const WAVEFORMATEX& h = f.Format;
                    EXPECT_EQ(h.nBlockAlign, channels * h.wBitsPerSample / 8);
                    EXPECT_EQ(h.nAvgBytesPerSec, rate * h.nBlockAlign);
                    EXPECT_EQ(shape.extensible ? 22 : 0, h.cbSize);
                    const auto r = readFormat(reinterpret_cast<const unsigned char*>(&f), sizeof f);
                    ASSERT_TRUE(r && r->sample);
                    EXPECT_EQ(SampleType(t), *r->sample);
                    EXPECT_EQ(channels, r->channels);
                    EXPECT_EQ(rate, r->rate);
                    EXPECT_EQ(shape.extensible, r->channelMask.has_value());
                    EXPECT_EQ(shape.channelMask, r->channelMask.value_or(0));
                }
}

TEST(FormatMatrix, ExtensibleBytesAsADriverReadsThem) {
    const WAVEFORMATEXTENSIBLE f = queryFormat(T::Int24In32, 2, 48000, {true, 0x3});
    const unsigned char expected[40] = {0xFE, 0xFF, 2,    0, 0x80, 0xBB, 0,  0,    0x00, 0xDC,
                                        0x05, 0,    8,    0, 32,   0,    22, 0,    24,   0,
                                        3,    0,    0,    0, 1,    0,    0,  0,    0,    0,
                                        0x10, 0,    0x80, 0, 0,    0xaa, 0,  0x38, 0x9b, 0x71};
    EXPECT_EQ(0, std::memcmp(expected, &f, sizeof expected));
}

// A header as another program may write it; `subformat` is the GUID's first
// field: 1 PCM, 3 float, anything else unknown.
WAVEFORMATEXTENSIBLE header(WORD tag, WORD bits, WORD valid = 0, DWORD subformat = 1,
                            WORD cbSize = 22) {
    WAVEFORMATEXTENSIBLE f = queryFormat(T::Int16, 2, 44100, {true, 0x3});
    f.Format.wFormatTag = tag;
    f.Format.wBitsPerSample = bits;
    f.Format.cbSize = cbSize;
    f.Samples.wValidBitsPerSample = valid;
    f.SubFormat.Data1 = subformat;
    return f;
}

TEST(FormatMatrix, ReadsWhatOthersWriteAndRefusesTooFewBytes) {
    const WORD pcm = WAVE_FORMAT_PCM, ext = WAVE_FORMAT_EXTENSIBLE;
    const int none = -1, unread = -2;
    const struct {
        WAVEFORMATEXTENSIBLE format;
        std::size_t size;
        int sample;
    } cases[] = {
        {header(pcm, 8), 18, int(T::Uint8)},
        {header(pcm, 24), 18, int(T::Int24)},
        {header(pcm, 12), 18, none},
        {header(WAVE_FORMAT_IEEE_FLOAT, 64), 18, int(T::Float64)},
        {header(2, 4), 18, none},
        {header(pcm, 16), 17, unread},
        {header(ext, 32), 40, int(T::Int32)},
        {header(ext, 32, 24), 40, int(T::Int24In32)},
        {header(ext, 24, 20), 40, none},
        {header(ext, 64, 0, 3), 40, int(T::Float64)},
        {header(ext, 32, 24, 3), 40, none},
        {header(ext, 16, 16, 2), 40, none},
        {header(ext, 16, 16), 39, unread},
        {header(ext, 16, 16, 1, 21), 40, unread},
    };
    for (const auto& c : cases) {
        const auto r = readFormat(reinterpret_cast<const unsigned char*>(&c.format), c.size);
        EXPECT_EQ(c.sample, !r          ? unread
                            : r->sample ? int(*r->sample)
                                        : none)
            << c.format.Format.wFormatTag << " " << c.format.Format.wBitsPerSample << " " << c.size;
        if (r) {
            EXPECT_EQ(44100u, r->rate);
            EXPECT_EQ(2u, r->channels);
            EXPECT_EQ(c.format.Format.wFormatTag == ext, r->channelMask == 0x3u);
        }
    }
}

} // namespace
