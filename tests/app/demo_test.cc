// The game on its own data, in process: start-up as the game does it, frames on a fixed
// 1/30 s clock, keys and the pointer pushed as SDL events, so that they take the
// player's path (window pump, input server, bindings, focus groups, movies, scripts).
#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <lua.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>

#include "anim/nPServEmitter.h"
#include "anim/nParticleServer.h"
#include "app/AppMain.h"
#include "game/nbwCamera.h"
#include "game/nbwDamageZone.h"
#include "game/nbwDiver.h"
#include "game/nbwDokuTool.h"
#include "game/nbwElevator.h"
#include "game/nbwFish.h"
#include "game/nbwItem.h"
#include "game/nbwOpenable.h"
#include "game/nbwSandHeap.h"
#include "game/nbwUwMenu.h"
#include "game/nbwWater.h"
#include "game/nbwLevel.h"
#include "game/nbwObserver.h"
#include "gfx/nBmpFile.h"
#include "gfx/nD3D8Server.h"
#include "input/nInputServer.h"
#include "kernel/nFile.h"
#include "kernel/nEnv.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nObjectCount.h"
#include "kernel/nRandom.h"
#include "kernel/nObjectFileReader.h"
#include "logic/nObserver.h"
#include "logic/nModPhysikState.h"
#include "physics/nPhysikBody.h"
#include "platform/ui/Host.h"
#include "platform/ui/ToolWindow.h"
#include "tools/nMacroExec2.h"
#include "tools/nTreeView.h"
#include "logic/nPersist.h"
#include "kernel/nScriptServer.h"
#include "script/nLuaServer2.h"
#include "kernel/nTimeServer.h"
#include "kernel/nWin32LogHandler.h"
#include "platform/system/Disk.h"
#include "platform/system/System.h"
#include "logic/nCameraServer.h"
#include "logic/nLogicFlash.h"
#include "logic/nLogicVisual2.h"
#include "logic/nLogicInput.h"
#include "logic/nLogicInputServer.h"
#include "logic/nModSimpleCollision.h"
#include "logic/nLogicSprite.h"
#include "collide/nCollideReportBuffer.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollideShape2.h"
#include "kernel/line3.h"
#include "platform/flash/FlashModule.h"
#include "platform/render/Device.h"
#include "platform/window/Window.h"
#include "script/nLuaRunBounds.h"
#include "scene/nSBufShadowServer.h"
#include "scene/nShadowCaster.h"
#include "script/nLuaServer2.h"
#include "tests/app/StepClock.h"
#include "tests/platform/system/TestRunClock.h"
#include "tests/kernel/TestLog.h"
#include "tests/platform/SdlEvents.h"
#include "tests/platform/SdlTestEnvironment.h"

namespace {

namespace fs = std::filesystem;

const auto* const kVideo = ::testing::AddGlobalTestEnvironment(new bwtest::SdlVideoEnvironment);

// The files the start scripts and level 1 name, as "home:" paths.
const char* const kDataFiles[] = {
    "home:flash/mainmenu.movie",  "home:flash/statusbar.movie", "home:flash/energy.movie",
    "home:flash/hitpoints.movie", "home:flash/inventorybar.movie", "home:flash/inventory.movie",
    "home:flash/taucher.movie",   "home:flash/geraet.movie",    "home:levels/level1/map.n",
    "home:levels/level1/store.n", "home:meshes/seabed.n3d",     "home:meshes/rock.n3d",
    "home:meshes/diver.n3d",      "home:textures/seabed.png",   "home:textures/rock.png",
    "home:textures/diver.png",    "home:sounds/ambient.wav",
    "home:levels/items.n",        "home:levels/level1/items_store.n", "home:levels/level1/items_map.n",
    "home:meshes/camera.n3d",     "home:meshes/fish.n3d",       "home:meshes/vent.n3d",
    "home:textures/camera.png",   "home:textures/fish.png",     "home:textures/vent.png",
    "home:sounds/use.wav",        "home:sounds/door.wav",       "home:sounds/bite.wav",
};

class DemoGameTest : public ::testing::Test {
protected:
    void SetUp() override {
        app.Build();
        ks = app.GetKernel();
        ks->SetLogHandler(&log);
        ks->GetTimeServer()->SetClock(&clock);
        app.OpenDisplay();
        app.RunStartScripts();
        game = static_cast<nbwObserver*>(app.GetObserver());
        ASSERT_TRUE(game->IsA("nbwobserver"));
        gfx = static_cast<nD3D8Server*>(ks->Lookup("/sys/servers/gfx"));
        window = gfx->GetWindow()->GetId();
        // Save games go to a folder of the test's own.
        auto* files = ks->GetFileServer<nFileServer2>();
        homeSave = files->GetAssign("save");
        saveDir = fs::path(testing::TempDir()) / ("bw_demo_save_" + std::to_string(::getpid()));
        fs::remove_all(saveDir);
        fs::create_directories(saveDir);
        ASSERT_TRUE(files->SetAssign("save", (saveDir.string() + "/").c_str()));
        game->ResetTime();
        Push(bwtest::sdl::Focus(window, true));
        Frames(2);
    }
    void TearDown() override {
        if (ks) app.Shutdown();
        fs::remove_all(saveDir);
    }

    nRoot* Lookup(const std::string& path) { return ks->Lookup(path.c_str()); }
    std::string ClassOf(const std::string& path) {
        nRoot* o = Lookup(path);
        return o ? o->GetClass()->GetName() : "<none>";
    }
    bool Run(const std::string& text) {
        const char* result = nullptr;
        return static_cast<nScriptServer*>(Lookup("/sys/servers/script"))->Run(text.c_str(), result);
    }
    // One frame of `frameStep` (1/30 s unless a test sets another); false when the game
    // asked to end.
    bool Frame() {
        clock.ticks += frameStep;
        frames++;
        return game->RunFrame();
    }
    void Frames(int n) {
        for (int i = 0; i < n; i++) ASSERT_TRUE(Frame());
    }
    void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
    // A key pressed for `frames` frames, then let go.
    void Key(SDL_Scancode scancode, SDL_Keycode sym, int frames = 1) {
        Push(bwtest::sdl::Key(window, scancode, sym, true));
        Frames(frames);
        Push(bwtest::sdl::Key(window, scancode, sym, false));
        Frames(1);
    }
    void Click(int x, int y) {
        Push(bwtest::sdl::Motion(window, x, y, 0, 0));
        Frames(1);
        Push(bwtest::sdl::Button(window, SDL_BUTTON_LEFT, true, x, y));
        Push(bwtest::sdl::Button(window, SDL_BUTTON_LEFT, false, x, y));
    }

    nLogicFlash* Menu() { return static_cast<nLogicFlash*>(Lookup("/usr/logic/menu/menu_manager")); }
    // A new game, quick-saved after a few frames: the save's text ("" when F5 did not say it
    // saved).
    std::string NewGameSaved() {
        NewGame();
        Frames(5);
        Key(SDL_SCANCODE_F5, SDLK_F5);
        Frames(2);
        EXPECT_EQ(StatusLine(), "Spiel gespeichert.");
        if (StatusLine() != "Spiel gespeichert.") return "";
        std::stringstream text;
        text << std::ifstream(saveDir / "schnellspeicher.n").rdbuf();
        return text.str();
    }
    std::string MenuValue(const char* var) {
        const char* v = Menu()->GetValue(var);
        return v ? v : "<null>";
    }
    nbwDiver* Diver() {
        nRoot* o = Lookup("/usr/logic/level1/diver1");
        return o && o->IsA("nbwdiver") ? static_cast<nbwDiver*>(o) : nullptr;
    }
    vector3 DiverAt() { return Diver()->GetPosition(); }
    bool State(uint32_t bits) { return (game->GetGameStateWord() & bits) == bits; }
    bool GroupFocus(const char* group) {
        return static_cast<nLogicInputServer*>(Lookup("/sys/servers/logicinput"))->GetGroupFocus(group);
    }
    std::string StatusLine() {
        const char* v = static_cast<nLogicFlash*>(Lookup("/usr/logic/uwmenu/statusbar"))->GetValue("text");
        return v ? v : "<null>";
    }
    // F9 loads the quick save as it lies, logging `logged` (null: nothing read kindly), and
    // `loaded` checks the game; then F5 and F9 give it back with nothing read kindly.
    void LoadKindlyAndBack(const char* logged, const std::function<void()>& loaded) {
        log.text.clear();
        Key(SDL_SCANCODE_F9, SDLK_F9);
        Frames(2);
        ASSERT_EQ(StatusLine(), "Spiel geladen.") << log.text.substr(0, 3000);
        EXPECT_EQ(log.text.find(logged ? logged : "nbwSaveDeclaration:") != std::string::npos, logged != nullptr)
            << log.text.substr(0, 3000);
        loaded();
        Key(SDL_SCANCODE_F5, SDLK_F5);
        Frames(2);
        ASSERT_EQ(StatusLine(), "Spiel gespeichert.") << log.text.substr(0, 3000);
        log.text.clear();
        Key(SDL_SCANCODE_F9, SDLK_F9);
        Frames(2);
        ASSERT_EQ(StatusLine(), "Spiel geladen.") << log.text.substr(0, 3000);
        EXPECT_EQ(log.text.find("nbwSaveDeclaration:"), std::string::npos) << log.text.substr(0, 3000);
        loaded();
    }

    // From the main menu at start-up: Return on the first entry, then the level's first
    // frames.
    void NewGame() {
        ASSERT_TRUE(Menu()->GetActive());
        Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
        Frames(3);
        ASSERT_STREQ(game->GetLevel(), "level1") << log.text;
        ASSERT_NE(Diver(), nullptr) << log.text;
    }

    // A file of kDataFiles that the installation holds.
    bool Installed(const char* file) {
        nFile* f = ks->GetFileServer<nFileServer2>()->NewFileObject();
        const bool there = f->Exists(file);
        delete f;
        return there;
    }

    // Constructed before the game and destroyed after it: the kernel logs and reads the
    // clock to its end.
    nTestLog log;
    StepClock clock;
    AppMain app;
    nKernelServer* ks = nullptr;
    nbwObserver* game = nullptr;
    nD3D8Server* gfx = nullptr;
    uint32_t window = 0;
    int frames = 0;
    int64_t frameStep = 1000000 / 30;
    std::string homeSave;
    fs::path saveDir;
};

TEST_F(DemoGameTest, StartScriptsBuildPrototypesDisplayMenuFocusGroupsTextsAndKeys) {
    // The prototypes a level clones: the diver with its game keys, its inventory and hand.
    EXPECT_EQ(ClassOf("/usr/prototypes/diver"), "nbwdiver");
    EXPECT_EQ(ClassOf("/usr/prototypes/inventory"), "nbwcontainer");
    ASSERT_EQ(ClassOf("/usr/prototypes/hand"), "nbwitem");
    EXPECT_STREQ(static_cast<nbwItem*>(Lookup("/usr/prototypes/hand"))->GetString(nbwItem::Type), "hand");
    ASSERT_EQ(ClassOf("/usr/prototypes/diver/input"), "nlogicinput");
    auto* keys = static_cast<nLogicInput*>(Lookup("/usr/prototypes/diver/input"));
    EXPECT_EQ(keys->GetGroup(), "diver");
    EXPECT_FALSE(keys->GetFocus());
    for (const char* input : {"forward", "backward", "left", "right", "up", "down"})
        EXPECT_NE(keys->GetInput(input), "") << input;
    // Esc, F5, F9 and F12 are the person's keys, on the observer.
    for (const char* input : {"menu", "quicksave", "quickload", "f12"}) EXPECT_NE(game->GetKey(input), "") << input;

    // The heads-up display with every part it looks up, off until a game runs.
    ASSERT_EQ(ClassOf("/usr/logic/uwmenu"), "nbwuwmenu");
    EXPECT_FALSE(static_cast<nLogicNode*>(Lookup("/usr/logic/uwmenu"))->GetActive());
    for (const char* f : {"statusbar", "inventory", "energy", "hitpoints", "selection", "taucher1", "taucher2",
                          "taucher3", "geraet1", "geraet2", "geraet3", "geraet4"}) {
        EXPECT_EQ(ClassOf(std::string("/usr/logic/uwmenu/") + f), "nlogicflash") << f;
    }
    EXPECT_EQ(ClassOf("/usr/logic/uwmenu/static/frame"), "nlogicsprite");
    EXPECT_EQ(ClassOf("/usr/logic/uwmenu/selection_sprites/back"), "nlogicsprite");
    EXPECT_EQ(ClassOf("/usr/logic/uwmenu/selector"), "nlogicsprite");
    EXPECT_NE(Lookup("/usr/logic/uwmenu/button"), nullptr);
    EXPECT_EQ(ClassOf("/usr/logic/uwmenu/input"), "nlogicinput");

    // The main menu is up: game state 0x4, its movie showing the entries that apply.
    ASSERT_EQ(ClassOf("/usr/logic/menu/menu_manager"), "nlogicflash");
    EXPECT_EQ(Menu()->GetTexture(), std::string("home:flash/mainmenu.movie"));
    EXPECT_TRUE(Menu()->GetActive());
    EXPECT_TRUE(State(0x4 | 0x4000));
    EXPECT_EQ(MenuValue("running"), "0");
    EXPECT_EQ(MenuValue("loadable"), "0");
    EXPECT_TRUE(GroupFocus("mainmenu"));
    EXPECT_FALSE(GroupFocus("diver"));

    // Every group the game state switches has a node from the start.
    auto* lis = static_cast<nLogicInputServer*>(Lookup("/sys/servers/logicinput"));
    for (const char* group : {"flash", "video", "diver", "mainmenu", "inventory"})
        EXPECT_TRUE(lis->FindGroup(group) != nullptr) << group;

    EXPECT_EQ(ClassOf("/usr/logic/level1"), "nbwlevel");
    EXPECT_EQ(static_cast<nbwLevel*>(Lookup("/usr/logic/level1"))->GetMapFile(),
              std::string("home:levels/level1/map.n"));

    // Texts, the message function and the save folder beside the installation's.
    EXPECT_TRUE(Run("assert(FB_FISHATTACK ~= nil and FB_SAUERSTOFF_TAUCHER ~= nil and FB_hand ~= nil "
                    "and FB_ONBOARD_WECHSEL ~= nil and FB_KEIN_SPIELSTAND == 'Kein Spielstand vorhanden.')"));
    EXPECT_TRUE(Run("assert(type(displaymessage) == 'function')"));
    const std::string home = ks->GetFileServer<nFileServer2>()->ManglePath("home:");
    EXPECT_EQ(homeSave, home + "/save/");

    // One mapping pass: the game's keys, no longer the engine viewer's.
    auto* input = static_cast<nInputServer*>(Lookup("/sys/servers/input"));
    for (const char* state : {"forward", "backward", "left", "right", "up", "down", "quicksave", "quickload", "menu",
                              "menu_up", "menu_down", "menu_select", "menu_back", "f12"})
        EXPECT_NE(input->FindState(state), nullptr) << state;
    EXPECT_EQ(input->GetNumMappings(), 30);
    EXPECT_EQ(input->FindState("orbit"), nullptr);
    EXPECT_TRUE(log.errors.empty()) << log.text;
}

TEST_F(DemoGameTest, NewGameStartsLevelOneAndItsDataLoadsWithoutErrors) {
    NewGame();
    Frames(30);
    nbwLevel* level = game->GetCurrentLevel();
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->GetName(), std::string("level1"));
    EXPECT_TRUE(State(0x2 | 0x40));
    EXPECT_FALSE(State(0x4));
    EXPECT_FALSE(Menu()->GetActive());
    EXPECT_TRUE(static_cast<nLogicNode*>(Lookup("/usr/logic/uwmenu"))->GetActive());

    // The map's world and the follow camera trailing the diver built from the store.
    for (const char* node : {"start1", "start2"}) EXPECT_EQ(ClassOf(std::string("/usr/logic/level1/") + node), "nbwstartpoint");
    for (const char* node : {"seabed", "rock1", "light", "fog", "ambient"})
        EXPECT_EQ(ClassOf(std::string("/usr/logic/level1/") + node), "nlogicvisual2") << node;
    ASSERT_EQ(ClassOf("/usr/logic/level1/cam"), "nbwcamera");
    auto* cam = static_cast<nbwCamera*>(Lookup("/usr/logic/level1/cam"));
    EXPECT_EQ(cam->GetTarget(), "/usr/logic/level1/diver1");
    EXPECT_EQ(static_cast<nCameraServer*>(Lookup("/sys/servers/camera"))->GetCurrentCamera(), cam);
    EXPECT_EQ(level->GetActiveDiver(), Diver());
    EXPECT_TRUE(static_cast<nLogicInput*>(Lookup("/usr/logic/level1/diver1/input"))->GetFocus());
    EXPECT_TRUE(GroupFocus("diver"));
    EXPECT_FALSE(GroupFocus("mainmenu"));
    EXPECT_NEAR(DiverAt().z, 30.0f, 0.01f);
    EXPECT_EQ(ClassOf("/usr/persist/level1"), "npersistlogic");
    EXPECT_EQ(ClassOf("/usr/logic/level1/diver1/inventory"), "nbwcontainer");
    EXPECT_EQ(ClassOf("/usr/logic/level1/diver1/inventory/hand"), "nbwitem");
    EXPECT_NE(Lookup("/usr/persist/level1/diver1/inventory/hand"), nullptr);

    // Every installed file loaded without a logged error; the only errors allowed name a
    // file the installation does not hold yet.
    std::vector<std::string> missing;
    for (const char* file : kDataFiles) {
        if (!Installed(file)) missing.push_back(fs::path(file).filename().string());
    }
    for (const std::string& e : log.errors) {
        bool named = false;
        for (const std::string& m : missing) named = named || e.find(m) != std::string::npos;
        EXPECT_TRUE(named) << e;
    }

    // A second new game from the menu starts over from fresh stores.
    const vector3 start = DiverAt();
    Key(SDL_SCANCODE_W, SDLK_w, 30);
    ASSERT_GT(std::fabs(DiverAt().z - start.z), 0.5f);
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    ASSERT_TRUE(Menu()->GetActive());
    Key(SDL_SCANCODE_UP, SDLK_UP);  // from "Weiterspielen", lit first while a level runs
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Frames(3);
    ASSERT_NE(Diver(), nullptr);
    EXPECT_NEAR(DiverAt().z, 30.0f, 0.01f);
    EXPECT_EQ(Lookup("/usr/persist/diver1"), nullptr) << "no diver kept aside from the last game";

    // Nothing is logged frame after frame.
    std::map<std::string, int> seen;
    for (const std::string& line : log.lines) seen[line]++;
    for (const std::string& e : log.errors) seen[e]++;
    for (const auto& [line, count] : seen) EXPECT_LT(count, frames / 4) << "logged every frame: " << line;
}

// A screenshot as rows of r, g, b from the top of the screen; empty when it cannot be read.
std::vector<std::vector<std::array<int, 3>>> ReadShot(const fs::path& file) {
    std::vector<std::vector<std::array<int, 3>>> rows;
    nBmpFile shot;
    if (!shot.Open(file.string().c_str(), "rb") || shot.GetPixelFormat()->bpp != 24) return rows;
    const int w = shot.GetWidth(), h = shot.GetHeight();
    rows.resize(size_t(h));
    int row = 0;
    while (uint8_t* line = shot.ReadLine(row)) {
        auto& r = rows[size_t(shot.IsBottomUp() ? h - 1 - row : row)];
        for (int x = 0; x < w; x++) r.push_back({line[3 * x + 2], line[3 * x + 1], line[3 * x]});
    }
    return rows;
}

// Headless the window is made at the mode's size with its depth bits, so the game's frames
// go straight into it. A screenshot that a logic script takes on a key (in the frame's logic
// step, before the scene begins) gets the level's picture and moves the frames to buffers of
// the device's own; the frames after it still show the level, and keys still reach the game.
TEST_F(DemoGameTest, HeadlessFramesGoIntoTheWindowAndAScriptedScreenshotShowsTheLevel) {
    render::Device* device = gfx->GetDevice();
    ASSERT_NE(device, nullptr);
    EXPECT_TRUE(device->IsDrawingIntoWindow());
    int w = 0, h = 0, x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    gfx->GetWindow()->GetClientSize(w, h);
    ASSERT_TRUE(gfx->GetDisplayDesc(x0, y0, x1, y1));
    EXPECT_EQ(w, x1);
    EXPECT_EQ(h, y1);
    nRoot* hwnd = Lookup("/sys/env/hwnd");
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(uint32_t(static_cast<nEnv*>(hwnd)->GetI()), window) << "the handle names the window made again";

    NewGame();
    Frames(20);
    EXPECT_TRUE(device->IsDrawingIntoWindow());
    const std::string dir = saveDir.string() + "/";
    ASSERT_TRUE(Run("shots = 0\n"
                    "function shot() shots = shots + 1 obj('/sys/servers/gfx').screenshot('" + dir +
                    "shot' .. shots .. '.bmp') end\n"
                    "sel('/sys/servers/input') map('keyb0:f11.down', 'test_shot') sel('/')\n"
                    "new('nlogicnode', '/usr/logic/testshot')\n"
                    "new('nlogicinput', '/usr/logic/testshot/f11')\n"
                    "sel('/usr/logic/testshot/f11') setgroup('testshot') setfocus(true)\n"
                    "addinput('test_shot', 'shot()') sel('/')\n"));
    const size_t errorsBefore = log.errors.size();
    Key(SDL_SCANCODE_F11, SDLK_F11);
    EXPECT_FALSE(device->IsDrawingIntoWindow()) << "a read of the presented frame keeps buffers of our own";
    const vector3 before = DiverAt();
    Key(SDL_SCANCODE_W, SDLK_w, 15);
    EXPECT_GT(std::fabs(DiverAt().z - before.z), 0.2f) << "keys reach the game through the window made again";
    Frames(5);
    Key(SDL_SCANCODE_F11, SDLK_F11);
    for (size_t i = errorsBefore; i < log.errors.size(); i++) ADD_FAILURE() << log.errors[i];

    for (const char* name : {"shot1.bmp", "shot2.bmp"}) {
        SCOPED_TRACE(name);
        const auto rows = ReadShot(saveDir / name);
        ASSERT_EQ(rows.size(), size_t(y1));
        ASSERT_EQ(rows[0].size(), size_t(x1));
        // Blue-green water below the status line, sand at the bottom left.
        for (int x : {x1 / 20, x1 / 2, x1 - x1 / 20}) {
            const auto& p = rows[size_t(y1 / 6)][size_t(x)];
            EXPECT_GE(p[2] - p[0], 25) << "water at " << x;
            EXPECT_GE(p[1] - p[0], 15) << "water at " << x;
        }
        const auto& sand = rows[size_t(y1 * 47 / 60)][size_t(x1 / 4)];
        EXPECT_GT(sand[0], sand[2] + 40) << "sand";
    }
}

// The level's first drawn frame after "Neues Spiel" and after "Spiel laden" shows the divers'
// figures with their rows and the held item's bars, however much of the frame's time for data
// the level's start took: the run clock moves by the test's step at each look.
TEST_F(DemoGameTest, TheLevelsFirstFrameShowsTheDiversFiguresAndTheBars) {
    // Where each stands and its colour: the first diver's picture, air and life rows, the second
    // diver's air row, the basket's condition row, the held item's energy and condition bars.
    const struct {
        int x, y;
        std::array<int, 3> rgb;
        const char* what;
    } probes[] = {{90, 540, {200, 200, 210}, "diver 1"},        {90, 565, {77, 179, 255}, "diver 1's air"},
                  {90, 572, {51, 230, 77}, "diver 1's life"},    {125, 565, {77, 179, 255}, "diver 2's air"},
                  {215, 567, {230, 102, 51}, "the basket's row"}, {674, 580, {255, 217, 26}, "energy bar"},
                  {740, 474, {51, 230, 77}, "condition bar"}};
    auto expectShown = [&](const std::string& when) {
        const fs::path file = saveDir / "first.bmp";
        ASSERT_TRUE(gfx->Screenshot(file.string().c_str()));
        const auto rows = ReadShot(file);
        ASSERT_EQ(rows.size(), 600u);
        for (const auto& p : probes) {
            const auto& got = rows[size_t(p.y)][size_t(p.x)];
            int off = 0;
            for (int k = 0; k < 3; k++) off = std::max(off, std::abs(got[size_t(k)] - p.rgb[size_t(k)]));
            EXPECT_LE(off, 40) << when << ": " << p.what << " is " << got[0] << " " << got[1] << " " << got[2];
        }
    };
    // Return pressed, then the frames until `started` says the level runs: the first is drawn.
    auto returnUntil = [&](const std::function<bool()>& started) {
        Push(bwtest::sdl::Key(window, SDL_SCANCODE_RETURN, SDLK_RETURN, true));
        for (int i = 0; i < 3 && !started(); i++) {
            ASSERT_TRUE(Frame());
            if (i == 0) Push(bwtest::sdl::Key(window, SDL_SCANCODE_RETURN, SDLK_RETURN, false));
        }
        ASSERT_TRUE(started()) << log.text;
    };
    for (const auto step : {std::chrono::microseconds(10), std::chrono::microseconds(100)}) {
        SCOPED_TRACE(step.count());
        bwtest::TestRunClock runClock(step);
        if (game->GetLevel() != std::string("none")) {
            Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
            Frames(2);
            Key(SDL_SCANCODE_UP, SDLK_UP);  // "Neues Spiel", above the lit "Weiterspielen"
        }
        ASSERT_TRUE(Menu()->GetActive());
        returnUntil([&] { return !Menu()->GetActive() && game->GetLevel() == std::string("level1"); });
        expectShown("new game");
        Frames(5);
        Key(SDL_SCANCODE_F5, SDLK_F5);
        Frames(2);
        ASSERT_EQ(StatusLine(), "Spiel gespeichert.");
        Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
        Frames(2);
        ASSERT_TRUE(Menu()->GetActive());
        Key(SDL_SCANCODE_DOWN, SDLK_DOWN);  // "Spiel laden"
        returnUntil([&] { return !Menu()->GetActive(); });
        expectShown("load");
    }
}

TEST_F(DemoGameTest, QuickSaveAndQuickLoadBringTheDiverBackAndLoadWithoutASaveGoesOn) {
    NewGame();
    Frames(5);
    // F9 before any save: the message, and the game goes on where it was.
    const vector3 before = DiverAt();
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(2);
    EXPECT_EQ(StatusLine(), "Kein Spielstand vorhanden.");
    EXPECT_STREQ(game->GetLevel(), "level1");
    EXPECT_TRUE(State(0x2 | 0x40));
    ASSERT_NE(Diver(), nullptr);
    EXPECT_NEAR((DiverAt() - before).Len(), 0.0f, 0.05f);
    // A quick save that does not run is logged and changes nothing: the level is neither
    // ended nor started again (its clock runs on).
    std::ofstream(saveDir / "schnellspeicher.n") << "new('npersist', 'gamestatus') this is no script (\n";
    const int children = game->GetCurrentLevel()->GetNumChildren();
    const float levelTime = game->GetCurrentLevel()->GetTime();
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(2);
    EXPECT_FALSE(log.errors.empty());
    EXPECT_STREQ(game->GetLevel(), "level1");
    EXPECT_EQ(game->GetCurrentLevel()->GetNumChildren(), children);
    EXPECT_GT(game->GetCurrentLevel()->GetTime(), levelTime);
    ASSERT_NE(Diver(), nullptr);
    EXPECT_NEAR((DiverAt() - before).Len(), 0.0f, 0.05f);
    EXPECT_TRUE(State(0x2 | 0x40));

    // W swims forward (along -z), F5 saves there.
    Key(SDL_SCANCODE_W, SDLK_w, 60);
    Frames(20);
    const vector3 saved = DiverAt();
    EXPECT_LT(saved.z, before.z - 1.0f);
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    const vector3 atSave = DiverAt();
    EXPECT_EQ(StatusLine(), "Spiel gespeichert.");
    ASSERT_TRUE(fs::exists(saveDir / "schnellspeicher.n"));
    std::stringstream text;
    text << std::ifstream(saveDir / "schnellspeicher.n").rdbuf();
    EXPECT_NE(text.str().find("\"currlevel\", \"level1\""), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("diver1"), std::string::npos);

    // On with the arrow key, then F9: back where F5 saved, the game running.
    Key(SDL_SCANCODE_UP, SDLK_UP, 60);
    EXPECT_GT((DiverAt() - atSave).Len(), 1.0f);
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(2);
    ASSERT_NE(Diver(), nullptr) << log.text;
    EXPECT_STREQ(game->GetLevel(), "level1");
    EXPECT_LT((DiverAt() - atSave).Len(), 0.05f);
    EXPECT_EQ(StatusLine(), "Spiel geladen.");
    EXPECT_TRUE(State(0x2 | 0x40));
    EXPECT_FALSE(State(0x4));
    EXPECT_FALSE(Menu()->GetActive());
    EXPECT_TRUE(GroupFocus("diver"));
    // The loaded diver swims again.
    Key(SDL_SCANCODE_S, SDLK_s, 30);
    EXPECT_GT((DiverAt() - atSave).Len(), 0.3f);
    // A save that cannot be written (below a plain file) tells the player.
    auto* files = ks->GetFileServer<nFileServer2>();
    std::ofstream(saveDir / "file") << "x";
    ASSERT_TRUE(files->SetAssign("save", (saveDir / "file").string().append("/").c_str()));
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    EXPECT_EQ(StatusLine(), "Speichern fehlgeschlagen.");
    // With the "save" assign deleted (as the tree view does) F5 writes nothing anywhere, and
    // F9 loads nothing from the working folder, though a file there has the refused name.
    Lookup("/sys/share/assigns/save")->Release();
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    EXPECT_EQ(StatusLine(), "Speichern fehlgeschlagen.");
    EXPECT_FALSE(fs::exists("save:schnellspeicher.n"));
    std::ofstream("save:schnellspeicher.n") << text.str();
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(2);
    fs::remove("save:schnellspeicher.n");
    EXPECT_EQ(StatusLine(), "Kein Spielstand vorhanden.");
    EXPECT_GT((DiverAt() - atSave).Len(), 0.3f);
    ASSERT_TRUE(files->SetAssign("save", (saveDir.string() + "/").c_str()));

    // With the quick save listed the menu offers "Spiel laden" (third entry), which loads
    // it as F9 does.
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    ASSERT_TRUE(Menu()->GetActive());
    EXPECT_EQ(MenuValue("loadable"), "1");
    Key(SDL_SCANCODE_DOWN, SDLK_DOWN);  // from "Weiterspielen", lit first while a level runs
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Frames(3);
    ASSERT_NE(Diver(), nullptr) << log.text;
    EXPECT_LT((DiverAt() - atSave).Len(), 0.05f);
    EXPECT_FALSE(Menu()->GetActive());
    EXPECT_FALSE(State(0x4));
    EXPECT_TRUE(State(0x2 | 0x40));
}

// A quick save whose level holds busy timers, as many as its store holds beside one that
// never ends: a save holds no timer, so F9 refuses it whole and the game goes on.
TEST_F(DemoGameTest, AQuickSaveWithBusyTimersIsRefusedWhole) {
    NewGame();
    // Five values a timer, beside the count and the active diver.
    constexpr int kBusy = (nPersist::MaxSaveValuesAStore - 2) / 5 - 1;
    std::string timers = "  seti( \"timercount\", " + std::to_string(kBusy + 1) + " )\n";
    for (int i = 0; i <= kBusy; i++) {
        const std::string key = "  sets( \"timer_" + std::to_string(i) + "_";
        timers += key + "name\", \"" + (i ? "busy" + std::to_string(i) : std::string("eater")) + "\" )\n" + key +
                  "type\", \"loop\" )\n" + key + "script\", \"" +
                  (i ? "for i = 1, 500000 do end" : "while true do end") + "\" )\n" +
                  "  setf( \"timer_" + std::to_string(i) + "_time\", 0.01 )\n  setf( \"timer_" + std::to_string(i) +
                  "_starttime\", 0 )\n";
    }
    std::ofstream(saveDir / "schnellspeicher.n")
        << "new('npersist', 'gamestatus')\n  sel('gamestatus')\n  seti( \"gamestate\", 16450 )\n"
           "  sets( \"currlevel\", \"level1\" )\nup()\n"
           "new('npersistlogic', 'level1')\n  sel('level1')\n  sets( \"activediver\", \"diver1\" )\n"
        << timers
        << "  new('npersistlogic', 'diver1')\n    sel('diver1')\n    sets( \"prototype\", \"diver\" )\n"
           "    setv( \"txyz\", 0, 4, 30, 0 )\n  up()\nup()\n";
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(3);
    // A save holds no timer: refused whole, the game as it was, nothing of its text run.
    EXPECT_EQ(StatusLine(), "Laden fehlgeschlagen.") << log.text.substr(0, 3000);
    ASSERT_NE(Diver(), nullptr) << log.text;
    nbwLevel* level = game->GetCurrentLevel();
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->FindTimer("busy1"), nullptr);
    EXPECT_EQ(level->FindTimer("eater"), nullptr);
    EXPECT_STREQ(game->GetLevel(), "level1");
}

TEST_F(DemoGameTest, EscOpensTheMenuInPlayStopsTheClockAndTheMenuContinuesOrQuits) {
    NewGame();
    Frames(5);
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(1);
    EXPECT_TRUE(Menu()->GetActive());
    EXPECT_TRUE(State(0x4 | 0x2));
    EXPECT_TRUE(GroupFocus("mainmenu"));
    EXPECT_FALSE(GroupFocus("diver"));
    EXPECT_EQ(MenuValue("running"), "1");
    const double stopped = game->GetGameTime();
    const vector3 at = DiverAt();
    Key(SDL_SCANCODE_W, SDLK_w, 30);
    EXPECT_EQ(game->GetGameTime(), stopped);
    EXPECT_LT((DiverAt() - at).Len(), 0.01f) << "the diver's keys are off in the menu";

    // Esc in the menu continues.
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    EXPECT_FALSE(Menu()->GetActive());
    EXPECT_FALSE(State(0x4));
    EXPECT_TRUE(GroupFocus("diver"));
    EXPECT_GT(game->GetGameTime(), stopped);

    // The pointer: "Weiterspielen" (second entry) clicked continues as well.
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    ASSERT_TRUE(Menu()->GetActive());
    Click(400, 320);
    Frames(3);
    EXPECT_FALSE(Menu()->GetActive());
    EXPECT_FALSE(State(0x4));

    // And "Beenden" (last entry, third while no quick save exists) ends the game.
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    Click(400, 386);
    bool running = true;
    for (int i = 0; i < 5 && running; i++) running = Frame();
    EXPECT_FALSE(running);
}


// Data's text (a loose line, a timer it plants in the level) switches every focus group
// off and sets the video, inventory and no-input states in every frame: Esc still opens
// the menu and closes it, F12 the tools, F5 saves.
TEST_F(DemoGameTest, NoFocusOrStateThatDataSetsTakesThePersonsKeys) {
    NewGame();
    Frames(5);
    const std::string grab =
        "for _, g in ipairs({'flash', 'video', 'diver', 'mainmenu', 'inventory', 'tools', 'hud'}) do "
        "obj('/sys/servers/logicinput').setgroupfocus(g, false) end "
        "local o = obj('/sys/servers/observer') o.setgamestate(128, true) o.setgamestate(4128, true)";
    auto* script = static_cast<nScriptServer*>(Lookup("/sys/servers/script"));
    const char* result = nullptr;
    script->RunLine(grab.c_str(), result);
    script->RunLine(("obj('/usr/logic/level1').addtimer('grab', 'loop', 0, 0.01, \"" + grab + "\")").c_str(), result);
    Frames(3);
    EXPECT_FALSE(State(0x80) || State(0x1000) || State(0x20));
    EXPECT_TRUE(GroupFocus("diver"));
    // A focus is no longer open to data at all; the timer's text reaches no object.
    EXPECT_NE(log.printed.find("'setgroupfocus' of '/sys/servers/logicinput', a command of the engine"),
              std::string::npos) << log.printed;
    EXPECT_NE(log.printed.find("the global 'obj', neither"), std::string::npos) << log.printed;
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    EXPECT_TRUE(Menu()->GetActive());
    EXPECT_TRUE(State(0x4));
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    EXPECT_FALSE(Menu()->GetActive());
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    EXPECT_EQ(StatusLine(), "Spiel gespeichert.") << log.text.substr(log.text.size() > 3000 ? log.text.size() - 3000 : 0);
    Key(SDL_SCANCODE_F12, SDLK_F12);
    Frames(2);
    EXPECT_NE(Lookup("/sys/servers/plugin/treeview"), nullptr);
}

// The menu's line reaches only its declared entry, with one of its four values and once a
// frame; anything else is refused with a log line and the menu stays as it was.
TEST_F(DemoGameTest, TheMenusLineCallsItsEntryOnlyWithItsFourValuesOnceAFrame) {
    ASSERT_TRUE(Menu()->GetActive());
    const std::pair<const char*, const char*> refused[] = {
        {"menuaction('spielen')", "'menuaction' does not take 'spielen' as its value 1"},
        {"menuaction('neu', 'beenden')", "'menuaction' takes 1 value(s), got 2"},
        {"menuaction(1)", "'menuaction' does not take '1' as its value 1"},
        {"neuesspiel()", "the global 'neuesspiel', neither"},
        {"execbuf('neuesspiel()')", "the global 'execbuf', neither"},
        {"dataentry('neuesspiel', {}) neuesspiel()", "the global 'dataentry', neither"},
    };
    for (const auto& [line, why] : refused) {
        log.text.clear();
        ASSERT_TRUE(Menu()->SetValue("Tessel_script", line));
        Frames(3);
        EXPECT_NE(log.text.find(why), std::string::npos) << line << "\n" << log.text;
        EXPECT_STREQ(game->GetLevel(), "none") << line;
        EXPECT_TRUE(Menu()->GetActive()) << line;
    }
    // Unasked: the entry answers the person's key or click, so a movie cannot start, load or
    // quit on its own.
    log.text.clear();
    ASSERT_TRUE(Menu()->SetValue("Tessel_script", "menuaction('neu')"));
    Frames(3);
    EXPECT_NE(log.text.find("'menuaction' answers the person's key or click, and none came"), std::string::npos)
        << log.text;
    EXPECT_STREQ(game->GetLevel(), "none");
    // A key the menu does not bind is no answer to it.
    Key(SDL_SCANCODE_X, SDLK_x);
    log.text.clear();
    ASSERT_TRUE(Menu()->SetValue("Tessel_script", "menuaction('beenden')"));
    ASSERT_TRUE(Frame());
    EXPECT_NE(log.text.find("'menuaction' answers the person's key or click, and none came"), std::string::npos)
        << log.text;
    // Twice in one frame right after a click on the menu (beside its entries): the first
    // starts the game, the second is refused, so the game does not end.
    Click(40, 40);
    ASSERT_TRUE(Frame());
    log.text.clear();
    ASSERT_TRUE(Menu()->SetValue("Tessel_script", "menuaction('neu') menuaction('beenden')"));
    Frames(3);
    EXPECT_NE(log.text.find("'menuaction' ran in this frame already"), std::string::npos) << log.text;
    EXPECT_STREQ(game->GetLevel(), "level1") << log.text;
    ASSERT_NE(Diver(), nullptr);
    EXPECT_TRUE(State(0x2 | 0x40));
    EXPECT_FALSE(Menu()->GetActive());
}

