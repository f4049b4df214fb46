// Runs the whole program, slow, quick and exclusive, against a simulated machine
// built from the input (see fuzz_machine.h for the input's layout): device
// counts, capability answers, names, codec formats and their tags, the size
// metric, enumeration faults, what each device accepts, at most one allocation
// fault, and the endpoint service with its endpoints in every state, names, readings, mix formats
// and exclusive-mode answers. Whatever the machine says, each report keeps its
// shape; the catalogue holds what the codecs delivered, once each, in order;
// and the exclusive mode lists each device's endpoint as the machine has it,
// never claims a format the device refused, leaves COM and every endpoint as
// it found them; and the watch, over a script of notifications from the
// input, writes whole lines of its kinds and leaves nothing registered.
//
// The input's layout is written down in fuzz_machine.h, beside the code that
// reads it: the machine the older seeds describe, the allocation fault, then
// the endpoint service and its conditions, which an input that ends before goes without.
#include "fuzz_machine.h"

#include "catalogue/format_catalogue.h"
#include "report/manufacturer_names.h"
#include "support/captured_output.h"
#include "support/expected_texts.h"
#include "support/report_shape.h"
#include "support/simulated_setup.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace fuzz;

bool sameHeader(const FormatHeader& a, const FormatHeader& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool listed(const std::vector<FormatHeader>& list, const FormatHeader& h) {
    for (const FormatHeader& l : list)
        if (sameHeader(l, h))
            return true;
    return false;
}

FormatHeader withoutExtra(FormatHeader h) {
    h.cbSize = 0;
    return h;
}

DWORD sizeOf(const simulated::CodecFormat& f) {
    return static_cast<DWORD>(sizeof(FormatHeader) + f.header.cbSize);
}

// The formats one enumeration must deliver into a buffer of `buffer` bytes: the
// codec skips a format that does not fit, and a fault ends the enumeration.
void mustDeliver(const simulated::Machine& m, DWORD direction,
                 const simulated::EnumerationFault& fault, DWORD buffer,
                 std::vector<FormatHeader>* required) {
    unsigned delivered = 0;
    for (const simulated::CodecFormat& f : m.formats) {
        if ((f.offeredFor & direction) == 0)
            continue;
        if (fault.result != MMSYSERR_NOERROR && delivered == fault.delivered)
            return;
        if (sizeOf(f) > buffer)
            continue;
        ++delivered;
        if (!listed(*required, withoutExtra(f.header)))
            required->push_back(withoutExtra(f.header));
    }
}

std::vector<FormatHeader> requiredFormats(const simulated::Machine& m) {
    // The manager's largest format, which it knows even when its metric fails.
    DWORD largest = 0;
    if (m.largestFormatSize) {
        largest = *m.largestFormatSize;
    } else {
        for (const simulated::CodecFormat& f : m.formats)
            largest = std::max(largest, sizeOf(f));
    }
    // The program's buffer: the stack's 1,024 bytes, or from the heap what the
    // metric asks past that, up to a header with all the extra bytes its
    // cbSize can count.
    const DWORD metric = m.metricsResult == MMSYSERR_NOERROR ? largest : 0;
    const DWORD wanted = std::min<DWORD>(metric, sizeof(FormatHeader) + 0xFFFF);
    const DWORD buffer = std::max<DWORD>(wanted, 1024);
    std::vector<FormatHeader> required;
    if (buffer < largest)
        return required; // the manager refuses both enumerations
    mustDeliver(m, ACM_FORMATENUMF_INPUT, m.inputEnumeration, buffer, &required);
    mustDeliver(m, ACM_FORMATENUMF_OUTPUT, m.outputEnumeration, buffer, &required);
    return required;
}

// The tag's name as the report must show it: the first tag entry the manager
// finds answers, and a refused or missing one shows as "???".
std::string shownTagName(const simulated::Machine& m, WORD tag) {
    for (const simulated::FormatTag& t : m.tags)
        if (t.tag == tag)
            return t.detailsResult == MMSYSERR_NOERROR ? shown(t.name, sizeof t.name) : "???";
    return "???";
}

bool endsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

std::string rateText(DWORD rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%03u kHz, ", static_cast<unsigned>(rate / 1000),
                  static_cast<unsigned>(rate % 1000));
    return text;
}

