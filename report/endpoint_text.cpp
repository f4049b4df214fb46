#include "report/endpoint_text.h"

#include "endpoint/endpoint_vocabulary.h"
#include "report/opens_text.h"

#include <cstdio>
#include <new>

namespace {

const char* const labelIndent = "\t\t";
constexpr int labelWidth = 13;

void writeLabel(ReportStream& out, const char* label) {
    out << labelIndent << label;
    for (int i = static_cast<int>(std::char_traits<char>::length(label)); i < labelWidth; ++i)
        out << ' ';
}

void writeLine(ReportStream& out, const char* label, const std::string& value) {
    writeLabel(out, label);
    out << value << std::endl;
}

void writeServiceLine(ReportStream& out, const char* label,
                      const std::optional<std::u16string>& value) {
    writeLabel(out, label);
    if (value)
        out.serviceText(*value);
    else
        out << "unknown";
    out << std::endl;
}

std::string hexMask(DWORD mask) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", static_cast<unsigned long>(mask));
    return text;
}

std::string maskText(DWORD mask) {
    if (mask == 0)
        return "no channel mask";
    return "channel mask " + hexMask(mask) + " (" + speakerNames(mask) + ")";
}

std::string mixText(const FormatReading& mix) {
    std::string text = kilohertzText(mix.rate) + " kHz, " + std::to_string(mix.channels) +
                       (mix.channels == 1 ? " channel, " : " channels, ");
    text += mix.sample ? sampleTypeName(*mix.sample) : "unknown samples";
    text += ", ";
    text += mix.channelMask ? maskText(*mix.channelMask) : "no channel mask";
    return text;
}

std::string defaultsText(const EndpointFacts& facts) {
    if (!facts.defaultFor)
        return "unknown";
    std::string text;
    for (int role = 0; role < endpointRoleCount; ++role) {
        if (!(*facts.defaultFor)[role])
            continue;
        if (!text.empty())
            text += ", ";
        text += roleName(static_cast<EndpointRole>(role));
    }
    return text.empty() ? "none" : text;
}

const char* reasonText(ExclusiveStatus status) {
    switch (status) {
    case ExclusiveStatus::NotAllowed:
        return "not allowed for this device";
    case ExclusiveStatus::Busy:
        return "device busy (another program holds it)";
    case ExclusiveStatus::Gone:
        return "device gone";
    case ExclusiveStatus::AccessDenied:
        return "access denied (Windows privacy settings)";
    case ExclusiveStatus::NotAnswering:
        return "not answering";
    case ExclusiveStatus::Inactive:
        return "not active";
    case ExclusiveStatus::TooSlow:
        return "too slow: not asked within the time an endpoint may take";
    default:
        return "could not be asked";
    }
}

const char* stateText(const std::optional<std::uint32_t>& state) {
    if (!state)
        return "unknown";
    switch (*state) {
    case endpointActive:
        return "active";
    case endpointDisabled:
        return "disabled";
    case endpointNotPresent:
        return "not present";
    case endpointUnplugged:
        return "unplugged (not connected)";
    default:
        return "unknown";
    }
}

// A number as short as it is exact to `places` decimals: "-6.5", "0", "0.75".
std::string decimalText(double value, int places) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", places, roundedTo(value, places));
    std::string shown = text;
    if (shown.find('.') != std::string::npos) {
        while (shown.back() == '0')
            shown.pop_back();
        if (shown.back() == '.')
            shown.pop_back();
    }
    return shown;
}

std::string volumeText(const VolumeReading& v) {
    return decimalText(v.levelDb, 2) + " dB (" + std::to_string(percentOf(v.scalar)) + "%), " +
           (v.muted ? "muted" : "not muted") + "; range " + decimalText(v.minimumDb, 2) + " to " +
           decimalText(v.maximumDb, 2) + " dB in steps of " + decimalText(v.stepDb, 2) + " dB";
}

std::string periodText(const DevicePeriods& p) {
    return decimalText(periodMilliseconds(p.defaultPeriod), 4) + " ms default, " +
           decimalText(periodMilliseconds(p.minimumPeriod), 4) + " ms minimum";
}

std::string engineText(const EnginePeriods& e, const std::optional<FormatReading>& mix) {
    std::string text = "default " + std::to_string(e.defaultFrames) + ", fundamental " +
                       std::to_string(e.fundamentalFrames) + ", minimum " +
                       std::to_string(e.minimumFrames);
    if (mix && mix->rate != 0)
        text += " (" + decimalText(1000.0 * e.minimumFrames / mix->rate, 2) + " ms)";
    return text + ", maximum " + std::to_string(e.maximumFrames) + " frames";
}