// A quick save's timer that would leave the level's start handler ending every later game,
// plant a timer that quits, take the diver's keys or quit at once: F9 refuses the save, and
// a new game from the menu, F5 and F9 play as before.
TEST_F(DemoGameTest, AQuickSavesTimerLeavesNoHandlerTimerOrFocusBehind) {
    NewGame();
    std::ofstream(saveDir / "schnellspeicher.n")
        << "new('npersist', 'gamestatus')\n  sel('gamestatus')\n  seti( \"gamestate\", 16450 )\n"
           "  sets( \"currlevel\", \"level1\" )\nup()\n"
           "new('npersistlogic', 'level1')\n  sel('level1')\n  sets( \"activediver\", \"diver1\" )\n"
           "  seti( \"timercount\", 1 )\n  sets( \"timer_0_name\", \"t\" )\n"
           "  sets( \"timer_0_type\", \"oneshot\" )\n"
           "  sets( \"timer_0_script\", \"local l = obj('/usr/logic/level1') "
           "l.seteventscript('onstartup', 'endlevel()') l.addtimer('more', 'loop', 0, 0.01, 'exit()') "
           "obj('/sys/servers/logicinput').setgroupfocus('diver', false) exit()\" )\n"
           "  setf( \"timer_0_time\", 0.1 )\n  setf( \"timer_0_starttime\", 0 )\n"
           "  new('npersistlogic', 'diver1')\n    sel('diver1')\n    sets( \"prototype\", \"diver\" )\n"
           "    setv( \"txyz\", 0, 4, 30, 0 )\n  up()\nup()\n";
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(10);
    // A save holds no timer: refused whole, its text never runs.
    ASSERT_EQ(StatusLine(), "Laden fehlgeschlagen.") << log.text;
    EXPECT_EQ(log.text.find("the global 'obj', neither"), std::string::npos) << log.text;
    EXPECT_EQ(game->GetCurrentLevel()->FindTimer("t"), nullptr);
    EXPECT_EQ(game->GetCurrentLevel()->FindTimer("more"), nullptr);
    EXPECT_TRUE(GroupFocus("diver"));
    // A new game from the menu ("Neues Spiel" above the lit "Weiterspielen") keeps running.
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    Key(SDL_SCANCODE_UP, SDLK_UP);
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Frames(10);
    EXPECT_STREQ(game->GetLevel(), "level1");
    ASSERT_NE(Diver(), nullptr);
    EXPECT_TRUE(State(0x2 | 0x40));
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    EXPECT_EQ(StatusLine(), "Spiel gespeichert.");
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(10);
    EXPECT_EQ(StatusLine(), "Spiel geladen.");
    EXPECT_STREQ(game->GetLevel(), "level1");
    EXPECT_TRUE(State(0x2 | 0x40));
}

// F5 keeps a good quick save when the new one would not load (data deleted the game status,
// or nested stores past the load's depth), and says so in German only: the engine's lines go
// to the log. A refused load says so too.
TEST_F(DemoGameTest, AQuickSaveThatWouldNotLoadNeverReplacesAGoodOne) {
    NewGame();
    Frames(5);
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    ASSERT_EQ(StatusLine(), "Spiel gespeichert.");
    auto slurp = [&] {
        std::stringstream text;
        text << std::ifstream(saveDir / "schnellspeicher.n").rdbuf();
        return text.str();
    };
    const std::string good = slurp();
    auto* script = static_cast<nScriptServer*>(Lookup("/sys/servers/script"));
    const char* result = nullptr;
    for (const char* spoil : {"local p = '/usr/persist/level1' for i = 1, 300 do p = p .. '/n' new('nroot', p) end",
                              "delete('/usr/persist/level1/n') delete('/usr/persist/gamestatus')"}) {
        // The console's text: a remote line may run out of its share of a busy frame first.
        ASSERT_TRUE(script->Run(spoil, result)) << log.text;
        log.shown.clear();
        Key(SDL_SCANCODE_F5, SDLK_F5);
        Frames(2);
        EXPECT_EQ(StatusLine(), "Speichern fehlgeschlagen.") << spoil;
        EXPECT_EQ(slurp(), good) << spoil;
        EXPECT_TRUE(log.shown.empty()) << log.shown.front();
    }
    EXPECT_EQ(std::string(game->GetSaveGames()), "schnellspeicher");
    // The save folder replaced by a file: the engine's lines reach only the log.
    auto* files = ks->GetFileServer<nFileServer2>();
    std::ofstream(saveDir / "file") << "x";
    ASSERT_TRUE(files->SetAssign("save", (saveDir / "file").string().append("/").c_str()));
    log.errors.clear();
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    EXPECT_EQ(StatusLine(), "Speichern fehlgeschlagen.");
    EXPECT_FALSE(log.errors.empty());
    EXPECT_TRUE(log.shown.empty()) << log.shown.front();
    ASSERT_TRUE(files->SetAssign("save", (saveDir.string() + "/").c_str()));
    // A quick save that does not load.
    std::ofstream(saveDir / "schnellspeicher.n") << "new('nroot', 'x')\n";
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(2);
    EXPECT_EQ(StatusLine(), "Laden fehlgeschlagen.");
    EXPECT_TRUE(log.shown.empty()) << log.shown.front();
}

// Whatever stands in the save folder under the names F5 writes, nothing outside changes or
// appears and the quick save is a regular file there (the old one where F5 cannot save).
TEST_F(DemoGameTest, F5WritesNothingOutsideTheSaveFolderWhateverStandsUnderItsNames) {
    const std::string good = NewGameSaved();
    const fs::path out = fs::path(testing::TempDir()) / ("bw_outside_" + std::to_string(::getpid()));
    const fs::path tmp = saveDir / ".schnellspeicher.n.tmp", quick = saveDir / "schnellspeicher.n";
    const fs::path trial = saveDir / ".schnellspeicher.n";
    // `to` empty: an empty folder.
    auto link = [&](fs::path at, fs::path to) {
        return [=] {
            fs::remove(at);
            to.empty() ? (void)fs::create_directory(at) : fs::create_symlink(to, at);
        };
    };
    const struct {
        const char* what;
        std::function<void()> lay;
        bool saves;
    } rows[] = {
        {"a link to a file outside", link(tmp, out / "victim.n"), true},
        {"a dangling link", link(tmp, out / "made.n"), true},
        {"a link to a folder outside", link(tmp, out), true},
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(tmp.c_str(), 0600), 0); }, true},
        {"an empty folder", link(tmp, {}), true},
        {"a folder holding a file", [&] { fs::create_directories(tmp / "x"); }, true},
        {"a folder holding a file under the trial name, in capitals", [&] { fs::create_directories(saveDir / ".SCHNELLSPEICHER.N" / "x"); }, true},
        {"a link under the trial name", link(trial, out / "victim.n"), true},
        {"an empty folder under the trial name", link(trial, {}), true},
        {"a link under the quick save's name", link(quick, out / "victim.n"), true},
        {"an empty folder under the quick save's name", link(quick, {}), true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        for (const fs::path& dir : {saveDir, out}) {
            fs::remove_all(dir);
            fs::create_directories(dir);
        }
        std::ofstream(out / "victim.n") << "kept";
        std::ofstream(quick) << good;
        row.lay();
        Key(SDL_SCANCODE_F5, SDLK_F5);
        Frames(2);
        EXPECT_EQ(StatusLine(), row.saves ? "Spiel gespeichert." : "Speichern fehlgeschlagen.") << log.text.substr(0, 3000);
        std::stringstream kept, now;
        kept << std::ifstream(out / "victim.n").rdbuf();
        now << std::ifstream(quick).rdbuf();
        EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 1);
        EXPECT_EQ(kept.str(), "kept");
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(quick)));
        if (!row.saves) EXPECT_EQ(now.str(), good);
    }
    fs::remove_all(out);
}

// What data makes lives only in the level and persist trees; what it leaves there does not
// make the person's F9 refuse, though it fills the bound on data's leftovers.
TEST_F(DemoGameTest, DataMakesOnlyInItsTreesAndItsLeftoversDoNotBlockTheLoad) {
    NewGame();
    Frames(5);
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    ASSERT_EQ(StatusLine(), "Spiel gespeichert.");
    auto* script = static_cast<nScriptServer*>(Lookup("/sys/servers/script"));
    const char* result = nullptr;
    script->RunLine("new('nroot', '/usr/junk')", result);
    EXPECT_EQ(Lookup("/usr/junk"), nullptr);
    EXPECT_NE(log.printed.find("'new' of an object below '/usr', outside the level and persist trees"),
              std::string::npos) << log.printed;
    // Data's leftovers up to a few objects short of the bound: the save holds more.
    // A line at a time that fits a frame's time for data on a busy machine.
    for (int i = 0; i < 400 && nObjectCount::DataLive() + 5 < nLuaRunBounds::LiveObjects; i++) {
        const uint64_t n = std::min<uint64_t>(nLuaRunBounds::LiveObjects - nObjectCount::DataLive() - 5, 100);
        const std::string fill = "for i = 1, " + std::to_string(n) + " do new('nroot', '/usr/persist/level1/f" +
                                 std::to_string(i) + "_' .. i) end";
        ASSERT_TRUE(script->RunLine(fill.c_str(), result)) << log.text;
    }
    ASSERT_NE(Lookup("/usr/persist/level1/f0_1"), nullptr);
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(2);
    EXPECT_EQ(StatusLine(), "Spiel geladen.") << log.text.substr(log.text.size() > 4000 ? log.text.size() - 4000 : 0);
    EXPECT_EQ(Lookup("/usr/persist/level1/f0_1"), nullptr);
    ASSERT_NE(Diver(), nullptr);
}

// The start menu shows its two entries, and after a quick load (which starts the movie
// afresh) Esc shows all four with "Weiterspielen" lit; in both W or Up lights the entry above
// and S or Down the one below, as the README's Controls table says, and Return follows.
TEST_F(DemoGameTest, TheMenusPictureShowsItsEntriesAndTheOneTheKeysLight) {
    const std::string dir = saveDir.string() + "/";
    ASSERT_TRUE(Run("shots = 0\n"
                    "function shot() shots = shots + 1 obj('/sys/servers/gfx').screenshot('" + dir +
                    "menu' .. shots .. '.bmp') end\n"
                    "sel('/sys/servers/input') map('keyb0:f11.down', 'test_shot') sel('/')\n"
                    "new('nlogicnode', '/usr/logic/testshot')\n"
                    "new('nlogicinput', '/usr/logic/testshot/f11')\n"
                    "sel('/usr/logic/testshot/f11') setgroup('testshot') setfocus(true)\n"
                    "addinput('test_shot', 'shot()') sel('/')\n"));
    // Each entry's box at its right end: lit orange, unlit blue-green, or none.
    int n = 0;
    auto shown = [&](SDL_Scancode scancode, SDL_Keycode sym) {
        Key(scancode, sym);
        Frames(3);
        Key(SDL_SCANCODE_F11, SDLK_F11);
        Frames(2);
        const auto rows = ReadShot(saveDir / ("menu" + std::to_string(++n) + ".bmp"));
        std::string s;
        if (rows.empty()) return s;
        const size_t w = rows[0].size(), h = rows.size();
        for (int i = 0; i < 4; i++) {
            const auto& p = rows[size_t(236 + 66 * i) * h / 600][510 * w / 800];
            s += p[0] > 200 && p[1] > 120 && p[2] < 80 ? 'L' : p[0] < 50 && p[1] > 60 && p[2] > 90 ? 'u' : '-';
        }
        return s;
    };
    // Each key and the entries it leaves lit: in the start menu, then over the game.
    using Steps = std::vector<std::tuple<SDL_Scancode, SDL_Keycode, const char*>>;
    auto walk = [&](const Steps& steps) {
        for (const auto& [code, sym, lit] : steps) EXPECT_EQ(shown(code, sym), lit) << SDL_GetKeyName(sym);
    };
    walk({{SDL_SCANCODE_S, SDLK_s, "uL--"}, {SDL_SCANCODE_W, SDLK_w, "Lu--"}, {SDL_SCANCODE_W, SDLK_w, "uL--"},
          {SDL_SCANCODE_S, SDLK_s, "Lu--"}, {SDL_SCANCODE_DOWN, SDLK_DOWN, "uL--"}, {SDL_SCANCODE_UP, SDLK_UP, "Lu--"}});
    NewGame();
    Frames(5);
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(3);
    ASSERT_EQ(StatusLine(), "Spiel geladen.");
    EXPECT_EQ(shown(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE), "uLuu");
    ASSERT_TRUE(Menu()->GetActive());
    walk({{SDL_SCANCODE_DOWN, SDLK_DOWN, "uuLu"}, {SDL_SCANCODE_UP, SDLK_UP, "uLuu"}, {SDL_SCANCODE_S, SDLK_s, "uuLu"},
          {SDL_SCANCODE_S, SDLK_s, "uuuL"}, {SDL_SCANCODE_S, SDLK_s, "Luuu"}, {SDL_SCANCODE_W, SDLK_w, "uuuL"},
          {SDL_SCANCODE_W, SDLK_w, "uuLu"}, {SDL_SCANCODE_W, SDLK_w, "uLuu"}});
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Frames(2);
    EXPECT_FALSE(Menu()->GetActive());
    EXPECT_TRUE(State(0x2 | 0x40));
}

// What "Spiel laden" and F9 report while the main menu stands over the game shows on the
// menu itself, below its entries, until an entry is chosen or the menu opens anew, and never
// on the game's status line.
TEST_F(DemoGameTest, TheMenuShowsOverItselfWhatSpielLadenAndF9Report) {
    const std::string dir = saveDir.string() + "/";
    ASSERT_TRUE(Run("shots = 0\n"
                    "function shot() shots = shots + 1 obj('/sys/servers/gfx').screenshot('" + dir +
                    "report' .. shots .. '.bmp') end\n"
                    "sel('/sys/servers/input') map('keyb0:f11.down', 'test_shot') sel('/')\n"
                    "new('nlogicnode', '/usr/logic/testshot')\n"
                    "new('nlogicinput', '/usr/logic/testshot/f11')\n"
                    "sel('/usr/logic/testshot/f11') setgroup('testshot') setfocus(true)\n"
                    "addinput('test_shot', 'shot()') sel('/')\n"));
    int shots = 0;
    // The pixels of the report's light text in the band below the entries.
    auto reported = [&] {
        Key(SDL_SCANCODE_F11, SDLK_F11);
        Frames(2);
        const auto rows = ReadShot(saveDir / ("report" + std::to_string(++shots) + ".bmp"));
        int lit = 0;
        if (rows.empty()) return -1;
        const size_t w = rows[0].size(), h = rows.size();
        for (size_t y = 512 * h / 600; y < 552 * h / 600; y++)
            for (size_t x = 170 * w / 800; x < 630 * w / 800; x++)
                lit += rows[y][x][0] > 180 && rows[y][x][1] > 140 && rows[y][x][2] < 140;
        return lit;
    };
    // At start-up, no quick save: F9 in the menu.
    ASSERT_TRUE(Menu()->GetActive());
    EXPECT_EQ(reported(), 0);
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(2);
    EXPECT_TRUE(Menu()->GetActive());
    EXPECT_EQ(MenuValue("meldung"), "Kein Spielstand vorhanden.");
    EXPECT_GT(reported(), 30);

    // The report ends with the menu: the status line of the game that follows (a new one,
    // or the one left by "Weiterspielen") never shows it.
    auto notInTheGame = [&](const char* report) {
        ASSERT_FALSE(Menu()->GetActive());
        for (int i = 0; i < 90; i++) {
            ASSERT_NE(StatusLine(), report) << "frame " << i << " of the game";
            Frames(1);
        }
    };
    // A quick save cut short, chosen with "Spiel laden": the menu stays and says so.
    NewGame();
    notInTheGame("Kein Spielstand vorhanden.");
    EXPECT_NE(MenuValue("meldung"), "Kein Spielstand vorhanden.") << "gone with the chosen entry";
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << "new('npersist', 'gamest";
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    ASSERT_TRUE(Menu()->GetActive());
    ASSERT_EQ(MenuValue("loadable"), "1");
    EXPECT_EQ(reported(), 0);
    Key(SDL_SCANCODE_DOWN, SDLK_DOWN);
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Frames(3);
    EXPECT_TRUE(Menu()->GetActive());
    EXPECT_EQ(MenuValue("meldung"), "Laden fehlgeschlagen.");
    EXPECT_GT(reported(), 30);
    // F9 over the menu reports the same; back in the game and in the menu again, it is gone.
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(2);
    EXPECT_EQ(MenuValue("meldung"), "Laden fehlgeschlagen.");
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    notInTheGame("Laden fehlgeschlagen.");
    // No quick save: F9 in the menu, then "Weiterspielen" (lit first, chosen with Return).
    fs::remove(saveDir / "schnellspeicher.n");
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(2);
    EXPECT_EQ(MenuValue("meldung"), "Kein Spielstand vorhanden.");
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Frames(2);
    notInTheGame("Kein Spielstand vorhanden.");
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    ASSERT_TRUE(Menu()->GetActive());
    EXPECT_EQ(reported(), 0);
}

// Level 1's things, played with the game's keys: E takes the nearest thing or works the
// basket and the switch, Q uses what the hand holds. The diver is put beside each thing
// as the player would swim there.
class DemoItemsTest : public DemoGameTest {
protected:
    static constexpr const char* kLevel = "/usr/logic/level1/";

    std::string L(const char* name) { return std::string(kLevel) + name; }
    template <class T>
    T* Get(const char* name) {
        nRoot* o = Lookup(L(name));
        return o ? static_cast<T*>(o) : nullptr;
    }
    nbwDiver* Active() { return static_cast<nbwDiver*>(game->GetCurrentLevel()->GetActiveDiver()); }
    // The active diver just above `x, y, z`, still, then a frame for its reach to look.
    // Its body's shapes rest for the frame it is put there: as they move, they are tested
    // along the way from the last frame, and a jump across the level would meet the rocks
    // and the door on that way.
    void SwimTo(float x, float y, float z) { Put(Active(), vector3(x, y + 0.5f, z)); }
    void Put(nbwDiver* d, const vector3& p) {
        ASSERT_NE(d, nullptr);
        std::vector<nModSimpleCollision*> body;
        for (const char* name : {"body1", "body2"}) {
            nRoot* m = Lookup(d->GetFullName() + "/" + name);
            ASSERT_NE(m, nullptr) << name;
            body.push_back(static_cast<nModSimpleCollision*>(m));
        }
        for (nModSimpleCollision* m : body) m->SetDynamic(false);
        d->SetPosition(p);
        Frames(1);
        for (nModSimpleCollision* m : body) m->SetDynamic(true);
        Frames(2);
    }
    // Beside a thing, as the player swims there: what is solid is met from +z (or the
    // basket from above), still within the diver's reach, the basket's and the vent's heat.
    void SwimTo(const char* thing) {
        nRoot* o = Lookup(L(thing));
        ASSERT_NE(o, nullptr) << thing;
        const vector3 p = static_cast<nLogicVisual2*>(o)->GetPosition() + Beside(thing);
        SwimTo(p.x, p.y, p.z);
    }
    static vector3 Beside(const std::string& thing) {
        static const std::map<std::string, vector3> beside = {
            {"heap", vector3(0.0f, 0.0f, 3.1f)},  {"kiste", vector3(0.0f, 0.6f, 1.6f)},
            {"switch", vector3(0.0f, 0.0f, 1.3f)}, {"basket", vector3(0.0f, 1.3f, 0.0f)},
            {"vent", vector3(0.0f, 0.5f, 2.2f)}};
        const auto at = beside.find(thing);
        return at == beside.end() ? vector3() : at->second;
    }
    void E() {
        Key(SDL_SCANCODE_E, SDLK_e);
        Frames(2);
    }
    void Q() {
        Key(SDL_SCANCODE_Q, SDLK_q);
        Frames(2);
    }
    std::string Hand() {
        nRoot* h = Active()->GetPath(nbwDiver::Hand);
        return h ? h->GetFullName() : "none";
    }
    float Life(const char* diver) { return Get<nbwDiver>(diver)->GetStat(nbwDiver::LifePoints); }
    // A press of the left button at (x, y), held for two frames.
    void MouseClick(int x, int y) {
        Push(bwtest::sdl::Motion(window, x, y, 0, 0));
        Frames(1);
        Push(bwtest::sdl::Button(window, SDL_BUTTON_LEFT, true, x, y));
        Frames(2);
        Push(bwtest::sdl::Button(window, SDL_BUTTON_LEFT, false, x, y));
        Frames(2);
    }
    // The only errors logged name files the installation does not hold yet.
    void ExpectOnlyMissingFilesLogged() {
        for (const std::string& e : log.errors) {
            bool named = false;
            for (const char* file : kDataFiles)
                named = named || (!Installed(file) && e.find(fs::path(file).filename().string()) != std::string::npos);
            EXPECT_TRUE(named) << e;
        }
        // A script that failed logs its traceback.
        EXPECT_EQ(log.text.find("stack traceback"), std::string::npos) << log.text;
    }
    std::string SaveText() {
        std::stringstream text;
        text << std::ifstream(saveDir / "schnellspeicher.n").rdbuf();
        return text.str();
    }
    // Level 1's items route from a new game: every thing taken and used, then F5, changes,
    // and F9 bringing back what F5 saved.
    void PlayItemsRoute() {
        NewGame();
        Frames(5);
        // E takes the camera into the hand; Q photographs.
        SwimTo("fotoapparat");
        E();
        ASSERT_EQ(Hand(), L("diver1/inventory/fotoapparat")) << log.text;
        EXPECT_EQ(StatusLine(), "Fotoapparat genommen.");
        // The held-item panel draws the new thing's German name in the next frame.
        Frames(1);
        const char* shown = static_cast<nLogicFlash*>(Lookup("/usr/logic/uwmenu/inventory"))->GetValue("_root.shown");
        EXPECT_STREQ(shown ? shown : "<null>", "Fotoapparat");
        auto* camera = Get<nbwDokuTool>("diver1/inventory/fotoapparat");
        EXPECT_FALSE(camera->GetVisible());
        Q();
        Frames(2);
        EXPECT_GE(camera->GetDokumentation(), 0.5f);

        // Near the fish: it goes for the diver and bites.
        const float lifeBefore = Life("diver1");
        bool bitten = false;
        for (int i = 0; i < 120 && !bitten; i++) {
            Active()->SetPosition(Get<nbwFish>("fishbox/fish")->GetPosition() +
                                  Get<nLogicVisual2>("fishbox")->GetPosition());
            ASSERT_TRUE(Frame());
            bitten = StatusLine() == "Taucher 1: Ein Fisch greift an!";
        }
        EXPECT_TRUE(bitten);
        Frames(2);
        EXPECT_LT(Life("diver1"), lifeBefore);

        // The cutter opens the door.
        SwimTo("cutter");
        E();
        ASSERT_EQ(Hand(), L("diver1/inventory/cutter"));
        SwimTo("door");
        Q();
        Frames(60);
        EXPECT_EQ(Get<nbwOpenable>("door")->GetOpenStatus(), 1.0f);
        // It has swung open about its hinge, and is nothing to take any more.
        EXPECT_LT(Get<nbwItem>("door")->GetQuaternion().w, 0.8f);
        EXPECT_FALSE(Get<nbwItem>("door")->GetHandlerActive("collision", "item")) << "door_open ran";

        // The sand remover behind it sweeps the heap and uncovers the air bag.
        SwimTo("sandremover");
        E();
        ASSERT_EQ(Hand(), L("diver1/inventory/sandremover"));
        SwimTo("heap");
        // The heap takes the cutter as a door does: its armor must hold the cut off.
        ASSERT_TRUE(Run("obj('" + L("diver1") + "').setpath('hand', 'inventory/cutter')"));
        Q();
        Frames(75);
        EXPECT_EQ(Get<nbwSandHeap>("heap")->GetSweepValue(), 0.0f);
        EXPECT_FALSE(Get<nbwItem>("luftsack")->GetVisible());
        ASSERT_TRUE(Run("obj('" + L("diver1") + "').setpath('hand', 'inventory/sandremover')"));
        Q();
        Frames(75);
        EXPECT_EQ(Get<nbwSandHeap>("heap")->GetSweepValue(), 1.0f);
        EXPECT_LT(Get<nbwItem>("heap")->GetScale().y, 0.1f) << "swept flat";
        EXPECT_TRUE(Get<nbwItem>("luftsack")->GetVisible());

        // The crate is too heavy to carry: the message, and it stays.
        SwimTo("kiste");
        E();
        EXPECT_EQ(StatusLine(), "Das lässt sich nicht tragen.");
        EXPECT_EQ(ClassOf(L("kiste")), "nbwitem");
        // The air bag lifts it away to the camp.
        SwimTo("luftsack");
        E();
        ASSERT_EQ(Hand(), L("diver1/inventory/luftsack"));
        SwimTo("kiste");
        Q();
        Frames(2);
        EXPECT_EQ(Lookup(L("kiste")), nullptr);
        EXPECT_EQ(Lookup("/usr/persist/level1/kiste"), nullptr);
        EXPECT_EQ(ClassOf("/usr/persist/camp/kiste"), "npersistlogic");
        // Its look rises for two seconds, then goes.
        EXPECT_EQ(ClassOf(L("aufstieg1/ding")), "nlogicvisual2");
        Frames(30);
        if (auto* rising = Get<nLogicVisual2>("aufstieg1/ding")) {
            EXPECT_GT(rising->GetPosition().y, 2.0f) << "risen after a second";
        }
        Frames(45);
        EXPECT_EQ(Lookup(L("aufstieg1")), nullptr);
        EXPECT_EQ(Lookup(L("diver1/inventory/luftsack")), nullptr) << "used up";
        EXPECT_EQ(Hand(), L("diver1/inventory/hand"));

        // The camera goes into the basket; the bare hand opens its screen.
        ASSERT_TRUE(Run("obj('" + L("diver1") + "').setpath('hand', 'inventory/fotoapparat')"));
        SwimTo("basket");
        E();
        EXPECT_EQ(ClassOf(L("basket/inventory/fotoapparat")), "nbwdokutool") << log.text;
        EXPECT_EQ(StatusLine(), "In den Korb gelegt.");
        EXPECT_EQ(Hand(), L("diver1/inventory/hand"));
        E();
        Frames(5);
        EXPECT_TRUE(Get<nbwElevator>("basket")->IsOpen());
        EXPECT_TRUE(static_cast<nLogicNode*>(Lookup(L("basket/selection")))->GetActive());
        // Esc closes the screen and gives the diver its keys back.
        Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
        Frames(3);
        EXPECT_FALSE(Get<nbwElevator>("basket")->IsOpen());
        EXPECT_FALSE(Menu()->GetActive());
        EXPECT_TRUE(static_cast<nLogicInput*>(Lookup(L("diver1/input")))->GetFocus());

        // Tab: the second diver; it works the switch and the chamber's water runs out.
        Key(SDL_SCANCODE_TAB, SDLK_TAB);
        Frames(3);
        ASSERT_EQ(Active(), Get<nbwDiver>("diver2"));
        EXPECT_EQ(StatusLine(), "Taucher 2");
        // A click on diver1's figure switches back with the same message; Tab again.
        Click(90, 540);
        Frames(4);
        EXPECT_EQ(Active(), Get<nbwDiver>("diver1"));
        EXPECT_EQ(StatusLine(), "Taucher 1");
        Key(SDL_SCANCODE_TAB, SDLK_TAB);
        Frames(3);
        ASSERT_EQ(Active(), Get<nbwDiver>("diver2"));
        SwimTo("switch");
        E();
        Frames(5 * 30);
        auto* water = Get<nbwWater>("chamber/chamberwater");
        EXPECT_LE(water->GetWaterstand(), 0.5f);
        EXPECT_FALSE(water->GetFading());
        EXPECT_LT(water->GetScale().y, 0.2f) << "its block sank with it";
        EXPECT_EQ(StatusLine(), "Das Wasser ist abgelaufen.");

        // In the vent the health falls frame by frame and the warning shows.
        SwimTo("vent");
        float life = Life("diver2");
        bool warned = false;
        for (int i = 0; i < 8 * 30; i++) {
            ASSERT_TRUE(Frame());
            EXPECT_LT(Life("diver2"), life);
            life = Life("diver2");
            warned = warned || StatusLine() == "Taucher 2: Vorsicht: Die Gesundheit des Tauchers ist schwach!";
            if (warned) break;
        }
        EXPECT_TRUE(warned);
        SwimTo(0.0f, 4.0f, 0.0f);

        // F5, then changes, then F9: everything as saved.
        const vector3 at1 = Get<nbwDiver>("diver1")->GetPosition();
        const vector3 at2 = Get<nbwDiver>("diver2")->GetPosition();
        Key(SDL_SCANCODE_F5, SDLK_F5);
        Frames(2);
        const std::string text = SaveText();
        for (const char* stored : {"\"openstatus\", 1", "\"sweepvalue\", 1", "\"waterstand\", 0.", "camp", "kiste",
                                   "fotoapparat", "diver2"})
            EXPECT_NE(text.find(stored), std::string::npos) << stored << "\n" << text;
        ASSERT_TRUE(Run("obj('" + L("door") + "').setopen(false) obj('" + L("heap") +
                        "').setsweepvalue(0) obj('" + L("chamber/chamberwater") + "').setwaterstand(3)"));
        Get<nbwDiver>("diver2")->SetPosition(vector3(20.0f, 4.0f, 20.0f));
        Key(SDL_SCANCODE_TAB, SDLK_TAB);
        Frames(3);
        ASSERT_EQ(Active(), Get<nbwDiver>("diver1"));
        Key(SDL_SCANCODE_F9, SDLK_F9);
        Frames(3);
        ASSERT_STREQ(game->GetLevel(), "level1") << log.text;
        EXPECT_EQ(Get<nbwOpenable>("door")->GetOpenStatus(), 1.0f);
        EXPECT_EQ(Get<nbwSandHeap>("heap")->GetSweepValue(), 1.0f);
        EXPECT_EQ(Lookup(L("kiste")), nullptr);
        EXPECT_NE(Lookup("/usr/persist/camp/kiste"), nullptr);
        EXPECT_NE(Lookup(L("basket/inventory/fotoapparat")), nullptr);
        EXPECT_NE(Lookup(L("diver1/inventory/cutter")), nullptr);
        EXPECT_NE(Lookup(L("diver1/inventory/sandremover")), nullptr);
        EXPECT_LE(Get<nbwWater>("chamber/chamberwater")->GetWaterstand(), 0.5f);
        EXPECT_LT(Get<nbwWater>("chamber/chamberwater")->GetScale().y, 0.2f);
        EXPECT_LT(Get<nbwItem>("door")->GetQuaternion().w, 0.8f);
        EXPECT_EQ(Active(), Get<nbwDiver>("diver2"));
        EXPECT_LT((Get<nbwDiver>("diver1")->GetPosition() - at1).Len(), 0.05f);
        EXPECT_LT((Get<nbwDiver>("diver2")->GetPosition() - at2).Len(), 0.05f);
        // The level's sounds were opened from the archives.
        for (const char* sound : {"home_sounds_use_wav", "home_sounds_door_wav", "home_sounds_bite_wav"})
            EXPECT_NE(Lookup(std::string("/sys/share/audio/") + sound), nullptr) << sound;
        ExpectOnlyMissingFilesLogged();
    }
};

TEST_F(DemoItemsTest, StartUpAndNewGameBuildThePrototypesStoresAndTheMapsThings) {
    const std::map<std::string, std::string> classes = {
        {"fotoapparat", "nbwdokutool"}, {"cutter", "nbwcuttool"}, {"sandremover", "nbwsandremover"},
        {"luftsack", "nbwitem"},        {"kiste", "nbwitem"},     {"door", "nbwdoor"},
        {"heap", "nbwsandheap"},        {"switch", "nbwswitch"},  {"basket", "nbwelevator"},
        {"water", "nbwwater"}};
    for (const auto& [name, cls] : classes) {
        EXPECT_EQ(ClassOf("/usr/prototypes/" + name), cls) << name;
        if (cls != "nbwelevator" && cls != "nbwwater") {
            EXPECT_STREQ(static_cast<nbwItem*>(Lookup("/usr/prototypes/" + name))->GetString(nbwItem::Type),
                         name.c_str());
        }
    }
    for (const char* part : {"static/slot1", "selection", "selector", "menuinput"})
        EXPECT_NE(Lookup(std::string("/usr/prototypes/basket/") + part), nullptr) << part;
    EXPECT_EQ(ClassOf("/usr/prototypes/basket/selection"), "nlogicflash");
    EXPECT_EQ(ClassOf("/usr/prototypes/basket/menuinput"), "nlogicinput");

    NewGame();
    Frames(5);
    const std::map<std::string, std::string> placed = {
        {"fotoapparat", "nbwdokutool"}, {"cutter", "nbwcuttool"},    {"sandremover", "nbwsandremover"},
        {"luftsack", "nbwitem"},        {"kiste", "nbwitem"},        {"door", "nbwdoor"},
        {"heap", "nbwsandheap"},        {"switch", "nbwswitch"},     {"basket", "nbwelevator"},
        {"chamber/chamberwater", "nbwwater"}, {"diver2", "nbwdiver"},      {"basket/inventory", "nbwcontainer"},
        {"diver2/inventory/hand", "nbwitem"}, {"fishbox/fish", "nbwfish"}, {"vent", "nbwdamagezone"}};
    for (const auto& [name, cls] : placed) {
        EXPECT_EQ(ClassOf(L(name.c_str())), cls) << name;
        if (name.find("fish") == std::string::npos && name != "vent") {
            EXPECT_EQ(ClassOf("/usr/persist/level1/" + name), "npersistlogic") << name;
        }
    }
    // The level starts with the first diver; the basket counts among its divers but the
    // display shows it as a device.
    EXPECT_EQ(Active(), Diver());
    EXPECT_FALSE(Get<nbwDiver>("basket")->GetFlag(nbwDiver::Human));
    EXPECT_EQ(Get<nbwWater>("chamber/chamberwater")->GetWaterstand(), 3.0f);
    EXPECT_FALSE(Get<nbwItem>("luftsack")->GetVisible()) << "buried in the heap";
    ExpectOnlyMissingFilesLogged();
}

// Level 1's bubbles and shadows: the vent's and the divers' emitters run, the divers, the
// fish, the vent and the crate cast from their meshes' edges, the sun's shadows fall on
// a display with a stencil buffer in the shadow control's colour, and the frames log no
// error.
TEST_F(DemoItemsTest, NewGameBubblesAtTheVentAndTheSunsShadowsDrawWithoutAnError) {
    NewGame();
    Frames(30);
    // The looks as the visualizers show them (each its copy of the template).
    const std::string vent = "/usr/modules/vent/ref_vent/bubbles/", breath = L("diver1/look/ref_look/breath/");
    for (const auto& [path, cls] : std::map<std::string, std::string>{{vent + "emitter", "nareaemitter"},
                                                                      {vent + "sprites", "nspriterender"},
                                                                      {breath + "emitter", "npointemitter"},
                                                                      {breath + "sprites", "nspriterender"}}) {
        ASSERT_EQ(ClassOf(path), cls) << path;
    }
    // Drawn: an emitter takes its particle buffer the first frame it is computed.
    for (const std::string& e : {vent + "emitter", breath + "emitter"})
        EXPECT_NE(static_cast<nPServEmitter*>(Lookup(e))->GetEmitterId(), 0u) << e;

    auto* shadow = static_cast<nSBufShadowServer*>(Lookup("/sys/servers/shadow"));
    ASSERT_TRUE(shadow->IsA("nsbufshadowserver"));
    EXPECT_TRUE(shadow->GetCastShadows());
    EXPECT_GT(gfx->GetStencilBits(), 0);
    for (const char* mesh : {"diver", "fish", "vent", "crate"}) {
        const std::string name = std::string("home:meshes/") + mesh + ".n3d_rw";
        nShadowCaster* caster = shadow->FindCaster(name.c_str());
        ASSERT_NE(caster, nullptr) << name;
        EXPECT_GT(caster->GetNumEdges(), 0) << name;
    }
    EXPECT_EQ(shadow->FindCaster("home:meshes/seabed.n3d_rw"), nullptr) << "the seabed only receives";
    Frames(1);
    EXPECT_TRUE(shadow->IsLightSet());
    EXPECT_GT(shadow->GetNumEdges(), 0);
    float r, g, b, a;
    shadow->GetShadowColor(r, g, b, a);
    EXPECT_NEAR(a, 0.45f, 1e-4f);
    EXPECT_EQ(log.text.find("no stencil buffer"), std::string::npos);
    ExpectOnlyMissingFilesLogged();
}

// The vent's bubbles rise within a second of game time after F9, whether the game before
// the load ran longer than the saved one or shorter: its emitter keeps its particles across
// the load, and the vent's clock starts again with the loaded level.
TEST_F(DemoItemsTest, TheVentsBubblesRiseWithinASecondOfALoadAfterALongerOrAShorterGame) {
    NewGame();
    Frames(3 * 30);
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    ASSERT_EQ(StatusLine(), "Spiel gespeichert.");
    auto* emitter = static_cast<nPServEmitter*>(Lookup("/usr/modules/vent/ref_vent/bubbles/emitter"));
    auto* particles = static_cast<nParticleServer*>(Lookup("/sys/servers/particle"));
    // Frames after F9 until a bubble born since the load on the vent's clock is read, at
    // most two seconds'.
    auto framesToABubble = [&] {
        Key(SDL_SCANCODE_F9, SDLK_F9);
        auto* vent = Get<nLogicVisual2>("vent");
        const float loaded = vent->GetTime();
        for (int i = 0; i < 2 * 30; i++) {
            if (!Frame()) return -1;
            nParticleBuffer* b = particles->FindBuffer(0, emitter->GetEmitterId());
            for (int k = 0; b && k < b->GetCount(); k++) {
                if (b->At(k).birthTime >= loaded && b->At(k).birthTime <= vent->GetTime()) return i;
            }
        }
        return 2 * 30;
    };
    // 13 s of play after a save made at 3 s; then 2 s after that load.
    Frames(10 * 30);
    EXPECT_LE(framesToABubble(), 30) << "after a longer game";
    Frames(60);
    EXPECT_LE(framesToABubble(), 30) << "after a shorter game";
}

