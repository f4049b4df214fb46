// A lock that the thread holding it may take again: a critical section on
// Windows, a recursive mutex elsewhere.
#pragma once

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
#include <mutex>
#endif

class RecursiveLock {
public:
#ifdef _WIN32
    RecursiveLock() {
        InitializeCriticalSection(&section);
    }
    ~RecursiveLock() {
        DeleteCriticalSection(&section);
    }
    void acquire() {
        EnterCriticalSection(&section);
    }
    void release() {
        LeaveCriticalSection(&section);
    }
#else
    RecursiveLock() = default;
    void acquire() {
        mutex.lock();
    }
    void release() {
        mutex.unlock();
    }
#endif
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

private:
#ifdef _WIN32
    CRITICAL_SECTION section;
#else
    std::recursive_mutex mutex;
#endif
};

// Holds a lock for the life of a scope.
class LockHolder {
public:
    explicit LockHolder(RecursiveLock& held) : lock(held) { lock.acquire(); }
    ~LockHolder() { lock.release(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

private:
    RecursiveLock& lock;
};
