#include "platform/system/RunClock.h"

#include <time.h>

#include <algorithm>

namespace sys {

RunClock::duration RunClock::ThreadTime() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::duration_cast<duration>(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
}

namespace {

// `now` + `d`, or the end of time when that is too far off to add.
std::chrono::steady_clock::time_point After(std::chrono::steady_clock::time_point now, RunClock::duration d) {
    return d < std::chrono::steady_clock::time_point::max() - now ? now + d : std::chrono::steady_clock::time_point::max();
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
    const auto now = std::chrono::steady_clock::now();
    look_ = After(now, limit_);
    wallEnd_ = After(now, WallLimit(limit_));
}

bool RunClock::Passed() {
    const auto now = std::chrono::steady_clock::now();
    if (now < look_) return false;
    const duration used = Elapsed();
    if (used >= limit_ || now >= wallEnd_) return true;
    look_ = std::min(now + (limit_ - used), wallEnd_);
    return false;
}

RunClock::duration RunClock::Elapsed() const { return ThreadTime() - started_; }

RunClock::duration RunClock::Left() const { return std::max(limit_ - Elapsed(), duration::zero()); }

void RunClock::Exclude(duration taken, duration waited) {
    started_ += std::max(taken, duration::zero());
    waited = std::max(waited, duration::zero());
    look_ = After(look_, waited);
    wallEnd_ = After(wallEnd_, waited);
}

}  // namespace sys
