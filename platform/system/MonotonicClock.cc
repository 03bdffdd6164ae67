#include "platform/system/MonotonicClock.h"

#include <cerrno>
#include <ctime>

namespace sys {

int64_t MonotonicClock::Ticks() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

void MonotonicClock::Sleep(int milliseconds) {
    if (milliseconds <= 0) return;
    timespec req{milliseconds / 1000, long(milliseconds % 1000) * 1000000L};
    // A signal interrupts nanosleep; sleep on for what is left.
    while (nanosleep(&req, &req) == -1 && errno == EINTR) {
    }
}

MonotonicClock* MonotonicClock::Instance() {
    static MonotonicClock clock;
    return &clock;
}

}  // namespace sys
