// The game observers on the observer fixture: the game-state word and what it decides
// each frame, starting and ending levels, saving and loading games.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "game/nGamePackage.h"
#include "game/nbw2Observer.h"
#include "game/nbwLevel.h"
#include "game/nbwObserver.h"
#include "game/nbwCamera.h"
#include "game/nbwUwMenu.h"
#include "gfx/nGfxServer.h"
#include "kernel/nClass.h"
#include "kernel/nCmdProto.h"
#include "kernel/nFileServer2.h"
#include "kernel/nTimeServer.h"
#include "logic/nCameraServer.h"
#include "logic/nChatServer.h"
#include "logic/nLogicButton.h"
#include "logic/nLogicFlash.h"
#include "logic/nLogicInput.h"
#include "logic/nLogicInputServer.h"
#include "logic/nPersist.h"
#include "tests/logic/ObserverFixture.h"

namespace fs = std::filesystem;

class GameObserverTest : public ObserverFixture {
protected:
    void SetUp() override {
        ObserverFixture::SetUp();
        nGamePackage(kernel);
        obs->Release();
        lis = static_cast<nLogicInputServer*>(kernel->New("nlogicinputserver", "/sys/servers/logicinput"));
        for (const char* g : {"flash", "video", "diver", "mainmenu", "inventory"}) {
            auto* in = static_cast<nLogicInput*>(kernel->New("nlogicinput", (std::string("/usr/logic/in_") + g).c_str()));
            in->SetGroup(g);
            in->SetFocus(true);
        }
        kernel->New("nroot", "/usr/persist");
        status = static_cast<nPersist*>(kernel->New("npersist", "/usr/persist/gamestatus"));
        status->SetI("gamestate", 0);
        status->SetS("currlevel", "none");
        Make("nbwobserver");
    }
    void Make(const char* cls) {
        if (nRoot* old = kernel->Lookup("/sys/servers/observer")) old->Release();
        game = static_cast<nbwGameObserver*>(kernel->New(cls, "/sys/servers/observer"));
        obs = game;
    }
    std::string Live() {
        std::string out;
        for (const char* g : {"flash", "video", "diver", "mainmenu", "inventory"}) {
            if (lis->GetGroupFocus(g)) out += std::string(out.empty() ? "" : ",") + g;
        }
        return out;
    }
    nAudioServer2* Audio() { return static_cast<nAudioServer2*>(kernel->Lookup("/sys/servers/audio")); }
    bool ClockStopped() { return kernel->GetTimeServer()->IsStopped(); }
    // A level whose save holds its own store's "active" and "coins".
    nbwLevel* Level(const char* name) {
        auto* l = static_cast<nbwLevel*>(kernel->New("nbwlevel", (std::string("/usr/logic/") + name).c_str()));
        for (const char* value : {"active", "coins", "timercount"}) l->SaveNumber(".", value, "i", 0, 10);
        return l;
    }
    // A Flash node at `path` playing a tiny movie of the test's own, loaded now.
    nLogicFlash* Movie(const char* path, const std::string& body = "") {
        const std::string file = Write("movie.lua", "--tessel movie 1\nstage(16, 16)\n" + body);
        auto* f = static_cast<nLogicFlash*>(kernel->New("nlogicflash", path));
        f->SetTexture(file.c_str());
        f->LoadFlash(true);
        EXPECT_NE(f->GetModule(), nullptr) << log.text;
        return f;
    }
    fs::path SaveDir() {
        fs::path dir = Path("save");
        fs::create_directories(dir);
        EXPECT_TRUE(kernel->GetFileServer<nFileServer2>()->SetAssign("save", (dir.string() + "/").c_str()));
        return dir;
    }

    nLogicInputServer* lis = nullptr;
    nPersist* status = nullptr;
    nbwGameObserver* game = nullptr;
};

