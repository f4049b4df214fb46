#include "watch/event_maker.h"

#include "endpoint/endpoint_vocabulary.h"

#include <algorithm>

struct EventMaker::Known {
    std::u16string id;
    std::optional<DeviceDirection> direction;
    EndpointLookup::Facts facts;
    ControlWatch* controls = nullptr;
    std::map<std::uint32_t, AudioSession> sessions; // by the number its notices carry
    std::optional<VolumeReading> volume;            // as its last volume line said
    VolumeThrottle throttle;
    // A call to it passed the limit: it is asked nothing until its state changes.
    bool hung = false;
};

namespace {

constexpr unsigned everyProperty = EndpointLookup::Name | EndpointLookup::Adapter |
                                   EndpointLookup::FormFactor | EndpointLookup::Effects |
                                   EndpointLookup::Panel;

int sideOf(DeviceDirection direction) {
    return direction == 'I' ? 0 : 1;
}

bool isActive(const std::optional<std::uint32_t>& state) {
    return state == endpointActive;
}

bool sameFormat(const std::optional<FormatReading>& a, const std::optional<FormatReading>& b) {
    if (!a || !b)
        return !a && !b;
    return a->sample == b->sample && a->rate == b->rate && a->channels == b->channels &&
           a->channelMask == b->channelMask;
}

// Whether two readings would make the same volume line.
bool sameLevel(const VolumeReading& a, const VolumeReading& b) {
    return roundedTo(a.levelDb, 2) == roundedTo(b.levelDb, 2) &&
           percentOf(a.scalar) == percentOf(b.scalar) && a.muted == b.muted;
}

void mark(WatchEvent& e, const EndpointLookup::Outcome& o) {
    e.notAnswering = e.notAnswering || o.notAnswering;
    e.gone = e.gone || o.gone;
}

// The property's value as the facts hold it.
PropertyReading valueOf(const EndpointLookup::Facts& f, PropertyRead read) {
    PropertyReading v;
    switch (read) {
    case PropertyRead::Name:
        v.text = f.name;
        break;
    case PropertyRead::Adapter:
        v.text = f.adapter;
        break;
    case PropertyRead::FormFactor:
        v.number = f.formFactor;
        break;
    case PropertyRead::Enhancements:
        v.number = f.effectsOff;
        break;
    case PropertyRead::PanelFormat:
        v.format = f.panel;
        break;
    case PropertyRead::Nothing:
        break;
    }
    return v;
}

unsigned whatFor(PropertyRead read) {
    switch (read) {
    case PropertyRead::Name:
        return EndpointLookup::Name;
    case PropertyRead::Adapter:
        return EndpointLookup::Adapter;
    case PropertyRead::FormFactor:
        return EndpointLookup::FormFactor;
    case PropertyRead::Enhancements:
        return EndpointLookup::Effects;
    case PropertyRead::PanelFormat:
        return EndpointLookup::Panel;
    case PropertyRead::Nothing:
        break;
    }
    return 0;
}

bool isKnown(const PropertyReading& v) {
    return v.text || v.number || v.format;
}

bool sameValue(const PropertyReading& a, const PropertyReading& b) {
    return a.text == b.text && a.number == b.number && sameFormat(a.format, b.format);
}

// The session's program, from what the service lists of the endpoint's sessions.
AudioSession sessionOf(const WatchedSession& w,
                       const std::optional<std::vector<AudioSession>>& listed) {
    AudioSession s;
    s.processId = w.processId;
    s.state = w.state;
    s.systemSounds = w.systemSounds;
    if (listed && w.processId && !w.systemSounds)
        for (const AudioSession& l : *listed)
            if (l.processId == w.processId && !l.systemSounds) {
                s.program = l.program;
                break;
            }
    return s;
}

} // namespace

EventMaker::EventMaker(EndpointLookup& lookup, EndpointWatch* watch, Emit emit)
    : lookup(lookup), watch(watch), emit(std::move(emit)) {}

EventMaker::~EventMaker() = default;

EventMaker::Known* EventMaker::found(const std::u16string& id) {
    for (const std::unique_ptr<Known>& k : known)
        if (sameEndpointId(k->id, id))
            return k.get();
    return nullptr;
}

