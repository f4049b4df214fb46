// The two run modes: the input and output sections, one line per device, and
// under each device the formats found for it.
#pragma once

// Lists each device's standard PCM capability bits.
void quickReport();

// Builds the codec format catalogue, then lists what each device accepts of it.
void slowReport();
