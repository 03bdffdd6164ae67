#pragma once
// The process's own memory, looked at now and then: once it passes its ceiling, data's
// runs and timers stop, whatever path grew it. What data keeps is bounded where it is
// kept (kernel/nDataCharge.h); this is the floor under a path that was missed.
#include <cstdint>

class nMemoryGuard {
public:
    // True while the process's resident memory is below the ceiling. The memory is read
    // at most every ReadEvery (a frame or so); passing the ceiling is logged once, and so
    // is coming back below it.
    static bool Allows();
    // Half the machine's memory, within [1 GB, 3 GB].
    static uint64_t DefaultCeiling();
    static uint64_t Ceiling() { return ceiling_ ? ceiling_ : (ceiling_ = DefaultCeiling()); }
    // A test's ceiling (0: the default again); the next Allows reads the memory.
    static void SetCeiling(uint64_t bytes);

    static constexpr int ReadEveryMs = 20;

private:
    static inline uint64_t ceiling_ = 0;
    static inline int64_t nextRead_ = 0;  // steady clock, in milliseconds
    static inline bool over_ = false;
};
