#include "watch/event_writers.h"

#include "endpoint/endpoint_vocabulary.h"
#include "json/endpoint_json.h"
#include "json/utf8.h"

#include <cstdio>

namespace {

std::string timeText(const WatchTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond);
    return text;
}

const char* eventName(WatchEventKind kind) {
    switch (kind) {
    case WatchEventKind::Present:
        return "endpoint";
    case WatchEventKind::Unheard:
        return "notWatched";
    case WatchEventKind::Added:
        return "added";
    case WatchEventKind::Removed:
        return "removed";
    case WatchEventKind::StateChanged:
        return "stateChanged";
    case WatchEventKind::DefaultChanged:
        return "defaultChanged";
    case WatchEventKind::PropertyChanged:
        return "propertyChanged";
    case WatchEventKind::MixChanged:
        return "mixChanged";
    case WatchEventKind::VolumeChanged:
        return "volumeChanged";
    case WatchEventKind::Session:
        return "session";
    case WatchEventKind::Ended:
        return "ended";
    }
    return "?";
}

const char* reasonName(SessionEnd reason) {
    switch (reason) {
    case SessionEnd::DeviceRemoved:
        return "deviceRemoved";
    case SessionEnd::ServerShutdown:
        return "serverShutdown";
    case SessionEnd::FormatChanged:
        return "formatChanged";
    case SessionEnd::SessionLogoff:
        return "sessionLogoff";
    case SessionEnd::SessionDisconnected:
        return "sessionDisconnected";
    case SessionEnd::ExclusiveModeOverride:
        return "exclusiveModeOverride";
    }
    return nullptr;
}

const char* answerName(EndpointAnswer answer) {
    switch (answer) {
    case EndpointAnswer::NotImplemented:
        return "not implemented";
    case EndpointAnswer::AccessDenied:
        return "access denied";
    case EndpointAnswer::NoMemory:
        return "out of memory";
    default:
        return "refused";
    }
}

void wordOrNull(JsonText& json, const char* word) {
    if (word != nullptr)
        json.string(word);
    else
        json.null();
}

void stateMember(JsonText& json, const char* key, const std::optional<std::uint32_t>& state) {
    wordOrNull(json.key(key), state ? endpointStateName(*state) : nullptr);
}

void formatOrNull(JsonText& json, const std::optional<FormatReading>& format) {
    if (format)
        formatObject(json, *format);
    else
        json.null();
}

void rolesArray(JsonText& json, const Roles& roles) {
    json.beginArray();
    for (int role = 0; role < endpointRoleCount; ++role)
        if (roles[role])
            json.string(roleName(static_cast<EndpointRole>(role)));
    json.endArray();
}

void idOrNull(JsonText& json, const std::u16string& id) {
    if (id.empty())
        json.null();
    else
        json.string(utf16ToUtf8(id));
}

void directionMember(JsonText& json, const EndpointMention& m) {
    wordOrNull(json.key("direction"), !m.direction          ? nullptr
                                      : *m.direction == 'I' ? "input"
                                                            : "output");
}

// The endpoint a line is about: its id, direction and name.
void endpointMembers(JsonText& json, const EndpointMention& m) {
    idOrNull(json.key("id"), m.id);
    directionMember(json, m);
    textOrNull(json.key("name"), m.name);
}

void valueOrNull(JsonText& json, const PropertyReading& v, PropertyRead read) {
    if (v.text)
        json.string(utf16ToUtf8(*v.text));
    else if (v.format)
        formatObject(json, *v.format);
    else if (v.number && read == PropertyRead::FormFactor)
        json.string(formFactorName(*v.number, std::nullopt));
    else if (v.number)
        json.boolean(*v.number == 0); // enhancements on
    else
        json.null();
}

void eventMembers(JsonText& json, const WatchEvent& e) {
    switch (e.kind) {
    case WatchEventKind::Present:
    case WatchEventKind::Added:
        endpointMembers(json, e.endpoint);
        stateMember(json, "state", e.state);
        if (e.kind == WatchEventKind::Present) {
            json.key("default");
            if (e.defaults)
                rolesArray(json, *e.defaults);
            else
                json.null();
        }
        formatOrNull(json.key("mix"), e.mix);
        break;
    case WatchEventKind::Removed:
        endpointMembers(json, e.endpoint);
        break;
    case WatchEventKind::StateChanged:
        endpointMembers(json, e.endpoint);
        stateMember(json, "old", e.oldState);
        stateMember(json, "new", e.state);
        formatOrNull(json.key("mix"), e.mix);
        break;
    case WatchEventKind::DefaultChanged:
        endpointMembers(json, e.endpoint);
        rolesArray(json.key("roles"), e.roles);
        json.key("before");
        if (e.before) {
            json.beginArray();
            for (const EarlierDefault& b : *e.before) {
                json.beginObject();
                idOrNull(json.key("id"), b.endpoint.id);
                textOrNull(json.key("name"), b.endpoint.name);
                rolesArray(json.key("roles"), b.roles);
                json.endObject();
            }
            json.endArray();
        } else {
            json.null();
        }
        break;
    case WatchEventKind::PropertyChanged: {
        endpointMembers(json, e.endpoint);
        wordOrNull(json.key("property"), e.property != nullptr ? e.property->json : nullptr);
        json.key("key").string(keyText(e.key));
        const PropertyRead read = e.property != nullptr ? e.property->read : PropertyRead::Nothing;
        valueOrNull(json.key("old"), e.oldValue, read);
        valueOrNull(json.key("new"), e.newValue, read);
        break;
    }
    case WatchEventKind::MixChanged:
        endpointMembers(json, e.endpoint);
        formatOrNull(json.key("old"), e.oldValue.format);
        formatOrNull(json.key("new"), e.newValue.format);
        break;
    case WatchEventKind::VolumeChanged:
        endpointMembers(json, e.endpoint);
        json.key("db");
        if (e.volume)
            json.decimal(roundedTo(e.volume->levelDb, 2));
        else
            json.null();
        json.key("percent").number(percentOf(e.volume ? e.volume->scalar : e.scalar));
        json.key("muted").boolean(e.volume ? e.volume->muted : e.muted);
        break;
    case WatchEventKind::Session:
        endpointMembers(json, e.endpoint);
        json.key("change").string(sessionChangeName(e.change));
        sessionObject(json.key("session"), e.session);
        wordOrNull(json.key("reason"),
                   e.change == SessionChange::Disconnected ? reasonName(e.reason) : nullptr);
        break;
    case WatchEventKind::Unheard:
        json.key("what").string(hearingName(e.hearing));
        json.key("reason").string(answerName(e.answer));
        return;
    case WatchEventKind::Ended:
        json.key("reason").string(e.end == WatchEnd::Interrupted ? "interrupted" : "time");
        json.key("seen").number(static_cast<std::int64_t>(e.counts.heard));
        json.key("lost").number(static_cast<std::int64_t>(e.counts.lost));
        return;
    }
    wordOrNull(json.key("unread"), e.notAnswering ? "not answering" : e.gone ? "gone" : nullptr);
}

} // namespace

std::string eventJson(const WatchEvent& e) {
    JsonText json;
    json.beginObject(JsonText::Layout::OneLine);
    json.key("time").string(timeText(e.at));
    json.key("event").string(eventName(e.kind));
    eventMembers(json, e);
    json.endObject();
    std::string line = json.text();
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    return line;
}
