// The render layer against raw SDL2 + OpenGL doing the same work, in the same run, on
// an 800x600 frame: an empty frame (clear and present; and the same presented to a drawable
// of the frame's size against the window cleared and swapped), a back-buffer lock and unlock,
// and 2,000 one-triangle draws with a new world matrix each. Every iteration ends with
// glFinish so that the software rasteriser cannot leave work undone. The raw side has a
// window and context of its own, so neither side's cached state misleads the other.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/render/Device.h"
#include "platform/render/GlHeaders.h"
#include "platform/render/RenderSystem.h"
#include "bench/BenchGl.h"
#include "platform/window/Window.h"

namespace {

constexpr int W = 800;
constexpr int H = 600;
constexpr int Draws = 2000;

struct Vertex {
    float x, y, z;
    uint32_t color;
};
const Vertex Triangle[3] = {{-0.01f, -0.01f, 0.5f, 0xFFFF0000u}, {0.01f, -0.01f, 0.5f, 0xFFFF0000u},
                            {0.0f, 0.01f, 0.5f, 0xFFFF0000u}};

render::Matrix Translation(int i) {
    render::Matrix m = render::IdentityMatrix();
    m[12] = float(i % 50) / 25.0f - 1.0f;
    m[13] = float(i / 50 % 40) / 20.0f - 1.0f;
    return m;
}

struct Ours {
    std::unique_ptr<window::Window> win;
    std::unique_ptr<render::RenderSystem> system;
    std::unique_ptr<render::Device> device;
    // sized: the window is made at the frame's size and depth format (on SDL's offscreen
    // driver the drawable keeps its first size), as a game window whose buffer fits the frame.
    explicit Ours(bool sized = false) {
        win = sized ? window::Window::Open("ours", W, H, 16, 0) : window::Window::Open("ours");
        system = render::RenderSystem::Open();
        render::PresentParameters p;
        p.backBufferWidth = W;
        p.backBufferHeight = H;
        p.waitForVerticalSync = false;
        device = system->OpenDevice(0, render::DeviceType::Hardware, *win, render::VertexProcessing::Hardware, p);
        win->Place(0, 0, W, H);
        device->SetRenderState(render::RenderState::Lighting, 0);
        device->SetRenderState(render::RenderState::CullMode, render::Cull::None);
    }
};

struct Raw : bench::RawTarget {
    GLuint uploadFrame = 0, uploadTexture = 0;
    std::vector<uint32_t> pixels;
    Raw() : RawTarget(W, H, GL_DEPTH_COMPONENT16) {
        glDepthFunc(GL_LESS);
        glGenTextures(1, &uploadTexture);
        glBindTexture(GL_TEXTURE_2D, uploadTexture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, W, H, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glGenFramebuffers(1, &uploadFrame);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, uploadFrame);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, uploadTexture, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, frame);
        pixels.resize(size_t(W) * H);
        glViewport(0, 0, W, H);
        glDisable(GL_LIGHTING);
        glVertexPointer(3, GL_FLOAT, sizeof(Vertex), &Triangle[0].x);
        glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, sizeof(Vertex), &Triangle[0].color);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
    }
};

Ours& ours() {
    static Ours* o = new Ours;
    return *o;
}
Ours& oursSized() {
    static Ours* o = new Ours(true);
    return *o;
}

// The limit of a presented frame: a window of the frame's size and the device's depth
// format, cleared and swapped, nothing else.
struct RawWindow {
    SDL_Window* win = nullptr;
    SDL_GLContext context = nullptr;
    RawWindow() {
        bench::InitVideo();
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
        // Beside our windows, not over them: on an X server a covered window's swap copies
        // only what shows, so stacked windows made whichever lay below the faster one.
        win = SDL_CreateWindow("raw", W + 16, 0, W, H, SDL_WINDOW_OPENGL);
        context = SDL_GL_CreateContext(win);
        SDL_GL_MakeCurrent(win, context);
        SDL_GL_SetSwapInterval(0);
        glViewport(0, 0, W, H);
        glEnable(GL_DEPTH_TEST);
    }
};
RawWindow& rawWindow() {
    static RawWindow* r = new RawWindow;
    return *r;
}
Raw& raw() {
    static Raw* r = new Raw;
    return *r;
}

