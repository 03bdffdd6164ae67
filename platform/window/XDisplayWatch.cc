#include "platform/window/XDisplayWatch.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace window {

namespace {

// Errors come on the thread that makes the X calls (the game's); the flag is read by the
// stop signals' watcher too.
std::atomic<bool> gone{false};
std::vector<unsigned long>& Watched()
{
    static std::vector<unsigned long> ids;
    return ids;
}
int (*lostHandler)() = nullptr;
// The game's own process, which installed the handlers. A process forked from it (SDL shows
// an X11 message box from one) inherits them with a copy of the game: there they must
// neither log as the game nor run its last saves.
pid_t owner = 0;
bool Owned()
{
    return getpid() == owner;
}
// Logged in SDL's application category, which SDL shows by default (its video category
// shows only critical lines). A window that is gone fails every request of a frame: the
// log gets the first few.
int errorsLogged = 0;
bool goneReported = false;
constexpr int kErrorsLogged = 8;

unsigned long XWindowOf(SDL_Window* window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
        return 0;
    }
    return info.info.x11.window;
}

// Makes no X request: Xlib holds the connection's lock while it runs the handler.
int OnError(Display*, XErrorEvent* error)
{
    if (!Owned()) return 0;
    const std::vector<unsigned long>& ids = Watched();
    const bool ours = std::find(ids.begin(), ids.end(), error->resourceid) != ids.end();
    const bool missing = error->error_code == BadWindow || error->error_code == BadDrawable;
    // One close stands for the window: the shutdown's own calls on it fail too, and must not
    // count as a close that stops its scripts.
    if (ours && missing && !goneReported) {
        goneReported = true;
        gone = true;
        SDL_LogMessage(SDL_LOG_CATEGORY_APPLICATION, SDL_LOG_PRIORITY_ERROR,
                       "X: the game's window 0x%lx is gone; the game ends", error->resourceid);
    } else if (errorsLogged < kErrorsLogged) {
        errorsLogged++;
        SDL_LogMessage(SDL_LOG_CATEGORY_APPLICATION, SDL_LOG_PRIORITY_ERROR, "X error %d (request %d.%d) on 0x%lx",
                       int(error->error_code), int(error->request_code), int(error->minor_code), error->resourceid);
    }
    return 0;
}

// Xlib ends the process when this returns, without the owner's saves: it never returns.
int OnIoError(Display*)
{
    // A box's process ends quietly: its box is gone with the X server, and the game's own
    // connection tells the game.
    if (!Owned()) _exit(1);
    SDL_LogMessage(SDL_LOG_CATEGORY_APPLICATION, SDL_LOG_PRIORITY_ERROR, "the connection to the X server is lost");
    std::_Exit(lostHandler != nullptr ? lostHandler() : 1);
}

}  // namespace

void XDisplayWatch::Install()
{
    static bool installed = false;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (installed || driver == nullptr || std::strcmp(driver, "x11") != 0) {
        return;
    }
    installed = true;
    owner = getpid();
    XSetErrorHandler(OnError);
    XSetIOErrorHandler(OnIoError);
}

void XDisplayWatch::Watch(SDL_Window* window)
{
    if (const unsigned long id = XWindowOf(window)) {
        Watched().push_back(id);
    }
}

void XDisplayWatch::Unwatch(SDL_Window* window)
{
    std::vector<unsigned long>& ids = Watched();
    ids.erase(std::remove(ids.begin(), ids.end(), XWindowOf(window)), ids.end());
}

bool XDisplayWatch::Gone()
{
    return gone;
}

bool XDisplayWatch::TakeGone()
{
    return gone.exchange(false);
}

void XDisplayWatch::SetOnLost(int (*onLost)())
{
    lostHandler = onLost;
}

}  // namespace window
