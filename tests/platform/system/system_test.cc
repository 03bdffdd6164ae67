// The clock and the display detection the log handlers rely on.
#include <gtest/gtest.h>

#include "platform/system/MonotonicClock.h"
#include "platform/system/System.h"

namespace {

TEST(MonotonicClock, AdvancesAndSleeps) {
    sys::MonotonicClock* clock = sys::MonotonicClock::Instance();
    EXPECT_EQ(clock->Frequency(), 1000000000);
    int64_t t0 = clock->Ticks();
    clock->Sleep(20);
    int64_t t1 = clock->Ticks();
    EXPECT_GE(t1 - t0, 20 * 1000000);
    clock->Sleep(0);
    clock->Sleep(-5);
    EXPECT_GE(clock->Ticks(), t1);
}

TEST(SystemTest, DisplayDetection) {
    // Tests run with the offscreen video driver.
    EXPECT_FALSE(sys::HasDisplay());
    EXPECT_FALSE(sys::ExecutablePath().empty());
}

}  // namespace
