// What a hostile save costs the frame: level 1 started as the main menu starts it, then
// loaded from a quick save as F9 loads it, 300 frames through the observer's RunFrame
// (sleep 0, a fixed 1/30 s clock), each waiting for its GL work. The baseline is the
// level's own quick save; the same save with a hundred timers that each loop 1.5 million
// steps and one that never ends is measured in the same run, and so is the save with a
// timer whose few instructions cause much engine work (a movie switched off and on two
// thousand times). Reports the medians, the ratios of the frame rates, and the most
// instructions data's text took in one frame.
// Built into bench/demo/ beside bench_demo, so that its home: is the build directory.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "BenchGl.h"
#include "app/AppMain.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nScriptServer.h"
#include "kernel/nTimeServer.h"
#include "logic/nBaseObserver.h"
#include "script/nLuaServer2.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kFrames = 300;
constexpr int kSettle = 30;
constexpr int kBusyTimers = 100;

struct VideoHeld {
    VideoHeld() {
        setenv("ALSOFT_DRIVERS", "null", 0);
        bench::InitVideo();
    }
} videoHeld;

bool RunLua(nKernelServer* ks, const std::string& text, const char*& result) {
    return static_cast<nScriptServer*>(ks->Lookup("/sys/servers/script"))->Run(text.c_str(), result);
}

// The level's store given the busy timers and the endless one, appended to a quick save.
std::string HostileTimers() {
    std::string text = "sel('level1')\nseti('timercount', " + std::to_string(kBusyTimers + 1) + ")\n";
    for (int i = 0; i <= kBusyTimers; i++) {
        const std::string key = "timer_" + std::to_string(i) + "_";
        text += "sets('" + key + "name', 't" + std::to_string(i) + "')\nsets('" + key + "type', 'loop')\n" +
                "sets('" + key + "script', '" + (i ? "for i = 1, 1500000 do end" : "while true do end") + "')\n" +
                "setf('" + key + "time', 0.01)\nsetf('" + key + "starttime', 0)\n";
    }
    return text + "up()\n";
}

// The level's store given a timer that switches the status bar's movie off and on.
std::string EngineWorkTimer() {
    return "sel('level1')\nseti('timercount', 1)\nsets('timer_0_name', 'flicker')\nsets('timer_0_type', 'loop')\n"
           "sets('timer_0_script', \"local s = obj('/usr/logic/uwmenu/statusbar') "
           "for i = 1, 2000 do s.setactive(false) s.setactive(true) end\")\n"
           "setf('timer_0_time', 0.01)\nsetf('timer_0_starttime', 0)\nup()\n";
}

// F9's function, then frames until the load has settled; then `frames` frames timed, and
// the most data's text spent in one of them.
bool LoadAndTime(nKernelServer* ks, nBaseObserver* observer, std::vector<double>& us, long long& spent) {
    const char* result = nullptr;
    if (!RunLua(ks, "schnellladen() return obj('/sys/servers/observer').getlevel()", result) || !result ||
        std::strcmp(result, "level1") != 0) {
        return false;
    }
    auto* script = static_cast<nLuaServer2*>(ks->Lookup("/sys/servers/script"));
    for (int i = 0; i < kSettle; i++) observer->RunFrame();
    observer->SetSleep(0.0f);
    us.clear();
    spent = 0;
    for (int i = 0; i < kFrames; i++) {
        auto t0 = Clock::now();
        if (!observer->RunFrame()) return false;
        glFinish();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        spent = std::max(spent, script->FrameSpent());
    }
    return true;
}

void BM_HostileSaveFrames(benchmark::State& state) {
    std::vector<double> plain, hostile, engine;
    long long plainSpent = 0, hostileSpent = 0, engineSpent = 0;
    const fs::path dir = fs::temp_directory_path() / ("bw_bench_datatime_" + std::to_string(getpid()));
    for (auto _ : state) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        AppMain app;
        app.Start();
        nKernelServer* ks = app.GetKernel();
        ks->GetFileServer<nFileServer2>()->SetAssign("save", (dir.string() + "/").c_str());
        const char* result = nullptr;
        nBaseObserver* observer = app.GetObserver();
        ks->GetTimeServer()->LockDeltaT(1.0 / 30.0);
        // What "Neues Spiel" and F5 run.
        bool ok = RunLua(ks, "neuesspiel()", result);
        for (int i = 0; ok && i < kSettle; i++) observer->RunFrame();
        ok = ok && RunLua(ks, "schnellspeichern()", result) && fs::exists(dir / "schnellspeicher.n");
        ok = ok && LoadAndTime(ks, observer, plain, plainSpent);
        std::string save;
        if (ok) {
            std::ifstream in(dir / "schnellspeicher.n", std::ios::binary);
            save.assign(std::istreambuf_iterator<char>(in), {});
            std::ofstream(dir / "schnellspeicher.n", std::ios::app) << "\n" << HostileTimers();
            ok = LoadAndTime(ks, observer, hostile, hostileSpent);
        }
        if (ok) {
            std::ofstream(dir / "schnellspeicher.n", std::ios::binary | std::ios::trunc) << save << "\n" << EngineWorkTimer();
            ok = LoadAndTime(ks, observer, engine, engineSpent);
        }
        if (!ok) state.SkipWithError("level 1 did not start, save or load from the menu's functions");
        ks->GetTimeServer()->LockDeltaT(0.0);
        state.PauseTiming();
        app.Shutdown();
        state.ResumeTiming();
    }
    fs::remove_all(dir);
    if (plain.empty() || hostile.empty() || engine.empty()) return;
    const double plainMedian = bench::Median(plain), hostileMedian = bench::Median(hostile);
    state.counters["plain_median_us"] = plainMedian;
    state.counters["hostile_median_us"] = hostileMedian;
    // Frames a second with the hostile save over those with the plain one.
    state.counters["fps_hostile_per_plain"] = plainMedian / hostileMedian;
    state.counters["plain_max_data_instructions"] = double(plainSpent);
    state.counters["hostile_max_data_instructions"] = double(hostileSpent);
    const double engineMedian = bench::Median(engine);
    state.counters["engine_work_median_us"] = engineMedian;
    state.counters["fps_engine_work_per_plain"] = plainMedian / engineMedian;
    state.counters["engine_work_max_data_instructions"] = double(engineSpent);
}
BENCHMARK(BM_HostileSaveFrames)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