using Block = std::vector<std::string>;

// Checks one section's device lines, and hands each listed device's format
// lines to `checkBlock`.
template <class CheckBlock>
void checkSection(const char* section, const std::vector<simulated::Device>& devices,
                  const std::optional<UINT>& reported,
                  const std::vector<ReportedDevice>& shownDevices, CheckBlock checkBlock) {
    const std::vector<long> ids = listedIds(devices, reported);
    expect(shownDevices.size() == ids.size(),
           std::string(section) + ": " + std::to_string(shownDevices.size()) +
               " devices listed, expected " + std::to_string(ids.size()));
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const simulated::Device& d = devices[static_cast<std::size_t>(ids[i])];
        const std::string line = std::to_string(ids[i]) + ".\t" +
                                 shown(d.szPname, sizeof d.szPname) + " / " +
                                 manufacturerName(d.wMid);
        expect(shownDevices[i].line == line, std::string(section) + ": device line \"" +
                                                 shownDevices[i].line + "\", expected \"" + line +
                                                 "\"");
        checkBlock(d, shownDevices[i].formats);
    }
}

// By value: the header is packed, its fields cannot be bound to references.
std::tuple<WORD, DWORD, WORD, WORD> sortKey(const FormatHeader& h) {
    const WORD tag = h.wFormatTag;
    const DWORD rate = h.nSamplesPerSec;
    const WORD bits = h.wBitsPerSample;
    const WORD channels = h.nChannels;
    return {tag, rate, bits, channels};
}

void checkCatalogue(const simulated::Machine& m, const std::vector<FormatHeader>& known,
                    bool memoryFailed) {
    for (std::size_t i = 0; i < known.size(); ++i) {
        expect(known[i].cbSize == 0, "a catalogue record keeps its cbSize");
        bool offered = false;
        for (const simulated::CodecFormat& f : m.formats)
            offered = offered ||
                      ((f.offeredFor & (ACM_FORMATENUMF_INPUT | ACM_FORMATENUMF_OUTPUT)) != 0 &&
                       sameHeader(withoutExtra(f.header), known[i]));
        expect(offered, "a catalogue record no codec offered, at " + std::to_string(i));
        for (std::size_t j = 0; j < i; ++j)
            expect(!sameHeader(known[i], known[j]), "the catalogue holds a record twice");
    }
    if (memoryFailed)
        return; // the catalogue may be short and unsorted
    for (std::size_t i = 1; i < known.size(); ++i)
        expect(!(sortKey(known[i]) < sortKey(known[i - 1])),
               "the catalogue is out of order at " + std::to_string(i));
    for (const FormatHeader& h : requiredFormats(m))
        expect(listed(known, h), "a delivered format is missing from the catalogue");
}

// Gives the number of query-opens the listed devices should have been asked.
std::size_t checkSlowRun(const simulated::Machine& m, const ProgramRun& run,
                         const std::vector<FormatHeader>& known, bool memoryFailed) {
    expect(run.status == 0, "slow run exit status " + std::to_string(run.status));
    ParsedReport parsed;
    const std::string problem = parseReport(run.output, &parsed);
    expect(problem.empty(), "slow report: " + problem);
    expect(!parsed.usage, "slow run shows the usage text");
    std::size_t queries = 0;
    auto checkBlock = [&](const simulated::Device& d, const Block& lines) {
        const std::size_t asked = askedOf(d, known);
        queries += asked;
        std::vector<const FormatHeader*> accepted;
        for (std::size_t i = 0; i < asked; ++i)
            if (accepts(d, known[i]))
                accepted.push_back(&known[i]);
        // Short of memory, a device's walk of the catalogue may be empty.
        if (memoryFailed && lines.empty())
            return;
        expect(lines.size() == accepted.size(),
               std::to_string(lines.size()) + " format lines for " +
                   std::to_string(accepted.size()) + " accepted formats");
        if (memoryFailed)
            return; // tag names may be missing
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const FormatHeader& h = *accepted[i];
            const std::string& line = lines[i];
            const std::string lead = "\t\t" + shownTagName(m, h.wFormatTag) + ", ";
            expect(line.compare(0, lead.size(), lead) == 0 &&
                       line.find(rateText(h.nSamplesPerSec), lead.size()) != std::string::npos &&
                       (line.find("mono,", lead.size()) != std::string::npos) ==
                           (h.nChannels == 1) &&
                       endsWith(line, std::to_string(h.wBitsPerSample) + " bit"),
                   "format line \"" + line + "\" for catalogue record " + std::to_string(i));
        }
    };
    checkSection("slow inputs", m.inputs, m.inputCount, parsed.inputs, checkBlock);
    checkSection("slow outputs", m.outputs, m.outputCount, parsed.outputs, checkBlock);
    return queries;
}