TEST_F(DemoItemsTest, TakingAndUsingEveryThingOfTheLevelThenSaveChangeAndLoadBringItBack) {
    ASSERT_NO_FATAL_FAILURE(PlayItemsRoute());
}

// Every flow of the shipped game's data, with data's refusals watched: the menu's line
// (a new game by Return, "Weiterspielen" by a click, "Spiel laden", "Beenden") and level 1's
// items route with its F5 and F9. Data's text
// is refused nothing, and nothing beneath its environment is asked for.
TEST_F(DemoItemsTest, EveryShippedDataFlowRunsWithoutARefusal) {
    const uint64_t breaches = nScriptServer::DataTextBreaches();
    ASSERT_NO_FATAL_FAILURE(PlayItemsRoute());
    // A save holds no text to run: the stores' no-action texts are read, never run.
    EXPECT_EQ(log.text.find("no action while loading"), std::string::npos);
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    ASSERT_TRUE(Menu()->GetActive());
    Click(400, 320);  // "Weiterspielen"
    Frames(3);
    EXPECT_FALSE(Menu()->GetActive());
    EXPECT_TRUE(State(0x2 | 0x40));
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    Key(SDL_SCANCODE_DOWN, SDLK_DOWN);  // "Spiel laden"
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Frames(3);
    // The status line may show the weak diver's warning over "Spiel geladen." by now.
    EXPECT_FALSE(Menu()->GetActive());
    EXPECT_STREQ(game->GetLevel(), "level1");
    EXPECT_TRUE(State(0x2 | 0x40));
    for (const char* refusal : {"refused to script text that data brought", "refused while a data file loads",
                                "of data's text refused", "stack traceback"}) {
        EXPECT_EQ(log.text.find(refusal), std::string::npos) << refusal << "\n" << log.text;
    }
    EXPECT_EQ(nScriptServer::DataTextBreaches(), breaches);
    // "Beenden", the fourth entry now.
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    Click(400, 450);
    bool running = true;
    for (int i = 0; i < 5 && running; i++) running = Frame();
    EXPECT_FALSE(running);
}


TEST_F(DemoItemsTest, TheMouseSwitchesDiversByTheirFiguresTakesFromTheInventoryBarAndFromTheBasket) {
    NewGame();
    Frames(5);
    SwimTo("cutter");
    E();
    ASSERT_EQ(Hand(), L("diver1/inventory/cutter"));

    // The human divers' figures in the divers' order: the first diver's first, each with
    // the help to switch over it.
    Push(bwtest::sdl::Motion(window, 125, 535, 0, 0));
    Frames(2);
    EXPECT_EQ(StatusLine(), "Taucher wechseln");
    Push(bwtest::sdl::Motion(window, 30, 560, 0, 0));
    Frames(2);
    EXPECT_EQ(StatusLine(), " ") << "the seabed left of the figures";
    MouseClick(125, 550);
    Frames(2);
    EXPECT_EQ(Active(), Get<nbwDiver>("diver2"));
    MouseClick(90, 550);
    Frames(2);
    ASSERT_EQ(Active(), Diver());

    // I slides the inventory bar in and out (the bar has the keys while it is open).
    Key(SDL_SCANCODE_I, SDLK_i);
    Frames(10);
    ASSERT_TRUE(State(0x1000));
    EXPECT_FALSE(GroupFocus("diver"));
    Key(SDL_SCANCODE_I, SDLK_i);
    Frames(10);
    ASSERT_FALSE(State(0x1000));
    EXPECT_TRUE(GroupFocus("diver"));
    // The selector let go on the leftmost slot takes its entry, the bare hand, into the
    // hand and closes the bar.
    Key(SDL_SCANCODE_I, SDLK_i);
    Frames(10);
    EXPECT_TRUE(State(0x1000));
    MouseClick(425, 550);
    Frames(3);
    EXPECT_EQ(Hand(), L("diver1/inventory/hand"));
    EXPECT_FALSE(State(0x1000));

    // The basket's screen: the cutter goes in, the bare hand opens the screen, and a
    // click on the selector resting on the first slot takes the cutter back out.
    ASSERT_TRUE(Run("obj('" + L("diver1") + "').setpath('hand', 'inventory/cutter')"));
    SwimTo("basket");
    E();
    ASSERT_NE(Lookup(L("basket/inventory/cutter")), nullptr);
    E();
    Frames(5);
    ASSERT_TRUE(Get<nbwElevator>("basket")->IsOpen());
    EXPECT_FALSE(GroupFocus("diver") && static_cast<nLogicInput*>(Lookup(L("diver1/input")))->GetFocus());
    MouseClick(300, 290);
    Frames(5);
    EXPECT_NE(Lookup(L("diver1/inventory/cutter")), nullptr) << log.text;
    EXPECT_EQ(Lookup(L("basket/inventory/cutter")), nullptr);
    EXPECT_EQ(StatusLine(), "Aus dem Korb genommen.");
    EXPECT_FALSE(Get<nbwElevator>("basket")->IsOpen());
    Frames(3);
    EXPECT_TRUE(static_cast<nLogicInput*>(Lookup(L("diver1/input")))->GetFocus()) << "the keys are the diver's again";
    ExpectOnlyMissingFilesLogged();
}


TEST_F(DemoItemsTest, AQuickSaveThatDoesNotLoadSwitchesNoDiver) {
    NewGame();
    Frames(5);
    Key(SDL_SCANCODE_TAB, SDLK_TAB);
    Frames(3);
    ASSERT_EQ(Active(), Get<nbwDiver>("diver2"));
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    ASSERT_NE(SaveText().find("activediver"), std::string::npos);
    Key(SDL_SCANCODE_TAB, SDLK_TAB);
    Frames(3);
    ASSERT_EQ(Active(), Diver());
    // A save cut short: the load fails, the level runs on with the diver the player has.
    std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << "new('npersist', 'gamest";
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(3);
    EXPECT_STREQ(game->GetLevel(), "level1");
    EXPECT_EQ(Active(), Diver());
}

// ---- level 1 as a player meets it

class DemoLevelTest : public DemoItemsTest {
protected:
    // From now on Said() gives what the status line was given since its last call, each
    // message followed by "|".
    void ListenToStatusLine() {
        ASSERT_TRUE(Run("said = '' local show = displaymessage "
                        "function displaymessage(t, s, k) said = said .. tostring(t) .. '|' show(t, s, k) end"));
    }
    std::string Said() {
        lua_State* L = static_cast<nLuaServer2*>(Lookup("/sys/servers/script"))->GetState();
        lua_getglobal(L, "said");
        std::string text = lua_isstring(L, -1) ? lua_tostring(L, -1) : "<none>";
        lua_pop(L, 1);
        EXPECT_TRUE(Run("said = ''"));
        return text;
    }
    // Plays up to `frames` frames while diver1 stays where it is: the frame its health warning
    // came in and the frame it passed out in (its health given back), -1 for what did not come.
    void WatchUntilPassedOut(int frames, int& warned, int& passedOut) {
        const std::string warning = "Taucher 1: Vorsicht: Die Gesundheit des Tauchers ist schwach!";
        warned = passedOut = -1;
        for (int i = 0; i < frames && passedOut < 0; i++) {
            const float life = Life("diver1");
            ASSERT_TRUE(Frame());
            if (warned < 0 && StatusLine() == warning) warned = i;
            if (Life("diver1") > life + 0.3f) passedOut = i;
        }
    }
    // The rocks of level 1, each made solid by "<name>_solid".
    std::vector<std::string> Rocks() {
        std::vector<std::string> out;
        for (nRoot* c = Lookup(kLevel)->GetHead(); c; c = c->GetSucc()) {
            const std::string name = c->GetName();
            if (Lookup(L((name + "_solid").c_str())) && name != "seabed") out.push_back(name);
        }
        return out;
    }
    // A rock's mesh is a lumpy ball about its size across, its middle 0.7 of it above its foot.
    vector3 Middle(const std::string& rock) {
        auto* r = Get<nLogicVisual2>(rock.c_str());
        return r->GetPosition() + vector3(0.0f, 0.7f * r->GetScale().x, 0.0f);
    }
    bool Crosses(const std::string& solid, const vector3& a, const vector3& b) {
        for (nRoot* m = Lookup(L(solid.c_str()))->GetHead(); m; m = m->GetSucc()) {
            if (!m->IsA("nmodsimplecollision")) continue;
            const nCollideObject2& o = static_cast<nModSimpleCollision*>(m)->GetCollObject();
            nCollideShape2* shape = o.shape.GetUnsafe();
            nCollideReportBuffer buffer;
            buffer.Begin(COLLTYPE_CONTACT);
            if (shape && shape->LineCheck(o.curMatrix, line3(a, b), &buffer, vector3())) return true;
        }
        return false;
    }
    // The rock `p` lies in (no way out to its middle crosses its skin), "seabed" below the
    // seabed, "" in open water.
    std::string SolidAt(const vector3& p) {
        for (const std::string& rock : Rocks()) {
            const vector3 mid = Middle(rock);
            if ((p - mid).Len() < 4.0f * Get<nLogicVisual2>(rock.c_str())->GetScale().x &&
                !Crosses(rock + "_solid", p, mid)) {
                return rock;
            }
        }
        return Crosses("seabed_solid", p, p + vector3(0.0f, 100.0f, 0.0f)) ? "seabed" : "";
    }
    // The camera in open water, with the diver's place and heading for the message.
    // Nor beyond a wall of the basin from its diver.
    void ExpectCameraFree(const std::string& where) {
        const vector3 c = Get<nbwCamera>("cam")->GetMatrix().Translation();
        EXPECT_EQ(SolidAt(c), "") << where << ", camera at " << c.x << " " << c.y << " " << c.z;
        EXPECT_FALSE(Crosses("basin_solid", Active()->GetPosition(), c))
            << where << ", camera beyond the basin's walls, at " << c.x << " " << c.y << " " << c.z;
    }
    // The camera in open water, at least `near` off the active diver and facing it.
    void ExpectDiverInView(const std::string& where, float near) {
        ExpectCameraFree(where);
        const matrix44& c = Get<nbwCamera>("cam")->GetMatrix();
        const vector3 toDiver = Active()->GetPosition() - c.Translation();
        const vector3 ahead(-c.m[2][0], -c.m[2][1], -c.m[2][2]);
        EXPECT_GE(toDiver.Len(), near) << where;
        EXPECT_GT(toDiver % ahead, 0.8f * toDiver.Len() * ahead.Len()) << where;
    }
    // The active diver at `p` turned `heading` radians about y (0 faces -z), for `frames`.
    void Park(const vector3& p, float heading, int frames) {
        Active()->SetRotation(0.0f, heading, 0.0f);
        SwimTo(p.x, p.y - 0.5f, p.z);
        Frames(frames);
    }
    // The line a-b crosses the surface of the collision module at `module` (a level path).
    bool CrossesModule(const std::string& module, const vector3& a, const vector3& b) {
        nRoot* m = Lookup(L(module.c_str()));
        if (!m || !m->IsA("nmodsimplecollision")) return false;
        const nCollideObject2& o = static_cast<nModSimpleCollision*>(m)->GetCollObject();
        nCollideShape2* shape = o.shape.GetUnsafe();
        nCollideReportBuffer buffer;
        buffer.Begin(COLLTYPE_CONTACT);
        return shape && shape->LineCheck(o.curMatrix, line3(a, b), &buffer, vector3());
    }
    // The things that look solid besides the rocks: each its solid's module, a point inside
    // it (from the thing's place), the side it is met from (clear of the seabed's hills), the
    // height it is met at, and how far from the inside point a diver is clear of it.
    struct Solid {
        const char* thing;
        const char* module;
        vector3 inside;
        vector3 side;
        float height;
        float clear;
    };
    static std::vector<Solid> Solids() {
        return {{"heap", "heap/solid", vector3(0.0f, 0.3f, 0.0f), vector3(0.0f, 0.0f, 1.0f), 0.3f, 3.4f},
                {"kiste", "kiste/solid", vector3(0.0f, 0.5f, 0.0f), vector3(-1.0f, 0.0f, 0.0f), 0.6f, 2.2f},
                {"switch", "switch/solid", vector3(0.0f, 0.4f, -0.1f), vector3(0.0f, 0.0f, 1.0f), 0.4f, 2.0f},
                {"basket", "basket/solid", vector3(0.0f, 0.6f, 0.0f), vector3(0.0f, 0.0f, 1.0f), 0.6f, 2.6f},
                {"vent", "vent/solid", vector3(0.0f, 0.6f, 0.0f), vector3(0.0f, 0.0f, 1.0f), 1.0f, 2.4f}};
    }
    // The heading that faces a thing met from `side`.
    static float Facing(const vector3& side) { return std::atan2(-side.x, side.z); }
    vector3 Inside(const Solid& s) { return Get<nLogicVisual2>(s.thing)->GetPosition() + s.inside; }
    // Both spheres of the active diver's body lie outside the solid `s`.
    bool BodyOutside(const Solid& s) {
        const matrix44& m = Active()->GetMatrix();
        const vector3 ahead(m.m[2][0], m.m[2][1], m.m[2][2]);
        for (float along : {-0.45f, 0.45f}) {
            if (!CrossesModule(s.module, m.Translation() + ahead * along, Inside(s))) return false;
        }
        return true;
    }
    float FromStart(const vector3& p) {
        return std::min((p - Get<nLogicVisual2>("start1")->GetPosition()).Len(),
                        (p - Get<nLogicVisual2>("start2")->GetPosition()).Len());
    }
    // What the drawn view at `c` is in: a rock, "seabed", the switch, or a diver's body (its
    // two spheres of 0.45 with the near plane's 0.1, grown by `skin`); "" in open water.
    std::string ViewIn(const vector3& c, float skin) {
        const std::string solid = SolidAt(c);
        if (!solid.empty()) return solid;
        if (!CrossesModule("switch/solid", c, Get<nLogicVisual2>("switch")->GetPosition() + vector3(0, 0.4f, -0.1f)))
            return "switch";
        for (const char* name : {"diver1", "diver2"}) {
            const matrix44& m = Get<nbwDiver>(name)->GetMatrix();
            for (float z : {-0.45f, 0.45f})
                if ((c - m.Translation() - vector3(m.m[2][0], m.m[2][1], m.m[2][2]) * z).Len() < 0.55f + skin)
                    return name;
        }
        return "";
    }
    // The solid between `a` and `b`, "" when none: a rock, the seabed, the basin or the switch.
    std::string SolidBetween(const vector3& a, const vector3& b) {
        for (const std::string& rock : Rocks())
            if (Crosses(rock + "_solid", a, b)) return rock;
        for (const char* solid : {"seabed_solid", "basin_solid"})
            if (Crosses(solid, a, b)) return solid;
        return CrossesModule("switch/solid", a, b) ? "switch" : "";
    }
    float SeabedAt(float x, float z) {
        float lo = -3.0f, hi = 3.0f;
        for (int i = 0; i < 20; i++) {
            const float mid = 0.5f * (lo + hi);
            (Crosses("seabed_solid", vector3(x, 20.0f, z), vector3(x, mid, z)) ? lo : hi) = mid;
        }
        return hi;
    }
    // The picture just drawn, read back.
    std::vector<std::vector<std::array<int, 3>>> Shot() {
        const fs::path file = saveDir / "view.bmp";
        EXPECT_TRUE(gfx->Screenshot(file.string().c_str()));
        return ReadShot(file);
    }
    // Whether a picture is one flat colour above the heads-up display: all but a few of a
    // grid of probes within a small step of the first one's colour.
    static bool Flat(const std::vector<std::vector<std::array<int, 3>>>& rows) {
        if (rows.size() < 500) return false;
        const std::array<int, 3> first = rows[20][20];
        int off = 0, n = 0;
        for (size_t y = 20; y < 500; y += 30) {
            for (size_t x = 20; x + 20 < rows[y].size(); x += 40, n++) {
                int d = 0;
                for (int k = 0; k < 3; k++) d = std::max(d, std::abs(rows[y][x][k] - first[k]));
                off += d > 16;
            }
        }
        return off * 20 < n;
    }
    // How many pixels the active diver changes in the picture of the next frame.
    int DiverPixels() {
        std::vector<std::vector<std::array<int, 3>>> rows[2];
        for (bool visible : {true, false}) {
            Active()->SetVisible(visible);
            Frames(1);
            rows[visible] = Shot();
        }
        Active()->SetVisible(true);
        int n = 0;
        for (size_t y = 0; y < rows[0].size() && rows[0].size() == rows[1].size(); y++)
            for (size_t x = 0; x < rows[0][y].size(); x++) n += rows[0][y][x] != rows[1][y][x];
        return n;
    }
    // The corners of the view's near plane (0.1 off, 0.1 across) stay under the basin at
    // `c`: else the surface cuts a flat band off the picture's top.
    void ExpectNearPlaneUnderTheSurface(const vector3& c, const std::string& where) {
        EXPECT_FALSE(Crosses("basin_solid", c, c + vector3(0.0f, 0.171f, 0.0f))) << where << ", view at y " << c.y;
    }
    // The drawn view as a player meets it at rest: in open water, at least the camera's near
    // distance of 2.5 off the active diver with nothing solid between, the diver ahead in
    // the view and in the picture.
    void ExpectViewAtRest(const std::string& where) {
        const matrix44 view = gfx->GetMatrix(nGfxServer::VIEWER);
        const vector3 c = view.Translation(), mid = Active()->GetPosition();
        std::ostringstream o;
        o << where << ", view at " << c.x << " " << c.y << " " << c.z << ", diver at " << mid.x << " " << mid.y << " "
          << mid.z;
        const std::string at = o.str();
        EXPECT_EQ(ViewIn(c, 0.0f), "") << at;
        ExpectNearPlaneUnderTheSurface(c, at);
        EXPECT_GE((mid - c).Len(), 2.45f) << at;
        EXPECT_EQ(SolidBetween(c, mid), "") << at;
        const vector3 ahead(-view.m[2][0], -view.m[2][1], -view.m[2][2]);
        EXPECT_GT((mid - c) % ahead, 0.85f * (mid - c).Len()) << at << ": the diver off the view's middle";
        EXPECT_GT(DiverPixels(), 400) << at << ": the diver not in the picture";
    }
};

TEST_F(DemoLevelTest, TheFollowCameraKeepsOutOfEveryRockAndTheSeabed) {
    NewGame();
    Frames(5);
    ASSERT_EQ(Rocks().size(), 12u);
    // Where the screen went all rock for good: by the basket, turned a little either way,
    // the camera trailing at its own delay and then at rest.
    for (int h = -4; h <= 4; h += 2) {
        Park(vector3(1.4f, 0.9f, -13.6f), 0.2f * float(h), 35);
        for (int i = 0; i < 3; i++) {
            ASSERT_TRUE(Frame());
            ExpectCameraFree("heading " + std::to_string(0.2f * float(h)));
        }
    }
    // Around every rock, the camera (6 behind, +z at heading 0) towards the rock and beside
    // it; without the zoom's delay it stands at the diver's pose of the frame.
    Active()->SetStat(nbwDiver::ZoomState, 0.0f);
    for (const std::string& rock : Rocks()) {
        const vector3 mid = Middle(rock);
        const float size = Get<nLogicVisual2>(rock.c_str())->GetScale().x;
        for (int a = 0; a < 4; a++) {
            const float angle = float(a) * 1.570796f;
            const vector3 p(mid.x + std::cos(angle) * (1.35f * size + 0.9f), std::max(0.9f, mid.y - 0.3f * size),
                            mid.z + std::sin(angle) * (1.35f * size + 0.9f));
            if (!SolidAt(p).empty() || !SolidAt(p + vector3(0.0f, -0.5f, 0.0f)).empty()) continue;
            for (float turn : {-0.6f, 0.0f, 0.6f}) {
                Park(p, std::atan2(mid.x - p.x, mid.z - p.z) + turn, 2);
                ExpectCameraFree(rock + " at " + std::to_string(p.x) + " " + std::to_string(p.z) + " turned " +
                                 std::to_string(turn));
            }
        }
    }
}

// The sand heap, the crate, the switch, the basket and the vent are met as a rock is: W
// held head on does not take the diver into one, at a slant it slides along, and the
// follow camera behind the diver keeps out of it with the diver in view.
TEST_F(DemoLevelTest, WhatLooksSolidStopsTheDiverHeadOnSlidesItAlongAtASlantAndKeepsOutTheCamera) {
    NewGame();
    Frames(5);
    for (const Solid& s : Solids()) {
        SCOPED_TRACE(s.thing);
        ASSERT_NE(Lookup(L(s.module)), nullptr);
        const vector3 in = Inside(s);
        const vector3 level = Get<nLogicVisual2>(s.thing)->GetPosition() + vector3(0.0f, s.height, 0.0f);
        // Level, 3.5 off on its side, facing it head on and then at a slant.
        const float facing = Facing(s.side);
        for (float turn : {0.0f, 0.6f}) {
            const vector3 from = vector3(in.x, level.y, in.z) + s.side * 3.5f;
            Park(from, facing + turn, 2);
            ASSERT_TRUE(BodyOutside(s)) << "placed inside";
            Push(bwtest::sdl::Key(window, SDL_SCANCODE_W, SDLK_w, true));
            bool outside = true;
            for (int i = 0; i < 90 && outside; i++) {
                ASSERT_TRUE(Frame());
                outside = BodyOutside(s);
            }
            Push(bwtest::sdl::Key(window, SDL_SCANCODE_W, SDLK_w, false));
            Frames(2);
            const vector3 at = DiverAt();
            EXPECT_TRUE(outside) << "turned " << turn << ": the diver went in, at " << at.x << " " << at.y << " "
                                 << at.z;
            if (turn == 0.0f) {
                EXPECT_GT((at - in) % s.side, 0.5f) << "head on: not through it, at " << at.x << " " << at.y << " " << at.z;
                EXPECT_LT((at - in) % s.side, 3.0f) << "head on: it swam towards it";
            } else {
                EXPECT_GT((at - from).Len(), 1.0f) << "at a slant: slid along";
            }
        }
        // The camera 6 behind a diver on the far side of the thing, its zoom without delay.
        const float zoom = Active()->GetStat(nbwDiver::ZoomState);
        Active()->SetStat(nbwDiver::ZoomState, 0.0f);
        for (float turn : {-0.3f, 0.0f, 0.3f}) {
            Park(vector3(in.x, level.y + 0.3f, in.z) - s.side * s.clear, facing + turn, 2);
            const vector3 c = Get<nbwCamera>("cam")->GetMatrix().Translation();
            EXPECT_TRUE(CrossesModule(s.module, c, in)) << "turned " << turn << ": camera inside, at " << c.x << " "
                                                         << c.y << " " << c.z;
            EXPECT_FALSE(CrossesModule(s.module, c, DiverAt())) << "turned " << turn << ": the view blocked";
        }
        Active()->SetStat(nbwDiver::ZoomState, zoom);
        Active()->SetStat(nbwDiver::LifePoints, 1.0f);
    }
}

// W held straight at the sand heap's middle, from where a diver rests on the seabed before
// it, stops the diver before the heap at every frame rate from 10 to 60 a second: it neither
// turns aside nor climbs over.
TEST_F(DemoLevelTest, ASolidMetHeadOnStopsTheDiverAtEveryFrameStep) {
    NewGame();
    Frames(5);
    const vector3 heap = Get<nLogicVisual2>("heap")->GetPosition();
    for (int fps : {10, 15, 20, 24, 30, 60}) {
        frameStep = 1000000 / fps;
        Active()->SetRotation(0.0f, 0.0f, 0.0f);
        Put(Active(), heap + vector3(0.0f, 0.1f, 3.6f));
        Frames(fps * 4);
        const vector3 start = DiverAt();
        Key(SDL_SCANCODE_W, SDLK_w, fps * 4);
        Frames(fps);
        const vector3 at = DiverAt();
        EXPECT_TRUE(start.z - at.z > 0.3f && at.z > heap.z + 2.3f && std::fabs(at.x - start.x) < 0.3f && at.y < 1.0f)
            << fps << " a second: from z " << start.z << " to " << at.x << " " << at.y << " " << at.z;
    }
}

// The same swims at fixed frame steps from 1/60 to 1/4 s: W held for 3 s of game time from
// the same place at the heap, a rock, the closed door, the reef, the crate and the basket,
// head on and at a slant. Every step stops the diver at the same place (head on within 0.6,
// after a slide within 1.2), outside what it swam at; head on it came towards it, at a slant
// it slid along.
TEST_F(DemoLevelTest, EverySwimAtASolidStopsAlikeAtEveryFrameStep) {
    NewGame();
    Frames(5);
    struct Swim {
        const char* what;
        const char* module;
        vector3 from, inside, side;
        float heading;
        bool slant;
    };
    std::vector<Swim> swims;
    auto add = [&](const char* what, const char* module, const vector3& inside, const vector3& side, float height) {
        const vector3 from = vector3(inside.x, height, inside.z) + side * 3.5f;
        swims.push_back({what, module, from, inside, side, Facing(side), false});
        swims.push_back({what, module, from, inside, side, Facing(side) + 0.6f, true});
    };
    for (const Solid& s : Solids()) {
        if (std::string(s.thing) != "heap" && std::string(s.thing) != "kiste" && std::string(s.thing) != "basket")
            continue;
        add(s.thing, s.module, Inside(s), s.side, Get<nLogicVisual2>(s.thing)->GetPosition().y + std::max(s.height, 0.5f));
    }
    add("rock1", "rock1_solid", Middle("rock1"), vector3(0.0f, 0.0f, 1.0f), 1.2f);
    add("door", "door/solid", vector3(0.0f, 1.0f, 8.0f), vector3(0.0f, 0.0f, 1.0f), 1.5f);
    add("reef", "basin_solid", vector3(-7.5f, 2.0f, 8.0f), vector3(0.0f, 0.0f, 1.0f), 2.0f);

    // A line from the diver to the solid's inside meets the solid's skin.
    auto crosses = [&](const Swim& swim, const vector3& from) {
        nRoot* solid = Lookup(L(swim.module));
        return solid && solid->IsA("nmodsimplecollision") ? CrossesModule(swim.module, from, swim.inside)
                                                           : Crosses(swim.module, from, swim.inside);
    };
    const int steps[] = {60, 15, 8, 4};
    for (const Swim& swim : swims) {
        ASSERT_TRUE(crosses(swim, swim.from)) << swim.what << ": the inside is not inside";
        std::ostringstream stops;
        stops << swim.what << (swim.slant ? " at a slant" : " head on") << " from " << swim.from.x << " "
              << swim.from.y << " " << swim.from.z << ":";
        vector3 first;
        for (int fps : steps) {
            frameStep = 1000000 / fps;
            Active()->SetRotation(0.0f, swim.heading, 0.0f);
            // Put clear of the seabed and still, as long at every step, before W: the last
            // swim's turn would go on (the drag slows a slow turn slowly) and start each step
            // turned otherwise.
            Put(Active(), swim.from);
            nPhysikBody* body = Active()->GetPhysikState()->GetBody();
            body->SetLinearVel(vector3());
            body->SetAngularVel(vector3());
            Frames(fps / 2);
            Key(SDL_SCANCODE_W, SDLK_w, fps * 3);
            Frames(fps / 2);
            const vector3 at = DiverAt();
            stops << " 1/" << fps << " s (" << at.x << " " << at.y << " " << at.z << ")";
            const matrix44& m = Active()->GetMatrix();
            const vector3 ahead(m.m[2][0], m.m[2][1], m.m[2][2]);
            for (float along : {-0.45f, 0.45f}) {
                EXPECT_TRUE(crosses(swim, m.Translation() + ahead * along))
                    << "1/" << fps << " s: the diver went in: " << stops.str();
            }
            if (fps == steps[0]) first = at;
            // Along a slant the slide's end carries what the steps round off over 3 s of it.
            EXPECT_LT((at - first).Len(), swim.slant ? 1.2f : 0.6f) << "1/" << fps << " s stopped elsewhere: " << stops.str();
            if (swim.slant) EXPECT_GT((at - swim.from).Len(), 1.0f) << "at a slant: slid along: " << stops.str();
            else EXPECT_GT((swim.from - at) % swim.side, 0.3f) << "head on: came towards it: " << stops.str();
        }
        std::printf("%s\n", stops.str().c_str());
    }
}

// The chamber's water is seen through: a diver in it stays in view of the follow camera
// outside it, also after a quick save made there is loaded.
TEST_F(DemoLevelTest, TheChambersWaterKeepsTheDiverInView) {
    NewGame();
    Frames(5);
    const vector3 chamber = Get<nLogicVisual2>("chamber")->GetPosition();
    Active()->SetStat(nbwDiver::ZoomState, 0.0f);
    Park(chamber + vector3(0.0f, 1.5f, 0.0f), 0.0f, 30);
    const fs::path shot = saveDir / "shot.bmp";
    ASSERT_TRUE(gfx->Screenshot(shot.string().c_str()));
    // How many pixels the diver changes, seen from a camera outside the water's block.
    auto diverPixels = [&] {
        const vector3 c = Get<nbwCamera>("cam")->GetMatrix().Translation() - chamber;
        EXPECT_TRUE(std::fabs(c.x) > 3.0f || std::fabs(c.z) > 3.0f || c.y > 3.0f) << "the camera in the water";
        return DiverPixels();
    };
    EXPECT_GT(diverPixels(), 1000) << "swum in";
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Park(chamber + vector3(0.0f, 1.5f, 12.0f), 0.0f, 2);
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(3);
    ASSERT_EQ(StatusLine(), "Spiel geladen.");
    Frames(30);
    EXPECT_GT(diverPixels(), 1000) << "loaded";
}

// The heap's solid goes once it is swept away, and stays gone after a quick save and load;
// the crate's goes with the crate when the air bag lifts it: the diver swims through where
// they stood.
TEST_F(DemoLevelTest, TheSweptHeapAndTheLiftedCrateAreNoLongerSolidAlsoAfterALoad) {
    NewGame();
    Frames(5);
    auto* heap = Get<nbwItem>("heap");
    ASSERT_TRUE(heap->GetHandlerActive("collision", "physik"));
    // Swims level from 4 off the thing's side towards its middle for 5 s: whether its body
    // went into the thing's solid on the way, and how far short of the middle it ended (less
    // than 0 beyond it).
    auto through = [&](const char* thing) {
        for (const Solid& s : Solids()) {
            if (std::string(s.thing) != thing) continue;
            const vector3 at = Get<nLogicVisual2>(thing)->GetPosition();
            Park(at + vector3(0.0f, s.height, 0.0f) + s.side * 4.0f, Facing(s.side), 2);
            Push(bwtest::sdl::Key(window, SDL_SCANCODE_W, SDLK_w, true));
            bool in = false;
            for (int i = 0; i < 150; i++) {
                EXPECT_TRUE(Frame());
                in = in || !BodyOutside(s);
            }
            Push(bwtest::sdl::Key(window, SDL_SCANCODE_W, SDLK_w, false));
            Frames(2);
            return std::pair{in, (DiverAt() - at) % s.side};
        }
        ADD_FAILURE() << thing;
        return std::pair{false, 0.0f};
    };
    EXPECT_FALSE(through("heap").first) << "the heap keeps the diver out before it is swept";
    SwimTo("sandremover");
    E();
    ASSERT_EQ(Hand(), L("diver1/inventory/sandremover"));
    SwimTo("heap");
    Q();
    Frames(75);
    ASSERT_EQ(Get<nbwSandHeap>("heap")->GetSweepValue(), 1.0f);
    EXPECT_FALSE(heap->GetHandlerActive("collision", "physik"));
    // What the README says stays: a low, flat patch of sand where the heap stood.
    auto flatPatch = [&] { return heap->IsVisible() && heap->GetScale().y < 0.1f && heap->GetScale().x > 1.0f; };
    EXPECT_TRUE(flatPatch());
    auto [in, beyond] = through("heap");
    EXPECT_TRUE(in && beyond < -1.0f) << "swept, it lets the diver through: " << in << " " << beyond;
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(3);
    ASSERT_EQ(StatusLine(), "Spiel geladen.") << log.text;
    ASSERT_EQ(Get<nbwSandHeap>("heap")->GetSweepValue(), 1.0f);
    EXPECT_FALSE(Get<nbwItem>("heap")->GetHandlerActive("collision", "physik"));
    heap = Get<nbwItem>("heap");
    EXPECT_TRUE(flatPatch()) << "after the load";
    std::tie(in, beyond) = through("heap");
    EXPECT_TRUE(in && beyond < -1.0f) << "a loaded swept heap lets the diver through: " << in << " " << beyond;

    // The crate holds the diver off until the air bag lifts it.
    EXPECT_FALSE(through("kiste").first);
    const vector3 crate = Get<nLogicVisual2>("kiste")->GetPosition();
    SwimTo("luftsack");
    E();
    ASSERT_EQ(Hand(), L("diver1/inventory/luftsack"));
    SwimTo("kiste");
    Q();
    Frames(3);
    ASSERT_EQ(Lookup(L("kiste")), nullptr);
    Park(crate + vector3(-4.0f, 0.6f, 0.0f), Facing(vector3(-1.0f, 0.0f, 0.0f)), 2);
    Key(SDL_SCANCODE_W, SDLK_w, 150);
    EXPECT_GT(DiverAt().x, crate.x + 1.0f) << "lifted, it lets the diver through";
}

// A long frame ends what runs by game time where short ones do: the door's leaf opened and
// the chamber's water let out at each frame step, up to the frame loop's clamp of 1 s.
TEST_F(DemoLevelTest, TheDoorsSwingAndTheWatersFadeEndAlikeAtEveryFrameStep) {
    NewGame();
    Frames(5);
    for (int64_t step : {int64_t(1000000 / 60), int64_t(250000), int64_t(500000), int64_t(1000000)}) {
        SCOPED_TRACE(step);
        frameStep = 1000000 / 30;
        auto* door = Get<nbwOpenable>("door");
        door->CloseDoor();
        auto* water = Get<nbwWater>("chamber/chamberwater");
        water->SetFading(false);
        water->SetWaterstand(3.0f);
        Frames(60);
        ASSERT_NEAR(static_cast<nbwItem*>(door)->GetQuaternion().y, 0.0f, 1e-4f);
        frameStep = step;
        door->OpenDoor();
        ASSERT_TRUE(Run("schalter('switch')"));
        Frames(int(6000000 / step) + 2);
        const quaternion& q = static_cast<nbwItem*>(door)->GetQuaternion();
        EXPECT_NEAR(2.0f * std::atan2(q.y, q.w), -1.75f, 1e-3f) << "the leaf's turn, as at full speed";
        EXPECT_EQ(door->GetOpenStatus(), 1.0f);
        EXPECT_FALSE(water->GetFading());
        EXPECT_EQ(water->GetWaterstand(), 0.5f);
        EXPECT_NEAR(water->GetScale().y, 0.001f + 0.999f * 0.5f / 3.0f, 1e-4f) << "its block at the level";
    }
}

// A quick save made while an action runs loads with the action going on to its end, as
// in play, with what play says at its end. (An air bag's lift is over at the use: the
// crate is in the camp at once.)
TEST_F(DemoLevelTest, AnActionASaveCatchesRunsOnToItsEndAfterTheLoad) {
    NewGame();
    Frames(5);
    ASSERT_NO_FATAL_FAILURE(ListenToStatusLine());
    // Each row: the tool taken to the thing (none: the switch's script), the frames before
    // F5, the action's progress (1 at its end, even in time), what is said at its end, and
    // the seconds the whole action takes in play (0: not timed here).
    const std::vector<std::tuple<const char*, const char*, int, std::function<float()>, const char*, float>> rows = {
        {"cutter", "door", 20, [&] { const quaternion& q = Get<nbwItem>("door")->GetQuaternion();
                                     return 2.0f * std::atan2(q.y, q.w) / -1.75f; }, "", 0.0f},
        {"sandremover", "heap", 30, [&] { return Get<nbwSandHeap>("heap")->GetSweepValue(); },
         "Der Sand ist weggesaugt. Darunter liegt etwas.|", 2.0f},
        {nullptr, "switch", 60, [&] { return (3.0f - Get<nbwWater>("chamber/chamberwater")->GetWaterstand()) / 2.5f; },
         "Das Wasser ist abgelaufen.|", 4.0f}};
    for (const auto& [tool, thing, framesBeforeSave, progress, saidAtEnd, seconds] : rows) {
        SCOPED_TRACE(thing);
        if (tool) {
            SwimTo(tool);
            E();
            SwimTo(thing);
            Key(SDL_SCANCODE_Q, SDLK_q);
        } else {
            ASSERT_TRUE(Run("schalter('switch')"));
        }
        Frames(framesBeforeSave);
        const float before = progress();
        for (auto [scancode, key] : {std::pair{SDL_SCANCODE_F5, SDLK_F5}, std::pair{SDL_SCANCODE_F9, SDLK_F9}}) {
            Key(scancode, key);
            Frames(2);
        }
        ASSERT_EQ(StatusLine(), "Spiel geladen.") << log.text.substr(0, 3000);
        Said();
        const float loaded = progress();
        EXPECT_NEAR(loaded, before, 0.15f) << "loaded as saved";
        int took = 0;
        for (; took < 10 * 30 && progress() < 1.0f - 1e-3f; took++) ASSERT_TRUE(Frame());
        if (seconds > 0.0f) EXPECT_NEAR(float(took) / 30.0f, (1.0f - loaded) * seconds, 0.1f) << "at the play's pace";
        Frames(10 * 30 - took);
        EXPECT_NEAR(progress(), 1.0f, 1e-3f) << "ran on to its end";
        EXPECT_EQ(Said(), saidAtEnd);
    }
}

