// The watch over the simulated machine. Its notification source plays the
// service's callbacks on a thread of its own, each putting a record on the
// queue as the real ones do; the program's waits move the watch's clock from
// one happening to the next, so that every run of a script says the same.
#include "platform/endpoint_answers.h"
#include "platform/notice_queue.h"
#include "platform/simulated_calls.h"
#include "platform/simulated_machine.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

using simulated::calls;
using simulated::countOnLog;
using simulated::machine;

namespace {

using SteadyClock = std::chrono::steady_clock;

thread_local bool playingCallback = false;

// The watch's clock: milliseconds moved on by the waits, or in a live source
// the real ones since the watch started. Never destroyed, like the hangs.
struct WatchClock {
    std::atomic<std::int64_t> now{0};
    std::atomic<bool> live{false};
    std::atomic<std::int64_t> liveStart{0}; // steady ticks
};

WatchClock& watchClock() {
    static WatchClock* const clock = new WatchClock;
    return *clock;
}

std::int64_t liveMilliseconds() {
    const auto since = SteadyClock::duration(SteadyClock::now().time_since_epoch().count() -
                                             watchClock().liveStart.load());
    return std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
std::int64_t daysOf(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void dateOf(std::int64_t days, WatchTime* t) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t m = (5 * dayOfYear + 2) / 153;
    const std::int64_t month = m < 10 ? m + 3 : m - 9;
    t->day = static_cast<std::uint16_t>(dayOfYear - (153 * m + 2) / 5 + 1);
    t->month = static_cast<std::uint16_t>(month);
    t->year = static_cast<std::uint16_t>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

// The queue and what the waiting thread waits on.
struct Inbox {
    NoticeQueue queue;
    std::mutex mutex;
    std::condition_variable woken;
    bool signalled = false;
    bool interrupted = false;

    void wake(bool interrupt) {
        std::lock_guard<std::mutex> lock(mutex);
        signalled = true;
        interrupted = interrupted || interrupt;
        woken.notify_all();
    }
};

} // namespace

struct ControlWatch {
    EndpointWatch* watch = nullptr;
    std::u16string id;
    bool volume = false;
    bool sessions = false;
    struct Watched {
        std::size_t index; // into the endpoint's sessions
        std::uint32_t number;
        std::uint32_t processId;
        bool systemSounds;
    };
    // All of it under the watch's lock: the player reads it while it plays.
    std::vector<Watched> watched;
    std::vector<std::size_t> arrived;
    std::uint32_t nextNumber = 1;
};

struct EndpointWatch {
    bool ownsCom = false;
    bool devices = false; // registered for the device events
    bool live = false;
    Inbox inbox;
    std::mutex controlsMutex;
    std::vector<ControlWatch*> controls;

    // The next happening, on the waiting thread (the player's in a live source).
    std::size_t nextInScript = 0;
    std::optional<simulated::Happening> pending;
    std::int64_t lastDue = 0;
    bool exhausted = false;

    // One happening at a time handed to the player.
    std::mutex playMutex;
    std::condition_variable playChanged;
    const simulated::Happening* playing = nullptr;
    bool stopping = false;
    std::thread player;
};

namespace {

// The session watched under this index of the endpoint, if it is.
const ControlWatch::Watched* watchedAt(const ControlWatch& c, std::size_t index) {
    for (const ControlWatch::Watched& w : c.watched)
        if (w.index == index)
            return &w;
    return nullptr;
}

ControlWatch* controlsOf(EndpointWatch& watch, const std::u16string& id) {
    for (ControlWatch* c : watch.controls)
        if (simulated::sameIdInAnyCase(c->id, id))
            return c;
    return nullptr;
}

// One callback of the service, for what is registered to hear it.
void play(EndpointWatch& watch, const simulated::Notice& n) {
    EndpointNotice fields;
    fields.kind = n.kind;
    fields.at = watchTimeNow();
    fields.direction = n.direction;
    fields.role = n.role;
    fields.state = n.state;
    fields.key = n.key;
    fields.scalar = n.scalar;
    fields.muted = n.muted;
    bool heard = false;
    switch (n.kind) {
    case NoticeKind::Added:
    case NoticeKind::Removed:
    case NoticeKind::StateChanged:
    case NoticeKind::DefaultChanged:
    case NoticeKind::PropertyChanged:
        heard = watch.devices;
        break;
    case NoticeKind::VolumeChanged:
    case NoticeKind::SessionCreated:
    case NoticeKind::SessionStateChanged:
    case NoticeKind::SessionDisconnected: {
        std::lock_guard<std::mutex> lock(watch.controlsMutex);
        ControlWatch* c = controlsOf(watch, n.id);
        if (c == nullptr)
            break;
        if (n.kind == NoticeKind::VolumeChanged) {
            heard = c->volume;
        } else if (n.kind == NoticeKind::SessionCreated) {
            heard = c->sessions;
            try {
                if (heard)
                    c->arrived.push_back(n.session);
            } catch (const std::bad_alloc&) {
                // its notice still says a session came
            }
        } else if (const ControlWatch::Watched* w = watchedAt(*c, n.session)) {
            heard = true;
            fields.session = w->number;
            fields.processId = w->processId;
            fields.systemSounds = w->systemSounds;
        }
        break;
    }
    }
    if (!heard)
        return;
    ++calls().watch.callbacks;
    playingCallback = true;
    watch.inbox.queue.put(fields, n.id.data(), n.id.size());
    watch.inbox.wake(false);
    playingCallback = false;
}

void playAll(EndpointWatch& watch, const simulated::Happening& h) {
    for (const simulated::Notice& n : h.notices)
        for (unsigned r = 0; r < h.repeat; ++r)
            play(watch, n);
}

// The next happening of the script, or of its continuation.
void fetch(EndpointWatch& watch) {
    if (watch.pending || watch.exhausted)
        return;
    simulated::NotificationSource& source = machine().notifications;
    if (watch.nextInScript < source.script.size()) {
        watch.pending = source.script[watch.nextInScript++];
        return;
    }
    simulated::Happening h;
    if (source.more && source.more(&h))
        watch.pending = std::move(h);
    else
        watch.exhausted = true;
}

void playerLoop(EndpointWatch* watch) {
    if (watch->live) {
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(watch->playMutex);
                if (watch->stopping)
                    return;
            }
            fetch(*watch);
            if (!watch->pending)
                break;
            if (watch->pending->after.count() > 0)
                std::this_thread::sleep_for(watch->pending->after);
            playAll(*watch, *watch->pending);
            const bool interrupt = watch->pending->interrupt;
            watch->pending.reset();
            if (interrupt)
                break;
        }
        watch->inbox.wake(true);
        return;
    }
    std::unique_lock<std::mutex> lock(watch->playMutex);
    for (;;) {
        watch->playChanged.wait(lock, [&] { return watch->playing != nullptr || watch->stopping; });
        if (watch->stopping)
            return;
        playAll(*watch, *watch->playing);
        watch->playing = nullptr;
        watch->playChanged.notify_all();
    }
}

void advanceTo(std::int64_t tick) {
    std::atomic<std::int64_t>& now = watchClock().now;
    if (tick > now.load())
        now.store(tick);
}

WatchWake waitLive(EndpointWatch& watch, std::optional<std::int64_t> until) {
    Inbox& in = watch.inbox;
    std::unique_lock<std::mutex> lock(in.mutex);
    const auto ready = [&] { return in.signalled || in.interrupted; };
    if (until) {
        const auto left = std::chrono::milliseconds(*until - liveMilliseconds());
        if (!in.woken.wait_for(lock, left, ready))
            return WatchWake::TimeUp;
    } else {
        in.woken.wait(lock, ready);
    }
    in.signalled = false;
    return in.interrupted ? WatchWake::Interrupted : WatchWake::Notices;
}

} // namespace

