#include "platform/system/StopWatchdog.h"

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace sys {

namespace {

std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

struct Watch {
    std::mutex mutex;
    std::condition_variable wake;
    bool quit = false;
    std::thread thread;
};
Watch* watch = nullptr;

[[noreturn]] void EndProcess() {
    static const char message[] = "StopWatchdog: a stop was not answered in time; the program ends\n";
    (void)!write(STDERR_FILENO, message, sizeof(message) - 1);
    // The main thread may hold a stream's lock for good: only free streams are flushed.
    for (FILE* stream : {stdout, stderr}) {
        if (ftrylockfile(stream) == 0) {
            fflush_unlocked(stream);
            funlockfile(stream);
        }
    }
    _exit(0);
}

void Run() {
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> lock(watch->mutex);
    bool watching = false;
    Clock::time_point since;
    while (!watch->quit) {
        watch->wake.wait_for(lock, std::chrono::milliseconds(100));
        if (watch->quit) break;
        if (!requested) {
            watching = false;
        } else if (!watching) {
            watching = true;
            since = Clock::now();
        } else if (Clock::now() - since >= StopWatchdog::Grace) {
            EndProcess();
        }
    }
}

}  // namespace

void StopWatchdog::Start() {
    if (watch) return;
    watch = new Watch;
    watch->thread = std::thread(Run);
}

void StopWatchdog::Stop() {
    if (!watch) return;
    {
        std::lock_guard<std::mutex> lock(watch->mutex);
        watch->quit = true;
    }
    watch->wake.notify_all();
    watch->thread.join();
    delete watch;
    watch = nullptr;
    requested = false;
}

void StopWatchdog::Requested() { requested = true; }

void StopWatchdog::Answered() { requested = false; }

}  // namespace sys
