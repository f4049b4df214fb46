// The words both writers use for what opening the cells gave.
#pragma once

#include "verify/cell_opens.h"

// Why a claimed cell did not open: "unsupported format", "buffer size refused",
// "stream not created", "out of memory", "failed".
const char* openAnswerName(EndpointAnswer answer);

// "done", "nothing listed", "in use", "busy", "not allowed", "gone",
// "access denied", "not answering", "too slow", "unavailable".
const char* opensStatusName(OpensStatus status);
