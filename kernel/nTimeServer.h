#pragma once
// The engine's clock (script class "ntimeserver", at "/sys/servers/time"): time
// in seconds since construction, with stop and start, a time scale, and two
// fixed-step modes: a locked delta-t (each Trigger advances time by a fixed
// step, whatever the wall clock does) and a wait delta-t (each Trigger sleeps a
// fixed time). It also owns the profilers and publishes their measurements once
// per frame.

#include <cstdint>

#include "kernel/nList.h"
#include "kernel/nRoot.h"

namespace sys {
class Clock;
}
class nProfiler;

class nTimeServer : public nRoot {
public:
    static const nClassInfo classInfo;
    // The longest a frame may sleep, in seconds: any more would stop the game. The
    // wait delta-t and the observer's frame sleep are both held to it.
    static constexpr double MaxFrameSleep = 1.0;

    nTimeServer();
    // Deletes the profilers still listed.
    ~nTimeServer() override;

    // Reads ticks from `clock` from now on (not owned; null selects the system's
    // monotonic clock). Time restarts at 0 on the new clock, as at construction.
    void SetClock(sys::Clock* clock);
    sys::Clock* GetClock() const { return clock_; }
    // Counter ticks and ticks per second of the current clock.
    int64_t GetTicks() const;
    int64_t GetFrequency() const;

    // Time 0 is now; the locked time restarts at 0 too.
    void ResetTime();
    void StopTime();
    void StartTime();
    bool IsStopped() const { return stopped_; }

    // Seconds: the locked time while the lock is on, else the counter (or the
    // stop moment while stopped) since the base, times the time scale.
    double GetTime() const;
    // Afterwards GetTime gives t (t * scale for a scale other than 1), also
    // while stopped.
    void SetTime(double t);

    // Refuses a step that is not a number, infinite or negative (logged; the lock
    // stays as it was).
    void LockDeltaT(double dt);
    // Not a number is refused (logged); a wait longer than MaxFrameSleep sleeps that long.
    void WaitDeltaT(double dt);
    double GetLockDeltaT() const { return lockDeltaT_; }
    double GetWaitDeltaT() const { return waitDeltaT_; }

    void EnableFrameTime();
    void DisableFrameTime() { frameTimeEnabled_ = false; }
    // The time sampled by the last Trigger while frame time is enabled, else GetTime.
    double GetFrameTime() const;

    // Refuses a scale that is not a number, infinite or negative (logged; the scale
    // stays as it was).
    void SetTimeScale(float s);
    float GetTimeScale() const { return timeScale_; }

    // Once per frame: advance the locked time, sleep the wait delta-t, sample
    // the frame time, publish and reset the profilers.
    void Trigger();

    // A profiler appended to the list, publishing under "/sys/var/prof_<name>".
    nProfiler* NewProfiler(const char* name);
    // Unlinks and deletes the profiler (null is ignored).
    void ReleaseProfiler(nProfiler* profiler);
    nProfiler* GetFirstProfiler() const;

private:
    bool stopped_ = false;
    bool frameTimeEnabled_ = false;
    double frameTime_ = 0.0;
    double lockDeltaT_ = 0.0;
    double waitDeltaT_ = 0.0;
    double lockTime_ = 0.0;
    float timeScale_ = 1.0f;
    nList profilers_;
    int64_t baseTicks_ = 0;
    int64_t stopTicks_ = 0;
    sys::Clock* clock_ = nullptr;
};
