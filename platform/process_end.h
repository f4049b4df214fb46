// Ending the process when a call that hung is still on its thread. That thread
// is inside the audio service or a driver, perhaps holding their locks or the
// loader lock; an ordinary exit runs every DLL's detach code, which can wait on
// exactly those locks, and so would never end. Windows documents this, and the
// way out: end the process without running any of it.
#pragma once

// Flushes standard output and standard error, then ends the process with
// `status` at once: no atexit handler, no static destructor, no DLL detach.
[[noreturn]] void endProcessNow(int status);
