#pragma once
// The time one run of data's text has taken on this thread: what the run cost the game. That
// is the wall clock less the time that the machine held the thread off its core while it was
// ready to run, so a loaded machine does not stop text that a quiet one runs, while the time
// the thread waited on its own account (a full pipe, a disk, a lock, the driver) is the run's:
// a wait holds the frame as work does. Where the kernel does not tell that wait, the thread's
// processor time stands in. The clock costs a system call to read; a look at the limit reads
// it only once the wall clock has passed the limit, as a run cannot have had more than has
// passed. A run that has waited far past its limit on the wall clock (WallLimit) ends all the
// same: whatever kept the thread waiting, the frame is not held for it. A test may put a clock
// of its own in place of the machine's (SetSource), so that a rule about time is decided by the
// time the test says, not by how fast the machine runs.
#include <chrono>

namespace sys {

class RunClock {
public:
    using duration = std::chrono::steady_clock::duration;
    using time_point = std::chrono::steady_clock::time_point;

    // What the clocks read: the thread's time (the wall clock less its waits for a core) and
    // the wall clock.
    class Source {
    public:
        virtual ~Source() = default;
        virtual duration ThreadTime() = 0;
        virtual time_point Wall() = 0;
        // The thread's processor time; a test's clock has no waits of its own to tell apart.
        virtual duration ProcessorTime() { return ThreadTime(); }
    };
    // Puts `source` in place of the machine's clocks for the calling thread, until it is set
    // back to null; the caller keeps it alive meanwhile.
    static void SetSource(Source* source);

    // This thread's time so far: the wall clock less its waits for a core.
    static duration ThreadTime();
    // This thread's processor time so far: neither the machine's holding it off its core nor
    // its own waits (a frame's wait for the display, for other threads' work) count.
    static duration ProcessorTime();
    // The wall clock that runs go by (steady_clock's, or the source's).
    static time_point Wall();
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
    // Wall-clock time since Start, the machine's holding the thread off its core included.
    duration WallElapsed() const;
    // What is left of the limit (none once it is passed).
    duration Left() const;
    // A nested run with a clock of its own took `taken` of this clock over `waited` on the
    // wall clock: neither is this run's.
    void Exclude(duration taken, duration waited);
    duration Limit() const { return limit_; }

private:
    duration limit_{};
    duration started_{};
    time_point look_{};  // no need to read the thread's clock before
    time_point wallEnd_{};
    time_point wallStarted_{};
};

}  // namespace sys
