// A worker thread with the endpoint service open on it, for those that ask the
// service: the endpoint view's session and the watch's lookups. What its
// thread holds (`State`: the service, and the endpoint open now) is closed on
// that thread as it ends, also when it was left behind in a call that hung.
#pragma once

#include "platform/endpoint_services.h"
#include "watchdog/time_limits.h"
#include "watchdog/timed_worker.h"

#include <memory>
#include <new>
#include <optional>

// One call's answer and what it gave.
template <class T> struct Answered {
    EndpointAnswer answer = EndpointAnswer::Failed;
    T value{};
};

// One call, `call(T*)`, as a job of the worker; nothing when it passed the
// limit or memory ran out. The call must own what it uses.
template <class T, class Call> std::optional<Answered<T>> answerOf(TimedWorker& worker, Call call) {
    return worker.run([call](CallClock& clock) {
        Answered<T> a;
        if (clock.callStarts())
            a.answer = call(&a.value);
        return a;
    });
}

enum class ServiceWorker { Started, NoWorker, ServiceFailed };

// Replaces `worker` and `state` with a fresh worker that has opened the
// service. ServiceFailed when the service would not start, or hung starting:
// it is not worth asking again.
template <class State>
ServiceWorker startServiceWorker(std::unique_ptr<TimedWorker>& worker,
                                 std::shared_ptr<State>& state) {
    worker.reset();
    state.reset();
    try {
        state = std::make_shared<State>();
        const std::shared_ptr<State> held = state;
        worker = std::make_unique<TimedWorker>(callLimit(), [held] {
            closeEndpoint(held->device);
            closeEndpointService(held->service);
        });
    } catch (const std::bad_alloc&) {
        worker.reset();
        state.reset();
        return ServiceWorker::NoWorker;
    }
    const std::optional<EndpointAnswer> opened = worker->run([held = state](CallClock& clock) {
        clock.callStarts();
        return openEndpointService(&held->service);
    });
    return opened == EndpointAnswer::Ok ? ServiceWorker::Started : ServiceWorker::ServiceFailed;
}
