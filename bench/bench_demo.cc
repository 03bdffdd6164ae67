// Level 1 as the player meets it: the game started as the game starts (start-up, start
// scripts, the archives of the build tree mounted as home:), a new game begun as the main
// menu's "Neues Spiel" begins it, then 300 frames through the observer's RunFrame (sleep 0,
// a fixed 1/30 s clock, the heads-up display on), each waiting for its GL work; against 300
// frames of a raw window cleared and presented, in the same run. Reports both medians and
// their ratio, and the allocations a frame makes on the game's thread. Also the game's own
// display presenting empty frames (the graphics server's begin and end of a scene: a clear
// and a present) against the same raw window cleared and presented. And the whole frame
// against its own GL calls: at the places of bench/frame_replay/, one frame's calls are
// recorded and replayed from memory, interleaved with the game's frames; the replay's
// picture must match the recorded frame's at probe pixels. Built into bench/demo/ so that
// its home: is the build directory, as the game's is.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "BenchGl.h"
#include "bench/BenchAllocations.h"
#include "app/AppMain.h"
#include "gfx/nD3D8Server.h"
#include "kernel/nKernelServer.h"
#include "kernel/nScriptServer.h"
#include "kernel/nTimeServer.h"
#include "logic/nBaseObserver.h"
#include "platform/render/Device.h"
#include "platform/render/GlRecorder.h"

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
    double allocations = 0.0;
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
        const long before = bench::threadAllocations;
        if (!TimeFrames(kFrames, game, [observer] { return observer->RunFrame(); }))
            state.SkipWithError("the frame loop ended");
        allocations = double(bench::threadAllocations - before) / kFrames;
        ks->GetTimeServer()->LockDeltaT(0.0);
        state.PauseTiming();
        app.Shutdown();
        state.ResumeTiming();
    }
    Report(state, game, raw);
    // C++ allocations a frame makes on the game's thread: 0 in a steady frame.
    state.counters["allocs_per_frame"] = allocations;
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

// The places of bench/frame_replay/: scripts that define bench_place_frame(frame).
const char* const kPlaces[] = {"start", "busy", "inventory"};

bool RunPlaceFrame(nKernelServer* ks, nBaseObserver* observer, int frame) {
    const char* result = nullptr;
    const std::string call = "if bench_place_frame then bench_place_frame(" + std::to_string(frame) + ") end";
    if (!RunLua(ks, call.c_str(), result)) return false;
    // Game states set a sleep again; the measured frames have none.
    observer->SetSleep(0.0f);
    return true;
}

// The window's picture at a grid of 8 x 6 probes, as 0xAARRGGBB words.
std::vector<uint32_t> Probes(int w, int h) {
    std::vector<uint32_t> probes;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    for (int r = 0; r < 6; r++) {
        for (int c = 0; c < 8; c++) {
            uint32_t p = 0;
            glReadPixels(int((c + 0.5) * w / 8), h - 1 - int((r + 0.5) * h / 6), 1, 1, GL_BGRA, GL_UNSIGNED_BYTE, &p);
            probes.push_back(p);
        }
    }
    return probes;
}

int ProbesDiffering(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    int differ = 0;
    for (size_t i = 0; i < a.size(); i++) {
        for (int shift = 0; shift < 24; shift += 8) {
            if (std::abs(int((a[i] >> shift) & 0xFF) - int((b[i] >> shift) & 0xFF)) > 2) {
                differ++;
                break;
            }
        }
    }
    return differ;
}