bool simulated::inWatchCallback() {
    return playingCallback;
}

WatchTime watchTimeNow() {
    const WatchClock& clock = watchClock();
    const std::int64_t tick = clock.live.load() ? liveMilliseconds() : clock.now.load();
    const WatchTime& start = machine().notifications.start;
    const std::int64_t startOfDay =
        ((start.hour * 60 + start.minute) * 60 + start.second) * 1000 + start.millisecond;
    const std::int64_t msOfDay = startOfDay + tick;
    constexpr std::int64_t day = 86400000;
    WatchTime t;
    dateOf(daysOf(start.year, start.month, start.day) + msOfDay / day, &t);
    const std::int64_t ms = msOfDay % day;
    t.hour = static_cast<std::uint16_t>(ms / 3600000);
    t.minute = static_cast<std::uint16_t>(ms / 60000 % 60);
    t.second = static_cast<std::uint16_t>(ms / 1000 % 60);
    t.millisecond = static_cast<std::uint16_t>(ms % 1000);
    t.tick = tick;
    return t;
}

EndpointAnswer startEndpointWatch(EndpointWatch** watch, EndpointAnswer* devices) {
    simulated::noteCall();
    *watch = nullptr;
    EndpointWatch* made = new (std::nothrow) EndpointWatch;
    if (made == nullptr)
        return EndpointAnswer::NoMemory;
    const simulated::EndpointSystem& system = machine().endpoints;
    const simulated::NotificationSource& source = machine().notifications;
    made->live = source.live;
    WatchClock& clock = watchClock();
    clock.now.store(0);
    clock.liveStart.store(SteadyClock::now().time_since_epoch().count());
    clock.live.store(made->live);
    made->ownsCom = system.comResult == S_OK || system.comResult == S_FALSE;
    if (made->ownsCom)
        countOnLog(calls().comDepth, +1);
    HRESULT result = system.comResult;
    if (made->ownsCom || result == RPC_E_CHANGED_MODE)
        result = system.enumeratorResult != S_OK ? system.enumeratorResult : source.devicesResult;
    made->devices = result == S_OK;
    if (made->devices)
        ++calls().watch.registrations;
    *devices = endpointAnswerOf(result);
    try {
        made->player = std::thread(playerLoop, made);
    } catch (const std::bad_alloc&) {
        stopEndpointWatch(made);
        return EndpointAnswer::NoMemory;
    } catch (const std::system_error&) {
        stopEndpointWatch(made);
        return EndpointAnswer::Failed;
    }
    *watch = made;
    return EndpointAnswer::Ok;
}

