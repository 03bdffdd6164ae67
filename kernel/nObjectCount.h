#pragma once
// The objects made by every class so far (nClass::NewObject counts them): a script run
// from data is bounded in the objects it makes, whichever command makes them.
#include <atomic>
#include <cstdint>

class nObjectCount {
public:
    static uint64_t Made() { return made_.load(std::memory_order_relaxed); }
    static void Add() { made_.fetch_add(1, std::memory_order_relaxed); }

private:
    static inline std::atomic<uint64_t> made_{0};
};
