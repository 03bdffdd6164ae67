#pragma once
// The GL benchmarks' shared set-up: the headless display, and a raw window, context and
// frame made as the engine makes its own, so both sides of a ratio draw into the same kind
// of target.
#include <SDL2/SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "platform/render/GlHeaders.h"

namespace bench {

// SDL's offscreen driver on software GL; more calls are harmless (SDL counts them).
inline void InitVideo() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    SDL_InitSubSystem(SDL_INIT_VIDEO);
}

// A window made small and then sized, a compatibility context, and a frame of colour and
// depth renderbuffers bound for drawing with depth testing on.
struct RawTarget {
    SDL_Window* win = nullptr;
    SDL_GLContext context = nullptr;
    GLuint frame = 0, color = 0, depth = 0;

    RawTarget(int w, int h, GLenum depthFormat = GL_DEPTH24_STENCIL8) {
        InitVideo();
        win = SDL_CreateWindow("raw", 0, 0, 1, 1, SDL_WINDOW_OPENGL);
        SDL_SetWindowSize(win, w, h);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
        context = SDL_GL_CreateContext(win);
        Use();
        SDL_GL_SetSwapInterval(0);
        glGenFramebuffers(1, &frame);
        glGenRenderbuffers(1, &color);
        glGenRenderbuffers(1, &depth);
        glBindRenderbuffer(GL_RENDERBUFFER, color);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB8, w, h);
        glBindRenderbuffer(GL_RENDERBUFFER, depth);
        glRenderbufferStorage(GL_RENDERBUFFER, depthFormat, w, h);
        glBindFramebuffer(GL_FRAMEBUFFER, frame);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
        const GLenum attachment = depthFormat == GL_DEPTH24_STENCIL8 ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, depth);
        glViewport(0, 0, w, h);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    void Use() const { SDL_GL_MakeCurrent(win, context); }
};

// `frames` frames of a window's own framebuffer cleared and presented, each waiting for
// its GL work: the raw baseline of a game frame. The frame times in microseconds go to `us`.
inline void RawClearPresentFrames(int frames, std::vector<double>& us) {
    using Clock = std::chrono::steady_clock;
    InitVideo();
    SDL_Window* win = SDL_CreateWindow("raw", 0, 0, 800, 600, SDL_WINDOW_OPENGL);
    SDL_GLContext ctx = SDL_GL_CreateContext(win);
    SDL_GL_SetSwapInterval(0);
    us.clear();
    us.reserve(size_t(frames));
    for (int i = 0; i < frames; i++) {
        auto t0 = Clock::now();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        SDL_GL_SwapWindow(win);
        glFinish();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    SDL_GL_DeleteContext(ctx);
    SDL_DestroyWindow(win);
}

// The median of frame times (sorts them).
inline double Median(std::vector<double>& us) {
    std::sort(us.begin(), us.end());
    return us.empty() ? 0.0 : us[us.size() / 2];
}

}  // namespace bench
