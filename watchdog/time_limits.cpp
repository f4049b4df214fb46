#include "watchdog/time_limits.h"

#include <cstdlib>

namespace {

// Milliseconds from the variable when it holds a whole number from 1 to 10
// minutes' worth, else the default.
std::chrono::milliseconds limitFrom(const char* variable, long fallback) {
    const char* text = std::getenv(variable);
    long milliseconds = 0;
    for (; text != nullptr && *text >= '0' && *text <= '9' && milliseconds < 600000; ++text)
        milliseconds = milliseconds * 10 + (*text - '0');
    if (text == nullptr || *text != '\0' || milliseconds <= 0)
        milliseconds = fallback;
    return std::chrono::milliseconds(milliseconds);
}

} // namespace

std::chrono::milliseconds callLimit() {
    return limitFrom("SNDSCOUT_CALL_LIMIT_MS", 10000);
}

std::chrono::milliseconds endpointBudget() {
    return limitFrom("SNDSCOUT_ENDPOINT_BUDGET_MS", 30000);
}
