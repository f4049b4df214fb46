// How long the platform's calls may take before the report goes on without
// them. Hidden variables change them, for tests that make a driver hang.
#pragma once

#include <chrono>

// One call: 10 s, or SNDSCOUT_CALL_LIMIT_MS milliseconds.
std::chrono::milliseconds callLimit();

// Everything asked of one endpoint, each call under its own limit: 30 s, or
// SNDSCOUT_ENDPOINT_BUDGET_MS milliseconds. A driver that answers every
// question slowly is caught by this, never by the limit of one call.
std::chrono::milliseconds endpointBudget();
