#pragma once
// One caller's place among the code of data's that runs outside the script server (a
// movie's): the frame it last ran in, which gives its turn against the others, and what its
// events took of the small reserve that each such caller has in a frame, and what its calls
// before the first frame (or, for the game's own, in the frame it starts in) took of its start
// window.
#include <chrono>
#include <cstdint>

namespace sys {

enum class ForeignCall { Load, Read, Draw, Event };

struct ForeignTurn {
    uint32_t lastRan = 0;
    uint32_t frame = 0;  // the frame the reserve below is of
    std::chrono::steady_clock::duration reserveTaken{};
    uint64_t reserveInstructions = 0;
    bool inReserve = false;  // the call going on runs from the reserve
    std::chrono::steady_clock::duration startTaken{};  // by its calls in its start window
    bool atStart = false;  // the call going on runs in the start window
    bool beforeFirstFrame = false;  // the call going on comes before the game's first frame
    bool shipped = false;  // the caller is the game's own (a movie from its archives)
    uint32_t startFrame = 0;  // the frame the game's own caller last started in
};

}  // namespace sys
