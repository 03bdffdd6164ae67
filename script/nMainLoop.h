#pragma once

// The object at "/sys/servers/observer" that runs the main loop, as the "exit" script
// global ends it: the observer lives in a layer above the script server.
class nMainLoop {
public:
    virtual ~nMainLoop() = default;
    // Ends the main loop after the current frame.
    virtual void Quit() = 0;
};
