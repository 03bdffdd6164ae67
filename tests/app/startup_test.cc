// The game's start-up and shutdown, in process (the tree it builds, the loading screen
// as the first frame with content, the display failure) and as the installed program
// (exit codes, the log beside the executable).
#include "app/AppMain.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/RegisterPackage.h"
#include "collide/nCollideServer2.h"
#include "game/nbwObserver.h"
#include "gfx/nBmpFile.h"
#include "gfx/nD3D8Server.h"
#include "input/nInputServer.h"
#include "kernel/nKernelServer.h"
#include "kernel/nScriptServer.h"
#include "kernel/nWin32LogHandler.h"
#include "logic/nBaseObserver.h"
#include "logic/nCameraServer.h"
#include "logic/nLogicObserverCamera.h"
#include "logic/nPersist.h"
#include "physics/nPhysikServer.h"
#include "platform/render/Device.h"
#include "platform/system/System.h"
#include "platform/window/Window.h"
#include "tests/platform/SdlTestEnvironment.h"

namespace {

namespace fs = std::filesystem;

const auto* const kVideo = ::testing::AddGlobalTestEnvironment(new bwtest::SdlVideoEnvironment);

bool RunLua(nKernelServer* ks, const char* text) {
    const char* result = nullptr;
    return static_cast<nScriptServer*>(ks->Lookup("/sys/servers/script"))->Run(text, result);
}

// The presented frame's pixel at (x, y) of the 800 x 600 display as r, g, b.
struct Rgb {
    int r, g, b;
};
Rgb FrontPixel(nD3D8Server* gfx, int x, int y) {
    std::vector<uint32_t> argb;
    int w = 0, h = 0;
    gfx->GetDevice()->CopyFrontBuffer(argb, w, h);
    uint32_t p = argb[size_t(y) * size_t(w) + size_t(x)];
    return {int((p >> 16) & 0xff), int((p >> 8) & 0xff), int(p & 0xff)};
}
void ExpectNear(Rgb got, Rgb want, const char* where) {
    const int tol = 12;
    EXPECT_NEAR(got.r, want.r, tol) << where;
    EXPECT_NEAR(got.g, want.g, tol) << where;
    EXPECT_NEAR(got.b, want.b, tol) << where;
}

TEST(StartupTest, BuildsTheWorldShowsTheLoadingScreenAndShutsDownAroundDeletedObjects) {
    AppMain app;
    app.Build();
    nKernelServer* ks = app.GetKernel();
    // What the first frame with content shows is read back before anything else draws.
    app.OpenDisplay();
    app.RunStartScripts();
    auto* gfx = static_cast<nD3D8Server*>(ks->Lookup("/sys/servers/gfx"));
    ASSERT_TRUE(gfx->IsDisplayOpen());
    // Probe pixels of the loading image: the lit water at the top, the amber bar, the
    // dark ground at the bottom left.
    ExpectNear(FrontPixel(gfx, 400, 20), {39, 117, 147}, "top");
    ExpectNear(FrontPixel(gfx, 400, 498), {230, 160, 40}, "bar");
    ExpectNear(FrontPixel(gfx, 40, 590), {6, 21, 51}, "bottom");
    EXPECT_EQ(app.GetObserver()->GetNumLoadingScreens(), 1);

    // Every server row stands with its class; the script row named "nluaserver" found the
    // object the first row made, and the logic graph made the logic input server.
    for (int i = 0; i < AppMain::NumServerRows; i++) {
        const AppMain::ServerRow& row = AppMain::ServerRows[i];
        nRoot* obj = ks->Lookup(row.path);
        ASSERT_NE(obj, nullptr) << row.path;
        std::string want = row.className;
        if (want == "nluaserver") want = "nluaserver2";
        EXPECT_STREQ(obj->GetClass()->GetName(), want.c_str()) << row.path;
    }
    ASSERT_NE(ks->Lookup("/sys/servers/logicinput"), nullptr);
    EXPECT_STREQ(ks->Lookup("/sys/servers/logicinput")->GetClass()->GetName(), "nlogicinputserver");
    EXPECT_STREQ(ks->Lookup("/sys/servers/file2")->GetClass()->GetName(), "nnpkfileserver");
    EXPECT_STREQ(ks->Lookup("/usr")->GetClass()->GetName(), "nroot");
    EXPECT_STREQ(ks->Lookup("/usr/logic")->GetClass()->GetName(), "nlogicnode");

    // The camera the first frame looks through.
    auto* camera = static_cast<nLogicObserverCamera*>(ks->Lookup("/usr/logic/observercam"));
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(static_cast<nCameraServer*>(ks->Lookup("/sys/servers/camera"))->GetCurrentCamera(), camera);
    EXPECT_TRUE(camera->GetPickEnable());
    EXPECT_EQ(camera->GetPosition().y, 2.0f);
    EXPECT_EQ(camera->GetPosition().z, 8.0f);

    // Bindings, collision world, window, physics and the observer's settings.
    auto* input = static_cast<nInputServer*>(ks->Lookup("/sys/servers/input"));
    // The game's one mapping pass in "init_bw.n" replaced the seven of start-up.
    for (const char* state : {"watch_on", "watch_off", "reset", "console", "orbit", "dolly", "pan"})
        EXPECT_EQ(input->FindState(state), nullptr) << state;
    EXPECT_NE(input->FindState("f12"), nullptr);
    auto* collide = static_cast<nCollideServer2*>(ks->Lookup("/sys/servers/collide2"));
    EXPECT_EQ(collide->QueryCollClass("triggerzone"), 0);
    EXPECT_EQ(collide->QueryCollClass("bwitems"), 16);
    EXPECT_NE(collide->FindContext("picking"), nullptr);
    vector3 g = static_cast<nPhysikServer*>(ks->Lookup("/sys/servers/physik"))->GetGravity();
    EXPECT_EQ(g.y, -4.0f);
    EXPECT_EQ(gfx->GetWindow()->GetTitle(), "Brinewick");
    EXPECT_TRUE(gfx->IsFullScreen());
    EXPECT_EQ(gfx->GetDisplayWidth(), 800);
    nBaseObserver* observer = app.GetObserver();
    EXPECT_FLOAT_EQ(observer->GetSleep(), 1.0f / 34.0f);
    EXPECT_TRUE(observer->GetGameState(0x4000));
    // The persist tree of "init_bw.n" stands before the first game-state bit, which
    // therefore lands in the stored word instead of a store made on demand.
    ASSERT_NE(ks->Lookup("/usr/persist"), nullptr);
    EXPECT_STREQ(ks->Lookup("/usr/persist")->GetClass()->GetName(), "nroot");
    ASSERT_NE(ks->Lookup("/usr/persist/camp"), nullptr);
    EXPECT_STREQ(ks->Lookup("/usr/persist/camp")->GetClass()->GetName(), "nroot");
    auto* status = static_cast<nPersist*>(ks->Lookup("/usr/persist/gamestatus"));
    ASSERT_NE(status, nullptr);
    ASSERT_TRUE(status->IsA("npersist"));
    // Start-up's bit, then the main menu's of "init_menue.n".
    EXPECT_EQ(status->GetI("gamestate"), 0x4000 | 0x4);
    EXPECT_STREQ(status->GetS("currlevel"), "none");
    EXPECT_STREQ(static_cast<nbwObserver*>(observer)->GetLevel(), "none");
    EXPECT_FALSE(observer->GetGrid());
    ASSERT_NE(ks->Lookup("/usr/repository"), nullptr);

    // A few frames of the loop, then a script removes objects shutdown would release.
    observer->SetSleep(0.0f);
    observer->ResetTime();
    for (int i = 0; i < 3; i++) ASSERT_TRUE(observer->RunFrame());
    ASSERT_TRUE(RunLua(ks, "delete('/usr/logic'); delete('/sys/servers/chat'); delete('/sys/servers/collide')"));
    EXPECT_EQ(app.Shutdown(), 0);
    EXPECT_EQ(app.GetKernel(), nullptr);
}

TEST(StartupTest, NoDisplayModeIsFatalWithTheGermanText) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            AppMain app;
            app.Build();
            // Without the adapters' mode lists no display mode can be set.
            app.GetKernel()->Lookup("/sys/share/display")->Release();
            app.OpenDisplay();
        },
        ::testing::ExitedWithCode(3),
        "Fehler: Konnte kein DirectX Display erstellen.\n Stellen sie sicher das sowohl DirectX 8.1 oder besser "
        "installiert ist,\nund \xC3\xBC"
        "berpr\xC3\xBC"
        "fen sie ob ihre Grafikkarte den Systemvorraussetzungen entspricht!");
}