TEST_F(GameObserverTest, CommandsAndClasses) {
    const std::vector<std::string> common = {"v_startlevel_s", "s_getlevel_v",      "v_endlevel_v",
                                             "v_loadgame_s",   "v_savegame_s",      "b_getlastsaveok_v", "v_setrotatecursor_b",
                                             "b_getgamestate_i", "v_setgamestate_ib", "v_bindkey_ss", "s_getkey_s",
                                             "b_restoregame_v", "s_gethud_v"};
    for (const char* cls : {"nbwobserver", "nbw2observer"}) {
        nClass* c = kernel->FindClass(cls);
        ASSERT_NE(c, nullptr);
        EXPECT_STREQ(c->GetSuperClass()->GetName(), "nbaseobserver");
        std::vector<std::string> names;
        for (nCmdProto* p = c->GetFirstCmd(); p; p = p->GetNextCmd()) names.push_back(p->GetProtoText());
        std::vector<std::string> want = common;
        if (std::string(cls) == "nbw2observer") {
            want.push_back("b_getdbgmode_v");
            want.push_back("v_setdbgmode_b");
        }
        EXPECT_EQ(names, want) << cls;
    }
    Make("nbw2observer");
    EXPECT_FALSE(game->IsA("nbwobserver"));
    EXPECT_STREQ(game->GetType(), "bw2observer");
    // A script writing "gamestate" directly changes the next query.
    ASSERT_TRUE(Run("obj('/usr/persist/gamestatus').seti('gamestate', 4)\n"
                    "r = obj('/sys/servers/observer').getgamestate(4)"));
    EXPECT_EQ(Global("r"), "1");
    EXPECT_EQ(Eval("obj('/sys/servers/observer').getlevel()"), "none");
}

TEST_F(GameObserverTest, SetGameStateMirrorsAndSwitchesChatClockAndSleep) {
    game->SetGameState(0x2, true);
    EXPECT_EQ(status->GetI("gamestate"), 0x2);
    EXPECT_TRUE(chat->IsOpen());
    EXPECT_FLOAT_EQ(game->GetSleep(), 0.02f);
    game->SetGameState(0x400, true);
    EXPECT_FLOAT_EQ(game->GetSleep(), 0.05f);
    game->SetGameState(0x400, false);
    game->SetGameState(0x80, true);
    EXPECT_FLOAT_EQ(game->GetSleep(), 0.02f);  // the running rule comes first
    game->SetGameState(0x2, false);  // without 0x20 the chat stays
    EXPECT_TRUE(chat->IsOpen());
    game->SetGameState(0x80, true);
    EXPECT_FLOAT_EQ(game->GetSleep(), 0.0f);
    game->SetGameState(0x80, false);
    EXPECT_FLOAT_EQ(game->GetSleep(), 0.05f);
    game->SetGameState(0x20, true);
    game->SetGameState(0x2, false);
    EXPECT_FALSE(chat->IsOpen());
    game->SetGameState(0x4, true);
    EXPECT_TRUE(ClockStopped());
    game->SetGameState(0x4, false);
    EXPECT_FALSE(ClockStopped());

    // The twin: its own running sleep; clearing 0x80 leaves the sleep alone.
    Make("nbw2observer");
    game->SetGameState(0x2, true);
    EXPECT_NEAR(game->GetSleep(), 1.0f / 35.0f, 1e-6);
    game->SetGameState(0x80, true);
    EXPECT_FLOAT_EQ(game->GetSleep(), 0.0f);
    game->SetGameState(0x80, false);
    EXPECT_FLOAT_EQ(game->GetSleep(), 0.0f);

    // Without the store it is made again; without the persist root the word stays.
    status->Release();
    game->SetGameState(0x8, true);
    auto* again = static_cast<nPersist*>(kernel->Lookup("/usr/persist/gamestatus"));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(uint32_t(again->GetI("gamestate")), game->GetGameStateWord());
    kernel->Lookup("/usr/persist")->Release();
    uint32_t word = game->GetGameStateWord();
    game->SetGameState(0x100, true);
    EXPECT_EQ(game->GetGameStateWord(), word);
    EXPECT_FALSE(game->GetGameState(0xffffffff));
}

