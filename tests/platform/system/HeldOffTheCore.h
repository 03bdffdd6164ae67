#pragma once
// Holds a thread off its core as a loaded machine does: a rival pinned to one core spins while
// the held thread, moved to that core, yields to it, ready to run all along. The rival lives as
// long as the object, so that a hold waits neither for its start nor for its end.
#include <sched.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace bwtest {

class CoreRival {
public:
    CoreRival() {
        CPU_ZERO(&core_);
        CPU_SET(sched_getcpu(), &core_);
        thread_ = std::thread([this] {
            sched_setaffinity(0, sizeof(core_), &core_);
            while (!quit_) {
                if (!holding_) std::this_thread::sleep_for(std::chrono::microseconds(200));
                while (holding_) {
                }
            }
        });
    }
    ~CoreRival() {
        quit_ = true;
        thread_.join();
    }
    CoreRival(const CoreRival&) = delete;
    CoreRival& operator=(const CoreRival&) = delete;

    // Holds the calling thread off the rival's core for `wall`.
    void Hold(std::chrono::steady_clock::duration wall) {
        cpu_set_t before;
        sched_getaffinity(0, sizeof(before), &before);
        sched_setaffinity(0, sizeof(core_), &core_);
        holding_ = true;
        const auto end = std::chrono::steady_clock::now() + wall;
        while (std::chrono::steady_clock::now() < end) sched_yield();
        holding_ = false;
        sched_setaffinity(0, sizeof(before), &before);
    }

private:
    cpu_set_t core_;
    std::atomic<bool> holding_{false};
    std::atomic<bool> quit_{false};
    std::thread thread_;
};

}  // namespace bwtest
