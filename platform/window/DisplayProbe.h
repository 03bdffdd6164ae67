#pragma once
// Can this machine show the game? Asked once before anything else starts, so a machine
// that cannot gets one clear message instead of a failure deep inside start-up.

#include <string>

namespace window {

// Starts SDL's video and gives a hidden window the OpenGL context the render layer draws
// with: compatibility profile 2.1 or later with framebuffer objects. Everything it made is
// gone again when it returns. On failure the reason goes to standard error and, when
// `reason` is given, into it. (SDL_VIDEODRIVER=dummy, a driver without OpenGL, fails it.)
bool ProbeDisplayCapabilities(std::string* reason = nullptr);

}  // namespace window