// The air bag lifts the crate, and what a diver can carry once no crate waits for it; at a
// door, the heap, the switch, the basket, the vent, a rock, the fish or a diver Q says so,
// and the air bag stays in the hand. Nothing it is used on leaves the level unfinished.
TEST_F(DemoLevelTest, TheAirBagLiftsOnlyTheCrateAndWhatCanBeCarriedAndElseStaysInTheHand) {
    NewGame();
    Frames(5);
    ASSERT_NO_FATAL_FAILURE(ListenToStatusLine());
    auto said = [this] { return Said(); };
    ASSERT_TRUE(Run("local b = obj('" + L("luftsack") + "') b.setvisible(true) "
                    "b.sethandleractive('collision', 'item', true) b.txyz(0, 3, 16)"));
    SwimTo("luftsack");
    E();
    ASSERT_EQ(said(), "Luftsack genommen.|");
    const std::string bag = L("diver1/inventory/luftsack");
    auto* door = Get<nbwItem>("door");
    const vector3 fish = Get<nbwFish>("fishbox/fish")->GetPosition() + Get<nLogicVisual2>("fishbox")->GetPosition();
    const std::vector<std::pair<std::string, vector3>> places = {
        {"door", door->GetPosition() + vector3(1.5f, 1.0f, 1.6f)},
        {"heap", Get<nLogicVisual2>("heap")->GetPosition() + Beside("heap") + vector3(0.0f, 0.5f, 0.0f)},
        {"switch", Get<nLogicVisual2>("switch")->GetPosition() + Beside("switch") + vector3(0.0f, 0.5f, 0.0f)},
        {"basket", Get<nLogicVisual2>("basket")->GetPosition() + Beside("basket") + vector3(0.0f, 0.5f, 0.0f)},
        {"vent", Get<nLogicVisual2>("vent")->GetPosition() + Beside("vent") + vector3(0.0f, 0.5f, 0.0f)},
        {"rock1", Middle("rock1") + vector3(0.0f, 0.0f, 2.6f)},
        {"fishbox/fish", fish + vector3(0.0f, 0.0f, 1.2f)},
        {"diver2", Get<nbwDiver>("diver2")->GetPosition() + vector3(0.0f, 0.0f, -2.0f)}};
    for (const auto& [thing, at] : places) {
        Park(at, 0.0f, 1);
        said();  // the fish may say that it bites
        Q();
        const std::string text = said();
        EXPECT_NE(text.find("Damit lässt sich hier nichts tun.|"), std::string::npos) << thing << ": " << text;
        EXPECT_EQ(text.find("gehoben"), std::string::npos) << thing << ": " << text;
        EXPECT_EQ(Hand(), bag) << thing;
        EXPECT_NE(Lookup(L(thing.c_str())), nullptr) << thing;
        Active()->SetStat(nbwDiver::LifePoints, 1.0f);
    }
    EXPECT_EQ(door->GetFloat(nbwItem::Hitpoints), door->GetFloat(nbwItem::MaxHitpoints));
    EXPECT_NE(Lookup("/usr/persist/level1/door"), nullptr);
    EXPECT_EQ(Lookup("/usr/persist/camp/door"), nullptr);
    // The camera could be carried, but the crate waits for the level's one air bag.
    SwimTo("fotoapparat");
    Q();
    EXPECT_EQ(said(), "Den Luftsack braucht die Kiste.|");
    EXPECT_EQ(Hand(), bag);
    EXPECT_NE(Lookup(L("fotoapparat")), nullptr);
    // The crate rises to the camp, and the level can be finished.
    SwimTo("kiste");
    Q();
    Frames(2);
    EXPECT_EQ(said(), "Der Luftsack hebt die Kiste zum Lager.|");
    EXPECT_EQ(ClassOf("/usr/persist/camp/kiste"), "npersistlogic");
    EXPECT_EQ(Hand(), L("diver1/inventory/hand"));
}

// The vent's heat drains a diver who stays beside it: the warning comes, and at least three
// seconds of game time later the diver passes out; so each time it comes back, at every
// frame step the frame loop lets through, at the vent's hottest; the rounds start from
// healths that put the frames at each place about the warning's level.
TEST_F(DemoLevelTest, TheVentWarnsADiverWhoStaysAtLeastThreeSecondsBeforeItPassesOut) {
    NewGame();
    Frames(5);
    auto* vent = Get<nbwDamageZone>("vent");
    vent->SetMinDamage(vent->GetMaxDamage());
    for (int64_t step : {int64_t(1000000 / 30), int64_t(1000000 / 60), int64_t(250000), int64_t(500000),
                         int64_t(950000), int64_t(1000000)}) {
        // Long frames cut the lead by where they fall: many starts for them.
        const int rounds = step > 900000 ? 12 : 3;
        for (int round = 0; round < rounds; round++) {
            SCOPED_TRACE(testing::Message() << "step " << step << " round " << round);
            frameStep = 1000000 / 30;
            SwimTo("vent");
            Active()->SetStat(nbwDiver::LifePoints, 1.0f - 0.25f * float(round) / float(rounds));
            frameStep = step;
            int warned, passedOut;
            ASSERT_NO_FATAL_FAILURE(WatchUntilPassedOut(int(30000000 / step), warned, passedOut));
            ASSERT_GE(warned, 0) << "no warning";
            ASSERT_GE(passedOut, 0) << "not passed out in 30 s";
            EXPECT_GE((passedOut - warned) * step, 3000000) << "warned " << warned << ", passed out " << passedOut;
        }
    }
}

// The vent's heat reaches a diver beside its mound or its chimney at every height a diver
// can be there: low by the mound, at swim height over the chimney's mouth, and resting at
// y 1.7. Each is warned at least 3 s before it passes out, within 12 s.
TEST_F(DemoLevelTest, TheVentBurnsADiverBesideItsMoundOrItsChimneyAtEveryHeight) {
    NewGame();
    Frames(5);
    const vector3 vent = Get<nLogicVisual2>("vent")->GetPosition();
    // How far from the vent's axis (on +z) and at what height of the world.
    for (const auto& [along, height] : {std::pair{2.2f, -0.3f}, {1.0f, 2.3f}, {2.2f, 1.7f}}) {
        SCOPED_TRACE(testing::Message() << "at " << along << " up " << height);
        SwimTo(vent.x, height - 0.5f, vent.z + along);
        Active()->SetStat(nbwDiver::LifePoints, 1.0f);
        int warned, passedOut;
        ASSERT_NO_FATAL_FAILURE(WatchUntilPassedOut(12 * 30, warned, passedOut));
        ASSERT_GE(passedOut, 0) << "not passed out in 12 s";
        EXPECT_GE(passedOut - warned, 3 * 30) << "warned " << warned << ", passed out " << passedOut;
        Frames(30);
    }
}

TEST_F(DemoLevelTest, OnTheSeabedWSwimsOnAlongItAndRAndFTurnTheDiverNoFurtherThanTheirLimit) {
    NewGame();
    Frames(5);
    // Turned a little, F for 0.3 s, then W held: down onto the seabed and on along it.
    Key(SDL_SCANCODE_A, SDLK_a, 10);
    Key(SDL_SCANCODE_F, SDLK_f, 9);
    Push(bwtest::sdl::Key(window, SDL_SCANCODE_W, SDLK_w, true));
    Frames(210);
    const vector3 down = DiverAt();
    ASSERT_TRUE(Crosses("seabed_solid", down, down - vector3(0.0f, 1.2f, 0.0f))) << "not down yet";
    Frames(90);
    Push(bwtest::sdl::Key(window, SDL_SCANCODE_W, SDLK_w, false));
    const vector3 on = DiverAt();
    // Nearly all of the 2.05 that 3 s of W swims in open water.
    EXPECT_GT(vector3(on.x - down.x, 0.0f, on.z - down.z).Len(), 1.8f);
    // Taps of R, then R and F held: the nose stops at the moves' limit, the diver stays
    // upright, and the camera above the seabed, off the diver and facing it.
    for (const auto& [code, sym, frames] : {std::tuple{SDL_SCANCODE_R, SDLK_r, 3}, {SDL_SCANCODE_R, SDLK_r, 3},
                                            {SDL_SCANCODE_R, SDLK_r, 60}, {SDL_SCANCODE_F, SDLK_f, 90}}) {
        Key(code, sym, frames);
        Frames(10);
        const matrix44& m = Active()->GetMatrix();
        EXPECT_LE(std::fabs(m.m[2][1]), nbwDiver::PitchLimit + 0.01f) << SDL_GetKeyName(sym) << frames;
        EXPECT_LT(std::fabs(m.m[0][1]), 0.1f) << SDL_GetKeyName(sym) << frames;
        ExpectDiverInView(std::string("pitched by ") + SDL_GetKeyName(sym), 2.4f);
    }
}

// The pitch R or F leaves, or a script sets, stays ten seconds in open water and over the
// seabed; lying on it, the seabed may only level the nose.
TEST_F(DemoLevelTest, TheNoseKeepsThePitchAKeyOrAScriptLeftItAtForTenSeconds) {
    NewGame();
    auto nose = [&] { return Active()->GetMatrix().m[2][1]; };
    // How far above the seabed, the key and how long it is held, the pitch a script sets.
    for (const auto& [above, key, frames, set] :
         {std::tuple{5.0f, SDL_SCANCODE_F, 8, 0.0f}, {5.0f, SDL_SCANCODE_R, 15, 0.0f}, {0.9f, SDL_SCANCODE_F, 8, 0.0f},
          {0.9f, SDL_SCANCODE_R, 15, 0.0f}, {0.9f, SDL_SCANCODE_R, 0, 0.3f}, {0.5f, SDL_SCANCODE_F, 8, 0.0f},
          {0.5f, SDL_SCANCODE_R, 15, 0.0f}, {0.5f, SDL_SCANCODE_R, 0, 0.0f}}) {
        SCOPED_TRACE(testing::Message() << above << " up, " << SDL_GetScancodeName(key) << " " << frames << ", set "
                                        << set);
        Park(vector3(0.0f, SeabedAt(0.0f, 20.0f) + above, 20.0f), 0.3f, 30);
        if (set != 0.0f) Active()->SetRotation(set, 0.3f, 0.0f);
        if (frames > 0) Key(key, SDL_GetKeyFromScancode(key), frames);
        const float sign = nose() < 0.0f ? -1.0f : 1.0f, held = nose() * sign;
        if (above > 0.5f && (frames > 0 || set != 0.0f)) EXPECT_GT(held, 0.15f) << "not turned";
        float lo = held, hi = held;
        for (int i = 0; i < 300 && Frame(); i++) lo = std::min(lo, nose() * sign), hi = std::max(hi, nose() * sign);
        EXPECT_LT(hi, held + 0.01f);
        EXPECT_GT(lo, above > 0.5f ? held - 0.01f : -0.01f);
    }
}

// The pitch F left stays while the diver turns left or right, in open water and over the
// seabed, or swims on in open water, at short and long frames: only R turns it back.
TEST_F(DemoLevelTest, TheNoseKeepsThePitchFLeftThroughATurnOrASwim) {
    NewGame();
    auto nose = [&] { return Active()->GetMatrix().m[2][1]; };
    auto hold = [&](SDL_Scancode code, int64_t micros) {
        Push(bwtest::sdl::Key(window, code, SDL_GetKeyFromScancode(code), true));
        Frames(int(micros / frameStep));
        Push(bwtest::sdl::Key(window, code, SDL_GetKeyFromScancode(code), false));
    };
    // How far above the seabed, and the key held for a second after F.
    const std::pair<float, SDL_Scancode> rows[] = {{5.0f, SDL_SCANCODE_A}, {5.0f, SDL_SCANCODE_D},
                                                   {0.9f, SDL_SCANCODE_A}, {0.9f, SDL_SCANCODE_D},
                                                   {5.0f, SDL_SCANCODE_W}, {5.0f, SDL_SCANCODE_S}};
    for (int64_t step : {int64_t(1000000 / 30), int64_t(500000)}) {
        for (const auto& [above, key] : rows) {
            SCOPED_TRACE(testing::Message() << "step " << step << ", " << above << " up, " << SDL_GetScancodeName(key));
            frameStep = 1000000 / 30;
            Park(vector3(0.0f, SeabedAt(0.0f, 20.0f) + above, 20.0f), 0.3f, 30);
            frameStep = step;
            hold(SDL_SCANCODE_F, 500000);
            Frames(1);
            const float pitched = nose();
            ASSERT_GT(pitched, 0.3f) << "not turned";
            hold(key, 1000000);
            Frames(int(3000000 / step));
            EXPECT_NEAR(nose(), pitched, 0.02f);
        }
    }
}

// One wall a test (the last: the low things' sides), so that the table's swims, 16 a wall,
// run side by side.
class APitchedDiverKeepsItsPitchAtAWall : public DemoLevelTest, public testing::WithParamInterface<int> {};
constexpr int kPitchedWalls = 9;

// Pitched about 35 degrees by R or F, or as steeply as they go (held 2 s), a diver that
// swims into the reef's face, the door's leaf, the basin's walls or a rock's side (one of
// the chamber's among them) with W held for 5 s keeps its pitch and its heading and rises or
// sinks along it at every frame step (a wall that levelled the nose stopped it about 1.5
// up; steeply pitched, the nose swung 45-113 degrees to the side); so does one held into a
// corner, and one that backs into a wall with S, up to just under the surface. Under the
// rock's middle, where it overhangs the diver, at the seabed and at the surface the nose
// may be levelled and turned.
TEST_P(APitchedDiverKeepsItsPitchAtAWall, AndItsHeadingAndRisesOrSinksAlongItAtEveryFrameStep) {
    NewGame();
    const vector3 rock = Middle("rock4"), chamber = Middle("chamberwall1");
    const float r = 0.7071f;
    // 1 off the wall, the heights it rises and sinks from, the way from the wall, the heights
    // between which the nose is checked, and whether it backs into the wall with S. The
    // chamber's rock is a wall up to 2.5, then rounds off to its top.
    const std::tuple<vector3, float, float, vector3, float, float, bool> walls[kPitchedWalls] = {
        {vector3(-7.5f, 0, 10.3f), 1.5f, 7.0f, vector3(0, 0, 1), 0.0f, 11.0f, false},
        {vector3(0, 0, 10.3f), 1.5f, 7.0f, vector3(0, 0, 1), 0.0f, 11.0f, false},
        {vector3(94.2f, 0, -40), 1.5f, 7.0f, vector3(-1, 0, 0), 0.0f, 11.0f, false},
        {rock + vector3(0, 0, 3.6f), rock.y, rock.y + 1.2f, vector3(0, 0, 1), rock.y, 11.0f, false},
        {chamber - vector3(3.8f, 0, 0), 0.3f, 2.6f, vector3(-1, 0, 0), 0.0f, 2.2f, false},
        {vector3(-7.5f, 0, 5.7f), 1.5f, 7.0f, vector3(0, 0, -1), 0.0f, 11.0f, false},
        {vector3(-94.2f, 0, 40), 1.5f, 7.0f, vector3(1, 0, 0), 0.0f, 11.0f, false},
        {vector3(94.2f, 0, 94.2f), 1.5f, 7.0f, vector3(-r, 0, -r), 0.0f, 11.0f, false},
        {vector3(30, 0, 94.2f), 8.5f, 8.5f, vector3(0, 0, -1), 0.0f, 11.0f, true}};
    if (GetParam() < kPitchedWalls) {
        const auto& [from, low, high, side, checked, top, back] = walls[GetParam()];
        for (const auto& [sign, pitching] : {std::pair{1.0f, 15}, {-1.0f, 15}, {1.0f, 60}, {-1.0f, 60}}) {
            // Backing, a nose up sinks.
            const float way = back ? -sign : sign;
            for (const int64_t step : {16667, 66667, 250000, 1000000}) {
                SCOPED_TRACE(testing::Message() << from.x << " " << from.z << ", " << sign << " for " << pitching
                                                << " frames, step " << step);
                frameStep = 1000000 / 30;
                Active()->SetStat(nbwDiver::Energie, 1.0f);
                Park(vector3(from.x, way > 0.0f ? low : high, from.z), Facing(side) + (back ? 3.141593f : 0.0f), 15);
                Key(sign > 0.0f ? SDL_SCANCODE_R : SDL_SCANCODE_F, sign > 0.0f ? SDLK_r : SDLK_f, pitching);
                const float pitched = Active()->GetMatrix().m[2][1], y = DiverAt().y;
                const auto heading = [&] {
                    const matrix44& m = Active()->GetMatrix();
                    return std::atan2(m.m[2][0], m.m[2][2]);
                };
                const float headed = heading();
                if (pitching == 60) EXPECT_GT(std::fabs(pitched), nbwDiver::PitchLimit - 0.01f) << "not as steep";
                frameStep = step;
                const SDL_Scancode swim = back ? SDL_SCANCODE_S : SDL_SCANCODE_W;
                Push(bwtest::sdl::Key(window, swim, SDL_GetKeyFromScancode(swim), true));
                float reached = -1.0f;
                bool kicked = false;
                for (int i = 0; i < int(5000000 / step) && Frame(); i++) {
                    const vector3 at = DiverAt();
                    // Its lowest sphere's bottom clear of the seabed.
                    const bool clear = at.y - 0.45f * (std::fabs(pitched) + 1.0f) > SeabedAt(at.x, at.z) + 0.1f;
                    // A facet's or an edge's push may kick the nose in one step; it is nearly
                    // back by the next frame.
                    const float off = std::fabs(Active()->GetMatrix().m[2][1] - pitched);
                    if (at.y > checked && at.y < top && clear) {
                        EXPECT_LT(off, kicked ? 0.025f : 0.05f) << at.y;
                        EXPECT_NEAR(std::remainder(heading() - headed, 6.283185f), 0.0f, 0.05f) << at.y;
                    }
                    kicked = off > 0.02f;
                    // Its highest sphere's top under the surface.
                    EXPECT_LT(at.y + 0.45f * (std::fabs(pitched) + 1.0f), 12.05f);
                    // A rock bulging below pushes a sinking diver back off its side.
                    reached = std::max(reached, (from - at) % side);
                }
                Push(bwtest::sdl::Key(window, swim, SDL_GetKeyFromScancode(swim), false));
                EXPECT_GT((DiverAt().y - y) * way, 2.2f);
                EXPECT_GT(reached, 0.3f) << "it did not reach the wall";
            }
        }
    }
    // Low things' sides, met nose down just under their tops: it sinks along the side (or
    // round a narrow one) and never rides up over the top edge, however far a step carries
    // it into the edge.
    if (GetParam() == kPitchedWalls) for (const Solid& s : Solids()) {
        if (s.thing == std::string("basket") || s.thing == std::string("vent")) continue;
        const vector3 in = Inside(s);
        for (const int64_t step : {16667, 33333, 250000, 1000000}) {
            SCOPED_TRACE(testing::Message() << s.thing << ", step " << step);
            frameStep = 1000000 / 30;
            Active()->SetStat(nbwDiver::Energie, 1.0f);
            Park(in + s.side * s.clear + vector3(0, 1.5f, 0), Facing(s.side), 15);
            Key(SDL_SCANCODE_F, SDLK_f, 15);
            const float y = DiverAt().y;
            frameStep = step;
            Push(bwtest::sdl::Key(window, SDL_SCANCODE_W, SDLK_w, true));
            for (int i = 0; i < int(5000000 / step) && Frame(); i++) {}
            Push(bwtest::sdl::Key(window, SDL_SCANCODE_W, SDLK_w, false));
            EXPECT_LT(DiverAt().y, std::fmin(y - 0.4f, in.y + s.height + 0.6f)) << "it rode up over the top";
        }
    }
}
INSTANTIATE_TEST_SUITE_P(DemoLevel, APitchedDiverKeepsItsPitchAtAWall, testing::Range(0, kPitchedWalls + 1));

TEST_F(DemoLevelTest, TheFollowCameraRisesOverTheGateRocksAndTheOpenDoorKeepingItsDiverInView) {
    NewGame();
    Frames(5);
    SwimTo("cutter");
    E();
    auto* door = Get<nbwItem>("door");
    Park(door->GetPosition() + vector3(1.5f, 1.5f, 1.45f), 0.0f, 1);
    Q();
    Frames(60);
    ASSERT_LE(door->GetFloat(nbwItem::Hitpoints), 0.0f);
    Active()->SetStat(nbwDiver::ZoomState, 0.0f);
    // Where the view was filled by the diver's legs, turned every way; and in the open doorway,
    // where the reef's wall either side and above leaves the camera of a diver turned across
    // the passage no room behind it (the doorway is 3 wide).
    for (const vector3& p : {vector3(2.34f, 2.36f, 5.16f), vector3(0.0f, 1.6f, 8.0f)}) {
        for (int h = 0; h < 8; h++) {
            Park(p, 0.785398f * float(h), 2);
            const std::string where = std::to_string(p.x) + " " + std::to_string(p.z) + " heading " + std::to_string(h);
            const bool across = p.z == 8.0f && h % 4 == 2;
            ExpectDiverInView(where, across ? 1.2f : 2.4f);
        }
    }
}

TEST_F(DemoLevelTest, ARevivedDiverComesBackLevelAtAStartPointNoOtherDiverTakes) {
    NewGame();
    Frames(5);
    // The second diver floats at the second start point from the level's start, then at the
    // first; the first diver passes out in the vent, pitched up, turned and rolled.
    nbwDiver* other = Get<nbwDiver>("diver2");
    for (const auto& [taken, free] : {std::pair{"start2", "start1"}, {"start1", "start2"}}) {
        Put(other, Get<nLogicVisual2>(taken)->GetPosition());
        Active()->SetRotation(-1.0f, 2.0f, 0.4f);
        SwimTo("vent");
        float life = Life("diver1");
        for (int i = 0; i < 12 * 30 && Life("diver1") <= life + 0.3f; i++) {
            life = Life("diver1");
            ASSERT_TRUE(Frame());
        }
        ASSERT_GT(Life("diver1"), life + 0.3f) << "not brought round";
        Frames(30);
        EXPECT_LT((DiverAt() - Get<nLogicVisual2>(free)->GetPosition()).Len(), 0.5f) << taken << " taken";
        EXPECT_GT((DiverAt() - other->GetPosition()).Len(), 2.8f) << taken << " taken";
        const matrix44& m = Active()->GetMatrix();
        EXPECT_LT(std::fabs(m.m[2][1]) + std::fabs(m.m[0][1]), 0.05f) << "pitch and roll";
    }
    // Saved in the last frame before it passes out, and loaded: it passes out in the first
    // frame after F9, before any start point has seen a diver, and the second diver's start
    // must not look free.
    Put(other, Get<nLogicVisual2>("start2")->GetPosition());
    SwimTo("kiste");
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    ASSERT_EQ(StatusLine(), "Spiel gespeichert.");
    std::stringstream text;
    text << std::ifstream(saveDir / "schnellspeicher.n").rdbuf();
    std::string save = text.str();
    const size_t at = save.find("\"lifepoints\"", save.find("'diver1'"));
    ASSERT_NE(at, std::string::npos);
    save.replace(at, save.find(')', at) - at, "\"lifepoints\", 0.00000000 ");
    std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << save;
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(30);
    EXPECT_GT(Life("diver1"), 0.9f) << "not brought round";
    EXPECT_GT((Get<nbwDiver>("diver1")->GetPosition() - Get<nbwDiver>("diver2")->GetPosition()).Len(), 2.8f)
        << "brought round onto the other diver";
}

TEST_F(DemoLevelTest, APassedOutDiverIsBroughtToAStartPointOnceAndSoIsOneWhoseAirRunsOut) {
    NewGame();
    Frames(5);
    // By the hot vent health falls until the diver passes out, once in 12 s.
    // It comes back whole: full health, and air short of full by one frame's breath; nothing
    // of the vent it left is charged after the move, then or later.
    SwimTo("vent");
    const vector3 vent = Get<nLogicVisual2>("vent")->GetPosition();
    nbwDiver* d = Diver();
    const float breath = d->GetStat(nbwDiver::EnergieLose) / 30.0f + 1e-6f;
    int broughtRound = 0;
    float life = Life("diver1");
    for (int i = 0; i < 12 * 30; i++) {
        ASSERT_TRUE(Frame());
        if (Life("diver1") > life + 0.3f) {
            broughtRound++;
            EXPECT_EQ(Life("diver1"), 1.0f) << "in the frame of the move";
            EXPECT_GE(d->GetStat(nbwDiver::Energie), 1.0f - breath);
        }
        life = Life("diver1");
    }
    EXPECT_EQ(broughtRound, 1);
    EXPECT_GT((DiverAt() - vent).Len(), 10.0f);
    EXPECT_LT(FromStart(DiverAt()), 2.0f);
    EXPECT_EQ(Life("diver1"), 1.0f);

    // Air that runs out: the warning, then the same rescue (once the last rescue's message
    // has gone).
    Frames(4 * 30);
    SwimTo("basket");
    d->SetStat(nbwDiver::EnergieLose, 0.02f);
    d->SetStat(nbwDiver::Energie, 0.08f);
    bool warned = false, rescued = false;
    for (int i = 0; i < 10 * 30 && !rescued; i++) {
        ASSERT_TRUE(Frame());
        warned = warned || StatusLine() == "Taucher 1: Die Luft wird knapp!";
        rescued = StatusLine() == "Taucher 1: Der Taucher ist bewusstlos und wird geborgen.";
    }
    EXPECT_TRUE(warned);
    ASSERT_TRUE(rescued) << "air " << d->GetStat(nbwDiver::Energie);
    EXPECT_GE(d->GetStat(nbwDiver::Energie), 1.0f - 0.02f / 30.0f - 1e-6f);
    EXPECT_EQ(Life("diver1"), 1.0f);
    Frames(3);
    EXPECT_GT(d->GetStat(nbwDiver::Energie), 0.9f);
    EXPECT_EQ(Life("diver1"), 1.0f);
    EXPECT_LT(FromStart(DiverAt()), 2.0f);
    // It swims off the start point again, and what play left saves and loads.
    Key(SDL_SCANCODE_W, SDLK_w, 20);
    EXPECT_GT((DiverAt() - Get<nLogicVisual2>("start1")->GetPosition()).Len(), 0.2f);
    for (auto [scancode, sym] : {std::pair{SDL_SCANCODE_F5, SDLK_F5}, std::pair{SDL_SCANCODE_F9, SDLK_F9}}) {
        Key(scancode, sym);
        EXPECT_TRUE(game->GetLastSaveOk()) << log.text.substr(0, 3000);
    }
}

// A switch of diver by Tab or by a click on the figure, and a diver brought back from the
// vent, put the camera to a diver on the reef's other side: it stands out of what is solid
// and on its diver's side of the basin's walls in every frame, from the frame after the
// diver it shows changed or was moved (in that one it still shows the last place). The
// click comes in the frame of the pointer's move onto the figure: it counts where it came.
TEST_F(DemoLevelTest, ASwitchOfDiverTakesTheCameraByNoWayThroughTheReef) {
    NewGame();
    Frames(5);
    nbwDiver* one = Get<nbwDiver>("diver1");
    nbwDiver* two = Get<nbwDiver>("diver2");
    auto* cam = Get<nbwCamera>("cam");
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"Tab",
         [&] {
             Push(bwtest::sdl::Key(window, SDL_SCANCODE_TAB, SDLK_TAB, true));
             Push(bwtest::sdl::Key(window, SDL_SCANCODE_TAB, SDLK_TAB, false));
         }},
        {"a click on diver1's figure",
         [&] {
             Push(bwtest::sdl::Motion(window, 90, 545, 0, 0));
             Push(bwtest::sdl::Button(window, SDL_BUTTON_LEFT, true, 90, 545));
             Push(bwtest::sdl::Button(window, SDL_BUTTON_LEFT, false, 90, 545));
         }},
        {"diver1 brought back from the vent", [&] { one->SetStat(nbwDiver::LifePoints, 0.11f); }}};
    // Before each way: diver1 beside the vent for the last, else the active diver in front of
    // the reef and the other behind it, the camera settled.
    Put(two, vector3(-12.0f, 3.0f, 2.0f));
    Put(one, vector3(-12.0f, 3.0f, 14.0f));
    for (const auto& [what, go] : ways) {
        SCOPED_TRACE(what);
        if (what[0] == 'd') SwimTo("vent");
        Frames(40);
        go();
        nbwDiver* shown = Active();
        vector3 at = shown->GetPosition();
        for (int i = 0; i < 60; i++) {
            ASSERT_TRUE(Frame());
            const vector3 c = cam->GetMatrix().Translation();
            const std::string where = "frame " + std::to_string(i);
            EXPECT_EQ(SolidAt(c), "") << where << ", camera at " << c.x << " " << c.y << " " << c.z;
            const bool moved = Active() != shown || (Active()->GetPosition() - at).Len() > 2.0f;
            shown = Active();
            at = shown->GetPosition();
            if (!moved) ExpectCameraFree(where);
        }
        EXPECT_EQ(at.z < 8.0f, what[0] == 'T') << "the diver on the reef's other side shown";
        EXPECT_LT((cam->GetMatrix().Translation() - at).Len(), 8.0f);
    }
}

// A switch of diver as the game's loop draws it, at 20 frames a second, by the view each frame
// was drawn with: none from inside a diver's body or a solid, and the frame that first has the
// new diver active still from the old place, where the flight begins. The divers where a new
// game puts them (Tab, a click on the figure), the new one between the old one and its camera,
// and the new one where that camera stands.
TEST_F(DemoLevelTest, ASwitchOfDiverDrawsNoFrameInsideADiverOrASolidAndFliesFromTheOldPlace) {
    frameStep = 1000000 / 20;
    NewGame();
    Frames(5);
    nbwDiver* const divers[] = {Get<nbwDiver>("diver1"), Get<nbwDiver>("diver2")};
    // The diver whose body (two spheres of 0.45) holds the point, with the near plane's 0.1.
    auto inDiver = [&](const vector3& p) -> std::string {
        for (nbwDiver* d : divers) {
            const matrix44& m = d->GetMatrix();
            for (float z : {-0.45f, 0.45f})
                if ((p - m.Translation() - vector3(m.m[2][0], m.m[2][1], m.m[2][2]) * z).Len() < 0.55f)
                    return d->GetName();
        }
        return "";
    };
    const vector3 start1 = divers[0]->GetPosition(), start2 = divers[1]->GetPosition();
    const std::tuple<const char*, vector3, vector3, float> ways[] = {
        {"Tab", start1, start2, 0.0f},
        {"a click on the figure", start1, start2, 0.0f},
        {"Tab, the new one before the camera", vector3(-12, 3, 20), vector3(-12, 3.6f, 23.5f), 0.0f},
        {"Tab, the new one at the camera", vector3(-12, 3, 20), vector3(-12, 4.5f, 26), 1.5f}};
    for (const auto& [what, active, other, heading] : ways) {
        SCOPED_TRACE(what);
        if (Active() != divers[0]) Key(SDL_SCANCODE_TAB, SDLK_TAB, 3);
        ASSERT_EQ(Active(), divers[0]);
        divers[0]->SetRotation(0.0f, 0.0f, 0.0f);
        divers[1]->SetRotation(0.0f, heading, 0.0f);
        Put(divers[1], other);
        Put(divers[0], active);
        Frames(30);
        if (what[0] == 'a') {
            Push(bwtest::sdl::Motion(window, 125, 545, 0, 0));
            Push(bwtest::sdl::Button(window, SDL_BUTTON_LEFT, true, 125, 545));
            Push(bwtest::sdl::Button(window, SDL_BUTTON_LEFT, false, 125, 545));
        } else {
            Push(bwtest::sdl::Key(window, SDL_SCANCODE_TAB, SDLK_TAB, true));
            Push(bwtest::sdl::Key(window, SDL_SCANCODE_TAB, SDLK_TAB, false));
        }
        matrix44 last = gfx->GetMatrix(nGfxServer::VIEWER);
        bool switched = false;
        for (int i = 0; i < 30; i++) {
            ASSERT_TRUE(Frame());
            const matrix44 view = gfx->GetMatrix(nGfxServer::VIEWER);
            const vector3 at = view.Translation();
            const std::string where = "frame " + std::to_string(i) + ", view at " + std::to_string(at.x) + " " +
                                      std::to_string(at.y) + " " + std::to_string(at.z);
            EXPECT_EQ(inDiver(at), "") << where;
            EXPECT_EQ(SolidAt(at), "") << where;
            if (!switched && Active() == divers[1]) {
                switched = true;
                for (int r = 0; r < 4; r++)
                    for (int c = 0; c < 4; c++) EXPECT_NEAR(view.m[r][c], last.m[r][c], 1e-4f) << where;
            }
            last = view;
        }
        EXPECT_TRUE(switched);
        EXPECT_LT((last.Translation() - divers[1]->GetPosition()).Len(), 7.0f) << "arrived at the new diver";
    }
}

// The fish keeps its place in a quick save: after F9 it swims on from where it was saved,
// not from its box's middle beside a diver saved near it. A place written outside its box
// loads at the box's nearest edge; a save without it (an earlier version's) leaves the fish
// where the map puts it.
TEST_F(DemoLevelTest, AQuickLoadPutsTheFishWhereTheSaveHasIt) {
    NewGame();
    Frames(90);
    auto* fish = Get<nbwFish>("fishbox/fish");
    const vector3 saved = fish->GetPosition();
    ASSERT_GT(saved.Len(), 0.5f) << "still at the box's middle";
    Key(SDL_SCANCODE_F5, SDLK_F5);
    ASSERT_TRUE(game->GetLastSaveOk());
    std::string text = SaveText();
    const size_t at = text.find("\"fish_fishbox_fish\"");
    ASSERT_NE(at, std::string::npos) << text;
    const size_t line = text.rfind('\n', at) + 1, end = text.find('\n', at);
    const std::string written = text.substr(line, end - line);
    const std::string indent = written.substr(0, written.find_first_not_of(' '));
    const std::tuple<const char*, std::string, vector3> cases[] = {
        {"as saved", written, saved},
        {"beyond its box", indent + "setv( \"fish_fishbox_fish\", 40.00000000, -3.00000000, 2.00000000, 0.00000000 )",
         vector3(6.0f, -1.0f, 2.0f)},
        {"without it", "", vector3()}};
    for (const auto& [what, place, expected] : cases) {
        SCOPED_TRACE(what);
        std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc)
            << text.substr(0, line) + place + text.substr(end + (place.empty() ? 1 : 0));
        Frames(60);
        // The fish moves at most 2 a second: a frame or two after the load it is still near.
        Key(SDL_SCANCODE_F9, SDLK_F9);
        ASSERT_EQ(StatusLine(), "Spiel geladen.");
        EXPECT_LT((Get<nbwFish>("fishbox/fish")->GetPosition() - expected).Len(), 0.4f);
    }
}

// The flooded chamber's wall rocks stand in the seabed: the sand under a rock's rim, where
// a diver once fitted, is rock. A diver held against each wall rock and the switch from each
// side, facing it and turned away, low over the seabed, with the chamber's water in and let
// out: the view rests in open water, 2.5 or more off the diver with nothing between, the
// diver ahead and in the picture.
TEST_F(DemoLevelTest, AtTheChamberAndTheSwitchTheViewRestsClearOfTheDiverWithItInThePicture) {
    NewGame();
    Frames(5);
    Key(SDL_SCANCODE_TAB, SDLK_TAB);
    Frames(40);
    ASSERT_EQ(Active(), Get<nbwDiver>("diver2"));
    std::vector<std::pair<std::string, vector3>> solids;
    for (const char* rock : {"chamberwall1", "chamberwall2", "chamberwall3", "chamberwall4"}) {
        const vector3 mid = Middle(rock);
        solids.emplace_back(rock, mid);
        for (int a = 0; a < 8; a++) {
            const vector3 p = mid + vector3(std::sin(0.785398f * a), 0.0f, std::cos(0.785398f * a)) * 1.4f;
            EXPECT_EQ(SolidAt(vector3(p.x, SeabedAt(p.x, p.z) + 0.3f, p.z)), rock) << "under its rim, side " << a;
        }
    }
    EXPECT_EQ(SolidAt(vector3(6.5f, 0.2f, -22.5f)), "chamberwall1");
    solids.emplace_back("switch", Get<nLogicVisual2>("switch")->GetPosition() + vector3(0.0f, 0.4f, -0.1f));
    // Met at its own height, a rock low over the seabed.
    auto meets = [&](const std::string& solid, const vector3& a, const vector3& b) {
        return solid == "switch" ? CrossesModule("switch/solid", a, b) : Crosses(solid + "_solid", a, b);
    };
    for (bool drained : {false, true}) {
        if (drained) {
            SwimTo("switch");
            E();
            Frames(5 * 30);
            ASSERT_LE(Get<nbwWater>("chamber/chamberwater")->GetWaterstand(), 0.5f);
        }
        // Without the follow delay the camera rests in the frame the diver is put.
        Active()->SetStat(nbwDiver::ZoomState, 0.0f);
        int placed = 0;
        for (const auto& [solid, mid] : solids) {
            for (int side = 0; side < 4; side++) {
                const vector3 dir(std::sin(1.570796f * side), 0.0f, std::cos(1.570796f * side));
                vector3 far = mid + dir * 6.0f;
                if (solid != "switch") far.y = SeabedAt(far.x, far.z) + 0.6f;
                vector3 at = far;
                while ((at - mid).Len() > 0.1f && !meets(solid, far, at)) at = at - dir * 0.05f;
                // A body's half length and its sphere off the surface.
                vector3 p = at + dir * 1.05f;
                p.y = std::max(p.y, SeabedAt(p.x, p.z) + 0.6f);
                for (float turn : {0.0f, 3.141593f}) {
                    const float heading = Facing(dir) + turn;
                    const vector3 along(std::sin(heading) * 0.45f, 0.0f, std::cos(heading) * 0.45f);
                    // The switch stands against two of the rocks: no body fits there.
                    auto solidAt = [&](const vector3& q) {
                        return !SolidAt(q).empty() || ViewIn(q, -0.1f) == "switch";
                    };
                    if (solidAt(p + along) || solidAt(p - along) || solidAt(p + vector3(0.0f, -0.45f, 0.0f))) continue;
                    Park(p, heading, 3);
                    placed++;
                    ExpectViewAtRest(solid + " side " + std::to_string(side) + (turn > 0.0f ? " turned away" : "") +
                                     (drained ? ", water let out" : ""));
                }
            }
        }
        EXPECT_GE(placed, 34);
    }
    // The other rocks rest on the seabed: a diver fits under the rim of some, turned away from
    // the middle, with rock behind and above it. The camera turns round it to where it is
    // far enough off.
    int under = 0;
    for (const std::string& rock : Rocks()) {
        // The gate rocks stand in the reef, which nothing gets under.
        if (rock.rfind("chamberwall", 0) == 0 || rock.rfind("gate", 0) == 0) continue;
        const vector3 mid = Middle(rock);
        const float size = Get<nLogicVisual2>(rock.c_str())->GetScale().x;
        for (int side = 0; side < 4; side++) {
            const vector3 dir(std::sin(1.570796f * side), 0.0f, std::cos(1.570796f * side));
            for (float r = 0.5f * size; r < 1.3f * size; r += 0.1f) {
                vector3 p = mid + dir * r;
                p.y = SeabedAt(p.x, p.z) + 0.5f;
                const vector3 along = dir * 0.45f;
                if (!SolidAt(p + along).empty() || !SolidAt(p - along).empty() ||
                    !SolidAt(p + vector3(0.0f, -0.45f, 0.0f)).empty() || SolidAt(p + vector3(0.0f, 1.0f, 0.0f)) != rock)
                    continue;
                Park(p, Facing(dir) + 3.141593f, 3);
                under++;
                ExpectViewAtRest("under " + rock + "'s rim, side " + std::to_string(side));
                break;
            }
        }
    }
    EXPECT_GE(under, 4);
}

