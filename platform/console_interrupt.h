// Ctrl+C, Ctrl+Break and the console closing, caught while a watch runs: the
// handler only sets an event that the watch waits on. Windows only.
#pragma once

#include "platform/windows_sdk.h"

// Set by the handler; a manual-reset event that lives as long as the process.
HANDLE interruptEvent();

// Clears the event and puts the handler in place.
bool catchInterrupts();

// Takes the handler away. A handler waiting for the watch to finish after the
// console closed returns, and Windows ends the process.
void releaseInterrupts();