void checkQuickRun(const simulated::Machine& m, const ProgramRun& run) {
    expect(run.status == 0, "quick run exit status " + std::to_string(run.status));
    ParsedReport parsed;
    const std::string problem = parseReport(run.output, &parsed);
    expect(problem.empty(), "quick report: " + problem);
    expect(!parsed.usage, "quick run shows the usage text");
    auto checkBlock = [](const simulated::Device& d, const Block& lines) {
        unsigned bits = 0;
        for (DWORD b = d.dwFormats & 0xFFF; b != 0; b &= b - 1)
            ++bits;
        expect(lines.size() == bits, "quick lines do not match the capability bits");
    };
    checkSection("quick inputs", m.inputs, m.inputCount, parsed.inputs, checkBlock);
    checkSection("quick outputs", m.outputs, m.outputCount, parsed.outputs, checkBlock);
}

// ---- The exclusive mode's text ----

// A device line, or an unmatched endpoint's line, and the block under it.
struct ExclusiveEntry {
    bool numbered = true;
    std::string line;
    std::vector<std::string> block;
};

class Lines {
public:
    explicit Lines(const std::string& text) {
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos) {
                unterminated = true;
                end = text.size();
            }
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
    }
    bool atEnd() const { return next >= lines.size(); }
    const std::string& peek() const { return lines[next]; }
    std::string take() { return atEnd() ? std::string("<end of output>") : lines[next++]; }
    void expectLine(const std::string& wanted) {
        const std::string line = take();
        expect(line == wanted, "exclusive report, line " + std::to_string(next) + ": \"" + line +
                                   "\", expected \"" + wanted + "\"");
    }
    bool unterminated = false;

private:
    std::vector<std::string> lines;
    std::size_t next = 0;
};

// The banner, then per section its title and its entries: numbered device
// lines, then unmatched endpoints, each followed by an empty line, its block
// and an empty line.
void parseExclusiveReport(const std::string& output, std::vector<ExclusiveEntry> sections[2],
                          std::size_t notPresent[2]) {
    static const std::string text = "[^\\x00-\\x1f\\x7f]*";
    static const std::regex deviceLine("(0|[1-9][0-9]*)\\.\\t" + text + " / " + text);
    static const std::regex unmatchedLine("--\\t" + text + " / no waveform device");
    static const std::regex countLine(
        "--\\t([1-9][0-9]*) endpoints? not present \\((a device|devices) once attached\\)");
    Lines lines(output);
    expect(!lines.unterminated, "the exclusive report does not end with a line break");
    for (const char* wanted : expectedBanner)
        lines.expectLine(wanted);
    // The system's lines; their words are the unit tests'.
    for (const char* label : {"\t\tWindows      ", "\t\tServices     Audiosrv "}) {
        const std::string line = lines.take();
        expect(line.compare(0, std::strlen(label), label) == 0, "the system's line " + line);
    }
    lines.expectLine("");
    const char* const titles[2][2] = {{"        Input Devices", "        -------------"},
                                      {"        Output Devices", "        --------------"}};
    for (int s = 0; s < 2; ++s) {
        lines.expectLine(titles[s][0]);
        lines.expectLine(titles[s][1]);
        lines.expectLine("");
        long lastId = -1;
        while (!lines.atEnd() && !lines.peek().empty()) {
            ExclusiveEntry entry;
            entry.line = lines.take();
            std::smatch match;
            if (std::regex_match(entry.line, match, countLine)) {
                expect(notPresent[s] == 0, "a second count line: " + entry.line);
                notPresent[s] = std::stoul(match[1]);
                expect((notPresent[s] == 1) ==
                           (entry.line.find(" endpoint not") != std::string::npos),
                       "a count line in the wrong number: " + entry.line);
                lines.expectLine("");
                continue;
            }
            expect(notPresent[s] == 0, "a line after the count line: " + entry.line);
            if (std::regex_match(entry.line, match, deviceLine)) {
                expect(sections[s].empty() || sections[s].back().numbered,
                       "a device line after an unmatched endpoint: " + entry.line);
                const long id = std::stol(match[1]);
                expect(id > lastId, "device numbers do not rise: " + entry.line);
                lastId = id;
            } else {
                expect(std::regex_match(entry.line, unmatchedLine),
                       "not a device or endpoint line: \"" + entry.line + "\"");
                entry.numbered = false;
            }
            lines.expectLine("");
            while (!lines.atEnd() && !lines.peek().empty()) {
                entry.block.push_back(lines.take());
                expect(entry.block.back().compare(0, 2, "\t\t") == 0,
                       "not a block line: \"" + entry.block.back() + "\"");
            }
            expect(!entry.block.empty(), "no block under \"" + entry.line + "\"");
            lines.expectLine("");
            sections[s].push_back(entry);
        }
        lines.expectLine("");
    }
    expect(lines.atEnd(), "more after the exclusive report's end: \"" + lines.take() + "\"");
}

