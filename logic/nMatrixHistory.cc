#include "logic/nMatrixHistory.h"

#include <cmath>

#include "kernel/nKernelServer.h"

namespace {
bool PositiveFinite(float v) {
    return std::isfinite(v) && v > 0.0f;
}
}  // namespace

nMatrixHistory::nMatrixHistory(float length, float step) : length_(length), step_(step) {
    if (!PositiveFinite(length) || !PositiveFinite(step)) {
        n_error("nMatrixHistory: length %g and step %g must be positive: one slot\n", length, step);
        // One slot that covers the whole length, so that Get never divides by 0.
        length_ = PositiveFinite(length) ? length : PositiveFinite(step) ? step : 1.0f;
        step_ = length_;
    }
    const float slots = std::ceil(length_ / step_);
    if (!(slots <= float(MaxSlots))) {
        n_error("nMatrixHistory: length %g over step %g gives more than %d slots: cut to %d\n", length_, step_,
                MaxSlots, MaxSlots);
        count_ = MaxSlots;
    } else {
        count_ = slots < 1.0f ? 1 : int(slots);
    }
    slots_.resize(count_);
}

int nMatrixHistory::Wrap(long long i) const {
    long long r = i % count_;
    return int(r < 0 ? r + count_ : r);
}

int nMatrixHistory::SlotOf(double q) const {
    // Taken modulo before it becomes an int: a quotient far past the ring stays in it.
    double r = std::fmod(std::trunc(q), double(count_));
    int s = int(r);
    return s < 0 ? s + count_ : s;
}

matrix44 nMatrixHistory::Blend(const matrix44& a, const matrix44& b, float t) {
    matrix44 r;
    const float u = 1.0f - t;
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 3; j++) r.m[i][j] = t * a.m[i][j] + u * b.m[i][j];
        r.m[i][3] = i == 3 ? 1.0f : 0.0f;
    }
    return r;
}

void nMatrixHistory::Put(const matrix44& m, float time) {
    const float q = time / step_;
    if (!std::isfinite(q)) {
        if (!badTimeLogged_) n_error("nMatrixHistory: put at time %g: not a usable time, nothing stored\n", time);
        badTimeLogged_ = true;
        return;
    }
    badTimeLogged_ = false;
    const int s = SlotOf(std::ceil(double(q)));
    if (position_ < 0) {
        position_ = Wrap(s + 1);
        slots_[position_] = m;
    }
    slots_[s] = m;
    const int p = position_;
    const int n = p < s ? s - p : count_ - p + s;
    for (int k = 0; Wrap(p + k) != s; k++) {
        const int i = Wrap(p + k);
        slots_[i] = Blend(slots_[s], slots_[p], float(k) / float(n));
    }
    position_ = s;
}

matrix44 nMatrixHistory::Get(float time) const {
    if (!std::isfinite(time)) {
        if (!badTimeLogged_) n_error("nMatrixHistory: get at time %g: not a usable time, the last put given\n", time);
        badTimeLogged_ = true;
        return slots_[position_ < 0 ? 0 : position_];
    }
    float t = time;
    // A negative time reads mirrored past the length: -0.4 reads like 0.4.
    if (t < 0.0f) t = length_ - t;
    t = std::fmod(t, length_);
    const double k = std::floor(double(t / step_));
    float f = float((double(t) - k * double(step_)) / double(step_));
    // Just below the length the quotient can round up to the slot count.
    if (!(f >= 0.0f)) f = 0.0f;
    if (f > 1.0f) f = 1.0f;
    const int lo = SlotOf(k);
    return Blend(slots_[Wrap(lo + 1)], slots_[lo], f);
}

void nMatrixHistory::Smooth(float span) {
    if (position_ < 0) return;
    const float q = span / step_;
    if (!std::isfinite(q) || q <= 0.0f) return;
    double n = std::ceil(double(q));
    // Back to the oldest slot at most: a longer span would wrap onto recent slots.
    if (n > double(count_ - 1)) n = double(count_ - 1);
    if (n < 1.0) return;
    const int start = Wrap(position_ - (long long)(n));
    for (int k = 0; Wrap(start + k) != position_; k++) {
        const int i = Wrap(start + k);
        slots_[i] = Blend(slots_[position_], slots_[start], float(k) / float(n));
    }
}