TEST_F(GameObserverTest, TriggerPicksGroupsCursorAndAudio) {
    StartClock();
    status->SetI("gamestate", 0x4 | 0x2);
    FrameAt(0.1);
    EXPECT_EQ(Live(), "mainmenu");
    EXPECT_FALSE(Audio()->IsOpen());
    EXPECT_TRUE(gfxServer->IsCursorVisible());

    status->SetI("gamestate", 0x2);
    FrameAt(0.2);
    EXPECT_EQ(Live(), "diver,mainmenu");  // the scripts switch the main menu off
    EXPECT_TRUE(Audio()->IsOpen());
    lis->SetGroupFocus("mainmenu", false);
    status->SetI("gamestate", 0x2 | 0x2000);
    FrameAt(0.3);
    EXPECT_EQ(Live(), "flash");
    status->SetI("gamestate", 0x1000 | 0x100);
    FrameAt(0.4);
    EXPECT_EQ(Live(), "inventory");
    status->SetI("gamestate", 0x80 | 0x2 | 0x400);
    FrameAt(0.5);
    EXPECT_EQ(Live(), "video");
    EXPECT_TRUE(Audio()->IsOpen());
    status->SetI("gamestate", 0x20);
    FrameAt(0.6);
    EXPECT_EQ(Live(), "");
    EXPECT_FALSE(Audio()->IsOpen());
    EXPECT_FALSE(gfxServer->IsCursorVisible());

    // Cursor image: the button's request is used once and cleared.
    gfxServer->BeginCursors(2);
    gfxServer->EndCursors();
    nLogicButton::ClearPointerOverButton();
    FrameAt(0.7);
    EXPECT_EQ(gfxServer->GetCurrentCursor(), 0);
    game->SetRotateCursor(true);
    FrameAt(0.8);
    EXPECT_EQ(gfxServer->GetCurrentCursor(), 1);

    // A missing group is logged once, not every frame.
    kernel->Lookup("/usr/logic/in_video")->Release();
    log.text.clear();
    FrameAt(0.9);
    FrameAt(1.0);
    size_t first = log.text.find("'video'");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(log.text.find("'video'", first + 1), std::string::npos);

    // Without the persist root the game state answers false: the cursor hides.
    status->SetI("gamestate", 0x4);
    FrameAt(1.1);
    EXPECT_TRUE(gfxServer->IsCursorVisible());
    kernel->Lookup("/usr/persist")->Release();
    FrameAt(1.2);
    EXPECT_FALSE(gfxServer->IsCursorVisible());
}

TEST_F(GameObserverTest, TwinDebugModeAndFadedInDiver) {
    Make("nbw2observer");
    StartClock();
    status->SetI("gamestate", 0x2 | 0x400);
    lis->SetGroupFocus("diver", true);
    FrameAt(0.1);
    EXPECT_FALSE(lis->GetGroupFocus("diver"));  // no level yet
    EXPECT_TRUE(Audio()->IsOpen());             // 0x400 plays no part here
    Level("lv");
    game->StartLevel("lv");
    FrameAt(0.2);
    EXPECT_FALSE(lis->GetGroupFocus("diver"));
    game->GetCurrentLevel()->FadeTo(1.0f, 0.0f);
    FrameAt(0.3);
    EXPECT_TRUE(lis->GetGroupFocus("diver"));
    static_cast<nbw2Observer*>(game)->SetDbgMode(true);
    status->SetI("gamestate", 0x4);
    lis->SetGroupFocus("flash", true);
    FrameAt(0.4);
    EXPECT_EQ(Live(), "flash,diver,mainmenu");  // nothing but "diver" is switched
    EXPECT_TRUE(gfxServer->IsCursorVisible());
}

