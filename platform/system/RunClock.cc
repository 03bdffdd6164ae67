#include "platform/system/RunClock.h"

#include <time.h>

#include <algorithm>

namespace sys {

RunClock::duration RunClock::ThreadTime() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::duration_cast<duration>(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
}

void RunClock::Start(duration limit) {
    limit_ = std::max(limit, duration::zero());
    started_ = ThreadTime();
    const auto now = std::chrono::steady_clock::now();
    // A limit too far off to add to the wall clock is never reached.
    look_ = limit_ < std::chrono::steady_clock::time_point::max() - now ? now + limit_
                                                                        : std::chrono::steady_clock::time_point::max();
}

bool RunClock::Passed() {
    const auto now = std::chrono::steady_clock::now();
    if (now < look_) return false;
    const duration used = Elapsed();
    if (used >= limit_) return true;
    look_ = now + (limit_ - used);
    return false;
}

RunClock::duration RunClock::Elapsed() const { return ThreadTime() - started_; }

RunClock::duration RunClock::Left() const { return std::max(limit_ - Elapsed(), duration::zero()); }

void RunClock::Exclude(duration taken) {
    if (taken <= duration::zero()) return;
    started_ += taken;
    if (look_ < std::chrono::steady_clock::time_point::max() - taken) look_ += taken;
}

}  // namespace sys
