// Brute force asks every shape of every cell (type, channel count, rate); a
// real device answers each in about a millisecond, so that is seconds a device.
// The pruned probe asks a few lines of the matrix instead: whole columns (every
// count at one rate) and the seed's row to find which types and counts a device
// takes, then whole rows (every rate at one count) for each count found. It
// relies on two assumptions, and nothing else:
//
//   A. Types: a type the device takes at all, it takes at the seed, in the
//      seed's count at 48 kHz or above, or somewhere at 96 kHz, or else at 48
//      kHz or the seed's rate in a channel count that a type found in one of
//      these ways takes.
//   B. Counts: a channel count a type takes at all, other than mono and stereo,
//      it takes at 48 kHz, at 96 kHz, at the seed's rate, or at the lowest or
//      the highest rate at which that type takes mono or stereo.
//
// Nothing is assumed of rates: each count found is asked at every rate, so a
// type may take different rates at each count, in any pattern. Nothing is
// assumed of shapes: a cell is asked its shapes in order up to the first it
// takes, so the shape it is listed under is the one brute force finds. The seed
// is the mix format's cell when some type takes it, else the first of a few
// common ones (stereo or mono at 48 or 44.1 kHz, mono at 16 or 8 kHz, ...) that
// some type takes.
//
// So every type is asked at the seed, along the seed's row from 48 kHz up and
// down the 96 kHz column, and at 48 kHz and the seed's rate in the counts of the
// types found so far. A type seen there is asked along the rows of mono and
// stereo, then down the columns at 48 and 96 kHz, the seed's rate and the two
// ends of those rows, which show its counts (B), then along the row of each of
// its counts. A type found brings counts to look for the others in, so the
// types not yet seen are gone over again until a pass finds none.
//
// The classes met in machines keep both: USB DACs with each bit depth on its
// own alternate setting at its own rates, 16 bits only up to 48 kHz and the
// wider types only above, or the widest type on a setting for the high rates
// alone (32 bits only from 176.4 kHz: in stereo, the seed's count, up there);
// HDMI sinks with surround only at some rates (it is at 48 kHz or 96 kHz);
// interfaces trading channels for rate, by halves (8, 4, 2) or by their
// optical channels (18 to 48 kHz, 14 at 96, 10 at the top rate, where stereo
// stops too); speakers whose mono path stops below stereo's; speakerphones and
// headsets with mono only at 16 kHz beside stereo at 48 kHz; a header shape
// that changes with the rate.
//
// The probe's three promises:
//   1. It never lists a format the device refused: only cells asked and seen
//      taken are listed.
//   2. It never asks more than brute force: every question goes through one
//      cache, so no (cell, shape) is asked twice.
//   3. On every device that keeps A and B it gives exactly brute force's
//      answer. The mix format only chooses the seed, and the classes above
//      keep A and B whatever it is, or with none: their answer does not
//      depend on it.
// A device that breaks them loses formats, never gains one: a type taken
// neither at the seed, nor in the seed's count from 48 kHz up, nor anywhere at
// 96 kHz, nor at 48 kHz or the seed's rate in another type's counts is missing
// whole (24 bits only at 32 and 44.1 kHz beside 16 bits at 48, the mix's
// rate), and a count beyond stereo that a type takes only strictly inside its
// mono and stereo range, away from 48 kHz, 96 kHz and the seed's rate, is
// missing from that type (5.1 only at 88.2 kHz beside stereo from 44.1 to
// 192). A device that takes nothing on the probe's lines is asked in full; one
// that answers the seed's search with failures alone, neither a yes nor a no,
// is asked no further.
#include "exclusive/exclusive_probe.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <optional>

