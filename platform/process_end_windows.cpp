#include "platform/process_end.h"

#include "platform/windows_sdk.h"

#include <cstdio>

void endProcessNow(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    // Unlike ExitProcess (and the runtime's _exit, which calls it), this runs
    // no DLL's detach code.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    for (;;)
        Sleep(INFINITE); // the call does not return for the process itself
}
