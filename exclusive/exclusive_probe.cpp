// Brute force asks every shape of every cell (type, channel count, rate); a
// real device answers each in about a millisecond, so that is seconds a device.
// The pruned probe asks far less on the strength of two assumptions, each per
// sample type:
//
//   A. Product: the cells a type is accepted at are every pairing of a set of
//      channel counts with a set of rates.
//   B. Shared anchor: a type the device takes at all, it takes somewhere on the
//      cross through the seed cell: on the seed's row (its channel count) at a
//      rate some other type takes on that row, or on the seed's column (its
//      rate) at a count some other type takes on that column.
//
// Nothing is assumed of shapes: a cell is always asked its shapes in order up to
// the first it takes, so the shape it is listed under is the one brute force
// finds. The seed is the mix format's cell, else the first of a few common ones
// that any type takes; with none, the device is asked in full.
//
// A type taken at the seed: its row and its column are asked whole, giving the
// rates R and counts C. Then, to notice the ways devices break A (fewer channels
// at high rates, a bandwidth limit):
//   - each rate refused on the row is asked at the smallest count of C, up to
//     that count's shape on the column;
//   - each count refused on the column is asked at the lowest rate of R;
//   - every other cell of C x R is asked, expecting it taken.
// Any of these going against A has the type's whole plane asked. A type refused
// at the seed is asked at the row's and column's cells other types took; the
// first it takes becomes its own seed. Each type found may add cells there, so
// the refused types are gone over again until a pass finds none.
//
// Every question goes through one cache, so no (cell, shape) is asked twice and
// the probe never asks more than brute force. Only cells asked and seen taken
// are listed: a device that breaks the assumptions unnoticed loses formats from
// the report but never gains one it refused.
#include "exclusive/exclusive_probe.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <optional>

namespace {

constexpr std::size_t noShape = static_cast<std::size_t>(-1);

// A device answer that ends the probe, with what to report; Ok when it does not.
ExclusiveStatus stopFor(EndpointAnswer answer) {
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
        p.status = stopFor(a);
        p.answered = p.answered || answered(a);
        known = a == EndpointAnswer::Ok ? 1 : 0;
    }
    return known == 1;
}

// Asks the cell's shapes in order, up to `last`, until one is taken.
std::size_t firstTaken(Probe& p, Cell cell, std::size_t last) {
    for (std::size_t k = 0; k <= last && !p.stopped(); ++k)
        if (taken(p, cell, k))
            return k;
    return noShape;
}

std::size_t cellAnswer(Probe& p, Cell cell) {
    return firstTaken(p, cell, p.m.shapesOf(cell.type, cell.count).size() - 1);
}

void askPlane(Probe& p, std::size_t type) {
    for (std::size_t c = 0; c < p.m.counts.size(); ++c)
        for (std::size_t r = 0; r < matrixRateCount; ++r)
            cellAnswer(p, {type, c, r});
}

// Asks the type's row and column through the seed, then whatever would show
// that its cells are not their product; false when they are not.
bool productHolds(Probe& p, Cell seed) {
    const std::size_t t = seed.type;
    std::vector<std::size_t> rates;
    for (std::size_t r = 0; r < matrixRateCount; ++r)
        if (cellAnswer(p, {t, seed.count, r}) != noShape)
            rates.push_back(r);
    std::vector<std::size_t> counts;
    std::vector<std::size_t> shapeOf(p.m.counts.size(), noShape);
    for (std::size_t c = 0; c < p.m.counts.size(); ++c) {
        shapeOf[c] = cellAnswer(p, {t, c, seed.rate});
        if (shapeOf[c] != noShape)
            counts.push_back(c);
    }
    if (p.stopped() || rates.empty() || counts.empty())
        return !p.stopped();

    const std::size_t fewest = counts.front();
    for (std::size_t r = 0; r < matrixRateCount; ++r)
        if (!std::binary_search(rates.begin(), rates.end(), r) &&
            firstTaken(p, {t, fewest, r}, shapeOf[fewest]) != noShape)
            return false;
    const std::size_t lowest = rates.front();
    for (std::size_t c = 0; c < p.m.counts.size(); ++c)
        if (shapeOf[c] == noShape && cellAnswer(p, {t, c, lowest}) != noShape)
            return false;
    for (std::size_t c : counts)
        for (std::size_t r : rates)
            if (cellAnswer(p, {t, c, r}) == noShape)
                return false;
    return true;
}

void examineType(Probe& p, Cell seed) {
    if (!productHolds(p, seed))
        askPlane(p, seed.type);
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

bool anyTypeTaken(Probe& p, std::size_t count, std::size_t rate) {
    for (std::size_t t = 0; t < sampleTypeCount; ++t)
        if (knownAnswer(p, {t, count, rate}) != noShape)
            return true;
    return false;
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

// For a type refused at the seed: the first cell of the seed's row or column
// that another type takes there and this one takes too.
std::optional<Cell> anchorOnCross(Probe& p, std::size_t type, Cell seed) {
    for (std::size_t r = 0; r < matrixRateCount && !p.stopped(); ++r)
        if (anyTypeTaken(p, seed.count, r) && cellAnswer(p, {type, seed.count, r}) != noShape)
            return Cell{type, seed.count, r};
    for (std::size_t c = 0; c < p.m.counts.size() && !p.stopped(); ++c)
        if (anyTypeTaken(p, c, seed.rate) && cellAnswer(p, {type, c, seed.rate}) != noShape)
            return Cell{type, c, seed.rate};
    return std::nullopt;
}

void probeFromSeed(Probe& p, Cell seed) {
    std::vector<bool> examined(sampleTypeCount, false);
    for (std::size_t t = 0; t < sampleTypeCount && !p.stopped(); ++t)
        if (cellAnswer(p, {t, seed.count, seed.rate}) != noShape) {
            examineType(p, {t, seed.count, seed.rate});
            examined[t] = true;
        }
    // A type found on the cross may add cells there for the others: go round
    // until a pass finds none.
    for (bool found = true; found && !p.stopped();) {
        found = false;
        for (std::size_t t = 0; t < sampleTypeCount && !p.stopped(); ++t) {
            if (examined[t])
                continue;
            if (const std::optional<Cell> anchor = anchorOnCross(p, t, seed)) {
                examineType(p, *anchor);
                examined[t] = true;
                found = true;
            }
        }
    }
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
                        findings.status = stopFor(a);
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

        if (const std::optional<Cell> seed = findSeed(p, start))
            probeFromSeed(p, *seed);
        else
            for (std::size_t t = 0; t < sampleTypeCount; ++t)
                askPlane(p, t);
        return findingsOf(p);
    } catch (const std::bad_alloc&) {
        // Out of memory, here or in the question: as if the device had said so.
        ExclusiveFindings findings;
        findings.status = ExclusiveStatus::Unavailable;
        findings.questions = p.questions;
        return findings;
    }
}
