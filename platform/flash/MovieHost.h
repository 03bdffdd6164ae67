#pragma once
// What a movie module reaches outside itself: whole-file reads (the movie and its
// images) and the log. The engine installs one that reads through its file server and
// writes its log; the default reads the disk and logs through SDL. A movie is data: the
// engine may make its code share a frame's time with its other data text.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace flash {

struct MovieHost {
    // The whole file; false when it cannot be read.
    std::function<bool(const std::string& path, std::string& bytes)> readFile;
    std::function<void(const std::string& message)> log;

    // What a call into the movie's code is about. A load runs once, and a variable's read
    // runs none of the movie's code: neither waits. A draw may wait for a later frame,
    // taking turns by the frame it last ran in; an event or a variable's handler runs now
    // unless the frame is far past its share.
    enum class Call { Load, Read, Draw, Event };
    // Before a call: the instructions it may take, 0 when it does not run now. `lastDrawn`
    // (draws only) is the frame the movie last drew in, updated when it draws now.
    std::function<uint64_t(Call call, uint32_t& lastDrawn)> share;
    // Before a call that runs: the time it may take now (sys::RunClock; the module's own
    // limit without one). A call stopped at it fails; a draw keeps the picture it drew last.
    std::function<std::chrono::steady_clock::duration(Call call)> time;
    // After a call that ran: what it spent, its time (sys::RunClock) as `taken`.
    std::function<void(uint64_t instructions, std::chrono::steady_clock::duration taken)> spent;

    // Reads the disk (letter case resolved) and logs through SDL.
    static MovieHost Disk();
    // What modules made by CreateFlashModule use; Disk() until set.
    static void SetDefault(MovieHost host);
    static MovieHost Default();
};

}  // namespace flash
