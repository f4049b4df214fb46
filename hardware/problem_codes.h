// Device Manager's problem codes and what each means, in a few words.
#pragma once

#include <cstdint>

// Nothing for a code Device Manager does not document; "working properly" for 0.
const char* problemMeaning(std::uint32_t code);
