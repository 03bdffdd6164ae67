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

TEST(SystemTest, BoxTextWrapsAtSpacesWithinTheWidth) {
    EXPECT_EQ(sys::WrapText("kurz\nauch kurz\n", 10), "kurz\nauch kurz\n");
    EXPECT_EQ(sys::WrapText("one two three four", 9), "one two\nthree\nfour");
    // A word wider than a line is cut; trailing spaces do not make an empty line.
    EXPECT_EQ(sys::WrapText("  abcdefghij  ", 4), "  ab\ncdef\nghij");
    // Umlauts count as one character and are never cut apart.
    EXPECT_EQ(sys::WrapText("Größe Größe", 5), "Größe\nGröße");
    EXPECT_EQ(sys::WrapText("ääää", 3), "äää\nä");
    EXPECT_EQ(sys::WrapText(nullptr, 10), "");

    // A long error line: every line fits, and the words come back unchanged.
    const std::string text = "/usr/logic/level1: the diver '/usr/logic/level1/basket' has no nlogicinput "
                             "'input'; switched without the input focus";
    const std::string wrapped = sys::WrapText(text.c_str(), 30);
    std::string joined;
    size_t start = 0;
    for (size_t end; (end = wrapped.find('\n', start)) != std::string::npos || start < wrapped.size(); start = end + 1) {
        if (end == std::string::npos) end = wrapped.size();
        const std::string line = wrapped.substr(start, end - start);
        EXPECT_LE(line.size(), 30u) << line;
        joined += (joined.empty() ? "" : " ") + line;
    }
    EXPECT_EQ(joined, text);
}

}  // namespace
