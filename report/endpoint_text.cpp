#include "report/endpoint_text.h"

#include "endpoint/endpoint_vocabulary.h"
#include "hardware/hardware_vocabulary.h"
#include "hardware/problem_codes.h"
#include "output/report_output.h"

#include <cstdio>
#include <iostream>
#include <new>

namespace {

const char* const labelIndent = "\t\t";
constexpr int labelWidth = 13;

// Text from the endpoint service, control characters shown as '?' as in every
// name a driver gives.
void writeServiceText(const std::u16string& text) {
    writeReportText(text);
}

void writeLabel(const char* label) {
    std::cout << labelIndent << label;
    for (int i = static_cast<int>(std::char_traits<char>::length(label)); i < labelWidth; ++i)
        std::cout << ' ';
}

void writeLine(const char* label, const std::string& value) {
    writeLabel(label);
    std::cout << value << std::endl;
}

void writeServiceLine(const char* label, const std::optional<std::u16string>& value) {
    writeLabel(label);
    if (value)
        writeServiceText(*value);
    else
        std::cout << "unknown";
    std::cout << std::endl;
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
void writeSession(const AudioSession& s) {
    if (s.systemSounds)
        std::cout << "System sounds";
    else if (s.program)
        writeServiceText(*s.program);
    else
        std::cout << "unknown program";
    if (s.processId && !s.systemSounds)
        std::cout << ", process " << *s.processId;
    const char* state = s.state ? sessionStateName(*s.state) : nullptr;
    std::cout << ", " << (state != nullptr ? state : "state unknown") << std::endl;
}

void writeSessions(const std::optional<std::vector<AudioSession>>& sessions) {
    writeLabel("Sessions");
    if (!sessions || sessions->empty()) {
        std::cout << (sessions ? "none" : "unknown") << std::endl;
        return;
    }
    for (std::size_t i = 0; i < sessions->size(); ++i) {
        if (i > 0)
            writeLabel("");
        writeSession((*sessions)[i]);
    }
}

template <class T, class Text> std::string textOrUnknown(const std::optional<T>& value, Text text) {
    return value ? text(*value) : std::string("unknown");
}

// How the endpoint is set and who uses it; an endpoint out of use can say
// only what its properties hold.
void writeConditionLines(const EndpointCondition& c, const EndpointFormats& formats) {
    const bool active = c.active();
    if (active) {
        writeLine("Volume", textOrUnknown(c.volume, volumeText));
    }
    writeLine("Enhancements",
              c.enhancements ? (*c.enhancements ? "on" : "off") : std::string("unknown"));
    if (active) {
        writeSessions(c.sessions);
        writeLine("Period", textOrUnknown(c.devicePeriods, periodText));
        writeLine("Engine", textOrUnknown(c.enginePeriods, [&](const EnginePeriods& e) {
                      return engineText(e, formats.mix);
                  }));
    }
    writeLine("Panel format", textOrUnknown(c.deviceFormat, mixText));
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
void writeDriverLines(const std::optional<DriverFacts>& driver) {
    if (!driver) {
        writeLine("Driver", "unknown");
        return;
    }
    const DriverFacts& d = *driver;
    writeServiceLine("Driver", (d.provider ? *d.provider : u"provider unknown") + u", version " +
                                   (d.version ? *d.version : u"unknown") + u", " +
                                   (d.date ? ascii(dateText(*d.date)) : u"date unknown"));
    std::u16string files =
        (d.inf ? *d.inf : u"INF unknown") + u", service " + (d.service ? *d.service : u"unknown");
    if (d.fileVersion) {
        const std::u16string file = ascii(versionText(*d.fileVersion));
        if (!d.version || file != *d.version)
            files += u", file version " + file;
    }
    writeServiceLine("", files);
}

std::string problemText(std::uint32_t code) {
    const char* meaning = problemMeaning(code);
    return "code " + std::to_string(code) + (meaning != nullptr ? ", " + std::string(meaning) : "");
}

void writeSameDevice(const std::optional<std::vector<SameDevice>>& same) {
    if (!same || same->empty()) {
        writeLine("Same device", same ? "none" : "unknown");
        return;
    }
    for (std::size_t i = 0; i < same->size(); ++i)
        writeServiceLine(i == 0 ? "Same device" : "",
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

void writeEffects(const std::optional<std::vector<AudioEffect>>& effects) {
    if (!effects || effects->empty()) {
        writeLine("Effects", effects ? "none" : "unknown");
        return;
    }
    for (std::size_t i = 0; i < effects->size(); ++i)
        writeServiceLine(i == 0 ? "Effects" : "", effectText((*effects)[i]));
}

// The device behind the endpoint, which driver it has and how it is doing, the
// endpoints of the same device and the effects on this one.
void writeHardwareLines(const EndpointHardware& h) {
    const AdapterFacts* a = h.adapter ? &*h.adapter : nullptr;
    writeServiceLine("Hardware",
                     a ? std::optional<std::u16string>(hardwareText(*a)) : std::nullopt);
    writeDriverLines(a ? a->driver : std::nullopt);
    if (a == nullptr || !a->problem)
        writeLine("Problem", "unknown");
    else if (*a->problem != 0)
        writeLine("Problem", problemText(*a->problem));
    if (a != nullptr && a->identity.bluetooth)
        writeLine("Bluetooth", a->identity.profile
                                   ? bluetoothProfileWords(*a->identity.profile).text
                                   : "profile unknown");
    writeSameDevice(h.sameDevice);
    writeEffects(h.effects);
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

void writeFormatsBlock(const EndpointFormats& formats) {
    // An endpoint out of use has no audio client: nothing was asked.
    if (formats.exclusive.status == ExclusiveStatus::Inactive)
        return;
    writeLabel("Shared mode");
    std::cout << (formats.mix ? mixText(*formats.mix) : std::string("unknown")) << std::endl;
    const std::vector<std::string> lines = exclusiveLines(formats.exclusive);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        writeLabel(i == 0 ? "Exclusive" : "");
        std::cout << lines[i] << std::endl;
    }
}

void writeBlock(const EndpointFacts* facts, const EndpointFormats* formats) {
    std::cout << std::endl;
    if (facts == nullptr) {
        writeLine("Endpoint", "none found");
    } else {
        writeServiceLine("Name", facts->name);
        writeServiceLine("Adapter", facts->adapter);
        writeLine("Form factor",
                  facts->formFactor ? formFactorName(*facts->formFactor) : "unknown");
        writeServiceLine("Endpoint", facts->id);
        // The exclusive mode's own lines: how it is set and used.
        const EndpointCondition condition = facts->condition.value_or(EndpointCondition());
        if (formats != nullptr)
            writeLine("State", stateText(condition.state));
        writeLine("Default for", defaultsText(*facts));
        if (formats != nullptr)
            writeHardwareLines(facts->hardware.value_or(EndpointHardware()));
        if (formats != nullptr)
            writeConditionLines(condition, *formats);
    }
    if (formats != nullptr)
        writeFormatsBlock(*formats);
    else if (facts == nullptr)
        writeLine("Exclusive", reasonText(ExclusiveStatus::Unavailable));
    std::cout << std::endl;
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

std::vector<std::string> exclusiveLines(const ExclusiveFindings& findings) {
    if (findings.status != ExclusiveStatus::Ok)
        return {reasonText(findings.status)};
    if (findings.formats.empty())
        return {"nothing accepted"};
    // Channel counts of one type share a line when their rates and shape agree.
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
                    kindOf(*line.first) == kindOf(f)) {
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
        lines.push_back(text);
    }
    return lines;
}

void writeEndpointBlock(const EndpointFacts* facts, const EndpointFormats* formats) {
    try {
        writeBlock(facts, formats);
    } catch (const std::bad_alloc&) {
        std::cout << labelIndent << "(out of memory)" << std::endl << std::endl;
    }
}

void writeUnmatchedLine(const EndpointFacts& facts) {
    try {
        std::cout << "--\t";
        writeServiceText(facts.name ? *facts.name : facts.id);
        std::cout << " / no waveform device" << std::endl;
    } catch (const std::bad_alloc&) {
        std::cout << labelIndent << "(out of memory)" << std::endl;
    }
}

void writeSystemLines(const SystemFacts& facts) {
    try {
        const std::optional<SystemVersion>& v = facts.version;
        writeLine("Windows", v ? std::to_string(v->major) + "." + std::to_string(v->minor) +
                                     ", build " + std::to_string(v->build)
                               : std::string("unknown"));
        std::string services;
        const char* const names[] = {"Audiosrv ", ", AudioEndpointBuilder "};
        for (int i = 0; i < 2; ++i) {
            const char* state =
                facts.services[i] ? serviceStateWords(*facts.services[i]).text : nullptr;
            services += names[i] + std::string(state != nullptr ? state : "unknown");
        }
        writeLine("Services", services);
    } catch (const std::bad_alloc&) {
        std::cout << labelIndent << "(out of memory)" << std::endl;
    }
    std::cout << std::endl;
}
