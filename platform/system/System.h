#pragma once
#include <cstdint>
#include <string>

// The few operating-system services the kernel needs, on POSIX and SDL.
namespace sys {

// Full file name of the running executable ("" when it cannot be read).
std::string ExecutablePath();

// True when a display exists: DISPLAY or WAYLAND_DISPLAY is set and SDL_VIDEODRIVER
// does not ask for the "offscreen" or "dummy" driver.
bool HasDisplay();

// Shows a message box and waits for the user where a display exists, its text wrapped to
// fit the screen; writes "caption: text" to standard error otherwise (or when the box
// cannot be shown, or a stop is under way), so a run without a display never blocks.
// While the box is up SIGTERM and SIGINT end the process at once with 128 + the signal's
// number; the process that shows the box (SDL forks one) ends with this one.
void ShowMessageBox(const char* caption, const char* text, bool isError);

// A fatal stop's box: the prelude runs first, so that the box is not hidden behind a
// full-screen game. The process ends after it, so the prelude need not be undone.
void ShowFatalBox(const char* caption, const char* text);
// Set by the window layer: takes its windows out of full screen and out of sight. It runs
// inside a fatal stop, so it touches only windows that still stand. Null for none.
void SetFatalBoxPrelude(void (*prelude)());

// `text` with every line longer than `columns` characters (UTF-8 sequences count as one)
// broken at spaces; a word longer than a line is cut. Line feeds stay where they were.
std::string WrapText(const char* text, int columns);

// Flushes standard streams and ends the process at once with `code`.
[[noreturn]] void Exit(int code);

void SleepMs(unsigned milliseconds);

// The process's resident memory in bytes, read from /proc/self/statm (0 when unreadable):
// one read of a short file, cheap but no call for every step.
uint64_t ResidentBytes();
// The machine's physical memory in bytes (0 when unknown).
uint64_t PhysicalBytes();

}  // namespace sys
