#include "report/text_writer.h"

#include "catalogue/format_catalogue.h"
#include "catalogue/probe_report.h"
#include "output/standard_output.h"
#include "report/endpoint_text.h"
#include "report/manufacturer_names.h"
#include "report/pcm_lines.h"

#include <iomanip>

void TextWriter::systemFacts(const SystemFacts& facts) {
    writeSystemLines(out, facts);
}

void TextWriter::beginSection(DeviceDirection direction) {
    if (direction == 'I')
        out << "        Input Devices" << std::endl << "        -------------" << std::endl;
    else
        out << "        Output Devices" << std::endl << "        --------------" << std::endl;
    out << std::endl;
}

// "--" stands where a device number would, as for an endpoint with no device.
void TextWriter::countNotAnswering() {
    out << "--\tdevice count not answering" << std::endl << std::endl;
}

void TextWriter::deviceNotAnswering(std::int32_t id) {
    out << id << ".\tnot answering" << std::endl << std::endl << std::endl;
}

void TextWriter::beginDevice(std::int32_t id, const DeviceCaps& caps) {
    out << id << ".\t";
    // A driver may fill the whole name field without a terminator.
    out.driverText(caps.szPname, sizeof caps.szPname) << " / ";
    out.latin1(manufacturerName(caps.wMid)) << std::endl;
}

void TextWriter::pcmFormats(DWORD dwFormats) {
    printPcmFlags(out, dwFormats);
}

void TextWriter::beginAcceptedFormats() {
    out << std::endl;
}

void TextWriter::acceptedFormat(const FormatHeader& h) {
    const DWORD rate = h.nSamplesPerSec;
    const unsigned channels = h.nChannels;
    const unsigned bits = h.wBitsPerSample;
    out << "\t\t";
    out.driverText(formatTagName(h.wFormatTag), sizeof FormatTagEntry::name)
        << ", " << std::setfill(' ') << std::setw(3) << rate / 1000 << '.' << std::setfill('0')
        << std::setw(3) << rate % 1000 << std::setfill(' ') << " kHz, "
        << (channels == 1 ? "mono,  " : "stereo,") << std::setw(3) << bits << " bit" << std::endl;
}

void TextWriter::formatsNotAnswering() {
    out << "\t\tnot answering" << std::endl;
}

void TextWriter::endAcceptedFormats() {
    out << std::endl;
}

void TextWriter::endpoint(const EndpointFacts* facts, const EndpointFormats* formats) {
    endProgress();
    writeEndpointBlock(out, facts, formats);
}

void TextWriter::opening(const EndpointFacts& facts, std::size_t tried, std::size_t listed) {
    if (!progress)
        progress.emplace();
    progress->showOpening(facts.direction, facts.name ? *facts.name : facts.id, tried, listed);
}

void TextWriter::endProgress() {
    if (progress)
        progress->erase();
}

// The endpoint's line goes out before its formats are asked, as a device's does.
void TextWriter::beginUnmatchedEndpoint(const EndpointFacts& facts) {
    writeUnmatchedLine(out, facts);
}

void TextWriter::unmatchedEndpoint(const EndpointFacts& facts, const EndpointFormats* formats) {
    endProgress();
    writeEndpointBlock(out, &facts, formats);
}

void TextWriter::notPresentEndpoints(DeviceDirection, std::optional<std::size_t> count) {
    if (!count || *count == 0)
        return;
    out << "--\t" << *count
        << (*count == 1 ? " endpoint not present (a device once attached)"
                        : " endpoints not present (devices once attached)")
        << std::endl
        << std::endl;
}

void TextWriter::endSection() {
    out << std::endl;
}

void probeDeviceFormats(std::int32_t id, DeviceDirection direction) {
    StandardOutput output;
    ReportStream out(output.sink());
    TextWriter writer(out);
    probeDeviceFormats(id, direction, writer);
}