void stopEndpointWatch(EndpointWatch* watch) {
    simulated::noteCall();
    if (watch == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(watch->playMutex);
        watch->stopping = true;
        watch->playChanged.notify_all();
    }
    if (watch->player.joinable())
        watch->player.join();
    if (watch->devices)
        --calls().watch.registrations;
    if (watch->ownsCom)
        countOnLog(calls().comDepth, -1);
    watchClock().live.store(false);
    delete watch;
}

WatchWake waitForNotices(EndpointWatch* watch, std::optional<std::int64_t> until) {
    Inbox& in = watch->inbox;
    if (watch->live)
        return waitLive(*watch, until);
    {
        std::lock_guard<std::mutex> lock(in.mutex);
        if (in.interrupted)
            return WatchWake::Interrupted;
        if (in.signalled) {
            in.signalled = false;
            return WatchWake::Notices;
        }
    }
    fetch(*watch);
    if (!watch->pending) {
        // The script is done: the user presses Ctrl+C, unless time runs out first.
        if (until) {
            advanceTo(*until);
            return WatchWake::TimeUp;
        }
        in.wake(true);
        return WatchWake::Interrupted;
    }
    const std::int64_t due = watch->lastDue + watch->pending->after.count();
    if (until && *until < due) {
        advanceTo(*until);
        return WatchWake::TimeUp;
    }
    advanceTo(due);
    watch->lastDue = due;
    if (watch->pending->change)
        watch->pending->change(machine());
    {
        std::unique_lock<std::mutex> lock(watch->playMutex);
        watch->playing = &*watch->pending;
        watch->playChanged.notify_all();
        watch->playChanged.wait(lock, [&] { return watch->playing == nullptr; });
    }
    const bool interrupt = watch->pending->interrupt;
    watch->pending.reset();
    if (interrupt)
        in.wake(true);
    std::lock_guard<std::mutex> lock(in.mutex);
    in.signalled = false;
    return in.interrupted ? WatchWake::Interrupted : WatchWake::Notices;
}