// Where the diver rests just under the surface (risen by R and W, or backed by S to the reef,
// no frame on the way cutting the surface) or with its back to the reef or a chamber
// rock, the view rests clear of it and still; after F5 there, the first frame of
// the load (F9 or "Spiel laden") is drawn from that rest place, not from beyond the solid.
TEST_F(DemoLevelTest, UnderTheSurfaceAndFromTheFirstFrameAfterALoadTheViewRestsClearOfTheDiver) {
    NewGame();
    Frames(5);
    const std::tuple<const char*, vector3, float> rows[] = {
        {"under the surface", vector3(0.0f, 10.0f, 20.0f), 0.0f},
        {"under the surface, backed to the reef", vector3(-6.0f, 11.4f, 12.0f), 3.141593f},
        {"under the surface, backed to the reef at a slant", vector3(6.0f, 11.4f, 12.0f), 2.6f},
        {"back to the reef's south face", vector3(0.0f, 4.5f, 9.6f), 3.141593f},
        {"back to the chamber's west rock", vector3(2.8f, 1.0f, -24.0f), -1.570796f},
        {"in the chamber, back to its west rock", vector3(10.2f, 1.0f, -24.0f), 1.570796f}};
    for (const auto& [where, p, heading] : rows) {
        for (bool menu : {false, true}) {
            SCOPED_TRACE(std::string(where) + (menu ? ", Spiel laden" : ", F9"));
            Park(p, heading, 3);
            const int backed = p.y > 11.0f ? 90 : 0;
            if (p.y > 9.0f && !backed) Key(SDL_SCANCODE_R, SDLK_r, 45), Key(SDL_SCANCODE_W, SDLK_w, 150);
            if (backed) Push(bwtest::sdl::Key(window, SDL_SCANCODE_S, SDLK_s, true));
            for (int i = 0; i < backed && Frame(); i++)
                ExpectNearPlaneUnderTheSurface(gfx->GetMatrix(nGfxServer::VIEWER).Translation(), "backing");
            if (backed) Push(bwtest::sdl::Key(window, SDL_SCANCODE_S, SDLK_s, false));
            Frames(60);
            for (int i = 0; i < 10; i++) {
                const vector3 c = gfx->GetMatrix(nGfxServer::VIEWER).Translation();
                ASSERT_TRUE(Frame());
                EXPECT_LT((gfx->GetMatrix(nGfxServer::VIEWER).Translation() - c).Len(), 0.05f) << "it shakes";
            }
            ExpectViewAtRest("at rest");
            const vector3 saved = DiverAt();
            Key(SDL_SCANCODE_F5, SDLK_F5);
            SwimTo(0.0f, 4.0f, 30.0f);
            Frames(5);
            if (menu) Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE), Frames(2), Key(SDL_SCANCODE_DOWN, SDLK_DOWN);
            const auto [key, sym] = menu ? std::pair(SDL_SCANCODE_RETURN, SDLK_RETURN) : std::pair(SDL_SCANCODE_F9, SDLK_F9);
            Push(bwtest::sdl::Key(window, key, sym, true));
            for (int i = 0; i < 5 && (DiverAt() - saved).Len() > 0.05f; i++) ASSERT_TRUE(Frame());
            Push(bwtest::sdl::Key(window, key, sym, false));
            ASSERT_LT((DiverAt() - saved).Len(), 0.05f);
            EXPECT_FALSE(Flat(Shot()));
            ExpectViewAtRest("the first frame after the load");
        }
    }
}

// As a player met the chamber and the switch, at the game's own follow delay, by keys: every
// drawn frame is in open water, a unit or more off every diver's body and no flat
// picture, and once the diver has stopped the view rests as it should. S held at the switch
// from either side after E let the water out; Tab to diver 2 at the switch, against the
// chamber's west rock and in front of the door, and back; a click on a figure; diver 1 passed
// out at the vent and brought to its start.
TEST_F(DemoLevelTest, AtTheChamberTheSwitchAndOnEveryFlightNoFrameIsOnADiverOrFlat) {
    NewGame();
    Frames(5);
    nbwDiver* one = Get<nbwDiver>("diver1");
    nbwDiver* two = Get<nbwDiver>("diver2");
    // `frames` frames, each drawn from open water and off the bodies, every `shots`th of
    // them no flat picture; the last `rest` of them with nothing solid between the view and
    // the active diver.
    auto watch = [&](const std::string& what, int frames, int rest, int shots) {
        for (int i = 0; i < frames; i++) {
            ASSERT_TRUE(Frame());
            const vector3 c = gfx->GetMatrix(nGfxServer::VIEWER).Translation(), mid = Active()->GetPosition();
            const std::string where = what + ", frame " + std::to_string(i) + ", view at " + std::to_string(c.x) +
                                      " " + std::to_string(c.y) + " " + std::to_string(c.z);
            EXPECT_EQ(ViewIn(c, 1.0f), "") << where;
            if (i % shots == 0) EXPECT_FALSE(Flat(Shot())) << where;
            if (i >= frames - rest) EXPECT_EQ(SolidBetween(c, mid), "") << where;
        }
        ExpectViewAtRest(what + ", at rest");
    };
    Key(SDL_SCANCODE_TAB, SDLK_TAB);
    Frames(40);
    ASSERT_EQ(Active(), two);
    SwimTo("switch");
    E();
    Frames(5 * 30);
    ASSERT_LE(Get<nbwWater>("chamber/chamberwater")->GetWaterstand(), 0.5f);
    const vector3 at = Get<nLogicVisual2>("switch")->GetPosition();
    for (float side : {1.0f, -1.0f}) {
        for (int held : {9, 30}) {
            const std::string what = std::string("S for ") + std::to_string(held) + " frames from " +
                                     (side > 0.0f ? "+z" : "-z");
            const vector3 p = at + vector3(0.0f, 0.0f, 1.3f * side);
            if (!SolidAt(p).empty()) continue;
            Park(p, side > 0.0f ? 0.0f : 3.141593f, 45);
            Key(SDL_SCANCODE_S, SDLK_s, held);
            watch(what, 90, 20, 5);
        }
    }
    // Diver 2 at rest where a switch takes the camera to it, diver 1 at its start.
    const vector3 start1 = one->GetPosition();
    const std::tuple<const char*, vector3, float> parked[] = {
        {"at the switch", at + vector3(0.0f, 0.0f, 1.3f), 0.0f},
        {"at the switch, facing +z", at + vector3(-0.6f, 0.2f, -1.2f), 3.141593f},
        {"against the chamber's west rock", vector3(3.6f, 0.0f, -23.2f), 1.570796f},
        {"in front of the door", vector3(-1.5f, 1.6f, 10.0f), 0.0f}};
    for (const auto& [where, p, heading] : parked) {
        if (!SolidAt(p).empty()) continue;
        Park(p, heading, 30);
        Put(one, start1);
        Key(SDL_SCANCODE_TAB, SDLK_TAB);
        ASSERT_EQ(Active(), one);
        watch(std::string("Tab from diver 2 ") + where, 40, 10, 1);
        Key(SDL_SCANCODE_TAB, SDLK_TAB);
        ASSERT_EQ(Active(), two);
        watch(std::string("Tab to diver 2 ") + where, 40, 10, 1);
    }
    Key(SDL_SCANCODE_TAB, SDLK_TAB);
    ASSERT_EQ(Active(), one);
    Frames(30);
    Click(125, 545);
    watch("a click on diver 2's figure", 40, 10, 1);
    ASSERT_EQ(Active(), two);
    Key(SDL_SCANCODE_TAB, SDLK_TAB);
    ASSERT_EQ(Active(), one);
    SwimTo("vent");
    Frames(30);
    one->SetStat(nbwDiver::LifePoints, 0.11f);
    watch("diver 1 brought back from the vent", 90, 10, 1);
    EXPECT_LT(FromStart(one->GetPosition()), 2.0f);
}

// The vent stands on the seabed: all round its mound reaches into the sand, so that the
// sand just above the seabed's surface under its rim lies inside it. A mound above the
// seabed leaves a band of sand between it and its shadow.
TEST_F(DemoLevelTest, TheVentsMoundStandsOnTheSeabed) {
    NewGame();
    Frames(2);
    const vector3 vent = Get<nLogicVisual2>("vent")->GetPosition();
    for (int i = 0; i < 16; i++) {
        const float a = 0.3927f * float(i);
        const float dx = std::cos(a), dz = std::sin(a);
        // The seabed's height there, as a line from above meets it; the way in from outside
        // to the sand just above it meets the mound's face (faces answer from outside).
        const float x = vent.x + 1.3f * dx, z = vent.z + 1.3f * dz;
        float ground = -100.0f;
        for (nRoot* m = Lookup(L("seabed_solid"))->GetHead(); m; m = m->GetSucc()) {
            const nCollideObject2& o = static_cast<nModSimpleCollision*>(m)->GetCollObject();
            nCollideReportBuffer buffer;
            buffer.Begin(COLLTYPE_EXACT);
            if (!o.shape.GetUnsafe() ||
                !o.shape->LineCheck(o.curMatrix, line3(vector3(x, 50.0f, z), vector3(x, -50.0f, z)), &buffer, vector3()))
                continue;
            for (int h = 0; h < buffer.numLineHits; h++) ground = std::max(ground, buffer.lineHits[h].position.y);
        }
        ASSERT_GT(ground, -5.0f);
        const vector3 sand(x, ground + 0.03f, z);
        EXPECT_TRUE(CrossesModule("vent/solid", sand + vector3(2.0f * dx, 0.0f, 2.0f * dz), sand))
            << "sand at " << x << " " << sand.y << " " << z << " outside the mound";
    }
}

// Every action shows one message, and a true one. Q with the cutter at the heap (its
// armor holds) and with the air bag at the switch (worked by hand) say they do nothing and
// change nothing; E opens the valve once, then says it is open; the air bag names what it
// lifts; the messages about the diver the player does not steer, whose air runs out, name
// it.
TEST_F(DemoLevelTest, EachActionSaysOneTrueThingAndAMessageAboutADiverNamesIt) {
    NewGame();
    Frames(5);
    ASSERT_NO_FATAL_FAILURE(ListenToStatusLine());
    auto said = [this] { return Said(); };
    const std::string nothing = "Damit lässt sich hier nichts tun.|";
    SwimTo("cutter");
    E();
    ASSERT_EQ(said(), "Schneidbrenner genommen.|");
    SwimTo("heap");
    Q();
    EXPECT_EQ(said(), nothing);
    EXPECT_EQ(Get<nbwSandHeap>("heap")->GetSweepValue(), 0.0f);

    // The air bag, dug out and laid where the cutter lay.
    ASSERT_TRUE(Run("local b = obj('" + L("luftsack") + "') b.setvisible(true) "
                    "b.sethandleractive('collision', 'item', true) b.txyz(3, 3, 20)"));
    SwimTo("luftsack");
    E();
    ASSERT_EQ(said(), "Luftsack genommen.|");
    SwimTo("switch");
    Q();
    Frames(5);
    auto* water = Get<nbwWater>("chamber/chamberwater");
    EXPECT_EQ(said(), nothing);
    EXPECT_FALSE(water->GetFading());
    EXPECT_EQ(Hand(), L("diver1/inventory/luftsack"));
    E();
    Frames(2);
    EXPECT_EQ(said(), "Der Schalter öffnet das Ventil.|");
    EXPECT_TRUE(water->GetFading());
    E();
    Frames(2);
    EXPECT_EQ(said(), "Das Ventil ist schon offen.|");
    // The air bag lifts not the camera while the crate waits for it, nor once no crate is
    // left: the camp keeps only the crate.
    SwimTo("fotoapparat");
    Q();
    EXPECT_EQ(said(), "Den Luftsack braucht die Kiste.|");
    ASSERT_TRUE(Run("delete('" + L("kiste") + "')"));
    Frames(2);
    Q();
    EXPECT_EQ(said(), "Damit lässt sich hier nichts tun.|");
    EXPECT_NE(Lookup(L("fotoapparat")), nullptr);

    // The second diver, parked at its start, runs out of air.
    auto* parked = Get<nbwDiver>("diver2");
    parked->SetStat(nbwDiver::EnergieLose, 0.5f);
    parked->SetStat(nbwDiver::Energie, 0.06f);
    std::string text;
    for (int i = 0; i < 60 && text.find("bewusstlos") == std::string::npos; i++) {
        ASSERT_TRUE(Frame());
        text += said();
    }
    EXPECT_EQ(Active(), Diver());
    EXPECT_NE(text.find("Taucher 2: Die Luft wird knapp!|"), std::string::npos) << text;
    EXPECT_NE(text.find("Taucher 2: Der Taucher ist bewusstlos und wird geborgen.|"), std::string::npos) << text;
}

// The low-air warning comes once, whatever the state it is loaded in: after a new game whose
// store starts the diver's air low, and after a load of a save with the air low, whether the
// save says the warning was given or not.
TEST_F(DemoLevelTest, AWarningTheLoadedAirAlreadyMeetsComesOnce) {
    ASSERT_TRUE(Run("local run = dofile function dofile(file) run(file) if file == 'home:levels/level1/store.n' "
                    "then obj('/usr/persist/level1/diver1').setf('energie', 0.04) end end"));
    ASSERT_NO_FATAL_FAILURE(ListenToStatusLine());
    // How often it was said since the last look and in the next second.
    auto warnings = [this] {
        std::string said = Said();
        for (int i = 0; i < 30; i++) said += Frame() ? Said() : "";
        int n = 0;
        for (size_t at = 0; (at = said.find("Taucher 1: Die Luft wird knapp!|", at)) != std::string::npos; at++) n++;
        return n;
    };
    NewGame();
    EXPECT_EQ(warnings(), 1) << "after the new game";
    Key(SDL_SCANCODE_F5, SDLK_F5);
    std::stringstream text;
    text << std::ifstream(saveDir / "schnellspeicher.n").rdbuf();
    const std::string save = text.str();
    const size_t at = save.find("\"lowenergy\", 1", save.find("'diver1'")) + std::strlen("\"lowenergy\", ");
    ASSERT_LT(at, save.size()) << "the warning given is saved";
    for (const char* given : {"1", "0"}) {
        std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << std::string(save).replace(at, 1, given);
        Key(SDL_SCANCODE_F9, SDLK_F9);
        EXPECT_EQ(warnings(), 1) << "after a load, the warning given: " << given;
    }
}

