#pragma once
// Colour channels from floats that scripts and files set.
#include <cstdint>

// A colour channel of 0..1 as a byte, v x 255 truncated: values past the range are held
// at the ends, so one channel never spills into the next, and NaN gives 0.
inline uint32_t n_unit_byte(float v) {
    const float s = v * 255.0f;
    if (!(s > 0.0f)) return 0;
    if (s >= 255.0f) return 255;
    return static_cast<uint32_t>(s);
}