TEST(StartupTest, AFatalStopTakesTheWindowOutOfFullScreenAndSightBeforeItsBox) {
    // A full-screen window stays above a box, which the player then never sees. SDL tells
    // when the window hides; the box (standard error here) must come after.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            nKernelServer k(RegisterPackage);
            k.SetLogHandler(new nWin32LogHandler("BwFatalWindowTest"));
            std::unique_ptr<window::Window> win = window::Window::Open("fatal", 64, 48);
            SDL_Window* sdl = win->GetSdlWindow();
            SDL_ShowWindow(sdl);
            SDL_SetWindowFullscreen(sdl, SDL_WINDOW_FULLSCREEN_DESKTOP);
            if (!(SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN)) std::_Exit(1);
            SDL_AddEventWatch(
                [](void* target, SDL_Event* e) {
                    if (e->type == SDL_WINDOWEVENT && e->window.event == SDL_WINDOWEVENT_HIDDEN) {
                        const bool full = SDL_GetWindowFlags(static_cast<SDL_Window*>(target)) & SDL_WINDOW_FULLSCREEN;
                        std::fprintf(stderr, "hidden, %s\n", full ? "full screen" : "windowed");
                    }
                    return 0;
                },
                sdl);
            nKernelServer::FatalError("Aborting.");
        },
        ::testing::ExitedWithCode(3), "hidden, windowed\n.*BwFatalWindowTest: Aborting\\.");
    std::remove((fs::path(sys::ExecutablePath()).parent_path() / "BwFatalWindowTest.log").c_str());
}

