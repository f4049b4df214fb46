// Runs jobs one at a time on a thread of its own, each call a job makes watched
// against a time limit, for services whose calls may never return (a driver
// that hangs while its device is plugged or unplugged). A call that passes the
// limit leaves its thread behind: nothing waits for it again, its job's results
// are dropped, and the worker is spent. Nothing here throws.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <utility>

// Given to a job: it says when each call starts.
class CallClock {
public:
    virtual ~CallClock() = default;
    // Before each call that may hang. False once the worker has given up on
    // the job, which should then make no more calls.
    virtual bool callStarts() = 0;
};

class TimedWorker {
public:
    // With no limit the jobs run on the caller's own thread, unwatched.
    // `atExit` runs on the worker's thread when it ends, whether it was
    // stopped or left behind; it is watched like a call.
    TimedWorker(std::optional<std::chrono::milliseconds> limit, std::function<void()> atExit);
    // Ends the thread and waits for it, unless it is spent.
    ~TimedWorker();
    // The same, once: false when its thread is left behind, in a call or in
    // `atExit`, which the process must then not wait for as it ends.
    bool stop();
    TimedWorker(const TimedWorker&) = delete;
    TimedWorker& operator=(const TimedWorker&) = delete;

    // Runs the job and gives what it returned; nothing when a call passed the
    // limit, or the thread or memory could not be had. The job must own what
    // it uses: when the worker gives up on it, it may still run on its own.
    template <class Job>
    auto run(Job job) -> std::optional<decltype(job(std::declval<CallClock&>()))> {
        using Result = decltype(job(std::declval<CallClock&>()));
        std::shared_ptr<std::optional<Result>> result;
        std::function<void(CallClock&)> erased;
        try {
            result = std::make_shared<std::optional<Result>>();
            erased = [job = std::move(job), result](CallClock& clock) { *result = job(clock); };
        } catch (const std::bad_alloc&) {
            return std::nullopt;
        }
        if (!runJob(std::move(erased)))
            return std::nullopt;
        return std::move(*result);
    }

    // A call passed its limit, or the thread could not be started.
    bool spent() const;
    // A call passed its limit: its thread is still inside it.
    bool leftBehind() const { return abandoned; }

    struct Shared; // what the worker's thread and this object both hold

private:
    bool runJob(std::function<void(CallClock&)> job);

    std::optional<std::chrono::milliseconds> limit;
    std::function<void()> atExit;
    std::shared_ptr<Shared> shared;
    bool started = false;
    bool broken = false;
    bool abandoned = false;
    bool stopped = false;
};
