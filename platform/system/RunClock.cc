#include "platform/system/RunClock.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace sys {

namespace {

RunClock::duration FromTimespec(const timespec& t) {
    return std::chrono::duration_cast<RunClock::duration>(std::chrono::seconds(t.tv_sec) +
                                                          std::chrono::nanoseconds(t.tv_nsec));
}

// The kernel's count of the time this thread was ready to run but had no core (the second
// field of its schedstat), read through a descriptor kept open for the thread.
class CoreWaits {
public:
    CoreWaits() : fd_(open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC)) {
        if (fd_ >= 0 && !Read(last_)) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~CoreWaits() {
        if (fd_ >= 0) close(fd_);
    }
    CoreWaits(const CoreWaits&) = delete;
    CoreWaits& operator=(const CoreWaits&) = delete;

    bool Open() const { return fd_ >= 0; }
    // Nanoseconds waited so far; false when the count cannot be read.
    bool Read(uint64_t& waited) const {
        char text[128];
        const ssize_t n = pread(fd_, text, sizeof(text) - 1, 0);
        if (n <= 0) return false;
        text[n] = 0;
        char* end = nullptr;
        std::strtoull(text, &end, 10);
        if (end == text) return false;
        char* after = nullptr;
        waited = std::strtoull(end, &after, 10);
        return after != end;
    }
    // Nanoseconds waited so far; a read that fails keeps the last count, so that the clock
    // does not jump to another scale.
    uint64_t Waited() {
        uint64_t waited = 0;
        if (Read(waited)) last_ = waited;
        return last_;
    }

private:
    int fd_;
    uint64_t last_ = 0;
};

CoreWaits& ThisThreadsWaits() {
    thread_local CoreWaits waits;
    return waits;
}

thread_local RunClock::Source* source = nullptr;

}  // namespace

bool RunClock::SeesWaits() { return ThisThreadsWaits().Open(); }

void RunClock::SetSource(Source* s) { source = s; }

RunClock::time_point RunClock::Wall() { return source ? source->Wall() : std::chrono::steady_clock::now(); }

RunClock::duration RunClock::ProcessorTime() {
    if (source) return source->ProcessorTime();
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return FromTimespec(now);
}

RunClock::duration RunClock::ThreadTime() {
    if (source) return source->ThreadTime();
    CoreWaits& waits = ThisThreadsWaits();
    timespec now{};
    if (waits.Open()) {
        // The wall clock first: a wait for a core between the two reads is then left out,
        // not charged.
        clock_gettime(CLOCK_MONOTONIC, &now);
        return FromTimespec(now) - std::chrono::duration_cast<duration>(std::chrono::nanoseconds(waits.Waited()));
    }
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return FromTimespec(now);
}

namespace {

// `now` + `d`, or the end of time when that is too far off to add.
RunClock::time_point After(RunClock::time_point now, RunClock::duration d) {
    return d < RunClock::time_point::max() - now ? now + d : RunClock::time_point::max();
}

}  // namespace

RunClock::duration RunClock::WallLimit(duration limit) {
    // Room for a machine that gives the game a quarter of a core.
    constexpr duration Slack = std::chrono::milliseconds(100);
    return limit < (duration::max() - Slack) / 4 ? 4 * limit + Slack : duration::max();
}

void RunClock::Start(duration limit) {
    limit_ = std::max(limit, duration::zero());
    started_ = ThreadTime();
    const time_point now = Wall();
    wallStarted_ = now;
    look_ = After(now, limit_);
    wallEnd_ = After(now, WallLimit(limit_));
}

bool RunClock::Passed() {
    const time_point now = Wall();
    if (now < look_) return false;
    const duration used = Elapsed();
    if (used >= limit_ || now >= wallEnd_) return true;
    look_ = std::min(now + (limit_ - used), wallEnd_);
    return false;
}

RunClock::duration RunClock::Elapsed() const { return ThreadTime() - started_; }

RunClock::duration RunClock::WallElapsed() const { return Wall() - wallStarted_; }

RunClock::duration RunClock::Left() const { return std::max(limit_ - Elapsed(), duration::zero()); }

void RunClock::Exclude(duration taken, duration waited) {
    started_ += std::max(taken, duration::zero());
    waited = std::max(waited, duration::zero());
    look_ = After(look_, waited);
    wallEnd_ = After(wallEnd_, waited);
}

}  // namespace sys
