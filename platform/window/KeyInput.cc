#include "platform/window/KeyInput.h"

#include <cstdint>
#include <cstring>

namespace window {

namespace {

struct ScancodeKey {
    SDL_Scancode scancode;
    int virtualKey;
};

// Keys named by their position. Numbers are the Windows virtual-key codes.
constexpr ScancodeKey kScancodeKeys[] = {
    {SDL_SCANCODE_BACKSPACE, 8},   {SDL_SCANCODE_TAB, 9},          {SDL_SCANCODE_RETURN, 13},
    {SDL_SCANCODE_KP_ENTER, 13},   {SDL_SCANCODE_LSHIFT, 16},      {SDL_SCANCODE_RSHIFT, 16},
    {SDL_SCANCODE_LCTRL, 17},      {SDL_SCANCODE_RCTRL, 17},       {SDL_SCANCODE_LALT, 18},
    {SDL_SCANCODE_RALT, 18},       {SDL_SCANCODE_PAUSE, 19},       {SDL_SCANCODE_CAPSLOCK, 20},
    {SDL_SCANCODE_ESCAPE, 27},     {SDL_SCANCODE_SPACE, 32},       {SDL_SCANCODE_PAGEUP, 33},
    {SDL_SCANCODE_PAGEDOWN, 34},   {SDL_SCANCODE_END, 35},         {SDL_SCANCODE_HOME, 36},
    {SDL_SCANCODE_LEFT, 37},       {SDL_SCANCODE_UP, 38},          {SDL_SCANCODE_RIGHT, 39},
    {SDL_SCANCODE_DOWN, 40},       {SDL_SCANCODE_SELECT, 41},      {SDL_SCANCODE_EXECUTE, 43},
    {SDL_SCANCODE_PRINTSCREEN, 44}, {SDL_SCANCODE_INSERT, 45},     {SDL_SCANCODE_DELETE, 46},
    {SDL_SCANCODE_HELP, 47},       {SDL_SCANCODE_LGUI, 91},        {SDL_SCANCODE_RGUI, 92},
    {SDL_SCANCODE_APPLICATION, 93}, {SDL_SCANCODE_KP_0, 96},       {SDL_SCANCODE_KP_1, 97},
    {SDL_SCANCODE_KP_2, 98},       {SDL_SCANCODE_KP_3, 99},        {SDL_SCANCODE_KP_4, 100},
    {SDL_SCANCODE_KP_5, 101},      {SDL_SCANCODE_KP_6, 102},       {SDL_SCANCODE_KP_7, 103},
    {SDL_SCANCODE_KP_8, 104},      {SDL_SCANCODE_KP_9, 105},       {SDL_SCANCODE_KP_MULTIPLY, 106},
    {SDL_SCANCODE_KP_PLUS, 107},   {SDL_SCANCODE_KP_COMMA, 108},   {SDL_SCANCODE_KP_MINUS, 109},
    {SDL_SCANCODE_KP_PERIOD, 110}, {SDL_SCANCODE_KP_DIVIDE, 111},  {SDL_SCANCODE_NUMLOCKCLEAR, 144},
    {SDL_SCANCODE_SCROLLLOCK, 145},
    // The key left of 1, the circumflex key on a German keyboard.
    {SDL_SCANCODE_GRAVE, 220},
};

// Windows-1252 bytes 0x80..0x9F and the characters they stand for.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

int Cp1252FromCodePoint(uint32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        return static_cast<int>(cp);
    }
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] != 0 && kCp1252High[i] == cp) {
            return 0x80 + i;
        }
    }
    return -1;
}

}  // namespace

int VirtualKeyFromSdl(const SDL_Keysym& key)
{
    // Letters and digits by the layout, so a German keyboard's Z gives 'Z'.
    if (key.sym >= SDLK_a && key.sym <= SDLK_z) {
        return 'A' + (key.sym - SDLK_a);
    }
    if (key.sym >= SDLK_0 && key.sym <= SDLK_9) {
        return '0' + (key.sym - SDLK_0);
    }
    // Layouts whose number row types other characters unshifted (French) still
    // give the digits' key numbers there.
    if (key.scancode >= SDL_SCANCODE_1 && key.scancode <= SDL_SCANCODE_9) {
        return '1' + (key.scancode - SDL_SCANCODE_1);
    }
    if (key.scancode == SDL_SCANCODE_0) {
        return '0';
    }
    if (key.scancode >= SDL_SCANCODE_F1 && key.scancode <= SDL_SCANCODE_F12) {
        return 112 + (key.scancode - SDL_SCANCODE_F1);
    }
    if (key.scancode >= SDL_SCANCODE_F13 && key.scancode <= SDL_SCANCODE_F24) {
        return 124 + (key.scancode - SDL_SCANCODE_F13);
    }
    for (const ScancodeKey& entry : kScancodeKeys) {
        if (entry.scancode == key.scancode) {
            return entry.virtualKey;
        }
    }
    return 0;
}

int ControlCharacterFromSdl(const SDL_Keysym& key)
{
    switch (key.scancode) {
    case SDL_SCANCODE_BACKSPACE: return 8;
    case SDL_SCANCODE_TAB: return 9;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER: return 13;
    case SDL_SCANCODE_ESCAPE: return 27;
    default: return 0;
    }
}

std::string Cp1252FromUtf8(const char* text)
{
    std::string out;
    if (text != nullptr) {
        AppendCp1252FromUtf8(text, std::strlen(text), out);
    }
    return out;
}

void AppendCp1252FromUtf8(const char* text, size_t length, std::string& out)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = p + length;
    while (p < end) {
        uint32_t cp = 0;
        int extra = 0;
        if (*p < 0x80) {
            cp = *p;
        } else if ((*p & 0xE0) == 0xC0) {
            cp = *p & 0x1F;
            extra = 1;
        } else if ((*p & 0xF0) == 0xE0) {
            cp = *p & 0x0F;
            extra = 2;
        } else if ((*p & 0xF8) == 0xF0) {
            cp = *p & 0x07;
            extra = 3;
        } else {
            ++p;  // a stray continuation byte
            continue;
        }
        ++p;
        bool valid = true;
        for (int i = 0; i < extra; ++i) {
            if (p == end || (*p & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            cp = (cp << 6) | (*p & 0x3F);
            ++p;
        }
        if (!valid) {
            continue;
        }
        const int byte = Cp1252FromCodePoint(cp);
        if (byte > 0) {
            out.push_back(static_cast<char>(byte));
        }
    }
}

}  // namespace window