TEST_F(GameObserverTest, StartAndEndLevels) {
    EXPECT_STREQ(game->GetLevel(), "none");
    nbwLevel* a = Level("a");
    nbwLevel* b = Level("b");
    game->StartLevel("nothing");  // logged, nothing touched
    EXPECT_STREQ(game->GetLevel(), "none");
    game->EndLevel();  // logged no-op
    game->StartLevel("a");
    EXPECT_STREQ(game->GetLevel(), "a");
    EXPECT_TRUE(a->GetActive());
    EXPECT_FLOAT_EQ(a->GetFadeTime(), 4.0f);
    EXPECT_FALSE(ClockStopped());
    EXPECT_STREQ(status->GetS("currlevel"), "a");
    EXPECT_TRUE(game->GetGameState(0x40));
    game->StartLevel("b");
    EXPECT_FALSE(a->GetActive());
    EXPECT_EQ(kernel->Lookup("/usr/logic/a"), a);  // left loaded
    game->EndLevel();
    EXPECT_STREQ(game->GetLevel(), "none");
    EXPECT_STREQ(status->GetS("currlevel"), "none");
    EXPECT_FALSE(game->GetGameState(0x40));
    EXPECT_FALSE(b->GetActive());
}

TEST_F(GameObserverTest, SaveAndLoadKeepTheRunningGameOnBadInput) {
    fs::path dir = SaveDir();
    status->SetI("gamestate", 0x4 | 0x80 | 0x1000 | 0x2 | 0x800);
    auto* store = static_cast<nPersist*>(kernel->New("npersistlogic", "/usr/persist/lv"));
    store->SetI("coins", 7);
    store->SetI("active", 7);
    Level("lv");
    ASSERT_TRUE(Run("obj('/sys/servers/observer').savegame('a')"));
    game->SaveGame("save:a");
    EXPECT_TRUE(fs::exists(dir / "a.n"));
    EXPECT_EQ(std::string(game->GetSaveGames()), "a");

    // Refused names write nothing.
    const std::string tooLong(40, 'x');
    for (const char* bad : {"", "save:", "../x", "a/b", ".", tooLong.c_str()}) game->SaveGame(bad);
    EXPECT_EQ(std::string(game->GetSaveGames()), "a");

    // The running game changes; a missing or broken save changes nothing.
    store->SetI("coins", 9);
    status->SetI("gamestate", 0x2);
    std::ofstream(dir / "broken.n") << "this is no script (\n";
    std::ofstream(dir / "empty.n") << "-- nothing\n";
    for (const char* bad : {"missing", "broken", "empty", "../a"}) game->LoadGame(bad);
    EXPECT_EQ(store->GetI("coins"), 9);
    EXPECT_EQ(status->GetI("gamestate"), 0x2);

    // A level running at the load is ended first and stores into the old stores.
    static_cast<nbwLevel*>(kernel->Lookup("/usr/logic/lv"))->SetPersist("/usr/persist/lv");
    game->StartLevel("lv");
    chat->Open();
    chat->Add("hello", 1, 1, 1, 1);
    game->LoadGame("a");
    EXPECT_STREQ(game->GetLevel(), "none");
    auto* loaded = static_cast<nPersist*>(kernel->Lookup("/usr/persist/lv"));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->GetI("coins"), 7);
    // The ended level wrote into the old stores; a later end writes nothing anywhere.
    game->EndLevel();
    auto* loadedLevel = static_cast<nPersist*>(kernel->Lookup("/usr/persist/lv"));
    ASSERT_NE(loadedLevel, nullptr);
    EXPECT_EQ(loadedLevel->GetI("active"), 7);
    auto* st = static_cast<nPersist*>(kernel->Lookup("/usr/persist/gamestatus"));
    EXPECT_EQ(st->GetI("gamestate"), 0x2);
    EXPECT_FALSE(ClockStopped());
    EXPECT_TRUE(chat->IsOpen());
    int text = 0;
    for (int i = 0; i < nChatBuffer::NumLines; i++) text += chat->GetBuffer().GetLine(i).length;
    EXPECT_EQ(text, 0);

    // A save written by hand loads too, when it names a level of the game or none; one that
    // names another or no level changes nothing.
    std::ofstream(dir / "hand.n") << "new('npersist', 'gamestatus')\nsel('gamestatus')\n"
                                     "seti('gamestate', 4)\nsets('currlevel', 'x')\nup()\nnew('npersistlogic', 'x')\n";
    for (const char* bad : {"sets('currlevel', 'x')", "sets('currlevel', '..')", ""}) {
        std::ofstream(dir / "nolevel.n") << "new('npersist', 'gamestatus')\nsel('gamestatus')\n"
                                            "seti('gamestate', 4)\n" << bad << "\nup()\n";
        game->LoadGame("nolevel");
        EXPECT_FALSE(game->GetLastSaveOk()) << bad;
        EXPECT_EQ(kernel->Lookup("/usr/persist/gamestatus"), st) << bad;
    }
    Level("x");
    game->LoadGame("hand");
    st = static_cast<nPersist*>(kernel->Lookup("/usr/persist/gamestatus"));
    ASSERT_NE(st, nullptr);
    EXPECT_STREQ(st->GetS("currlevel"), "x");
    EXPECT_EQ(game->GetGameStateWord(), 0u);
    EXPECT_EQ(kernel->Lookup("/usr/persist/lv"), nullptr);
    fs::remove_all(dir);
}