std::string labelled(const std::string& label, const std::string& value) {
    return "\t\t" + label + std::string(13 - label.size(), ' ') + value;
}

// "44.1" to 44100; 0 when it is no rate of the matrix.
DWORD rateOfText(const std::string& text) {
    for (DWORD rate : matrixRates) {
        std::string wanted = std::to_string(rate / 1000);
        if (rate % 1000 != 0) {
            char fraction[8];
            std::snprintf(fraction, sizeof fraction, ".%03u", static_cast<unsigned>(rate % 1000));
            std::string digits = fraction;
            while (digits.back() == '0')
                digits.pop_back();
            wanted += digits;
        }
        if (text == wanted)
            return rate;
    }
    return 0;
}

std::vector<std::string> split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != std::string::npos;
         start = at + separator.size())
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

// One exclusive-mode line: "int16      1-2, 8 ch  44.1 48 88.2-192 kHz, no channel mask".
void readFormatLine(const std::string& line, std::vector<Claim>* claims) {
    static const std::regex format("([a-z0-9]+) +([0-9]+(?:-[0-9]+)?(?:, [0-9]+(?:-[0-9]+)?)*) ch "
                                   "+([0-9.]+(?:-[0-9.]+)?(?: [0-9.]+(?:-[0-9.]+)?)*) kHz"
                                   "(|, no channel mask|, plain header|"
                                   ", channel mask 0x([0-9A-F]+) \\([A-Z0-9x ]+\\))");
    std::smatch match;
    expect(std::regex_match(line, match, format), "not an exclusive format line: \"" + line + "\"");
    const std::optional<SampleType> sample = sampleOfWord(match[1]);
    expect(sample.has_value(), "no such sample type: \"" + line + "\"");
    std::vector<unsigned> counts;
    for (const std::string& run : split(match[2], ", ")) {
        const std::vector<std::string> ends = split(run, "-");
        const unsigned first = std::stoul(ends.front()), last = std::stoul(ends.back());
        expect(first >= 1 && first <= last && last <= 32, "channel counts: \"" + line + "\"");
        for (unsigned c = first; c <= last; ++c)
            counts.push_back(c);
    }
    std::vector<DWORD> rates;
    for (const std::string& run : split(match[3], " ")) {
        const std::vector<std::string> ends = split(run, "-");
        const DWORD first = rateOfText(ends.front()), last = rateOfText(ends.back());
        expect(first != 0 && last != 0 && first <= last, "rates: \"" + line + "\"");
        for (DWORD rate : matrixRates)
            if (rate >= first && rate <= last)
                rates.push_back(rate);
    }
    const std::string shape = match[4];
    for (unsigned c : counts) {
        Claim claim{*sample, c, 0, true, usualMask(c)};
        if (shape == ", no channel mask")
            claim.channelMask = 0;
        else if (shape == ", plain header")
            claim = Claim{*sample, c, 0, false, 0};
        else if (!shape.empty())
            claim.channelMask = static_cast<DWORD>(std::stoul(match[5], nullptr, 16));
        for (DWORD rate : rates) {
            claim.rate = rate;
            claims->push_back(claim);
        }
    }
}