// Names from a save or a movie's line never run as the player's code: data gives no name
// that could end a quoted path, and the game's scripts pass on a path that the player's
// own text named so (quotes, brackets, a backslash, line breaks) as a quoted text.
TEST_F(DemoLevelTest, NoNameFromDataOrTheGameRunsAsCodeInTheAirCheckRestDiverSwitchOrLift) {
    NewGame();
    Frames(5);
    ASSERT_TRUE(Run(R"(pwn = "');bwxran=1--" odd = "d\\\n]]\"[[(\r" .. pwn)"));
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    const std::string good = SaveText();
    std::string save = good;  // its active diver named with script text: refused whole
    for (const std::string from : {"'diver1'", "\"diver1\""})
        for (size_t at; (at = save.find(from)) != std::string::npos;) save.replace(at, 8, "\"diver1');bwxran=1--\"");
    std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << save;
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(3);
    ASSERT_EQ(Active(), Diver()) << log.text;
    save = good;  // its item types as such texts: loaded, the prototypes' types kept
    for (const std::string key : {"\"type\", \""})
        for (size_t at = 0; (at = save.find(key, at)) != std::string::npos; at++)
            save.insert(at + key.size(), R"(x\\\n]]\"[[');bwxran=1--)");
    std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << save;
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(3);
    ASSERT_EQ(StatusLine(), "Spiel geladen.") << log.text;
    log.text.clear();
    const char* result = nullptr;
    static_cast<nScriptServer*>(Lookup("/sys/servers/script"))
        ->RunLine(("local d = obj('" + L("diver2") + "') for _, n in ipairs({'d' .. pwn, odd}) do d.setname(n) "
                   "new('nroot', '/usr/persist/x/' .. n) d.clone('/usr/persist/' .. n) d.clone('/usr/logic/level1/' .. n) end").c_str(), result);
    size_t refused = 0;
    for (size_t at = 0; (at = log.text.find("brought: the name", at + 1)) != std::string::npos;) refused++;
    EXPECT_EQ(refused, 8u) << log.text;
    EXPECT_TRUE(Lookup(L("diver2")) && !Lookup("/usr/persist/x"));
    // The player's own text may name so: the air check, the body's rest, the switch by the
    // figure and the lift's end still find their objects and run nothing else.
    ASSERT_TRUE(Run("obj('" + L("diver1") + "').setname('d' .. pwn)"));
    nbwDiver* d = Active();
    d->SetStat(nbwDiver::EnergieLose, 0.5f);
    d->SetStat(nbwDiver::Energie, 0.08f);
    bool rescued = false;
    for (int i = 0; i < 90 && !rescued; i++) {
        ASSERT_TRUE(Frame());
        rescued = StatusLine().find("Der Taucher ist bewusstlos und wird geborgen.") != std::string::npos;
    }
    ASSERT_TRUE(rescued) << log.text;
    Frames(3);
    MouseClick(125, 550);
    EXPECT_EQ(StatusLine(), "Taucher 2");
    nbwLevel* level = game->GetCurrentLevel();
    ASSERT_TRUE(Run("obj('/usr/logic/level1').setname(odd) aufstieg('/usr/templates/crate', 0, 0, 0)"));
    ASSERT_NE(level->Find("aufstieg1"), nullptr);
    Frames(70);
    EXPECT_EQ(level->Find("aufstieg1"), nullptr);
    level->SetName("level1");
    EXPECT_TRUE(Run("assert(bwxran == nil)")) << log.text;
}

TEST_F(DemoLevelTest, TheFishBitesADiverParkedInItsReachAndEachBiteSaysSoOnceNamingIt) {
    NewGame();
    Frames(5);
    ASSERT_NO_FATAL_FAILURE(ListenToStatusLine());
    const vector3 box = Get<nLogicVisual2>("fishbox")->GetPosition();
    auto* fish = Get<nbwFish>("fishbox/fish");
    // Stopped 3.5 from the fish, low, level or high in its box: bitten within 15 s.
    for (float height : {-0.9f, 0.0f, 0.9f}) {
        SwimTo("basket");
        Diver()->SetStat(nbwDiver::LifePoints, 1.0f);
        Frames(30);
        const vector3 f = fish->GetPosition();
        vector3 way(-f.x, 0.0f, -f.z);
        way = way.Len() > 0.5f ? way * (3.5f / way.Len()) : vector3(3.5f, 0.0f, 0.0f);
        const vector3 at = box + vector3(f.x + way.x, height, f.z + way.z);
        SwimTo(at.x, at.y - 0.5f, at.z);
        // The diver's jump there swept its skin past the fish: the fish starts afresh.
        fish->SetState(nbwFish::Cruise);
        Said();
        bool bitten = false;
        for (int i = 0; i < 15 * 30 && !bitten; i++) {
            ASSERT_TRUE(Frame());
            bitten = Life("diver1") < 0.9f;
        }
        EXPECT_TRUE(bitten) << "at " << at.x << " " << at.y << " " << at.z;
        Frames(2);
        EXPECT_EQ(Said(), "Taucher 1: Ein Fisch greift an!|");
    }
}

// A fish fleeing from a diver who stays gets no further from it at long frames than at 60
// frames a second, and its flight ends only where it ends at 60: long frames must not carry
// it past its box's turn and out of reach, to come back and bite again and again.
TEST_F(DemoLevelTest, TheFishFleesAsFarAtEveryFrameStep) {
    NewGame();
    Frames(5);
    const vector3 box = Get<nLogicVisual2>("fishbox")->GetPosition();
    auto* fish = Get<nbwFish>("fishbox/fish");
    for (const vector3& at : {vector3(3.0f, 0.0f, 3.0f), vector3(-2.0f, 0.5f, 4.0f), vector3(0.0f, 0.0f, 0.0f)}) {
        float farthest60 = -1.0f;
        bool ended60 = false;
        for (int64_t step : {int64_t(1000000 / 60), int64_t(250000), int64_t(500000), int64_t(1000000)}) {
            SCOPED_TRACE(testing::Message() << "at " << at.x << " " << at.y << " " << at.z << ", step " << step);
            frameStep = 1000000 / 30;
            SwimTo(box.x + at.x, box.y + at.y - 0.5f, box.z + at.z);
            // Just after a bite, beside the diver, turned away from it.
            fish->SetPosition(at + vector3(-1.5f, 0.0f, 0.0f));
            fish->SetVelocity(vector3(-1.0f, 0.0f, 0.0f));
            fish->SetTargetDir(vector3(1.0f, 0.0f, 0.0f));
            fish->SetState(nbwFish::Flee);
            fish->SetTurnSide(0);
            frameStep = step;
            float farthest = 0.0f;
            bool ended = false;
            for (int i = 0; i < int(15000000 / step) && !ended; i++) {
                ASSERT_TRUE(Frame());
                ended = fish->GetState() != nbwFish::Flee;
                if (!ended) farthest = std::max(farthest, (fish->GetPosition() - at).Len());
            }
            if (farthest60 < 0.0f) std::tie(farthest60, ended60) = std::pair{farthest, ended};
            EXPECT_LE(farthest, farthest60 + 1.0f);
            EXPECT_EQ(ended, ended60);
        }
    }
}

TEST_F(DemoLevelTest, TheDoorIsInReachWhereverTheDiverTouchesItsLeaf) {
    NewGame();
    Frames(5);
    SwimTo("cutter");
    E();
    ASSERT_EQ(Hand(), L("diver1/inventory/cutter"));
    // The leaf is 3 x 3 from its hinge; the diver's head, 0.9 ahead of its middle, touches
    // it near each corner.
    auto* door = Get<nbwItem>("door");
    for (float x : {0.2f, 2.9f}) {
        for (float y : {0.4f, 3.0f}) {
            Park(door->GetPosition() + vector3(x, y, 1.45f), 0.0f, 1);
            EXPECT_EQ(Active()->GetNearItem(), door) << "at " << x << " " << y;
        }
    }
    Q();
    EXPECT_NE(StatusLine(), "Damit lässt sich hier nichts tun.");
    EXPECT_LE(door->GetFloat(nbwItem::Hitpoints), 0.0f);
}

TEST_F(DemoLevelTest, TheSelectorsFrameTheSlotsOfTheInventoryBarAndTheBasket) {
    NewGame();
    Frames(5);
    for (const std::string& at : {std::string("/usr/logic/uwmenu/"), L("basket/")}) {
        auto* selection = static_cast<nLogicFlash*>(Lookup(at + "selection"));
        selection->GetValue("move_command");  // loads the movie when it is not
        ASSERT_NE(selection->GetModule(), nullptr) << at;
        std::vector<uint8_t> image(250 * 64 * 4);
        ASSERT_GE(selection->GetModule()->Render(image.data(), 250, 64, 4), 0);
        float w, h;
        static_cast<nLogicSprite*>(Lookup(at + "selector"))->GetDimension(w, h);
        // A column of a slot's picture differs from the bar's ground at the left edge.
        auto picture = [&](int x) {
            for (int c = 0; c < 3; c++) {
                if (std::abs(int(image[(20 * 250 + x) * 4 + c]) - int(image[(20 * 250 + 1) * 4 + c])) > 8) return true;
            }
            return false;
        };
        for (int i = 0; i < 4; i++) {
            SCOPED_TRACE(at + " slot " + std::to_string(i));
            const int rest = int(nbwElevator::RestX[i]);
            int left = -1, right = -1;
            for (int x = std::max(0, rest - 8); x < std::min(250, rest + 60); x++) {
                if (!picture(x)) continue;
                if (left < 0) left = x;
                right = x;
            }
            ASSERT_GE(left, 0);
            // The selector resting there covers the picture with a like margin either side.
            EXPECT_GE(left, rest);
            EXPECT_LT(right, rest + int(w));
            EXPECT_LE(std::abs((left - rest) - (rest + int(w) - 1 - right)), 1);
        }
    }
}

// Level 1 is a closed basin. No way across the reef's line passes the closed door. W held
// at the reef from either side, at the edges and at the surface stops the diver as a rock
// does, its camera inside; F5 and F9 there give back the place.
TEST_F(DemoLevelTest, TheReefTheEdgesAndTheSurfaceStopTheDiverAndF5F9GiveBackWhereItStopped) {
    NewGame();
    Frames(5);
    for (float x = -95.0f; x <= 95.0f; x += 0.5f) {
        for (float y = 0.0f; y < 12.0f; y += 0.5f) {
            const vector3 a(x, y, 12.0f), b(x, y, 4.0f);
            ASSERT_TRUE(Crosses("basin_solid", a, b) || CrossesModule("door/solid", a, b)) << x << " " << y;
        }
    }
    // Where the diver starts, 3 off a face, and the way from the face to the diver.
    const std::pair<vector3, vector3> rows[] = {
        {{0, 4.5f, 11.5f}, {0, 0, 1}}, {{0, 10, 11.5f}, {0, 0, 1}},    {{-7.5f, 2, 11.5f}, {0, 0, 1}},
        {{-1, 6, 4.5f}, {0, 0, -1}},   {{93, 4, -40}, {-1, 0, 0}},     {{-93, 8, 40}, {1, 0, 0}},
        {{30, 3, 93}, {0, 0, -1}},     {{-30, 6, -93}, {0, 0, 1}},     {{0, 9, 40}, {0, -1, 0}}};
    for (const auto& [from, side] : rows) {
        const std::string where = std::to_string(from.x) + " " + std::to_string(from.y) + " " + std::to_string(from.z);
        SCOPED_TRACE(where);
        Park(from, Facing(side), 2);
        // At the surface with the nose raised as far as it goes.
        if (side.y != 0.0f) Key(SDL_SCANCODE_R, SDLK_r, 60);
        Push(bwtest::sdl::Key(window, SDL_SCANCODE_W, SDLK_w, true));
        float nearest = 3.0f;
        for (int i = 0; i < 150; i++) {
            ASSERT_TRUE(Frame());
            nearest = std::min(nearest, (DiverAt() - from) % side + 3.0f);
        }
        Push(bwtest::sdl::Key(window, SDL_SCANCODE_W, SDLK_w, false));
        Frames(2);
        const vector3 at = DiverAt();
        EXPECT_GT(nearest, 0.45f) << "its head went in";
        EXPECT_LT((at - from) % side + 3.0f, 1.5f) << "it did not reach the wall";
        ExpectCameraFree(where);
        Key(SDL_SCANCODE_F5, SDLK_F5);
        SwimTo(0.0f, 4.0f, 30.0f);
        Key(SDL_SCANCODE_F9, SDLK_F9);
        Frames(3);
        const vector3 back = DiverAt();
        EXPECT_LT((back - at).Len(), 0.05f) << "loaded at " << back.x << " " << back.y << " " << back.z;
        ExpectCameraFree(where + " after F9");
    }
}

// The inventory bar shows only while it has the keys: what takes them (a load, the menu,
// another diver) closes it, and I opens it with the keys again.
TEST_F(DemoLevelTest, TheInventoryBarGoesWithItsKeysAtF9F5EscAndADiverSwitch) {
    ASSERT_FALSE(NewGameSaved().empty());
    auto shown = [&] { return static_cast<nLogicNode*>(Lookup("/usr/logic/uwmenu/selection"))->GetActive(); };
    // Each key (none: a click on diver2's figure) and what the status line says after it.
    const std::tuple<SDL_Scancode, SDL_Keycode, const char*> keys[] = {
        {SDL_SCANCODE_F9, SDLK_F9, "Spiel geladen."},
        {SDL_SCANCODE_F5, SDLK_F5, "Spiel gespeichert."},
        {SDL_SCANCODE_ESCAPE, SDLK_ESCAPE, " "},
        {{}, {}, "Taucher 2"}};
    for (const auto& [code, sym, said] : keys) {
        SCOPED_TRACE(sym ? SDL_GetKeyName(sym) : "a click on diver2's figure");
        Key(SDL_SCANCODE_I, SDLK_i);
        Frames(10);
        ASSERT_TRUE(shown());
        if (sym) Key(code, sym);
        else MouseClick(125, 550);
        Frames(10);
        if (Menu()->GetActive()) Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
        Frames(10);
        EXPECT_EQ(shown(), State(0x1000) && GroupFocus("inventory") && !GroupFocus("diver"));
        EXPECT_EQ(StatusLine(), said);
        if (!shown()) Key(SDL_SCANCODE_I, SDLK_i);
        Frames(10);
        EXPECT_TRUE(shown() && !GroupFocus("diver"));
        Key(SDL_SCANCODE_I, SDLK_i);
        Frames(10);
        EXPECT_TRUE(!shown() && GroupFocus("diver"));
    }
}

// Five things carried: whatever is in the hand, the selector held past the bar's left end
// scrolls back to the first thing, and past its right end on to the last.
TEST_F(DemoLevelTest, EachOfFiveCarriedThingsCanBeTakenFromTheInventoryBar) {
    NewGame();
    Frames(5);
    ASSERT_TRUE(Run("local b = obj('" + L("luftsack") +
                    "') b.setvisible(true) b.sethandleractive('collision', 'item', true)"));
    const char* const things[] = {"hand", "fotoapparat", "cutter", "sandremover", "luftsack"};
    for (int i = 1; i < 5; i++) {
        SwimTo(things[i]);
        E();
    }
    auto* selector = static_cast<nLogicSprite*>(Lookup("/usr/logic/uwmenu/selector"));
    float x, y;
    int px = 0;
    // The pointer on the held selector, 3 pixels a frame, until it (or, left of the bar,
    // the pointer) reaches `to`; then held there for `hold` frames.
    auto move = [&](float to, int hold) {
        for (int i = 0; i < 200 && (to < 400.0f ? px > to : (selector->GetPosition(x, y), x < to)); i++) {
            px += to < 400.0f ? -3 : 3;
            Push(bwtest::sdl::Motion(window, px, 550, to < 400.0f ? -3 : 3, 0));
            Frames(1);
        }
        Frames(hold);
    };
    for (const auto& [held, wanted] : {std::pair{4, 0}, {0, 4}, {1, 3}, {3, 2}, {2, 1}}) {
        SCOPED_TRACE(std::string(things[held]) + " held, " + things[wanted] + " wanted");
        ASSERT_TRUE(Run("obj('" + L("diver1") + "').setpath('hand', 'inventory/" + things[held] + "')"));
        Key(SDL_SCANCODE_I, SDLK_i);
        Frames(10);
        selector->GetPosition(x, y);
        px = int(x) + 20;
        Push(bwtest::sdl::Motion(window, px, 550, 0, 0));
        Frames(1);
        Push(bwtest::sdl::Button(window, SDL_BUTTON_LEFT, true, px, 550));
        move(380.0f, 75);
        move(wanted < 4 ? 402.0f + nbwElevator::RestX[wanted] : 605.0f, wanted < 4 ? 2 : 15);
        Push(bwtest::sdl::Button(window, SDL_BUTTON_LEFT, false, px, 550));
        Frames(15);
        EXPECT_EQ(Hand(), L((std::string("diver1/inventory/") + things[wanted]).c_str()));
        EXPECT_FALSE(State(0x1000)) << "taking closes the bar";
    }
}

// ---- a save is values

// A quick save that F5 wrote, with `extra` in the level's store: the save as text.
std::string WithInLevelStore(const std::string& save, const std::string& extra) {
    const size_t at = save.find("  sel('level1')\n");
    if (at == std::string::npos) return save;
    std::string out = save;
    out.insert(at + std::strlen("  sel('level1')\n"), extra);
    return out;
}

// A save that makes the macro plugin, or a level node with its start-up handler and a timer,
// is refused whole: the person's macros file stays where it is, and the game runs on.
TEST_F(DemoGameTest, ASaveThatMakesAnyOtherClassOrCallsAnyOtherCommandIsRefusedWhole) {
    const std::string good = NewGameSaved();
    ASSERT_FALSE(good.empty());
    // The person's macros, and a backup of older ones, in a folder of the test's own.
    auto* files = ks->GetFileServer<nFileServer2>();
    const std::string homeBin = files->GetAssign("bin");
    const fs::path bin = saveDir / "bin";
    fs::create_directories(bin);
    std::ofstream(bin / "scripts.n") << "-- the person's macros\n";
    std::ofstream(bin / "scripts.bak") << "-- older macros\n";
    ASSERT_TRUE(files->SetAssign("bin", (bin.string() + "/").c_str()));
    const vector3 at = DiverAt();
    for (const std::string& extra :
         {std::string("  new('nmacroexec2', 'macros')\n"),
          std::string("  new('nbwlevel', 'trick')\n  sel('trick')\n  seteventscript( \"onstartup\", \"endlevel()\" )\n"
                      "  addtimer( \"t\", \"loop\", 0, 0.01, \"exit()\" )\n  up()\n"),
          std::string("  setowner( \"/usr/logic/level1\" )\n")}) {
        std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << WithInLevelStore(good, extra);
        log.printed.clear();
        Key(SDL_SCANCODE_F9, SDLK_F9);
        Frames(3);
        EXPECT_EQ(StatusLine(), "Laden fehlgeschlagen.") << extra;
        EXPECT_NE(log.printed.find("schnellspeicher.n' refused: line "), std::string::npos) << log.printed;
        EXPECT_STREQ(game->GetLevel(), "level1");
        ASSERT_NE(Diver(), nullptr);
        EXPECT_LT((DiverAt() - at).Len(), 0.05f);
        EXPECT_EQ(Lookup("/usr/persist/level1/macros"), nullptr);
        EXPECT_EQ(Lookup("/usr/persist/level1/trick"), nullptr);
    }
    std::stringstream macros, backup;
    macros << std::ifstream(bin / "scripts.n").rdbuf();
    backup << std::ifstream(bin / "scripts.bak").rdbuf();
    EXPECT_EQ(macros.str(), "-- the person's macros\n");
    EXPECT_EQ(backup.str(), "-- older macros\n");
    ASSERT_TRUE(files->SetAssign("bin", homeBin.c_str()));
    // The good save loads as before.
    std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << good;
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(3);
    EXPECT_EQ(StatusLine(), "Spiel geladen.") << log.text;
}

// Names and texts of a save that hold control characters: the save is refused whole, and
// no line of the log begins with what it brought.
TEST_F(DemoGameTest, ASaveWhoseNamesHoldControlCharactersIsRefusedAndItsLogLineStaysWhole) {
    const std::string good = NewGameSaved();
    ASSERT_FALSE(good.empty());
    const std::string logName = (fs::path(sys::ExecutablePath()).parent_path() / "BwForgedLineTest.log").string();
    {
        nWin32LogHandler file("BwForgedLineTest");
        for (const char* extra : {"  seti( \"\\27]0;PWNED\\7\\27[2J\\nFAKE LOG LINE\", 1 )\n",
                                  "  new('npersist', \"\\13FAKE LOG LINE\\27[31m\\8\\127\\194\\155\")\n",
                                  "  sets( \"activediver\", \"\\27[2J\\r\\nFAKE LOG LINE\" )\n"}) {
            std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << WithInLevelStore(good, extra);
            ks->SetLogHandler(&file);
            Key(SDL_SCANCODE_F9, SDLK_F9);
            Frames(3);
            ks->SetLogHandler(&log);
            EXPECT_EQ(StatusLine(), "Laden fehlgeschlagen.") << extra;
        }
    }
    std::stringstream text;
    text << std::ifstream(logName).rdbuf();
    std::remove(logName.c_str());
    EXPECT_NE(text.str().find("'\\x1b]0;PWNED\\x07\\x1b[2J\\nFAKE LOG LINE' of the store"), std::string::npos) << text.str();
    for (std::string line; std::getline(text, line);) {
        EXPECT_NE(line.rfind("FAKE", 0), 0u) << line;
        EXPECT_EQ(std::count_if(line.begin(), line.end(), [](char c) { return uint8_t(c) < 0x20 || c == 0x7F; }), 0);
    }
}

// In the menu that Esc opens over a game, whose clock stands, the tree view refreshes and a
// macro made there gets its button, on the tools' own time.
TEST_F(DemoGameTest, TheToolsRefreshAndNewMacrosGetButtonsInTheMenuOverAGame) {
    NewGame();
    // The tools made in the game and hidden; the macros they save go to the test's folder.
    Key(SDL_SCANCODE_F12, SDLK_F12);
    Key(SDL_SCANCODE_F12, SDLK_F12);
    fs::create_directories(saveDir / "bin");
    ASSERT_TRUE(ks->GetFileServer<nFileServer2>()->SetAssign("bin", ((saveDir / "bin").string() + "/").c_str()));
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Key(SDL_SCANCODE_F12, SDLK_F12);
    ASSERT_TRUE(Menu()->GetActive());
    const double gameTime = game->GetGameTime();
    ASSERT_TRUE(Run("new('nscriptlet', '/scripts/neu') new('nroot', '/usr/neu')"));
    frameStep = 1000000 / 4;
    Frames(24);
    auto* tv = static_cast<nTreeView*>(Lookup("/sys/servers/plugin/treeview"));
    auto* macros = static_cast<nMacroExec2*>(Lookup("/sys/servers/plugin/macros"));
    EXPECT_TRUE(tv->FindItem("/usr/neu") && tv->FindItem("/scripts/neu"));
    ASSERT_EQ(macros->GetNumButtons(), 1);
    EXPECT_EQ(macros->GetButton(0)->GetName(), "neu");
    EXPECT_EQ(game->GetGameTime(), gameTime);
}

// The engine's viewer started from a tool's line in a level: its keys orbit while the
// diver, the game's clock and its keys stand; F12 still hides and shows the tools; Esc, the
// tools' stop() and a delete of the viewer each return to the game where it was, with its keys.
TEST_F(DemoGameTest, TheViewerStartedInALevelOrbitsByKeysAndEscOrAToolsLineReturnsToTheGame) {
    NewGame();
    Frames(5);
    Key(SDL_SCANCODE_F12, SDLK_F12);
    auto* input = static_cast<nInputServer*>(Lookup("/sys/servers/input"));
    const int mappings = input->GetNumMappings();
    const uint32_t state = game->GetGameStateWord();
    const std::string start =
        "execbuf(\"if not exists('/usr/scene') then new('n3dnode', '/usr/scene') end "
        "if not exists('/usr/viewer') then new('nobserver', '/usr/viewer') end sel('/usr/viewer') start()\")";
    // Each way back: Esc, or a tool's line (null for Esc).
    for (const char* leave : {(const char*)nullptr, "obj('/usr/viewer').stop()", "delete('/usr/viewer')"}) {
        const vector3 at = DiverAt();
        ASSERT_TRUE(Run(start));
        Frames(1);
        auto* viewer = static_cast<nObserver*>(Lookup("/usr/viewer"));
        ASSERT_TRUE(viewer && viewer->IsRunning() && viewer->IsInGame()) << log.text;
        const double gameTime = game->GetGameTime();
        // A shown tool window has the keyboard: F12 hides the tools for the viewer's keys.
        auto* tv = static_cast<nTreeView*>(Lookup("/sys/servers/plugin/treeview"));
        Key(SDL_SCANCODE_F12, SDLK_F12);
        EXPECT_FALSE(tv->GetActive());
        // Each key moves what it names, held three frames: yaw, pitch and zoom by their sign.
        const struct { SDL_Scancode code; SDL_Keycode sym; int yaw, pitch, zoom; } keys[] = {
            {SDL_SCANCODE_LEFT, SDLK_LEFT, 1, 0, 0},          {SDL_SCANCODE_RIGHT, SDLK_RIGHT, -1, 0, 0},
            {SDL_SCANCODE_UP, SDLK_UP, 0, 1, 0},              {SDL_SCANCODE_DOWN, SDLK_DOWN, 0, -1, 0},
            {SDL_SCANCODE_PAGEUP, SDLK_PAGEUP, 0, 0, 1},      {SDL_SCANCODE_PAGEDOWN, SDLK_PAGEDOWN, 0, 0, -1},
            {SDL_SCANCODE_KP_PLUS, SDLK_KP_PLUS, 0, 0, 1},    {SDL_SCANCODE_KP_MINUS, SDLK_KP_MINUS, 0, 0, -1},
        };
        auto sign = [](float d) { return d > 1e-4f ? 1 : (d < -1e-4f ? -1 : 0); };
        for (const auto& k : keys) {
            const float yaw = viewer->GetYaw(), pitch = viewer->GetPitch(), zoom = viewer->GetZoom();
            Key(k.code, k.sym, 3);
            EXPECT_EQ(sign(viewer->GetYaw() - yaw), k.yaw) << SDL_GetScancodeName(k.code);
            EXPECT_EQ(sign(viewer->GetPitch() - pitch), k.pitch) << SDL_GetScancodeName(k.code);
            EXPECT_EQ(sign(viewer->GetZoom() - zoom), k.zoom) << SDL_GetScancodeName(k.code);
        }
        Key(SDL_SCANCODE_HOME, SDLK_HOME);
        EXPECT_TRUE(viewer->GetYaw() == 0.0f && viewer->GetPitch() == 0.0f && viewer->GetZoom() == 10.0f);
        Key(SDL_SCANCODE_F12, SDLK_F12);
        EXPECT_TRUE(tv->GetActive());
        Key(SDL_SCANCODE_F12, SDLK_F12);
        EXPECT_FALSE(tv->GetActive());
        EXPECT_TRUE(viewer->IsRunning());
        // The game stood: its clock, its diver under the arrows, its keys (F5 saved nothing).
        EXPECT_EQ(game->GetGameTime(), gameTime);
        EXPECT_TRUE(DiverAt().x == at.x && DiverAt().z == at.z);
        Key(SDL_SCANCODE_F5, SDLK_F5);
        EXPECT_FALSE(fs::exists(saveDir / "schnellspeicher.n"));

        const nRef<nObserver> watch(viewer);
        if (leave) ASSERT_TRUE(Run(std::string("execbuf(\"") + leave + "\")"));
        if (!leave) {
            // Esc leaves also while a tool window has the keyboard.
            Key(SDL_SCANCODE_F12, SDLK_F12);
            tv->GetWindow()->BringToFront();
            Frames(1);
            EXPECT_TRUE(gfx->GetUiHost()->TakesKeyboard());
            Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
            Key(SDL_SCANCODE_F12, SDLK_F12);
        }
        if (leave) Frames(1);
        leave = leave ? leave : "Esc";
        EXPECT_FALSE(watch.IsValid() && watch->IsRunning()) << leave;
        Frames(2);
        // The game goes on where it was: its level and state, the clock a frame or two on,
        // the Esc that left the viewer opened no menu, and its own keys are back.
        EXPECT_STREQ(game->GetLevel(), "level1");
        EXPECT_EQ(game->GetGameStateWord(), state) << leave;
        EXPECT_FALSE(Menu()->GetActive()) << leave;
        EXPECT_GT(game->GetGameTime(), gameTime);
        EXPECT_LT(game->GetGameTime(), gameTime + 0.2);
        EXPECT_EQ(input->GetNumMappings(), mappings);
        Key(SDL_SCANCODE_W, SDLK_w, 5);
        EXPECT_NE(DiverAt().z, at.z) << leave;
        Key(SDL_SCANCODE_F12, SDLK_F12);
    }
}

// Esc leaves the viewer from a tool window that has the keyboard whenever the tools were
// made: before the viewer, by F12 under it (never made before), or made anew under it.
TEST_F(DemoGameTest, EscLeavesTheViewerFromAToolWindowWheneverTheToolsWereMade) {
    NewGame();
    const std::pair<bool, const char*> rows[] = {{false, ""}, {true, ""}, {true, "delete('/sys/servers/plugin')"}};
    for (const auto& [before, under] : rows) {
        SCOPED_TRACE(std::to_string(before) + under);
        if (Lookup("/sys/servers/plugin") && !before) ASSERT_TRUE(Run("delete('/sys/servers/plugin')"));
        if (!Lookup("/sys/servers/plugin") && before) Key(SDL_SCANCODE_F12, SDLK_F12), Key(SDL_SCANCODE_F12, SDLK_F12);
        ASSERT_TRUE(Run(std::string("execbuf(\"new('n3dnode', '/usr/scene') new('nobserver', '/usr/viewer') "
                                    "sel('/usr/viewer') start() ") + under + "\")"));
        Key(SDL_SCANCODE_F12, SDLK_F12);
        const nRef<nObserver> viewer(static_cast<nObserver*>(Lookup("/usr/viewer")));
        ASSERT_TRUE(viewer.IsValid() && viewer->IsInGame()) << log.text;
        static_cast<nTreeView*>(Lookup("/sys/servers/plugin/treeview"))->GetWindow()->BringToFront();
        Frames(1);
        ASSERT_TRUE(gfx->GetUiHost()->TakesKeyboard());
        Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
        EXPECT_FALSE(viewer->IsRunning());
        EXPECT_FALSE(Menu()->GetActive());
        ASSERT_TRUE(Run("execbuf(\"obj('/usr/viewer').stop() delete('/usr/viewer') delete('/usr/scene')\")"));
        Key(SDL_SCANCODE_F12, SDLK_F12);
    }
}

// A tools user's moves on a running viewer, each in the line that starts it: the game comes
// back where it was (its keys once each, a clock that does not jump), and no game key or
// click acts while the viewer runs (the click lands on the menu's "Beenden").
TEST_F(DemoGameTest, TheViewerSurvivesSecondStartsLostScenesAndLoadsAndNoGameKeyActsUnderIt) {
    const struct { bool level; const char* during; } rows[] = {
        {false, ""}, {false, "neuesspiel()"}, {true, "start() new('nobserver', '/usr/v2') obj('/usr/v2').start()"},
        {true, "delete('/usr/scene')"}, {true, "delete('/usr/scene') new('n3dnode', '/usr/scene')"},
        {true, "schnellspeichern() schnellladen()"},
    };
    auto* input = static_cast<nInputServer*>(Lookup("/sys/servers/input"));
    for (const auto& [level, during] : rows) {
        SCOPED_TRACE(during);
        if (level && std::strcmp(game->GetLevel(), "level1") != 0) NewGame();
        const int mappings = input->GetNumMappings();
        const uint32_t state = game->GetGameStateWord();
        const vector3 still = level ? DiverAt() : vector3();
        ASSERT_TRUE(Run(std::string("execbuf(\"if not exists('/usr/scene') then new('n3dnode', '/usr/scene') end "
                                    "if not exists('/usr/viewer') then new('nobserver', '/usr/viewer') end "
                                    "sel('/usr/viewer') start() ") + during + "\")"));
        Frames(2);
        const nRef<nObserver> viewer(static_cast<nObserver*>(Lookup("/usr/viewer")));
        const bool runs = std::strcmp(during, "delete('/usr/scene')") != 0;
        EXPECT_EQ(viewer->IsRunning(), runs);
        for (auto [code, sym] : {std::pair{SDL_SCANCODE_F9, SDLK_F9}, {SDL_SCANCODE_F5, SDLK_F5}, {SDL_SCANCODE_TAB, SDLK_TAB},
                                 {SDL_SCANCODE_I, SDLK_i}, {SDL_SCANCODE_E, SDLK_e}, {SDL_SCANCODE_W, SDLK_w},
                                 {SDL_SCANCODE_RETURN, SDLK_RETURN}, {SDL_SCANCODE_ESCAPE, SDLK_ESCAPE}}) {
            if (runs && code == SDL_SCANCODE_ESCAPE) Click(400, 386), Frames(1);
            if (runs) Key(code, sym);
        }
        EXPECT_EQ(fs::exists(saveDir / "schnellspeicher.n"), std::strncmp(during, "schnell", 7) == 0);
        if (level && !*during) EXPECT_TRUE(DiverAt().x == still.x && DiverAt().z == still.z);
        EXPECT_FALSE(viewer.IsValid() && viewer->IsRunning());
        Frames(2);
        fs::remove(saveDir / "schnellspeicher.n");
        EXPECT_LT(game->GetFrameTime(), 0.2f);
        EXPECT_EQ(input->GetNumMappings(), mappings);
        EXPECT_EQ(Menu()->GetActive(), !level && !*during);
        if (level || !*during) EXPECT_EQ(game->GetGameStateWord(), state);
        if (!level && !*during) continue;
        const vector3 at = DiverAt();
        Key(SDL_SCANCODE_W, SDLK_w, 5);
        EXPECT_NE(DiverAt().z, at.z);
    }
}

// A session that makes a macro and then quits, each way a player can: the macros are saved
// with the file before them as the backup, and nothing fails on the way out.
enum class QuitBy { Script, Menu, Term, Interrupt, WindowClose, WindowCloseWithoutLogic, WindowCloseInViewer };
class DemoQuitTest : public DemoGameTest, public ::testing::WithParamInterface<QuitBy> {};

TEST_P(DemoQuitTest, TheMacrosAreSavedWithTheirBackupAndNoErrorIsLogged) {
    const std::string before = "new('nscriptlet', 'alt')\nsel('alt')\nsetscript(\"x = 1\")\nsel('..')\n";
    auto* files = ks->GetFileServer<nFileServer2>();
    const fs::path bin = saveDir / "bin";
    fs::create_directories(bin);
    fs::copy_file(sys::Disk::Resolve(files->ManglePath("bin:init_tools.n")), bin / "init_tools.n");
    std::ofstream(bin / "scripts.n") << before;
    ASSERT_TRUE(files->SetAssign("bin", (bin.string() + "/").c_str()));
    NewGame();
    Key(SDL_SCANCODE_F12, SDLK_F12);
    ASSERT_TRUE(Run("new('nscriptlet', '/scripts/neu') obj('/scripts/neu').setscript('y = 2')"));
    Key(SDL_SCANCODE_F12, SDLK_F12);
    const QuitBy by = GetParam();
    // The frames after each line run before the close (an ASSERT's comma would skip them).
    if (by == QuitBy::WindowCloseWithoutLogic) EXPECT_TRUE(Run("delete('/usr/logic')"));
    if (by == QuitBy::WindowCloseInViewer)
        EXPECT_TRUE(Run("execbuf(\"new('n3dnode', '/usr/scene') new('nobserver', '/usr/v') sel('/usr/v') start()\")"));
    if (by >= QuitBy::WindowCloseWithoutLogic) Frames(2);
    if (by == QuitBy::WindowCloseInViewer) EXPECT_TRUE(static_cast<nObserver*>(Lookup("/usr/v"))->IsRunning());
    log.errors.clear();
    SDL_Event close = bwtest::sdl::Focus(window, false);
    close.window.event = SDL_WINDOWEVENT_CLOSE;
    if (by == QuitBy::Script) Run("exit()");
    if (by == QuitBy::Menu) Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE), Frames(2), Click(400, 386);
    if (by == QuitBy::Term || by == QuitBy::Interrupt) std::raise(by == QuitBy::Term ? SIGTERM : SIGINT);
    if (by >= QuitBy::WindowClose) Push(close);
    bool running = true;
    for (int i = 0; i < 5 && running; i++) running = Frame();
    ASSERT_FALSE(running);
    EXPECT_EQ(app.Shutdown(), 0);
    ks = nullptr;
    EXPECT_TRUE(log.errors.empty()) << log.text;
    std::stringstream saved;
    saved << std::ifstream(bin / "scripts.n").rdbuf() << "|" << std::ifstream(bin / "scripts.bak").rdbuf();
    EXPECT_EQ(saved.str().substr(saved.str().find('|') + 1), before);
    EXPECT_TRUE(saved.str().find("'alt'") < saved.str().find('|') && saved.str().find("'neu'") < saved.str().find('|'));
}
INSTANTIATE_TEST_SUITE_P(EachWay, DemoQuitTest, ::testing::Values(QuitBy::Script, QuitBy::Menu, QuitBy::Term,
                                                                  QuitBy::Interrupt, QuitBy::WindowClose,
                                                                  QuitBy::WindowCloseWithoutLogic,
                                                                  QuitBy::WindowCloseInViewer));

// A name of `bytes` bytes that begins with `stem`.
std::string NameOf(const std::string& stem, size_t bytes) {
    std::string s = stem;
    s.resize(bytes, 'x');
    return s;
}

// A text of `bytes` bytes, each of which the object writer escapes to two.
std::string Escaped(size_t bytes) {
    std::string s;
    for (size_t k = 0; k < bytes; k++) s += "\\\n\"\r"[k % 4];
    return s;
}

// The objects below `o`.
size_t CountBelow(nRoot* o) {
    size_t n = 0;
    for (nRoot* c = o->GetHead(); c; c = c->GetSucc()) n += 1 + CountBelow(c);
    return n;
}

// A store of `cls` named `name` below `parent`.
nRoot* MakeIn(nRoot* parent, const char* cls, const std::string& name) {
    nKernelServer::ks->PushCwd(parent);
    nRoot* o = nKernelServer::ks->New(cls, name.c_str());
    nKernelServer::ks->PopCwd();
    return o;
}

// `count` values of the longest name and text, none of which play writes.
void FillStore(nRoot* store, int count) {
    auto* p = static_cast<nPersist*>(store);
    for (int i = 0; p->GetNumVars() < count; i++) {
        p->SetS(NameOf("v" + std::to_string(i) + "_", nPersist::MaxSaveNameBytes).c_str(),
                Escaped(nPersist::MaxSaveTextBytes).c_str());
    }
}

// 2,000 divers at one spot are more objects than a save holds: refused whole. As many as a
// save holds are more divers than play names: refused whole too.
TEST_F(DemoGameTest, ASaveThatNames2000DiversAtOneSpotBuildsNone) {
    NewGame();
    Frames(5);
    auto save = [](int count) {
        std::string divers;
        for (int i = 0; i < count; i++) {
            const std::string name = "d" + std::to_string(i);
            divers += "  new('npersistlogic', '" + name + "')\n    sel('" + name +
                      "')\n    sets( \"prototype\", \"diver\" )\n    setv( \"txyz\", 0, 4, 30, 0 )\n  up()\n";
        }
        return "new('npersist', 'gamestatus')\n  sel('gamestatus')\n  seti( \"gamestate\", 16450 )\n"
               "  sets( \"currlevel\", \"level1\" )\nup()\nnew('nroot', 'camp')\n"
               "new('npersistlogic', 'level1')\n  sel('level1')\n  sets( \"activediver\", \"diver1\" )\n"
               "  new('npersistlogic', 'diver1')\n    sel('diver1')\n    sets( \"prototype\", \"diver\" )\n"
               "    setv( \"txyz\", 0, 4, 30, 0 )\n  up()\n" +
               divers + "up()\n";
    };
    std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << save(2000);
    log.printed.clear();
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(3);
    EXPECT_EQ(StatusLine(), "Laden fehlgeschlagen.");
    EXPECT_NE(log.printed.find("more than 128 objects"), std::string::npos) << log.printed.substr(0, 4000);
    EXPECT_NE(Diver(), nullptr);
    // gamestatus, camp, level1 and diver1 beside them: play names its divers diver1 and
    // diver2 only and writes more of each store, so the level's declaration refuses them
    // before any is built.
    std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << save(int(nPersist::MaxSaveObjects) - 4);
    log.errors.clear();
    nbwDiver* before = Diver();
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(3);
    ASSERT_EQ(StatusLine(), "Laden fehlgeschlagen.") << log.text.substr(0, 4000);
    EXPECT_NE(log.text.find("schnellspeicher.n' does not load: "), std::string::npos) << log.text.substr(0, 4000);
    EXPECT_EQ(Diver(), before);
    EXPECT_EQ(Lookup("/usr/logic/level1/d0"), nullptr);
    Frames(10);
    EXPECT_STREQ(game->GetLevel(), "level1");
}

// The biggest save the reader takes: as many objects as a save holds, one as deep as it
// goes, every store full of the longest names and texts, all of bytes the writer escapes to
// two. The level declares none of it: F9 refuses it, and F5 and F9 go on as before.
TEST_F(DemoGameTest, F5AfterTheBiggestSaveALoadTakesWritesASaveThatLoads) {
    NewGame();
    Frames(5);
    const int word = static_cast<nPersist*>(Lookup("/usr/persist/gamestatus"))->GetI("gamestate");
    nRoot* top = ks->New("nroot", "/bigsave");
    nRoot* status = MakeIn(top, "npersist", "gamestatus");
    static_cast<nPersist*>(status)->SetI("gamestate", word);
    static_cast<nPersist*>(status)->SetS("currlevel", "level1");
    FillStore(status, nPersist::MaxSaveValuesAStore);
    nRoot* camp = MakeIn(top, "nroot", "camp");
    nRoot* level = MakeIn(top, "npersistlogic", "level1");
    FillStore(level, nPersist::MaxSaveValuesAStore);
    nRoot* at = level;
    for (const char* proto : {"diver", "inventory", "hand"}) {
        at = MakeIn(at, "npersistlogic", proto == std::string("diver") ? "diver1" : proto);
        static_cast<nPersist*>(at)->SetS("prototype", proto);
        FillStore(at, nPersist::MaxSaveValuesAStore);
    }
    at = camp;
    for (int d = 2; d <= nPersist::MaxSaveDepth; d++) {
        at = MakeIn(at, "npersist", NameOf("deep" + std::to_string(d) + "_", nPersist::MaxSaveNameBytes));
        FillStore(at, nPersist::MaxSaveValuesAStore);
    }
    for (int i = 0; CountBelow(top) < nPersist::MaxSaveObjects; i++) {
        FillStore(MakeIn(top, "npersist", NameOf("pad" + std::to_string(i) + "_", nPersist::MaxSaveNameBytes)),
                  nPersist::MaxSaveValuesAStore);
    }
    ASSERT_TRUE(top->SaveAs("save:schnellspeicher"));
    top->Release();
    const uint64_t size = fs::file_size(saveDir / "schnellspeicher.n");
    EXPECT_LE(size, nPersist::MaxSaveBytes);
    // The bound on the file is what these bounds let the writer write, not far above it.
    EXPECT_GT(size, nPersist::MaxSaveBytes / 10 * 9);
    // Within the reader's bounds, but full of what no level declares: refused whole, the
    // game as it was.
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(3);
    ASSERT_EQ(StatusLine(), "Laden fehlgeschlagen.") << log.text.substr(0, 4000);
    EXPECT_NE(log.text.find("schnellspeicher.n' does not load: "), std::string::npos) << log.text.substr(0, 4000);
    ASSERT_NE(Diver(), nullptr);
    Key(SDL_SCANCODE_W, SDLK_w, 20);
    Frames(10);
    log.text.clear();
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    EXPECT_EQ(StatusLine(), "Spiel gespeichert.") << log.text.substr(0, 4000);
    EXPECT_LE(fs::file_size(saveDir / "schnellspeicher.n"), nPersist::MaxSaveBytes);
    Key(SDL_SCANCODE_W, SDLK_w, 20);
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(3);
    EXPECT_EQ(StatusLine(), "Spiel geladen.") << log.text.substr(0, 4000);
    ASSERT_NE(Diver(), nullptr);
    EXPECT_EQ(Lookup("/usr/persist/pad0_" + std::string(nPersist::MaxSaveNameBytes - 5, 'x')), nullptr);
}

// Each bound of a save: one past it is refused whole by the reader with one line; one at it
// holds what no level declares, and the declaration refuses it.
TEST_F(DemoGameTest, ASaveAtEachBoundLoadsAndOnePastItIsRefused) {
    const std::string good = NewGameSaved();
    size_t objects = 0;
    for (size_t at = good.find("new("); at != std::string::npos; at = good.find("new(", at + 1)) objects++;
    ASSERT_LT(objects, nPersist::MaxSaveObjects);
    const int name = int(nPersist::MaxSaveNameBytes);
    // The save with objects added at its top; a chain below the camp to `depth`; a store of
    // `values` values; a text, an object's name and a value's name of these sizes.
    auto withObjects = [&](size_t total, bool camp) {
        std::string out = good;
        // The camp under another name: one object all the same.
        for (size_t at; !camp && (at = out.find("'camp'")) != std::string::npos;) out.replace(at, 6, "'kamp'");
        for (size_t i = objects; i < total; i++) out += "new('nroot', 'p" + std::to_string(i) + "')\n";
        return out;
    };
    auto withDepth = [&](int depth) {
        std::string out = good + "sel('camp')\n";
        for (int d = 2; d <= depth; d++) out += "new('nroot', 'd')\nsel('d')\n";
        for (int d = 1; d <= depth; d++) out += "up()\n";
        return out;
    };
    auto withValues = [&](int values) {
        std::string out = good + "new('npersist', 'full')\nsel('full')\n";
        for (int i = 0; i < values; i++) out += "seti('v" + std::to_string(i) + "', 1)\n";
        return out + "up()\n";
    };
    std::string escaped;
    for (size_t k = 0; k < nPersist::MaxSaveTextBytes; k++) escaped += k % 2 ? "\\n" : "\\\"";
    const struct {
        const char* bound;
        std::string at, past;
    } cases[] = {
        {"objects", withObjects(nPersist::MaxSaveObjects, true), withObjects(nPersist::MaxSaveObjects + 1, true)},
        {"objects and no camp", withObjects(nPersist::MaxSaveObjects - 1, false),
         withObjects(nPersist::MaxSaveObjects, false)},
        {"depth", withDepth(nPersist::MaxSaveDepth), withDepth(nPersist::MaxSaveDepth + 1)},
        {"values a store", withValues(nPersist::MaxSaveValuesAStore), withValues(nPersist::MaxSaveValuesAStore + 1)},
        {"a text", good + "sel('gamestatus')\nsets('t', \"" + escaped + "\")\nup()\n",
         good + "sel('gamestatus')\nsets('t', \"" + escaped + "x\")\nup()\n"},
        {"an object's name", good + "new('nroot', '" + NameOf("n", size_t(name)) + "')\n",
         good + "new('nroot', '" + NameOf("n", size_t(name) + 1) + "')\n"},
        {"a value's name", good + "sel('gamestatus')\nseti('" + NameOf("n", size_t(name)) + "', 1)\nup()\n",
         good + "sel('gamestatus')\nseti('" + NameOf("n", size_t(name) + 1) + "', 1)\nup()\n"},
    };
    nLogicFlash* bar = static_cast<nLogicFlash*>(Lookup("/usr/logic/uwmenu/statusbar"));
    for (const auto& c : cases) {
        for (bool past : {false, true}) {
            std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << (past ? c.past : c.at);
            bar->SetValue("text", "");
            log.text.clear();
            Key(SDL_SCANCODE_F9, SDLK_F9);
            Frames(3);
            // What the reader's bounds take holds stores and values no level declares: refused
            // all the same, by the declaration.
            EXPECT_EQ(StatusLine(), "Laden fehlgeschlagen.") << c.bound << log.text;
            if (!past) {
                EXPECT_NE(log.text.find("does not load: "), std::string::npos) << c.bound << log.text;
            }
            if (past) {
                // The reader names the line; the camp's room is the observer's to say.
                const bool room = std::strcmp(c.bound, "objects and no camp") == 0;
                EXPECT_NE(log.text.find(room ? "and no camp, which play may add" : "schnellspeicher.n' refused: "),
                          std::string::npos)
                    << c.bound << log.text;
            }
            ASSERT_NE(Diver(), nullptr) << c.bound;
        }
    }
}

// One rule for F5's check and for F9: a save of the running game that F5 keeps loads, and
// one it refuses (the save there stays) is refused by F9 too. A store keeps no more values
// than a save holds, so what the person adds beyond them does not cost F5.
TEST_F(DemoGameTest, F5AndF9TakeTheSameSaves) {
    NewGame();
    Frames(5);
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    ASSERT_EQ(StatusLine(), "Spiel gespeichert.");
    nLogicFlash* bar = static_cast<nLogicFlash*>(Lookup("/usr/logic/uwmenu/statusbar"));
    auto press = [&](SDL_Scancode code, SDL_Keycode sym) {
        bar->SetValue("text", "");
        Key(code, sym);
        Frames(3);
        return StatusLine();
    };
    auto saved = [&] {
        std::stringstream text;
        text << std::ifstream(saveDir / "schnellspeicher.n").rdbuf();
        return text.str();
    };
    const int name = int(nPersist::MaxSaveNameBytes);
    // Each shape, made by the person in the running game, at a bound or one past it; its
    // undoing takes away what it added.
    struct Shape {
        const char* bound;
        std::function<void(bool past)> make;
        std::function<void()> undo;
        // In the game status, which holds nothing else after F5: else in the camp, which
        // holds only the stores of lifted things, so F5 fails honestly.
        bool status = false;
    };
    auto persist = [&] { return Lookup("/usr/persist"); };
    auto status = [&] { return static_cast<nPersist*>(Lookup("/usr/persist/gamestatus")); };
    const Shape shapes[] = {
        {"objects",
         [&](bool past) {
             nRoot* camp = Lookup("/usr/persist/camp");
             for (int i = 0; CountBelow(persist()) < nPersist::MaxSaveObjects + (past ? 1 : 0); i++) {
                 MakeIn(camp, "nroot", "o" + std::to_string(i));
             }
         },
         [&] {
             nRoot* camp = Lookup("/usr/persist/camp");
             while (nRoot* c = camp->GetHead()) c->Release();
         }},
        {"depth",
         [&](bool past) {
             nRoot* at = Lookup("/usr/persist/camp");
             for (int d = 2; d <= nPersist::MaxSaveDepth + (past ? 1 : 0); d++) at = MakeIn(at, "nroot", "d");
         },
         [&] {
             if (nRoot* d = Lookup("/usr/persist/camp/d")) d->Release();
         }},
        {"a text", [&](bool past) { status()->SetS("t", Escaped(nPersist::MaxSaveTextBytes + (past ? 1 : 0)).c_str()); },
         [&] { status()->RemoveVar("t"); }, true},
        {"an object's name",
         [&](bool past) { MakeIn(Lookup("/usr/persist/camp"), "nroot", NameOf("n", size_t(name + (past ? 1 : 0)))); },
         [&] {
             nRoot* camp = Lookup("/usr/persist/camp");
             while (nRoot* c = camp->GetHead()) c->Release();
         }},
        {"a value's name", [&](bool past) { status()->SetI(NameOf("n", size_t(name + (past ? 1 : 0))).c_str(), 1); },
         [&] {
             status()->RemoveVar(NameOf("n", size_t(name)).c_str());
             status()->RemoveVar(NameOf("n", size_t(name + 1)).c_str());
         },
         true},
    };
    const std::string first = saved();
    for (const Shape& shape : shapes) {
        for (bool past : {false, true}) {
            // A good save to keep where F5 fails.
            std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << first;
            const std::string before = saved();
            shape.make(past);
            const std::string f5 = press(SDL_SCANCODE_F5, SDLK_F5);
            EXPECT_EQ(f5, shape.status ? "Spiel gespeichert." : "Speichern fehlgeschlagen.") << shape.bound << past;
            if (!shape.status) {
                EXPECT_EQ(saved(), before) << shape.bound;
            }
            if (past) {
                // The same game written as F5 writes it: F9 refuses it as F5 did.
                ASSERT_TRUE(persist()->SaveAs("save:schnellspeicher"));
            }
            EXPECT_EQ(press(SDL_SCANCODE_F9, SDLK_F9),
                      past && !shape.status ? "Laden fehlgeschlagen." : "Spiel geladen.")
                << shape.bound << past;
            ASSERT_NE(Diver(), nullptr) << shape.bound;
            shape.undo();
        }
    }
    // The person's own values past what a store holds are not kept, logged once; F5 saves.
    log.text.clear();
    for (int i = status()->GetNumVars(); i <= nPersist::MaxSaveValuesAStore; i++) {
        status()->SetI(("v" + std::to_string(i)).c_str(), i);
    }
    EXPECT_EQ(status()->GetNumVars(), nPersist::MaxSaveValuesAStore);
    EXPECT_NE(log.text.find("the most a store keeps"), std::string::npos) << log.text;
    EXPECT_EQ(press(SDL_SCANCODE_F5, SDLK_F5), "Spiel gespeichert.");
    EXPECT_EQ(press(SDL_SCANCODE_F9, SDLK_F9), "Spiel geladen.");
}

// The level a save names, as the person's F9 and the menu's "Spiel laden" read it: a text
// that is no level of the game (missing, empty, another node, a path below one) is refused
// whole, and the game runs on as it was: its level, its diver, Esc's menu.
TEST_F(DemoGameTest, ASaveWhoseLevelIsNoneOfTheGamesIsRefusedAndTheGameRunsOn) {
    const std::string good = NewGameSaved();
    ASSERT_FALSE(good.empty());
    const std::string line = "  sets( \"currlevel\", \"level1\" )\n";
    ASSERT_NE(good.find(line), std::string::npos) << good;
    auto with = [&](const std::string& replaced) {
        std::string out = good;
        out.replace(out.find(line), line.size(), replaced);
        return out;
    };
    const std::string cases[] = {
        "", "  sets( \"currlevel\", \"\" )\n", "  sets( \"currlevel\", \"level2\" )\n",
        "  sets( \"currlevel\", \"menu/menu_manager\" )\n", "  sets( \"currlevel\", \"uwmenu/statusbar\" )\n",
        "  sets( \"currlevel\", \"level1/diver1\" )\n", "  sets( \"currlevel\", \"menu\" )\n",
        "  seti( \"currlevel\", 1 )\n", "  sets( \"currlevel\", \".\" )\n",
        "  sets( \"currlevel\", \"..\" )\n",
    };
    nLogicFlash* bar = static_cast<nLogicFlash*>(Lookup("/usr/logic/uwmenu/statusbar"));
    for (const std::string& c : cases) {
        std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << with(c);
        bar->SetValue("text", "");
        log.text.clear();
        Key(SDL_SCANCODE_F9, SDLK_F9);
        Frames(3);
        EXPECT_EQ(StatusLine(), "Laden fehlgeschlagen.") << c << log.text.substr(0, 3000);
        EXPECT_STREQ(game->GetLevel(), "level1") << c;
        EXPECT_NE(Diver(), nullptr) << c;
        EXPECT_TRUE(State(0x2 | 0x40)) << c;
        Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
        Frames(2);
        EXPECT_TRUE(Menu()->GetActive()) << c;
        Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
        Frames(2);
        EXPECT_FALSE(Menu()->GetActive()) << c;
    }
    // A save of no running level loads into the menu, whose keys start a new game.
    std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << with("  sets( \"currlevel\", \"none\" )\n");
    log.text.clear();
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(3);
    EXPECT_STREQ(game->GetLevel(), "none");
    EXPECT_TRUE(Menu()->GetActive());
    // Its word's "a level runs" is no level gone under the game.
    EXPECT_FALSE(State(0x40));
    EXPECT_EQ(log.text.find("node is gone"), std::string::npos) << log.text.substr(0, 3000);
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Frames(3);
    EXPECT_STREQ(game->GetLevel(), "level1") << log.text.substr(0, 3000);
    ASSERT_NE(Diver(), nullptr);
    // The save F5 wrote loads.
    std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << good;
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(3);
    EXPECT_EQ(StatusLine(), "Spiel geladen.");
    EXPECT_NE(Diver(), nullptr);
}


// Loads that cannot start, one row a reason: the tools renamed what the start needs (what
// the running level still holds, but a start would look up by its path), the level's map
// went missing or fails, the save's level has no store in it. F9 says so and
// the running level plays on (its diver where it was), Esc opens the menu and closes it,
// F5 still saves; once mended, F9 loads again.
TEST_F(DemoGameTest, ALoadThatCannotStartKeepsTheRunningLevel) {
    const std::string good = NewGameSaved();
    ASSERT_FALSE(good.empty());
    const fs::path brokenMap = saveDir / "brokenmap.n";
    {
        std::stringstream map;
        map << std::ifstream(fs::path(BW_SOURCE_DIR) / "data/levels/level1/map.n").rdbuf();
        std::ofstream(brokenMap) << map.str() << "\nerror('broken at its end')\n";
    }
    // A map that builds nothing: a put-back game built by it would be no world at all.
    const fs::path failingMap = saveDir / "failingmap.n";
    std::ofstream(failingMap) << "error('broken at its start')\n";
    auto rename = [&](const char* path, const char* to) {
        return [this, path, to] { Lookup(path)->SetName(to); };
    };
    auto mapFile = [&](std::string file) {
        return [this, file] { ASSERT_TRUE(Run("obj('/usr/logic/level1').setmapfile('" + file + "')")); };
    };
    const std::string level1Map = "home:levels/level1/map.n";
    std::string withoutStore = good;
    {
        // The level's own store block, whose stores the start would build the level from.
        const size_t at = withoutStore.find("new('npersistlogic', 'level1')");
        ASSERT_NE(at, std::string::npos) << good;
        withoutStore.replace(at, std::strlen("new('npersistlogic', 'level1')"), "new('npersistlogic', 'levelx')");
    }
    struct Row {
        const char* reason;
        std::function<void()> breakIt, mend;
        std::string save;
    };
    const Row rows[] = {
        {"the heads-up display renamed", rename("/usr/logic/uwmenu", "uwmenu_x"),
         rename("/usr/logic/uwmenu_x", "uwmenu"), good},
        {"the persist root renamed", rename("/usr/persist", "persist_x"), rename("/usr/persist_x", "persist"), good},
        {"the menu renamed", rename("/usr/logic/menu/menu_manager", "mm_x"),
         rename("/usr/logic/menu/mm_x", "menu_manager"), good},
        {"the level tree renamed", rename("/usr/logic", "logic_x"), rename("/usr/logic_x", "logic"), good},
        {"the diver's prototype renamed", rename("/usr/prototypes/diver", "diver_x"),
         rename("/usr/prototypes/diver_x", "diver"), good},
        {"the level's map file missing", mapFile("home:levels/level1/nomap.n"), mapFile(level1Map), good},
        {"the level's map failing", mapFile(brokenMap.string()), mapFile(level1Map), good},
        {"the level's map failing at once", mapFile(failingMap.string()), mapFile(level1Map), good},
        {"no store of the level in the save", [] {}, [] {}, withoutStore},
        {"the modules the map names renamed", rename("/usr/modules", "modules_x"),
         rename("/usr/modules_x", "modules"), good},
        {"the diver's look renamed", rename("/usr/templates/diver", "diver_x"),
         rename("/usr/templates/diver_x", "diver"), good},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reason);
        std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << row.save;
        Key(SDL_SCANCODE_W, SDLK_w, 10);
        Frames(5);
        const vector3 at = DiverAt();
        // A game put back is data's where it came from a save, as before the load.
        const bool dataMade = Lookup("/usr/persist/level1/diver1")->GetDataRun() != 0;
        row.breakIt();
        log.text.clear();
        Key(SDL_SCANCODE_F9, SDLK_F9);
        Frames(3);
        const std::string hud = game->GetHudPath();
        ASSERT_NE(hud, "none");
        const char* line = static_cast<nLogicFlash*>(Lookup(hud + "/statusbar"))->GetValue("text");
        EXPECT_STREQ(line, "Laden fehlgeschlagen.") << log.text.substr(0, 3000);
        EXPECT_NE(game->GetLevel(), std::string("none")) << log.text.substr(0, 3000);
        ASSERT_NE(game->GetCurrentLevel(), nullptr);
        EXPECT_TRUE(State(0x2 | 0x40));
        EXPECT_FALSE(Menu() && Menu()->GetActive());
        nRoot* diver = game->GetCurrentLevel()->Find("diver1");
        ASSERT_TRUE(diver && diver->IsA("nbwdiver")) << log.text.substr(0, 3000);
        EXPECT_LT((static_cast<nbwDiver*>(diver)->GetPosition() - at).Len(), 0.3f);
        // The world it swam in stands: its seabed and its follow camera.
        EXPECT_NE(game->GetCurrentLevel()->Find("seabed_solid"), nullptr);
        EXPECT_NE(game->GetCurrentLevel()->Find("cam"), nullptr);
        row.mend();
        nRoot* store = Lookup("/usr/persist/level1/diver1");
        ASSERT_NE(store, nullptr);
        EXPECT_EQ(store->GetDataRun() != 0, dataMade);
        // The game plays on: Esc opens the menu and closes it, F5 saves, F9 loads that.
        Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
        Frames(2);
        EXPECT_TRUE(Menu()->GetActive());
        Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
        Frames(2);
        EXPECT_FALSE(Menu()->GetActive());
        Key(SDL_SCANCODE_F5, SDLK_F5);
        Frames(2);
        EXPECT_EQ(StatusLine(), "Spiel gespeichert.") << log.text.substr(0, 3000);
        Key(SDL_SCANCODE_F9, SDLK_F9);
        Frames(3);
        EXPECT_EQ(StatusLine(), "Spiel geladen.") << log.text.substr(0, 3000);
        ASSERT_NE(Diver(), nullptr);
    }
}

