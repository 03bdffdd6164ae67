#pragma once
// A clock in place of the machine's for every run clock on the calling thread while it lives
// (sys::RunClock::SetSource): it moves only as the test says, and by `step` at each look at the
// wall clock, so that a loop which looks again and again passes any limit and a short call
// passes none, however fast or busy the machine.
#include "platform/system/RunClock.h"

namespace bwtest {

class TestRunClock : public sys::RunClock::Source {
public:
    using duration = sys::RunClock::duration;

    explicit TestRunClock(duration step = {}) : step_(step) { sys::RunClock::SetSource(this); }
    ~TestRunClock() override { sys::RunClock::SetSource(nullptr); }
    TestRunClock(const TestRunClock&) = delete;
    TestRunClock& operator=(const TestRunClock&) = delete;

    // The thread works, or waits on its own account (a full pipe, a sleep), for `d`.
    void Work(duration d) { wall_ += d; }
    // The machine holds the thread off its core for `d`: the wall clock moves, the thread's
    // time does not.
    void HoldOff(duration d) {
        wall_ += d;
        held_ += d;
    }
    // From now on the machine holds the thread off its core for `d` at each look at the wall
    // clock, as a loaded machine does through a whole frame.
    void HoldOffEachLook(duration d) { heldStep_ = d; }
    duration WallSoFar() const { return wall_; }

    duration ThreadTime() override { return wall_ - held_; }
    sys::RunClock::time_point Wall() override {
        HoldOff(heldStep_);
        wall_ += step_;
        return sys::RunClock::time_point(wall_);
    }

private:
    duration step_;
    duration heldStep_{};
    duration wall_{};
    duration held_{};
};

}  // namespace bwtest
