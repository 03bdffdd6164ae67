#pragma once
// Translation of SDL keyboard and text events into what the engine's window
// procedure expects: Windows virtual-key numbers and Windows-1252 characters.

#include <SDL2/SDL_keyboard.h>

#include <cstddef>
#include <string>

namespace window {

// The virtual-key number of a key, 0 for keys the engine has no number for.
// Letters and digits follow the keyboard layout; every other key (the number row
// too, where it types no digits) its position.
int VirtualKeyFromSdl(const SDL_Keysym& key);

// The character a key press produces as a character message of its own
// (Backspace 8, Tab 9, Return 13, Escape 27; text input does not deliver them),
// 0 for every other key.
int ControlCharacterFromSdl(const SDL_Keysym& key);

// Converts UTF-8 text to Windows-1252 bytes; characters it cannot express are
// dropped, as is any malformed byte sequence.
std::string Cp1252FromUtf8(const char* text);
// The same for `length` bytes, appended to `out` (whose capacity is kept).
void AppendCp1252FromUtf8(const char* text, size_t length, std::string& out);

}  // namespace window
