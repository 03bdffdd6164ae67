#pragma once
// Can this machine show the game? Asked once before anything else starts, so a machine
// that cannot gets one clear message instead of a failure deep inside start-up.

#include <string>

namespace window {

// Starts SDL's video and gives a hidden window the OpenGL context the render layer draws
// with: compatibility profile 2.1 or later with framebuffer objects. When it passes, video
// and the OpenGL library stay loaded for the process's life: the display opens on them
// next, and drivers unloaded early would leave their own allocations nameless for the leak
// checker. On failure it leaves video as it found it, and the reason goes to standard error
// and, when `reason` is given, into it. (SDL_VIDEODRIVER=dummy, a driver without OpenGL,
// fails it.)
bool ProbeDisplayCapabilities(std::string* reason = nullptr);

}  // namespace window
