// The watch over the simulated machine: a million notifications (or as many as
// the first argument says) through the whole path, from the service's callback
// through the queue, the event's lookups and the line, as text and as JSON
// Lines, standard output a pipe that a thread here reads. Prints the time per event, the resident
// memory as the run goes (it must stay flat) and the time from a callback to
// the program waiting again, its line written. Then a live source, whose
// thread calls back as fast as it can while the program writes, which is how
// the queue is used on Windows. Not a test: run it by hand.
#include "app/run_program.h"
#include "support/simulated_setup.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

unsigned long events = 1000000;

long residentKb() {
    long pages = 0, resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm != nullptr) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Latencies in microseconds, in buckets of 1 µs up to 10 ms: no memory grows.
struct Latencies {
    unsigned long counts[10001] = {};
    unsigned long total = 0;
    void add(double us) {
        ++counts[us < 0 ? 0 : us > 10000 ? 10000 : static_cast<std::size_t>(us)];
        ++total;
    }
    double quantile(double q) const {
        unsigned long seen = 0;
        for (std::size_t i = 0; i <= 10000; ++i)
            if ((seen += counts[i]) >= q * total)
                return static_cast<double>(i);
        return 10000;
    }
};

struct Stream {
    unsigned long made = 0;
    Clock::time_point played;
    bool playing = false;
    Latencies latency;
    long rss[11] = {};
};

// Four kinds in turn, a second apart on the watch's clock, so that none is
// gathered with another: a volume change (a lookup), a session going active
// or inactive, a change of the multimedia default, a name changed (a lookup).
bool next(Stream& s, simulated::Happening* h, bool live) {
    const Clock::time_point now = Clock::now();
    if (s.playing)
        s.latency.add(std::chrono::duration<double, std::micro>(now - s.played).count());
    if (s.made % (events / 10) == 0)
        s.rss[s.made / (events / 10)] = residentKb();
    if (s.made == events)
        return false;
    const unsigned long k = s.made++;
    *h = simulated::Happening();
    h->after = std::chrono::milliseconds(1000);
    simulated::Notice n;
    n.id = speakersEndpoint;
    if (live) {
        // Nothing in the machine changes: a session and the HDMI endpoint come and go.
        h->after = std::chrono::milliseconds(0);
        n.kind = k % 2 == 0 ? NoticeKind::SessionStateChanged : NoticeKind::StateChanged;
        n.state = k % 2 == 0 ? (k / 2) % 2 : (k / 2) % 2 == 0 ? endpointUnplugged : endpointActive;
        if (k % 2 == 1)
            n.id = hdmiEndpoint;
        h->notices.push_back(n);
        return true;
    }
    switch (k % 4) {
    case 0:
        n.kind = NoticeKind::VolumeChanged;
        h->change = [k](simulated::Machine& m) {
            m.endpoints.endpoints[1].volume.value.levelDb = -1.0f - static_cast<float>(k % 40);
        };
        break;
    case 1:
        n.kind = NoticeKind::SessionStateChanged;
        n.state = (k / 4) % 2;
        break;
    case 2:
        n.kind = NoticeKind::DefaultChanged;
        n.role = EndpointRole::Multimedia;
        n.id = (k / 4) % 2 == 0 ? hdmiEndpoint : speakersEndpoint;
        break;
    default:
        n.kind = NoticeKind::PropertyChanged;
        n.key = {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}, 14};
        h->change = [k](simulated::Machine& m) {
            m.endpoints.endpoints[1].friendlyName.value = (k / 4) % 2 == 0 ? u"Speakers" : u"Out";
        };
        break;
    }
    auto change = h->change;
    h->change = [change, &s](simulated::Machine& m) {
        if (change)
            change(m);
        s.played = Clock::now();
        s.playing = true;
    };
    h->notices.push_back(n);
    return true;
}

void run(bool json, bool live = false) {
    resetEverything();
    furnishEndpointMachine();
    static Stream s;
    s = Stream();
    simulated::machine().notifications.live = live;
    simulated::machine().notifications.more = [live](simulated::Happening* h) {
        return next(s, h, live);
    };
    int pipe[2];
    if (::pipe(pipe) != 0)
        return;
    // Keeps the last line, the one that counts what was heard and lost.
    std::string last;
    std::thread reader([&] {
        char chunk[65536];
        std::string line;
        for (ssize_t got; (got = read(pipe[0], chunk, sizeof chunk)) > 0;)
            for (ssize_t i = 0; i < got; ++i) {
                if (chunk[i] != '\n') {
                    line += chunk[i];
                    continue;
                }
                last.swap(line);
                line.clear();
            }
    });
    std::fflush(stdout);
    const int saved = dup(1);
    dup2(pipe[1], 1);
    close(pipe[1]);
    const char* const argv[] = {"sndscout", "watch", json ? "json" : nullptr, nullptr};
    const Clock::time_point start = Clock::now();
    const int status = runProgram(json ? 3 : 2, argv);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    reader.join();
    close(pipe[0]);
    const simulated::WatchLog& log = simulated::calls().watch;
    std::printf("%s%s: %lu events in %.2f s, %.2f us an event, status %d, %d left registered\n",
                json ? "JSON Lines" : "text", live ? ", live source" : "", events, seconds,
                seconds * 1e6 / events, status, log.registrations);
    std::printf("  last line: %s\n", last.substr(25).c_str());
    std::printf("  resident KB at every tenth of the events:");
    for (long kb : s.rss)
        std::printf(" %ld", kb);
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("\n  peak resident %ld KB\n", usage.ru_maxrss);
    if (!live)
        std::printf("  callback to line written: median %.0f us, 99%% %.0f us, 99.9%% %.0f us\n",
                    s.latency.quantile(0.5), s.latency.quantile(0.99), s.latency.quantile(0.999));
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1)
        events = std::strtoul(argv[1], nullptr, 10) / 10 * 10;
    if (events == 0)
        return 2;
    run(false);
    run(true);
    run(false, true);
    resetEverything();
    return 0;
}