// A load holds the game that ran until the loaded level has started: a start that breaks
// off (its map fails, or the scripts give up before it) puts that game back, its stores as
// play left them and its level running, and the load counts as failed; a start that runs
// through lets it go.
TEST_F(GameObserverTest, AStartThatBreaksOffAfterALoadPutsBackTheGameThatRan) {
    fs::path dir = SaveDir();
    const std::string good = Write("good.lua", "new('nroot', 'world')\n");
    const std::string bad = Write("bad.lua", "error('the map breaks')\n");
    enum class Start { Whole, MapFails, ScriptsGiveUp };
    for (Start how : {Start::Whole, Start::MapFails, Start::ScriptsGiveUp}) {
        SCOPED_TRACE(int(how));
        for (const char* old : {"/usr/logic/lv", "/usr/persist/lv"}) {
            if (nRoot* o = kernel->Lookup(old)) o->Release();
        }
        auto* store = static_cast<nPersist*>(kernel->New("npersistlogic", "/usr/persist/lv"));
        store->SetI("coins", 7);
        nbwLevel* level = Level("lv");
        level->SetMapFile(good.c_str());
        static_cast<nPersist*>(kernel->Lookup("/usr/persist/gamestatus"))->SetS("currlevel", "lv");
        game->SaveGame("a");
        ASSERT_TRUE(game->GetLastSaveOk()) << log.text;
        level->SetPersist("/usr/persist/lv");
        game->StartLevel("lv");
        ASSERT_STREQ(game->GetLevel(), "lv");
        static_cast<nPersist*>(kernel->Lookup("/usr/persist/lv"))->SetI("coins", 9);  // play goes on
        if (how == Start::MapFails) level->SetMapFile(bad.c_str());
        game->LoadGame("a");
        ASSERT_TRUE(game->GetLastSaveOk()) << log.text;
        EXPECT_STREQ(game->GetLevel(), "none");
        if (how == Start::ScriptsGiveUp) {
            EXPECT_TRUE(game->RestoreGame());
        } else {
            game->StartLevel("lv");
        }
        EXPECT_STREQ(game->GetLevel(), "lv");
        EXPECT_EQ(game->GetLastSaveOk(), how == Start::Whole);
        // The game put back is built by the map that built it; the map file set stays.
        EXPECT_NE(kernel->Lookup("/usr/logic/lv/world"), nullptr) << log.text;
        EXPECT_STREQ(level->GetMapFile(), how == Start::MapFails ? bad.c_str() : good.c_str());
        auto* now = static_cast<nPersist*>(kernel->Lookup("/usr/persist/lv"));
        ASSERT_NE(now, nullptr);
        EXPECT_EQ(now->GetI("coins"), how == Start::Whole ? 7 : 9);
        EXPECT_STREQ(static_cast<nPersist*>(kernel->Lookup("/usr/persist/gamestatus"))->GetS("currlevel"), "lv");
        // Nothing is held any more.
        EXPECT_FALSE(game->RestoreGame());
        game->EndLevel();
    }
    fs::remove_all(dir);
}

