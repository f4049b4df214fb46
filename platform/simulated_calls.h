// What the simulated platform's own files share: the endpoint behind an open
// one, the counting of calls that may hang, and how ids are compared.
#pragma once

#include "platform/endpoint_answers.h"
#include "platform/simulated_machine.h"

namespace simulated {

// Counts a platform call of something that hangs at its n-th call, and hangs
// (until the machine's hang length or a release) when it is that one.
void noteHangingCall(const std::optional<unsigned long>& hangsAtCall, unsigned long& callsAnswered);
// The same for an endpoint's calls.
void noteEndpointCall(Endpoint& e);

Endpoint& endpointOf(EndpointDevice* device);

// A property's value handed over when its read succeeds, and the read's answer.
template <class T> EndpointAnswer readProperty(const Property<T>& property, T* value) {
    if (SUCCEEDED(property.result))
        *value = property.value;
    return endpointAnswerOf(property.result);
}

// Ids and instance ids as the service and the configuration manager compare
// them: the same text in any case of its ASCII letters.
bool sameIdInAnyCase(const std::u16string& a, const std::u16string& b);

} // namespace simulated
