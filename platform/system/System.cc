#include "platform/system/System.h"

#include <SDL.h>
#include <pthread.h>
#include <strings.h>
#include <sys/prctl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string_view>

#include "platform/system/StopWatchdog.h"

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

namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

size_t Columns(std::string_view s) {
    size_t n = 0;
    for (char c : s) n += IsContinuation(c) ? 0 : 1;
    return n;
}

// Bytes of the first `columns` characters of `s`.
size_t BytesOf(std::string_view s, size_t columns) {
    size_t i = 0;
    for (size_t seen = 0; i < s.size(); i++) {
        if (!IsContinuation(s[i]) && seen++ == columns) break;
    }
    return i;
}

void WrapLine(std::string_view line, size_t width, std::string& out) {
    size_t used = 0;
    while (!line.empty()) {
        const size_t spaces = std::min(line.find_first_not_of(' '), line.size());
        std::string_view gap = line.substr(0, spaces);
        line.remove_prefix(spaces);
        std::string_view word = line.substr(0, line.find(' '));
        line.remove_prefix(word.size());
        if (word.empty()) break;  // spaces at the end of the line
        size_t w = Columns(word);
        if (used > 0 && used + gap.size() + w > width) {
            out += '\n';
            used = 0;
        } else {
            out += gap;
            used += gap.size();
        }
        while (used + w > width) {
            if (used >= width) {
                out += '\n';
                used = 0;
                continue;
            }
            const size_t bytes = BytesOf(word, width - used);
            out += word.substr(0, bytes);
            out += '\n';
            used = 0;
            word.remove_prefix(bytes);
            w = Columns(word);
        }
        out += word;
        used += w;
    }
}

// Characters a box line may hold: SDL's boxes draw about 8 pixels a character, and a
// quarter of the screen is left for the box's frame. 80 when the screen is unknown.
int BoxColumns() {
    SDL_DisplayMode mode;
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0 || SDL_GetDesktopDisplayMode(0, &mode) != 0 || mode.w <= 0) return 80;
    return std::clamp(mode.w * 3 / 4 / 8, 30, 120);
}

// This process while it waits for a box, else 0. SDL shows an X11 box from a forked child;
// the child must not outlive the game, or it keeps the dead game's window on screen.
std::atomic<pid_t> boxParent{0};
void (*fatalBoxPrelude)() = nullptr;

void OnForkedChild() {
    const pid_t parent = boxParent;
    if (parent == 0) return;
    // The kernel kills the box when the thread that forked it ends, the process with it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);  // the game ended before the line above
}

void OnSignalInBox(int sig) {
    // The waiting thread is inside SDL: the stop cannot reach the main loop, so it ends here.
    // The box's own process (a fork that inherited this handler) ends without a word.
    static const char message[] = "a stop signal came while a message box waited; the program ends\n";
    if (getpid() == boxParent) (void)!write(STDERR_FILENO, message, sizeof(message) - 1);
    _exit(128 + sig);
}

bool ShowBox(Uint32 flags, const char* caption, const char* text) {
    static std::once_flag atFork;
    std::call_once(atFork, [] { pthread_atfork(nullptr, nullptr, OnForkedChild); });
    struct sigaction end = {}, term = {}, interrupt = {};
    end.sa_handler = OnSignalInBox;
    sigemptyset(&end.sa_mask);
    sigaction(SIGTERM, &end, &term);
    sigaction(SIGINT, &end, &interrupt);
    boxParent = getpid();
    const bool shown = SDL_ShowSimpleMessageBox(flags, caption, text, nullptr) == 0;
    boxParent = 0;
    sigaction(SIGTERM, &term, nullptr);
    sigaction(SIGINT, &interrupt, nullptr);
    return shown;
}

}  // namespace

std::string WrapText(const char* text, int columns) {
    std::string out;
    if (!text) return out;
    const size_t width = size_t(std::max(columns, 1));
    std::string_view rest(text);
    for (;;) {
        const size_t feed = rest.find('\n');
        WrapLine(rest.substr(0, feed), width, out);
        if (feed == std::string_view::npos) break;
        out += '\n';
        rest.remove_prefix(feed + 1);
    }
    return out;
}

void ShowMessageBox(const char* caption, const char* text, bool isError) {
    if (!caption) caption = "";
    if (!text) text = "";
    // A box would hold up a stop under way until someone clicks it.
    if (HasDisplay() && !StopWatchdog::Pending()) {
        Uint32 flags = isError ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        // SDL sizes the box to its longest line, which may be wider than the screen.
        const std::string wrapped = WrapText(text, BoxColumns());
        if (ShowBox(flags, caption, wrapped.c_str())) return;
    }
    std::fprintf(stderr, "%s: %s", caption, text);
    std::fflush(stderr);
}

void ShowFatalBox(const char* caption, const char* text) {
    if (fatalBoxPrelude) fatalBoxPrelude();
    ShowMessageBox(caption, text, true);
}

void SetFatalBoxPrelude(void (*prelude)()) { fatalBoxPrelude = prelude; }

void Exit(int code) {
    std::fflush(nullptr);
    std::_Exit(code);
}

uint64_t ResidentBytes() {
    // Not through stdio: no allocation, and a single read.
    const int fd = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char buf[128];
    const ssize_t n = read(fd, buf, sizeof(buf) - 1);
    close(fd);
    if (n <= 0) return 0;
    buf[n] = 0;
    // "size resident shared ...", in pages.
    const char* p = std::strchr(buf, ' ');
    if (!p) return 0;
    const long page = sysconf(_SC_PAGESIZE);
    return std::strtoull(p + 1, nullptr, 10) * uint64_t(page > 0 ? page : 4096);
}

uint64_t PhysicalBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    return pages > 0 && page > 0 ? uint64_t(pages) * uint64_t(page) : 0;
}

void SleepMs(unsigned milliseconds) {
    timespec ts;
    ts.tv_sec = milliseconds / 1000;
    ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

}  // namespace sys
