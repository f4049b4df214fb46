// Runs the whole program, slow then quick, against a simulated machine built
// from the input: device counts, capability answers, names, codec formats and
// their tags, the size metric, enumeration faults, what each device accepts and
// at most one allocation fault. Whatever the machine says, the report keeps its
// shape, and the catalogue holds what the codecs delivered, once each, in order.
//
// The input, read front to back (zeros past its end):
//   formats:  count % 65, then per format a kind byte and its fields
//   tags:     count % 17, then per tag a kind byte, the tag, a name
//   metric:   a code byte and its value
//   faults:   input and output enumeration faults, a byte (and a count) each
//   inputs:   count % 9, then per device its fields; then the reported count
//   outputs:  the same
//   memory:   a byte, and when odd the allocation that fails
#include "catalogue/format_catalogue.h"
#include "report/manufacturer_names.h"
#include "support/captured_output.h"
#include "support/report_shape.h"
#include "support/simulated_setup.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz_platform: %s\n", what.c_str());
    std::abort();
}

void expect(bool holds, const std::string& what) {
    if (!holds)
        fail(what);
}

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}
    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    // Little-endian; each read is its own statement, so the order is fixed.
    std::uint16_t word() {
        const unsigned low = byte();
        return static_cast<std::uint16_t>(low | byte() << 8);
    }
    std::uint32_t dword() {
        const std::uint32_t low = word();
        return low | static_cast<std::uint32_t>(word()) << 16;
    }
    template <std::size_t N> void text(char (&field)[N]) {
        const std::size_t length = byte() % (N + 1);
        for (std::size_t i = 0; i < N; ++i)
            field[i] = i < length ? static_cast<char>(byte()) : '\0';
    }
    template <class T, std::size_t N> T pick(const T (&choices)[N]) { return choices[byte() % N]; }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
};

const MMRESULT failures[] = {MMSYSERR_ERROR,      MMSYSERR_BADDEVICEID, MMSYSERR_NOTENABLED,
                             MMSYSERR_ALLOCATED,  MMSYSERR_NODRIVER,    MMSYSERR_NOMEM,
                             MMSYSERR_INVALPARAM, ACMERR_NOTPOSSIBLE,   0xFFFFFFFFu};
const MMRESULT refusals[] = {WAVERR_BADFORMAT,   WAVERR_BADFORMAT,  MMSYSERR_NOERROR,
                             MMSYSERR_ALLOCATED, MMSYSERR_NODRIVER, MMSYSERR_BADDEVICEID};
const DWORD hugeSizes[] = {0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x10000000, 0x00100000, 1025};
const UINT oddCounts[] = {0, 0x7FFFFFFF, 0xFFFFFFFF, 0x80000000, 0xFFFFFFFE, 0x7FFFFFFE, 1000};

WORD cbSizeFrom(WORD raw) {
    // Mostly a few KB, so a run stays quick; now and then up to the limit.
    return raw >= 0xF000 ? raw : static_cast<WORD>(raw % 4097);
}

void readFormats(Input& in, simulated::Machine& m) {
    const unsigned count = in.byte() % 65;
    const DWORD offered[] = {ACM_FORMATENUMF_INPUT | ACM_FORMATENUMF_OUTPUT, ACM_FORMATENUMF_INPUT,
                             ACM_FORMATENUMF_OUTPUT, 0};
    for (unsigned i = 0; i < count; ++i) {
        const std::uint8_t kind = in.byte();
        simulated::CodecFormat f;
        f.offeredFor = offered[kind & 3];
        const unsigned source = (kind >> 2) & 3;
        if (source == 1 && !m.formats.empty()) {
            // the same header again, with other extra bytes
            f.header = m.formats[in.byte() % m.formats.size()].header;
            f.header.cbSize = cbSizeFrom(in.word());
        } else if (source == 2 && !m.formats.empty()) {
            // one field changed: a near duplicate, possibly equal in sort order
            f.header = m.formats[in.byte() % m.formats.size()].header;
            const std::uint8_t field = in.byte();
            const DWORD value = in.dword();
            switch (field % 6) {
            case 0:
                f.header.nAvgBytesPerSec = value;
                break;
            case 1:
                f.header.nBlockAlign = static_cast<WORD>(value);
                break;
            case 2:
                f.header.nSamplesPerSec = value;
                break;
            case 3:
                f.header.wBitsPerSample = static_cast<WORD>(value);
                break;
            case 4:
                f.header.nChannels = static_cast<WORD>(value);
                break;
            default:
                f.header.wFormatTag = static_cast<WORD>(value);
                break;
            }
        } else {
            f.header.wFormatTag = in.word();
            f.header.nChannels = in.word();
            f.header.nSamplesPerSec = in.dword();
            f.header.nAvgBytesPerSec = in.dword();
            f.header.nBlockAlign = in.word();
            f.header.wBitsPerSample = in.word();
            f.header.cbSize = cbSizeFrom(in.word());
        }
        m.formats.push_back(f);
    }
}

void readTags(Input& in, simulated::Machine& m) {
    const unsigned count = in.byte() % 17;
    for (unsigned i = 0; i < count; ++i) {
        const std::uint8_t kind = in.byte();
        simulated::FormatTag t;
        if ((kind & 4) != 0 && !m.formats.empty())
            t.tag = m.formats[in.byte() % m.formats.size()].header.wFormatTag;
        else
            t.tag = in.word();
        in.text(t.name);
        if ((kind & 3) == 3)
            t.detailsResult = in.pick(failures);
        m.tags.push_back(t);
    }
}

