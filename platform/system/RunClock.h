#pragma once
// The processor time one run of data's text has had on this thread: what the run cost the
// game. A run that the machine's other work holds off its core is not charged the wait, so a
// loaded machine does not stop text that a quiet one runs. The thread's clock costs a system
// call to read; a look at the limit reads it only once the wall clock has passed the limit, as
// a run cannot have had more of the processor than has passed. A run that has waited far past
// its limit on the wall clock (WallLimit) ends all the same: whatever kept the thread waiting,
// the frame is not held for it.
#include <chrono>

namespace sys {

class RunClock {
public:
    using duration = std::chrono::steady_clock::duration;

    // This thread's processor time so far.
    static duration ThreadTime();

    // Starts timing a run that may have `limit` of the processor.
    void Start(duration limit);
    // The wall-clock time after which a run with `limit` ends whatever processor time it had.
    static duration WallLimit(duration limit);
    // True once the run has had its limit.
    bool Passed();
    // Processor time since Start, less what Exclude took out.
    duration Elapsed() const;
    // What is left of the limit (none once it is passed).
    duration Left() const;
    // A nested run with a clock of its own took `taken` of the processor over `waited` on the
    // wall clock: neither is this run's.
    void Exclude(duration taken, duration waited);
    duration Limit() const { return limit_; }

private:
    duration limit_{};
    duration started_{};
    std::chrono::steady_clock::time_point look_{};  // no need to read the thread's clock before
    std::chrono::steady_clock::time_point wallEnd_{};
};

}  // namespace sys
