// The clock of data's runs: processor time on this thread, read only when the wall clock
// says the limit may have passed.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/system/RunClock.h"

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

TEST(RunClockTest, WaitingIsNotChargedWorkIsAndNestedWorkIsExcluded) {
    sys::RunClock clock;
    clock.Start(5ms);
    std::this_thread::sleep_for(30ms);  // as a loaded machine holds the thread off its core
    EXPECT_FALSE(clock.Passed());
    EXPECT_LT(clock.Elapsed(), 5ms);
    EXPECT_GT(clock.Left(), 0ms);

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
    EXPECT_LT(clock.Elapsed(), 1ms);
    EXPECT_TRUE(clock.Passed());
}

}  // namespace
