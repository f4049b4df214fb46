#include "watchdog/timed_worker.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t ticksNow() {
    return Clock::now().time_since_epoch().count();
}

// Jobs run on the caller's thread: nothing is watched.
class Unwatched final : public CallClock {
public:
    bool callStarts() override { return true; }
};

} // namespace

struct TimedWorker::Shared final : CallClock {
    std::mutex mutex;
    std::condition_variable changed;
    std::function<void(CallClock&)> job; // the job handed over, until the thread takes it
    bool hasJob = false;
    bool jobDone = false;
    bool jobFailed = false; // it ran out of memory
    bool stopping = false;
    bool finished = false; // the thread's last act
    std::atomic<bool> abandoned{false};
    std::atomic<std::int64_t> callStart{0}; // when the call now running started
    std::function<void()> atExit;

    bool callStarts() override {
        callStart.store(ticksNow());
        return !abandoned.load();
    }
};

namespace {

void workerLoop(std::shared_ptr<TimedWorker::Shared> s) {
    for (;;) {
        std::function<void(CallClock&)> job;
        {
            std::unique_lock<std::mutex> lock(s->mutex);
            s->changed.wait(lock, [&] { return s->hasJob || s->stopping || s->abandoned; });
            if (!s->hasJob)
                break;
            job.swap(s->job);
        }
        bool failed = false;
        try {
            job(*s);
        } catch (const std::bad_alloc&) {
            failed = true;
        }
        job = nullptr; // what it holds goes before the caller goes on
        std::lock_guard<std::mutex> lock(s->mutex);
        s->hasJob = false;
        s->jobDone = true;
        s->jobFailed = failed;
        s->changed.notify_all();
        if (s->abandoned)
            break;
    }
    s->callStarts();
    if (s->atExit)
        s->atExit();
    std::lock_guard<std::mutex> lock(s->mutex);
    s->finished = true;
    s->changed.notify_all();
}

// Waits until `done` holds or the call running passes the limit; false then.
template <class Done>
bool waitWatched(TimedWorker::Shared& s, std::unique_lock<std::mutex>& lock,
                 std::chrono::milliseconds limit, Done done) {
    for (;;) {
        if (done())
            return true;
        const Clock::time_point deadline =
            Clock::time_point(Clock::duration(s.callStart.load())) + limit;
        if (Clock::now() >= deadline)
            return false;
        s.changed.wait_until(lock, deadline);
    }
}

} // namespace

TimedWorker::TimedWorker(std::optional<std::chrono::milliseconds> limit,
                         std::function<void()> atExit)
    : limit(limit), atExit(std::move(atExit)) {}

TimedWorker::~TimedWorker() {
    stop();
}

bool TimedWorker::stop() {
    if (stopped)
        return !abandoned;
    stopped = true;
    if (!started) {
        if (!limit && atExit)
            atExit();
        return true;
    }
    if (broken)
        return !abandoned; // left behind: it ends by itself, if its call ever returns
    std::unique_lock<std::mutex> lock(shared->mutex);
    shared->stopping = true;
    shared->callStart.store(ticksNow()); // its last job may have ended long ago
    shared->changed.notify_all();
    if (!waitWatched(*shared, lock, *limit, [&] { return shared->finished; })) {
        shared->abandoned = true;
        abandoned = true;
    }
    return !abandoned;
}

bool TimedWorker::spent() const {
    return broken;
}

bool TimedWorker::runJob(std::function<void(CallClock&)> job) {
    if (broken || stopped)
        return false;
    if (!limit) {
        Unwatched clock;
        try {
            job(clock);
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    if (!started) {
        try {
            shared = std::make_shared<Shared>();
            shared->atExit = atExit;
            std::thread(workerLoop, shared).detach();
        } catch (const std::bad_alloc&) {
            broken = true;
            return false;
        } catch (const std::system_error&) {
            broken = true;
            return false;
        }
        started = true;
    }
    std::unique_lock<std::mutex> lock(shared->mutex);
    shared->job.swap(job);
    shared->hasJob = true;
    shared->jobDone = false;
    shared->callStart.store(ticksNow());
    shared->changed.notify_all();
    if (!waitWatched(*shared, lock, *limit, [&] { return shared->jobDone; })) {
        shared->abandoned = true;
        broken = true;
        abandoned = true;
        return false;
    }
    shared->jobDone = false;
    return !shared->jobFailed;
}
