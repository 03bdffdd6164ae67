// A display closed and opened again: the device and its window closed, then a window and
// device made anew at the other of two sizes, as a server made again or a mode fallback
// does. The raw baseline makes an SDL2 window and OpenGL context anew with SDL's OpenGL
// library held, the least a re-open costs; it lets the library go at its end, so that in
// any order it never holds the driver for ours.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "bench/BenchGl.h"
#include "platform/render/Device.h"
#include "platform/render/RenderSystem.h"
#include "platform/window/Window.h"

namespace {

constexpr int Sizes[2][2] = {{320, 200}, {640, 480}};

void BM_DisplayReopen_Ours(benchmark::State& state) {
    bench::InitVideo();
    std::unique_ptr<render::RenderSystem> system = render::RenderSystem::Open();
    if (!system) std::abort();
    std::unique_ptr<window::Window> win;
    std::unique_ptr<render::Device> device;
    int i = 0;
    for (auto _ : state) {
        device.reset();
        win.reset();
        const int* size = Sizes[i++ % 2];
        win = window::Window::Open("ours", size[0], size[1], 16, 0);
        render::PresentParameters p;
        p.backBufferWidth = size[0];
        p.backBufferHeight = size[1];
        p.waitForVerticalSync = false;
        if (win) {
            device = system->OpenDevice(0, render::DeviceType::Hardware, *win,
                                        render::VertexProcessing::Hardware, p);
        }
        if (!device) std::abort();
    }
    device.reset();
    win.reset();
}

void BM_DisplayReopen_Raw(benchmark::State& state) {
    bench::InitVideo();
    if (SDL_GL_LoadLibrary(nullptr) != 0) std::abort();
    SDL_Window* win = nullptr;
    SDL_GLContext context = nullptr;
    int i = 0;
    for (auto _ : state) {
        if (context) SDL_GL_DeleteContext(context);
        if (win) SDL_DestroyWindow(win);
        const int* size = Sizes[i++ % 2];
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
        win = SDL_CreateWindow("raw", 0, 0, size[0], size[1], SDL_WINDOW_OPENGL);
        context = win ? SDL_GL_CreateContext(win) : nullptr;
        if (!context || SDL_GL_MakeCurrent(win, context) != 0) std::abort();
    }
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(win);
    SDL_GL_UnloadLibrary();
}

}  // namespace

BENCHMARK(BM_DisplayReopen_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DisplayReopen_Raw)->Unit(benchmark::kMillisecond)->UseRealTime();
