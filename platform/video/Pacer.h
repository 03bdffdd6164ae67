#pragma once
// Holds a video to its frame rate: says whether the next frame is due, by the sound's
// clock while a sound track plays and by a wall clock (which tests replace) otherwise.
#include <cstdint>

#include "platform/video/Decoder.h"

namespace sys {
class Clock;
}

namespace video {

class Pacer {
public:
    // Falling further behind than this restarts the wall-clock schedule from now, so
    // that a stalled game does not race through the video afterwards.
    static constexpr double MaxLagSeconds = 0.25;

    // `clock` is not owned; null picks the system's monotonic clock.
    Pacer(sys::Clock* clock, Rate rate);

    // A frame was shown; the next one is due one frame period after the last.
    void FrameShown();
    // True while the next frame is not yet due. `soundSeconds` is the sound's clock
    // (negative without sound). Waiting ends after one frame period of wall time at
    // most, so a stalled sound output never holds the game.
    bool Wait(double soundSeconds);
    // Passes a millisecond.
    void Service();

    int64_t Shown() const { return shown; }

private:
    double now() const;

    sys::Clock* clock;
    double period;
    int64_t shown = 0;
    double start = 0.0;      // wall seconds at which frame 0 was due
    double lastShown = 0.0;  // wall seconds of the last FrameShown
};

}  // namespace video
