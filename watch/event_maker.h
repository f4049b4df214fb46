// Turns the service's notices into the watch's events. It keeps what is known
// of every endpoint, so that one that is gone is still named; looks up what a
// line needs; watches an active endpoint's volume and sessions and lets them
// go when it goes; and gathers bursts as coalescing.h says.
#pragma once

#include "watch/coalescing.h"
#include "watch/endpoint_lookup.h"
#include "watch/watch_event.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class EventMaker {
public:
    using Emit = std::function<void(const WatchEvent&)>;
    EventMaker(EndpointLookup& lookup, EndpointWatch* watch, Emit emit);
    ~EventMaker();
    EventMaker(const EventMaker&) = delete;
    EventMaker& operator=(const EventMaker&) = delete;

    // The endpoints as they are, an event each, and then what will not be heard.
    void start(EndpointAnswer devices);
    void hear(const EndpointNotice& notice);
    // When the next gathered line is due; unset when none is.
    std::optional<std::int64_t> due() const;
    // Writes the gathered lines due by `tick`, in the order they fall due.
    void writeDue(std::int64_t tick);
    // Writes every gathered line left.
    void writeAll();
    // Lets every endpoint's volume and sessions go.
    void letGo();

    struct Known; // what is known of one endpoint

private:
    Known& find(const std::u16string& id);
    Known* found(const std::u16string& id);
    Known& add(const std::u16string& id, std::optional<DeviceDirection> direction);
    Known& learn(const std::u16string& id);
    EndpointLookup::Outcome read(Known& k, unsigned what, EndpointLookup::Facts* fresh = nullptr);
    void watchControls(Known& k);
    void letControlsGo(Known& k);
    void refused(Hearing hearing, EndpointAnswer answer);
    WatchEvent about(const Known& k, WatchEventKind kind, const WatchTime& at) const;

    void added(const EndpointNotice& n);
    void removed(const EndpointNotice& n);
    void stateChanged(const EndpointNotice& n);
    void volumeChanged(const EndpointNotice& n);
    void sessionsCreated(const EndpointNotice& n);
    void sessionChanged(const EndpointNotice& n);
    void writeDefaults(int direction);
    struct PendingProperty;
    void writeProperty(PendingProperty p, bool again);
    void writeVolume(Known& k, std::int64_t tick);
    bool writeNext(std::optional<std::int64_t> by);
    // The earliest gathered line: which kind, when it falls due, and which of its kind.
    struct Next {
        enum Kind { Defaults, Property, Volume } kind;
        std::int64_t when;
        std::size_t index;
    };
    std::optional<Next> next() const;

    EndpointLookup& lookup;
    EndpointWatch* watch;
    Emit emit;
    std::vector<std::unique_ptr<Known>> known;
    // Per direction and role the default endpoint's id (empty: none); unset
    // where it is not known.
    std::optional<std::u16string> defaults[2][endpointRoleCount];
    DefaultBurst bursts[2];
    struct PendingProperty {
        std::u16string id;
        NoticeKey key;
        WatchTime at;     // its first notice, whose line was written at once
        WatchTime latest; // the last one told within 100 ms of it
        bool again;       // told so: read again once the 100 ms are over
    };
    std::vector<PendingProperty> properties;
    bool said[3] = {false, false, false}; // per Hearing: its warning written
};
