#include "support/simulated_setup.h"

#include "catalogue/format_catalogue.h"

FormatHeader formatHeader(WORD tag, DWORD rate, WORD bits, WORD channels, WORD cbSize) {
    FormatHeader h{};
    h.wFormatTag = tag;
    h.nChannels = channels;
    h.nSamplesPerSec = rate;
    h.wBitsPerSample = bits;
    h.nBlockAlign = static_cast<WORD>(channels * ((bits + 7) / 8));
    h.nAvgBytesPerSec = rate * h.nBlockAlign;
    h.cbSize = cbSize;
    return h;
}

FormatHeader pcm(DWORD rate, WORD bits, WORD channels) {
    return formatHeader(WAVE_FORMAT_PCM, rate, bits, channels);
}

simulated::Device device(const char* name, WORD wMid, DWORD dwFormats) {
    simulated::Device d;
    simulated::setText(d.szPname, name);
    d.wMid = wMid;
    d.dwFormats = dwFormats;
    return d;
}

void offerFormat(const FormatHeader& header, DWORD offeredFor) {
    simulated::CodecFormat f;
    f.header = header;
    f.offeredFor = offeredFor;
    simulated::machine().formats.push_back(f);
}

void nameTag(WORD tag, const char* name) {
    simulated::FormatTag t;
    t.tag = tag;
    simulated::setText(t.name, name);
    simulated::machine().tags.push_back(t);
}

void emptyCatalogue() {
    std::uint32_t keyLength;
    void* record;
    while (knownFormats.popFront(&keyLength, &record))
        delete static_cast<FormatHeader*>(record);
    while (formatTagNames.popFront(&keyLength, &record))
        delete static_cast<FormatTagEntry*>(record);
}

void resetEverything() {
    simulated::reset();
    emptyCatalogue();
}
