#pragma once
// Ends the process with exit code 0 when a stop asked for (SIGTERM, SIGINT, a closed
// window) has not reached the main loop within a grace time: C code that never returns
// to the interpreter, whose hook would end the script, cannot keep the game alive. Saves
// are written to a temporary file and renamed, so an end mid-save leaves the old one.
#include <chrono>

namespace sys {

class StopWatchdog {
public:
    static constexpr std::chrono::milliseconds Grace{3000};

    // Starts the watching thread once; Stop ends it (and any watch with it).
    static void Start();
    static void Stop();
    // A stop was asked for: from now the grace time runs. Safe in a signal handler.
    static void Requested();
    // The stop reached the main loop, which now ends: the watch is over.
    static void Answered();
};

}  // namespace sys
