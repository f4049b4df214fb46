// Makes the program's heap fail on demand, every allocation counted: the
// standard library's as well as the program's own. Linked into the unit tests
// only, where it replaces the global operator new.
#pragma once

namespace failing_heap {

// From now on the n-th allocation fails (1: the next one), and with
// `persistent` every one after it too. 0 stops failing.
void failFrom(unsigned long n, bool persistent = false);

// Allocations asked for since the last failFrom.
unsigned long counted();

} // namespace failing_heap