// The game's frame at a place against one of its frames' GL calls replayed from memory:
// blocks of each in turn, every frame waiting for its GL work.
void BM_FrameReplay(benchmark::State& state) {
    constexpr int kWarmup = 200, kBlocks = 20, kBlock = 25;
    const char* place = kPlaces[state.range(0)];
    state.SetLabel(place);
    std::vector<double> ours, replayed;
    std::string refusal;
    int differ = 0;
    size_t calls = 0;
    double allocations = 0.0;
    for (auto _ : state) {
        std::ifstream file(std::string(BW_SOURCE_DIR) + "/bench/frame_replay/" + place + ".n");
        std::stringstream text;
        text << file.rdbuf();
        AppMain app;
        app.Start();
        nKernelServer* ks = app.GetKernel();
        nBaseObserver* observer = app.GetObserver();
        auto* gfx = static_cast<nD3D8Server*>(ks->Lookup("/sys/servers/gfx"));
        const char* result = nullptr;
        if (!file || !gfx || !gfx->GetDevice() || !RunLua(ks, text.str().c_str(), result)) {
            state.SkipWithError("the place did not set up");
            break;
        }
        ks->GetTimeServer()->LockDeltaT(kStep);
        int frame = 0;
        bool ok = true;
        for (; ok && frame < kWarmup; frame++) ok = RunPlaceFrame(ks, observer, frame + 1) && observer->RunFrame();
        // A frame that makes or deletes GL objects cannot be replayed: the next one is taken.
        render::GlRecording recording;
        for (int tries = 0; ok && tries < 10 && !recording.IsComplete(); tries++, frame++) {
            ok = RunPlaceFrame(ks, observer, frame + 1);
            render::GlRecorder::Begin(recording);
            ok = observer->RunFrame() && ok;
            render::GlRecorder::End();
            glFinish();
        }
        if (!ok || !recording.IsComplete()) {
            refusal = "no frame could be recorded: " + recording.GetRefusal();
            state.SkipWithError(refusal.c_str());
            break;
        }
        calls = recording.GetCallCount();
        render::Device* device = gfx->GetDevice();
        const int w = device->GetPresentParameters().backBufferWidth;
        const int h = device->GetPresentParameters().backBufferHeight;
        const std::vector<uint32_t> recorded = Probes(w, h);
        recording.Replay();
        glFinish();
        differ = ProbesDiffering(recorded, Probes(w, h));
        device->ForgetBindings();
        ours.clear();
        replayed.clear();
        ours.reserve(kBlocks * kBlock);
        replayed.reserve(kBlocks * kBlock);
        long frameAllocations = 0;
        for (int block = 0; ok && block < kBlocks; block++) {
            for (int i = 0; ok && i < kBlock; i++, frame++) {
                ok = RunPlaceFrame(ks, observer, frame + 1);
                const long before = bench::threadAllocations;
                auto t0 = Clock::now();
                ok = observer->RunFrame() && ok;
                glFinish();
                const auto t1 = Clock::now();
                frameAllocations += bench::threadAllocations - before;
                ours.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
            }
            for (int i = 0; i < kBlock; i++) {
                auto t0 = Clock::now();
                recording.Replay();
                glFinish();
                replayed.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
            }
            // The replay left GL's bindings as the recorded frame did.
            device->ForgetBindings();
        }
        if (!ok) state.SkipWithError("the frame loop ended");
        allocations = ours.empty() ? 0.0 : double(frameAllocations) / double(ours.size());
        ks->GetTimeServer()->LockDeltaT(0.0);
        state.PauseTiming();
        app.Shutdown();
        state.ResumeTiming();
    }
    if (ours.empty() || replayed.empty()) return;
    const double oursMin = *std::min_element(ours.begin(), ours.end());
    const double replayMin = *std::min_element(replayed.begin(), replayed.end());
    const double oursMedian = bench::Median(ours), replayMedian = bench::Median(replayed);
    state.counters["median_us"] = oursMedian;
    state.counters["replay_median_us"] = replayMedian;
    state.counters["median_ratio"] = oursMedian / replayMedian;
    state.counters["min_ratio"] = oursMin / replayMin;
    state.counters["probes_differing"] = differ;
    state.counters["calls"] = double(calls);
    state.counters["allocs_per_frame"] = allocations;
}
BENCHMARK(BM_FrameReplay)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
