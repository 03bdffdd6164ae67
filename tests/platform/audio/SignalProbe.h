#pragma once
// Measurements of rendered stereo output (interleaved floats, left first): level per
// side and the frequency of a tone.
#include <cmath>
#include <cstddef>
#include <vector>

namespace probe {

using Samples = std::vector<float>;

// Root-mean-square level of one side (0 left, 1 right) over frames [from, to).
inline double Rms(const Samples& s, int side, size_t from = 0, size_t to = ~size_t(0)) {
    size_t frames = s.size() / 2;
    if (to > frames) to = frames;
    if (from >= to) return 0.0;
    double sum = 0.0;
    for (size_t i = from; i < to; i++) sum += double(s[2 * i + side]) * s[2 * i + side];
    return std::sqrt(sum / double(to - from));
}

// Largest absolute sample of both sides over frames [from, to).
inline double Peak(const Samples& s, size_t from = 0, size_t to = ~size_t(0)) {
    size_t frames = s.size() / 2;
    if (to > frames) to = frames;
    double peak = 0.0;
    for (size_t i = from; i < to; i++) peak = std::fmax(peak, std::fmax(std::fabs(s[2 * i]), std::fabs(s[2 * i + 1])));
    return peak;
}

// Frequency of the tone on `side` over frames [from, to), from the span between its
// first and last rising zero crossings (interpolated); 0 when there are fewer than two.
inline double Frequency(const Samples& s, int side, int rate, size_t from = 0, size_t to = ~size_t(0)) {
    size_t frames = s.size() / 2;
    if (to > frames) to = frames;
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (size_t i = from + 1; i < to; i++) {
        float a = s[2 * (i - 1) + side], b = s[2 * i + side];
        if (a < 0.0f && b >= 0.0f) {
            double at = double(i - 1) + a / double(a - b);
            if (first < 0.0) first = at;
            last = at;
            crossings++;
        }
    }
    if (crossings < 2) return 0.0;
    return (crossings - 1) * rate / (last - first);
}

// First frame at or after `from` whose level on either side exceeds `threshold`;
// `frames` when none does.
inline size_t FirstAbove(const Samples& s, double threshold, size_t from = 0) {
    size_t frames = s.size() / 2;
    for (size_t i = from; i < frames; i++) {
        if (std::fabs(s[2 * i]) > threshold || std::fabs(s[2 * i + 1]) > threshold) return i;
    }
    return frames;
}

// Last frame whose level on either side exceeds `threshold`, plus one; 0 when none.
inline size_t EndAbove(const Samples& s, double threshold) {
    for (size_t i = s.size() / 2; i > 0; i--) {
        if (std::fabs(s[2 * (i - 1)]) > threshold || std::fabs(s[2 * (i - 1) + 1]) > threshold) return i;
    }
    return 0;
}

}  // namespace probe
