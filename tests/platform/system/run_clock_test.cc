// The clock of data's runs: the thread's time less its waits for a core, read only when the
// wall clock says the limit may have passed.
#include <gtest/gtest.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/system/RunClock.h"
#include "tests/platform/system/HeldOffTheCore.h"

namespace {

using namespace std::chrono_literals;

// Spins until the clock has had `cpu` since Start; false when the wall clock gave up first.
bool Spin(sys::RunClock& clock, std::chrono::steady_clock::duration cpu) {
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while (clock.Elapsed() < cpu) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
    }
    return true;
}

std::chrono::steady_clock::duration ProcessorTime() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// What data's text can make the thread wait for inside a run holds the frame as work does:
// the processor's clock alone would not see it.
TEST(RunClockTest, TheThreadsOwnWaitsAreCharged) {
    if (!sys::RunClock::SeesWaits()) GTEST_SKIP() << "the kernel does not report waits for a core";
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    pollfd unwritten{ends[0], POLLIN, 0};
    // Waits well short of the wall clock's last word (WallLimit), which would end the run
    // whatever it was charged; half of each may go to a busy machine's waits for a core after it.
    const std::function<void()> waits[] = {[] { std::this_thread::sleep_for(100ms); },
                                           [&] { poll(&unwritten, 1, 100); }};  // a pipe nobody writes
    ASSERT_GT(sys::RunClock::WallLimit(5ms), 100ms);
    for (const auto& wait : waits) {
        sys::RunClock clock;
        clock.Start(5ms);
        wait();
        EXPECT_TRUE(clock.Passed());
        EXPECT_GE(clock.Elapsed(), 50ms);
    }
    close(ends[0]);
    close(ends[1]);
}

// A loaded machine holds the thread off its core: that is not the run's, so text that a quiet
// machine runs is not stopped on a busy one.
TEST(RunClockTest, WaitsForACoreAreNotCharged) {
    if (!sys::RunClock::SeesWaits()) GTEST_SKIP() << "the kernel does not report waits for a core";
    bwtest::CoreRival rival;
    sys::RunClock clock;
    clock.Start(5ms);
    const auto cpu = ProcessorTime();
    rival.Hold(60ms);
    // A machine busy beyond the rival lets the held thread run between its yields: that
    // work is the run's, the rest of the 60 ms is not.
    const auto ran = ProcessorTime() - cpu;
    EXPECT_LT(clock.Elapsed(), ran + 3ms);
    if (ran < 2ms) {
        EXPECT_FALSE(clock.Passed());
        EXPECT_GT(clock.Left(), 0ms);
    }
}

TEST(RunClockTest, NestedWorkIsExcludedOwnWorkIsNot) {
    sys::RunClock clock;
    clock.Start(5ms);

    // A nested run's work is not this run's, nor its wait.
    const auto before = clock.Elapsed();
    const auto begun = std::chrono::steady_clock::now();
    ASSERT_TRUE(Spin(clock, before + 3ms));
    std::this_thread::sleep_for(150ms);
    clock.Exclude(clock.Elapsed() - before, std::chrono::steady_clock::now() - begun);
    EXPECT_FALSE(clock.Passed());
    EXPECT_LT(clock.Elapsed(), 4ms);

    // Its own work is: the limit passes, and stays passed.
    bool passed = false;
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while (!passed && std::chrono::steady_clock::now() < giveUp) passed = clock.Passed();
    EXPECT_TRUE(passed);
    EXPECT_GE(clock.Elapsed(), 5ms);
    EXPECT_EQ(clock.Left(), 0ms);
    EXPECT_TRUE(clock.Passed());
}

TEST(RunClockTest, LimitsAtTheEdgesNeitherOverflowNorWait) {
    sys::RunClock clock;
    clock.Start(sys::RunClock::duration::max());  // no limit
    EXPECT_FALSE(clock.Passed());
    clock.Exclude(sys::RunClock::duration::max() / 2, sys::RunClock::duration::max() / 2);
    EXPECT_FALSE(clock.Passed());
    clock.Start(-1s);  // none left
    EXPECT_TRUE(clock.Passed());
    EXPECT_EQ(clock.Left(), 0ms);
    clock.Start(0ms);
    EXPECT_TRUE(clock.Passed());
}

// Whatever kept the thread waiting, a run that has waited far past its limit ends.
TEST(RunClockTest, AWaitFarPastTheLimitEndsTheRun) {
    sys::RunClock clock;
    clock.Start(1ms);
    std::this_thread::sleep_for(sys::RunClock::WallLimit(1ms) + 5ms);
    // Where the clock is the processor's, the sleep is not charged: the wall clock ends the run.
    if (!sys::RunClock::SeesWaits()) {
        EXPECT_LT(clock.Elapsed(), 1ms);
    }
    EXPECT_TRUE(clock.Passed());
}

}  // namespace
