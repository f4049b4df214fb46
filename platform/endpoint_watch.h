// Watching the endpoint service: what its notifications say, as plain records.
// The service's callbacks run on threads of its own; each only puts a record on
// the watch's queue and wakes the one thread that waits for them, which takes
// the records and does everything else. On Windows the callbacks are COM
// objects registered with Core Audio; elsewhere the simulated machine's
// notification source plays them. Nothing of COM leaves this folder.
#pragma once

#include "platform/endpoint_services.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A moment: the local time to the millisecond, and a steady count of
// milliseconds to measure intervals by.
struct WatchTime {
    std::uint16_t year = 0, month = 0, day = 0;
    std::uint16_t hour = 0, minute = 0, second = 0, millisecond = 0;
    std::int64_t tick = 0;
};
WatchTime watchTimeNow();

// A property's key: its format id and its number.
struct NoticeKey {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0, data3 = 0;
    std::uint8_t data4[8] = {};
    std::uint32_t pid = 0;
};

enum class NoticeKind : std::uint8_t {
    Added,
    Removed,
    StateChanged,        // state: the endpoint's new state
    DefaultChanged,      // direction, role; id: the new default, empty for none
    PropertyChanged,     // key
    VolumeChanged,       // scalar, muted
    SessionCreated,      // on the endpoint; its sessions are then taken with takeNewSessions()
    SessionStateChanged, // session, processId, systemSounds; state: 0 inactive, 1 active, 2 expired
    SessionDisconnected, // session, processId, systemSounds; state: the reason, as Windows numbers
                         // it
};

// Why Windows disconnected a session, as it numbers them.
enum class SessionEnd : std::uint32_t {
    DeviceRemoved,
    ServerShutdown,
    FormatChanged,
    SessionLogoff,
    SessionDisconnected,
    ExclusiveModeOverride,
};

// Everything of a notice but its endpoint's id: plain values, which a
// callback can copy without allocating.
struct NoticeFields {
    NoticeKind kind = NoticeKind::Added;
    WatchTime at; // when the service said it
    DeviceDirection direction = 'O';
    EndpointRole role = EndpointRole::Console;
    std::uint32_t state = 0;
    NoticeKey key;
    float scalar = 0;
    bool muted = false;
    std::uint32_t session = 0; // the number the endpoint's control watch gave it
    std::uint32_t processId = 0;
    bool systemSounds = false;
};

struct EndpointNotice : NoticeFields {
    std::u16string id;
};

// The queue, the wait object, the registration for the device events (added,
// removed, state, default, property) and the catch of Ctrl+C, Ctrl+Break and
// the console closing. Started and stopped on one thread, which it sets up
// for COM.
struct EndpointWatch;

// On anything but Ok, *watch is null. `devices` says whether the device
// events could be registered; without them the watch still waits and stops.
EndpointAnswer startEndpointWatch(EndpointWatch** watch, EndpointAnswer* devices);
// Unregisters the device events, lets Ctrl+C go and releases the rest.
// Every control watch must have been let go first. Accepts null.
void stopEndpointWatch(EndpointWatch* watch);

enum class WatchWake { Notices, Interrupted, TimeUp };
// Waits, using no time of the processor, until a notice is queued, Ctrl+C
// (or Ctrl+Break, or the console closing) comes, or the steady clock reaches
// `until`. Interrupted stays the answer once it has been.
WatchWake waitForNotices(EndpointWatch* watch, std::optional<std::int64_t> until);
// The oldest notice queued; false when there is none.
bool takeNotice(EndpointWatch* watch, EndpointNotice* notice);

// The callbacks heard since the start, and how many of them found no memory
// for their record.
struct NoticeCounts {
    unsigned long heard = 0;
    unsigned long lost = 0;
};
NoticeCounts noticeCounts(EndpointWatch* watch);

// One active endpoint's volume and sessions. Made, asked and let go on one
// thread at a time, which has the service open.
struct ControlWatch;

struct WatchedSession {
    std::uint32_t number = 0; // the session's notices carry it
    std::optional<std::uint32_t> processId;
    std::optional<std::uint32_t> state;
    bool systemSounds = false;
};

struct ControlAnswers {
    EndpointAnswer volume = EndpointAnswer::Failed;
    EndpointAnswer sessions = EndpointAnswer::Failed;
};

// Registers for the endpoint's volume and its sessions, each on its own, and
// for the events of each session it has now, which are added to `sessions`.
// *controls is null when neither could be registered.
ControlAnswers watchControls(EndpointWatch* watch, const std::u16string& id,
                             ControlWatch** controls, std::vector<WatchedSession>* sessions);
// The sessions announced since the last call, each now watched too.
void takeNewSessions(ControlWatch* controls, std::vector<WatchedSession>* sessions);
// Stops watching a session that has ended.
void forgetSession(ControlWatch* controls, std::uint32_t number);
// Unregisters everything and releases it. Accepts null.
void unwatchControls(ControlWatch* controls);
