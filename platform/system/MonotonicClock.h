#pragma once
// The system's monotonic clock in nanoseconds: immune to wall-clock changes.

#include "platform/system/Clock.h"

namespace sys {

class MonotonicClock : public Clock {
public:
    int64_t Ticks() override;
    int64_t Frequency() override { return 1000000000; }
    void Sleep(int milliseconds) override;

    // The one process-wide instance.
    static MonotonicClock* Instance();
};

}  // namespace sys
