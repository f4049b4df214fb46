#include "support/report_shape.h"

#include "support/expected_texts.h"

#include <regex>

namespace {

// Driver text: any bytes but control bytes.
const char* const text = "[^\\x00-\\x1f\\x7f]*";

class LineReader {
public:
    explicit LineReader(const std::string& output) {
        std::size_t start = 0;
        while (start < output.size()) {
            std::size_t end = output.find('\n', start);
            if (end == std::string::npos) {
                unterminated = true;
                end = output.size();
            }
            lines.push_back(output.substr(start, end - start));
            start = end + 1;
        }
    }
    bool atEnd() const { return next >= lines.size(); }
    const std::string& peek() const { return lines[next]; }
    std::string take() { return atEnd() ? std::string("<end of output>") : lines[next++]; }
    std::size_t lineNumber() const { return next; }
    bool unterminated = false;

private:
    std::vector<std::string> lines;
    std::size_t next = 0;
};

std::string where(const LineReader& reader, const std::string& what, const std::string& line) {
    return "line " + std::to_string(reader.lineNumber()) + ": " + what + ": \"" + line + "\"";
}

std::string expectLine(LineReader& reader, const std::string& wanted) {
    const std::string line = reader.take();
    return line == wanted ? std::string() : where(reader, "expected \"" + wanted + "\"", line);
}

std::string readSection(LineReader& reader, const char* title, const char* underline,
                        std::vector<ReportedDevice>* devices) {
    // A device whose driver hangs is listed by its number, and a query that
    // hangs ends its block; a count that hangs lists no device.
    static const std::regex deviceLine(std::string("(0|[1-9][0-9]*)\\.\\t(") + text + " / " + text +
                                       "|not answering)");
    static const std::regex formatLine(std::string("\\t\\t(") + text +
                                       ",  {0,2}[0-9]+\\.[0-9]{3} kHz, (mono,  |stereo,)"
                                       " {0,2}[0-9]+ bit|not answering)");
    for (const char* wanted : {title, underline, ""})
        if (std::string problem = expectLine(reader, wanted); !problem.empty())
            return problem;
    if (!reader.atEnd() && reader.peek() == "--\tdevice count not answering") {
        reader.take();
        if (std::string problem = expectLine(reader, ""); !problem.empty())
            return problem;
    }
    while (!reader.atEnd() && !reader.peek().empty()) {
        ReportedDevice device;
        device.line = reader.take();
        std::smatch match;
        if (!std::regex_match(device.line, match, deviceLine))
            return where(reader, "not a device line", device.line);
        device.id = std::stol(match[1]);
        if (!devices->empty() && device.id <= devices->back().id)
            return where(reader, "device numbers do not rise", device.line);
        if (std::string problem = expectLine(reader, ""); !problem.empty())
            return problem;
        while (!reader.atEnd() && !reader.peek().empty()) {
            std::string line = reader.take();
            if (!std::regex_match(line, formatLine))
                return where(reader, "not a format line", line);
            device.formats.push_back(line);
        }
        if (std::string problem = expectLine(reader, ""); !problem.empty())
            return problem;
        devices->push_back(device);
    }
    return expectLine(reader, "");
}

} // namespace

std::string parseReport(const std::string& output, ParsedReport* parsed) {
    *parsed = ParsedReport();
    LineReader reader(output);
    if (reader.unterminated)
        return "the output does not end with a line break";
    for (const char* wanted : expectedBanner)
        if (std::string problem = expectLine(reader, wanted); !problem.empty())
            return problem;
    if (!reader.atEnd() && reader.peek() == expectedUsage[0]) {
        parsed->usage = true;
        for (const char* wanted : expectedUsage)
            if (std::string problem = expectLine(reader, wanted); !problem.empty())
                return problem;
    } else {
        if (std::string problem = readSection(reader, "        Input Devices",
                                              "        -------------", &parsed->inputs);
            !problem.empty())
            return problem;
        if (std::string problem = readSection(reader, "        Output Devices",
                                              "        --------------", &parsed->outputs);
            !problem.empty())
            return problem;
    }
    return reader.atEnd() ? std::string() : where(reader, "more after the end", reader.take());
}

std::string parseSections(const std::string& sections, ParsedReport* parsed) {
    std::string banner;
    for (const char* line : expectedBanner)
        banner += std::string(line) + "\n";
    return parseReport(banner + sections, parsed);
}
