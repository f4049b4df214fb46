// What one line of the watch says, with what was looked up for it: the record
// the text and the JSON Lines writers are handed.
#pragma once

#include "endpoint/endpoint_facts.h"
#include "platform/endpoint_watch.h"
#include "watch/property_names.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

// An endpoint as a line names it: its id, and its name and direction where
// they are known, from the service or from what was known of it before.
struct EndpointMention {
    std::u16string id; // empty: no endpoint (a role that no longer has a default)
    std::optional<std::u16string> name;
    std::optional<DeviceDirection> direction;
};

using Roles = std::array<bool, endpointRoleCount>;

enum class WatchEventKind {
    Present,         // an endpoint as the watch starts
    Unheard,         // a kind of event that will not be heard
    Added,           // with its state and, active, its mix format
    Removed,         //
    StateChanged,    // oldState, state
    DefaultChanged,  // roles now the endpoint's, and who had them before
    PropertyChanged, // property, key, oldValue, newValue
    MixChanged,      // oldValue.format, newValue.format
    VolumeChanged,   // volume, or scalar and muted when it could not be read
    Session,         // session, change, reason
    Ended,           // end, counts
};

// The events one registration brings.
enum class Hearing { Devices, Volume, Sessions };

enum class SessionChange { Started, Active, Inactive, Ended, Disconnected };

enum class WatchEnd { Interrupted, TimeUp };

struct PropertyReading {
    std::optional<std::u16string> text;
    std::optional<std::uint32_t> number;
    std::optional<FormatReading> format;
};

struct EarlierDefault {
    EndpointMention endpoint;
    Roles roles{};
};

struct WatchEvent {
    WatchEventKind kind = WatchEventKind::Present;
    WatchTime at;
    EndpointMention endpoint; // for a default: the one that has the roles now

    std::optional<std::uint32_t> state; // the new one
    std::optional<std::uint32_t> oldState;
    std::optional<Roles> defaults;    // the roles it is the default for
    std::optional<FormatReading> mix; // an active endpoint's

    Roles roles{};
    std::optional<std::vector<EarlierDefault>> before; // unset when the defaults were not known

    NoticeKey key;
    const PropertyName* property = nullptr; // null for a key not known here
    PropertyReading oldValue;
    PropertyReading newValue;

    std::optional<VolumeReading> volume;
    float scalar = 0;
    bool muted = false;

    AudioSession session;
    SessionChange change = SessionChange::Started;
    SessionEnd reason = SessionEnd::DeviceRemoved;

    Hearing hearing = Hearing::Devices;
    EndpointAnswer answer = EndpointAnswer::Failed;

    WatchEnd end = WatchEnd::Interrupted;
    NoticeCounts counts;

    // Why what could not be read is missing: a call past the time limit, or
    // the endpoint gone by the time it was asked.
    bool notAnswering = false;
    bool gone = false;
};
