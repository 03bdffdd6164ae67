#ifndef N_MATH_H
#define N_MATH_H
// Scalar helpers shared by the math types, plus the name hash used by the hash
// tables and the IPC port choice.

#include <cmath>
#include <cstdint>

// lo when f < lo, hi when f > hi, else f.
inline float n_clamp(float f, float lo, float hi) {
    if (f < lo) return lo;
    if (f > hi) return hi;
    return f;
}

// acos that never returns NaN for arguments a rounding step outside [-1, 1].
inline float ClampedACos(float x) {
    return std::acos(n_clamp(x, -1.0f, 1.0f));
}

// sqrt that treats negative arguments (rounding noise of squared lengths) as 0.
inline float ClampedSqrt(float x) {
    return x > 0.0f ? std::sqrt(x) : 0.0f;
}

// Sum of byte * (position + 1) over the text, modulo n. The sum is kept
// unsigned so that very long texts wrap instead of producing a negative
// bucket; for every text shorter than about 4000 bytes this equals the signed
// 32-bit result. A null text hashes like the empty one; n <= 0 gives 0.
inline int n_hash(const char* text, int n) {
    if (n <= 0 || text == nullptr) return 0;
    uint32_t sum = 0;
    for (uint32_t i = 0; text[i] != '\0'; i++) {
        sum += uint32_t(static_cast<unsigned char>(text[i])) * (i + 1);
    }
    return int(sum % uint32_t(n));
}

#endif