// "firefox.exe, process 4312, active"; the system sounds by that name.
void writeSession(ReportStream& out, const AudioSession& s) {
    if (s.systemSounds)
        out << "System sounds";
    else if (s.program)
        out.serviceText(*s.program);
    else
        out << "unknown program";
    if (s.processId && !s.systemSounds)
        out << ", process " << *s.processId;
    const char* state = s.state ? sessionStateName(*s.state) : nullptr;
    out << ", " << (state != nullptr ? state : "state unknown") << std::endl;
}

void writeSessions(ReportStream& out, const std::optional<std::vector<AudioSession>>& sessions) {
    writeLabel(out, "Sessions");
    if (!sessions || sessions->empty()) {
        out << (sessions ? "none" : "unknown") << std::endl;
        return;
    }
    for (std::size_t i = 0; i < sessions->size(); ++i) {
        if (i > 0)
            writeLabel(out, "");
        writeSession(out, (*sessions)[i]);
    }
}

template <class T, class Text> std::string textOrUnknown(const std::optional<T>& value, Text text) {
    return value ? text(*value) : std::string("unknown");
}

// How the endpoint is set and who uses it; an endpoint out of use can say
// only what its properties hold.
void writeConditionLines(ReportStream& out, const EndpointCondition& c,
                         const EndpointFormats& formats) {
    const bool active = c.active();
    if (active) {
        writeLine(out, "Volume", textOrUnknown(c.volume, volumeText));
    }
    writeLine(out, "Enhancements",
              c.enhancements ? (*c.enhancements ? "on" : "off") : std::string("unknown"));
    if (active) {
        writeSessions(out, c.sessions);
        writeLine(out, "Period", textOrUnknown(c.devicePeriods, periodText));
        writeLine(out, "Engine", textOrUnknown(c.enginePeriods, [&](const EnginePeriods& e) {
                      return engineText(e, formats.mix);
                  }));
    }
    writeLine(out, "Panel format", textOrUnknown(c.deviceFormat, mixText));
}

// How a shape shows after the rates. Standard, mask-0 and plain shapes of
// several channel counts can share one line; any other mask is its count's own.
enum class ShapeKind { Standard, NoMask, Plain, Own };

ShapeKind kindOf(const ExclusiveFormat& f) {
    if (!f.shape.extensible)
        return ShapeKind::Plain;
    // Before the standard mask: a count beyond the eighteen speaker positions
    // has none, and standardChannelMask() gives 0 for it.
    if (f.shape.channelMask == 0)
        return ShapeKind::NoMask;
    return f.shape.channelMask == standardChannelMask(f.channels) ? ShapeKind::Standard
                                                                  : ShapeKind::Own;
}

std::string shapeSuffix(const ExclusiveFormat& f) {
    switch (kindOf(f)) {
    case ShapeKind::Standard:
        return "";
    case ShapeKind::NoMask:
        return ", no channel mask";
    case ShapeKind::Plain:
        return ", plain header";
    case ShapeKind::Own:
        break;
    }
    return ", " + maskText(f.shape.channelMask);
}

// "2 ch", "1-2 ch", "2, 6, 8 ch", "1-4, 6 ch".
std::string channelsText(const std::vector<unsigned>& counts) {
    std::string text;
    for (std::size_t i = 0; i < counts.size();) {
        std::size_t end = i;
        while (end + 1 < counts.size() && counts[end + 1] == counts[end] + 1)
            ++end;
        if (!text.empty())
            text += ", ";
        text += std::to_string(counts[i]);
        if (end > i)
            text += "-" + std::to_string(counts[end]);
        i = end + 1;
    }
    return text + " ch";
}

void pad(std::string& text, std::size_t width) {
    text += ' ';
    while (text.size() < width)
        text += ' ';
}

void writeFormatsBlock(ReportStream& out, const EndpointFormats& formats) {
    // An endpoint out of use has no audio client: nothing was asked.
    if (formats.exclusive.status == ExclusiveStatus::Inactive)
        return;
    writeLabel(out, "Shared mode");
    out << (formats.mix ? mixText(*formats.mix) : std::string("unknown")) << std::endl;
    const CellOpens* opens = formats.opens ? &*formats.opens : nullptr;
    const std::vector<std::string> lines = exclusiveLines(formats.exclusive, opens);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        writeLabel(out, i == 0 ? "Exclusive" : "");
        out << lines[i] << std::endl;
    }
    if (opens != nullptr) {
        writeLabel(out, "Verify");
        writeOpensLine(out, *opens);
        out << std::endl;
    }
}

