// What the simulated platform's own files share: the endpoint behind an open
// one, and the counting of calls that may hang.
#pragma once

#include "platform/simulated_machine.h"

namespace simulated {

// Counts a platform call of something that hangs at its n-th call, and hangs
// (until the machine's hang length or a release) when it is that one.
void noteHangingCall(const std::optional<unsigned long>& hangsAtCall, unsigned long& callsAnswered);
// The same for an endpoint's calls.
void noteEndpointCall(Endpoint& e);

Endpoint& endpointOf(EndpointDevice* device);

} // namespace simulated
