#include "platform/window/DisplayProbe.h"

#include <SDL2/SDL.h>

#include <cstdio>

namespace window {

namespace {

// Read through SDL, so this layer needs no OpenGL library of its own.
constexpr unsigned kGlRenderer = 0x1F01;
constexpr unsigned kGlVersion = 0x1F02;
using GetStringFn = const unsigned char* (*)(unsigned);

// "4.5 (Compatibility Profile) Mesa 22.3.6" and "2.1 Mesa 22.3.6" alike.
bool ParseVersion(const char* text, int& major, int& minor)
{
    return text != nullptr && std::sscanf(text, "%d.%d", &major, &minor) == 2;
}

}  // namespace

bool ProbeDisplayCapabilities(std::string* reason)
{
    std::string why;
    SDL_Window* probe = nullptr;
    SDL_GLContext context = nullptr;
    const bool video = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    if (!video) {
        why = std::string("no video driver: ") + SDL_GetError();
    } else {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
        probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (probe == nullptr) {
            why = std::string("no OpenGL window: ") + SDL_GetError();
        }
    }
    if (probe != nullptr) {
        context = SDL_GL_CreateContext(probe);
        if (context == nullptr) {
            why = std::string("no OpenGL 2.1 compatibility context: ") + SDL_GetError();
        }
    }
    if (context != nullptr) {
        const auto getString = reinterpret_cast<GetStringFn>(SDL_GL_GetProcAddress("glGetString"));
        const char* version = getString ? reinterpret_cast<const char*>(getString(kGlVersion)) : nullptr;
        const char* renderer = getString ? reinterpret_cast<const char*>(getString(kGlRenderer)) : nullptr;
        int major = 0;
        int minor = 0;
        if (!ParseVersion(version, major, minor)) {
            why = "the OpenGL context gives no version";
        } else if (major < 2 || (major == 2 && minor < 1)) {
            why = std::string("OpenGL ") + version + " is older than 2.1";
        } else if (major < 3 && !SDL_GL_ExtensionSupported("GL_ARB_framebuffer_object")) {
            // The render layer draws every frame into framebuffer objects.
            why = std::string("OpenGL ") + version + " on " + (renderer ? renderer : "?") +
                  " has no framebuffer objects";
        }
        SDL_GL_MakeCurrent(probe, nullptr);
        SDL_GL_DeleteContext(context);
        // The probe window's hold on the OpenGL library goes with it; this one stays.
        if (why.empty() && SDL_GL_LoadLibrary(nullptr) != 0) {
            why = std::string("no OpenGL library: ") + SDL_GetError();
        }
    }
    if (probe != nullptr) {
        SDL_DestroyWindow(probe);
    }
    if (why.empty()) {
        return true;
    }
    if (video) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    std::fprintf(stderr, "Display probe: %s\n", why.c_str());
    if (reason != nullptr) {
        *reason = why;
    }
    return false;
}

}  // namespace window
