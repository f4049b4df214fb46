#include "platform/console_interrupt.h"

#include <atomic>

namespace {

// The handler has no argument to find a watch by, so its events are the
// process's own, made once and never closed: a handler may run on Windows'
// thread at any moment.
struct Interrupts {
    HANDLE interrupted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> armed{false};
};

Interrupts& interrupts() {
    static Interrupts* const all = new Interrupts;
    return *all;
}

BOOL WINAPI onControl(DWORD type) {
    Interrupts& i = interrupts();
    if (!i.armed.load())
        return FALSE; // Windows' own handling: the process ends
    SetEvent(i.interrupted);
    // After a close, a logoff or a shutdown Windows ends the process as soon
    // as this returns: the watch is given a few seconds to write its last line
    // and unregister (Windows allows five).
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(i.finished, 4000);
    return TRUE;
}

} // namespace

HANDLE interruptEvent() {
    return interrupts().interrupted;
}

bool catchInterrupts() {
    Interrupts& i = interrupts();
    if (i.interrupted == nullptr || i.finished == nullptr)
        return false;
    ResetEvent(i.interrupted);
    ResetEvent(i.finished);
    i.armed.store(true);
    return SetConsoleCtrlHandler(onControl, TRUE) != 0;
}

void releaseInterrupts() {
    Interrupts& i = interrupts();
    SetConsoleCtrlHandler(onControl, FALSE);
    i.armed.store(false);
    if (i.finished != nullptr)
        SetEvent(i.finished);
}
