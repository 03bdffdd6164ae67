#pragma once
// A clock for the game's time server that moves only when the test moves it; its sleep
// returns at once, so frame sleeps cost nothing.
#include <cstdint>

#include "platform/system/Clock.h"

class StepClock : public sys::Clock {
public:
    int64_t Ticks() override { return ticks; }
    int64_t Frequency() override { return 1000000; }
    void Sleep(int) override {}
    int64_t ticks = 0;
};
