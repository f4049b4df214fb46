#include "report/text_writer.h"

#include "catalogue/format_catalogue.h"
#include "catalogue/probe_report.h"
#include "output/driver_text.h"
#include "report/endpoint_text.h"
#include "report/manufacturer_names.h"
#include "report/pcm_lines.h"

#include <iomanip>
#include <iostream>

void TextWriter::systemFacts(const SystemFacts& facts) {
    writeSystemLines(facts);
}

void TextWriter::beginSection(DeviceDirection direction) {
    if (direction == 'I')
        std::cout << "        Input Devices" << std::endl << "        -------------" << std::endl;
    else
        std::cout << "        Output Devices" << std::endl << "        --------------" << std::endl;
    std::cout << std::endl;
}

void TextWriter::beginDevice(std::int32_t id, const DeviceCaps& caps) {
    std::cout << id << ".\t";
    // A driver may fill the whole name field without a terminator.
    writeDriverText(caps.szPname, sizeof caps.szPname);
    std::cout << " / " << manufacturerName(caps.wMid) << std::endl;
}

void TextWriter::pcmFormats(DWORD dwFormats) {
    printPcmFlags(dwFormats);
}

void TextWriter::beginAcceptedFormats() {
    std::cout << std::endl;
}

void TextWriter::acceptedFormat(const FormatHeader& h) {
    const DWORD rate = h.nSamplesPerSec;
    const unsigned channels = h.nChannels;
    const unsigned bits = h.wBitsPerSample;
    std::cout << "\t\t";
    writeDriverText(formatTagName(h.wFormatTag), sizeof FormatTagEntry::name);
    std::cout << ", " << std::setfill(' ') << std::setw(3) << rate / 1000 << '.'
              << std::setfill('0') << std::setw(3) << rate % 1000 << std::setfill(' ') << " kHz, "
              << (channels == 1 ? "mono,  " : "stereo,") << std::setw(3) << bits << " bit"
              << std::endl;
}

void TextWriter::endAcceptedFormats() {
    std::cout << std::endl;
}

void TextWriter::endpoint(const EndpointFacts* facts, const EndpointFormats* formats) {
    writeEndpointBlock(facts, formats);
}

// The endpoint's line goes out before its formats are asked, as a device's does.
void TextWriter::beginUnmatchedEndpoint(const EndpointFacts& facts) {
    writeUnmatchedLine(facts);
}

void TextWriter::unmatchedEndpoint(const EndpointFacts& facts, const EndpointFormats* formats) {
    writeEndpointBlock(&facts, formats);
}

void TextWriter::endSection() {
    std::cout << std::endl;
}

void probeDeviceFormats(std::int32_t id, DeviceDirection direction) {
    TextWriter writer;
    probeDeviceFormats(id, direction, writer);
}
