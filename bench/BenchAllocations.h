#pragma once
// Counts C++ allocations by replacing operator new and delete over malloc and free. A
// benchmark program includes this in its one source file and reads `allocations`
// around what it measures.
#include <atomic>
#include <cstdlib>
#include <new>

namespace bench {
inline std::atomic<long> allocations{0};
// The allocations of the thread that reads it (drivers and the sound mixer allocate on
// threads of their own).
inline thread_local long threadAllocations = 0;

// Allocations per frame from the second frame on: the first frame may still make what
// the frames draw with. Call FrameDone after each measured frame.
class SteadyAllocations {
public:
    void FrameDone() {
        if (++frames_ == 1) before_ = allocations.load();
    }
    double PerFrame() const {
        return frames_ > 1 ? double(allocations.load() - before_) / double(frames_ - 1) : 0.0;
    }

private:
    long frames_ = 0;
    long before_ = 0;
};
}  // namespace bench

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
    bench::allocations.fetch_add(1, std::memory_order_relaxed);
    ++bench::threadAllocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop
