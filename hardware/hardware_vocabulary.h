// The words both writers use for the hardware and the system: the text
// report's, and the JSON document's where it spells them otherwise.
#pragma once

#include "hardware/hardware_facts.h"

#include <cstdint>

struct Words {
    const char* text;
    const char* json;
};

// "pre-mix" / "preMix", "post-mix", "stream", "mode", "endpoint".
Words effectSlotWords(EffectSlot slot);

// "hands-free (call audio, mono)" / "handsFree", "stereo (music)" / "stereo".
Words bluetoothProfileWords(BluetoothProfile profile);

// A service manager state, 0 for not installed: "running", "stopped", ...,
// "not installed" / "notInstalled"; null words for a state it does not number.
Words serviceStateWords(std::uint32_t state);
