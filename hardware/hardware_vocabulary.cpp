#include "hardware/hardware_vocabulary.h"

Words effectSlotWords(EffectSlot slot) {
    switch (slot) {
    case EffectSlot::PreMix:
        return {"pre-mix", "preMix"};
    case EffectSlot::PostMix:
        return {"post-mix", "postMix"};
    case EffectSlot::Stream:
        return {"stream", "stream"};
    case EffectSlot::Mode:
        return {"mode", "mode"};
    case EffectSlot::Endpoint:
        break;
    }
    return {"endpoint", "endpoint"};
}

Words bluetoothProfileWords(BluetoothProfile profile) {
    if (profile == BluetoothProfile::HandsFree)
        return {"hands-free (call audio, mono)", "handsFree"};
    return {"stereo (music)", "stereo"};
}

Words serviceStateWords(std::uint32_t state) {
    static const Words states[] = {
        {"not installed", "notInstalled"},
        {"stopped", "stopped"},
        {"starting", "starting"},
        {"stopping", "stopping"},
        {"running", "running"},
        {"resuming", "resuming"},
        {"pausing", "pausing"},
        {"paused", "paused"},
    };
    return state < sizeof states / sizeof states[0] ? states[state] : Words{nullptr, nullptr};
}