namespace {

constexpr std::size_t noShape = static_cast<std::size_t>(-1);

// A yes or a no. A device that gave neither to any question was not asked at
// all, whatever the failure was; "nothing accepted" would say it had been.
bool answered(EndpointAnswer answer) {
    return answer == EndpointAnswer::Ok || answer == EndpointAnswer::Refused;
}

struct Cell {
    std::size_t type;
    std::size_t count; // index into the channel counts
    std::size_t rate;  // index into matrixRates
};

// The whole matrix of one device: its channel counts and the shapes of each
// (type, count).
struct Matrix {
    std::vector<unsigned> counts;
    std::vector<std::vector<FormatShape>> shapes; // per type and count index

    const std::vector<FormatShape>& shapesOf(std::size_t type, std::size_t count) const {
        return shapes[type * counts.size() + count];
    }
    std::size_t cellIndex(Cell cell) const {
        return (cell.type * counts.size() + cell.count) * matrixRateCount + cell.rate;
    }
    std::size_t cellCount() const { return sampleTypeCount * counts.size() * matrixRateCount; }
};

Matrix matrixFor(const ProbeStart& start) {
    Matrix m;
    m.counts = matrixChannelCounts(start.mixChannels);
    for (std::size_t t = 0; t < sampleTypeCount; ++t)
        for (unsigned c : m.counts)
            m.shapes.push_back(
                shapesFor(static_cast<SampleType>(t), c, start.mixChannels, start.mixMask));
    return m;
}

// The first shape each cell was taken with (noShape: none), as findings: cells
// grouped by type, count and shape, in that order, each with its rates.
std::vector<ExclusiveFormat> formatsOf(const Matrix& m, const std::vector<std::size_t>& taken) {
    std::vector<ExclusiveFormat> formats;
    for (std::size_t t = 0; t < sampleTypeCount; ++t)
        for (std::size_t c = 0; c < m.counts.size(); ++c) {
            const std::vector<FormatShape>& shapes = m.shapesOf(t, c);
            for (std::size_t k = 0; k < shapes.size(); ++k) {
                ExclusiveFormat f{static_cast<SampleType>(t), m.counts[c], shapes[k], {}};
                for (std::size_t r = 0; r < matrixRateCount; ++r)
                    if (taken[m.cellIndex({t, c, r})] == k)
                        f.rates.push_back(matrixRates[r]);
                if (!f.rates.empty())
                    formats.push_back(f);
            }
        }
    return formats;
}

EndpointAnswer askShape(const FormatQuestion& ask, SampleType type, unsigned channels, DWORD rate,
                        FormatShape shape) {
    const WAVEFORMATEXTENSIBLE f = queryFormat(type, channels, rate, shape);
    return ask(&f.Format);
}

// The pruned probe's state: every answer had, per cell and shape.
struct Probe {
    const FormatQuestion* ask = nullptr;
    Matrix m;
    std::size_t maxShapes = 0;
    std::vector<signed char> answers; // -1 not asked, 0 refused, 1 taken
    ExclusiveStatus status = ExclusiveStatus::Ok;
    unsigned long questions = 0;
    bool answered = false; // some question had a yes or a no, not only failures

