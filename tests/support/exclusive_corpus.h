// Simulated endpoints for the exclusive-mode probe: device classes as they are
// found in machines, and devices made to trip the probe's pruning.
#pragma once

#include "exclusive/exclusive_probe.h"
#include "platform/simulated_machine.h"

#include <vector>

// What the pruned probe gives on a device: exactly the brute-force findings, or
// fewer, where the device breaks an assumption in a way the probe cannot see.
enum class PrunedOutcome { Exact, Misses };

struct CorpusDevice {
    const char* name;
    bool realistic;
    PrunedOutcome outcome;
    std::vector<unsigned char> mixFormat; // as the endpoint gives it
    simulated::ExclusiveProfile profile;  // refuses anything malformed
};

const std::vector<CorpusDevice>& exclusiveCorpus();

ProbeStart startOf(const CorpusDevice& device);

// Asks the device's profile, the answer sorted as the endpoint service sorts it.
FormatQuestion questionTo(const CorpusDevice& device);
