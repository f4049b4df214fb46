// Every heap allocation of the program's own records goes through here. The
// allocations do not throw: a failure gives a null pointer. A simulated machine
// can refuse any one of them, so each caller's way out can be tested.
#pragma once

#include <cstddef>
#include <new>

#ifdef _WIN32
inline bool allocationPermitted() {
    return true;
}
#else
// Counts the allocation and says whether the simulated machine lets it happen.
bool allocationPermitted();
#endif

template <class T> T* allocateRecord() {
    return allocationPermitted() ? new (std::nothrow) T() : nullptr;
}

template <class T> T* allocateArray(std::size_t count) {
    return allocationPermitted() ? new (std::nothrow) T[count] : nullptr;
}