    bool stopped() const { return status != ExclusiveStatus::Ok; }
    signed char& answer(Cell cell, std::size_t shape) {
        return answers[m.cellIndex(cell) * maxShapes + shape];
    }
};

bool taken(Probe& p, Cell cell, std::size_t shape) {
    signed char& known = p.answer(cell, shape);
    if (known < 0 && !p.stopped()) {
        ++p.questions;
        const EndpointAnswer a =
            askShape(*p.ask, static_cast<SampleType>(cell.type), p.m.counts[cell.count],
                     matrixRates[cell.rate], p.m.shapesOf(cell.type, cell.count)[shape]);
        p.status = probeStopOf(a);
        p.answered = p.answered || answered(a);
        known = a == EndpointAnswer::Ok ? 1 : 0;
    }
    return known == 1;
}

// Asks the cell's shapes in order until one is taken.
std::size_t cellAnswer(Probe& p, Cell cell) {
    const std::size_t shapes = p.m.shapesOf(cell.type, cell.count).size();
    for (std::size_t k = 0; k < shapes && !p.stopped(); ++k)
        if (taken(p, cell, k))
            return k;
    return noShape;
}

void askPlane(Probe& p, std::size_t type) {
    for (std::size_t c = 0; c < p.m.counts.size(); ++c)
        for (std::size_t r = 0; r < matrixRateCount; ++r)
            cellAnswer(p, {type, c, r});
}

// Whether the type is taken anywhere on the count's row.
bool askRow(Probe& p, std::size_t type, std::size_t count) {
    bool any = false;
    for (std::size_t r = 0; r < matrixRateCount; ++r)
        any = cellAnswer(p, {type, count, r}) != noShape || any;
    return any;
}

void askColumn(Probe& p, std::size_t type, std::size_t rate) {
    for (std::size_t c = 0; c < p.m.counts.size(); ++c)
        cellAnswer(p, {type, c, rate});
}

// What is known of a cell: the first shape taken, when every one before it was
// asked and refused.
std::size_t knownAnswer(Probe& p, Cell cell) {
    const std::size_t shapes = p.m.shapesOf(cell.type, cell.count).size();
    for (std::size_t k = 0; k < shapes; ++k) {
        const signed char a = p.answer(cell, k);
        if (a != 0)
            return a == 1 ? k : noShape;
    }
    return noShape;
}

std::optional<std::size_t> indexOf(const std::vector<unsigned>& counts, unsigned count) {
    const auto at = std::find(counts.begin(), counts.end(), count);
    if (at == counts.end())
        return std::nullopt;
    return static_cast<std::size_t>(at - counts.begin());
}

std::optional<std::size_t> rateIndexOf(DWORD rate) {
    const auto at = std::find(matrixRates, matrixRates + matrixRateCount, rate);
    if (at == matrixRates + matrixRateCount)
        return std::nullopt;
    return static_cast<std::size_t>(at - matrixRates);
}

// The first candidate cell that any type takes: the mix format's, then those
// most devices take. Its type is left at 0.
std::optional<Cell> findSeed(Probe& p, const ProbeStart& start) {
    struct Candidate {
        unsigned channels;
        DWORD rate;
    };
    const Candidate candidates[] = {
        {start.mixChannels, start.mixRate},
        {2, 48000},
        {2, 44100},
        {1, 48000},
        {1, 44100},
        {1, 16000},
        {1, 8000},
        {2, 96000},
        {6, 48000},
        {8, 48000},
    };
    for (const Candidate& candidate : candidates) {
        const std::optional<std::size_t> c = indexOf(p.m.counts, candidate.channels);
        const std::optional<std::size_t> r = rateIndexOf(candidate.rate);
        if (!c || !r)
            continue;
        for (std::size_t t = 0; t < sampleTypeCount && !p.stopped(); ++t)
            if (cellAnswer(p, {t, *c, *r}) != noShape)
                return Cell{0, *c, *r};
    }
    return std::nullopt;
}

// Where the probe looks for types and for their channel counts.
struct Lines {
    std::optional<Cell> seed;
    std::size_t at48 = 0;
    std::size_t at96 = 0;
    std::vector<std::size_t> countColumns; // 48 and 96 kHz and the seed's rate
};

Lines linesFrom(std::optional<Cell> seed) {
    Lines lines;
    lines.seed = seed;
    lines.at48 = *rateIndexOf(48000);
    lines.at96 = *rateIndexOf(96000);
    lines.countColumns = {lines.at48, lines.at96};
    if (seed && std::find(lines.countColumns.begin(), lines.countColumns.end(), seed->rate) ==
                    lines.countColumns.end())
        lines.countColumns.push_back(seed->rate);
    return lines;
}

// Whether the device takes the type where every type it takes is taken: at the
// seed or in its count from 48 kHz up, anywhere at 96 kHz, or in the columns at
// a count a type found takes.
bool typeSeen(Probe& p, std::size_t type, const Lines& lines, const std::vector<bool>& counts) {
    bool seen = false;
    if (lines.seed) {
        seen = cellAnswer(p, {type, lines.seed->count, lines.seed->rate}) != noShape;
        for (std::size_t r = lines.at48; r < matrixRateCount; ++r)
            seen = cellAnswer(p, {type, lines.seed->count, r}) != noShape || seen;
    }
    for (std::size_t c = 0; c < p.m.counts.size(); ++c) {
        seen = cellAnswer(p, {type, c, lines.at96}) != noShape || seen;
        if (counts[c])
            for (std::size_t r : lines.countColumns)
                seen = cellAnswer(p, {type, c, r}) != noShape || seen;
    }
    return seen;
}

bool takenAnyOf(Probe& p, std::size_t type, std::size_t count,
                const std::vector<std::size_t>& rates) {
    for (std::size_t r : rates)
        if (knownAnswer(p, {type, count, r}) != noShape)
            return true;
    return false;
}

// The lowest and the highest rate at which the type takes mono or stereo, when
// it takes either (both rows asked).
std::vector<std::size_t> monoStereoEnds(Probe& p, std::size_t type) {
    std::vector<std::size_t> rates;
    for (std::size_t r = 0; r < matrixRateCount; ++r)
        for (std::size_t c = 0; c < p.m.counts.size() && p.m.counts[c] <= 2; ++c)
            if (knownAnswer(p, {type, c, r}) != noShape) {
                rates.push_back(r);
                break;
            }
    if (rates.size() > 2)
        rates.erase(rates.begin() + 1, rates.end() - 1);
    return rates;
}

// A type seen: mono and stereo rows are asked whatever else shows; then the
// columns, which show every count it takes, and each count's row every rate.
// The ends of the mono and stereo rows are where counts change with the rate
// band: fewest channels at the top, a count of its own at the bottom.
void askType(Probe& p, std::size_t type, const Lines& lines, std::vector<bool>& counts) {
    for (std::size_t c = 0; c < p.m.counts.size() && p.m.counts[c] <= 2; ++c)
        counts[c] = askRow(p, type, c) || counts[c];
    std::vector<std::size_t> columns = lines.countColumns;
    for (std::size_t r : monoStereoEnds(p, type))
        if (std::find(columns.begin(), columns.end(), r) == columns.end())
            columns.push_back(r);
    for (std::size_t r : columns)
        askColumn(p, type, r);
    for (std::size_t c = 0; c < p.m.counts.size(); ++c)
        if (p.m.counts[c] > 2 && takenAnyOf(p, type, c, columns))
            counts[c] = askRow(p, type, c) || counts[c];
}

void probeLines(Probe& p, const Lines& lines) {
    std::vector<bool> found(sampleTypeCount, false);
    std::vector<bool> counts(p.m.counts.size(), false); // taken by a type found
    // A type found may take counts the others were not yet looked for in.
    for (bool more = true; more && !p.stopped();) {
        more = false;
        for (std::size_t t = 0; t < sampleTypeCount && !p.stopped(); ++t)
            if (!found[t] && typeSeen(p, t, lines, counts)) {
                askType(p, t, lines, counts);
                found[t] = more = true;
            }
    }
    // Nothing on those lines: no line to start from, so the whole matrix.
    if (std::find(found.begin(), found.end(), true) == found.end())
        for (std::size_t t = 0; t < sampleTypeCount; ++t)
            askPlane(p, t);
}

ExclusiveFindings findingsOf(Probe& p) {
    ExclusiveFindings findings;
    findings.status = p.status;
    findings.questions = p.questions;
    if (!p.stopped() && !p.answered)
        findings.status = ExclusiveStatus::Unavailable;
    if (findings.status != ExclusiveStatus::Ok)
        return findings;
    std::vector<std::size_t> taken(p.m.cellCount());
    for (std::size_t t = 0; t < sampleTypeCount; ++t)
        for (std::size_t c = 0; c < p.m.counts.size(); ++c)
            for (std::size_t r = 0; r < matrixRateCount; ++r)
                taken[p.m.cellIndex({t, c, r})] = knownAnswer(p, {t, c, r});
    findings.formats = formatsOf(p.m, taken);
    return findings;
}

} // namespace