TEST_F(GameObserverTest, LoadResetsTheMenuManagerAndClearsTheLoadBits) {
    fs::path dir = SaveDir();
    kernel->New("nlogicnode", "/usr/logic/menu");
    nLogicFlash* menu = Movie("/usr/logic/menu/menu_manager", "page = 'main'\n");
    menu->SetValue("page", "options");  // where the player left the menu
    menu->SetActive(false);
    status->SetI("gamestate", 0x4 | 0x80 | 0x800 | 0x1000 | 0x2 | 0x200);
    game->SaveGame("m");
    game->SetGameState(0x4, true);
    ASSERT_TRUE(ClockStopped());
    log.text.clear();
    game->LoadGame("m");
    EXPECT_FALSE(LogHas("menu manager"));
    // The menu's movie was dropped, and the live node plays it afresh.
    EXPECT_TRUE(menu->GetActive());
    ASSERT_NE(menu->GetModule(), nullptr);
    EXPECT_STREQ(menu->GetValue("page"), "main");
    // 0x200 is no bit that play sets: a save does not bring it back.
    EXPECT_EQ(game->GetGameStateWord(), 0x2u);
    EXPECT_TRUE(LogHas("game-state bits 0x200 are none that play sets"));
    EXPECT_FALSE(ClockStopped());
    fs::remove_all(dir);
}

TEST_F(GameObserverTest, GameStateAndLevelsSwitchTheHeadsUpDisplay) {
    auto* hud = static_cast<nbwUwMenu*>(kernel->New("nbwuwmenu", "/usr/logic/uwmenu"));
    hud->SetActive(false);
    game->SetGameState(0x2, true);
    EXPECT_TRUE(hud->GetActive());
    hud->redraw = false;
    game->SetGameState(0x2, false);  // without 0x20 the display stays
    EXPECT_TRUE(hud->GetActive());
    game->SetGameState(0x20, true);
    game->SetGameState(0x2, true);
    game->SetGameState(0x2, false);
    EXPECT_FALSE(hud->GetActive());
    EXPECT_TRUE(hud->redraw);  // hidden, so the next running frame applies the show state again
    EXPECT_FALSE(hud->IsOpen());

    nbwLevel* a = Level("a");
    hud->show = false;
    hud->redraw = false;
    game->StartLevel("a");
    EXPECT_EQ(hud->GetLevel(), a);
    EXPECT_TRUE(hud->show);
    EXPECT_TRUE(hud->redraw);
    EXPECT_TRUE(hud->GetActive());
    // Leaving the running game with 0x20 closes an open inventory bar and its state bit.
    kernel->New("nbwdiver", "/usr/logic/a/ann");
    a->SetActiveDiver("/usr/logic/a/ann");
    hud->OpenInventory();
    ASSERT_TRUE(hud->IsOpen());
    EXPECT_TRUE(game->GetGameState(nbwUwMenu::InventoryState));
    game->SetGameState(0x2, true);
    game->SetGameState(0x2, false);
    EXPECT_FALSE(hud->IsOpen());
    EXPECT_FALSE(game->GetGameState(nbwUwMenu::InventoryState));
    EXPECT_FALSE(hud->GetActive());
    game->SetGameState(0x2, true);
    hud->redraw = false;
    game->EndLevel();
    EXPECT_FALSE(hud->show);
    EXPECT_TRUE(hud->redraw);
    EXPECT_FALSE(hud->GetActive());

    // Something else at the display's place is skipped, not taken for it.
    hud->Release();
    kernel->New("nroot", "/usr/logic/uwmenu");
    game->SetGameState(0x2, true);
    game->StartLevel("a");
    EXPECT_STREQ(game->GetLevel(), "a");
    game->EndLevel();
    EXPECT_STREQ(game->GetLevel(), "none");
}

