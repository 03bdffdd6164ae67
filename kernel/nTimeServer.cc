#include "kernel/nTimeServer.h"

#include <algorithm>
#include <cmath>

#include "kernel/nKernelServer.h"
#include "kernel/nProfiler.h"
#include "platform/system/MonotonicClock.h"

static const nCmdDef<nTimeServer> timeCmds[] = {
    Bind<&nTimeServer::ResetTime>("v_resettime_v", "REST"),
    Bind<&nTimeServer::StopTime>("v_stoptime_v", "STOP"),
    Bind<&nTimeServer::StartTime>("v_starttime_v", "STRT"),
    Bind<&nTimeServer::GetTime>("f_gettime_v", "GETT"),
    Bind<&nTimeServer::SetTime>("v_settime_f", "SETT"),
    Bind<&nTimeServer::LockDeltaT>("v_lockdeltat_f", "LDLT"),
    Bind<&nTimeServer::WaitDeltaT>("v_waitdeltat_f", "WTDT"),
    Bind<&nTimeServer::GetLockDeltaT>("f_getlockdeltat_v", "GLDT"),
    Bind<&nTimeServer::GetWaitDeltaT>("f_getwaitdeltat_v", "GWDT"),
    Bind<&nTimeServer::EnableFrameTime>("v_enableframetime_v", "ENFT"),
    Bind<&nTimeServer::DisableFrameTime>("v_disableframetime_v", "DSFT"),
    Bind<&nTimeServer::GetFrameTime>("f_getframetime_v", "GTFT"),
    Bind<&nTimeServer::SetTimeScale>("v_settimescale_f", "STSC"),
};
// Open to data's text: reads of the clock.
static const char* const timeDataSafe[] = {"gettime", "getframetime", "getlockdeltat", "getwaitdeltat"};
const nClassInfo nTimeServer::classInfo =
    nClassInfo::Make<nTimeServer>("ntimeserver", "nroot", timeCmds, timeDataSafe);

nTimeServer::nTimeServer() : clock_(sys::MonotonicClock::Instance()) {
    baseTicks_ = clock_->Ticks();
    stopTicks_ = baseTicks_;
}

nTimeServer::~nTimeServer() {
    while (nProfiler* p = GetFirstProfiler()) ReleaseProfiler(p);
}

void nTimeServer::SetClock(sys::Clock* clock) {
    clock_ = clock ? clock : sys::MonotonicClock::Instance();
    baseTicks_ = clock_->Ticks();
    stopTicks_ = baseTicks_;
}

int64_t nTimeServer::GetTicks() const { return clock_->Ticks(); }

int64_t nTimeServer::GetFrequency() const {
    int64_t f = clock_->Frequency();
    return f > 0 ? f : 1;
}

void nTimeServer::ResetTime() {
    lockTime_ = 0.0;
    baseTicks_ = GetTicks();
    // Also restart the stop moment, so a stopped clock reads 0 rather than a
    // negative time until it is started again.
    stopTicks_ = baseTicks_;
}

void nTimeServer::StopTime() {
    if (!stopped_) {
        stopped_ = true;
        stopTicks_ = GetTicks();
    }
}

void nTimeServer::StartTime() {
    if (stopped_) {
        stopped_ = false;
        baseTicks_ += GetTicks() - stopTicks_;
    }
}

double nTimeServer::GetTime() const {
    if (lockDeltaT_ > 0.0) return lockTime_;
    int64_t ticks = stopped_ ? stopTicks_ : GetTicks();
    return double(ticks - baseTicks_) / double(GetFrequency()) * double(timeScale_);
}

void nTimeServer::SetTime(double t) {
    // A time the counter cannot hold (not a number, or centuries away) would overflow
    // the counter base; it is refused and the clock keeps its time.
    double offset = t * double(GetFrequency());
    if (!std::isfinite(offset) || std::fabs(offset) > 4.0e18) {
        n_error("nTimeServer::SetTime(): time %g is out of range\n", t);
        return;
    }
    lockTime_ = t;
    if (frameTimeEnabled_) frameTime_ = t;
    int64_t now = GetTicks();
    baseTicks_ = now - int64_t(offset);
    stopTicks_ = now;
}

void nTimeServer::LockDeltaT(double dt) {
    // An endless step would make every later time infinite, a negative one meaningless.
    if (!std::isfinite(dt) || dt < 0.0) {
        n_error("nTimeServer::LockDeltaT(): step %g refused; it must be finite and not negative\n", dt);
        return;
    }
    if (dt != 0.0) {
        lockTime_ = GetTime();
        lockDeltaT_ = dt;
    } else {
        // The free-running clock takes over from the last locked time.
        SetTime(lockTime_);
        lockDeltaT_ = 0.0;
    }
}

void nTimeServer::WaitDeltaT(double dt) {
    if (std::isnan(dt)) {
        n_error("nTimeServer::WaitDeltaT(): wait %g refused\n", dt);
        return;
    }
    waitDeltaT_ = dt;
}

void nTimeServer::SetTimeScale(float s) {
    // Not a number would make every later time one; a negative scale runs the clock backwards.
    if (!std::isfinite(s) || s < 0.0f) {
        n_error("nTimeServer::SetTimeScale(): scale %g refused; it must be finite and not negative\n", double(s));
        return;
    }
    timeScale_ = s;
}

void nTimeServer::EnableFrameTime() {
    frameTimeEnabled_ = true;
    frameTime_ = GetTime();
}

double nTimeServer::GetFrameTime() const { return frameTimeEnabled_ ? frameTime_ : GetTime(); }

void nTimeServer::Trigger() {
    if (lockDeltaT_ > 0.0 && !stopped_) lockTime_ += lockDeltaT_;
    if (waitDeltaT_ > 0.0) {
        // Whole milliseconds, held to the frame's longest sleep: a longer wait would stop the game.
        clock_->Sleep(int(std::min(waitDeltaT_, MaxFrameSleep) * 1000.0));
    }
    if (frameTimeEnabled_) frameTime_ = GetTime();
    // A profiler that lost its variable is skipped; the others still publish.
    int64_t freq = GetFrequency();
    for (nProfiler* p = GetFirstProfiler(); p; p = p->GetSucc()) p->Publish(freq);
}

nProfiler* nTimeServer::NewProfiler(const char* name) {
    nProfiler* p = new nProfiler(this, name);
    profilers_.AddTail(&p->node_);
    return p;
}

void nTimeServer::ReleaseProfiler(nProfiler* profiler) {
    if (!profiler) return;
    profiler->node_.Remove();
    delete profiler;
}

nProfiler* nTimeServer::GetFirstProfiler() const {
    nNode* n = profilers_.GetHead();
    return n ? static_cast<nProfiler*>(n->GetPtr()) : nullptr;
}
