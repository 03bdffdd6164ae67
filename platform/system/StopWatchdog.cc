#include "platform/system/StopWatchdog.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "platform/system/Ticker.h"

namespace sys {

namespace {

std::atomic<bool> requested{false};
std::atomic<int> requestedBy{0};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "set from a signal handler");

Ticker* watch = nullptr;
// Since when an unanswered stop has been seen, as the watch's ticks keep it.
bool watching = false;
std::chrono::steady_clock::time_point since;

[[noreturn]] void EndProcess() {
    static const char message[] = "StopWatchdog: a stop was not answered in time; the program ends\n";
    // A pipe that nobody reads would hold the note and the flushes for good: none of them waits.
    for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        const int flags = fcntl(fd, F_GETFL);
        if (flags != -1) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    }
    (void)!write(STDERR_FILENO, message, sizeof(message) - 1);
    // The main thread may hold a stream's lock for good: only free streams are flushed.
    for (FILE* stream : {stdout, stderr}) {
        if (ftrylockfile(stream) == 0) {
            fflush_unlocked(stream);
            funlockfile(stream);
        }
    }
    // A message box's process (SDL forks one) gets SIGKILL when this process ends.
    _exit(StopWatchdog::ForcedExitCode());
}

void Tick() {
    if (!requested) {
        watching = false;
    } else if (!watching) {
        watching = true;
        since = std::chrono::steady_clock::now();
    } else if (std::chrono::steady_clock::now() - since >= StopWatchdog::Grace) {
        EndProcess();
    }
}

}  // namespace

void StopWatchdog::Start() {
    if (watch) return;
    watching = false;
    requestedBy = 0;
    watch = new Ticker(std::chrono::milliseconds(100), Tick);
}

void StopWatchdog::Stop() {
    delete watch;
    watch = nullptr;
    requested = false;
}

void StopWatchdog::Requested(int signal) {
    // A signal is not forgotten: the window layer turns SIGTERM into a close of its own,
    // which may be reported later, also after the stop was answered.
    if (signal > 0) requestedBy = signal;
    requested = true;
}

bool StopWatchdog::Pending() { return requested; }

int StopWatchdog::ForcedExitCode() {
    const int signal = requestedBy;
    return signal > 0 ? 128 + signal : 3;
}

void StopWatchdog::Answered() { requested = false; }

}  // namespace sys
