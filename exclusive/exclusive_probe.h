// What a device takes in exclusive mode, over the whole matrix of sample types,
// channel counts and rates, found with as few questions as it can.
#pragma once

#include "exclusive/format_matrix.h"
#include "platform/endpoint_services.h"

#include <cstddef>
#include <functional>
#include <vector>

// Why nothing could be asked, or Ok. The last three are found around the
// probe: a call that passed its time limit, an endpoint out of use, and an
// endpoint whose answers took longer in all than its budget.
enum class ExclusiveStatus {
    Ok,
    NotAllowed,
    Busy,
    Gone,
    AccessDenied,
    Unavailable,
    NotAnswering,
    Inactive,
    TooSlow,
};

// A device answer that ends the probe, with what to report; Ok for one that
// does not (a yes, a no, a failure that leaves other formats to ask).
ExclusiveStatus probeStopOf(EndpointAnswer answer);

// What the probe knows of the device before it asks: its shared-mode mix
// format, where one could be read (0 and none otherwise).
struct ProbeStart {
    unsigned mixChannels = 0;
    DWORD mixRate = 0;
    DWORD mixMask = 0;
};

// The start read from the mix format's bytes (the header and its extra bytes);
// all 0 when they cannot be read.
ProbeStart probeStartOf(const unsigned char* mixFormat, std::size_t size);
ProbeStart probeStartOf(const FormatReading& mix);

// One (type, channel count, shape) the device takes, with every rate it takes
// it at. A cell is listed under the first shape of shapesFor() that it took.
struct ExclusiveFormat {
    SampleType sample;
    unsigned channels;
    FormatShape shape;
    std::vector<DWORD> rates; // rising
};

struct ExclusiveFindings {
    ExclusiveStatus status = ExclusiveStatus::Unavailable;
    // Sorted by type, then channels, then the shape's place in shapesFor();
    // empty unless the status is Ok.
    std::vector<ExclusiveFormat> formats;
    unsigned long questions = 0; // calls made to the device
};

// Asks the device one format (the header and its extra bytes).
using FormatQuestion = std::function<EndpointAnswer(const WAVEFORMATEX* format)>;

// Both probes report Unavailable, with no formats, when memory runs out, in the
// probe or in a question.

// Asks every shape of every cell: the answer the pruned probe must equal.
ExclusiveFindings probeEveryFormat(const ProbeStart& start, const FormatQuestion& ask);

// The same answer with far fewer questions, for devices that behave as real
// ones do (the assumptions are written in exclusive_probe.cpp); a device that
// breaks them can lose formats from the answer, never gain one. A device that
// answers the first questions (the seed's search) with failures alone is
// Unavailable after them, as brute force finds it after all of its own.
ExclusiveFindings probeExclusiveFormats(const ProbeStart& start, const FormatQuestion& ask);
