// The watchdog: a call that returns is answered, one that hangs costs one
// limit and is left behind, one that returns after it was given up on changes
// nothing, and a run that leaves a call stuck still ends at once.
#include "app/run_program.h"
#include "watchdog/watched_calls.h"

#include "support/simulated_test.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

TEST(Watchdog, EachCallIsAnsweredOrLeftBehindWithinItsLimit) {
    const struct {
        const char* name;
        std::chrono::milliseconds takes;
        bool answered;
    } cases[] = {
        {"returns", 0ms, true},
        {"returns within the limit", 50ms, true},
        {"returns late, after it was given up on", 400ms, false},
        {"hangs", 60s, false},
    };
    for (const auto& c : cases) {
        WatchedCalls calls(200ms);
        auto released = std::make_shared<std::atomic<bool>>(false);
        const auto started = std::chrono::steady_clock::now();
        const std::optional<int> first = calls.run([c, released] {
            const auto until = std::chrono::steady_clock::now() + c.takes;
            while (!*released && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(5ms);
            return 1;
        });
        EXPECT_LT(std::chrono::steady_clock::now() - started, 1s) << c.name;
        EXPECT_EQ(c.answered, first.has_value()) << c.name;
        EXPECT_EQ(!c.answered, calls.leftCallsBehind()) << c.name;
        // The next call gets a fresh worker, whatever became of the first.
        std::this_thread::sleep_for(c.answered ? 0ms : 400ms);
        EXPECT_EQ(2, calls.run([] { return 2; })) << c.name;
        *released = true;
    }
}

using ProcessEnd = SimulatedTest;

// An ordinary exit would wait, in the detach hook, for the call that hangs.
TEST_F(ProcessEnd, ARunThatLeavesACallStuckEndsAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto started = std::chrono::steady_clock::now();
    const auto run = [] {
        alarm(20);
        std::freopen("/dev/null", "w", stdout);
        setenv("SNDSCOUT_CALL_LIMIT_MS", "100", 1);
        furnishEndpointMachine();
        simulated::machine().endpoints.endpoints[1].hangsAtCall = 9;
        std::atexit(simulated::waitUntilNoCallHangs);
        const char* const argv[] = {"sndscout", "exclusive", nullptr};
        std::exit(programMain(2, argv));
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

} // namespace