// Reads the exclusive lines into a status and what is claimed.
std::string readExclusiveLines(const std::vector<std::string>& lines, std::vector<Claim>* claims) {
    const struct {
        const char* line;
        const char* status;
    } reasons[] = {{"not allowed for this device", "not allowed"},
                   {"device busy (another program holds it)", "busy"},
                   {"device gone", "gone"},
                   {"access denied (Windows privacy settings)", "access denied"},
                   {"not answering", "not answering"},
                   {"could not be asked", "unavailable"},
                   {"nothing accepted", "ok"}};
    if (lines.size() == 1)
        for (const auto& r : reasons)
            if (lines[0] == r.line)
                return r.status;
    for (const std::string& line : lines)
        readFormatLine(line, claims);
    return "ok";
}

std::string defaultsText(const EndpointView& view) {
    if (!view.defaultFor)
        return "unknown";
    std::string text;
    for (int role = 0; role < endpointRoleCount; ++role)
        if ((*view.defaultFor)[role])
            text += (text.empty() ? "" : ", ") + std::string(roleWords[role]);
    return text.empty() ? "none" : text;
}

// The hardware's lines, in order, "unknown" exactly where the machine's answer is a failure and
// one line per effect and per endpoint of the same device; their words are the unit tests'.
void checkHardwareLines(const EndpointView& view, const std::vector<std::string>& block,
                        std::size_t& at, const std::string& where) {
    const auto next = [&] { return at < block.size() ? block[at++] : std::string(); };
    const auto check = [&](const std::string& line, const char* label, bool unknown) {
        expect(line.compare(0, 15, labelled(label, "")) == 0 &&
                   (line == labelled(label, "unknown")) == unknown,
               where + ": \"" + line + "\" for " + label + (unknown ? ", unknown" : ""));
    };
    const auto several = [&](const char* label, std::optional<std::size_t> count) {
        const std::string first = next();
        check(first, label, !count);
        expect(!count || *count > 0 || first == labelled(label, "none"), where + ": " + first);
        for (std::size_t i = 1; count && i < *count; ++i)
            check(next(), "", false);
    };
    check(next(), "Hardware", !view.adapterReached);
    check(next(), "Driver", !view.located);
    if (view.located)
        check(next(), "", false);
    if (view.problem >= 0)
        check(next(), "Problem", view.problem == 0);
    if (view.bluetooth)
        check(next(), "Bluetooth", false);
    several("Same device",
            view.containerId ? std::optional<std::size_t>(view.sameDevice) : std::nullopt);
    several("Effects", view.effects);
}