TEST_F(GameObserverTest, CursorImageTakesAMoviesRequestOnce) {
    StartClock();
    gfxServer->BeginCursors(2);
    gfxServer->EndCursors();
    nLogicButton::ClearPointerOverButton();
    nLogicFlash::ResetCursorMode();
    // The movie asks for the second cursor while the node tests its cursor mode.
    nLogicFlash* f = Movie("/usr/logic/menu", "cursor_mode = '1'\n");
    f->SetCursorTest(true);
    FrameAt(0.1);  // the request is made after this frame's cursor step
    EXPECT_EQ(gfxServer->GetCurrentCursor(), 0);
    ASSERT_TRUE(nLogicFlash::GetCursorMode());
    f->SetValue("cursor_mode", "0");
    FrameAt(0.2);
    EXPECT_EQ(gfxServer->GetCurrentCursor(), 1);
    EXPECT_FALSE(nLogicFlash::GetCursorMode()) << "a used request is cleared";
    FrameAt(0.3);
    EXPECT_EQ(gfxServer->GetCurrentCursor(), 0);
    // Without cursors nothing is taken: the request waits for a frame that has them.
    f->SetValue("cursor_mode", "1");
    FrameAt(0.4);
    f->SetCursorTest(false);
    gfxServer->BeginCursors(0);
    gfxServer->EndCursors();
    FrameAt(0.5);
    EXPECT_TRUE(nLogicFlash::GetCursorMode());
}

TEST_F(GameObserverTest, TheLevelTreeAsLevelItsCameraAndItsStartupEvent) {
    // A level camera needs the real camera server.
    kernel->Lookup("/sys/servers/camera")->Release();
    auto* cameras = static_cast<nCameraServer*>(kernel->New("ncameraserver", "/sys/servers/camera"));
    nbwLevel* a = Level("a");
    auto* cam = static_cast<nbwCamera*>(kernel->New("nbwcamera", "/usr/logic/a/cam"));
    a->SetCamera("cam");
    a->SetEventScript("onstartup", "started = (started or 0) + 1");
    StartClock();
    game->StartLevel("a");
    EXPECT_EQ(cameras->GetCurrentCamera(), cam);
    FrameAt(0.1);
    EXPECT_EQ(Global("started"), "1");
    FrameAt(0.2);
    EXPECT_EQ(Global("started"), "1");

    // "." names the level tree itself: while it is no level nothing changes.
    game->StartLevel(".");
    EXPECT_STREQ(game->GetLevel(), "a");
    EXPECT_TRUE(a->GetActive());
    oroot->Release();
    root = oroot = nullptr;
    auto* tree = static_cast<nbwLevel*>(kernel->New("nbwlevel", "/usr/logic"));
    game->StartLevel(".");
    EXPECT_EQ(game->GetCurrentLevel(), tree);
    EXPECT_STREQ(game->GetLevel(), "logic");
    EXPECT_STREQ(status->GetS("currlevel"), "logic");
}

TEST_F(GameObserverTest, MissingChatServerAndMenuManagerSkipTheirSteps) {
    fs::path dir = SaveDir();
    game->SaveGame("c");
    chat->Release();
    chat = nullptr;
    game->SetGameState(0x20, true);
    game->SetGameState(0x2, true);
    game->SetGameState(0x2, false);
    EXPECT_FLOAT_EQ(game->GetSleep(), 0.05f);
    status->SetI("gamestate", 0x4 | 0x2);
    log.text.clear();
    game->LoadGame("c");
    EXPECT_TRUE(LogHas("menu manager")) << log.text;
    // The load itself went through: the saved word, the load bits cleared.
    EXPECT_EQ(game->GetGameStateWord(), 0u);
    EXPECT_FALSE(ClockStopped());
    fs::remove_all(dir);
}

