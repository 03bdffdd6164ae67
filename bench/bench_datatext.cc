// What data's text costs a frame of level 1, started as "Neues Spiel" starts it: each of
// the attack's vectors against the plain level in the same run, 200 frames each through
// the observer's RunFrame (sleep 0, a fixed 1/30 s clock), each waiting for its GL work.
// A timer's text runs once a frame in that frame's share, as a timer's does; a loose movie
// (a menu's draw, a HUD's value handler heard four times a frame, a text or pictures at a
// size that changes each frame) runs through the host the game gives movies, once a frame.
// Reports the fps ratios (vector over plain). Then a loose heads-up movie that spends the whole
// share each frame (a value handler heard under 64 names) against the plain level, on an idle
// core and beside one and three busy loops of the benchmark's own: run pinned to one core
// (taskset -c N), the loops take the core from the game as other programs would, and data's
// share, measured against the game's own processor time, grows no larger. A second benchmark sets the person's own
// library calls (not charged) against the guards' old way (every call priced, the charge
// ignored) and against the bare library, in one run; a third the run clock's read against
// the raw read of the thread's processor time; a fourth the game's start to its first frame
// with a loose main menu against the shipped one.
// Built into bench/demo/ beside bench_demo, so that its home: is the build directory.
#include <benchmark/benchmark.h>
#include <lua.hpp>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "BenchGl.h"
#include "app/AppMain.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nScriptServer.h"
#include "kernel/nTimeServer.h"
#include "logic/nBaseObserver.h"
#include "platform/flash/MovieModule.h"
#include "platform/luaguard/LuaGuards.h"
#include "platform/system/RunClock.h"
#include "platform/system/System.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFrames = 200;
constexpr int kSettle = 30;

struct VideoHeld {
    VideoHeld() {
        setenv("ALSOFT_DRIVERS", "null", 0);
        bench::InitVideo();
    }
} videoHeld;

const std::string Big = "local s = string.rep(string.rep('a', 1000), 1400) local it = string.gmatch(s, '^') ";

nScriptServer* Script(nKernelServer* ks) { return static_cast<nScriptServer*>(ks->Lookup("/sys/servers/script")); }

// A loose movie played through the host that the game gives its movies (its share, its
// time, data's memory bound), reading `files` by name.
std::unique_ptr<flash::MovieModule> LooseMovie(const std::map<std::string, std::string>& files) {
    flash::MovieHost host = flash::MovieHost::Default();
    host.readFile = [files](const std::string& path, std::string& bytes) {
        const size_t slash = path.rfind('/');
        auto found = files.find(slash == std::string::npos ? path : path.substr(slash + 1));
        if (found == files.end()) return false;
        bytes = found->second;
        return true;
    };
    host.log = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
    auto movie = std::make_unique<flash::MovieModule>(host);
    if (movie->AttachWindow(0) < 0 || movie->Initialize(0, 1) < 0 || movie->LoadMovie("flash/loose.movie") < 0 ||
        movie->Play() < 0) {
        return nullptr;
    }
    return movie;
}

// A picture of `side` x `side` pixels, as a 24-bit BMP.
std::string Picture(int side) {
    const uint32_t row = uint32_t(side) * 3, size = 54 + row * uint32_t(side);
    std::string b(size, '\x40');
    auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; i++) b[at + i] = char(v >> (8 * i));
    };
    b[0] = 'B', b[1] = 'M';
    put(2, size, 4), put(6, 0, 4), put(10, 54, 4), put(14, 40, 4), put(18, uint32_t(side), 4), put(22, uint32_t(side), 4);
    put(26, 1, 2), put(28, 24, 2), put(30, 0, 4), put(34, 0, 4), put(38, 0, 16);
    return b;
}

const std::string Marker = std::string(flash::MovieModule::Marker) + "\n";