bool takeNotice(EndpointWatch* watch, EndpointNotice* notice) {
    return watch->inbox.queue.take(notice);
}

NoticeCounts noticeCounts(EndpointWatch* watch) {
    return watch->inbox.queue.counts();
}

ControlAnswers watchControls(EndpointWatch* watch, const std::u16string& id,
                             ControlWatch** controls, std::vector<WatchedSession>* sessions) {
    simulated::noteCall();
    *controls = nullptr;
    ControlAnswers answers;
    const simulated::Endpoint* e = simulated::findEndpoint(id);
    const simulated::NotificationSource& source = machine().notifications;
    HRESULT first = e == nullptr                 ? E_NOTFOUND
                    : e->state != endpointActive ? AUDCLNT_E_DEVICE_INVALIDATED
                    : e->activateResult != S_OK  ? e->activateResult
                                                 : S_OK;
    const HRESULT volume = first != S_OK ? first : source.volumeResult;
    const HRESULT session = first != S_OK ? first : source.sessionsResult;
    answers.volume = endpointAnswerOf(volume);
    answers.sessions = endpointAnswerOf(session);
    if (volume != S_OK && session != S_OK)
        return answers;
    ControlWatch* made = new (std::nothrow) ControlWatch;
    if (made == nullptr)
        return {EndpointAnswer::NoMemory, EndpointAnswer::NoMemory};
    made->watch = watch;
    made->volume = volume == S_OK;
    made->sessions = session == S_OK;
    try {
        made->id = id;
        std::lock_guard<std::mutex> lock(watch->controlsMutex);
        watch->controls.push_back(made);
        if (made->sessions)
            for (std::size_t i = 0; i < e->sessions.size(); ++i)
                made->arrived.push_back(i);
    } catch (const std::bad_alloc&) {
        delete made;
        return {EndpointAnswer::NoMemory, EndpointAnswer::NoMemory};
    }
    calls().watch.registrations += (made->volume ? 1 : 0) + (made->sessions ? 1 : 0);
    *controls = made;
    takeNewSessions(made, sessions);
    return answers;
}

void takeNewSessions(ControlWatch* controls, std::vector<WatchedSession>* sessions) {
    simulated::noteCall();
    std::lock_guard<std::mutex> lock(controls->watch->controlsMutex);
    const simulated::Endpoint* e = simulated::findEndpoint(controls->id);
    try {
        for (std::size_t index : controls->arrived) {
            if (e == nullptr || index >= e->sessions.size() || watchedAt(*controls, index))
                continue;
            const simulated::Session& s = e->sessions[index];
            WatchedSession reading;
            reading.number = controls->nextNumber++;
            if (s.processIdResult == S_OK)
                reading.processId = s.processId;
            reading.state = s.state;
            reading.systemSounds = s.systemSounds;
            sessions->push_back(reading);
            controls->watched.push_back({index, reading.number, s.processId, s.systemSounds});
            ++calls().watch.registrations;
        }
    } catch (const std::bad_alloc&) {
        // the sessions not taken stay unwatched
    }
    controls->arrived.clear();
}

void forgetSession(ControlWatch* controls, std::uint32_t number) {
    simulated::noteCall();
    std::lock_guard<std::mutex> lock(controls->watch->controlsMutex);
    std::vector<ControlWatch::Watched>& watched = controls->watched;
    for (auto w = watched.begin(); w != watched.end(); ++w)
        if (w->number == number) {
            watched.erase(w);
            --calls().watch.registrations;
            return;
        }
}

void unwatchControls(ControlWatch* controls) {
    simulated::noteCall();
    if (controls == nullptr)
        return;
    EndpointWatch& watch = *controls->watch;
    {
        std::lock_guard<std::mutex> lock(watch.controlsMutex);
        calls().watch.registrations -= (controls->volume ? 1 : 0) + (controls->sessions ? 1 : 0) +
                                       static_cast<int>(controls->watched.size());
        for (auto c = watch.controls.begin(); c != watch.controls.end(); ++c)
            if (*c == controls) {
                watch.controls.erase(c);
                break;
            }
    }
    delete controls;
}
