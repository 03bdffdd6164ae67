#pragma once
// What a movie module reaches outside itself: whole-file reads (the movie and its
// images), a file's size and the log. The engine installs one that reads through its file
// server and writes its log; the default reads the disk and logs through SDL. A movie is
// data: the engine may make its code share a frame's time with its other data text.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/system/ForeignTurn.h"

namespace flash {

struct MovieHost {
    // The whole file; false when it cannot be read.
    std::function<bool(const std::string& path, std::string& bytes)> readFile;
    // The file's size without reading it; false when it is not known (then the read tells).
    std::function<bool(const std::string& path, uint64_t& size)> fileSize;
    std::function<void(const std::string& message)> log;

    // What a call into the movie's code is about: its top level (a load), a variable's read
    // (which runs none of the movie's code), a draw, or an event (a handler of a value, the
    // mouse or a key).
    using Call = sys::ForeignCall;
    // Before a call: the instructions it may take, 0 when it waits for a later frame. `turn`
    // is the movie's place among data's code (platform/system/ForeignTurn.h).
    std::function<uint64_t(Call call, sys::ForeignTurn& turn)> share;
    // Before a call that runs: the time it may take now (sys::RunClock; the module's own
    // limit without one). A call stopped at it fails; a draw keeps the picture it drew last.
    std::function<std::chrono::steady_clock::duration(Call call, const sys::ForeignTurn& turn)> time;
    // After a call that ran: what it spent, its time (sys::RunClock) as `taken`, and its time
    // on the wall clock as `wall` (the machine's holding it off its core included).
    std::function<void(uint64_t instructions, std::chrono::steady_clock::duration taken,
                       std::chrono::steady_clock::duration wall, sys::ForeignTurn& turn)>
        spent;
    // Before the module keeps `bytes` more (its Lua state, text faces and pictures; negative:
    // gives them back): false when data's memory bound has no room for them. Without one
    // every movie keeps within its own caps.
    std::function<bool(int64_t bytes)> keep;
    // Whether `path` reads the game's own copy of the file (from its archives), not a loose
    // file on disk that wins over it. Without one no movie is the game's own.
    std::function<bool(const std::string& path)> shipped;
    // The game's own copy of `path`, past a loose file that wins over it; false when the game
    // has none.
    std::function<bool(const std::string& path, std::string& bytes)> readShipped;
    // Reads the disk (letter case resolved) and logs through SDL.
    static MovieHost Disk();
    // What modules made by CreateFlashModule use; Disk() until set.
    static void SetDefault(MovieHost host);
    static MovieHost Default();
};

}  // namespace flash
