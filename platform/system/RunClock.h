#pragma once
// The time one run of data's text has taken on this thread: what the run cost the game. That
// is the wall clock less the time that the machine held the thread off its core while it was
// ready to run, so a loaded machine does not stop text that a quiet one runs, while the time
// the thread waited on its own account (a full pipe, a disk, a lock, the driver) is the run's:
// a wait holds the frame as work does. Where the kernel does not tell that wait, the thread's
// processor time stands in. The clock costs a system call to read; a look at the limit reads
// it only once the wall clock has passed the limit, as a run cannot have had more than has
// passed. A run that has waited far past its limit on the wall clock (WallLimit) ends all the
// same: whatever kept the thread waiting, the frame is not held for it.
#include <chrono>

namespace sys {

class RunClock {
public:
    using duration = std::chrono::steady_clock::duration;

    // This thread's time so far: the wall clock less its waits for a core.
    static duration ThreadTime();
    // True when ThreadTime sees the thread's own waits (the kernel reports its waits for a
    // core); false where it is the processor time.
    static bool SeesWaits();

    // Starts timing a run that may have `limit` of the processor.
    void Start(duration limit);
    // The wall-clock time after which a run with `limit` ends whatever processor time it had.
    static duration WallLimit(duration limit);
    // True once the run has had its limit.
    bool Passed();
    // Time since Start, less what Exclude took out.
    duration Elapsed() const;
    // What is left of the limit (none once it is passed).
    duration Left() const;
    // A nested run with a clock of its own took `taken` of this clock over `waited` on the
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
