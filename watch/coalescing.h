// How notifications that come in bursts become few lines. Windows sends one
// default-change notification per role, often several in a burst, and a
// volume slider being dragged sends dozens a second.
//
// Default changes: those of one direction heard within 100 ms of the first
// are one change, written when the 100 ms are over: per role the endpoint it
// went to last.
// Property changes: each is said at once; the same key of the same endpoint
// told again within 100 ms is read again when they are over, and said again
// only when its value changed.
// Volume: a change to an endpoint whose last volume line is 250 ms old or
// more is written at once; one heard sooner waits until those 250 ms are
// over, and the line then says the state at that moment. A drag gives at most
// four lines a second, and its last line the level it stopped at.
#pragma once

#include "platform/endpoint_watch.h"

#include <array>
#include <optional>
#include <string>

constexpr std::int64_t defaultBurstMs = 100;
constexpr std::int64_t volumeIntervalMs = 250;

class DefaultBurst {
public:
    void hear(const EndpointNotice& notice);
    // When the burst heard so far is over; unset when none is.
    std::optional<std::int64_t> due() const;

    struct Change {
        WatchTime first; // when its first notification came
        // Per role, the endpoint it went to last (empty: none); unset when the
        // burst did not name the role.
        std::array<std::optional<std::u16string>, endpointRoleCount> roles;
    };
    // The burst, which starts the next one.
    Change take();

private:
    bool open = false;
    Change change;
};

class VolumeThrottle {
public:
    // A change heard: true when its line is written now.
    bool hear(const EndpointNotice& notice);
    // When a change held back is written; unset when none is.
    std::optional<std::int64_t> due() const;
    // The latest change heard.
    const EndpointNotice& latest() const { return last; }
    // A line went out at `tick`.
    void written(std::int64_t tick);

private:
    std::optional<std::int64_t> lastLine;
    bool held = false;
    EndpointNotice last;
};
