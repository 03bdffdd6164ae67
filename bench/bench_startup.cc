// The game's start-up in process, against a raw SDL window with a GL context that clears
// and presents once; and frames of the start-up scene through the observer's RunFrame
// (sleep 0) against raw clear-and-present frames, as median and 99th percentile; each
// frame waits for the GL work it queued (glFinish), so deferred drawing is counted.
// Built into bench/startup/ so that its home: is the build directory, as the game's is.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "BenchGl.h"
#include "app/AppMain.h"
#include "logic/nBaseObserver.h"

namespace {

using Clock = std::chrono::steady_clock;

// Both sides find SDL's video started, so neither pays for the driver's start.
struct VideoHeld {
    VideoHeld() { bench::InitVideo(); }
} videoHeld;

void BM_StartToFirstFrame(benchmark::State& state) {
    for (auto _ : state) {
        AppMain app;
        app.Build();
        app.OpenDisplay();
        state.PauseTiming();
        app.Shutdown();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartToFirstFrame)->Unit(benchmark::kMillisecond)->Iterations(5);

// Up to the loading screen: the start scripts included.
void BM_StartToLoadingScreen(benchmark::State& state) {
    for (auto _ : state) {
        AppMain app;
        app.Start();
        state.PauseTiming();
        app.Shutdown();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartToLoadingScreen)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_RawFirstFrame(benchmark::State& state) {
    for (auto _ : state) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
        SDL_Window* win = SDL_CreateWindow("raw", 0, 0, 800, 600, SDL_WINDOW_OPENGL);
        SDL_GLContext ctx = SDL_GL_CreateContext(win);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        SDL_GL_SwapWindow(win);
        state.PauseTiming();
        SDL_GL_DeleteContext(ctx);
        SDL_DestroyWindow(win);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RawFirstFrame)->Unit(benchmark::kMillisecond)->Iterations(5);

constexpr int kFrames = 1000;

// Median and 99th percentile of the frame times, in microseconds, as counters.
void Report(benchmark::State& state, std::vector<double>& us) {
    std::sort(us.begin(), us.end());
    double median = us[us.size() / 2];
    double p99 = us[std::min(us.size() - 1, us.size() * 99 / 100)];
    state.counters["median_us"] = median;
    state.counters["p99_us"] = p99;
    state.counters["p99_per_median"] = p99 / median;
}

void BM_StartupSceneFrames(benchmark::State& state) {
    AppMain app;
    app.Start();
    nBaseObserver* observer = app.GetObserver();
    observer->SetSleep(0.0f);
    observer->ResetTime();
    std::vector<double> us;
    us.reserve(kFrames);
    for (auto _ : state) {
        us.clear();
        for (int i = 0; i < kFrames; i++) {
            auto t0 = Clock::now();
            observer->RunFrame();
            glFinish();
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
    }
    Report(state, us);
}
BENCHMARK(BM_StartupSceneFrames)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_RawClearPresentFrames(benchmark::State& state) {
    std::vector<double> us;
    for (auto _ : state) bench::RawClearPresentFrames(kFrames, us);
    Report(state, us);
}
BENCHMARK(BM_RawClearPresentFrames)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