EventMaker::Known& EventMaker::add(const std::u16string& id,
                                   std::optional<DeviceDirection> direction) {
    auto made = std::make_unique<Known>();
    made->id = id;
    made->direction = direction;
    known.push_back(std::move(made));
    return *known.back();
}

EventMaker::Known& EventMaker::find(const std::u16string& id) {
    if (Known* k = found(id))
        return *k;
    return learn(id);
}

// An endpoint heard of for the first time: where it is listed, and its properties.
EventMaker::Known& EventMaker::learn(const std::u16string& id) {
    Known& k = add(id, std::nullopt);
    for (DeviceDirection direction : {'I', 'O'}) {
        const std::optional<std::vector<std::u16string>> ids = lookup.ids(direction);
        if (ids && std::any_of(ids->begin(), ids->end(),
                               [&](const std::u16string& i) { return sameEndpointId(i, id); }))
            k.direction = direction;
    }
    read(k, everyProperty | EndpointLookup::State);
    return k;
}

// Reads what `what` names into `fresh` (unset what could not be read), and
// into what is known of the endpoint, where a name, say, that could not be
// read again stays as it was known. Its state and mix format are as read.
EndpointLookup::Outcome EventMaker::read(Known& k, unsigned what, EndpointLookup::Facts* fresh) {
    EndpointLookup::Facts read = k.facts;
    EndpointLookup::Outcome o;
    if (k.hung) {
        o.notAnswering = true;
        read = EndpointLookup::Facts();
    } else {
        o = lookup.read(k.id, what, &read);
        k.hung = o.notAnswering;
    }
    const auto keep = [&](unsigned bit, auto member) {
        if ((what & bit) != 0 && (read.*member).has_value())
            k.facts.*member = read.*member;
    };
    keep(EndpointLookup::Name, &EndpointLookup::Facts::name);
    keep(EndpointLookup::Adapter, &EndpointLookup::Facts::adapter);
    keep(EndpointLookup::FormFactor, &EndpointLookup::Facts::formFactor);
    keep(EndpointLookup::Effects, &EndpointLookup::Facts::effectsOff);
    keep(EndpointLookup::Panel, &EndpointLookup::Facts::panel);
    if (what & EndpointLookup::State)
        k.facts.state = read.state;
    if (what & EndpointLookup::Mix)
        k.facts.mix = read.mix;
    if (fresh != nullptr)
        *fresh = read;
    return o;
}

WatchEvent EventMaker::about(const Known& k, WatchEventKind kind, const WatchTime& at) const {
    WatchEvent e;
    e.kind = kind;
    e.at = at;
    e.endpoint = {k.id, k.facts.name, k.direction};
    return e;
}

void EventMaker::refused(Hearing hearing, EndpointAnswer answer) {
    // An endpoint gone before it could be watched is an event of its own.
    if (answer == EndpointAnswer::Ok || answer == EndpointAnswer::NotFound ||
        answer == EndpointAnswer::Gone || said[static_cast<int>(hearing)])
        return;
    said[static_cast<int>(hearing)] = true;
    WatchEvent e;
    e.kind = WatchEventKind::Unheard;
    e.at = watchTimeNow();
    e.hearing = hearing;
    e.answer = answer;
    emit(e);
}

void EventMaker::watchControls(Known& k) {
    if (k.controls != nullptr || k.hung)
        return;
    EndpointLookup::Controls c;
    const EndpointLookup::Outcome o = lookup.watchControls(watch, k.id, &c);
    k.hung = o.notAnswering;
    k.controls = c.watch;
    if (o.notAnswering)
        return; // the endpoint's own lines say it is not answering
    refused(Hearing::Volume, c.answers.volume);
    refused(Hearing::Sessions, c.answers.sessions);
    if (c.sessions.empty())
        return;
    std::optional<std::vector<AudioSession>> listed;
    lookup.sessions(k.id, &listed);
    for (const WatchedSession& w : c.sessions)
        k.sessions[w.number] = sessionOf(w, listed);
}

void EventMaker::letControlsGo(Known& k) {
    if (k.controls != nullptr && lookup.unwatch(k.controls).notAnswering)
        k.hung = true;
    k.controls = nullptr;
    k.sessions.clear();
}

