#include "exclusive/format_matrix.h"

#include <algorithm>
#include <cstring>

namespace {

// The speaker positions of a channel mask, in their bit order.
constexpr DWORD frontLeft = 0x1;
constexpr DWORD frontRight = 0x2;
constexpr DWORD frontCentre = 0x4;
constexpr DWORD lowFrequency = 0x8;
constexpr DWORD backLeft = 0x10;
constexpr DWORD backRight = 0x20;
constexpr DWORD frontLeftOfCentre = 0x40;
constexpr DWORD frontRightOfCentre = 0x80;
constexpr DWORD backCentre = 0x100;
constexpr DWORD sideLeft = 0x200;
constexpr DWORD sideRight = 0x400;
constexpr unsigned speakerPositions = 18; // front left to top back right

constexpr DWORD stereo = frontLeft | frontRight;
constexpr DWORD fivePointOne = stereo | frontCentre | lowFrequency | backLeft | backRight;
constexpr DWORD fivePointOneSide = stereo | frontCentre | lowFrequency | sideLeft | sideRight;
constexpr DWORD sevenPointOne = fivePointOne | sideLeft | sideRight;
constexpr DWORD sevenPointOneWide = fivePointOne | frontLeftOfCentre | frontRightOfCentre;

// The subformats of an extensible header. Written out here so that both builds
// read the same bytes, whatever the SDK at hand declares.
const GUID pcmSubformat = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
const GUID floatSubformat = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

bool sameGuid(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

struct Layout {
    SampleType type;
    WORD containerBits;
    WORD validBits;
    bool isFloat;
};

const Layout layouts[sampleTypeCount] = {
    {SampleType::Uint8, 8, 8, false},    {SampleType::Int16, 16, 16, false},
    {SampleType::Int24, 24, 24, false},  {SampleType::Int24In32, 32, 24, false},
    {SampleType::Int32, 32, 32, false},  {SampleType::Float32, 32, 32, true},
    {SampleType::Float64, 64, 64, true},
};

const Layout& layoutOf(SampleType type) {
    return layouts[static_cast<std::size_t>(type)];
}

std::optional<SampleType> typeOf(bool isFloat, WORD containerBits, WORD validBits) {
    for (const Layout& l : layouts)
        if (l.isFloat == isFloat && l.containerBits == containerBits && l.validBits == validBits)
            return l.type;
    return std::nullopt;
}

void addShape(std::vector<FormatShape>& shapes, FormatShape shape) {
    if (std::find(shapes.begin(), shapes.end(), shape) == shapes.end())
        shapes.push_back(shape);
}

} // namespace

const char* sampleTypeName(SampleType type) {
    static const char* const names[sampleTypeCount] = {"uint8", "int16",   "int24",  "int24in32",
                                                       "int32", "float32", "float64"};
    return names[static_cast<std::size_t>(type)];
}

const DWORD matrixRates[matrixRateCount] = {8000,   11025,  16000,  22050,  24000, 32000,
                                            44100,  48000,  64000,  88200,  96000, 176400,
                                            192000, 352800, 384000, 705600, 768000};

std::vector<unsigned> matrixChannelCounts(unsigned mixChannels) {
    const unsigned last = std::min(std::max(mixChannels, 8u), 32u);
    std::vector<unsigned> counts;
    for (unsigned c = 1; c <= last; ++c)
        counts.push_back(c);
    return counts;
}

bool operator==(const FormatShape& a, const FormatShape& b) {
    return a.extensible == b.extensible && a.channelMask == b.channelMask;
}

bool operator!=(const FormatShape& a, const FormatShape& b) {
    return !(a == b);
}

DWORD standardChannelMask(unsigned channels) {
    switch (channels) {
    case 1:
        return frontCentre;
    case 2:
        return stereo;
    case 3:
        return stereo | frontCentre;
    case 4:
        return stereo | backLeft | backRight;
    case 5:
        return stereo | frontCentre | backLeft | backRight;
    case 6:
        return fivePointOne;
    case 7:
        return fivePointOne | backCentre;
    case 8:
        return sevenPointOne;
    default:
        // Past 7.1 no layout is usual: take the positions in order while they last.
        return channels <= speakerPositions ? (DWORD{1} << channels) - 1 : 0;
    }
}

std::vector<FormatShape> shapesFor(SampleType type, unsigned channels, unsigned mixChannels,
                                   DWORD mixMask) {
    std::vector<FormatShape> shapes;
    const DWORD standard = standardChannelMask(channels);
    if (standard != 0)
        shapes.push_back({true, standard});
    if (channels == 6)
        addShape(shapes, {true, fivePointOneSide});
    if (channels == 8)
        addShape(shapes, {true, sevenPointOneWide});
    if (mixChannels == channels && mixMask != 0)
        addShape(shapes, {true, mixMask});
    addShape(shapes, {true, 0});
    // Some drivers take the oldest header for these and refuse the extensible one.
    if ((type == SampleType::Uint8 || type == SampleType::Int16) && channels <= 2)
        shapes.push_back({false, 0});
    return shapes;
}

WAVEFORMATEXTENSIBLE queryFormat(SampleType type, unsigned channels, DWORD rate,
                                 FormatShape shape) {
    const Layout& l = layoutOf(type);
    WAVEFORMATEXTENSIBLE f = {};
    f.Format.nChannels = static_cast<WORD>(channels);
    f.Format.nSamplesPerSec = rate;
    f.Format.wBitsPerSample = l.containerBits;
    f.Format.nBlockAlign = static_cast<WORD>(channels * l.containerBits / 8);
    f.Format.nAvgBytesPerSec = rate * f.Format.nBlockAlign;
    if (!shape.extensible) {
        f.Format.wFormatTag = l.isFloat ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
        f.Format.cbSize = 0;
        return f;
    }
    f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    f.Samples.wValidBitsPerSample = l.validBits;
    f.dwChannelMask = shape.channelMask;
    f.SubFormat = l.isFloat ? floatSubformat : pcmSubformat;
    return f;
}

std::optional<FormatReading> readFormat(const unsigned char* bytes, std::size_t size) {
    WAVEFORMATEX header;
    if (bytes == nullptr || size < sizeof header)
        return std::nullopt;
    std::memcpy(&header, bytes, sizeof header);
    FormatReading reading;
    reading.rate = header.nSamplesPerSec;
    reading.channels = header.nChannels;
    const WORD bits = header.wBitsPerSample;
    if (header.wFormatTag == WAVE_FORMAT_PCM)
        reading.sample = typeOf(false, bits, bits);
    else if (header.wFormatTag == WAVE_FORMAT_IEEE_FLOAT)
        reading.sample = typeOf(true, bits, bits);
    if (header.wFormatTag != WAVE_FORMAT_EXTENSIBLE)
        return reading;

    constexpr std::size_t extra = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    WAVEFORMATEXTENSIBLE whole;
    if (header.cbSize < extra || size < sizeof whole)
        return std::nullopt;
    std::memcpy(&whole, bytes, sizeof whole);
    const WORD valid =
        whole.Samples.wValidBitsPerSample == 0 ? bits : whole.Samples.wValidBitsPerSample;
    if (sameGuid(whole.SubFormat, pcmSubformat))
        reading.sample = typeOf(false, bits, valid);
    else if (sameGuid(whole.SubFormat, floatSubformat))
        reading.sample = typeOf(true, bits, valid);
    reading.channelMask = whole.dwChannelMask;
    return reading;
}