// kFrames frames, each with `perFrame` after the observer's: their median in microseconds.
template <typename F>
double MedianFrame(nBaseObserver* observer, F perFrame) {
    std::vector<double> us;
    for (int i = 0; i < kFrames; i++) {
        const auto t0 = Clock::now();
        observer->RunFrame();
        perFrame();
        glFinish();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    return bench::Median(us);
}

// Threads that keep the cores they may run on busy, as other programs' work does: each spins
// until the set is gone, and for two minutes at most, so none outlives a run that ends early.
struct BusyLoops {
    explicit BusyLoops(int count) {
        for (int i = 0; i < count; i++) {
            threads.emplace_back([this] {
                const auto end = Clock::now() + std::chrono::minutes(2);
                while (!quit.load(std::memory_order_relaxed) && Clock::now() < end) {
                }
            });
        }
    }
    ~BusyLoops() {
        quit = true;
        for (std::thread& t : threads) t.join();
    }
    std::atomic<bool> quit{false};
    std::vector<std::thread> threads;
};

// A loose heads-up movie whose value handler is cheap in time but heard under 64 names a
// frame: its handlers run until the frame's share is spent, the rest wait for the next frame,
// so that it spends the whole share every frame without a call past its time.
const std::string SpendingHud =
    "n = 0\n"
    "function on_value(name) for i = 1, 5000 do n = n + i end end\n"
    "function draw() rect(0, 0, 100, 20, 1, 1, 1, 1) end\n";

// The plain level and the spending heads-up movie beside `loops` busy loops: their fps ratio.
double SpendingShareRatio(nBaseObserver* observer, int loops, double& runTimeMs) {
    BusyLoops busy(loops);
    for (int i = 0; i < kSettle; i++) observer->RunFrame();
    const double plain = MedianFrame(observer, [] {});
    sys::ForeignTurn turn;
    observer->RunFrame();
    runTimeMs = std::chrono::duration<double, std::milli>(Script(nKernelServer::ks)->ForeignTime(sys::ForeignCall::Draw, turn)).count();
    std::unique_ptr<flash::MovieModule> movie = LooseMovie({{"loose.movie", Marker + SpendingHud}});
    if (!movie) return 0;
    std::vector<uint8_t> picture(800 * 600 * 4);
    std::vector<std::string> names;
    for (int i = 0; i < 64; i++) names.push_back("v" + std::to_string(i));
    int frame = 0;
    auto hud = [&] {
        movie->RunWaiting();
        const std::string value = std::to_string(frame++);
        for (const std::string& name : names) movie->SetVariable(name.c_str(), value.c_str());
        movie->Render(picture.data(), 800, 600, 4);
    };
    for (int i = 0; i < kSettle; i++) {
        observer->RunFrame();
        hud();
    }
    return plain / MedianFrame(observer, hud);
}

void BM_DataTextFrames(benchmark::State& state) {
    struct Vector {
        const char* name;
        std::string text;  // a timer's text; empty for a movie
        std::string movie;  // the loose movie's text
        int values = 0;     // value events a frame
    };
    const Vector vectors[] = {
        {"fps_endless_gmatch_per_plain", Big + "for i = 1, 10000000 do it() end"},
        {"fps_200_gmatch_calls_per_plain", Big + "for i = 1, 200 do it() end"},
        {"fps_capture_gmatch_per_plain", Big + "local c = s:gmatch('(b)') for i = 1, 10000000 do c() end"},
        {"fps_concat_per_plain", Big + "local t = {} for i = 1, 10 do t[i] = s end for i = 1, 1e7 do table.concat(t) end"},
        {"fps_long_compare_per_plain",
         "local s = string.rep(string.rep('x', 1000), 2000) local t = s:sub(1, -2) .. 'x' "
         "while true do local same = s == t end"},
        // A menu movie's draw over 6 MB, which it builds a megabyte a frame: its start and
        // draws keep to the frame's share.
        {"fps_menu_movie_draw_per_plain", "",
         "local parts, s = {}, nil\n"
         "function draw()\n"
         "  if #parts < 6 then parts[#parts + 1] = string.rep('a', 1 << 20) return end\n"
         "  s = s or table.concat(parts)\n"
         "  local it = string.gmatch(s, '^') for i = 1, 100 do it() end\n"
         "end\n"},
        // A HUD movie whose value handler compares 8 MB with a copy of itself, for tens of
        // milliseconds a call, and hears four values a frame; it builds its texts within the
        // frame's share first.
        {"fps_hud_value_handler_per_plain", "",
         "local parts, s, t = {}, nil, nil\n"
         "function on_value(name)\n"
         "  if #parts < 8 then parts[#parts + 1] = string.rep('a', 1 << 20) return end\n"
         "  if not s then s = table.concat(parts) return end\n"
         "  if not t then t = table.concat(parts) return end\n"
         "  for i = 1, 8 do local same = s == t end\n"
         "end\n",
         4},
        {"fps_text_size_each_frame_per_plain", "",
         "local n = 0 local t = ''\nfor c = 32, 126 do t = t .. string.char(c) end\n"
         "function draw() n = n + 1 text(0, 0, t, 495 + n % 18, 1, 1, 1, 1) end\n"},
        // Pictures at sizes of 1,400 that change each frame, with 24 MB of text held beside.
        {"fps_picture_size_each_frame_per_plain", "",
         "local held, n = {}, 0\n"
         "function draw()\n"
         "  n = n + 1 if #held < 24 then held[#held + 1] = string.rep('x', 1 << 20) end\n"
         "  for i = 1, 4 do image('pic.bmp', 0, 0, 1400 + n % 64 + i, 1400) end\n"
         "end\n"},
    };
    for (auto _ : state) {
        AppMain app;
        app.Start();
        nKernelServer* ks = app.GetKernel();
        nBaseObserver* observer = app.GetObserver();
        nScriptServer* script = Script(ks);
        ks->GetTimeServer()->LockDeltaT(1.0 / 30.0);
        const char* result = nullptr;
        if (!script->Run("neuesspiel()", result)) {
            state.SkipWithError("level 1 did not start from the menu's function");
            break;
        }
        for (int i = 0; i < kSettle; i++) observer->RunFrame();
        observer->SetSleep(0.0f);
        const double plain = MedianFrame(observer, [] {});
        state.counters["plain_median_us"] = plain;
        for (const Vector& v : vectors) {
            std::unique_ptr<flash::MovieModule> movie =
                v.movie.empty() ? nullptr : LooseMovie({{"loose.movie", Marker + v.movie}, {"pic.bmp", Picture(256)}});
            if (!v.movie.empty() && !movie) {
                std::fprintf(stderr, "%s: the movie did not load\n", v.name);
                continue;
            }
            std::vector<uint8_t> picture(800 * 600 * 4);
            int frame = 0;
            const double median = MedianFrame(observer, [&] {
                if (!movie) {
                    script->RunDataText(v.text.c_str(), result);
                    return;
                }
                movie->RunWaiting();
                for (int i = 0; i < v.values; i++) {
                    movie->SetVariable(i % 2 ? "sauerstoff" : "gesundheit", std::to_string(frame + i).c_str());
                }
                movie->Render(picture.data(), 800, 600, 4);
                frame++;
            });
            state.counters[v.name] = plain / median;
        }
        const std::pair<int, const char*> loads[] = {{0, "fps_spending_hud_idle_per_plain"},
                                                     {1, "fps_spending_hud_1_busy_loop_per_plain"},
                                                     {3, "fps_spending_hud_3_busy_loops_per_plain"}};
        for (const auto& [loops, name] : loads) {
            double runTimeMs = 0;
            state.counters[name] = SpendingShareRatio(observer, loops, runTimeMs);
            state.counters[std::string(name).substr(0, std::string(name).size() - 10) + "_run_time_ms"] = runTimeMs;
        }
        ks->GetTimeServer()->LockDeltaT(0.0);
        state.PauseTiming();
        app.Shutdown();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DataTextFrames)->Unit(benchmark::kMillisecond)->Iterations(1);

// The person's own text: what the library guards cost it now, against their old way
// (every call priced, the charge ignored) and the bare library. Loops of string calls.
const char* const PersonText =
    "local n = 0 for i = 1, 20000 do local s = ('item_' .. i):upper() n = n + #s:sub(2, 4) "
    "for w in ('a,b,c'):gmatch('[^,]+') do n = n + #w end n = n + #string.format('%d', i) end return n";

double PersonMicroseconds(lua_State* L) {
    const auto t0 = Clock::now();
    luaL_loadstring(L, PersonText);
    lua_call(L, 0, 1);
    lua_pop(L, 1);
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

lua_State* PersonState(int guards) {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    if (guards == 1) luaguard::LuaGuards::Install(L, [](lua_State*, uint64_t) {}, [](lua_State*) { return true; });
    if (guards == 2) luaguard::LuaGuards::Install(L, [](lua_State*, uint64_t) {}, [](lua_State*) { return false; });
    return L;
}

void BM_PersonsLuaCalls(benchmark::State& state) {
    lua_State* bare = PersonState(0);
    lua_State* old = PersonState(1);
    lua_State* now = PersonState(2);
    std::vector<double> bareUs, oldUs, nowUs;
    for (auto _ : state) {
        bareUs.push_back(PersonMicroseconds(bare));
        oldUs.push_back(PersonMicroseconds(old));
        nowUs.push_back(PersonMicroseconds(now));
    }
    state.counters["bare_median_us"] = bench::Median(bareUs);
    state.counters["new_per_old"] = bench::Median(nowUs) / bench::Median(oldUs);
    state.counters["new_per_bare"] = bench::Median(nowUs) / bench::Median(bareUs);
    for (lua_State* L : {bare, old, now}) lua_close(L);
}
BENCHMARK(BM_PersonsLuaCalls)->Unit(benchmark::kMillisecond)->Iterations(30);

// A look at data's run clock (the wall clock less the thread's waits for a core) against the
// raw read of the thread's processor time that the clock used to be.
void BM_RunClockRead(benchmark::State& state) {
    constexpr int Reads = 10000;
    std::vector<double> rawNs, clockNs;
    for (auto _ : state) {
        timespec t{};
        auto t0 = Clock::now();
        for (int i = 0; i < Reads; i++) {
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
            benchmark::DoNotOptimize(t);
        }
        rawNs.push_back(std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / Reads);
        t0 = Clock::now();
        for (int i = 0; i < Reads; i++) benchmark::DoNotOptimize(sys::RunClock::ThreadTime());
        clockNs.push_back(std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / Reads);
    }
    state.counters["raw_ns"] = bench::Median(rawNs);
    state.counters["clock_ns"] = bench::Median(clockNs);
    state.counters["clock_per_raw"] = bench::Median(clockNs) / bench::Median(rawNs);
}
BENCHMARK(BM_RunClockRead)->Unit(benchmark::kMillisecond)->Iterations(20);

// A loose main menu beside the archives, as a modder puts one, against the shipped one in the
// same run: the start (the start scripts, which load the menu, set its values and ask for its
// picture) to the end of the first frame, the process's peak memory meanwhile, and the lines
// the log has about the menu. Reports each start over the plain one and their difference.
std::string SlowMenu() {
    return Marker +
           "local s, t = 'a', 'a'\n"
           "for i = 1, 23 do s = s .. s t = t .. t end\n"
           "local function compare() for i = 1, 3000 do local same = s == t end end\n"
           "function on_value() compare() end\nfunction draw() compare() end\n";
}

std::string LongMenu(size_t bytes) {
    std::string text = Marker;
    text.reserve(bytes + 64);
    for (int i = 0; text.size() < bytes; i++) text += "x" + std::to_string(i) + " = 1\n";
    return text;
}

// Kilobytes of the process's peak memory; written "5" to clear_refs starts it afresh.
long PeakKilobytes() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    long kb = -1;
    for (char line[256]; f && std::fgets(line, sizeof(line), f);) {
        if (std::sscanf(line, "VmHWM: %ld", &kb) == 1) break;
    }
    if (f) std::fclose(f);
    return kb;
}

void ResetPeak() {
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

int MenuLogLines() {
    std::FILE* f = std::fopen((sys::ExecutablePath().substr(0, sys::ExecutablePath().rfind('/')) + "/Brinewick.log").c_str(), "r");
    int lines = 0;
    for (char line[4096]; f && std::fgets(line, sizeof(line), f);) lines += std::strstr(line, "mainmenu") != nullptr;
    if (f) std::fclose(f);
    return lines;
}

void BM_LooseMenuStart(benchmark::State& state) {
    const struct {
        const char* name;
        std::string (*text)();  // null: the shipped menu
    } menus[] = {{"plain", nullptr},
                 {"18mb", [] { return LongMenu(18u << 20); }},
                 {"63mb", [] { return LongMenu(63u << 20); }},
                 {"calls_before_first_frame", SlowMenu}};
    {
        // The first start in a process pays for what every later one finds made.
        AppMain warm;
        warm.Start();
        warm.Shutdown();
    }
    for (auto _ : state) {
        double plain = 0;
        for (const auto& menu : menus) {
            AppMain app;
            app.Build();
            const std::string loose = app.GetKernel()->GetFileServer()->ManglePath("home:flash/mainmenu.movie");
            if (menu.text) {
                // Made and written here, and gone before the start: the peak is the game's.
                const std::string text = menu.text();
                std::filesystem::create_directories(std::filesystem::path(loose).parent_path());
                std::FILE* f = std::fopen(loose.c_str(), "wb");
                if (f) std::fwrite(text.data(), 1, text.size(), f);
                if (!f || std::fclose(f) != 0) {
                    state.SkipWithError("the loose menu could not be written");
                    return;
                }
            }
            ResetPeak();
            const auto t0 = Clock::now();
            app.OpenDisplay();
            app.RunStartScripts();
            app.GetObserver()->SetSleep(0.0f);
            app.GetObserver()->RunFrame();
            glFinish();
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            const long peak = PeakKilobytes();
            if (menu.text) {
                std::remove(loose.c_str());
                std::error_code none;
                std::filesystem::remove(std::filesystem::path(loose).parent_path(), none);  // when empty
            }
            state.PauseTiming();
            app.Shutdown();
            state.ResumeTiming();
            const std::string name = menu.name;
            if (name == "plain") plain = ms;
            state.counters[name + "_start_ms"] = ms;
            state.counters[name + "_peak_mb"] = double(peak) / 1024.0;
            state.counters[name + "_log_lines"] = MenuLogLines();
            if (name != "plain") {
                state.counters[name + "_per_plain"] = ms / plain;
                state.counters[name + "_minus_plain_ms"] = ms - plain;
            }
        }
    }
}
BENCHMARK(BM_LooseMenuStart)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