// ---- the installed program

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A copy of the game in a folder of its own, laid out as an installation.
class InstalledGameTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* src = std::getenv("BW_SOURCE_DIR");
        ASSERT_NE(src, nullptr);
        top = fs::path(testing::TempDir()) / ("bw_game_" + std::to_string(::getpid()));
        fs::remove_all(top);
        home = top / within;
        bin = home / "bin" / "win32";
        // As it ships: bin/win32 (the game, start scripts, icon), the data archives the
        // build packed, and an empty folder for the save games; no loose data folder.
        fs::create_directories(bin);
        fs::create_directories(home / "save");
        fs::copy_file(BW_GAME_EXE, bin / "brinewick");
        fs::copy(fs::path(src) / "data" / "bin" / "win32", bin, fs::copy_options::recursive);
        for (const auto& e : fs::directory_iterator(BW_HOME_DIR)) {
            if (e.path().extension() != ".npk") continue;
            fs::copy_file(e.path(), home / e.path().filename());
            archives.push_back(e.path().filename().string());
        }
        // What an earlier run left in the log must go.
        std::ofstream(bin / "Brinewick.log") << "stale line of an earlier run\n";
    }
    void TearDown() override { fs::remove_all(top); }

    // CPU time in clock ticks that the game's main thread has used (-1 once it is gone).
    static long MainThreadTicks(pid_t pid) {
        std::string stat = Slurp("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/stat");
        // After the name: state, then utime and stime as the 12th and 13th fields.
        std::istringstream fields(stat.substr(std::min(stat.rfind(')') + 2, stat.size())));
        std::vector<std::string> f{std::istream_iterator<std::string>(fields), {}};
        return f.size() > 12 ? std::stol(f[11]) + std::stol(f[12]) : -1;
    }

    // Starts the game, sends it SIGTERM once its log holds `ready` (and, when `busyTicks`
    // is given, once its main thread has run that much CPU time after it) and gives its
    // wait status (its stderr in "err.txt"); the waits are bounded only as a guard.
    int TermOnceLogged(const char* ready, long busyTicks = 0) {
        const pid_t pid = fork();
        if (pid < 0) return -1;
        if (pid == 0) {
            if (!std::freopen((home / "err.txt").c_str(), "w", stderr) || chdir(home.c_str()) != 0) _exit(127);
            execl((bin / "brinewick").c_str(), "brinewick", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 6000 && Slurp(bin / "Brinewick.log").find(ready) == std::string::npos; i++) usleep(10000);
        const long start = MainThreadTicks(pid);
        for (int i = 0; i < 6000 && busyTicks > 0 && start >= 0 && MainThreadTicks(pid) < start + busyTicks; i++) {
            usleep(10000);
        }
        kill(pid, SIGTERM);
        int status = 0, done = 0;
        for (int i = 0; i < 60000 && !(done = waitpid(pid, &status, WNOHANG)); i++) usleep(1000);
        if (!done) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        return status;
    }

    // Runs the game with `env` in front; its exit code (-1 when it did not exit).
    int Run(const std::string& env) {
        std::string cmd = "cd '" + home.string() + "' && " + env + " timeout 120 '" + (bin / "brinewick").string() +
                          "' >'" + (home / "out.txt").string() + "' 2>&1";
        int status = std::system(cmd.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // The menu script counts frames through the script server's per-frame buffer, writes
    // the count beside the game and ends the loop. It opens the main menu and, halfway,
    // runs the game, so the observer switches focus groups that no script has made.
    static constexpr int kFrames = 12;
    void CountFramesAndExit() {
        std::ofstream(bin / "init_menue.n") << "frames = 0\n"
                                               "obj('/sys/servers/observer').setgamestate(4, true)\n"
                                               "function frame()\n"
                                               "  frames = frames + 1\n"
                                               "  if frames == " << kFrames / 2 << " then\n"
                                               "    obj('/sys/servers/observer').setgamestate(4, false)\n"
                                               "    obj('/sys/servers/observer').setgamestate(2, true)\n"
                                               "  end\n"
                                               "  if frames < " << kFrames << " then execbuf('frame()') return end\n"
                                               "  print('frames ' .. frames)\n"
                                               "  exit()\n"
                                               "end\n"
                                               "execbuf('frame()')\n";
    }

    // The installation's folder below the temporary one `top`.
    std::string within = "game";
    fs::path top, home, bin;
    std::vector<std::string> archives;
};

// Installed where the user chose, with capitals in the path.
class InstalledUnderCapitalsTest : public InstalledGameTest {
protected:
    InstalledUnderCapitalsTest() { within = "MyGames/Brinewick"; }
};

TEST_F(InstalledGameTest, RunsFramesUntilAScriptExitsAndLogsTheStartupInOrder) {
    CountFramesAndExit();
    ASSERT_EQ(Run(""), 0) << Slurp(home / "out.txt");
    EXPECT_NE(Slurp(home / "out.txt").find("frames " + std::to_string(kFrames) + "\n"), std::string::npos);

    std::string log = Slurp(bin / "Brinewick.log");
    EXPECT_EQ(log.find("stale line"), std::string::npos);
    // The game observer runs from the start on the persist tree of "init_bw.n": nothing
    // stands in, no store is made on demand, and nothing is logged frame after frame;
    // "init_bw.n" makes a node in every focus group the game state switches.
    EXPECT_EQ(log.find("stands in"), std::string::npos) << log;
    EXPECT_EQ(log.find("making missing"), std::string::npos) << log;
    std::map<std::string, int> seen;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        // A line that came again soon is written once with its count.
        int times = 1;
        const size_t counted = line.rfind(" (repeated ");
        if (counted != std::string::npos && line.back() == ')') {
            times = std::atoi(line.c_str() + counted + 11);
            line.erase(counted);
        }
        EXPECT_LT(seen[line] += times, kFrames) << "logged every frame: " << line;
    }
    EXPECT_EQ(seen["nbwObserver: no input focus group 'mainmenu'"], 0) << log;
    EXPECT_EQ(seen["nbwObserver: no input focus group 'diver'"], 0) << log;
    size_t at = 0;
    ASSERT_FALSE(archives.empty());
    std::vector<std::string> order = {"kernel and log handler", "file server nnpkfileserver at /sys/servers/file2, " +
                                                                    std::to_string(archives.size()) + " archives"};
    for (int i = 0; i < AppMain::NumServerRows; i++)
        order.push_back(std::string("server ") + AppMain::ServerRows[i].className + " at " + AppMain::ServerRows[i].path);
    for (const char* s : {"input mappings", "collision contexts, classes and types", "logic root and observer camera",
                          "clear colour, gravity, window title", "window icon", "display open",
                          "observer camera current", "first frame presented", "script bin:init_bw.n",
                          "loading screen /usr/loadingscreen", "script bin:init_repository.n", "game state 0x4000",
                          "script bin:init_menue.n", "frame sleep 1/34 s", "main loop", "main loop ended", "shutdown"})
        order.push_back(s);
    // The tools stand only once F12 made them.
    for (int i = 1; i < AppMain::NumReleaseOrder; i++) order.push_back(std::string("release ") + AppMain::ReleaseOrder[i]);
    order.push_back("kernel");
    for (const std::string& line : order) {
        size_t pos = log.find("AppMain: " + line + "\n", at);
        ASSERT_NE(pos, std::string::npos) << "missing or out of order: " << line << "\n" << log;
        at = pos + 1;
    }
}

TEST_F(InstalledUnderCapitalsTest, TheWindowIconLoads) {
    // The engine's paths are lower-cased: read by that path, the icon is not found.
    CountFramesAndExit();
    ASSERT_EQ(Run(""), 0) << Slurp(home / "out.txt");
    EXPECT_NE(Slurp(home / "out.txt").find("frames " + std::to_string(kFrames) + "\n"), std::string::npos);
    const std::string log = Slurp(bin / "Brinewick.log");
    EXPECT_NE(log.find("AppMain: window icon\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("no window icon"), std::string::npos) << log;
    EXPECT_EQ(Slurp(home / "out.txt").find("SetIcon"), std::string::npos) << Slurp(home / "out.txt");
}

// An archive cut short is not mounted: what it held is missing, which is logged where
// it is read, and the game still starts, runs and ends as usual.
TEST_F(InstalledGameTest, AnArchiveCutShortIsNotMountedAndTheGameStillRuns) {
    const fs::path textures = home / "textures.npk";
    ASSERT_TRUE(fs::exists(textures));
    fs::resize_file(textures, fs::file_size(textures) / 2);
    CountFramesAndExit();
    ASSERT_EQ(Run(""), 0) << Slurp(home / "out.txt");
    EXPECT_NE(Slurp(home / "out.txt").find("frames " + std::to_string(kFrames) + "\n"), std::string::npos);
    const std::string log = Slurp(bin / "Brinewick.log");
    EXPECT_NE(log.find("file server nnpkfileserver at /sys/servers/file2, " + std::to_string(archives.size() - 1) +
                       " archives\n"),
              std::string::npos)
        << log;
    // The loading screen's picture was in it.
    EXPECT_NE(log.find("texture 'home:textures/loadingscreen.png' does not load"), std::string::npos) << log;
    EXPECT_NE(log.find("AppMain: main loop ended"), std::string::npos);
}

// Level 1 without X: the installed game with the real main-menu script followed by an
// autoplay of the game's own commands (a new game, the diver swimming, a screenshot,
// exit) exits 0, and its picture shows the level.
TEST_F(InstalledGameTest, AnAutoplayedLevelOneExitsCleanlyAndItsScreenshotShowsTheLevel) {
    const fs::path src = fs::path(std::getenv("BW_SOURCE_DIR")) / "data";
    std::ofstream menu(bin / "init_menue.n");
    menu << Slurp(src / "bin" / "win32" / "init_menue.n")
         << "\n-- autoplay\n"
            "local o = obj('/sys/servers/observer')\n"
            "frames = 0\n"
            "function autoplay()\n"
            "  frames = frames + 1\n"
            "  if frames == 2 then\n"
            "    dofile('home:levels/level1/store.n')\n"
            "    obj('/usr/logic/menu/menu_manager').setactive(false)\n"
            "    obj('/sys/servers/logicinput').setgroupfocus('mainmenu', false)\n"
            "    o.setgamestate(4, false)\n"
            "    o.setgamestate(2, true)\n"
            "    o.startlevel('level1')\n"
            "  elseif frames > 2 and frames < 30 then\n"
            "    obj('/usr/logic/level1/diver1').playmove('forward', 'auto', 1)\n"
            "  elseif frames == 40 then\n"
            "    obj('/sys/servers/gfx').screenshot('autoplay.bmp')\n"
            "    print('level ' .. o.getlevel())\n"
            "  elseif frames == 41 then\n"
            "    exit()\n"
            "  end\n"
            "  execbuf('autoplay()')\n"
            "end\n"
            "execbuf('autoplay()')\n";
    menu.close();
    ASSERT_EQ(Run("SDL_VIDEODRIVER=offscreen LIBGL_ALWAYS_SOFTWARE=1"), 0) << Slurp(home / "out.txt");
    EXPECT_NE(Slurp(home / "out.txt").find("level level1\n"), std::string::npos);
    EXPECT_EQ(Slurp(bin / "Brinewick.log").find("Aborting"), std::string::npos);

    nBmpFile shot;
    ASSERT_TRUE(shot.Open((home / "autoplay.bmp").string().c_str(), "rb"));
    ASSERT_EQ(shot.GetWidth(), 800);
    ASSERT_EQ(shot.GetHeight(), 600);
    // Pixels as the file stores them (blue, green, red), rows from the top of the screen.
    ASSERT_EQ(shot.GetPixelFormat()->bpp, 24);
    std::vector<std::vector<Rgb>> rows(600);
    int row = 0;
    while (uint8_t* line = shot.ReadLine(row)) {
        std::vector<Rgb>& r = rows[size_t(shot.IsBottomUp() ? 599 - row : row)];
        for (int x = 0; x < 800; x++) r.push_back({line[3 * x + 2], line[3 * x + 1], line[3 * x]});
    }
    for (const std::vector<Rgb>& r : rows) ASSERT_EQ(r.size(), 800u);
    // Blue-green water over the upper quarter, below the status line: the surface seen
    // through the water, lit from above.
    for (int x : {40, 400, 760}) {
        const Rgb p = rows[100][size_t(x)];
        EXPECT_TRUE(p.b - p.r >= 25 && p.g - p.r >= 15 && p.b > 60)
            << "water at " << x << ": " << p.r << " " << p.g << " " << p.b;
    }
    // The sand below the horizon, and the diver's orange suit in the middle where the
    // camera follows it. The game runs on real frame times, so how far the diver swam,
    // and which rock stands where, follows the machine's load: the sand is counted over
    // the bottom band rather than read at one pixel a rock may cover.
    int sand = 0;
    for (int y = 440; y < 600; y += 4) {
        for (int x = 0; x < 800; x += 4) {
            const Rgb p = rows[size_t(y)][size_t(x)];
            if (p.r > p.b + 40) sand++;
        }
    }
    EXPECT_GT(sand, 40 * 200 / 4) << "sand over a quarter of the bottom band: " << sand;
    int orange = 0;
    for (int y = 300; y < 500; y++) {
        for (int x = 300; x < 500; x++) {
            const Rgb p = rows[size_t(y)][size_t(x)];
            if (p.r > 150 && p.g > 50 && p.g < 170 && p.b < 80) orange++;
        }
    }
    EXPECT_GT(orange, 50) << "the diver's suit";
}

// SIGTERM ends the game cleanly while a start script loops for good: the shutdown runs to
// its end, and only then is the exit code 0.
TEST_F(InstalledGameTest, SigtermEndsTheGameWhileAScriptLoops) {
    // log() without its argument puts a line in the log as the loop begins.
    std::ofstream(bin / "init_menue.n") << "log()\nwhile true do end\n";
    const int status = TermOnceLogged("'log' takes 1");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string log = Slurp(bin / "Brinewick.log");
    EXPECT_NE(log.find("stopped: the program is ending"), std::string::npos) << log;
    EXPECT_NE(log.find("AppMain: main loop ended"), std::string::npos) << log;
    EXPECT_NE(log.find("AppMain: release /sys/servers/script\nAppMain: kernel\n"), std::string::npos) << log;
}

// A start script stuck in one C call, where no hook reaches (a pattern that backtracks for
// ages; trusted text is not charged): the watchdog ends the game after SIGTERM, and as the
// shutdown did not run, the exit code says so (128 + SIGTERM).
TEST_F(InstalledGameTest, SigtermEndsTheGameWhileCCodeDoesNotReturn) {
    // log() without its argument puts a line in the log just before the C call; the signal
    // comes once the main thread has spent half a second in it.
    std::ofstream(bin / "init_menue.n") << "local s, p = string.rep('a', 60), string.rep('a*', 12) .. 'b'\n"
                                           "log()\nstring.find(s, p)\n";
    const int status = TermOnceLogged("'log' takes 1", sysconf(_SC_CLK_TCK) / 2);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGTERM) << status << Slurp(home / "err.txt");
    EXPECT_EQ(Slurp(bin / "Brinewick.log").find("AppMain: shutdown"), std::string::npos);
}

// A quick save as the object writer writes one, by hand: the game status and level 1's
// store with one timer running `timer`, then `stores` inside the level's store.
static std::string QuickSave(const std::string& timer, const std::string& stores) {
    return "-- ----- $parser:nluaserver2$ $class:nroot$-- ---\n"
           "new('npersist', 'gamestatus')\n  sel('gamestatus')\n  seti( \"gamestate\", 16450 )\n"
           "  sets( \"currlevel\", \"level1\" )\nup()\n"
           "new('npersistlogic', 'level1')\n  sel('level1')\n  sets( \"activediver\", \"diver1\" )\n"
           "  seti( \"timercount\", 1 )\n  sets( \"timer_0_name\", \"t\" )\n  sets( \"timer_0_type\", \"oneshot\" )\n"
           "  sets( \"timer_0_script\", \"" + timer + "\" )\n"
           "  setf( \"timer_0_time\", 0.1 )\n  setf( \"timer_0_starttime\", 0 )\n" + stores + "up()\n";
}

// F9's own function at frame 40, once a loose movie has said its lines, then frames for
// the timers; at frame 100 `report` prints what the test reads and the game exits.
static void AppendF9Hook(const fs::path& bin, const std::string& report) {
    std::ofstream(bin / "init_menue.n", std::ios::app)
        << "\nbwx_frames = 0\n"
           "function bwx_tick()\n"
           "  bwx_frames = bwx_frames + 1\n"
           "  if bwx_frames == 40 then schnellladen() end\n"
           "  if bwx_frames == 100 then\n" << report << "    exit() return\n"
           "  end\n"
           "  execbuf('bwx_tick()')\n"
           "end\n"
           "execbuf('bwx_tick()')\n";
}

// What data leaves behind runs later with the trust of data: a quick save's timer and
// diver's action, a loose movie's lines, the timer one of them plants and the map file
// another names, none of which may write a file, reach a live object by name or replace a
// start script's function. Each tries to write outside the installation.
TEST_F(InstalledGameTest, WhatDataLeavesBehindRunsAsDataAfterF9AndFromAMovie) {
    const fs::path outside = fs::path(testing::TempDir()) / ("bw_outside_" + std::to_string(::getpid()));
    fs::remove_all(outside);
    fs::create_directories(outside);
    const std::string out = outside.string() + "/";
    auto save = [&](const std::string& name) { return "obj('/usr').saveas('" + out + name + "')"; };
    // The level's store also holds a store whose prototype names a server, the diver with
    // a stored action (its quotes in the action's own encoding), and a level told to
    // insert the live game status.
    std::string action = save("pwn_action");
    for (char& c : action) c = c == '\'' ? '\xA7' : c;
    std::ofstream(home / "save" / "schnellspeicher.n")
        << QuickSave(save("pwn_timer"),
                     "  new('npersistlogic', 'evil')\n    sel('evil')\n    sets( \"prototype\", \"/sys/servers/gfx\" )\n"
                     "  up()\n"
                     "  new('npersistlogic', 'diver1')\n    sel('diver1')\n    sets( \"prototype\", \"diver\" )\n"
                     "    setv( \"txyz\", 0, 4, 30, 0 )\n    sets( \"action\", \"" + action + "\" )\n  up()\n"
                     "  new('nbwlevel', 'trick')\n    sel('trick')\n    insertdiver( \"gamestatus\" )\n  up()\n");
    // A loose main menu beside the archives: one line a draw; run as a map it writes too.
    fs::create_directories(home / "flash");
    std::ofstream(home / "flash" / "mainmenu.movie")
        << "--tessel movie 1\n"
           "if not stage then " << save("pwn_map") << " return end\n"
           "stage(800, 600)\n"
           "local lines = {\n"
           "  [[obj('/usr/logic/menu/menu_manager').addtimer('p', 'oneshot', 0, 0.1, \"" << save("pwn_planted") << "\")]],\n"
           "  [[" << save("pwn_line") << "]],\n"
           "  [[obj('/usr').saveas('home:../pwn_up')]],\n"
           "  [[new('nlogiclevel', '/usr/persist/evil') obj('/usr/persist/evil').setmapfile('home:flash/mainmenu.movie') "
           "obj('/usr/persist/evil').loadlevel()]],\n"
           "  [[function schnellladen() " << save("pwn_global") << " end string.format = schnellladen]],\n"
           "}\n"
           "local n = 0\n"
           "function draw() n = n + 1 if lines[n] then Tessel_script = lines[n] end end\n";
    AppendF9Hook(bin, "    print('status ' .. (exists('/usr/persist/gamestatus') and 'kept' or 'gone'))\n"
                      "    print('diver ' .. (exists('/usr/logic/level1/diver1') and 'built' or 'none'))\n"
                      "    print('clone ' .. (exists('/usr/logic/level1/evil') and 'made' or 'none'))\n"
                      "    print('format ' .. string.format('%d', 7))\n");
    ASSERT_EQ(Run(""), 0) << Slurp(home / "out.txt");
    const std::string printed = Slurp(home / "out.txt");
    // The save makes a level and calls its command: it is refused whole, and its timer and
    // action never come to run.
    for (const char* line : {"status kept\n", "diver none\n", "clone none\n", "format 7\n"}) {
        EXPECT_NE(printed.find(line), std::string::npos) << line << printed;
    }
    EXPECT_TRUE(fs::is_empty(outside));
    EXPECT_FALSE(fs::exists(home.parent_path() / "pwn_up.n"));
    // The save makes a level and calls its command: it is refused whole, and its timer and
    // action never run.
    const std::string log = Slurp(bin / "Brinewick.log");
    EXPECT_NE(log.find("schnellspeicher.n' refused: line "), std::string::npos) << log;
    for (const char* name : {"pwn_action", "pwn_timer"}) EXPECT_EQ(log.find(out + name), std::string::npos) << name;
    // Each of the movie's lines ran, and reached no object to write with: they find no
    // "obj" (the log counts the repeats), the level's line no "new", so nothing is planted
    // and no map runs.
    const std::string noObj = "refused to script text that data brought: the global 'obj', neither a pure "
                              "function, print nor a declared entry";
    EXPECT_NE(log.find(noObj + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find(noObj + " (repeated "), std::string::npos) << log;
    EXPECT_NE(log.find("refused to script text that data brought: the global 'new'"), std::string::npos) << log;
    EXPECT_NE(log.find("'format' is in a table that this line may only read"), std::string::npos) << log;
    EXPECT_EQ(log.find("writing '"), std::string::npos) << log;
    fs::remove_all(outside);
}

// The engine is the person's: a quick save's timer and a loose movie's lines that call the
// servers' commands (freeze the frame loop, break the clock, take the logic off the frame,
// close the display, wipe the key map, mount the archives again), make or clone servers or
// fill memory with objects are each refused with a log line, and the game plays on.
TEST_F(InstalledGameTest, DataReachesOnlyTheGameNeverTheEngineAfterF9AndFromAMovie) {
    const std::vector<std::string> vectors = {
        "obj('/sys/servers/time').waitdeltat(1000000)",
        "for i = 1, 1000 do new('nluaserver2', '/usr/lua2_' .. i) end",
        "obj('/sys/servers/script').clone('/scriptclone')",
        "obj('/sys/servers/file2').clone('/fileclone')",
        "obj('/sys/servers/time').settimescale(0/0)",
        "obj('/sys/servers/observer').setlogicroot('/sys/servers')",
        "obj('/sys/servers/gfx').setdisplaymode('w(100000)-h(100000)')",
        "obj('/sys/servers/gfx').closedisplay()",
        "obj('/sys/servers/input').beginmap() obj('/sys/servers/input').endmap()",
        "obj('/sys/servers/file2').parsedirectory('home:')",
        "for i = 1, 90000 do new('nroot', '/usr/m' .. i) end",
        "for i = 1, 90000 do new('nroot', '/usr/persist/m' .. i) end",
    };
    std::string all;
    for (const std::string& v : vectors) all += v + " ";
    std::ofstream(home / "save" / "schnellspeicher.n")
        << QuickSave(all, "  new('npersistlogic', 'diver1')\n    sel('diver1')\n    sets( \"prototype\", \"diver\" )\n"
                          "    setv( \"txyz\", 0, 4, 30, 0 )\n  up()\n");
    fs::create_directories(home / "flash");
    std::ofstream movie(home / "flash" / "mainmenu.movie");
    movie << "--tessel movie 1\nstage(800, 600)\nlocal lines = {\n";
    for (const std::string& v : vectors) movie << "  [[" << v << "]],\n";
    movie << "}\nlocal n = 0\nfunction draw() n = n + 1 if lines[n] then Tessel_script = lines[n] end end\n";
    movie.close();
    AppendF9Hook(bin, "    local t = obj('/sys/servers/time').gettime()\n"
                      "    print('clock ' .. ((t == t and t < 1e9) and 'finite' or 'broken'))\n"
                      "    print('root ' .. obj('/sys/servers/observer').getlogicroot())\n"
                      "    print('display ' .. (obj('/sys/servers/gfx').isdisplayopen() and 'open' or 'closed'))\n"
                      "    for _, p in ipairs({'/scriptclone', '/fileclone', '/usr/lua2_1', '/usr/m1'}) do\n"
                      "      if exists(p) then print('made ' .. p) end\n"
                      "    end\n"
                      "    print('diver ' .. (exists('/usr/logic/level1/diver1') and 'built' or 'none'))\n");
    // A frozen frame loop would not reach frame 100 before the guard's timeout.
    ASSERT_EQ(Run(""), 0) << Slurp(home / "out.txt");
    const std::string printed = Slurp(home / "out.txt");
    // A save holds no timer: refused whole, its text never runs.
    for (const char* line : {"clock finite\n", "root /usr/logic\n", "display open\n", "diver none\n"}) {
        EXPECT_NE(printed.find(line), std::string::npos) << line << printed;
    }
    EXPECT_EQ(printed.find("made "), std::string::npos) << printed;
    // Each was refused from the movie: neither finds "obj" or "new", once a run each.
    const std::string log = Slurp(bin / "Brinewick.log");
    EXPECT_NE(log.find("'timercount' of the store 'level1' lies outside"), std::string::npos) << log.substr(0, 20000);
    auto count = [&](const std::string& part) {
        size_t n = 0;
        for (size_t at = log.find(part); at != std::string::npos; at = log.find(part, at + 1)) n++;
        return n;
    };
    for (const char* part : {"the global 'obj', neither", "the global 'new', neither"}) {
        EXPECT_GE(count(part), 1u) << part << "\n" << log.substr(0, 20000);
    }
    // Nothing was made, so nothing met the bound on what data keeps.
    EXPECT_EQ(count("objects that data made"), 0u) << log.substr(0, 20000);
}

// What a quick save's timer sets up for draw time runs as data's and takes no command
// that receives no value: mixers whose getters close the display, stop the clock or save
// a start script's namesake, a hyper mixer's and an interpolator's save, drawn through a
// visualizer of the level. The game plays on, the clock runs, the start scripts stay.
TEST_F(InstalledGameTest, CallsThatASaveSetsUpForDrawTimeRunAsDataAndTakeNoCommandWithoutAValue) {
    const std::string timer =
        "local L = '/usr/logic/level1/' new('n3dnode', L .. 'pwnscene') sel(L .. 'pwnscene') "
        "new('nroot', 'init_menue') sel('init_menue') new('nluascriptlet', 'run') sel('run') setautorun(true) "
        "setscript('print(1)') sel('../..') new('n3dnode', 'init_tools') "
        "local function mix(name, source, getter) new('nmixer', name) sel(name) beginsources(1) "
        "setsource(0, source, 'time') beginconnects(1) setconnect(0, 'sort', getter) sel('..') end "
        "mix('m1', '/sys/servers/gfx', 'closedisplay') mix('m2', '../init_menue', 'save') "
        "mix('m3', '/sys/servers/time', 'stoptime') new('nhypermixer2', 'hm') sel('hm') beginsources(1) "
        "setsource(0, '..', 'time') beginconnects(1) setconnect(0, '..', 'sort', 'init_tools', 'save') sel('..') "
        "new('nipol', 'init_tools/ip') sel('init_tools/ip') addkey1f(0, 0) addkey1f(100, 1) connect('save') "
        "sel(L) new('nlogicvisual2', 'pwnvis') sel('pwnvis') new('nmodvisualizer', 'look') sel('look') "
        "setvisual(L .. 'pwnscene') sel('..') addvisualizer('default', 'look')";
    std::ofstream(home / "save" / "schnellspeicher.n") << QuickSave(timer, "");
    std::ofstream(bin / "init_menue.n", std::ios::app)
        << "\nfunction bwx_clock()\n  bwx_n = (bwx_n or 0) + 1\n"
           "  if bwx_n == 70 then bwx_t70 = obj('/sys/servers/time').gettime() end\n"
           "  execbuf('bwx_clock()')\nend\nexecbuf('bwx_clock()')\n";
    AppendF9Hook(bin, "    print('clock ' .. (obj('/sys/servers/time').gettime() > bwx_t70 and 'runs' or 'stands'))\n"
                      "    print('scene ' .. (exists('/usr/logic/level1/pwnscene/m1') and 'planted' or 'none'))\n");
    const std::string menu = Slurp(bin / "init_menue.n"), tools = Slurp(bin / "init_tools.n");
    ASSERT_EQ(Run(""), 0) << Slurp(home / "out.txt");
    // A save holds no timer: refused whole, the timer's text never runs and sets up nothing.
    EXPECT_NE(Slurp(home / "out.txt").find("clock runs\nscene none\n"), std::string::npos) << Slurp(home / "out.txt");
    EXPECT_EQ(Slurp(bin / "init_menue.n"), menu);
    EXPECT_EQ(Slurp(bin / "init_tools.n"), tools);
    const std::string log = Slurp(bin / "Brinewick.log");
    EXPECT_NE(log.find("schnellspeicher.n' does not load: "), std::string::npos) << log.substr(0, 20000);
    EXPECT_EQ(log.find("the global 'beginsources', neither"), std::string::npos) << log.substr(0, 20000);
}

// What a quick save keeps is bounded however it keeps it: a loop timer that would store a
// large text and plant timers with long texts every frame (its text reaches no object), and
// 29,000 divers named in the save, which the level start would clone one by one. Each is
// refused with a log line, and the game plays on to its last frame.
TEST_F(InstalledGameTest, WhatAQuickSaveKeepsIsBoundedAfterF9) {
    const std::string grow =
        "function grow() big = big or string.rep(string.rep('x', 1000), 8000) "
        "long = long or string.rep(string.rep('-', 1000), 1000) k = (k or 0) + 1 "
        "obj('/usr/persist/level1').sets('v' .. k, big) "
        "for i = 1, 10 do obj('/usr/logic/level1').addtimer('t' .. k .. '_' .. i, 'oneshot', 0, 1e9, long) end end "
        "obj('/usr/logic/level1').addtimer('g', 'loop', 0, 0.01, 'grow()')";
    std::ofstream(home / "save" / "schnellspeicher.n")
        << QuickSave(grow, "  new('npersistlogic', 'diver1')\n    sel('diver1')\n    sets( \"prototype\", \"diver\" )\n"
                           "    setv( \"txyz\", 0, 4, 30, 0 )\n  up()\n"
                           "  for i = 1, 29000 do new('npersistlogic', 'd' .. i) sel('d' .. i) "
                           "sets('prototype', 'diver') setv('txyz', i, 4, 30, 0) up() end\n");
    AppendF9Hook(bin, "    print('diver ' .. (exists('/usr/logic/level1/diver1') and 'built' or 'none'))\n"
                      "    print('last ' .. (exists('/usr/logic/level1/d29000') and 'built' or 'none'))\n"
                      "    print('values ' .. (exists('/usr/persist/level1') and obj('/usr/persist/level1').getvarcount() or 'none'))\n");
    ASSERT_EQ(Run(""), 0) << Slurp(home / "out.txt");
    const std::string printed = Slurp(home / "out.txt");
    // A save is values: the one that names its divers in a loop is refused whole, and
    // neither its divers nor its growing timer come to be.
    for (const char* line : {"diver none\n", "last none\n"}) {
        EXPECT_NE(printed.find(line), std::string::npos) << line << printed;
    }
    EXPECT_NE(printed.find("values none\n"), std::string::npos) << printed;
    const std::string log = Slurp(bin / "Brinewick.log");
    EXPECT_NE(log.find("schnellspeicher.n' refused: line 21: 'for', which a save may not call"), std::string::npos)
        << log.substr(0, 20000);
}

// The person's own functions at the frames that `steps` (a Lua table of frame = function)
// names, once the menu is up; the game exits at frame `last`.
static void AppendSteps(const fs::path& bin, const std::string& steps, int last) {
    std::ofstream(bin / "init_menue.n", std::ios::app)
        << "\nlocal steps = " << steps << "\nlocal n = 0\nfunction bwx_tick()\n  n = n + 1\n"
        << "  if steps[n] then pcall(steps[n]) end\n  if n == " << last << " then exit() return end\n"
        << "  execbuf('bwx_tick()')\nend\nexecbuf('bwx_tick()')\n";
}

// A quick save's timer that would drop the camp's store, rename the level and the menu,
// name the menu's node as the running level and switch the menu off every frame: the save
// is refused, and the person's new game, F5, F9, Esc and "Neues Spiel" after it each still do
// what they say.
TEST_F(InstalledGameTest, WhatASaveChangesLeavesThePersonsSaveMenuAndNewGame) {
    std::ofstream(home / "save" / "schnellspeicher.n")
        << QuickSave("delete('/usr/persist/camp') obj('/usr/logic/level1').setname('lx') "
                     "obj('/usr/logic/menu/menu_manager').setname('mx') "
                     "obj('/usr/persist/gamestatus').sets('currlevel', 'uwmenu') "
                     "obj('/usr/logic/level1').addtimer('off', 'loop', 0, 0.01, \\\"local m = "
                     "obj('/usr/logic/menu/menu_manager') m.setactive(false) m.setinputevents(false) "
                     "m.setmessaging(false)\\\")",
                     "  new('npersistlogic', 'diver1')\n    sel('diver1')\n    sets( \"prototype\", \"diver\" )\n"
                     "    setv( \"txyz\", 0, 4, 30, 0 )\n  up()\n")
        << "new('nroot', 'camp')\n";
    auto level = [](const char* tag) {
        return std::string("print('") + tag + " ' .. obj('/sys/servers/observer').getlevel())";
    };
    AppendSteps(bin,
                "{[40] = schnellladen, [50] = neuesspiel, [90] = schnellspeichern, [120] = schnellladen, [125] = function() " +
                    level("loaded") + " end, [130] = esctaste,\n"
                    "  [131] = function() local m = obj('/usr/logic/menu/menu_manager') print('menu ' .. "
                    "tostring(m.getactive()) .. tostring(m.getinputevents()) .. tostring(m.getmessaging())) end,\n"
                    "  [150] = neuesspiel, [180] = function() " + level("new") + " end}",
                190);
    ASSERT_EQ(Run(""), 0) << Slurp(home / "out.txt");
    const std::string printed = Slurp(home / "out.txt");
    for (const char* line : {"displaymessage 0: Spiel gespeichert.\n", "loaded level1\n", "menu 111\n", "new level1\n"}) {
        EXPECT_NE(printed.find(line), std::string::npos) << line << printed;
    }
    EXPECT_EQ(printed.find("attempt to"), std::string::npos) << printed;
}

// A save's timer that puts a plain object in the game status's place leaves the person a
// new game that saves again.
TEST_F(InstalledGameTest, ANewGameAfterASaveThatReplacedTheGameStatusSavesAgain) {
    std::ofstream(home / "save" / "schnellspeicher.n")
        << QuickSave("delete('/usr/persist/gamestatus') new('nroot', '/usr/persist/gamestatus')",
                     "  new('npersistlogic', 'diver1')\n    sel('diver1')\n    sets( \"prototype\", \"diver\" )\n"
                     "    setv( \"txyz\", 0, 4, 30, 0 )\n  up()\n");
    AppendSteps(bin, "{[40] = schnellladen, [100] = neuesspiel, [150] = schnellspeichern}", 160);
    ASSERT_EQ(Run(""), 0) << Slurp(home / "out.txt");
    EXPECT_NE(Slurp(home / "out.txt").find("displaymessage 0: Spiel gespeichert.\n"), std::string::npos)
        << Slurp(home / "out.txt");
}

TEST_F(InstalledGameTest, AMachineThatCannotShowTheGameGetsTheBoxAndExitCodeOne) {
    fs::remove(bin / "Brinewick.log");
    ASSERT_EQ(Run("SDL_VIDEODRIVER=nosuchdriver"), 1);
    EXPECT_NE(Slurp(home / "out.txt").find("Error: Sie ben\xC3\xB6tigen DirectX Version: 8.1 oder besser!\n"),
              std::string::npos);
    // Nothing was built: not even the log.
    EXPECT_FALSE(fs::exists(bin / "Brinewick.log"));
}

}  // namespace

// A loose main-menu movie whose lines also quit the game, leave the level a handler that
// ends every later game, make a flock, an emitter and a tree view, or call the menu's entry
// with a value it does not take, or choose "Beenden" unasked: its text reaches only the
// declared entry, and that only in answer to the person's key or click. The person's new
// game starts, F5 and F9 work, a later new game keeps running, and the game ends only at the
// person's own exit.
TEST_F(InstalledGameTest, ALooseMenuMovieReachesOnlyTheMenusEntryAndTheGameStaysPlayable) {
    fs::create_directories(home / "flash");
    std::ofstream(home / "flash" / "mainmenu.movie")
        << "--tessel movie 1\n"
           "stage(800, 600)\n"
           "local lines = {\n"
           "  [[exit()]],\n"
           "  [[obj('/usr/logic/level1').seteventscript('onstartup', 'endlevel()')]],\n"
           "  [[new('nlogicflock', '/usr/logic/level1/flock')]],\n"
           "  [[new('npservemitter', '/usr/logic/level1/emitter')]],\n"
           "  [[new('ntreeview', '/usr/logic/level1/tree')]],\n"
           "  [[menuaction('beenden ') menuaction('neu', 'beenden')]],\n"
           "  [[menuaction('beenden') exit()]],\n"
           "}\n"
           "local n = 0\n"
           "function draw() n = n + 1 if lines[n] then Tessel_script = lines[n] end end\n";
    auto level = [](const char* tag) {
        return std::string("function() print('") + tag + " ' .. obj('/sys/servers/observer').getlevel()) end";
    };
    AppendSteps(bin,
                "{[50] = neuesspiel, [60] = " + level("started") + ", [70] = schnellspeichern, [90] = schnellladen, [110] = " +
                    level("loaded") + ", [120] = neuesspiel, [150] = " + level("new") +
                    ",\n  [151] = function() for _, p in ipairs({'flock', 'emitter', 'tree'}) do "
                    "if exists('/usr/logic/level1/' .. p) then print('made ' .. p) end end end, "
                    "[152] = function() print('last frame') end}",
                155);
    ASSERT_EQ(Run(""), 0) << Slurp(home / "out.txt");
    const std::string printed = Slurp(home / "out.txt");
    for (const char* line : {"started level1\n", "displaymessage 0: Spiel gespeichert.\n", "loaded level1\n",
                             "new level1\n", "last frame\n"}) {
        EXPECT_NE(printed.find(line), std::string::npos) << line << printed;
    }
    EXPECT_EQ(printed.find("made "), std::string::npos) << printed;
    const std::string log = Slurp(bin / "Brinewick.log");
    for (const char* part : {"the global 'exit', neither", "the global 'obj', neither", "the global 'new', neither",
                             "'menuaction' does not take 'beenden ' as its value 1",
                             "'menuaction' takes 1 value(s), got 2",
                             "'menuaction' answers the person's key or click, and none came"}) {
        EXPECT_NE(log.find(part), std::string::npos) << part << "\n" << log.substr(0, 20000);
    }
}