// The running level's node deleted under the game (as the tools do): no level runs, so Esc
// opens the menu, F5 says the save failed over it, and "Neues Spiel" is still offered.
TEST_F(DemoGameTest, WithTheLevelsNodeDeletedEscOpensTheMenuAndF5SaysItFailed) {
    NewGame();
    Frames(5);
    Lookup("/usr/logic/level1")->Release();
    Frames(3);
    EXPECT_STREQ(game->GetLevel(), "none");
    EXPECT_FALSE(State(0x40));
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    ASSERT_TRUE(Menu()->GetActive());
    EXPECT_EQ(MenuValue("running"), "0");
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    EXPECT_TRUE(Menu()->GetActive()) << "with no level there is no game to go back to";
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    EXPECT_EQ(MenuValue("meldung"), "Speichern fehlgeschlagen.");
    // Closed by a script, F5 brings the menu back to say it.
    ASSERT_TRUE(Run("obj('/usr/logic/menu/menu_manager').setactive(false) "
                    "obj('/sys/servers/observer').setgamestate(4, false)"));
    Frames(2);
    ASSERT_FALSE(Menu()->GetActive());
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    EXPECT_TRUE(Menu()->GetActive());
    EXPECT_EQ(MenuValue("meldung"), "Speichern fehlgeschlagen.");
    // "Neues Spiel" has no level to start: the menu stays.
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Frames(3);
    EXPECT_STREQ(game->GetLevel(), "none");
    EXPECT_TRUE(Menu()->GetActive());
}


// A menu movie that answers every key with an entry of its own: the person's keys that are
// no key of the menu (Esc opening it, F5, F12, a letter) are no answer, so Esc still shows
// the menu, the game runs on, and only the menu's own keys and clicks choose.
TEST_F(DemoGameTest, AMenuMovieCannotTakeThePersonsOtherKeysForAnEntry) {
    NewGame();
    Frames(5);
    std::ofstream(saveDir / "answer.movie")
        << "--tessel movie 1\nstage(800, 600)\nTessel_script = ''\n"
           "function draw() rect(0, 0, 800, 600, 0, 0, 0, 1) Tessel_script = \"menuaction('neu')\" end\n"
           "function on_key() Tessel_script = \"menuaction('neu')\" end\n";
    ASSERT_TRUE(Run("obj('/usr/logic/menu/menu_manager').settexture('save:answer.movie')"));
    Menu()->UnloadFlash();
    const vector3 start = DiverAt();
    Key(SDL_SCANCODE_W, SDLK_w, 20);
    Frames(2);
    const vector3 swum = DiverAt();
    ASSERT_GT((swum - start).Len(), 0.5f);
    for (auto [code, sym] : {std::pair{SDL_SCANCODE_ESCAPE, SDLK_ESCAPE}, std::pair{SDL_SCANCODE_F5, SDLK_F5},
                             std::pair{SDL_SCANCODE_X, SDLK_x}, std::pair{SDL_SCANCODE_F12, SDLK_F12},
                             std::pair{SDL_SCANCODE_F12, SDLK_F12}}) {
        log.text.clear();
        Key(code, sym);
        Frames(4);
        EXPECT_TRUE(Menu()->GetActive()) << sym;
        ASSERT_NE(Diver(), nullptr) << sym;
        EXPECT_LT((DiverAt() - swum).Len(), 0.05f) << sym << " the game was not thrown away\n" << log.text.substr(0, 3000);
    }
    // Nor is the diver's key held while Esc opens the menu.
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    ASSERT_FALSE(Menu()->GetActive());
    Push(bwtest::sdl::Key(window, SDL_SCANCODE_W, SDLK_w, true));
    Frames(5);
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(4);
    Push(bwtest::sdl::Key(window, SDL_SCANCODE_W, SDLK_w, false));
    Frames(2);
    EXPECT_TRUE(Menu()->GetActive());
    ASSERT_NE(Diver(), nullptr);
    EXPECT_GT((DiverAt() - start).Len(), 0.5f) << log.text.substr(0, 3000);
    // The menu's own key chooses.
    Key(SDL_SCANCODE_RETURN, SDLK_RETURN);
    Frames(4);
    EXPECT_FALSE(Menu()->GetActive());
    ASSERT_NE(Diver(), nullptr);
    EXPECT_LT((DiverAt() - start).Len(), 0.05f) << "a new game starts afresh";
}

}  // namespace

namespace {

// A save's game-state word with bits that no flow of the game sets (the one that keeps the
// diver from its keys among them): after F9 the diver swims, Esc opens the menu, and F5
// writes only what play sets.
TEST_F(DemoGameTest, ASavesGameStateKeepsOnlyWhatPlaySets) {
    const std::string good = NewGameSaved();
    const std::string line = "seti( \"gamestate\", 16450 )";
    const size_t at = good.find(line);
    ASSERT_NE(at, std::string::npos) << good;
    for (int word : {16450 | 0x2000, -1}) {
        std::string out = good;
        out.replace(at, line.size(), "seti( \"gamestate\", " + std::to_string(word) + " )");
        std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << out;
        log.text.clear();
        Key(SDL_SCANCODE_F9, SDLK_F9);
        Frames(3);
        ASSERT_EQ(StatusLine(), "Spiel geladen.") << word;
        EXPECT_NE(log.text.find("are none that play sets; dropped"), std::string::npos) << log.text.substr(0, 3000);
        EXPECT_EQ(game->GetGameStateWord(), 16450u) << word;
        ASSERT_NE(Diver(), nullptr);
        const vector3 a = DiverAt();
        Key(SDL_SCANCODE_W, SDLK_w, 15);
        Frames(2);
        EXPECT_GT((DiverAt() - a).Len(), 0.3f) << word;
        Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
        Frames(2);
        EXPECT_TRUE(Menu()->GetActive()) << word;
        Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
        Frames(2);
        Key(SDL_SCANCODE_F5, SDLK_F5);
        Frames(2);
        EXPECT_EQ(StatusLine(), "Spiel gespeichert.");
        std::stringstream again;
        again << std::ifstream(saveDir / "schnellspeicher.n").rdbuf();
        EXPECT_NE(again.str().find(line), std::string::npos) << word;
    }
}

// A quick save whose level counts two billion timers beside the one it holds: F9 restores
// the one, says once that the rest are not there, and the game plays on with F5 and F9
// (walking the count held the load for minutes).
TEST_F(DemoGameTest, AQuickSavesTimerCountIsRefusedWhole) {
    NewGame();
    std::ofstream(saveDir / "schnellspeicher.n")
        << "new('npersist', 'gamestatus')\n  sel('gamestatus')\n  seti( \"gamestate\", 16450 )\n"
           "  sets( \"currlevel\", \"level1\" )\nup()\n"
           "new('npersistlogic', 'level1')\n  sel('level1')\n  sets( \"activediver\", \"diver1\" )\n"
           "  seti( \"timercount\", 2147483647 )\n  sets( \"timer_0_name\", \"t\" )\n"
           "  sets( \"timer_0_type\", \"loop\" )\n  sets( \"timer_0_script\", \"print('tick')\" )\n"
           "  setf( \"timer_0_time\", 10 )\n  setf( \"timer_0_starttime\", 0 )\n"
           "  new('npersistlogic', 'diver1')\n    sel('diver1')\n    sets( \"prototype\", \"diver\" )\n"
           "    setv( \"txyz\", 0, 4, 30, 0 )\n  up()\nup()\n";
    log.text.clear();
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(3);
    // A save holds no timer: refused whole, at once, the game as it was.
    ASSERT_EQ(StatusLine(), "Laden fehlgeschlagen.") << log.text.substr(0, 3000);
    EXPECT_NE(log.text.find("'timercount' of the store 'level1' lies outside what play gives it"), std::string::npos)
        << log.text.substr(0, 3000);
    ASSERT_NE(game->GetCurrentLevel(), nullptr);
    EXPECT_EQ(game->GetCurrentLevel()->FindTimer("t"), nullptr);
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(2);
    EXPECT_EQ(StatusLine(), "Spiel gespeichert.");
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(3);
    EXPECT_EQ(StatusLine(), "Spiel geladen.");
    EXPECT_EQ(game->GetCurrentLevel()->FindTimer("t"), nullptr);
}

// The store `name` cut out of a save's text, with all below it: its "new" line up to the
// "up()" at its own indent.
std::string CutStore(std::string& text, const std::string& name) {
    const size_t at = text.find("new('npersistlogic', '" + name + "')");
    if (at == std::string::npos) return "";
    const size_t line = text.rfind('\n', at) + 1;
    const std::string end = "\n" + text.substr(line, at - line) + "up()\n";
    const size_t stop = text.find(end, at);
    if (stop == std::string::npos) return "";
    std::string block = text.substr(line, stop + end.size() - line);
    text.erase(line, block.size());
    return block;
}

// Each row edits a new game's quick save as an attacker with one save would, and F9 reads
// it through the reader, the level's declaration and its build: refused whole (the game as
// it was) or loaded with what play gives (what earlier play could write brought inside, logged).
TEST_F(DemoGameTest, ASaveHoldsOnlyWhatTheLevelDeclares) {
    const std::string good = NewGameSaved();
    ASSERT_FALSE(good.empty());
    auto replace = [](std::string text, const std::string& from, const std::string& to) {
        const size_t at = text.find(from);
        return at == std::string::npos ? std::string("<no '") + from + "'>" : text.replace(at, from.size(), to);
    };
    // The store `name` moved into the one whose "prototype" line is `into` (the first).
    auto move = [&](const std::string& name, const std::string& into) {
        std::string text = good;
        const std::string block = CutStore(text, name);
        return replace(text, into, into + "\n" + block);
    };
    // `from` replaced by `to` in the store `name` (its "new" line on).
    auto replaceIn = [&](const std::string& name, const std::string& from, const std::string& to) {
        const size_t at = good.find("new('npersistlogic', '" + name + "')");
        if (at == std::string::npos) return std::string("<no store '") + name + "'>";
        return good.substr(0, at) + replace(good.substr(at), from, to);
    };
    auto without = [&](const std::string& name) {
        std::string text = good;
        CutStore(text, name);
        return text;
    };
    const std::string inventory = "sets( \"prototype\", \"inventory\" )";
    const std::string diver1 = "sets( \"prototype\", \"diver\" )";
    std::string noLevel = good;
    CutStore(noLevel, "level1");
    // Air without end, no heat, a door that is not solid: values play never changes.
    const std::string fixed = replace(
        replace(replaceIn("door", "seti( \"handler_physik_physik\", 1 )", "seti( \"handler_physik_physik\", 0 )"),
                "setf( \"energielose\", 0.00100000 )", "setf( \"energielose\", 0 )"),
        "seti( \"chemicresist\", 0 )", "seti( \"chemicresist\", 1 )");
    // As the previous game wrote a diver in the middle of an action: text to run.
    std::string oldAction = good;
    const size_t action = oldAction.find("sets( \"action\", ");
    ASSERT_NE(action, std::string::npos);
    oldAction.replace(action, oldAction.find('\n', action) - action,
                      "sets( \"action\", \"new($nbwaction$,$walk$);sel($walk$);setduration( 2.0 );\" )");
    const struct {
        const char* what;
        std::string save;
        const char* why;  // in the refusal's line; null: it loads
        const char* read = nullptr;  // in the line of what a load brings inside
    } rows[] = {
        {"place: the door in diver1's inventory", move("door", inventory), "'door' lies where play puts none"},
        {"place: diver2 inside diver1", move("diver2", diver1), "'diver' lies where play puts none"},
        {"place: the basket in an inventory", move("basket", inventory), "'basket' lies where play puts none"},
        {"place: the camera among diver1's parts", move("fotoapparat", diver1), "lies where play puts none"},
        {"place: no level store", noLevel, "holds no store of the level 'level1'"},
        {"place: no door", without("door"), "holds 0 stores of 'door', where play keeps 1"},
        {"place: no second diver", without("diver2"), "where play keeps"},
        {"place: the camera in the camp", move("fotoapparat", "sel('camp')"), "lies where play puts none (camp)"},
        {"place: the door moved aside", replaceIn("door", "setv( \"txyz\", -1.50000000", "setv( \"txyz\", 40"),
         nullptr, "'txyz' of the store 'door' is (40, 0, 8, 0), outside what play gives it; read as (-1.5, 0, 8, 0)"},
        {"place: the crate before the start", replaceIn("kiste", "setv( \"txyz\", 5.00000000", "setv( \"txyz\", 0"),
         nullptr, "'txyz' of the store 'kiste' is (0, 0.3, -6, 0), outside what play gives it; read as (5, 0.3, -6, 0)"},
        {"place: a diver under the seabed", replace(good, "setv( \"txyz\", 0.00000000, 4.00000000",
                                                    "setv( \"txyz\", 0, -50"),
         nullptr, "'txyz' of the store 'diver1' is (0, -50, 30, 0), outside what play gives it, outside the level's water"},
        {"range: a turn of another length", replaceIn("diver1", "setv( \"qxyzw\", 0.00000000, 0.00000000, 0.00000000, "
                                                                "1.00000000 )", "setv( \"qxyzw\", 1, 1, 1, 1 )"),
         nullptr, "'qxyzw' of the store 'diver1' is (1, 1, 1, 1), a turn of length 2"},
        {"range: a turn of no length", replaceIn("diver1", "setv( \"qxyzw\", 0.00000000, 0.00000000, 0.00000000, "
                                                          "1.00000000 )", "setv( \"qxyzw\", 0, 0, 0, 0 )"),
         "'qxyzw' of the store 'diver1' lies outside"},
        {"range: health not a number", replace(good, "setf( \"lifepoints\", 1.00000000 )", "setf( \"lifepoints\", 0/0 )"),
         "'lifepoints' of the store 'diver1' lies outside"},
        {"range: a flag past its set", replaceIn("door", "seti( \"openstatus\", 0 )", "seti( \"openstatus\", 2 )"),
         "'openstatus' of the store 'door' lies outside"},
        {"value: one play never writes", replace(good, diver1, diver1 + "\nseti( \"coins\", 1 )"),
         "'coins' of the store 'diver1' is no value"},
        {"value: the game status", replace(good, "sets( \"currlevel\", \"level1\" )",
                                          "sets( \"currlevel\", \"level1\" ) seti( \"bonus\", 1 )"),
         "'gamestatus' holds 'bonus'"},
        {"range: health past full", replace(good, "setf( \"lifepoints\", 1.00000000 )", "setf( \"lifepoints\", 5 )"),
         nullptr, "'lifepoints' of the store 'diver1' is 5, outside what play gives it; read as 1"},
        {"range: a place not finite", replace(good, "setv( \"txyz\", 0.00000000, 4.00000000, 30.00000000",
                                              "setv( \"txyz\", 0, 1/0, 30"),
         "'txyz' of the store 'diver1' lies outside"},
        {"reference: the hand in diver2's inventory",
         replace(good, "sets( \"hand\", \"inventory/hand\" )",
                 "sets( \"hand\", \"/usr/logic/level1/diver2/inventory/hand\" )"),
         "'hand' of the store 'diver1' lies outside"},
        {"reference: a thing's owner no diver", replaceIn("fotoapparat", "sets( \"owner\", \"none\" )",
                                                         "sets( \"owner\", \"door\" )"),
         "'owner' of the store 'fotoapparat' lies outside"},
        {"reference: the basket as the active diver",
         replace(good, "sets( \"activediver\", \"diver1\" )", "sets( \"activediver\", \"basket\" )"),
         "'activediver' of the store 'level1' lies outside"},
        {"text: a timer that answers the menu",
         replace(good, "seti( \"timercount\", 0 )",
                 "seti( \"timercount\", 1 ) sets( \"timer_0_name\", \"t\" ) sets( \"timer_0_type\", \"loop\" ) "
                 "sets( \"timer_0_script\", \"menuaction('beenden')\" ) setf( \"timer_0_time\", 0.01 ) "
                 "setf( \"timer_0_starttime\", 0 )"),
         "'timercount' of the store 'level1' lies outside"},
        {"NUL: a prototype cut short", replace(good, diver1, "sets( \"prototype\", \"diver\\0x\" )"),
         "a text holding a NUL byte"},
        {"fixed: a speed play never gives", replace(good, "setf( \"forwardaccel\", 60.00000000 )",
                                                    "setf( \"forwardaccel\", 3e38 )"),
         nullptr},
        {"fixed: endless air, no heat, a door not solid", fixed, nullptr},
        {"turn: a closed door's leaf swung open",
         replaceIn("door", "setv( \"qxyzw\", 0.00000000, 0.00000000, 0.00000000, 1.00000000 )",
                   "setv( \"qxyzw\", 0, -0.76753771, 0, 0.64100379 )"),
         nullptr},
        {"action: an older game's text, mid-action", oldAction, nullptr},
    };
    for (const auto& row : rows) {
        nbwDiver* before = Diver();
        std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << row.save;
        log.text.clear();
        Key(SDL_SCANCODE_F9, SDLK_F9);
        Frames(2);
        SCOPED_TRACE(row.what);
        if (row.why) {
            EXPECT_EQ(StatusLine(), "Laden fehlgeschlagen.");
            EXPECT_NE(log.text.find(row.why), std::string::npos) << log.text.substr(0, 3000);
            EXPECT_EQ(Diver(), before);
            EXPECT_EQ(ClassOf("/usr/logic/level1/door"), "nbwdoor");
            continue;
        }
        EXPECT_EQ(StatusLine(), "Spiel geladen.") << log.text.substr(0, 3000);
        if (row.read) {
            EXPECT_NE(log.text.find(row.read), std::string::npos) << log.text.substr(0, 3000);
        }
        ASSERT_NE(Diver(), nullptr);
        EXPECT_EQ(Diver()->GetStat(nbwDiver::ForwardAccel), 60.0f);
        EXPECT_GT(Diver()->GetStat(nbwDiver::EnergieLose), 0.0f);
        EXPECT_FALSE(Diver()->GetFlag(nbwDiver::ChemicResist));
        auto* door = static_cast<nbwItem*>(Lookup("/usr/logic/level1/door"));
        EXPECT_TRUE(door->GetHandlerActive("physik", "physik"));
        EXPECT_GT(door->GetQuaternion().w, 0.99f) << "the closed door's leaf stands shut";
        EXPECT_EQ(Diver()->GetCurrentAction(), nullptr);
    }
    // The older game's action text leaves the diver idle with one line.
    EXPECT_NE(log.text.find("text of an older game"), std::string::npos) << log.text.substr(0, 3000);
    // F5 of a diver swum out of play's reach says so and keeps the good save.
    std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << good;
    Diver()->SetPosition(vector3(500.0f, 4.0f, 30.0f));
    Key(SDL_SCANCODE_F5, SDLK_F5);
    Frames(1);
    EXPECT_EQ(StatusLine(), "Speichern fehlgeschlagen.");
    std::stringstream kept;
    kept << std::ifstream(saveDir / "schnellspeicher.n").rdbuf();
    EXPECT_EQ(kept.str(), good);
    // Through F9 and F5, the crate that the air bag lifted to the camp keeps what play never
    // changes (the load dropped it and nothing built it again), also from a save an earlier
    // F9 left short; and the switch keeps the diver that worked it, who still aims at it.
    const std::string whole[] = {"sets( \"type\", \"kiste\" )", "setf( \"weight\", 80.00000000 )",
                                 "setf( \"volume\", 8.00000000 )", "setf( \"docvalue\", 1.00000000 )"};
    std::string lifted = move("kiste", "sel('camp')"), cut = lifted;
    for (const std::string& line : whole) cut = replace(cut, line, "");
    std::string worked =
        replaceIn("switch", "sets( \"owner\", \"none\" )", "sets( \"owner\", \"/usr/logic/level1/diver1\" )");
    const size_t diver = worked.find("new('npersistlogic', 'diver1')");
    worked = worked.substr(0, diver) +
             replace(worked.substr(diver), "sets( \"target\", \"none\" )",
                     "sets( \"target\", \"/usr/logic/level1/switch\" )");
    for (const std::string& save : {lifted, cut, worked}) {
        std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << save;
        for (int round = 0; round < 2; round++) {
            Key(SDL_SCANCODE_F9, SDLK_F9);
            Frames(2);
            ASSERT_EQ(StatusLine(), "Spiel geladen.") << log.text.substr(0, 3000);
            Key(SDL_SCANCODE_F5, SDLK_F5);
            Frames(2);
            ASSERT_EQ(StatusLine(), "Spiel gespeichert.") << log.text.substr(0, 3000);
        }
        std::stringstream written;
        written << std::ifstream(saveDir / "schnellspeicher.n").rdbuf();
        std::string text = written.str();
        const std::string crate = CutStore(text, "kiste");
        if (save != worked) {
            for (const std::string& line : whole) EXPECT_NE(crate.find(line), std::string::npos) << line << "\n" << crate;
        } else {
            const std::string owner = CutStore(text, "switch");
            EXPECT_NE(owner.find("sets( \"owner\", \"/usr/logic/level1/diver1\" )"), std::string::npos) << owner;
        }
    }
}

// ---- Saves that earlier versions of the game wrote: F9 reads them kindly.

// A store as earlier versions wrote it, in the object-file format: its comment, "new",
// "sel", its value lines and the stores below it, two spaces deeper a level, then "up()".
struct OldStore {
    std::string name, prototype;
    std::vector<std::string> values;
    std::vector<OldStore> below;
};
std::string Fixed8(float f) {
    char buf[64];
    std::snprintf(buf, sizeof(buf), "%.8f", double(f));
    return buf;
}
std::string OldV(const char* name, float x, float y, float z, float w) {
    return std::string("setv( \"") + name + "\", " + Fixed8(x) + ", " + Fixed8(y) + ", " + Fixed8(z) + ", " +
           Fixed8(w) + " )";
}
std::string OldF(const char* name, float f) { return std::string("setf( \"") + name + "\", " + Fixed8(f) + " )"; }
std::string OldWritten(const OldStore& s, int depth) {
    const std::string in(size_t(2 * depth), ' ');
    std::string out = "\n" + in + "-- " + s.name + "\n" + in + "new('npersistlogic', '" + s.name + "')\n" + in +
                      "  sel('" + s.name + "')\n";
    if (!s.prototype.empty()) out += in + "  sets( \"prototype\", \"" + s.prototype + "\" )\n";
    for (const std::string& v : s.values) out += in + "  " + v + "\n";
    for (const OldStore& b : s.below) out += OldWritten(b, depth + 1);
    return out + in + "up()\n";
}
// The store `name` below `s`, its value `line` set (a line of the same value replaced).
void OldSet(OldStore& s, const std::string& name, const std::string& line) {
    if (s.name == name) {
        const std::string key = line.substr(0, line.find(',') + 1);
        for (std::string& v : s.values) {
            if (v.rfind(key, 0) == 0) {
                v = line;
                return;
            }
        }
        s.values.push_back(line);
        return;
    }
    for (OldStore& b : s.below) OldSet(b, name, line);
}
// A new game of level 1 as the earlier versions stored it, with the values that every
// version writes.
OldStore OldLevelOne() {
    auto thing = [](const char* name, const char* prototype, float x, float y, float z,
                    std::vector<OldStore> below = {}) {
        OldStore s{name, prototype, {OldV("txyz", x, y, z, 0), OldV("qxyzw", 0, 0, 0, 1)}, std::move(below)};
        if (std::strcmp(prototype, "diver") == 0 || std::strcmp(prototype, "basket") == 0) {
            s.values.insert(s.values.end(), {OldF("lifepoints", 1), OldF("energie", 1), OldF("tank", 1),
                                             std::string("sets( \"hand\", \"") + (prototype[0] == 'd' ? "inventory/hand" : "none") + "\" )",
                                             "sets( \"inventory\", \"inventory\" )", "sets( \"target\", \"none\" )",
                                             std::string("sets( \"action\", \"") + nbwActor::NoActionText + "\" )"});
            for (const char* f : {"transparency", "transparency2", "zoomstate", "zoomscale"}) s.values.push_back(OldF(f, 1));
            for (const char* f : {"fadeincr", "fadeincr2", "fadetime"}) s.values.push_back(OldF(f, 0));
            for (const char* f : {"follow", "showhand", "singleplayer", "ismoving", "lowenergy", "lowlife", "headlight",
                                  "headcamera"}) {
                s.values.push_back(std::string("seti( \"") + f + "\", 0 )");
            }
        } else if (std::strcmp(prototype, "none") != 0 && std::strcmp(prototype, "water") != 0) {
            s.values.insert(s.values.end(), {"seti( \"active\", 1 )", "seti( \"visible\", 1 )",
                                             "seti( \"collision\", 1 )", OldF("hitpoints", 1), OldF("energie", 1),
                                             "sets( \"owner\", \"none\" )", OldF("usetime", 0), OldF("useitem", 0)});
            for (const char* h : {"default_animation", "default_visualizer", "picking_collision", "physik_physik",
                                  "physik_collision", "damage_collision", "item_collision"}) {
                s.values.push_back(std::string("seti( \"handler_") + h + "\", 1 )");
            }
            s.values.push_back("seti( \"handler_ultrasonic_visualizer\", 0 )");
        }
        for (const char* open : {"door", "heap", "switch"}) {
            if (std::strcmp(prototype, open) != 0) continue;
            s.values.insert(s.values.end(), {"seti( \"openstatus\", 0 )", "seti( \"handler_door_open_animation\", 0 )",
                                             "seti( \"handler_door_close_animation\", 0 )"});
        }
        if (std::strcmp(prototype, "heap") == 0) s.values.push_back(OldF("sweepvalue", 0));
        if (std::strcmp(prototype, "fotoapparat") == 0) {
            s.values.insert(s.values.end(), {OldF("docuvalue", 0), "seti( \"handler_camera_collision\", 0 )"});
        }
        if (std::strcmp(prototype, "inventory") == 0) {
            s.values.insert(s.values.end(),
                            {OldF("usedweight", 0), OldF("usedvolume", 0), OldF("maxcapacity", 20), OldF("volume", 10)});
        }
        return s;
    };
    auto inventory = [&] { return thing("inventory", "inventory", 0, 0, 0, {thing("hand", "hand", 0, 0, 0)}); };
    OldStore water = thing("chamberwater", "water", 0, 0, 0);
    water.values.insert(water.values.end(), {OldF("waterstand", 3), OldF("fadevalue", 3), OldF("fadetime", 0),
                                             "seti( \"fadestate\", 0 )"});
    OldStore bag = thing("luftsack", "luftsack", -6, 0.3f, -2);
    OldSet(bag, "luftsack", "seti( \"visible\", 0 )");
    OldSet(bag, "luftsack", "seti( \"handler_item_collision\", 0 )");
    OldStore basket = thing("basket", "basket", 0, 0, -16);
    basket.below.push_back(thing("inventory", "inventory", 0, 0, 0));
    OldSet(basket, "inventory", OldF("maxcapacity", 40));
    OldSet(basket, "inventory", OldF("volume", 20));
    return {"level1",
            "",
            {"sets( \"activediver\", \"diver1\" )", "seti( \"timercount\", 0 )", "seti( \"active\", 1 )",
             "seti( \"handler_default_animation\", 1 )", "seti( \"handler_default_visualizer\", 1 )",
             "seti( \"handler_fader_visualizer\", 1 )", "seti( \"handler_zoom_camera_animation\", 1 )"},
            {thing("diver1", "diver", 0, 4, 30, {inventory()}), thing("fotoapparat", "fotoapparat", -2, 3, 24),
             thing("cutter", "cutter", 3, 3, 20), thing("door", "door", -1.5f, 0, 8),
             thing("sandremover", "sandremover", 0, 2, 4), thing("heap", "heap", -6, 0, -2), bag,
             thing("kiste", "kiste", 5, 0.3f, -6), thing("switch", "switch", 6, 1.5f, -20),
             thing("chamber", "none", 0, 0, 0, {water}), thing("diver2", "diver", 4, 4, 30, {inventory()}),
             basket}};
}
std::string OldSave(const OldStore& level) {
    return "-- ---- $parser:nluaserver2$ $class:nroot$-- ---\n\n-- gamestatus\nnew('npersist', 'gamestatus')\n"
           "  sel('gamestatus')\n  seti( \"gamestate\", 16450 )\n  sets( \"currlevel\", \"level1\" )\nup()\n" +
           OldWritten(level, 0);
}

// Each row a state of earlier play, written as that version wrote it: F9 loads it with one
// line for what it brings inside, each thing where the kind reading puts it; F5 then writes
// a save that passes, and F9 of that gives the same back without a line.
TEST_F(DemoGameTest, SavesOfEarlierVersionsLoadFromEachStateOfPlayBroughtInsideAndSaveAgain) {
    NewGame();
    Frames(3);
    auto item = [&](const char* name) { return static_cast<nbwItem*>(Lookup(std::string("/usr/logic/level1/") + name)); };
    auto near = [](const vector3& a, const vector3& b, float tol) { return (a - b).Len() <= tol; };
    // The diver's body (0.9 round its middle) clear of the walls (96), the surface (12) and
    // the reef (7.5 to 8.5).
    auto inWater = [](const vector3& p) {
        return std::fabs(p.x) <= 95.11f && std::fabs(p.z) <= 95.11f && p.y <= 11.11f && p.y >= -3.0f &&
               (p.z <= 6.61f || p.z >= 9.39f);
    };
    const struct {
        const char* what;
        std::function<void(OldStore&)> edit;
        const char* logged;  // in the load's line; null: the load brings nothing inside
        std::function<void()> expect;
        bool bom = false;
    } rows[] = {
        {"a heap swept twice, its hitpoints at -1", [](OldStore& s) { OldSet(s, "heap", OldF("hitpoints", -1)); },
         "'hitpoints' of the store 'heap' is -1, outside what play gives it; read as 0",
         [&] { EXPECT_EQ(item("heap")->GetFloatByName("hitpoints"), 0.0f); }},
        {"the crate at its place before the map raised it",
         [](OldStore& s) { OldSet(s, "kiste", OldV("txyz", 5, 0, -6, 0)); }, "'txyz' of the store 'kiste'",
         [&] { EXPECT_TRUE(near(item("kiste")->GetPosition(), vector3(5, 0.3f, -6), 1e-4f)); }},
        {"the camera past its count of photos", [](OldStore& s) { OldSet(s, "fotoapparat", OldF("docuvalue", 20400)); },
         "'docuvalue' of the store 'fotoapparat' is 20400",
         [&] { EXPECT_EQ(static_cast<nbwDokuTool*>(item("fotoapparat"))->GetDokumentation(), 10000.0f); }},
        {"the door turned off its hinge", [](OldStore& s) { OldSet(s, "door", OldV("qxyzw", 0.6f, 0, 0, 0.8f)); },
         "'qxyzw' of the store 'door'",
         [&] {
             const quaternion q = item("door")->GetQuaternion();
             // Shut, about its hinge only (the leaf's own swing is play's).
             EXPECT_TRUE(q.x == 0 && q.z == 0 && q.w > 0.999f) << q.x << " " << q.y << " " << q.w;
         }},
        {"a diver beyond the edge, where the older F9 clamped",
         [](OldStore& s) { OldSet(s, "diver1", OldV("txyz", 130, 4, 30, 0)); }, "'txyz' of the store 'diver1'",
         [&] { EXPECT_TRUE(near(DiverAt(), vector3(95.1f, 4, 30), 0.05f)) << DiverAt().x; }},
        {"a diver above the surface", [](OldStore& s) { OldSet(s, "diver1", OldV("txyz", 0, 20, 30, 0)); },
         "'txyz' of the store 'diver1'", [&] { EXPECT_TRUE(near(DiverAt(), vector3(0, 11.1f, 30), 0.05f)) << DiverAt().y; }},
        {"a diver inside the reef", [](OldStore& s) { OldSet(s, "diver1", OldV("txyz", 20, 4, 8.2f, 0)); },
         "'txyz' of the store 'diver1'",
         [&] {
             EXPECT_TRUE(near(DiverAt(), vector3(20, 4, 9.4f), 0.05f) || near(DiverAt(), vector3(20, 4, 6.6f), 0.05f))
                 << DiverAt().z;
         }},
        {"a diver below the seabed beyond a corner",
         [](OldStore& s) { OldSet(s, "diver2", OldV("txyz", -130, -20, -130, 0)); }, "'txyz' of the store 'diver2'",
         [&] {
             const vector3 p = static_cast<nbwDiver*>(Lookup("/usr/logic/level1/diver2"))->GetPosition();
             EXPECT_TRUE(inWater(p) && p.x < -95.0f && p.z < -95.0f) << p.x << " " << p.y << " " << p.z;
         }},
        {"a turn 5 % off unit length",
         [](OldStore& s) { OldSet(s, "diver1", OldV("qxyzw", 0, 1.05f * std::sin(0.3f), 0, 1.05f * std::cos(0.3f))); },
         "'qxyzw' of the store 'diver1' is (0, 0.310",
         [&] {
             const quaternion q = Diver()->GetQuaternion();
             EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0f, 1e-3f);
             EXPECT_NEAR(std::atan2(q.y, q.w), 0.3f, 0.02f);
         }},
        {"a turn 1.5 % off unit length", [](OldStore& s) { OldSet(s, "diver2", OldV("qxyzw", 0, 0, 0, 1.015f)); },
         "'qxyzw' of the store 'diver2' is (0, 0, 0, 1.015)",
         [&] {
             EXPECT_NEAR(static_cast<nbwDiver*>(Lookup("/usr/logic/level1/diver2"))->GetQuaternion().w, 1.0f, 1e-3f);
         }},
        {"a diver far above a corner", [](OldStore& s) { OldSet(s, "diver1", OldV("txyz", 100, 100, 100, 0)); },
         "'txyz' of the store 'diver1'",
         [&] { EXPECT_TRUE(near(DiverAt(), vector3(95.1f, 11.1f, 95.1f), 0.05f)) << DiverAt().x << " " << DiverAt().y; }},
        {"a diver beside the closed door, inside the reef",
         [](OldStore& s) { OldSet(s, "diver1", OldV("txyz", -1.5f, 1, 8, 0)); }, "'txyz' of the store 'diver1'",
         [&] {
             // Clear of the shut leaf (1 thick on the reef's line) too.
             EXPECT_TRUE(inWater(DiverAt()) && std::fabs(DiverAt().z - 8.0f) >= 1.39f) << DiverAt().z;
         }},
        // The things that stand in the save's own state count as solids; those it has
        // swept, opened or lifted do not.
        {"a diver inside the unswept heap", [](OldStore& s) { OldSet(s, "diver1", OldV("txyz", -6, 0.5f, -2, 0)); },
         "'txyz' of the store 'diver1' is (-6, 0.5, -2, 0), inside 'heap', which stands there",
         [&] { EXPECT_GE(DiverAt().y, 1.95f) << "on the heap, 1.1 high"; }},
        {"a diver in a swept heap's place",
         [](OldStore& s) {
             OldSet(s, "heap", OldF("sweepvalue", 1));
             OldSet(s, "heap", "seti( \"handler_physik_collision\", 0 )");
             // Sweeping shows the air bag it buried.
             OldSet(s, "luftsack", "seti( \"visible\", 1 )");
             OldSet(s, "luftsack", "seti( \"handler_item_collision\", 1 )");
             OldSet(s, "diver1", OldV("txyz", -6, 0.5f, -2, 0));
         },
         nullptr, [&] { EXPECT_TRUE(near(DiverAt(), vector3(-6, 0.5f, -2), 0.05f)) << DiverAt().y; }},
        {"a diver inside the basket's cage", [](OldStore& s) { OldSet(s, "diver1", OldV("txyz", 0, 0.6f, -16, 0)); },
         "inside 'basket', which stands there", [&] { EXPECT_GE(DiverAt().y, 2.1f) << "on the cage, 1.24 high"; }},
        {"a diver inside the crate", [](OldStore& s) { OldSet(s, "diver2", OldV("txyz", 5, 0.8f, -6, 0)); },
         "'txyz' of the store 'diver2' is (5, 0.8, -6, 0), inside 'kiste', which stands there",
         [&] { EXPECT_GE(static_cast<nbwDiver*>(Lookup("/usr/logic/level1/diver2"))->GetPosition().y, 2.15f); }},
        {"a diver inside the closed door's slab", [](OldStore& s) { OldSet(s, "diver1", OldV("txyz", 0, 1.5f, 8, 0)); },
         "inside 'door', which stands there", [&] { EXPECT_GE(std::fabs(DiverAt().z - 8.0f), 1.39f) << DiverAt().z; }},
        {"a diver in the open door's passage",
         [](OldStore& s) {
             OldSet(s, "door", "seti( \"openstatus\", 1 )");
             OldSet(s, "diver1", OldV("txyz", 0, 1.5f, 8, 0));
         },
         nullptr, [&] { EXPECT_TRUE(near(DiverAt(), vector3(0, 1.5f, 8), 0.05f)) << DiverAt().z; }},
        // Divers that the reading places keep clear of each other's room.
        {"both divers inside the reef at one place",
         [](OldStore& s) {
             OldSet(s, "diver1", OldV("txyz", 20, 3, 8.2f, 0));
             OldSet(s, "diver2", OldV("txyz", 20, 3, 8.2f, 0));
         },
         "'txyz' of the store 'diver2' is (20, 3, 8.2, 0), outside the level's water or inside a solid",
         [&] {
             const vector3 two = static_cast<nbwDiver*>(Lookup("/usr/logic/level1/diver2"))->GetPosition();
             EXPECT_TRUE(inWater(DiverAt()) && inWater(two) && (DiverAt() - two).Len() >= 1.79f)
                 << DiverAt().z << " " << two.x << " " << two.y << " " << two.z;
         }},
        {"diver 2 right on diver 1", [](OldStore& s) { OldSet(s, "diver2", OldV("txyz", 0, 4, 30, 0)); },
         "'txyz' of the store 'diver2' is (0, 4, 30, 0), inside another body's room",
         [&] {
             const vector3 two = static_cast<nbwDiver*>(Lookup("/usr/logic/level1/diver2"))->GetPosition();
             EXPECT_TRUE(near(DiverAt(), vector3(0, 4, 30), 1e-3f) && (DiverAt() - two).Len() >= 1.79f &&
                         (DiverAt() - two).Len() < 1.9f)
                 << two.x << " " << two.y << " " << two.z;
         }},
        {"a byte-order mark an editor put before it", [](OldStore&) {}, "a byte-order mark at its start skipped",
         [&] { EXPECT_TRUE(near(DiverAt(), vector3(0, 4, 30), 1e-3f)); }, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        OldStore level = OldLevelOne();
        row.edit(level);
        std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc | std::ios::binary)
            << (row.bom ? "\xEF\xBB\xBF" : "") << OldSave(level);
        LoadKindlyAndBack(row.logged, [&] {
            ASSERT_NE(Diver(), nullptr);
            row.expect();
        });
    }
    // Only a load reads kindly: F5's check of what it wrote refuses what F9 brought inside.
    auto* level = static_cast<nbwLevel*>(Lookup("/usr/logic/level1"));
    for (const std::string& line : {OldF("hitpoints", -1), OldV("txyz", -6, 0, -3, 0)}) {
        OldStore earlier = OldLevelOne();
        OldSet(earlier, "heap", line);
        for (auto reading : {nbwSaveDeclaration::Reading::Strict, nbwSaveDeclaration::Reading::Kind}) {
            nRoot* scratch = ks->NewUnnamed("nroot");
            nObjectFileReader reader(nPersist::SaveFormat());
            ASSERT_TRUE(reader.ReadText(OldSave(earlier), "earlier", scratch));
            std::string why;
            EXPECT_EQ(level->CheckSave(scratch, why, reading), reading == nbwSaveDeclaration::Reading::Kind)
                << line << ": " << why;
            scratch->Release();
        }
    }
}