void checkEndpointBlock(const simulated::Machine& m, const EndpointExpectations& expected,
                        std::optional<std::size_t> endpoint, DeviceDirection direction,
                        const ExclusiveEntry& entry) {
    const std::string where = "exclusive report, under \"" + entry.line + "\"";
    const std::vector<std::string>& block = entry.block;
    if (!endpoint) {
        const std::vector<std::string> none = {labelled("Endpoint", "none found"),
                                               labelled("Exclusive", "could not be asked")};
        expect(block == none, where + ": an endpoint block where none could be had");
        return;
    }
    const EndpointView view = expectedView(m, expected, *endpoint, direction);
    const auto mix = view.mix ? expectedMix(m.endpoints.endpoints[*endpoint]) : std::nullopt;
    const char* const states[] = {"active", "disabled", "not present", "unplugged (not connected)"};
    auto serviceText = [](const std::optional<std::u16string>& text) {
        return text ? ansiShown(*text) : std::string("unknown");
    };
    const std::vector<std::string> identity = {
        labelled("Name", serviceText(view.name)),
        labelled("Adapter", serviceText(view.adapter)),
        labelled("Form factor", view.formFactor ? formFactorWord(*view.formFactor) : "unknown"),
        labelled("Endpoint", ansiShown(view.id)),
        labelled("State", view.state < 0 ? "unknown" : states[view.state]),
        labelled("Default for", defaultsText(view)),
    };
    expect(block.size() >= identity.size() + 2, where + ": a short endpoint block");
    for (std::size_t i = 0; i < identity.size(); ++i)
        expect(block[i] == identity[i],
               where + ": \"" + block[i] + "\", expected \"" + identity[i] + "\"");
    std::size_t at = identity.size();
    checkHardwareLines(view, block, at, where);
    // How it is set and used, in order, "unknown" exactly where the machine's answer is a failure
    // (the values are the unit tests'): the audio client's while it may be active, one per session.
    std::vector<std::pair<const char*, bool>> readings = {{"Volume", view.volume},
                                                          {"Enhancements", view.enhancements},
                                                          {"Sessions", !!view.sessions}};
    readings.resize(std::max<std::size_t>(3, 2 + view.sessions.value_or(1)), {"", true});
    readings.insert(readings.end(),
                    {{"Period", view.devicePeriods}, {"Engine", view.enginePeriods}});
    if (!view.active)
        readings = {{"Enhancements", view.enhancements}};
    readings.emplace_back("Panel format", view.deviceFormat);
    for (const auto& [label, known] : readings) {
        const std::string line = at < block.size() ? block[at++] : "", start = labelled(label, "");
        expect(line.compare(0, start.size(), start) == 0 && (line == start + "unknown") != known,
               where + ": \"" + line + "\" for " + label);
    }
    if (block.size() == at) // no formats, which only an endpoint out of use may have
        return checkExclusive(m, expected, *endpoint, "inactive", {}, where);
    expect(block.size() >= at + 2, where + ": a short endpoint block");
    const std::string& shared = block[at];
    if (!mix) {
        expect(shared == labelled("Shared mode", "unknown"), where + ": \"" + shared + "\"");
    } else {
        const std::string channels = " kHz, " + std::to_string(mix->channels) +
                                     (mix->channels == 1 ? " channel, " : " channels, ") +
                                     (mix->sample ? sampleWord(*mix->sample) : "unknown samples") +
                                     ", ";
        expect(shared.compare(0, 15, labelled("Shared mode", "")) == 0 &&
                   shared.find(channels) != std::string::npos,
               where + ": \"" + shared + "\", expected \"" + channels + "\" in it");
    }
    std::vector<std::string> exclusive;
    for (std::size_t i = at + 1; i < block.size(); ++i) {
        const std::string label = labelled(i == at + 1 ? "Exclusive" : "", "");
        expect(block[i].compare(0, label.size(), label) == 0, where + ": \"" + block[i] + "\"");
        exclusive.push_back(block[i].substr(label.size()));
    }
    std::vector<Claim> claims;
    const std::string status = readExclusiveLines(exclusive, &claims);
    checkExclusive(m, expected, *endpoint, status, claims, where);
}

void checkExclusiveRun(const simulated::Machine& m, const EndpointExpectations& expected,
                       const ProgramRun& run, const ProgramRun& quick) {
    expect(run.status == 0, "exclusive run exit status " + std::to_string(run.status));
    std::vector<ExclusiveEntry> sections[2];
    std::size_t notPresent[2] = {0, 0};
    parseExclusiveReport(run.output, sections, notPresent);
    ParsedReport quickReport;
    expect(parseReport(quick.output, &quickReport).empty(), "quick report");
    for (int s = 0; s < 2; ++s) {
        const DeviceDirection direction = s == 0 ? 'I' : 'O';
        const std::vector<ReportedDevice>& devices =
            s == 0 ? quickReport.inputs : quickReport.outputs;
        const SectionEndpoints& endpoints = expected.sections[s];
        std::size_t numbered = 0;
        for (const ExclusiveEntry& entry : sections[s])
            numbered += entry.numbered ? 1 : 0;
        expect(numbered == devices.size(), "the exclusive report lists " +
                                               std::to_string(numbered) + " devices, quick " +
                                               std::to_string(devices.size()));
        expect(notPresent[s] == endpoints.notPresent.value_or(0),
               "the exclusive report counts " + std::to_string(notPresent[s]) +
                   " endpoints not present, expected " +
                   std::to_string(endpoints.notPresent.value_or(0)));
        expect(sections[s].size() - numbered == endpoints.unmatched.size(),
               "the exclusive report lists " + std::to_string(sections[s].size() - numbered) +
                   " unmatched endpoints, expected " + std::to_string(endpoints.unmatched.size()));
        for (std::size_t i = 0; i < numbered; ++i) {
            expect(sections[s][i].line == devices[i].line,
                   "exclusive device line \"" + sections[s][i].line + "\", quick \"" +
                       devices[i].line + "\"");
            checkEndpointBlock(m, expected, endpoints.devices[i], direction, sections[s][i]);
        }
        for (std::size_t i = 0; i < endpoints.unmatched.size(); ++i) {
            const ExclusiveEntry& entry = sections[s][numbered + i];
            const EndpointView view = expectedView(m, expected, endpoints.unmatched[i], direction);
            const std::string line =
                "--\t" + ansiShown(view.name ? *view.name : view.id) + " / no waveform device";
            expect(entry.line == line,
                   "unmatched endpoint \"" + entry.line + "\", expected \"" + line + "\"");
            checkEndpointBlock(m, expected, endpoints.unmatched[i], direction, entry);
        }
    }
}

