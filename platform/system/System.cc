#include "platform/system/System.h"

#include <SDL.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace sys {

std::string ExecutablePath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return std::string();
    return std::string(buf, static_cast<size_t>(n));
}

bool HasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!(x11 && *x11) && !(wayland && *wayland)) return false;
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver && (strcasecmp(driver, "offscreen") == 0 || strcasecmp(driver, "dummy") == 0)) return false;
    return true;
}

void ShowMessageBox(const char* caption, const char* text, bool isError) {
    if (!caption) caption = "";
    if (!text) text = "";
    if (HasDisplay()) {
        Uint32 flags = isError ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        if (SDL_ShowSimpleMessageBox(flags, caption, text, nullptr) == 0) return;
    }
    std::fprintf(stderr, "%s: %s", caption, text);
    std::fflush(stderr);
}

void Exit(int code) {
    std::fflush(nullptr);
    std::_Exit(code);
}

void SleepMs(unsigned milliseconds) {
    timespec ts;
    ts.tv_sec = milliseconds / 1000;
    ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

}  // namespace sys
