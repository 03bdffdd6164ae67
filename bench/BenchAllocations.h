#pragma once
// Counts C++ allocations by replacing operator new and delete over malloc and free. A
// benchmark program includes this in its one source file and reads `allocations`
// around what it measures.
#include <atomic>
#include <cstdlib>
#include <new>

namespace bench {
inline std::atomic<long> allocations{0};
}  // namespace bench

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
    bench::allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop
