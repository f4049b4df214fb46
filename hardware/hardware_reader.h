// Reads, in the exclusive mode, the hardware behind each endpoint and the
// system the report runs on. Every call runs as a job of the worker it is
// given, under that worker's time limit: past a call that hangs, the rest is
// left unknown. Each adapter, each effect's class id and the list of every
// endpoint's container are asked once per run, however many endpoints share them.
#pragma once

#include "hardware/hardware_facts.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TimedWorker;
struct HardwareCalls;

class HardwareReader {
public:
    // `service` and `device` point at what the worker's jobs use: the service
    // and the endpoint open on its thread. Each keeps alive what holds it.
    // No call starts once `timeLeft` says the endpoint's time is up.
    EndpointHardware read(TimedWorker& worker, std::function<bool()> timeLeft,
                          const std::shared_ptr<EndpointService* const>& service,
                          const std::shared_ptr<EndpointDevice* const>& device,
                          const std::u16string& endpointId);

    SystemFacts readSystem(TimedWorker& worker);

private:
    AdapterFacts adapter(const HardwareCalls& calls, const std::u16string& instanceId);
    AudioEffect effect(const HardwareCalls& calls, const EffectReading& reading);

    std::vector<AdapterFacts> adapters;
    std::vector<AudioEffect> effects; // by class id
    bool containersAsked = false;
    std::optional<std::vector<ContainerReading>> containers;
};
