#include "support/failing_heap.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Atomic: a worker left behind on a stuck call may still allocate while the
// test goes on.
std::atomic<unsigned long> asked{0};
std::atomic<unsigned long> failing{0}; // 0: none fails
std::atomic<bool> onward{false};

bool refuse() {
    const unsigned long n = ++asked;
    const unsigned long from = failing;
    return from != 0 && (n == from || (onward && n > from));
}

void* allocate(std::size_t size) {
    if (refuse())
        return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

} // namespace

namespace failing_heap {

void failFrom(unsigned long n, bool persistent) {
    asked = 0;
    failing = n;
    onward = persistent;
}

unsigned long counted() {
    return asked;
}

} // namespace failing_heap

void* operator new(std::size_t size) {
    if (void* p = allocate(size))
        return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
    if (void* p = allocate(size))
        return p;
    throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete[](void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
