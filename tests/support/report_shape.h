// Reads a whole run's output back: the banner, then either the usage text or the
// two device sections, each device line followed by its block of format lines.
#pragma once

#include <string>
#include <vector>

struct ReportedDevice {
    long id = -1;
    std::string line;                 // the whole device line
    std::vector<std::string> formats; // the block's lines between its empty lines
};

struct ParsedReport {
    bool usage = false;
    std::vector<ReportedDevice> inputs;
    std::vector<ReportedDevice> outputs;
};

// Parses `output` (lines ended by "\n"). Gives an empty text when the output has
// the program's shape, or else a description of the first line that does not.
std::string parseReport(const std::string& output, ParsedReport* parsed);

// The same for what one report wrote after the banner.
std::string parseSections(const std::string& sections, ParsedReport* parsed);
