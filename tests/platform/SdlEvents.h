#pragma once
// SDL events as the window system would queue them, for tests that push them into the
// queue or hand them to a handler directly.
#include <SDL2/SDL.h>

#include <cstdint>
#include <cstring>

namespace bwtest::sdl {

inline SDL_Event Focus(uint32_t window, bool gained) {
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.event = gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST;
    e.window.windowID = window;
    return e;
}

inline SDL_Event Key(uint32_t window, SDL_Scancode scancode, SDL_Keycode sym, bool down, uint16_t mod = KMOD_NONE) {
    SDL_Event e = {};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = window;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = scancode;
    e.key.keysym.sym = sym;
    e.key.keysym.mod = mod;
    return e;
}

inline SDL_Event Text(uint32_t window, const char* text) {
    SDL_Event e = {};
    e.type = SDL_TEXTINPUT;
    e.text.windowID = window;
    std::strncpy(e.text.text, text, sizeof e.text.text - 1);
    return e;
}

inline SDL_Event Motion(uint32_t window, int x, int y, int xrel, int yrel) {
    SDL_Event e = {};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = window;
    e.motion.x = x;
    e.motion.y = y;
    e.motion.xrel = xrel;
    e.motion.yrel = yrel;
    return e;
}

inline SDL_Event Button(uint32_t window, uint8_t button, bool down, int x = 0, int y = 0) {
    SDL_Event e = {};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.windowID = window;
    e.button.button = button;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.x = x;
    e.button.y = y;
    return e;
}

inline SDL_Event Wheel(uint32_t window, int notches) {
    SDL_Event e = {};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = window;
    e.wheel.y = notches;
    e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    return e;
}

}  // namespace bwtest::sdl
