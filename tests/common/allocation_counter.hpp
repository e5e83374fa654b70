#pragma once
// Counting replacement of the global allocation functions, for tests that
// check that warm working storage allocates nothing: only allocations made
// on a thread that has switched counting on are counted. Include it in one
// file of a test program only (the replacements are definitions).
#include <cstdlib>
#include <functional>
#include <new>

namespace allocation_counter {
inline thread_local bool counting = false;
inline thread_local long allocations = 0;

// The allocations `work` makes on this thread.
inline long during(const std::function<void()>& work) {
    allocations = 0;
    counting = true;
    work();
    counting = false;
    return allocations;
}
}  // namespace allocation_counter

// The replacements pair malloc with free; once inlined beside a
// new-expression the compiler takes that for a mismatch, which it is not.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
    if (allocation_counter::counting) ++allocation_counter::allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
// The nothrow form (std::stable_sort's temporary buffer) must come from the
// same heap as the replaced deletes that free it.
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    if (allocation_counter::counting) ++allocation_counter::allocations;
    return std::malloc(n ? n : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop
