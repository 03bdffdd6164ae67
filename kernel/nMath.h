#pragma once
// Scalar helpers shared by the math types. The name hash of the hash tables and
// the IPC port choice is nHashTable::Hash.

#include <cmath>
#include <cstdint>

// lo when f < lo, hi when f > hi, else f.
inline float n_clamp(float f, float lo, float hi) {
    if (f < lo) return lo;
    if (f > hi) return hi;
    return f;
}

// A float or double as int32_t without undefined behaviour: the fraction is cut, values
// past the range saturate, NaN gives 0. Scripts and files can hand over any value.
inline int32_t n_saturate_int(double d) {
    if (std::isnan(d)) return 0;
    if (d >= 2147483647.0) return INT32_MAX;
    if (d <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(d);
}

// acos that never returns NaN for arguments a rounding step outside [-1, 1].
inline float ClampedACos(float x) {
    return std::acos(n_clamp(x, -1.0f, 1.0f));
}

// sqrt that treats negative arguments (rounding noise of squared lengths) as 0.
inline float ClampedSqrt(float x) {
    return x > 0.0f ? std::sqrt(x) : 0.0f;
}
