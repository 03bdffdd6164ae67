#pragma once
// Keeps the game in charge of its end when the X server turns against its window. SDL's
// own X error handler ends the process (or hangs, re-entering Xlib) when another client
// destroys the window, and Xlib ends it at once when the connection is lost; either way
// the shutdown and its saves never ran. Here an error about one of the game's windows
// becomes a close request, and a lost connection runs the owner's last saves before the
// process ends. Only with SDL's x11 video driver; elsewhere every call does nothing.

struct SDL_Window;

namespace window {

class XDisplayWatch {
public:
    // Installs the X error and I/O error handlers, once, over SDL's: after SDL's video
    // has started (it installs its own then). They act only in the process that installed
    // them: a process forked from it (SDL's X11 message box) inherits them, and there an
    // error is ignored and a lost connection ends it with code 1, without a word.
    static void Install();
    // The X windows an error about which means the window is gone.
    static void Watch(SDL_Window* window);
    static void Unwatch(SDL_Window* window);
    // Whether an error said a watched window is gone, the first time only (one close stands
    // for the window); TakeGone also clears it.
    static bool Gone();
    static bool TakeGone();
    // Run from inside Xlib when the connection is lost; it must make no X call (Xlib holds
    // the connection's lock, and the connection is dead). Its result is the process's exit
    // code; the process ends right after it, without static destructors. Null: exit code 1,
    // as Xlib's own handler ends it.
    static void SetOnLost(int (*onLost)());
};

}  // namespace window