void readMetric(Input& in, simulated::Machine& m) {
    switch (in.byte() % 6) {
    case 1:
        m.metricsResult = in.pick(failures);
        break;
    case 2:
        m.largestFormatSize = in.byte(); // around the header's 18 bytes
        break;
    case 3:
        m.largestFormatSize = in.word();
        break;
    case 4:
        m.largestFormatSize = in.pick(hugeSizes);
        break;
    default:
        break; // the largest format offered
    }
}

void readFault(Input& in, simulated::EnumerationFault* fault) {
    const std::uint8_t code = in.byte();
    if ((code & 1) == 0)
        return;
    fault->result = failures[(code >> 1) % std::size(failures)];
    fault->delivered = in.byte() % 80;
}

void readDevices(Input& in, const simulated::Machine& m, std::vector<simulated::Device>* devices,
                 std::optional<UINT>* reported) {
    const unsigned count = in.byte() % 9;
    for (unsigned i = 0; i < count; ++i) {
        simulated::Device d;
        const std::uint8_t kind = in.byte();
        if ((kind & 3) == 3)
            d.capsResult = in.pick(failures);
        d.wMid = in.word();
        d.dwFormats = in.dword();
        in.text(d.szPname);
        d.refusal = in.pick(refusals);
        const unsigned accepted = in.byte() % 9;
        for (unsigned a = 0; a < accepted; ++a) {
            const std::uint8_t how = in.byte();
            FormatHeader h{};
            if ((how & 1) == 0 && !m.formats.empty()) {
                h = m.formats[in.byte() % m.formats.size()].header;
                if ((how & 2) == 0)
                    h.cbSize = 0; // as the catalogue keeps it
            } else {
                h.wFormatTag = in.word();
                h.nChannels = in.word();
                h.nSamplesPerSec = in.dword();
                h.nAvgBytesPerSec = in.dword();
                h.nBlockAlign = in.word();
                h.wBitsPerSample = in.word();
                h.cbSize = in.word();
            }
            d.accepts.push_back(h);
        }
        devices->push_back(d);
    }
    switch (in.byte() % 5) {
    case 1: // a few more or fewer than there are
        *reported = static_cast<UINT>(devices->size() + static_cast<std::int8_t>(in.byte()));
        break;
    case 2:
        *reported = in.dword();
        break;
    case 3:
        *reported = in.pick(oddCounts);
        break;
    default:
        break; // the number of devices
    }
}

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

// Driver text as the report shows it: up to the first NUL, control bytes as '?'.
std::string shown(const char* text, std::size_t limit) {
    std::string s;
    for (std::size_t i = 0; i < limit && text[i] != '\0'; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        s += byte < 0x20 || byte == 0x7F ? '?' : text[i];
    }
    return s;
}

// The tag's name as the report must show it: the first tag entry the manager
// finds answers, and a refused or missing one shows as "???".
std::string shownTagName(const simulated::Machine& m, WORD tag) {
    for (const simulated::FormatTag& t : m.tags)
        if (t.tag == tag)
            return t.detailsResult == MMSYSERR_NOERROR ? shown(t.name, sizeof t.name) : "???";
    return "???";
}

bool accepts(const simulated::Device& d, const FormatHeader& h) {
    return d.refusal == MMSYSERR_NOERROR || listed(d.accepts, h);
}

// How many catalogue formats the device is asked: all, or up to the first it
// refuses as a device that is no longer there.
std::size_t askedOf(const simulated::Device& d, const std::vector<FormatHeader>& known) {
    const bool gone = d.refusal == MMSYSERR_NODRIVER || d.refusal == MMSYSERR_BADDEVICEID;
    for (std::size_t i = 0; i < known.size(); ++i)
        if (gone && !accepts(d, known[i]))
            return i + 1;
    return known.size();
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
    // Identifiers run from 0 without holes; a count read as negative lists
    // nothing, and the first unknown identifier ends the list.
    std::vector<long> ids;
    const auto count =
        static_cast<std::int32_t>(reported ? *reported : static_cast<UINT>(devices.size()));
    for (std::int32_t id = 0; id < count; ++id) {
        const auto i = static_cast<std::size_t>(id);
        if (i >= devices.size() || devices[i].capsResult == MMSYSERR_BADDEVICEID)
            break;
        if (devices[i].capsResult == MMSYSERR_NOERROR)
            ids.push_back(id);
    }
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

std::vector<FormatHeader> catalogue() {
    std::vector<FormatHeader> records;
    for (ListNode* n = knownFormats.headNode(); n != nullptr; n = n->next) {
        expect(n->data != nullptr, "a catalogue node without a record");
        records.push_back(*static_cast<const FormatHeader*>(n->data));
    }
    return records;
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    resetEverything();
    Input in(data, size);
    simulated::Machine& m = simulated::machine();
    readFormats(in, m);
    readTags(in, m);
    readMetric(in, m);
    readFault(in, &m.inputEnumeration);
    readFault(in, &m.outputEnumeration);
    readDevices(in, m, &m.inputs, &m.inputCount);
    readDevices(in, m, &m.outputs, &m.outputCount);
    const simulated::Machine furnished = m; // the program only reads it

    const std::uint8_t memory = in.byte();
    const bool memoryFails = (memory & 1) != 0;
    if (memoryFails)
        simulated::failAllocation(1 + in.word() % 1024, (memory & 2) != 0);

    const ProgramRun slow = runWithArguments({});
    const std::vector<FormatHeader> known = catalogue();
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

    resetEverything();
    return 0;
}
