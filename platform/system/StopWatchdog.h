#pragma once
// Ends the process when a stop asked for (SIGTERM, SIGINT, a closed window) has not
// reached the main loop within a grace time: C code that never returns to the
// interpreter, whose hook would end the script, cannot keep the game alive. The shutdown
// did not run, so the exit code says so: 128 + the signal's number, 3 for a closed window.
// Saves are written to a temporary file and renamed, so an end mid-save leaves the old one.
#include <chrono>

namespace sys {

class StopWatchdog {
public:
    static constexpr std::chrono::milliseconds Grace{3000};

    // Starts the watching thread once, forgetting earlier signals; Stop ends it (and any
    // watch with it).
    static void Start();
    static void Stop();
    // A stop was asked for, by `signal` (0: a closed window): from now the grace time runs.
    // Once a signal asked, the exit code stays its own. Safe in a signal handler.
    static void Requested(int signal = 0);
    // A stop was asked for and has not reached the main loop yet.
    static bool Pending();
    // The exit code of an end whose shutdown did not run: one that the watch forces, or a
    // fatal error. 128 + the signal's number once a stop signal came, else 3.
    static int ForcedExitCode();
    // The stop reached the main loop, which now ends: the watch is over.
    static void Answered();
};

}  // namespace sys