void EventMaker::start(EndpointAnswer devices) {
    const std::optional<EndpointDefaults> current = lookup.defaults();
    if (current)
        for (int d = 0; d < 2; ++d)
            if (current->known[d])
                for (int role = 0; role < endpointRoleCount; ++role)
                    defaults[d][role] = current->ids[d][role];
    for (DeviceDirection direction : {'I', 'O'}) {
        const std::optional<std::vector<std::u16string>> ids = lookup.ids(direction);
        for (const std::u16string& id : ids.value_or(std::vector<std::u16string>())) {
            Known& k = found(id) != nullptr ? *found(id) : add(id, direction);
            WatchEvent e = about(k, WatchEventKind::Present, watchTimeNow());
            mark(e, read(k, everyProperty | EndpointLookup::State));
            if (isActive(k.facts.state))
                mark(e, read(k, EndpointLookup::Mix));
            e.endpoint.name = k.facts.name;
            e.state = k.facts.state;
            e.mix = k.facts.mix;
            if (current)
                e.defaults = defaultRolesOf(id, direction, *current);
            emit(e);
        }
    }
    refused(Hearing::Devices, devices);
    for (std::size_t i = 0; i < known.size(); ++i)
        if (isActive(known[i]->facts.state))
            watchControls(*known[i]);
}

void EventMaker::hear(const EndpointNotice& n) {
    switch (n.kind) {
    case NoticeKind::Added:
        added(n);
        break;
    case NoticeKind::Removed:
        removed(n);
        break;
    case NoticeKind::StateChanged:
        stateChanged(n);
        break;
    case NoticeKind::DefaultChanged:
        bursts[sideOf(n.direction)].hear(n);
        break;
    case NoticeKind::PropertyChanged:
        // Said at once; told again within 100 ms, read again once they are over.
        for (PendingProperty& p : properties)
            if (sameEndpointId(p.id, n.id) && sameKey(p.key, n.key)) {
                p.again = true;
                p.latest = n.at;
                return;
            }
        properties.push_back({n.id, n.key, n.at, n.at, false});
        writeProperty(properties.back(), false);
        break;
    case NoticeKind::VolumeChanged:
        volumeChanged(n);
        break;
    case NoticeKind::SessionCreated:
        sessionsCreated(n);
        break;
    case NoticeKind::SessionStateChanged:
    case NoticeKind::SessionDisconnected:
        sessionChanged(n);
        break;
    }
}

void EventMaker::added(const EndpointNotice& n) {
    Known* before = found(n.id);
    Known& k = before != nullptr ? *before : learn(n.id);
    k.hung = false;
    WatchEvent e = about(k, WatchEventKind::Added, n.at);
    if (before != nullptr)
        mark(e, read(k, everyProperty | EndpointLookup::State));
    if (isActive(k.facts.state))
        mark(e, read(k, EndpointLookup::Mix));
    e.endpoint.name = k.facts.name;
    e.state = k.facts.state;
    e.mix = k.facts.mix;
    emit(e);
    if (isActive(k.facts.state))
        watchControls(k);
}

void EventMaker::removed(const EndpointNotice& n) {
    Known* k = found(n.id);
    if (k == nullptr)
        k = &add(n.id, std::nullopt); // nothing is left of it to ask
    emit(about(*k, WatchEventKind::Removed, n.at));
    letControlsGo(*k);
    k->facts.state.reset();
    k->facts.mix.reset();
    k->hung = false;
}

void EventMaker::stateChanged(const EndpointNotice& n) {
    Known& k = find(n.id);
    const std::optional<std::uint32_t> old = k.facts.state;
    if (old == n.state && old != std::nullopt)
        return; // already known: its line was written
    k.hung = false;
    WatchEvent e = about(k, WatchEventKind::StateChanged, n.at);
    e.oldState = old;
    e.state = n.state;
    k.facts.state = n.state;
    if (n.state == endpointActive) {
        mark(e, read(k, EndpointLookup::Mix | (k.facts.name ? 0u : EndpointLookup::Name)));
        e.endpoint.name = k.facts.name;
        e.mix = k.facts.mix;
    } else {
        k.facts.mix.reset();
    }
    emit(e);
    if (n.state == endpointActive)
        watchControls(k);
    else
        letControlsGo(k);
}