ExclusiveStatus probeStopOf(EndpointAnswer answer) {
    switch (answer) {
    case EndpointAnswer::NotAllowed:
        return ExclusiveStatus::NotAllowed;
    case EndpointAnswer::Busy:
        return ExclusiveStatus::Busy;
    case EndpointAnswer::Gone:
    case EndpointAnswer::NotFound:
        return ExclusiveStatus::Gone;
    case EndpointAnswer::AccessDenied:
        return ExclusiveStatus::AccessDenied;
    case EndpointAnswer::NoMemory:
        return ExclusiveStatus::Unavailable;
    default:
        return ExclusiveStatus::Ok;
    }
}

ProbeStart probeStartOf(const FormatReading& mix) {
    return {mix.channels, mix.rate, mix.channelMask.value_or(0)};
}

ProbeStart probeStartOf(const unsigned char* mixFormat, std::size_t size) {
    const std::optional<FormatReading> mix = readFormat(mixFormat, size);
    return mix ? probeStartOf(*mix) : ProbeStart();
}

ExclusiveFindings probeEveryFormat(const ProbeStart& start, const FormatQuestion& ask) {
    ExclusiveFindings findings;
    try {
        const Matrix m = matrixFor(start);
        std::vector<std::size_t> taken(m.cellCount(), noShape);
        bool anyAnswer = false;
        for (std::size_t t = 0; t < sampleTypeCount; ++t)
            for (std::size_t c = 0; c < m.counts.size(); ++c)
                for (std::size_t r = 0; r < matrixRateCount; ++r) {
                    const std::size_t cell = m.cellIndex({t, c, r});
                    const std::vector<FormatShape>& shapes = m.shapesOf(t, c);
                    for (std::size_t k = 0; k < shapes.size(); ++k) {
                        ++findings.questions;
                        const EndpointAnswer a = askShape(ask, static_cast<SampleType>(t),
                                                          m.counts[c], matrixRates[r], shapes[k]);
                        findings.status = probeStopOf(a);
                        if (findings.status != ExclusiveStatus::Ok)
                            return findings;
                        anyAnswer = anyAnswer || answered(a);
                        if (a == EndpointAnswer::Ok && taken[cell] == noShape)
                            taken[cell] = k;
                    }
                }
        if (!anyAnswer) {
            findings.status = ExclusiveStatus::Unavailable;
            return findings;
        }
        findings.formats = formatsOf(m, taken);
    } catch (const std::bad_alloc&) {
        findings.status = ExclusiveStatus::Unavailable;
        findings.formats.clear();
    }
    return findings;
}

ExclusiveFindings probeExclusiveFormats(const ProbeStart& start, const FormatQuestion& ask) {
    Probe p;
    p.ask = &ask;
    try {
        p.m = matrixFor(start);
        for (const std::vector<FormatShape>& shapes : p.m.shapes)
            p.maxShapes = std::max(p.maxShapes, shapes.size());
        p.answers.assign(p.m.cellCount() * p.maxShapes, -1);

        const std::optional<Cell> seed = findSeed(p, start);
        // Failures alone to the formats nearly every device takes: it cannot
        // be asked, and the rest of the matrix would fail the same way.
        if (p.answered)
            probeLines(p, linesFrom(seed));
        return findingsOf(p);
    } catch (const std::bad_alloc&) {
        // Out of memory, here or in the question: as if the device had said so.
        ExclusiveFindings findings;
        findings.status = ExclusiveStatus::Unavailable;
        findings.questions = p.questions;
        return findings;
    }
}
