// The time server over a fake clock: stop and start, scale, locked and wait
// delta-t, frame time, the script commands and the profiler list.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "kernel/nEnv.h"
#include "kernel/nKernelServer.h"
#include "kernel/nProfiler.h"
#include "kernel/nTimeServer.h"
#include "platform/system/Clock.h"

namespace {

// Microsecond ticks that move only when told to; Sleep records the request
// and lets that much time pass.
class FakeClock : public sys::Clock {
public:
    int64_t Ticks() override { return now; }
    int64_t Frequency() override { return 1000000; }
    void Sleep(int ms) override {
        sleeps.push_back(ms);
        now += int64_t(ms) * 1000;
    }
    void Advance(double seconds) { now += int64_t(seconds * 1e6); }

    int64_t now = 7000000;  // an arbitrary counter value at "construction"
    std::vector<int> sleeps;
};

void TimePackage(nKernelServer* ks) {
    nKernelPackage(ks);
    ks->AddClass(nEnv::classInfo);
    ks->AddClass(nTimeServer::classInfo);
}

class TimeServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ts = kernel.GetTimeServer();
        ASSERT_NE(ts, nullptr);
        ts->SetClock(&clock);
    }
    void TearDown() override {
        if (ts) ts->SetClock(nullptr);
    }

    nKernelServer kernel{TimePackage};
    FakeClock clock;
    nTimeServer* ts = nullptr;
};

TEST_F(TimeServerTest, SetTimeRefusesTimesTheCounterCannotHold) {
    EXPECT_EQ(kernel.Lookup("/sys/servers/time"), ts);  // the kernel makes it
    ts->SetTime(2.0);
    for (float t : {NAN, INFINITY, 1e30f}) EXPECT_TRUE(ts->Call(nId("SETT"), nullptr, t));
    EXPECT_DOUBLE_EQ(ts->GetTime(), 2.0);
}

TEST_F(TimeServerTest, RunsStopsAndScales) {
    clock.Advance(1.5);
    EXPECT_DOUBLE_EQ(ts->GetTime(), 1.5);

    // Stop, a second passes, start: the time resumes where it stopped.
    ts->StopTime();
    clock.Advance(1.0);
    ts->StopTime();  // a second stop does not move the stop moment
    clock.Advance(1.0);
    ts->StartTime();
    EXPECT_DOUBLE_EQ(ts->GetTime(), 1.5);
    clock.Advance(0.25);
    EXPECT_DOUBLE_EQ(ts->GetTime(), 1.75);

    // SetTime holds while stopped and continues from there afterwards.
    ts->StopTime();
    ts->SetTime(10.0);
    clock.Advance(3.0);
    EXPECT_DOUBLE_EQ(ts->GetTime(), 10.0);
    ts->StartTime();
    clock.Advance(0.5);
    EXPECT_DOUBLE_EQ(ts->GetTime(), 10.5);

    // The scale multiplies the whole elapsed time.
    ts->SetTime(10.0);
    ts->SetTimeScale(2.0f);
    EXPECT_DOUBLE_EQ(ts->GetTime(), 20.0);

    // A reset while stopped reads zero until started.
    ts->SetTimeScale(1.0f);
    ts->StopTime();
    clock.Advance(2.0);
    ts->ResetTime();
    clock.Advance(1.0);
    EXPECT_DOUBLE_EQ(ts->GetTime(), 0.0);
    ts->StartTime();
    clock.Advance(1.0);
    EXPECT_DOUBLE_EQ(ts->GetTime(), 1.0);
}

TEST_F(TimeServerTest, LockedDeltaAdvancesPerTriggerOnly) {
    clock.Advance(2.0);
    ts->LockDeltaT(0.04);
    EXPECT_DOUBLE_EQ(ts->GetTime(), 2.0);
    for (int i = 0; i < 3; i++) {
        clock.Advance(5.0);  // the wall clock does not count
        ts->Trigger();
    }
    EXPECT_NEAR(ts->GetTime(), 2.12, 1e-12);

    // Stopped: Trigger does not advance.
    ts->StopTime();
    ts->Trigger();
    EXPECT_NEAR(ts->GetTime(), 2.12, 1e-12);
    ts->StartTime();

    // Lock off: the free clock carries on from the last locked time.
    double locked = ts->GetTime();
    ts->LockDeltaT(0.0);
    EXPECT_NEAR(ts->GetTime(), locked, 1e-6);
    clock.Advance(0.3);
    EXPECT_NEAR(ts->GetTime(), locked + 0.3, 1e-6);
}

TEST_F(TimeServerTest, WaitDeltaSleepsWholeMillisecondsAndNeverLongerThanTheFrameBound) {
    ts->WaitDeltaT(0.0005);
    ts->Trigger();
    ts->WaitDeltaT(0.0259);
    ts->Trigger();
    ts->WaitDeltaT(-1.0);
    ts->Trigger();  // off: no sleep at all
    // A script's endless wait stopped the frame loop for good: held to the bound.
    ASSERT_TRUE(ts->Call(nId("WTDT"), nullptr, 1000000.0f));
    ts->Trigger();
    ts->WaitDeltaT(INFINITY);
    ts->Trigger();
    ts->WaitDeltaT(NAN);  // refused: the last wait stays
    ts->Trigger();
    const int bound = int(nTimeServer::MaxFrameSleep * 1000.0);
    EXPECT_EQ(clock.sleeps, (std::vector<int>{0, 25, bound, bound, bound}));
}

