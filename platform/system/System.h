#pragma once
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
// cannot be shown), so a run without a display never blocks.
void ShowMessageBox(const char* caption, const char* text, bool isError);

// `text` with every line longer than `columns` characters (UTF-8 sequences count as one)
// broken at spaces; a word longer than a line is cut. Line feeds stay where they were.
std::string WrapText(const char* text, int columns);

// Flushes standard streams and ends the process at once with `code`.
[[noreturn]] void Exit(int code);

void SleepMs(unsigned milliseconds);

}  // namespace sys