void writeBlock(ReportStream& out, const EndpointFacts* facts, const EndpointFormats* formats) {
    out << std::endl;
    if (facts == nullptr) {
        // No endpoint, or a driver that hung naming it.
        const bool hung = formats && formats->exclusive.status == ExclusiveStatus::NotAnswering;
        writeLine(out, "Endpoint", hung ? "not answering" : "none found");
    } else {
        writeServiceLine(out, "Name", facts->name);
        writeServiceLine(out, "Adapter", facts->adapter);
        writeLine(out, "Form factor",
                  facts->formFactor ? formFactorName(*facts->formFactor, facts->jackSubtype)
                                    : "unknown");
        writeServiceLine(out, "Endpoint", facts->id);
        // The exclusive mode's own lines: how it is set and used.
        const EndpointCondition condition = facts->condition.value_or(EndpointCondition());
        if (formats != nullptr)
            writeLine(out, "State", stateText(condition.state));
        writeLine(out, "Default for", defaultsText(*facts));
        if (formats != nullptr)
            writeConditionLines(out, condition, *formats);
    }
    if (facts == nullptr)
        writeLine(out, "Exclusive",
                  reasonText(formats ? formats->exclusive.status : ExclusiveStatus::Unavailable));
    else if (formats != nullptr)
        writeFormatsBlock(out, *formats);
    out << std::endl;
}

} // namespace

std::string kilohertzText(DWORD rate) {
    std::string text = std::to_string(rate / 1000);
    DWORD fraction = rate % 1000;
    if (fraction != 0) {
        char digits[8];
        std::snprintf(digits, sizeof digits, ".%03lu", static_cast<unsigned long>(fraction));
        std::string part = digits;
        while (part.back() == '0')
            part.pop_back();
        text += part;
    }
    return text;
}

std::string rateListText(const std::vector<DWORD>& rates) {
    auto indexOf = [](DWORD rate) -> int {
        for (std::size_t i = 0; i < matrixRateCount; ++i)
            if (matrixRates[i] == rate)
                return static_cast<int>(i);
        return -1;
    };
    std::string text;
    for (std::size_t i = 0; i < rates.size();) {
        std::size_t end = i;
        while (end + 1 < rates.size() && indexOf(rates[end]) >= 0 &&
               indexOf(rates[end + 1]) == indexOf(rates[end]) + 1)
            ++end;
        if (!text.empty())
            text += ' ';
        if (end >= i + 2) {
            text += kilohertzText(rates[i]) + "-" + kilohertzText(rates[end]);
            i = end + 1;
        } else {
            text += kilohertzText(rates[i]);
            ++i;
        }
    }
    return text;
}

std::vector<std::string> exclusiveLines(const ExclusiveFindings& findings, const CellOpens* opens) {
    if (findings.status != ExclusiveStatus::Ok)
        return {reasonText(findings.status)};
    if (findings.formats.empty())
        return {"nothing accepted"};
    // Channel counts of one type share a line when their rates and shape agree.
    // In the verify mode, when opening them gave the same too.
    const std::vector<CellOpen> untried;
    const auto opened = [&](const ExclusiveFormat& f) -> const std::vector<CellOpen>& {
        const std::size_t i = static_cast<std::size_t>(&f - findings.formats.data());
        return opens != nullptr && i < opens->cells.size() ? opens->cells[i] : untried;
    };
    struct Line {
        const ExclusiveFormat* first;
        std::vector<unsigned> counts;
    };
    std::vector<Line> merged;
    for (const ExclusiveFormat& f : findings.formats) {
        bool joined = false;
        if (kindOf(f) != ShapeKind::Own) {
            for (Line& line : merged) {
                if (line.first->sample == f.sample && line.first->rates == f.rates &&
                    kindOf(*line.first) == kindOf(f) && opened(*line.first) == opened(f)) {
                    line.counts.push_back(f.channels);
                    joined = true;
                    break;
                }
            }
        }
        if (!joined)
            merged.push_back({&f, {f.channels}});
    }
    std::vector<std::string> lines;
    for (const Line& line : merged) {
        std::string text = sampleTypeName(line.first->sample);
        pad(text, 11);
        text += channelsText(line.counts);
        pad(text, 22);
        text += rateListText(line.first->rates) + " kHz" + shapeSuffix(*line.first);
        const std::string opensText = opensSuffixText(line.first->rates, opened(*line.first));
        if (!opensText.empty())
            text += "; " + opensText;
        lines.push_back(text);
    }
    return lines;
}

void writeEndpointBlock(ReportStream& out, const EndpointFacts* facts,
                        const EndpointFormats* formats) {
    try {
        writeBlock(out, facts, formats);
    } catch (const std::bad_alloc&) {
        out << labelIndent << "(out of memory)" << std::endl << std::endl;
    }
}

void writeUnmatchedLine(ReportStream& out, const EndpointFacts& facts) {
    try {
        out << "--\t";
        out.serviceText(facts.name ? *facts.name : facts.id);
        out << " / no waveform device" << std::endl;
    } catch (const std::bad_alloc&) {
        out << labelIndent << "(out of memory)" << std::endl;
    }
}