TEST_F(TimeServerTest, ScaleAndLockedStepMustBeFiniteAndNotNegative) {
    clock.Advance(2.0);
    ts->SetTimeScale(0.5f);
    // From a script: 0/0, endless and negative scales are refused and the clock reads on.
    for (float s : {NAN, INFINITY, -1.0f}) EXPECT_TRUE(ts->Call(nId("STSC"), nullptr, s));
    EXPECT_EQ(ts->GetTimeScale(), 0.5f);
    clock.Advance(2.0);
    EXPECT_DOUBLE_EQ(ts->GetTime(), 2.0);
    ts->SetTimeScale(0.0f);  // a still clock is a clock
    EXPECT_DOUBLE_EQ(ts->GetTime(), 0.0);
    ts->SetTimeScale(1.0f);

    ts->LockDeltaT(0.5);
    for (double dt : {double(NAN), double(INFINITY), -0.5}) ts->LockDeltaT(dt);
    EXPECT_EQ(ts->GetLockDeltaT(), 0.5);
    ts->Trigger();
    EXPECT_DOUBLE_EQ(ts->GetTime(), 4.5);
}

TEST_F(TimeServerTest, FrameTimeIsSampledByTrigger) {
    clock.Advance(1.0);
    EXPECT_DOUBLE_EQ(ts->GetFrameTime(), 1.0);  // disabled: the running time
    ts->EnableFrameTime();
    clock.Advance(0.5);
    EXPECT_DOUBLE_EQ(ts->GetFrameTime(), 1.0);
    ts->Trigger();
    EXPECT_DOUBLE_EQ(ts->GetFrameTime(), 1.5);
    ts->SetTime(7.0);
    EXPECT_DOUBLE_EQ(ts->GetFrameTime(), 7.0);
    ts->DisableFrameTime();
    clock.Advance(1.0);
    EXPECT_DOUBLE_EQ(ts->GetFrameTime(), 8.0);
}

TEST_F(TimeServerTest, ProfilersAccumulateAndPublishOncePerFrame) {
    nProfiler* a = ts->NewProfiler("a");
    nProfiler* render = ts->NewProfiler("render");
    nProfiler* c = ts->NewProfiler("c");
    EXPECT_EQ(ts->GetFirstProfiler(), a);
    EXPECT_EQ(a->GetSucc(), render);
    auto* env = static_cast<nEnv*>(kernel.Lookup("/sys/var/prof_render"));
    ASSERT_NE(env, nullptr);
    EXPECT_EQ(render->GetEnv(), env);

    render->Start();
    clock.Advance(0.25);
    render->Start();  // ignored while running
    clock.Advance(0.25);
    render->Stop();
    render->Stop();  // ignored while stopped
    EXPECT_EQ(render->GetAccumTicks(), 500000);
    ts->Trigger();
    EXPECT_EQ(env->GetType(), nArg::Float);
    EXPECT_FLOAT_EQ(env->GetF(), 0.5f);  // half the counter frequency in ticks
    ts->Trigger();  // a frame without running
    EXPECT_FLOAT_EQ(env->GetF(), 0.0f);

    // A second profiler of a name shares its variable; releasing leaves it in the tree.
    nProfiler* again = ts->NewProfiler("render");
    EXPECT_EQ(again->GetEnv(), env);
    ts->ReleaseProfiler(again);
    ts->ReleaseProfiler(render);
    EXPECT_EQ(a->GetSucc(), c);
    EXPECT_EQ(kernel.Lookup("/sys/var/prof_render"), env);
    ts->ReleaseProfiler(nullptr);
    // a and c are deleted with the server (the leak checker watches).
}

TEST_F(TimeServerTest, ProfilerWithoutVariableDoesNotStopTheOthers) {
    nProfiler* a = ts->NewProfiler("a");
    nProfiler* b = ts->NewProfiler("b");
    kernel.New("nroot", "/sys/var/prof_c");  // not a variable: c publishes nothing
    nProfiler* c = ts->NewProfiler("c");
    nProfiler* d = ts->NewProfiler("d");
    EXPECT_EQ(c->GetEnv(), nullptr);

    // b's variable dies: its reference clears, the profiler stays listed.
    kernel.Lookup("/sys/var/prof_b")->Release();
    EXPECT_EQ(b->GetEnv(), nullptr);

    for (nProfiler* p : {a, b, c, d}) p->Start();
    clock.Advance(0.25);
    for (nProfiler* p : {a, b, c, d}) p->Stop();
    ts->Trigger();
    EXPECT_FLOAT_EQ(static_cast<nEnv*>(kernel.Lookup("/sys/var/prof_a"))->GetF(), 0.25f);
    EXPECT_FLOAT_EQ(static_cast<nEnv*>(kernel.Lookup("/sys/var/prof_d"))->GetF(), 0.25f);
    // The unpublished sums start afresh too instead of growing without end.
    EXPECT_EQ(b->GetAccumTicks(), 0);
    EXPECT_EQ(c->GetAccumTicks(), 0);
}

}  // namespace