// Quick saves that an earlier version's own play wrote by F5, one for each state of level 1
// (kept under earlier_saves/): each loads, its diver's hand named by the whole path of its
// own item read as that item with one line; F5 then F9 gives the same back without a line.
TEST_F(DemoGameTest, QuickSavesThatAnEarlierVersionsPlayWroteLoadAndSaveAgain) {
    NewGame();
    Frames(3);
    auto item = [&](const char* name) { return static_cast<nbwItem*>(Lookup(std::string("/usr/logic/level1/") + name)); };
    auto active = [&] { return std::string(game->GetCurrentLevel()->GetActiveDiver()->GetName()); };
    const char* wholeHand = "'hand' of the store 'diver1' is '/usr/logic/level1/diver1/inventory/hand', the whole "
                            "path of its own 'inventory/hand'; read as 'inventory/hand'";
    const struct {
        const char* file;
        const char* logged;  // null: none
        std::function<void()> expect;
    } rows[] = {
        {"start", nullptr, [&] { EXPECT_TRUE((DiverAt() - vector3(0, 4, 30)).Len() < 0.01f); }},
        {"swimming", nullptr, [&] { EXPECT_LT(DiverAt().z, 29.0f); }},
        {"photo", nullptr,
         [&] { EXPECT_EQ(static_cast<nbwDokuTool*>(item("diver1/inventory/fotoapparat"))->GetDokumentation(), 0.5f); }},
        {"door_cut", nullptr, [&] { EXPECT_EQ(static_cast<nbwOpenable*>(item("door"))->GetOpenStatus(), 1.0f); }},
        {"heap_swept", nullptr, [&] { EXPECT_EQ(static_cast<nbwSandHeap*>(item("heap"))->GetSweepValue(), 1.0f); }},
        {"crate_lifted", wholeHand, [&] { EXPECT_EQ(item("kiste"), nullptr); }},
        {"diver2_active", wholeHand, [&] { EXPECT_EQ(active(), "diver2"); }},
        {"water_let_out", wholeHand,
         [&] { EXPECT_LE(static_cast<nbwWater*>(Lookup("/usr/logic/level1/chamber/chamberwater"))->GetWaterstand(), 0.5f); }},
        {"after_load", wholeHand, [&] { EXPECT_EQ(active(), "diver2"); }},
        {"camera_in_basket", nullptr, [&] { EXPECT_NE(item("basket/inventory/fotoapparat"), nullptr); }},
    };
    const fs::path dir = fs::path(BW_SOURCE_DIR) / "tests/app/earlier_saves";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        fs::copy_file(dir / (std::string(row.file) + ".n"), saveDir / "schnellspeicher.n",
                      fs::copy_options::overwrite_existing);
        LoadKindlyAndBack(row.logged, [&] {
            const nRoot* hand = static_cast<nbwDiver*>(Lookup("/usr/logic/level1/diver1"))->GetPath(nbwDiver::Hand);
            ASSERT_NE(hand, nullptr);
            EXPECT_EQ(hand->GetParent()->GetFullName(), "/usr/logic/level1/diver1/inventory");
            row.expect();
        });
    }
}

// A quick save that the game wrote (its camera in the basket, the last store), then cut short
// or with a line taken out: F9 refuses it whole, the game as it was and playing on, unless
// only what follows the level's store is gone (the camp that a new game never filled).
TEST_F(DemoGameTest, AQuickSaveCutShortOrMissingALineIsRefusedWhole) {
    std::string good = NewGameSaved();
    ASSERT_FALSE(good.empty());
    {
        // Into the basket's inventory, as play puts it there, then written by the game.
        std::string text = good;
        const std::string camera = CutStore(text, "fotoapparat");
        const std::string into = "setf( \"volume\", 20.00000000 )";
        ASSERT_NE(text.find(into), std::string::npos);
        text.insert(text.find('\n', text.find(into)) + 1, camera);
        std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << text;
        Key(SDL_SCANCODE_F9, SDLK_F9);
        Frames(2);
        ASSERT_EQ(StatusLine(), "Spiel geladen.") << log.text.substr(0, 3000);
        static_cast<nbwDokuTool*>(Lookup("/usr/logic/level1/basket/inventory/fotoapparat"))->SetDokumentation(0.5f);
        Key(SDL_SCANCODE_F5, SDLK_F5);
        Frames(2);
        ASSERT_EQ(StatusLine(), "Spiel gespeichert.");
        std::stringstream written;
        written << std::ifstream(saveDir / "schnellspeicher.n").rdbuf();
        good = written.str();
    }
    // The text up to (not with) the line that `what` begins in the store `store`.
    auto before = [&](const std::string& store, const std::string& what) {
        const size_t at = good.find(what, good.find("new('npersistlogic', '" + store + "')"));
        return at == std::string::npos ? "<no " + what + ">" : good.substr(0, good.rfind('\n', at) + 1);
    };
    // The line that `what` begins in the store `store` taken out.
    auto without = [&](const std::string& store, const std::string& what) {
        const std::string head = before(store, what);
        return head + good.substr(good.find('\n', head.size()) + 1);
    };
    const std::string lastUp = good.substr(0, good.rfind("up()"));
    std::string noBag = good, lifted = good;
    CutStore(noBag, "luftsack");
    CutStore(lifted, "luftsack");
    const std::string crate = CutStore(lifted, "kiste");
    const std::string camp = "new('nroot', 'camp')\n  sel('camp')\n";
    ASSERT_NE(lifted.find(camp), std::string::npos);
    lifted.insert(lifted.find(camp) + camp.size(), crate);
    // `from` replaced by `to` in the store `store`.
    auto with = [](std::string text, const std::string& store, const std::string& from, const std::string& to) {
        const size_t at = text.find(from, text.find("new('npersistlogic', '" + store + "')"));
        return at == std::string::npos ? "<no " + from + ">" : text.replace(at, from.size(), to);
    };
    const std::string swept = with(with(good, "heap", "seti( \"handler_physik_collision\", 1 )",
                                        "seti( \"handler_physik_collision\", 0 )"),
                                   "heap", "setf( \"sweepvalue\", 0.00000000 )", "setf( \"sweepvalue\", 1.00000000 )");
    const std::string shown = with(with(swept, "luftsack", "seti( \"visible\", 0 )", "seti( \"visible\", 1 )"),
                                   "luftsack", "seti( \"handler_item_collision\", 0 )",
                                   "seti( \"handler_item_collision\", 1 )");
    std::string twiceOpen = good;
    {
        const size_t door = good.find("new('npersistlogic', 'door')");
        const size_t end = good.find("\n  up()\n", door) + 8;
        std::string copy = good.substr(good.rfind('\n', door) + 1, end - good.rfind('\n', door) - 1);
        copy.replace(copy.find("seti( \"openstatus\", 0 )"), 23, "seti( \"openstatus\", 1 )");
        twiceOpen.insert(end, copy);
    }
    const struct {
        const char* what;
        std::string save;
        const char* why;  // in the refusal's line; null: it loads
    } rows[] = {
        {"a value line twice", with(good, "cutter", "seti( \"active\", 1 )", "seti( \"active\", 1 ) seti( \"active\", 1 )"),
         "the store 'level1/cutter' sets 'active' a second time"},
        {"the cutter's active 1, then 0", with(good, "cutter", "seti( \"active\", 1 )", "seti( \"active\", 1 ) seti( \"active\", 0 )"),
         "the store 'level1/cutter' sets 'active' a second time"},
        {"the door's openstatus again once its store closed",
         with(good, "door", "\n  up()\n", "\n  up()\n  sel('door') seti( \"openstatus\", 1 ) up()\n"),
         "the store 'level1/door' sets 'openstatus' a second time"},
        {"cut before the camera's photo", before("fotoapparat", "setf( \"docuvalue\""),
         "it ends inside 'level1/basket/inventory/fotoapparat', which it never closes"},
        {"cut in the middle of a line", good.substr(0, good.find("setf( \"docuvalue\"") + 10), "refused: line"},
        {"cut before the level's last up()", lastUp, "it ends inside 'level1'"},
        {"line out: the active diver", without("level1", "sets( \"activediver\""),
         "the store 'level1' holds no 'activediver'"},
        {"line out: the door's openstatus", without("door", "seti( \"openstatus\""),
         "the store 'door' holds no 'openstatus', which every save of 'door' holds"},
        {"line out: the heap's sweepvalue", without("heap", "setf( \"sweepvalue\""), "holds no 'sweepvalue'"},
        {"line out: the chamber's water", without("chamberwater", "setf( \"waterstand\""), "holds no 'waterstand'"},
        {"line out: a diver's place", without("diver2", "setv( \"txyz\""), "the store 'diver2' holds no 'txyz'"},
        {"line out: the photo's value", without("fotoapparat", "setf( \"docuvalue\""), "holds no 'docuvalue'"},
        {"line out: the buried air bag's reach", without("luftsack", "seti( \"handler_item_collision\""),
         "the store 'luftsack' holds no 'handler_item_collision'"},
        {"line out: the heap's solid", without("heap", "seti( \"handler_physik_collision\""),
         "holds no 'handler_physik_collision'"},
        {"line out: the camera's view", without("fotoapparat", "seti( \"handler_camera_collision\""),
         "holds no 'handler_camera_collision'"},
        {"line out: the door's visible, fixed", without("door", "seti( \"visible\""), "the store 'door' holds no 'visible'"},
        {"line out: the switch's collision", without("switch", "seti( \"collision\""), "holds no 'collision'"},
        {"line out: a diver's headlight", without("diver1", "seti( \"headlight\""), "holds no 'headlight'"},
        {"line out: the basket's follow", without("basket", "seti( \"follow\""), "holds no 'follow'"},
        {"line out: the cutter's use time", without("cutter", "setf( \"usetime\""), "holds no 'usetime'"},
        {"line out: the level's fader", without("level1", "seti( \"handler_fader_visualizer\""),
         "the store 'level1' holds no 'handler_fader_visualizer'"},
        {"line out: the door's up()", without("door", "up()"), "it ends inside 'level1'"},
        {"the air bag gone while the crate waits", noBag,
         "no store of 'luftsack', which 'kiste' still waits for (.): the level could not be finished"},
        {"the air bag used up on the crate at the camp", lifted, nullptr},
        {"the heap swept, the air bag shown", shown, nullptr},
        {"the heap swept, the air bag still buried", swept,
         "'visible' of the store 'luftsack' is 0 where 'heap' no longer covers it: the level could not be finished"},
        {"the heap swept, the air bag out of reach",
         with(shown, "luftsack", "seti( \"handler_item_collision\", 1 )", "seti( \"handler_item_collision\", 0 )"),
         "'handler_item_collision' of the store 'luftsack' is 0 where 'heap'"},
        {"the door's store written twice, the later open", twiceOpen, "a second 'new' of 'door' in one place"},
        {"the whole save written twice", good + good, "a second 'new' of 'gamestatus' in one place"},
        {"the hand by the whole path of the diver's own",
         good.substr(0, good.find("sets( \"hand\", \"inventory/hand\" )")) +
             "sets( \"hand\", \"/usr/logic/level1/diver1/inventory/hand\" )" +
             good.substr(good.find("sets( \"hand\", \"inventory/hand\" )") + 32),
         nullptr},
        {"the hand by the whole path of the diver's own, a later line out",
         [&] {
             std::string t = without("door", "seti( \"openstatus\"");
             const size_t at = t.find("sets( \"hand\", \"inventory/hand\" )");
             return t.replace(at, 32, "sets( \"hand\", \"/usr/logic/level1/diver1/inventory/hand\" )");
         }(),
         "the store 'door' holds no 'openstatus'"},
        {"the hand by the whole path of another's item",
         good.substr(0, good.find("sets( \"hand\", \"inventory/hand\" )")) +
             "sets( \"hand\", \"/usr/logic/level1/basket/inventory/fotoapparat\" )" +
             good.substr(good.find("sets( \"hand\", \"inventory/hand\" )") + 32),
         "'hand' of the store 'diver1' lies outside"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        nbwDiver* diver = Diver();
        std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << row.save;
        log.text.clear();
        Key(SDL_SCANCODE_F9, SDLK_F9);
        Frames(2);
        if (row.why) {
            EXPECT_EQ(StatusLine(), "Laden fehlgeschlagen.");
            EXPECT_NE(log.text.find(row.why), std::string::npos) << log.text.substr(0, 3000);
            // Nothing of a refused save was read, kindly or not.
            EXPECT_EQ(log.text.find("nbwSaveDeclaration:"), std::string::npos) << log.text.substr(0, 3000);
            EXPECT_EQ(Diver(), diver);
        } else {
            EXPECT_EQ(StatusLine(), "Spiel geladen.") << log.text.substr(0, 3000);
        }
        // The game plays on: W swims the diver.
        const vector3 from = DiverAt();
        Key(SDL_SCANCODE_W, SDLK_w, 15);
        EXPECT_GT((DiverAt() - from).Len(), 0.1f);
    }
    // Cut at every line, or without any line that makes, selects or closes a store: never
    // loads, by the load's own reading, unless only what follows the level's store is gone.
    auto* level = static_cast<nbwLevel*>(Lookup("/usr/logic/level1"));
    auto loads = [&](const std::string& text) {
        nRoot* scratch = ks->NewUnnamed("nroot");
        nObjectFileReader reader(nPersist::SaveFormat());
        std::string why;
        const bool ok = reader.ReadText(text, "cut", scratch) &&
                        level->CheckSave(scratch, why, nbwSaveDeclaration::Reading::Kind);
        scratch->Release();
        return ok;
    };
    ASSERT_TRUE(loads(good));
    const size_t levelEnd = good.find("\nup()\n", good.find("new('npersistlogic', 'level1')")) + 6;
    int cuts = 0, structure = 0;
    for (size_t at = 0; at < good.size(); at = good.find('\n', at) + 1) {
        EXPECT_EQ(loads(good.substr(0, at)), at >= levelEnd) << "cut at " << at << ": " << good.substr(at, 60);
        cuts++;
        const size_t end = good.find('\n', at) + 1;
        const std::string line = good.substr(at, end - at);
        if (line.find("new(") == std::string::npos && line.find("sel(") == std::string::npos &&
            line.find("up()") == std::string::npos) {
            continue;
        }
        structure++;
        EXPECT_EQ(loads(good.substr(0, at) + good.substr(end)), at >= levelEnd) << "without: " << line;
    }
    EXPECT_GT(cuts, 500);
    EXPECT_GT(structure, 60);
}

// With hundreds of newer ".n" files beside it, F9 finds the quick save by its name and the
// menu offers "Spiel laden"; the listing of save games keeps to the newest.
TEST_F(DemoGameTest, TheQuickSaveIsFoundAmongHundredsOfNewerSaves) {
    const std::string good = NewGameSaved();
    ASSERT_FALSE(good.empty());
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(saveDir / "schnellspeicher.n", old);
    for (int i = 0; i < 300; i++) std::ofstream(saveDir / ("other" + std::to_string(i) + ".n")) << "-- x\n";
    const std::string listed = game->GetSaveGames();
    EXPECT_EQ(std::count(listed.begin(), listed.end(), ',') + 1, nBaseObserver::MaxSaveGames);
    ASSERT_EQ(listed.find("schnellspeicher"), std::string::npos) << "the quick save is not among the newest";
    EXPECT_TRUE(game->HasSaveGame("schnellspeicher"));
    EXPECT_TRUE(game->HasSaveGame("SchnellSpeicher"));
    EXPECT_FALSE(game->HasSaveGame("schnell"));
    EXPECT_FALSE(game->HasSaveGame(""));
    Diver()->SetPosition(vector3(10.0f, 4.0f, 30.0f));
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(2);
    EXPECT_EQ(StatusLine(), "Spiel geladen.") << log.text.substr(0, 3000);
    EXPECT_LT((DiverAt() - vector3(0, 4, 30)).Len(), 0.5f);
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    EXPECT_EQ(MenuValue("loadable"), "1");
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Frames(2);
    // Whatever lies by the quick save's name, the check and the menu answer what F9 does.
    const fs::path elsewhere = fs::path(testing::TempDir()) / ("bw_quick_elsewhere_" + std::to_string(::getpid()) + ".n");
    std::ofstream(elsewhere) << good;
    const fs::path quick = saveDir / "schnellspeicher.n";
    const struct {
        const char* what;
        std::function<void()> lay;
        bool loads;
    } rows[] = {
        {"a folder by its name", [&] { fs::create_directory(quick); }, false},
        {"a folder by its name beside the file in capitals",
         [&] {
             fs::create_directory(quick);
             std::ofstream(saveDir / "SCHNELLSPEICHER.N") << good;
         },
         false},
        {"a broken link by its name", [&] { fs::create_symlink(saveDir / "nowhere.n", quick); }, false},
        {"a link to the folder", [&] { fs::create_symlink(saveDir, quick); }, false},
        {"a link to a save elsewhere", [&] { fs::create_symlink(elsewhere, quick); }, true},
        {"the file in capitals alone", [&] { std::ofstream(saveDir / "SCHNELLSPEICHER.N") << good; }, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        for (const auto& e : fs::directory_iterator(saveDir)) fs::remove_all(e.path());
        row.lay();
        EXPECT_EQ(game->HasSaveGame("schnellspeicher"), row.loads);
        Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
        Frames(2);
        EXPECT_EQ(MenuValue("loadable"), row.loads ? "1" : "0");
        Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
        Frames(2);
        Diver()->SetPosition(vector3(10.0f, 4.0f, 30.0f));
        Key(SDL_SCANCODE_F9, SDLK_F9);
        Frames(2);
        EXPECT_EQ(StatusLine(), row.loads ? "Spiel geladen." : "Kein Spielstand vorhanden.") << log.text.substr(0, 3000);
    }
    fs::remove(elsewhere);
}

// Neither a save's timer nor one that data planted takes the person's keys: the timer that
// calls the menu's entry is refused with the save, W then swims the diver, and W is no
// answer to a menu that does not show.
TEST_F(DemoGameTest, ASavesTimerCallingTheMenusEntryIsRefusedAndWSwimsTheDiver) {
    const std::string good = NewGameSaved();
    const std::string timer = "seti( \"timercount\", 1 ) sets( \"timer_0_name\", \"t\" ) sets( \"timer_0_type\", "
                              "\"loop\" ) sets( \"timer_0_script\", \"menuaction('beenden')\" ) setf( "
                              "\"timer_0_time\", 0.01 ) setf( \"timer_0_starttime\", 0 )";
    std::string save = good;
    save.replace(save.find("seti( \"timercount\", 0 )"), 24, timer);
    std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << save;
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Frames(2);
    EXPECT_EQ(StatusLine(), "Laden fehlgeschlagen.");
    {
        nScriptServer::OriginScope planted(nScriptServer::Origin::Data);
        game->GetCurrentLevel()->AddTimer("planted", "loop", 0, 0.01f, "menuaction('laden')");
    }
    const vector3 at = DiverAt();
    Push(bwtest::sdl::Key(window, SDL_SCANCODE_W, SDLK_w, true));
    for (int i = 0; i < 30; i++) ASSERT_TRUE(Frame()) << "ended at frame " << i;
    Push(bwtest::sdl::Key(window, SDL_SCANCODE_W, SDLK_w, false));
    Frames(2);
    EXPECT_GT((DiverAt() - at).Len(), 1.0f);
    EXPECT_NE(log.text.find("'menuaction' answers the person's key or click, and none came"), std::string::npos);
}

// ---- play never leaves what a save may hold

// A walk of level 1 by the player's keys, from a new game and from saves at the edges of
// what a save may hold. Every few frames what F5 would write must pass the level's
// declaration, by F5's own path (written beside the quick save, read back by the load's
// rules, put in its place); at each F5 and F9 of the walk the load gives back the same
// places and values.
class DemoWalkTest : public DemoLevelTest {
protected:
    static constexpr int kEvery = 6;

    void TearDown() override {
        EXPECT_EQ(refused, 0) << refused << " of " << checked << " states would not save";
        std::printf("walk: %d frames, %d states checked, %d round trips\n", frames, checked, trips);
        DemoLevelTest::TearDown();
    }
    // Whether what F5 would write now loads; the first refusals say where and why.
    void Check(const std::string& where) {
        checked++;
        const size_t before = log.errors.size();
        game->SaveGame("walk");
        if (game->GetLastSaveOk()) return;
        if (++refused > 3) return;
        std::string why;
        for (size_t i = before; i < log.errors.size(); i++) why += log.errors[i];
        ADD_FAILURE() << where << ", frame " << frames << ": F5 would be refused: " << why;
    }
    void Step(int n, const std::string& where) {
        for (int i = 0; i < n; i++) {
            ASSERT_TRUE(Frame()) << where;
            if (frames % kEvery == 0) Check(where);
        }
    }
    void Hold(SDL_Scancode code, SDL_Keycode sym, int n, const std::string& where) {
        Push(bwtest::sdl::Key(window, code, sym, true));
        Step(n, where);
        Push(bwtest::sdl::Key(window, code, sym, false));
        Step(1, where);
    }
    void Press(SDL_Scancode code, SDL_Keycode sym, const std::string& where) { Hold(code, sym, 1, where); }
    void WalkE(const std::string& where) {
        Press(SDL_SCANCODE_E, SDLK_e, where);
        Step(2, where);
    }
    void WalkQ(const std::string& where) {
        Press(SDL_SCANCODE_Q, SDLK_q, where);
        Step(2, where);
    }

    // Every value of every store, numbers apart from texts.
    struct Stored {
        std::string text;
        std::vector<float> numbers;
    };
    using Stores = std::map<std::string, Stored>;
    void Collect(nRoot* o, Stores& out) {
        if (o->IsA("npersist")) {
            for (nPersistVar* v = static_cast<nPersist*>(o)->GetFirstVar(); v; v = v->GetSucc()) {
                Stored& s = out[o->GetFullName() + ":" + v->GetName()];
                const nVariable& x = v->Get();
                switch (x.GetType()) {
                case nVariable::Int: s.numbers = {float(x.GetI())}; break;
                case nVariable::Float: s.numbers = {x.GetF()}; break;
                case nVariable::Vector4: s.numbers.assign(x.GetV4(), x.GetV4() + 4); break;
                default: s.text = x.GetS() ? x.GetS() : ""; break;
                }
            }
        }
        for (nRoot* c = o->GetHead(); c; c = c->GetSucc()) Collect(c, out);
    }
    // F5 and F9 by their keys: the load gives back every store and value, within what the
    // frames between change (0.05; a bite of the fish in health). A door that swings when
    // F5 comes is brought back at the end of its swing.
    void RoundTrip(const std::string& where) {
        trips++;
        Key(SDL_SCANCODE_F5, SDLK_F5);
        if (!game->GetLastSaveOk()) {
            ADD_FAILURE() << where << ": F5 refused";
            return;
        }
        Stores saved, loaded;
        Collect(Lookup("/usr/persist"), saved);
        Key(SDL_SCANCODE_F9, SDLK_F9);
        Frames(1);
        ASSERT_TRUE(game->GetLastSaveOk()) << where << ": F9 refused what F5 wrote";
        // The stores brought up to date from the loaded game, as F5 brings them.
        Check(where + ", after F9");
        Collect(Lookup("/usr/persist"), loaded);
        for (const auto& [name, s] : saved) {
            const auto at = loaded.find(name);
            // What the camp keeps is built into nothing: the values that play never changes
            // are the prototype's, and a load drops them.
            if (at == loaded.end() && name.rfind("/usr/persist/camp/", 0) == 0) continue;
            if (at == loaded.end()) {
                ADD_FAILURE() << where << ": " << name << " is gone after F9";
                continue;
            }
            // A thing's owner follows a diver's aim, which a load sets anew.
            if (name.size() > 6 && name.compare(name.size() - 6, 6, ":owner") == 0) continue;
            EXPECT_EQ(at->second.text, s.text) << where << ": " << name;
            EXPECT_EQ(at->second.numbers.size(), s.numbers.size()) << where << ": " << name;
            const bool swing = name.find("door:") != std::string::npos && (name.find(":qxyzw") != std::string::npos ||
                                                                         name.find("door_open_animation") != std::string::npos);
            // Health drains, and the fish swims on (up to about 3 a second), in the frame after F9.
            const float near =
                name.find(":lifepoints") != std::string::npos || name.find(":fish_") != std::string::npos ? 0.2f
                                                                                                          : 0.05f;
            // A load closes the inventory bar (its keys go back to the diver).
            if (name == "/usr/persist/gamestatus:gamestate") {
                EXPECT_EQ(int(at->second.numbers[0]) & ~0x1000, int(s.numbers[0]) & ~0x1000) << where;
                continue;
            }
            // A fade a save caught takes only what is left of it after the load.
            if (name.find(":fadetime") != std::string::npos && !s.numbers.empty() && !at->second.numbers.empty()) {
                EXPECT_LE(at->second.numbers[0], s.numbers[0] + near) << where << ": " << name;
                continue;
            }
            for (size_t i = 0; i < std::min(s.numbers.size(), at->second.numbers.size()) && !swing; i++)
                EXPECT_NEAR(at->second.numbers[i], s.numbers[i], near) << where << ": " << name << "[" << i << "]";
        }
        for (const auto& [name, s] : loaded) EXPECT_TRUE(saved.count(name)) << where << ": " << name << " came with F9";
    }
    float Sweep() { return Get<nbwSandHeap>("heap")->GetSweepValue(); }

    int checked = 0, refused = 0, trips = 0;
};

// A new game to its end: every task with both divers, each action broken off by F5 and F9
// and repeated, double presses, the fish, the vent and air that runs out.
TEST_F(DemoWalkTest, TheLevelsTasksWithBothDiversEachBrokenOffAndRepeatedStaySaveable) {
    NewGame();
    Step(5, "new game");
    // The camera: taken twice over, photographs in quick succession.
    SwimTo("fotoapparat");
    WalkE("camera");
    WalkE("camera again");
    ASSERT_EQ(Hand(), L("diver1/inventory/fotoapparat"));
    WalkQ("photo");
    WalkQ("second photo");
    RoundTrip("photographing");
    WalkQ("photo after F9");
    // The fish bites.
    for (int i = 0; i < 120 && StatusLine() != "Taucher 1: Ein Fisch greift an!"; i++) {
        Active()->SetPosition(Get<nbwFish>("fishbox/fish")->GetPosition() + Get<nLogicVisual2>("fishbox")->GetPosition());
        Step(1, "fish");
    }
    // The walk set the diver into the fish: a load puts both back, and the push apart in the
    // frame after F9 would be more than a frame of play moves.
    Step(30, "the fish swims on");
    RoundTrip("bitten");
    // The door, cut open with F5 and F9 on the way, and cut again.
    SwimTo("cutter");
    WalkE("cutter");
    // In front of the leaf and above the sand, as a diver swims there: the hinge's place is
    // the reef's face, and the sand rises over the door's foot.
    SwimTo(0.0f, 1.0f, 9.6f);
    WalkQ("cutting");
    Step(10, "door opening");
    RoundTrip("door opening");
    WalkQ("cutting again");
    Step(60, "door open");
    EXPECT_EQ(Get<nbwOpenable>("door")->GetOpenStatus(), 1.0f);
    // The heap: Q twice within its sweep, F5 and F9 while it sweeps, Q once more.
    SwimTo("sandremover");
    WalkE("sand remover");
    SwimTo("heap");
    WalkQ("sweeping");
    Step(8, "sweeping");
    WalkQ("sweeping twice");
    Step(10, "swept twice");
    RoundTrip("sweeping");
    Step(75, "after the load");
    if (Sweep() < 1.0f) WalkQ("sweeping after the load");
    Step(75, "swept");
    EXPECT_EQ(Sweep(), 1.0f);
    EXPECT_TRUE(Get<nbwItem>("luftsack")->GetVisible());
    // The air bag lifts the crate; Q again with the hand it leaves; F5 and F9 as it rises.
    SwimTo("kiste");
    WalkE("crate too heavy");
    SwimTo("luftsack");
    WalkE("air bag");
    ASSERT_EQ(Hand(), L("diver1/inventory/luftsack"));
    // The other diver aims at the crate, as a save may say.
    ASSERT_TRUE(Run("obj('" + L("diver2") + "').setpath('target', '" + L("kiste") + "')"));
    RoundTrip("the second diver aiming at the crate");
    SwimTo("kiste");
    WalkQ("lifting");
    WalkQ("lifting twice");
    Step(20, "rising");
    RoundTrip("rising");
    Step(60, "lifted");
    EXPECT_EQ(Lookup(L("kiste")), nullptr);
    // The basket: the camera in, out on its screen, and the cutter in.
    ASSERT_TRUE(Run("obj('" + L("diver1") + "').setpath('hand', 'inventory/fotoapparat')"));
    SwimTo("basket");
    WalkE("into the basket");
    RoundTrip("the camera in the basket");
    WalkE("the basket's screen");
    Step(5, "the basket's screen");
    MouseClick(300, 290);
    Step(5, "taken out of the basket");
    EXPECT_NE(Lookup(L("diver1/inventory/fotoapparat")), nullptr);
    RoundTrip("taken out of the basket");
    ASSERT_TRUE(Run("obj('" + L("diver1") + "').setpath('hand', 'inventory/cutter')"));
    SwimTo("basket");
    WalkE("the cutter into the basket");
    WalkE("the basket's screen again");
    Key(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE);
    Step(3, "the screen closed");
    // The second diver works the switch, with F5 and F9 while the water runs out.
    Press(SDL_SCANCODE_TAB, SDLK_TAB, "Tab");
    Step(3, "Tab");
    ASSERT_EQ(Active(), Get<nbwDiver>("diver2"));
    SwimTo("switch");
    WalkE("switch");
    Step(40, "draining");
    RoundTrip("draining");
    WalkE("switch again");
    Step(120, "drained");
    // The vent: a diver who stays passes out; F5 and F9 while it burns.
    SwimTo("vent");
    Step(90, "burning");
    RoundTrip("burning");
    auto rescued = [this] { return StatusLine().find("bewusstlos") != std::string::npos; };
    for (int i = 0; i < 15 * 30 && !rescued(); i++) Step(1, "passing out at the vent");
    EXPECT_TRUE(rescued()) << "at the vent";
    Step(150, "brought back");
    // Out of air.
    Get<nbwDiver>("diver2")->SetStat(nbwDiver::EnergieLose, 0.05f);
    Get<nbwDiver>("diver2")->SetStat(nbwDiver::Energie, 0.06f);
    for (int i = 0; i < 10 * 30 && !rescued(); i++) Step(1, "out of air");
    EXPECT_TRUE(rescued()) << "out of air";
    Step(30, "brought back from no air");
    Press(SDL_SCANCODE_TAB, SDLK_TAB, "Tab back");
    Step(3, "Tab back");
    RoundTrip("the level's end");
}

// W held into each solid at many angles: the reef from both sides, the basin's walls and
// its surface, the doorway, the basket's cage, the heap, the crate, the switch, the vent
// and the rocks. The wall turns the diver, and its turn must stay a turn.
TEST_F(DemoWalkTest, EachSolidScrapedAtManyAnglesLeavesASaveableTurn) {
    NewGame();
    Step(5, "new game");
    std::vector<std::pair<vector3, vector3>> spots = {
        {{0, 4.5f, 11.5f}, {0, 0, 1}},     {{-7.5f, 2, 11.5f}, {0, 0, 1}},   {{-1, 6, 4.5f}, {0, 0, -1}},
        {{20, 3, 4.5f}, {0, 0, -1}},       {{93, 4, -40}, {-1, 0, 0}},       {{-93, 8, 40}, {1, 0, 0}},
        {{30, 3, 93}, {0, 0, -1}},         {{-30, 6, -93}, {0, 0, 1}},       {{0, 9, 40}, {0, -1, 0}},
        {{-1.5f, 1.6f, 11.0f}, {0, 0, 1}}, {{-1.5f, 1.6f, 5.0f}, {0, 0, -1}}};
    for (const Solid& s : Solids()) spots.push_back({Inside(s) + s.side * 3.0f, s.side});
    for (const std::string& rock : Rocks()) {
        const vector3 mid = Middle(rock);
        const float size = Get<nLogicVisual2>(rock.c_str())->GetScale().x;
        const vector3 p(mid.x, std::max(0.9f, mid.y - 0.3f * size), mid.z + 1.35f * size + 0.9f);
        if (SolidAt(p).empty()) spots.push_back({p, {0, 0, 1}});
    }
    for (const auto& [from, side] : spots) {
        const std::string where = std::to_string(from.x) + " " + std::to_string(from.y) + " " + std::to_string(from.z);
        for (int a = -3; a <= 3; a++) {
            Park(from, Facing(side) + 0.45f * float(a), 1);
            Hold(SDL_SCANCODE_W, SDLK_w, 24, where + " turned " + std::to_string(a));
        }
        Active()->SetStat(nbwDiver::LifePoints, 1.0f);
    }
    RoundTrip("after scraping");
}

// A few minutes of random keys from a fixed seed, from places all over the level.
TEST_F(DemoWalkTest, MinutesOfRandomKeysFromAFixedSeedStaySaveable) {
    NewGame();
    Step(5, "new game");
    ASSERT_TRUE(Run("obj('" + L("door") + "').setopen(true)"));
    const std::pair<SDL_Scancode, SDL_Keycode> keys[] = {
        {SDL_SCANCODE_W, SDLK_w}, {SDL_SCANCODE_W, SDLK_w},     {SDL_SCANCODE_S, SDLK_s}, {SDL_SCANCODE_A, SDLK_a},
        {SDL_SCANCODE_D, SDLK_d}, {SDL_SCANCODE_R, SDLK_r},     {SDL_SCANCODE_F, SDLK_f}, {SDL_SCANCODE_Q, SDLK_q},
        {SDL_SCANCODE_E, SDLK_e}, {SDL_SCANCODE_TAB, SDLK_TAB}, {SDL_SCANCODE_I, SDLK_i}, {SDL_SCANCODE_F5, SDLK_F5},
        {SDL_SCANCODE_F9, SDLK_F9}};
    const char* places[] = {"fotoapparat", "cutter", "door",   "sandremover", "heap",
                            "luftsack",    "kiste",  "basket", "switch",      "vent"};
    std::mt19937 random(135);
    for (int round = 0; round < 24; round++) {
        const char* place = places[random() % std::size(places)];
        // What a diver took is no place to swim to.
        if (!Lookup(L(place))) continue;
        SwimTo(place);
        for (int n = 0; n < 40; n++) {
            const auto& [code, sym] = keys[random() % std::size(keys)];
            Hold(code, sym, 1 + int(random() % 8), std::string("random keys at ") + place);
        }
        if (round % 5 == 4) RoundTrip(std::string("random keys at ") + place);
    }
}

// From saves at the edges of what a save holds, ordinary play stays saveable: totals at 0
// while things are held, the basket's hand naming what is taken out of it, the crate at the
// camp with the air bag unused, the camera's score at its top.
TEST_F(DemoWalkTest, FromSavesAtTheEdgesPlayStaysSaveable) {
    NewGame();
    Step(5, "new game");
    const std::string diver = "obj('" + L("diver1") + "')";
    // Totals at 0 while the camera is held, then the camera into the basket.
    SwimTo("fotoapparat");
    WalkE("camera");
    ASSERT_TRUE(Run("local i = obj('" + L("diver1/inventory") + "') i.setfloat('usedweight', 0) "
                    "i.setfloat('usedvolume', 0)"));
    RoundTrip("totals at 0");
    SwimTo("basket");
    WalkE("into the basket with totals at 0");
    ASSERT_NE(Lookup(L("basket/inventory/fotoapparat")), nullptr) << StatusLine();
    // The basket's hand naming the camera, which is then taken out.
    ASSERT_TRUE(Run("obj('" + L("basket") + "').setpath('hand', 'inventory/fotoapparat')"));
    RoundTrip("the basket's hand on the camera");
    WalkE("the basket's screen");
    Step(5, "the basket's screen");
    ASSERT_TRUE(Get<nbwElevator>("basket")->IsOpen()) << StatusLine();
    MouseClick(300, 290);
    Step(5, "taken out of the basket");
    ASSERT_NE(Lookup(L("diver1/inventory/fotoapparat")), nullptr) << StatusLine();
    // The camera's score just below its top, then photographs.
    ASSERT_TRUE(Run(diver + ".setpath('hand', 'inventory/fotoapparat') obj('" + L("diver1/inventory/fotoapparat") +
                    "').setdokumentation(9999.8)"));
    RoundTrip("the camera's score at its top");
    for (int i = 0; i < 4; i++) WalkQ("photographing at the top");
    // The crate at the camp with the air bag unused, the bag uncovered: Q with it at the
    // cutter.
    Key(SDL_SCANCODE_F5, SDLK_F5);
    std::string save = SaveText();
    const size_t from = save.find("  -- kiste\n"), to = save.find("  up()\n", from);
    const size_t camp = save.find("  sel('camp')\n");
    ASSERT_TRUE(from != std::string::npos && to != std::string::npos && camp != std::string::npos) << save;
    const std::string crate = save.substr(from, to + 7 - from);
    save.erase(from, crate.size());
    save.insert(camp + 14, crate);
    std::ofstream(saveDir / "schnellspeicher.n", std::ios::trunc) << save;
    Key(SDL_SCANCODE_F9, SDLK_F9);
    Step(2, "the crate at the camp");
    ASSERT_TRUE(game->GetLastSaveOk()) << save;
    ASSERT_EQ(Lookup(L("kiste")), nullptr);
    ASSERT_TRUE(Run("local b = obj('" + L("luftsack") + "') b.setvisible(true) "
                    "b.sethandleractive('collision', 'item', true)"));
    SwimTo("luftsack");
    WalkE("the air bag with the crate at the camp");
    SwimTo("cutter");
    WalkQ("the air bag at the cutter");
    EXPECT_NE(Lookup(L("cutter")), nullptr) << "lifted to the camp, which keeps only the crate";
    RoundTrip("the air bag at the cutter");
}

}  // namespace