void EventMaker::volumeChanged(const EndpointNotice& n) {
    Known& k = find(n.id);
    if (k.throttle.hear(n))
        writeVolume(k, n.at.tick);
}

void EventMaker::writeVolume(Known& k, std::int64_t tick) {
    const EndpointNotice& latest = k.throttle.latest();
    k.throttle.written(tick);
    WatchEvent e = about(k, WatchEventKind::VolumeChanged, latest.at);
    e.scalar = latest.scalar;
    e.muted = latest.muted;
    if (!k.hung) {
        const EndpointLookup::Outcome o = lookup.volume(k.id, &e.volume);
        k.hung = o.notAnswering;
        mark(e, o);
    } else {
        e.notAnswering = true;
    }
    if (e.volume && k.volume && sameLevel(*e.volume, *k.volume))
        return; // the line would say what the last one did
    if (e.volume)
        k.volume = e.volume;
    emit(e);
}

void EventMaker::sessionsCreated(const EndpointNotice& n) {
    Known& k = find(n.id);
    if (k.controls == nullptr)
        return;
    std::vector<WatchedSession> arrived;
    EndpointLookup::Outcome o = lookup.newSessions(k.controls, &arrived);
    if (o.notAnswering) {
        k.hung = true;
        k.controls = nullptr; // left to the call that hangs
    }
    if (arrived.empty())
        return;
    std::optional<std::vector<AudioSession>> listed;
    const EndpointLookup::Outcome named = lookup.sessions(k.id, &listed);
    for (const WatchedSession& w : arrived) {
        WatchEvent e = about(k, WatchEventKind::Session, n.at);
        e.session = sessionOf(w, listed);
        e.change = SessionChange::Started;
        mark(e, named);
        k.sessions[w.number] = e.session;
        emit(e);
    }
}

void EventMaker::sessionChanged(const EndpointNotice& n) {
    Known& k = find(n.id);
    WatchEvent e = about(k, WatchEventKind::Session, n.at);
    const auto session = k.sessions.find(n.session);
    if (session != k.sessions.end()) {
        e.session = session->second;
    } else {
        e.session.processId = n.processId;
        e.session.systemSounds = n.systemSounds;
    }
    bool ended = true;
    if (n.kind == NoticeKind::SessionDisconnected) {
        e.change = SessionChange::Disconnected;
        e.reason = static_cast<SessionEnd>(n.state);
    } else {
        e.session.state = n.state;
        const SessionChange changes[] = {SessionChange::Inactive, SessionChange::Active,
                                         SessionChange::Ended};
        if (n.state >= std::size(changes))
            return; // no state Windows knows
        e.change = changes[n.state];
        ended = e.change == SessionChange::Ended;
        if (session != k.sessions.end())
            session->second.state = n.state;
    }
    emit(e);
    if (!ended)
        return;
    if (session != k.sessions.end())
        k.sessions.erase(session);
    if (k.controls != nullptr && lookup.forgetSession(k.controls, n.session).notAnswering) {
        k.hung = true;
        k.controls = nullptr; // left to the call that hangs
    }
}

void EventMaker::writeDefaults(int d) {
    const DefaultBurst::Change change = bursts[d].take();
    // One line per endpoint the burst's roles went to, in the roles' order.
    bool done[endpointRoleCount] = {false, false, false};
    for (int first = 0; first < endpointRoleCount; ++first) {
        if (!change.roles[first] || done[first])
            continue;
        const std::u16string& to = *change.roles[first];
        Roles roles{};
        bool changed = false;
        bool beforeKnown = true;
        for (int role = first; role < endpointRoleCount; ++role) {
            if (!change.roles[role] || done[role] || !sameEndpointId(*change.roles[role], to))
                continue;
            done[role] = true;
            // A role told of that already went there changed nothing.
            const std::optional<std::u16string>& was = defaults[d][role];
            if (was && sameEndpointId(*was, to))
                continue;
            roles[role] = true;
            changed = true;
            beforeKnown = beforeKnown && was;
        }
        if (!changed)
            continue;
        WatchEvent e;
        e.kind = WatchEventKind::DefaultChanged;
        e.at = change.first;
        e.roles = roles;
        e.endpoint.id = to;
        e.endpoint.direction = d == 0 ? 'I' : 'O';
        if (!to.empty())
            e.endpoint.name = find(to).facts.name;
        if (beforeKnown) {
            std::vector<EarlierDefault> before;
            for (int role = 0; role < endpointRoleCount; ++role) {
                if (!roles[role])
                    continue;
                const std::u16string& was = *defaults[d][role];
                auto group =
                    std::find_if(before.begin(), before.end(), [&](const EarlierDefault& b) {
                        return sameEndpointId(b.endpoint.id, was);
                    });
                if (group == before.end()) {
                    EarlierDefault b;
                    b.endpoint.id = was;
                    b.endpoint.direction = e.endpoint.direction;
                    if (!was.empty())
                        b.endpoint.name = find(was).facts.name;
                    before.push_back(b);
                    group = before.end() - 1;
                }
                group->roles[role] = true;
            }
            e.before = before;
        }
        for (int role = 0; role < endpointRoleCount; ++role)
            if (roles[role])
                defaults[d][role] = to;
        emit(e);
    }
}

