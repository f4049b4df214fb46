// Calls to a service any of whose calls may hang (the waveform service, whose
// drivers can hang while their device is plugged or pulled out), each on a
// worker thread under the call limit. A call that passes it is left behind and
// the next call gets a fresh worker, so one hung device costs one limit and
// the report goes on. Where no thread can be had, calls are made directly.
// Nothing here throws.
#pragma once

#include "watchdog/timed_worker.h"

#include <chrono>
#include <memory>
#include <optional>

class WatchedCalls {
public:
    explicit WatchedCalls(std::chrono::milliseconds limit) : limit(limit) {}

    // What the call returned; nothing when it passed the limit. The call must
    // own what it uses, as a job of TimedWorker must.
    template <class Call> auto run(Call call) -> std::optional<decltype(call())> {
        if (!worker || worker->spent()) {
            worker.reset();
            worker.reset(new (std::nothrow) TimedWorker(limit, nullptr));
        }
        if (worker) {
            auto result = worker->run([call](CallClock& clock) {
                clock.callStarts();
                return call();
            });
            if (result || worker->leftBehind()) {
                hung = hung || worker->leftBehind();
                return result;
            }
        }
        return call(); // no thread, or no memory for the job: asked unwatched
    }

    // Whether any call passed its limit and is still on its thread.
    bool leftCallsBehind() const { return hung; }

private:
    std::chrono::milliseconds limit;
    std::unique_ptr<TimedWorker> worker;
    bool hung = false;
};
