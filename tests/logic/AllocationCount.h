#pragma once
// Counts allocations between Start and Stop, to show that a frame allocates nothing. The
// sanitizers' allocator reports every allocation, operator new included; other builds
// count nothing and say so through Available.
#include <atomic>
#include <cstddef>

// GCC says it is building for the address sanitizer with a macro, clang through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define BW_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BW_ADDRESS_SANITIZER 1
#endif
#endif

#ifdef BW_ADDRESS_SANITIZER
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                       void (*)(const volatile void*));
#define BW_COUNTS_ALLOCATIONS 1
#endif

class AllocationCount {
public:
    static bool Available() {
#ifdef BW_COUNTS_ALLOCATIONS
        return true;
#else
        return false;
#endif
    }
    static void Start() {
#ifdef BW_COUNTS_ALLOCATIONS
        // The allocator keeps a few hook slots for the whole program: take one, once.
        static const bool installed = __sanitizer_install_malloc_and_free_hooks(Count, Ignore) != 0;
        (void)installed;
#endif
        calls_ = 0;
        counting_ = true;
    }
    // The allocations since Start.
    static long Stop() {
        counting_ = false;
        return calls_;
    }

private:
    static void Count(const volatile void*, size_t) {
        if (counting_) calls_++;
    }
    static void Ignore(const volatile void*) {}

    static inline std::atomic<bool> counting_{false};
    static inline std::atomic<long> calls_{0};
};
