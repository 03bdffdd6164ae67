#include "platform/video/Pacer.h"

#include "platform/system/MonotonicClock.h"

namespace video {

Pacer::Pacer(sys::Clock* clock, Rate rate)
    : clock(clock ? clock : sys::MonotonicClock::Instance()),
      period(rate.num > 0 && rate.den > 0 ? double(rate.den) / double(rate.num) : 0.0) {}

double Pacer::now() const {
    const int64_t f = clock->Frequency();
    return f > 0 ? double(clock->Ticks()) / double(f) : 0.0;
}

void Pacer::FrameShown() {
    lastShown = now();
    if (shown == 0) start = lastShown;
    shown++;
    if (start + double(shown) * period < lastShown - MaxLagSeconds) start = lastShown - double(shown - 1) * period;
}

bool Pacer::Wait(double soundSeconds) {
    if (shown == 0 || period <= 0.0) return false;
    const double t = now();
    if (t - lastShown >= period) return false;
    const double due = double(shown) * period;
    if (soundSeconds >= 0.0) return soundSeconds < due;
    return t - start < due;
}

void Pacer::Service() {
    clock->Sleep(1);
}

}  // namespace video
