#include "watch/watch_run.h"

#include "watch/event_maker.h"
#include "watch/event_writers.h"

#include <cstdio>
#include <new>

namespace {

// Stops the watch however the run ends, once everything it registered per
// endpoint has been let go and the lookups' worker has ended.
class Watching {
public:
    Watching() = default;
    ~Watching() { stopEndpointWatch(watch); }
    Watching(const Watching&) = delete;
    Watching& operator=(const Watching&) = delete;
    EndpointWatch* watch = nullptr;
};

void complain(const char* reason) {
    std::fprintf(stderr, "sndscout: %s\n", reason);
}

std::optional<std::int64_t> earlier(std::optional<std::int64_t> a, std::optional<std::int64_t> b) {
    if (!a)
        return b;
    if (!b)
        return a;
    return *a < *b ? a : b;
}

int watchUntilDone(Watching& watching, unsigned seconds, bool json, ReportSink& sink,
                   bool* callsLeftBehind) {
    EndpointAnswer devices = EndpointAnswer::Failed;
    if (startEndpointWatch(&watching.watch, &devices) != EndpointAnswer::Ok) {
        complain("out of memory; nothing watched");
        return 1;
    }
    bool written = true;
    const auto emit = [&](const WatchEvent& e) {
        if (written)
            written = json ? writeJsonLine(sink, eventJson(e)) : writeTextLine(sink, eventText(e));
    };
    EndpointLookup lookup;
    struct Finished {
        EndpointLookup& lookup;
        bool* leftBehind;
        ~Finished() { *leftBehind = lookup.finish() || *leftBehind; }
    } finished{lookup, callsLeftBehind};
    EventMaker maker(lookup, watching.watch, emit);
    // Everything registered per endpoint goes before the watch itself, whatever happens.
    struct LetGo {
        EventMaker& maker;
        ~LetGo() { maker.letGo(); }
    } letGo{maker};

    maker.start(devices);
    std::optional<std::int64_t> end;
    if (seconds > 0)
        end = watchTimeNow().tick + std::int64_t{seconds} * 1000;
    WatchEnd why = WatchEnd::Interrupted;
    while (written) {
        const WatchWake wake = waitForNotices(watching.watch, earlier(end, maker.due()));
        EndpointNotice notice;
        while (written && takeNotice(watching.watch, &notice)) {
            try {
                maker.hear(notice);
            } catch (const std::bad_alloc&) {
                // that one event's line is lost; the watch goes on
            }
        }
        const std::int64_t now = watchTimeNow().tick;
        maker.writeDue(now);
        if (wake == WatchWake::Interrupted)
            break;
        if (end && now >= *end) {
            why = WatchEnd::TimeUp;
            break;
        }
    }
    if (written) {
        maker.writeAll();
        WatchEvent ended;
        ended.kind = WatchEventKind::Ended;
        ended.at = watchTimeNow();
        ended.end = why;
        ended.counts = noticeCounts(watching.watch);
        emit(ended);
    }
    if (!written && json)
        complain("the watch could not be written");
    return written ? 0 : 1;
}

} // namespace

int runWatch(unsigned seconds, bool json, ReportSink& sink, bool* callsLeftBehind) {
    try {
        Watching watching;
        return watchUntilDone(watching, seconds, json, sink, callsLeftBehind);
    } catch (const std::bad_alloc&) {
        complain("out of memory; the watch ended");
        return 1;
    }
}
