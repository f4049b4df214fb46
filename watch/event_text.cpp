#include "watch/event_writers.h"

#include "endpoint/endpoint_vocabulary.h"
#include "report/endpoint_words.h"

#include <cstdio>

namespace {

std::string timeText(const WatchTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond);
    return text;
}

std::string padded(const char* word, std::size_t width) {
    std::string text = word;
    while (text.size() < width)
        text += ' ';
    return text;
}

const char* sectionOf(const EndpointMention& m) {
    if (!m.direction)
        return "?";
    return *m.direction == 'I' ? "input" : "output";
}

const char* eventWord(WatchEventKind kind) {
    switch (kind) {
    case WatchEventKind::Present:
        return "endpoint";
    case WatchEventKind::Added:
        return "added";
    case WatchEventKind::Removed:
        return "removed";
    case WatchEventKind::StateChanged:
        return "state";
    case WatchEventKind::DefaultChanged:
        return "default";
    case WatchEventKind::PropertyChanged:
        return "property";
    case WatchEventKind::MixChanged:
        return "mix";
    case WatchEventKind::VolumeChanged:
        return "volume";
    case WatchEventKind::Session:
        return "session";
    case WatchEventKind::Unheard:
        return "warning";
    case WatchEventKind::Ended:
        return "ended";
    }
    return "?";
}

// "Speakers (High Definition Audio Device)"; "unknown" when the name was never had.
void nameOf(TextLine& line, const EndpointMention& m) {
    if (m.name)
        line.name(*m.name);
    else
        line.word("unknown");
}

// The name and the id.
void endpointOf(TextLine& line, const EndpointMention& m) {
    nameOf(line, m);
    line.word("  ").name(m.id).word("  ");
}

void stateAndMix(TextLine& line, const WatchEvent& e) {
    if (e.state == endpointActive)
        line.word("; shared mode ").word(e.mix ? mixText(*e.mix) : std::string("unknown"));
}

const char* reasonText(SessionEnd reason) {
    switch (reason) {
    case SessionEnd::DeviceRemoved:
        return "device removed";
    case SessionEnd::ServerShutdown:
        return "audio service stopped";
    case SessionEnd::FormatChanged:
        return "format changed";
    case SessionEnd::SessionLogoff:
        return "user logged off";
    case SessionEnd::SessionDisconnected:
        return "remote session disconnected";
    case SessionEnd::ExclusiveModeOverride:
        return "exclusive-mode override";
    }
    return "unknown reason";
}

const char* answerText(EndpointAnswer answer) {
    switch (answer) {
    case EndpointAnswer::NotImplemented:
        return "the audio service does not offer them";
    case EndpointAnswer::AccessDenied:
        return "access denied";
    case EndpointAnswer::NoMemory:
        return "out of memory";
    default:
        return "the audio service refused";
    }
}

const char* hearingText(Hearing hearing) {
    switch (hearing) {
    case Hearing::Devices:
        return "device events (added, removed, state, default, property)";
    case Hearing::Volume:
        return "volume changes";
    case Hearing::Sessions:
        return "session events";
    }
    return "events";
}

void valueOf(TextLine& line, const PropertyReading& v, PropertyRead read) {
    if (v.text)
        line.name(*v.text);
    else if (v.format)
        line.word(mixText(*v.format));
    else if (v.number && read == PropertyRead::FormFactor)
        line.word(formFactorName(*v.number, std::nullopt));
    else if (v.number)
        line.word(*v.number == 0 ? "on" : "off");
    else
        line.word("unknown");
}

void rolesOf(TextLine& line, const Roles& roles) {
    line.word(rolesText(roles));
}

void defaultLine(TextLine& line, const WatchEvent& e) {
    if (e.endpoint.id.empty())
        line.word("no endpoint  ");
    else
        endpointOf(line, e.endpoint);
    rolesOf(line, e.roles);
    line.word("; before: ");
    if (!e.before) {
        line.word("unknown");
        return;
    }
    // "Speakers (...)", or "Speakers (...) for console, multimedia and TV for communications".
    for (std::size_t i = 0; i < e.before->size(); ++i) {
        const EarlierDefault& b = (*e.before)[i];
        if (i > 0)
            line.word(" and ");
        if (b.endpoint.id.empty())
            line.word("none");
        else
            nameOf(line, b.endpoint);
        if (e.before->size() > 1)
            line.word(" for ").word(rolesText(b.roles));
    }
}

