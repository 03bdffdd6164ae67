#pragma once
// Tick source of the engine's time: a monotonic counter, its frequency and a
// sleep. The time server reads the system clock through this interface so that
// tests can put a clock of their own in its place.

#include <cstdint>

namespace sys {

class Clock {
public:
    virtual ~Clock() = default;

    // Counter value; only differences matter.
    virtual int64_t Ticks() = 0;
    // Ticks per second.
    virtual int64_t Frequency() = 0;
    // Blocks for the given milliseconds (0 or less returns at once).
    virtual void Sleep(int milliseconds) = 0;
};

}  // namespace sys