// Empty frames, cleared and presented.
void PresentFrames(benchmark::State& state, render::Device& d) {
    for (auto _ : state) {
        d.BeginScene();
        d.Clear(render::kClearTarget | render::kClearDepth, 0xFF203040u, 1.0f, 0);
        d.EndScene();
        d.Present();
        glFinish();
    }
}

void BM_Frame_Ours(benchmark::State& state) {
    bench::InitVideo();
    PresentFrames(state, *ours().device);
}

void BM_Frame_Raw(benchmark::State& state) {
    bench::InitVideo();
    Raw& r = raw();
    r.Use();
    for (auto _ : state) {
        glBindFramebuffer(GL_FRAMEBUFFER, r.frame);
        glClearColor(0.125f, 0.19f, 0.25f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, r.frame);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glBlitFramebuffer(0, 0, W, H, 0, 0, W, H, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        SDL_GL_SwapWindow(r.win);
        glFinish();
    }
}

// A whole presented frame on a drawable of the frame's size, against the window's own
// back buffer cleared and swapped.
void BM_Presented_Ours(benchmark::State& state) {
    bench::InitVideo();
    render::Device& d = *oursSized().device;
    PresentFrames(state, d);
    // 1 where the frames went straight into the window's buffer.
    state.counters["into_window"] = d.IsDrawingIntoWindow() ? 1 : 0;
}

void BM_Presented_RawClearSwap(benchmark::State& state) {
    RawWindow& r = rawWindow();
    SDL_GL_MakeCurrent(r.win, r.context);
    for (auto _ : state) {
        glClearColor(0.125f, 0.19f, 0.25f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        SDL_GL_SwapWindow(r.win);
        glFinish();
    }
}

void BM_Lock_Ours(benchmark::State& state) {
    bench::InitVideo();
    render::Device& d = *ours().device;
    render::LockedRect locked;
    for (auto _ : state) {
        d.LockBackBuffer(render::Rect{0, 0, W, H}, locked);
        static_cast<uint8_t*>(locked.bits)[0] ^= 1;
        d.UnlockBackBuffer();
        glFinish();
    }
}

void BM_Lock_Raw(benchmark::State& state) {
    bench::InitVideo();
    Raw& r = raw();
    r.Use();
    for (auto _ : state) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, r.frame);
        glReadPixels(0, 0, W, H, GL_BGRA, GL_UNSIGNED_BYTE, r.pixels.data());
        r.pixels[0] ^= 1;
        glBindTexture(GL_TEXTURE_2D, r.uploadTexture);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, W, H, GL_BGRA, GL_UNSIGNED_BYTE, r.pixels.data());
        glBindFramebuffer(GL_READ_FRAMEBUFFER, r.uploadFrame);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, r.frame);
        glBlitFramebuffer(0, 0, W, H, 0, 0, W, H, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glFinish();
    }
}

void BM_Draws_Ours(benchmark::State& state) {
    bench::InitVideo();
    render::Device& d = *ours().device;
    for (auto _ : state) {
        d.BeginScene();
        for (int i = 0; i < Draws; ++i) {
            d.SetTransform(render::TransformKind::World, Translation(i));
            d.DrawUserPrimitives(render::PrimitiveType::TriangleList, 1,
                                 render::kVertexPosition | render::kVertexDiffuse, Triangle, sizeof(Vertex));
        }
        d.EndScene();
        glFinish();
    }
}

void BM_Draws_Raw(benchmark::State& state) {
    bench::InitVideo();
    Raw& r = raw();
    r.Use();
    glBindFramebuffer(GL_FRAMEBUFFER, r.frame);
    for (auto _ : state) {
        for (int i = 0; i < Draws; ++i) {
            const render::Matrix m = Translation(i);
            glLoadMatrixf(m.data());
            glDrawArrays(GL_TRIANGLES, 0, 3);
        }
        glFinish();
    }
}

}  // namespace

BENCHMARK(BM_Frame_Ours)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Frame_Raw)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Presented_Ours)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Presented_RawClearSwap)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Lock_Ours)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Lock_Raw)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Draws_Ours)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Draws_Raw)->Unit(benchmark::kMicrosecond)->UseRealTime();
