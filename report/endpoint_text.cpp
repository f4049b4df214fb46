#include "report/endpoint_text.h"

#include "endpoint/endpoint_vocabulary.h"
#include "hardware/hardware_vocabulary.h"
#include "hardware/problem_codes.h"
#include "report/endpoint_words.h"
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
    if (const char* word = sessionProgramWord(s))
        out << word;
    else
        out.serviceText(*s.program);
    out << sessionProcessText(s);
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

// ---- The hardware behind the endpoint ----

std::u16string ascii(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

// "USB 046D:0A44, USB\VID_046D&PID_0A44&REV_0011&MI_00".
std::u16string hardwareText(const AdapterFacts& a) {
    std::u16string text = a.identity.bus;
    if (a.identity.vendorId)
        text += u" " + ascii(*a.identity.vendorId) +
                (a.identity.productId ? u":" + ascii(*a.identity.productId) : u"");
    if (a.hardwareId)
        text += u", " + *a.hardwareId;
    return text;
}

// Provider, version and date; then the INF, the service and, where it is not
// the INF's, the version of the service's own file.
void writeDriverLines(ReportStream& out, const std::optional<DriverFacts>& driver) {
    if (!driver) {
        writeLine(out, "Driver", "unknown");
        return;
    }
    const DriverFacts& d = *driver;
    writeServiceLine(out, "Driver",
                     (d.provider ? *d.provider : u"provider unknown") + u", version " +
                         (d.version ? *d.version : u"unknown") + u", " +
                         (d.date ? ascii(dateText(*d.date)) : u"date unknown"));
    std::u16string files =
        (d.inf ? *d.inf : u"INF unknown") + u", service " + (d.service ? *d.service : u"unknown");
    if (d.fileVersion) {
        const std::u16string file = ascii(versionText(*d.fileVersion));
        if (!d.version || file != *d.version)
            files += u", file version " + file;
    }
    writeServiceLine(out, "", files);
}

std::string problemText(std::uint32_t code) {
    const char* meaning = problemMeaning(code);
    return "code " + std::to_string(code) + (meaning != nullptr ? ", " + std::string(meaning) : "");
}

void writeSameDevice(ReportStream& out, const std::optional<std::vector<SameDevice>>& same) {
    if (!same || same->empty()) {
        writeLine(out, "Same device", same ? "none" : "unknown");
        return;
    }
    for (std::size_t i = 0; i < same->size(); ++i)
        writeServiceLine(out, i == 0 ? "Same device" : "",
                         (*same)[i].name +
                             ((*same)[i].direction == 'I' ? u", input" : u", output"));
}

// "stream   ApoFx.dll 13.0.6000.1"; a class id no DLL is registered for as itself.
std::u16string effectText(const AudioEffect& e) {
    std::u16string text = ascii(effectSlotWords(e.slot).text);
    text.resize(9, u' ');
    if (!e.dll)
        return text + e.classId + u", not registered";
    const std::size_t slash = e.dll->find_last_of(u"\\/");
    text += slash == std::u16string::npos ? *e.dll : e.dll->substr(slash + 1);
    return text + u" " + (e.version ? ascii(versionText(*e.version)) : u"version unknown");
}

void writeEffects(ReportStream& out, const std::optional<std::vector<AudioEffect>>& effects) {
    if (!effects || effects->empty()) {
        writeLine(out, "Effects", effects ? "none" : "unknown");
        return;
    }
    for (std::size_t i = 0; i < effects->size(); ++i)
        writeServiceLine(out, i == 0 ? "Effects" : "", effectText((*effects)[i]));
}

// The device behind the endpoint, which driver it has and how it is doing, the
// endpoints of the same device and the effects on this one.
void writeHardwareLines(ReportStream& out, const EndpointHardware& h) {
    const AdapterFacts* a = h.adapter ? &*h.adapter : nullptr;
    writeServiceLine(out, "Hardware",
                     a ? std::optional<std::u16string>(hardwareText(*a)) : std::nullopt);
    writeDriverLines(out, a ? a->driver : std::nullopt);
    if (a == nullptr || !a->problem)
        writeLine(out, "Problem", "unknown");
    else if (*a->problem != 0)
        writeLine(out, "Problem", problemText(*a->problem));
    if (a != nullptr && a->identity.bluetooth)
        writeLine(out, "Bluetooth",
                  a->identity.profile ? bluetoothProfileWords(*a->identity.profile).text
                                      : "profile unknown");
    writeSameDevice(out, h.sameDevice);
    writeEffects(out, h.effects);
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
        writeLine(out, "Default for", rolesText(facts->defaultFor));
        if (formats != nullptr)
            writeHardwareLines(out, facts->hardware.value_or(EndpointHardware()));
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

void writeSystemLines(ReportStream& out, const SystemFacts& facts) {
    try {
        const std::optional<SystemVersion>& v = facts.version;
        writeLine(out, "Windows",
                  v ? std::to_string(v->major) + "." + std::to_string(v->minor) + ", build " +
                          std::to_string(v->build)
                    : std::string("unknown"));
        std::string services;
        const char* const names[] = {"Audiosrv ", ", AudioEndpointBuilder "};
        for (int i = 0; i < 2; ++i) {
            const char* state =
                facts.services[i] ? serviceStateWords(*facts.services[i]).text : nullptr;
            services += names[i] + std::string(state != nullptr ? state : "unknown");
        }
        writeLine(out, "Services", services);
    } catch (const std::bad_alloc&) {
        out << labelIndent << "(out of memory)" << std::endl;
    }
    out << std::endl;
}