void sessionLine(TextLine& line, const WatchEvent& e) {
    const AudioSession& s = e.session;
    if (const char* word = sessionProgramWord(s))
        line.word(word);
    else
        line.name(*s.program);
    line.word(sessionProcessText(s)).word(": ").word(sessionChangeName(e.change));
    if (e.change == SessionChange::Disconnected)
        line.word(" (").word(reasonText(e.reason)).word(")");
}

void endedLine(TextLine& line, const WatchEvent& e) {
    line.word(e.end == WatchEnd::Interrupted ? "interrupted: " : "time is up: ");
    line.word(std::to_string(e.counts.heard))
        .word(e.counts.heard == 1 ? " event seen" : " events seen");
    if (e.counts.lost > 0)
        line.word(", ")
            .word(std::to_string(e.counts.lost))
            .word(" of them lost (no room to queue them)");
}

} // namespace

const char* sessionChangeName(SessionChange change) {
    switch (change) {
    case SessionChange::Started:
        return "started";
    case SessionChange::Active:
        return "active";
    case SessionChange::Inactive:
        return "inactive";
    case SessionChange::Ended:
        return "ended";
    case SessionChange::Disconnected:
        return "disconnected";
    }
    return "?";
}

const char* hearingName(Hearing hearing) {
    switch (hearing) {
    case Hearing::Devices:
        return "devices";
    case Hearing::Volume:
        return "volume";
    case Hearing::Sessions:
        return "sessions";
    }
    return "?";
}

TextLine eventText(const WatchEvent& e) {
    TextLine line;
    const bool program = e.kind == WatchEventKind::Unheard || e.kind == WatchEventKind::Ended;
    line.word(timeText(e.at)).word("  ");
    line.word(padded(program ? "watch" : sectionOf(e.endpoint), 6)).word("  ");
    line.word(padded(eventWord(e.kind), 8)).word("  ");
    switch (e.kind) {
    case WatchEventKind::Present:
        endpointOf(line, e.endpoint);
        line.word(stateText(e.state)).word("; default for ").word(rolesText(e.defaults));
        stateAndMix(line, e);
        break;
    case WatchEventKind::Added:
        endpointOf(line, e.endpoint);
        line.word(stateText(e.state));
        stateAndMix(line, e);
        break;
    case WatchEventKind::Removed:
        nameOf(line, e.endpoint);
        line.word("  ").name(e.endpoint.id);
        break;
    case WatchEventKind::StateChanged:
        endpointOf(line, e.endpoint);
        line.word(stateText(e.oldState)).word(" -> ").word(stateText(e.state));
        stateAndMix(line, e);
        break;
    case WatchEventKind::DefaultChanged:
        defaultLine(line, e);
        break;
    case WatchEventKind::PropertyChanged:
        endpointOf(line, e.endpoint);
        if (e.property == nullptr) {
            line.word(keyText(e.key)).word(" changed");
        } else if (e.property->read == PropertyRead::Nothing) {
            line.word(e.property->text).word(" changed");
        } else {
            line.word(e.property->text).word(": ");
            valueOf(line, e.oldValue, e.property->read);
            line.word(" -> ");
            valueOf(line, e.newValue, e.property->read);
        }
        break;
    case WatchEventKind::MixChanged:
        endpointOf(line, e.endpoint);
        line.word("shared mode: ");
        line.word(e.oldValue.format ? mixText(*e.oldValue.format) : std::string("unknown"));
        line.word(" -> ");
        line.word(e.newValue.format ? mixText(*e.newValue.format) : std::string("unknown"));
        break;
    case WatchEventKind::VolumeChanged:
        endpointOf(line, e.endpoint);
        if (e.volume) {
            line.word(levelText(*e.volume));
        } else {
            line.word(std::to_string(percentOf(e.scalar))).word("%, ");
            line.word(e.muted ? "muted" : "not muted").word(", dB unknown");
        }
        break;
    case WatchEventKind::Session:
        endpointOf(line, e.endpoint);
        sessionLine(line, e);
        break;
    case WatchEventKind::Unheard:
        line.word(hearingText(e.hearing)).word(" will not be seen: ").word(answerText(e.answer));
        break;
    case WatchEventKind::Ended:
        endedLine(line, e);
        break;
    }
    if (e.notAnswering)
        line.word(" (not answering)");
    else if (e.gone)
        line.word(" (gone)");
    return line;
}