void EventMaker::writeProperty(PendingProperty p, bool again) {
    const PropertyName* property = knownProperty(p.key);
    // A key not read has nothing more to say the second time.
    if (again && (property == nullptr || property->read == PropertyRead::Nothing))
        return;
    Known& k = find(p.id);
    WatchEvent e = about(k, WatchEventKind::PropertyChanged, again ? p.latest : p.at);
    e.key = p.key;
    e.property = property;
    bool said = false;
    if (property != nullptr && property->read != PropertyRead::Nothing) {
        e.oldValue = valueOf(k.facts, property->read);
        EndpointLookup::Facts fresh;
        mark(e, read(k, whatFor(property->read), &fresh));
        e.newValue = valueOf(fresh, property->read);
        e.endpoint.name = k.facts.name;
        // Told of a change that changed nothing the line would say.
        said = isKnown(e.oldValue) && isKnown(e.newValue) && sameValue(e.oldValue, e.newValue);
    }
    if (!said)
        emit(e);
    if (property == nullptr || !property->mixFollows || !isActive(k.facts.state))
        return;
    WatchEvent mix = about(k, WatchEventKind::MixChanged, e.at);
    mix.oldValue.format = k.facts.mix;
    mark(mix, read(k, EndpointLookup::Mix));
    mix.newValue.format = k.facts.mix;
    if (!sameFormat(mix.oldValue.format, mix.newValue.format) || mix.notAnswering || mix.gone)
        emit(mix);
}

std::optional<EventMaker::Next> EventMaker::next() const {
    std::optional<Next> earliest;
    const auto consider = [&](std::optional<std::int64_t> due, Next::Kind kind, std::size_t i) {
        if (due && (!earliest || *due < earliest->when))
            earliest = Next{kind, *due, i};
    };
    for (int d = 0; d < 2; ++d)
        consider(bursts[d].due(), Next::Defaults, static_cast<std::size_t>(d));
    for (std::size_t i = 0; i < properties.size(); ++i)
        consider(properties[i].at.tick + defaultBurstMs, Next::Property, i);
    for (std::size_t i = 0; i < known.size(); ++i)
        consider(known[i]->throttle.due(), Next::Volume, i);
    return earliest;
}

bool EventMaker::writeNext(std::optional<std::int64_t> by) {
    const std::optional<Next> n = next();
    if (!n || (by && n->when > *by))
        return false;
    switch (n->kind) {
    case Next::Defaults:
        writeDefaults(static_cast<int>(n->index));
        break;
    case Next::Property: {
        const PendingProperty p = properties[n->index];
        properties.erase(properties.begin() + static_cast<std::ptrdiff_t>(n->index));
        if (p.again)
            writeProperty(p, true);
        break;
    }
    case Next::Volume:
        writeVolume(*known[n->index], n->when);
        break;
    }
    return true;
}

std::optional<std::int64_t> EventMaker::due() const {
    const std::optional<Next> n = next();
    return n ? std::optional<std::int64_t>(n->when) : std::nullopt;
}

void EventMaker::writeDue(std::int64_t tick) {
    while (writeNext(tick)) {
    }
}

void EventMaker::writeAll() {
    while (writeNext(std::nullopt)) {
    }
}

void EventMaker::letGo() {
    for (const std::unique_ptr<Known>& k : known)
        letControlsGo(*k);
}
