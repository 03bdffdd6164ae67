// Level 1 as the player meets it: the game started as the game starts (start-up, start
// scripts, the archives of the build tree mounted as home:), a new game begun as the main
// menu's "Neues Spiel" begins it, then 300 frames through the observer's RunFrame (sleep 0,
// a fixed 1/30 s clock, the heads-up display on), each waiting for its GL work; against 300
// frames of a raw window cleared and presented, in the same run. Reports both medians and
// their ratio. Also the game's own display presenting empty frames (the graphics server's
// begin and end of a scene: a clear and a present) against the same raw window cleared and
// presented. Built into bench/demo/ so that its home: is the build directory, as the game's is.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "BenchGl.h"
#include "app/AppMain.h"
#include "gfx/nD3D8Server.h"
#include "kernel/nKernelServer.h"
#include "kernel/nScriptServer.h"
#include "kernel/nTimeServer.h"
#include "logic/nBaseObserver.h"
#include "platform/render/Device.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFrames = 300;
constexpr double kStep = 1.0 / 30.0;
// The level fades in over 4 s of game time; the frames measured follow it.
constexpr int kFadeFrames = 150;

// The level's sound opens the audio device: headless, it plays into OpenAL Soft's null output.
struct VideoHeld {
    VideoHeld() {
        setenv("ALSOFT_DRIVERS", "null", 0);
        bench::InitVideo();
    }
} videoHeld;

bool RunLua(nKernelServer* ks, const char* text, const char*& result) {
    return static_cast<nScriptServer*>(ks->Lookup("/sys/servers/script"))->Run(text, result);
}

// `frames` frames of `frame` (false ends them early), each waiting for its GL work; their
// times in microseconds go to `us`. False when a frame failed.
template <typename Frame>
bool TimeFrames(int frames, std::vector<double>& us, Frame frame) {
    us.clear();
    us.reserve(size_t(frames));
    for (int i = 0; i < frames; i++) {
        auto t0 = Clock::now();
        if (!frame()) return false;
        glFinish();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    return true;
}

// Both medians and their ratio.
void Report(benchmark::State& state, std::vector<double>& game, std::vector<double>& raw) {
    if (game.empty() || raw.empty()) return;
    const double gameMedian = bench::Median(game), rawMedian = bench::Median(raw);
    state.counters["median_us"] = gameMedian;
    state.counters["raw_median_us"] = rawMedian;
    state.counters["median_per_raw"] = gameMedian / rawMedian;
}

void BM_Level1Frames(benchmark::State& state) {
    std::vector<double> raw, game;
    for (auto _ : state) {
        bench::RawClearPresentFrames(kFrames, raw);

        AppMain app;
        app.Start();
        nKernelServer* ks = app.GetKernel();
        const char* result = nullptr;
        // What a click on "Neues Spiel" runs.
        if (!RunLua(ks, "neuesspiel()", result) || !RunLua(ks, "return obj('/sys/servers/observer').getlevel()", result) ||
            !result || std::strcmp(result, "level1") != 0) {
            state.SkipWithError("level 1 did not start from the main menu's script");
            break;
        }
        nBaseObserver* observer = app.GetObserver();
        ks->GetTimeServer()->LockDeltaT(kStep);
        for (int i = 0; i < kFadeFrames; i++) observer->RunFrame();
        // Starting the level set the game's frame sleep.
        observer->SetSleep(0.0f);
        if (!TimeFrames(kFrames, game, [observer] { return observer->RunFrame(); }))
            state.SkipWithError("the frame loop ended");
        ks->GetTimeServer()->LockDeltaT(0.0);
        state.PauseTiming();
        app.Shutdown();
        state.ResumeTiming();
    }
    Report(state, game, raw);
}
BENCHMARK(BM_Level1Frames)->Unit(benchmark::kMillisecond)->Iterations(1);

// The game started as the game starts, its display as the game opens it; then empty frames
// through the graphics server, each waiting for its GL work.
void BM_GamePresentedFrame(benchmark::State& state) {
    constexpr int kEmptyFrames = 2000;
    std::vector<double> raw, game;
    bool intoWindow = false;
    for (auto _ : state) {
        bench::RawClearPresentFrames(kEmptyFrames, raw);
        AppMain app;
        app.Start();
        auto* gfx = static_cast<nD3D8Server*>(app.GetKernel()->Lookup("/sys/servers/gfx"));
        if (!gfx || !gfx->GetDevice()) {
            state.SkipWithError("the game's display did not open");
            break;
        }
        const bool began = TimeFrames(kEmptyFrames, game, [gfx] {
            if (!gfx->BeginScene()) return false;
            gfx->EndScene();
            return true;
        });
        if (!began) state.SkipWithError("the scene did not begin");
        intoWindow = gfx->GetDevice()->IsDrawingIntoWindow();
        state.PauseTiming();
        app.Shutdown();
        state.ResumeTiming();
    }
    Report(state, game, raw);
    // 1 where the frames went straight into the game's window.
    state.counters["into_window"] = intoWindow ? 1 : 0;
}
BENCHMARK(BM_GamePresentedFrame)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