// A downloaded save and a mod's menu movie are data: through F9's load and a movie's script
// line they reach no file and no process, and a refused save leaves the game as it was.
TEST_F(GameObserverTest, HostileSavesAndMovieLinesChangeNothing) {
    fs::path dir = SaveDir();
    const std::string marker = Path("ran"), victim = Write("victim.txt", "kept");
    status->SetI("gamestate", 0x2);
    game->SaveGame("good");
    ASSERT_TRUE(game->GetLastSaveOk());
    std::ifstream in(dir / "good.n");
    const std::string genuine((std::istreambuf_iterator<char>(in)), {});
    status->SetI("gamestate", 0x8);
    for (const std::string& head : std::vector<std::string>{
             "io.popen('touch " + marker + "')\n", "io.open('" + victim + "', 'w')\n", "delete('/sys/servers/gfx')\n",
             "sel('/usr/persist') delete('gamestatus')\n", "while true do end\n"}) {
        std::ofstream(dir / "bad.n") << head << genuine;
        log.text.clear();
        game->LoadGame("bad");
        EXPECT_FALSE(game->GetLastSaveOk()) << head;
        EXPECT_TRUE(LogHas("bad.n' refused: ")) << head << log.text;
    }
    EXPECT_EQ(kernel->Lookup("/usr/persist/gamestatus"), status);
    EXPECT_EQ(status->GetI("gamestate"), 0x8);
    EXPECT_NE(kernel->Lookup("/sys/servers/gfx"), nullptr);
    game->LoadGame("good");
    EXPECT_TRUE(game->GetLastSaveOk());

    nLogicFlash* f = Movie("/usr/logic/mod", "Tessel_script = \"io.popen('touch " + marker + "')\"\n");
    f->SetMessaging(true);
    // Data's share of a frame is a share of its time: on a busy machine the line may wait a
    // frame or two.
    for (int i = 1; i <= 10 && !LogHas("the global 'io', neither a pure function"); i++) FrameAt(0.1 * i);
    EXPECT_TRUE(LogHas("the global 'io', neither a pure function")) << log.text;
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_EQ(Slurp(victim), "kept");
}

// A save names the running level, whatever text set the status, and one whose level is no
// text or names an object of the level tree that is no level does not load.
TEST_F(GameObserverTest, ASaveNamesARunningLevelOrDoesNotLoad) {
    fs::path dir = SaveDir();
    Level("lv");
    kernel->New("npersistlogic", "/usr/persist/lv");
    game->StartLevel("lv");
    status->SetS("currlevel", "in_flash");
    game->SaveGame("good");
    ASSERT_TRUE(game->GetLastSaveOk()) << log.text;
    EXPECT_NE(Slurp((dir / "good.n").string()).find("\"currlevel\", \"lv\""), std::string::npos);
    for (const char* level : {"sets('currlevel', 'in_flash')", "sets('currlevel', '..')", "seti('currlevel', 3)"}) {
        std::ofstream(dir / "bad.n") << "new('npersist', 'gamestatus')\nsel('gamestatus')\nseti('gamestate', 4)\n"
                                     << level << "\nup()\n";
        game->LoadGame("bad");
        EXPECT_FALSE(game->GetLastSaveOk()) << level;
        EXPECT_STREQ(game->GetLevel(), "lv") << level;
    }
    fs::remove_all(dir);
}

// Timers that data planted on the game's own nodes go when a level starts or ends; the
// person's timers there stay, and a starting level keeps its own.
TEST_F(GameObserverTest, DataTimersOnTheGamesNodesGoWithTheLevel) {
    auto* hud = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/usr/logic/hud"));
    nbwLevel* lv = Level("lv");
    auto plant = [&](nLogicNode* node, const char* name, nScriptServer::Origin origin) {
        nScriptServer::OriginScope scope(origin);
        node->AddTimer(name, "loop", 0, 1, "x = 1");
    };
    for (bool start : {true, false}) {
        plant(hud, "data", nScriptServer::Origin::Data);
        plant(hud, "own", nScriptServer::Origin::Person);
        plant(lv, "data", nScriptServer::Origin::Data);
        if (start) game->StartLevel("lv");
        else game->EndLevel();
        EXPECT_EQ(hud->FindTimer("data"), nullptr) << start;
        EXPECT_NE(hud->FindTimer("own"), nullptr) << start;
        if (start) {
            EXPECT_NE(lv->FindTimer("data"), nullptr);
        }
    }
}