// The watch's lines: each whole and of its kind, the endpoints' first, none
// broken by a name, and the last one counting every callback played.
void checkWatchRun(const ProgramRun& run) {
    expect(run.status == 0, "watch exit status " + std::to_string(run.status));
    static const std::regex shape("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  "
                                  "(input |output|\\?     |watch )  (endpoint|added   |removed "
                                  "|state   |default |property|mix     |volume  |session |warning "
                                  "|ended   )  .+");
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < run.output.size();) {
        const std::size_t end = run.output.find('\n', start);
        expect(end != std::string::npos, "a watch line without its end");
        lines.push_back(run.output.substr(start, end - start));
        start = end + 1;
    }
    bool events = false;
    for (const std::string& line : lines) {
        expect(std::regex_match(line, shape) &&
                   std::none_of(line.begin(), line.end(),
                                [](char c) { return static_cast<unsigned char>(c) < 0x20; }),
               "watch line \"" + line + "\"");
        const bool listed = line.compare(33, 8, "endpoint") == 0;
        expect(!listed || !events, "an endpoint's first line after the events: " + line);
        events = events || !listed;
    }
    const std::string seen = std::to_string(simulated::calls().watch.callbacks);
    expect(!lines.empty() && lines.back().find("watch   ended     interrupted: " + seen +
                                               " event") != std::string::npos,
           [&] { return "the watch's last line, " + seen + " callbacks: " + run.output; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    resetEverything();
    Input in(data, size);
    simulated::Machine& m = simulated::machine();
    const MemoryFault memory = readMachine(in, m);
    const std::optional<Hang> hang = readEndpointConditions(in, m);
    readNotifications(in, m);
    const simulated::Machine furnished = m; // the program only reads it, but for the watch
    const bool memoryFails = memory.fails;
    if (memoryFails)
        simulated::failAllocation(memory.allocation, memory.persistent);

    const ProgramRun slow = runWithArguments({});
    const std::vector<FormatHeader> known = catalogueFormats();
    checkCatalogue(furnished, known, memoryFails);
    const std::size_t queries = checkSlowRun(furnished, slow, known, memoryFails);
    // Each listed device is asked about each catalogue format once, no more,
    // and nothing after it answers as gone.
    expect(memoryFails || simulated::calls().queries == queries,
           std::to_string(simulated::calls().queries) + " query-opens, expected " +
               std::to_string(queries) + " for " + std::to_string(known.size()) + " formats");

    const unsigned long asked = simulated::calls().queries;
    const ProgramRun quick = runWithArguments({"quick"});
    expect(simulated::calls().queries == asked, "the quick run queried a device");
    checkQuickRun(furnished, quick);

    EndpointExpectations expected = expectEndpoints(furnished, true, hang);
    clearProbeLogs();
    const auto start = armHang(m, expected);
    // every endpoint listed, the not present too, as the machine is read
    const ProgramRun exclusive = runWithArguments({"exclusive"});
    checkHang(m, expected, start);
    expect(simulated::calls().queries == asked, "the exclusive run queried a device");
    expect(simulated::calls().streamOpens == 0, "the exclusive run opened a stream");
    checkExclusiveRun(furnished, expected, exclusive, quick);
    expect(simulated::calls().comDepth == 0,
           std::to_string(simulated::calls().comDepth) + " COM set-ups not undone");
    expect(simulated::calls().openEndpoints == 0,
           std::to_string(simulated::calls().openEndpoints) + " endpoints left open");

    // Last, as its script changes the machine.
    checkWatchRun(runWithArguments({"watch"}));
    expectWatchLeftNothing("watch");

    resetEverything();
    return 0;
}
