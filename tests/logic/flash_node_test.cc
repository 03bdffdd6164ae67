// Flash nodes driven through a recording Flash module (the calls they make, in order,
// with their arguments; a movie side the test scripts), and end to end through the
// movie player with a movie the test writes: load and unload, the movie rectangle, update
// pacing, messages, input, variables, freezing, containers and the table of nodes.
#include <lua.hpp>

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>
#include <cstdio>
#include <map>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "input/nInputPackage.h"
#include "input/nInputServer.h"
#include "kernel/nNpkFileServer.h"
#include "kernel/nNpkWriter.h"
#include "logic/nLogicFlash.h"
#include "platform/flash/FlashModule.h"
#include "platform/flash/MovieModule.h"
#include "script/nDataText.h"
#include "tests/logic/SpriteFixture.h"
#include "tests/platform/system/TestRunClock.h"

namespace {

using bwtest::ColorNear;

// The time of the tests' run clock at each look of a run, so that what a movie's draw or handler
// takes is its instructions' and its C work's, whatever the machine's speed or load.
constexpr std::chrono::microseconds LookTime{10};

// What every recording module shares with the test.
struct Script {
    std::vector<std::string> calls;
    int notReady = 0;  // 23 answers 0 this many times
    int failPlace = 0;
};

class RecordingModule : public flash::FlashModule {
public:
    explicit RecordingModule(Script& s) : script(s) {}
    ~RecordingModule() override { Log("delete"); }

    int32_t Play() override { return Step(3, "3"); }
    int32_t Stop() override { return Step(4, "4"); }
    int32_t AttachWindow(uintptr_t) override { return Step(5, "5"); }
    int32_t Initialize(int32_t a, int32_t b) override { return Step(6, "6 " + std::to_string(a) + " " + std::to_string(b)); }
    int32_t LoadMovie(const char* path) override {
        movie = path;
        return Step(7, "7");
    }
    int32_t Unload() override { return Step(8, "8"); }
    int32_t SetMovieRect(int32_t l, int32_t t, int32_t r, int32_t b) override {
        return Step(10, "10 " + std::to_string(l) + " " + std::to_string(t) + " " + std::to_string(r) + " " + std::to_string(b));
    }
    int32_t Render(uint8_t*, int32_t w, int32_t h, int32_t bpp) override {
        return Step(15, "15 " + std::to_string(w) + " " + std::to_string(h) + " " + std::to_string(bpp));
    }
    int32_t CopyVariable(const char* name, size_t* length, char* buffer) override {
        const std::string& v = vars[name];
        if (buffer && *length > 0) {
            const size_t n = std::min(*length - 1, v.size());
            v.copy(buffer, n);
            buffer[n] = '\0';
        }
        *length = v.size();
        return 0;
    }
    int32_t GetVariable(const char* name, const char** text, size_t* length) override {
        auto it = vars.find(name);
        *text = it == vars.end() ? "" : it->second.c_str();
        *length = it == vars.end() ? 0 : it->second.size();
        return 0;
    }
    int32_t IsReady() override {
        if (script.failPlace == 23) return Step(23, "23");
        Log("23");
        if (script.notReady > 0) {
            script.notReady--;
            return 0;
        }
        return 1;
    }
    int32_t SetVariable(const char* name, const char* text) override {
        vars[name] = text;
        return Step(27, "27 " + std::string(name) + "=" + text);
    }
    int32_t MouseEvent(uint32_t message, float x, float y, int32_t flags) override {
        char line[96];
        std::snprintf(line, sizeof(line), "37 0x%x %.3f %.3f %d", message, double(x), double(y), flags);
        return Step(37, line);
    }
    int32_t KeyEvent(uint32_t message, int32_t code, int32_t extra) override {
        char line[64];
        std::snprintf(line, sizeof(line), "38 0x%x 0x%x %d", message, code, extra);
        return Step(38, line);
    }
    int32_t SetMessaging(bool on) override { return Step(41, on ? "41 1" : "41 0"); }

    std::map<std::string, std::string> vars;
    std::string movie;

private:
    void Log(const std::string& line) { script.calls.push_back(line); }
    int32_t Step(int place, const std::string& line) {
        Log(line);
        return script.failPlace == place ? flash::MovieFailed : flash::Ok;
    }
    Script& script;
};

using Calls = std::vector<std::string>;

class FlashNodeTest : public SpriteFixture {
protected:
    void SetUp() override {
        SpriteFixture::SetUp();
        nInputPackage(kernel);
        input = static_cast<nInputServer*>(kernel->New("ninputserver", "/sys/servers/input"));
        Open(800, 600);
        flash::SetModuleFactory([this] { return std::make_unique<RecordingModule>(script); });
        nLogicFlash::ResetCursorMode();
    }
    void TearDown() override {
        SpriteFixture::TearDown();
        flash::SetModuleFactory(nullptr);
    }

    nLogicFlash* Node(const std::string& path, const char* movie = "menu.movie") {
        auto* f = static_cast<nLogicFlash*>(kernel->New("nlogicflash", path.c_str()));
        f->SetTexture(movie);
        f->SetPosition(100.0f, 50.0f);
        f->SetDimension(200.0f, 100.0f);
        return f;
    }
    static RecordingModule* Module(nLogicFlash* f) { return static_cast<RecordingModule*>(f->GetModule()); }
    // The calls since the last look.
    Calls Take() {
        Calls c;
        c.swap(script.calls);
        return c;
    }
    int Count(const Calls& calls, const std::string& prefix) const {
        int n = 0;
        for (const std::string& c : calls) n += c.compare(0, prefix.size(), prefix) == 0;
        return n;
    }
    void Post(int device, int type, int number = 0, int x = 0, int y = 0) {
        nInputEvent* e = input->NewEvent();
        e->deviceId = device;
        e->type = type;
        e->number = number;
        e->x = x;
        e->y = y;
        input->PostEvent(e);
    }
    void MoveTo(int x, int y) { Post(N_INPUT_DEV_MOUSE, N_INPUT_MOUSE_MOVE, 0, x, y); }
    // One frame with the events posted since the last.
    void Step() {
        input->Trigger(0.0);
        Frame();
        input->FlushEvents();
    }

    Script script;
    nInputServer* input = nullptr;
};

TEST_F(FlashNodeTest, LoadsInThePlayersOrderAppliesTheRectangleAndUnloads) {
    script.notReady = 2;
    nLogicFlash* f = Node("/usr/logic/menu");
    ASSERT_TRUE(Run("sel('/usr/logic/menu'); setmovierect(100, 50, 200, 100); sel('/')"));
    Frame();
    // The first render builds the tiles, which loads the movie and applies its rectangle. Its
    // readiness is polled once a frame (a wait within the frame brings no time for data), and
    // its first frame is drawn once it is ready.
    EXPECT_EQ(Take(), (Calls{"5", "6 0 1", "7", "3", "23", "10 100 50 300 150", "41 0"}));
    Frame();
    Frame();
    EXPECT_EQ(Take(), (Calls{"23", "23", "41 0", "15 200 100 4", "15 200 100 4"}));
    EXPECT_NE(Module(f)->movie.find("menu.movie"), std::string::npos);

    // Loaded again with the tiles standing: messaging off and one update at once.
    ASSERT_TRUE(Run("sel('/usr/logic/menu'); unloadflash(); loadflash(); sel('/')"));
    EXPECT_EQ(Take(), (Calls{"4", "8", "delete", "5", "6 0 1", "7", "3", "23", "41 0", "15 200 100 4"}));
    // A showing movie takes a new rectangle at once.
    ASSERT_TRUE(Run("sel('/usr/logic/menu'); setmovierect(0, 0, 10, 20); sel('/')"));
    EXPECT_EQ(Take(), (Calls{"10 0 0 10 20", "41 0"}));
    // Left plus width past the int range is held at its end (it overflowed before).
    ASSERT_TRUE(Run("sel('/usr/logic/menu'); setmovierect(2147483647, -2147483648, 2147483647, 2147483647); sel('/')"));
    EXPECT_EQ(Take(), (Calls{"10 2147483647 -2147483648 2147483647 -1", "41 0"}));

    f->Release();
    EXPECT_EQ(Take(), (Calls{"4", "8", "delete"}));
}

TEST_F(FlashNodeTest, MovieFailuresAreLoggedOnceAndNotRetriedUntilAsked) {
    const struct { int place; const char* text; } cases[] = {
        {7, "flash loader error: couldn't open file 'menu.movie'"},
        {3, "error: failed to play flash movie"},
        {23, "did not get ready"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.place);
        script.failPlace = c.place;
        nLogicFlash* f = Node("/usr/logic/menu");
        Frame();
        Frame();
        EXPECT_EQ(f->GetModule(), nullptr);
        EXPECT_EQ(Errors(c.text), 1);
        // The node shows nothing and its variables read nil, without a new attempt.
        Take();
        ASSERT_TRUE(Run("sel('/usr/logic/menu'); v = getvalue('x'); setvalue('x', 'y'); sel('/')"));
        EXPECT_EQ(Global("v"), "nil");
        EXPECT_EQ(Count(Take(), "5"), 0);
        ASSERT_TRUE(Run("sel('/usr/logic/menu'); loadflash(); sel('/')"));
        EXPECT_EQ(Count(Take(), "5"), 1);
        script.failPlace = 0;
        // A new movie name may load again.
        f->SetTexture("other.movie");
        f->GetValue("x");
        EXPECT_NE(f->GetModule(), nullptr);
        f->Release();
        log.errors.clear();
    }
    // Without a movie name variables answer nothing, logged once.
    nLogicFlash* bare = Node("/usr/logic/bare", "");
    ASSERT_TRUE(Run("sel('/usr/logic/bare'); a = getvalue('x'); b = getvalue('y'); sel('/')"));
    EXPECT_EQ(Global("a"), "nil");
    EXPECT_EQ(Errors("no movie"), 1);
    EXPECT_EQ(bare->GetModule(), nullptr);
}

TEST_F(FlashNodeTest, WithoutFpsFramesUpdateOnlyWhenAskedTo) {
    nLogicFlash* f = Node("/usr/logic/menu");
    auto updates = [&](int frames) {
        Take();
        for (int i = 0; i < frames; i++) Step();
        return Count(Take(), "15");
    };
    // The load asks for two.
    EXPECT_EQ(updates(5), 2);
    ASSERT_TRUE(Run("sel('/usr/logic/menu'); update(); sel('/')"));
    EXPECT_EQ(Count(Take(), "15"), 1);
    EXPECT_EQ(updates(30), 19);
    EXPECT_EQ(updates(3), 0);
    f->SetMovieRect(100, 50, 200, 100);
    EXPECT_EQ(updates(3), 1);
    // "_root.update_tex" adds one while it holds text (checked each frame).
    f->SetCheckUpdate(true);
    Module(f)->vars["_root.update_tex"] = "1";
    EXPECT_EQ(updates(1), 1);
    Module(f)->vars["_root.update_tex"] = "";
    EXPECT_EQ(updates(3), 0);
    // The pointer over the movie keeps it updating.
    f->SetInputEvents(true);
    MoveTo(200, 100);
    EXPECT_EQ(updates(3), 3);
    MoveTo(10, 10);
    EXPECT_EQ(updates(3), 1);
    // A draw that failed is tried again at each frame, so many in a row.
    script.failPlace = 15;
    f->RaiseUpdateRequests(1);
    EXPECT_EQ(updates(3 * nLogicFlash::RetriedDraws), nLogicFlash::RetriedDraws + 1);
}

TEST_F(FlashNodeTest, MoviesSendScriptLinesMessagesToOtherNodesAndTheCursorMode) {
    nLogicFlash* src = Node("/usr/logic/src");
    nLogicFlash* hud = Node("/usr/logic/hud");
    nLogicFlash* menu = Node("/usr/logic/menu");
    Frame();
    src->SetMessaging(true);
    src->SetNetworking(true);
    src->SetCursorTest(true);
    // A line reaches a start script's function only as an entry declared for data, and its
    // own globals stay its own.
    ASSERT_TRUE(Run("function ran(n) flashran = n end dataentry('ran', {'number'})"));
    Module(src)->vars["Tessel_script"] = "n = 1 ran(n)";
    Module(src)->vars["net_msg_output"] = "hud^show()^menu^hide()^nobody^x()^hud";
    Module(src)->vars["cursor_mode"] = "1 on";
    Frame();
    Frame();
    EXPECT_EQ(Global("flashran"), "1");
    EXPECT_EQ(Global("n"), "nil");
    EXPECT_EQ(Module(src)->vars["Tessel_script"], "");
    EXPECT_EQ(Module(src)->vars["net_msg_output"], "");
    EXPECT_EQ(Module(hud)->vars["input"], "show()");
    EXPECT_EQ(Module(menu)->vars["input"], "hide()");
    EXPECT_TRUE(nLogicFlash::GetCursorMode());
    Module(src)->vars["cursor_mode"] = "0";
    Frame();
    EXPECT_TRUE(nLogicFlash::GetCursorMode()) << "once set it stays";

    // Frozen: no script lines.
    src->SetFrozen(true);
    Module(src)->vars["Tessel_script"] = "ran(7)";
    Frame();
    EXPECT_EQ(Global("flashran"), "1");
    // A line deletes nothing, not even its own node.
    src->SetFrozen(false);
    Module(src)->vars["Tessel_script"] = "delete('/usr/logic/src')";
    Frame();
    EXPECT_EQ(kernel->Lookup("/usr/logic/src"), src);
    EXPECT_NE(log.text.find("the global 'delete'"), std::string::npos) << log.text;

    // A line that takes the frame's whole time for data runs once however often the movie
    // sets it; another line still runs.
    ASSERT_TRUE(Run("bumps = 0 function bump() bumps = bumps + 1 end dataentry('bump', {})"));
    for (int frame = 0; frame < 3; frame++) {
        Module(src)->vars["Tessel_script"] = "bump() while true do end";
        lua->Trigger();
        Frame();
    }
    EXPECT_EQ(Global("bumps"), "1");
    EXPECT_NE(log.text.find("it is not run again"), std::string::npos) << log.text;
    Module(src)->vars["Tessel_script"] = "ran(9)";
    Frame();
    EXPECT_EQ(Global("flashran"), "9");
}

TEST_F(FlashNodeTest, PointerAndKeysReachTheMovieRelativeToIt) {
    nLogicFlash* f = Node("/usr/logic/menu");
    f->SetInputEvents(true);
    Step();
    Take();
    MoveTo(200, 100);
    MoveTo(250, 75);
    Post(N_INPUT_DEV_MOUSE, N_INPUT_BUTTON_DOWN, 0, 250, 75);
    Post(N_INPUT_DEV_MOUSE, N_INPUT_BUTTON_UP, 0, 250, 75);
    Post(N_INPUT_DEV_KEYBOARD, N_INPUT_KEY_DOWN, 1);
    Post(N_INPUT_DEV_KEYBOARD, N_INPUT_KEY_DOWN, 13);
    Post(N_INPUT_DEV_KEYBOARD, N_INPUT_KEY_UP, 39);
    Post(N_INPUT_DEV_KEYBOARD, N_INPUT_KEY_CHAR, 'a');
    Step();
    Calls calls = Take();
    calls.erase(std::remove_if(calls.begin(), calls.end(), [](const std::string& c) { return c[0] == '1'; }), calls.end());
    EXPECT_EQ(calls, (Calls{"27 input=_root.mousein()", "37 0x200 0.500 0.500 0", "37 0x200 0.750 0.250 0",
                            "37 0x201 0.750 0.250 1", "37 0x202 0.750 0.250 0", "38 0x100 0x1 0", "38 0x100 0x20 0",
                            "38 0x101 0x41 0", "38 0x102 0x61 0"}));
    // The right edge is outside; the movie hears of it at the next render.
    MoveTo(300, 75);
    input->Trigger(0.0);
    ASSERT_TRUE(BeginFrame());
    root->Trigger(graph);
    EXPECT_EQ(Count(Take(), "37"), 0);
    graph->TraversePass(root);
    graph->VisualPass();
    gfx->EndScene();
    input->FlushEvents();
    EXPECT_EQ(Count(Take(), "27 input=_root.mouseout()"), 1);
    EXPECT_FALSE(f->IsMouseInside());

    // Frozen nodes forward nothing.
    f->SetFrozen(true);
    MoveTo(200, 100);
    Post(N_INPUT_DEV_KEYBOARD, N_INPUT_KEY_DOWN, 1);
    Step();
    EXPECT_EQ(Count(Take(), "3"), 0);

    // Codes outside the table give 0.
    EXPECT_EQ(nLogicFlash::TranslateKey(146), 0);
    EXPECT_EQ(nLogicFlash::TranslateKey(38), '0');
    EXPECT_EQ(nLogicFlash::TranslateKey(6), 0x0D);

    // At 1024 x 768 the pointer is scaled like the sprite.
    f->SetFrozen(false);
    Open(1024, 768);
    Step();
    Take();
    MoveTo(256, 128);
    Step();
    EXPECT_EQ(Count(Take(), "37 0x200 0.500 0.500"), 1);
}

TEST_F(FlashNodeTest, VariablesJoinAndReadNilWhenTheMovieHasNone) {
    Node("/usr/logic/menu");
    ASSERT_TRUE(Run("sel('/usr/logic/menu'); setvalue('a', 'x'); concatvalue('a', 'y'); concatvalue('b', 'z');"
                    " va = getvalue('a'); vb = getvalue('b'); vn = getvalue('none'); sel('/')"));
    EXPECT_EQ(Global("va"), "x;y");
    EXPECT_EQ(Global("vb"), "z");
    EXPECT_EQ(Global("vn"), "nil");
    // Messaging is handed on once a module exists.
    Take();
    ASSERT_TRUE(Run("sel('/usr/logic/menu'); setmessaging(true); sel('/')"));
    EXPECT_EQ(Take(), (Calls{"41 1"}));
}

TEST_F(FlashNodeTest, FreezingContainersAndTheTableOfNodesReachOnlyWhatTheyShould) {
    nLogicFlash* p = Node("/usr/logic/p");
    nLogicFlash* c1 = Node("/usr/logic/p/c1");
    nLogicFlash* c2 = Node("/usr/logic/p/c2");
    auto* plain = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/usr/logic/p/n"));
    nLogicFlash* grand = Node("/usr/logic/p/c1/g");
    nLogicFlash* sibling = Node("/usr/logic/s");
    ASSERT_TRUE(Run("sel('/usr/logic/p'); setfrozenrec(true); sel('/')"));
    EXPECT_EQ((std::vector<bool>{p->GetFrozen(), c1->GetFrozen(), c2->GetFrozen(), grand->GetFrozen(), sibling->GetFrozen()}),
              (std::vector<bool>{true, true, true, false, false}));
    (void)plain;

    kernel->New("nlogicflashcontainer", "/usr/logic/box");
    nLogicFlash* inBox = Node("/usr/logic/box/f");
    auto* other = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/usr/logic/box/n"));
    nLogicFlash* deeper = Node("/usr/logic/box/n/f");
    ASSERT_TRUE(Run("sel('/usr/logic/box'); setactive(false); sel('/')"));
    EXPECT_EQ((std::vector<bool>{inBox->GetActive(), other->GetActive(), deeper->GetActive()}),
              (std::vector<bool>{false, true, true}));
    ASSERT_TRUE(Run("sel('/usr/logic/box'); setactive(true); sel('/')"));
    EXPECT_TRUE(inBox->GetActive());
    // Activation builds the tiles and shows the movie at once.
    EXPECT_GT(inBox->GetNumTiles(), 0);

    // The first node of a name stays entered; a later one of that name going changes nothing.
    nLogicFlash* first = Node("/usr/logic/hud");
    nLogicFlash* second = Node("/usr/logic/p/hud");
    EXPECT_EQ(nLogicFlash::Find("hud"), first);
    second->Release();
    EXPECT_EQ(nLogicFlash::Find("hud"), first);
    first->Release();
    EXPECT_EQ(nLogicFlash::Find("hud"), nullptr);
    nLogicFlash* third = Node("/usr/logic/hud");
    EXPECT_EQ(nLogicFlash::Find("hud"), third);
}

TEST_F(FlashNodeTest, AMenuMovieShowsItsColoursAndAClickOnItsButtonRunsItsLine) {
    flash::SetModuleFactory(nullptr);
    const std::string text =
        "--tessel movie 1\n"
        "stage(200, 100)\n"
        "function draw() rect(0, 0, 100, 100, 1, 0, 0, 1) rect(100, 0, 100, 100, 0, 0, 1, 1) end\n"
        "function on_mouse(kind, x, y) if kind == 'up' and x >= 100 then Tessel_script = 'click(\"button\")' end end\n";
    const std::string movie = Write("menu.lua", std::vector<uint8_t>(text.begin(), text.end()));
    nLogicFlash* f = Node("/usr/logic/menu", movie.c_str());
    f->SetInputEvents(true);
    f->SetMessaging(true);
    ASSERT_TRUE(Run("function click(v) clicked = v end dataentry('click', {{'button'}})"));
    Step();
    ASSERT_NE(f->GetModule(), nullptr);
    EXPECT_TRUE(ColorNear(At(150, 100), 0xFFFF0000u));
    EXPECT_TRUE(ColorNear(At(250, 100), 0xFF0000FFu));
    EXPECT_TRUE(ColorNear(At(50, 100), Black));
    MoveTo(250, 100);
    Post(N_INPUT_DEV_MOUSE, N_INPUT_BUTTON_DOWN, 0, 250, 100);
    Post(N_INPUT_DEV_MOUSE, N_INPUT_BUTTON_UP, 0, 250, 100);
    Step();
    EXPECT_EQ(Global("clicked"), "button");
    EXPECT_FALSE(TakeErrors());

    // A click acts where it is made, not where the node last saw the pointer move (it
    // sees no moves while it is off): on the red half nothing, on the blue one the line.
    ASSERT_TRUE(Run("clicked = nil"));
    Post(N_INPUT_DEV_MOUSE, N_INPUT_BUTTON_DOWN, 0, 150, 100);
    Post(N_INPUT_DEV_MOUSE, N_INPUT_BUTTON_UP, 0, 150, 100);
    Step();
    EXPECT_EQ(Global("clicked"), "nil");
    Post(N_INPUT_DEV_MOUSE, N_INPUT_BUTTON_DOWN, 0, 250, 100);
    Post(N_INPUT_DEV_MOUSE, N_INPUT_BUTTON_UP, 0, 250, 100);
    Step();
    EXPECT_EQ(Global("clicked"), "button");
}

// A movie's code is data's: its draws share a frame's time with data's other text and take
// turns, and a draw that needs more than a whole share is stopped.
TEST_F(FlashNodeTest, MovieDrawsShareTheFramesTimeForDataAndTakeTurns) {
    flash::SetModuleFactory(nullptr);
    bwtest::TestRunClock clock(LookTime);
    constexpr long long Steps = 150'000;  // about as many instructions a draw, well within the frame's time
    // `tries` counts the turns, `draws` the draws that fit: a loaded machine's clock may cut a
    // draw short late in a frame, and the movie has had its turn all the same.
    auto movie = [&](const std::string& name, long long steps) {
        const std::string text = "--tessel movie 1\ndraws = 0\ntries = 0\nfunction draw() tries = tries + 1 for i = 1, " +
                                 std::to_string(steps) + " do end draws = draws + 1 end\n";
        nLogicFlash* f = Node("/usr/logic/" + name, Write((name + ".lua").c_str(), std::vector<uint8_t>(text.begin(), text.end())).c_str());
        f->RaiseUpdateRequests(1000);
        return f;
    };
    std::vector<nLogicFlash*> movies;
    for (int i = 0; i < 8; i++) movies.push_back(movie("m" + std::to_string(i), Steps));
    auto value = [](nLogicFlash* f, const char* name) {
        const char* text = f->GetValue(name);
        return text ? std::stoi(text) : -1;
    };
    std::vector<int> before(movies.size(), 0);
    constexpr int Frames = 24;
    for (int frame = 0; frame < Frames; frame++) {
        lua->Trigger();
        Step();
        int drawn = 0;
        for (size_t i = 0; i < movies.size(); i++) {
            const int now = value(movies[i], "draws");
            drawn += now - before[i];
            before[i] = now;
        }
        EXPECT_LE(drawn * Steps, nLuaServer2::FrameCeiling) << "frame " << frame;
    }
    EXPECT_GT(std::accumulate(before.begin(), before.end(), 0), 0) << "no draw fitted a frame";
    // Turns, whatever the machine's load: a busy machine's clock lets fewer draws into a frame
    // (one, after the frame that loads the movies), but every movie gets as many as the others,
    // give or take one.
    std::vector<int> turns;
    for (nLogicFlash* f : movies) turns.push_back(value(f, "tries"));
    const auto [fewest, most] = std::minmax_element(turns.begin(), turns.end());
    EXPECT_GE(*fewest, Frames / int(movies.size()) - 1) << "a movie starved";
    EXPECT_LE(*most - *fewest, 1) << "the movies took no turns";
    EXPECT_FALSE(TakeErrors());

    // Past the share's instructions, or its time a few frames in a row on a slow machine. Alone,
    // so that its turn comes every frame however few draws the machine lets into one.
    for (nLogicFlash* f : movies) f->Release();
    nLogicFlash* greedy = movie("greedy", 3 * nLuaServer2::FrameBudget / 2);
    for (int frame = 0; frame < 2 * flash::MovieModule::MaxOverTime; frame++) {
        lua->Trigger();
        Step();
    }
    EXPECT_EQ(value(greedy, "draws"), -1) << "a stopped movie answers nothing";
    EXPECT_TRUE(TakeErrors());
}

// Data's switches of a movie off and on leave its draw to the frame: a line that switches it
// twenty times does not draw it twenty times. (Twenty, so that the line fits data's time on a
// loaded machine too: each switch on builds the tiles again.)
TEST_F(FlashNodeTest, DataSwitchingAMovieOffAndOnLeavesItsDrawToTheFrame) {
    flash::SetModuleFactory(nullptr);
    const std::string text = "--tessel movie 1\ndraws = 0\nfunction draw() draws = draws + 1 end\n";
    nLogicFlash* f = Node("/usr/logic/sw", Write("sw.lua", std::vector<uint8_t>(text.begin(), text.end())).c_str());
    f->RaiseUpdateRequests(1000);
    lua->Trigger();
    Step();
    const int before = std::stoi(f->GetValue("draws"));
    const char* result = nullptr;
    ASSERT_TRUE(lua->RunLine("local n = obj('/usr/logic/sw') for i = 1, 20 do n.setactive(false) n.setactive(true) end",
                             result))
        << log.text;
    lua->Trigger();
    Step();
    EXPECT_LE(std::stoi(f->GetValue("draws")) - before, 2);
}

// A movie's messages to other nodes cost the frame's time for data as well: one draw that
// sends a hundred thousand of them does not buy a hundred thousand calls into movies.
TEST_F(FlashNodeTest, AFramesMessagesBetweenMoviesStopWhenItsTimeForDataIsSpent) {
    flash::SetModuleFactory(nullptr);
    const std::string text =
        "--tessel movie 1\nheard = 0\n"
        "function draw() net_msg_output = string.rep('chatter^x^', 50000) end\n"
        "function on_value(name) if name == 'input' then heard = heard + 1 end end\n";
    nLogicFlash* f = Node("/usr/logic/chatter", Write("chatter.lua", std::vector<uint8_t>(text.begin(), text.end())).c_str());
    f->RaiseUpdateRequests(1000);
    f->SetNetworking(true);
    int before = 0;
    for (int frame = 0; frame < 3; frame++) {
        lua->Trigger();
        Step();
        const char* heard = f->GetValue("heard");
        ASSERT_NE(heard, nullptr) << (log.errors.empty() ? "" : log.errors.back());
        const int now = std::stoi(heard);
        EXPECT_LT(now - before, 20'000) << "frame " << frame;
        EXPECT_LE(lua->FrameSpent(), nLuaServer2::FrameCeiling) << "frame " << frame;
        before = now;
    }
    EXPECT_GT(before, 0);
}

// The shipped heads-up display's value events never wait, on one core shared with busy loops,
// while a loose movie's value handler, sized to end just before its own time, takes the
// frame's share: its events wait, and never more of them than its names.
TEST_F(FlashNodeTest, TheShippedDisplaysEventsNeverWaitWhileALooseMoviesHandlersTakeTheShare) {
    flash::SetModuleFactory(nullptr);
    bwtest::TestRunClock clock(LookTime);
    const char* src = std::getenv("BW_SOURCE_DIR");
    std::ifstream in(std::string(src ? src : ".") + "/data/flash/taucher.movie", std::ios::binary);
    const std::string shipped((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(shipped.empty());
    nLogicFlash* hud = Node("/usr/logic/taucher", Write("taucher.movie", std::vector<uint8_t>(shipped.begin(), shipped.end())).c_str());
    const std::string loose =
        "--tessel movie 1\nlocal s = string.rep('a', 1 << 22) local t = s:sub(1, -2) .. 'a'\nheard = 0\n"
        "function on_value(name) for i = 1, 200 do local same = s == t end heard = heard + 1 end\n";
    nLogicFlash* greedy = Node("/usr/logic/loose", Write("loose.movie", std::vector<uint8_t>(loose.begin(), loose.end())).c_str());
    hud->LoadFlash();
    greedy->LoadFlash();
    lua->Trigger();
    Step();
    auto* hudMovie = dynamic_cast<flash::MovieModule*>(hud->GetModule());
    auto* looseMovie = dynamic_cast<flash::MovieModule*>(greedy->GetModule());
    ASSERT_TRUE(hudMovie && looseMovie) << (log.errors.empty() ? "" : log.errors.back());

    // One core, shared with two busy loops.
    cpu_set_t before, one;
    sched_getaffinity(0, sizeof(before), &before);
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    sched_setaffinity(0, sizeof(one), &one);
    std::atomic<bool> quit{false};
    std::vector<std::thread> busy;
    for (int i = 0; i < 2; i++) {
        busy.emplace_back([&] {
            sched_setaffinity(0, sizeof(one), &one);
            while (!quit) {
            }
        });
    }
    size_t looseWaited = 0;
    int spentFrames = 0;  // frames whose share was spent before the display heard its values
    for (int frame = 0; frame < 12; frame++) {
        lua->Trigger();
        for (const char* name : {"a", "b", "c", "a", "b", "c"}) greedy->SetValue(name, std::to_string(frame).c_str());
        looseWaited = std::max(looseWaited, looseMovie->EventsWaiting());
        EXPECT_LE(looseMovie->EventsWaiting(), 3u) << "a name waited twice";
        spentFrames += lua->DataWaits();
        for (const char* name : {"sauerstoff", "gesundheit", "bild"}) {
            hud->SetValue(name, std::to_string(50 + frame).c_str());
            EXPECT_EQ(hudMovie->EventsWaiting(), 0u) << "the shipped display's '" << name << "' waited in frame " << frame;
        }
        Step();
    }
    quit = true;
    for (std::thread& t : busy) t.join();
    sched_setaffinity(0, sizeof(before), &before);
    EXPECT_GT(looseWaited, 0u) << "the loose movie's handlers never passed the share";
    EXPECT_GT(spentFrames, 0);
    EXPECT_LE(lua->FrameSpent(), 2 * nLuaServer2::FrameCeiling);
}

}  // namespace

namespace {

// The shipped heads-up displays draw within a few frames while a loose movie's first draws pass
// their time at the level's start: the loose movie's overruns take no display's turn for good.
TEST_F(FlashNodeTest, TheShippedDisplaysDrawWhileALooseMoviesFirstDrawsPassTheirTime) {
    flash::SetModuleFactory(nullptr);
    bwtest::TestRunClock clock(LookTime);
    const char* src = std::getenv("BW_SOURCE_DIR");
    const struct {
        const char* movie;
        const char* name;  // the value that asks for a redraw
    } displays[] = {{"energy.movie", "value"}, {"hitpoints.movie", "value"}, {"inventory.movie", "_root.item_typ"}};
    // Long strings compared over and over: the draw passes its time long before its instructions.
    // Its node comes first, so that its draws spend the share before the displays'.
    const std::string loose =
        "--tessel movie 1\nlocal s = string.rep('a', 1 << 22) local t = s:sub(1, -2) .. 'a'\nn = 0\n"
        "function draw() n = n + 1 if n <= 3 then while true do local same = s == t end end end\n";
    nLogicFlash* diver = Node("/usr/logic/loose", Write("loose.movie", std::vector<uint8_t>(loose.begin(), loose.end())).c_str());
    diver->RaiseUpdateRequests(1000);
    std::vector<nLogicFlash*> huds;
    for (const auto& d : displays) {
        std::ifstream in(std::string(src ? src : ".") + "/data/flash/" + d.movie, std::ios::binary);
        const std::string shipped((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(shipped.empty()) << d.movie;
        nLogicFlash* hud = Node(std::string("/usr/logic/") + d.movie, Write(d.movie, std::vector<uint8_t>(shipped.begin(), shipped.end())).c_str());
        hud->SetCheckUpdate(true);
        huds.push_back(hud);
    }
    diver->LoadFlash();
    for (nLogicFlash* hud : huds) hud->LoadFlash();
    constexpr int Frames = 16;
    std::vector<int> lastDrawn(huds.size(), -1);
    for (int frame = 0; frame < Frames; frame++) {
        lua->Trigger();
        for (size_t i = 0; i < huds.size(); i++) huds[i]->SetValue(displays[i].name, std::to_string(frame).c_str());
        Step();
        for (size_t i = 0; i < huds.size(); i++) {
            // The value asked for a redraw ("1"); the draw cleared it (then it reads as none).
            const char* heard = huds[i]->GetValue(displays[i].name);
            const bool asked = huds[i]->GetValue("_root.update_tex") != nullptr;
            if (heard != nullptr && heard == std::to_string(frame) && !asked) lastDrawn[i] = frame;
        }
    }
    const char* overran = diver->GetValue("n");
    ASSERT_NE(overran, nullptr);
    EXPECT_GE(std::stoi(overran), 3) << "the loose movie's draws did not come";
    for (size_t i = 0; i < huds.size(); i++) EXPECT_EQ(lastDrawn[i], Frames - 1) << displays[i].movie << " no longer draws";
}

}  // namespace

namespace {

// Before the first frame the game sets the menu's values and asks for its picture: all of it
// takes the menu's start window, and a text that no frame compiles is refused unread. A loose
// menu that would hold the loading screen for seconds is refused at once with one line (and the
// node's on a failed load); the shipped menu plays.
TEST_F(FlashNodeTest, AMenusStartBeforeTheFirstFrameTakesNoMoreThanItsWindow) {
    flash::SetModuleFactory(nullptr);
    bwtest::TestRunClock clock(std::chrono::milliseconds(1));
    const char* src = std::getenv("BW_SOURCE_DIR");
    std::ifstream in(std::string(src ? src : ".") + "/data/flash/mainmenu.movie", std::ios::binary);
    const std::string shipped((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string slow = "--tessel movie 1\nlocal s = string.rep('a', 1 << 20) local t = s:sub(1, -2) .. 'a'\n"
                             "local function compare() for i = 1, 3000 do local same = s == t end end\n";
    std::string huge = "--tessel movie 1\n";
    while (huge.size() < (200u << 10)) huge += "x = 1\n";
    const struct {
        std::string text;
        const char* refused;  // the module's line, null when the menu plays
        size_t lines;
    } cases[] = {
        {shipped, nullptr, 0},
        {slow + "function on_value() compare() end\n", "took more than its start's time", 1},
        {slow + "function draw() compare() end\n", "took more than its start's time", 1},
        {"--tessel movie 1\nfunction on_value() local s = string.rep('a', 1 << 30) end\n",
         "exhausted before the first frame", 1},
        {huge, "takes more to compile", 2}};
    nFileServer2* files = kernel->GetFileServer();
    for (size_t i = 0; i < std::size(cases); i++) {
        const auto& [text, refused, lines] = cases[i];
        SCOPED_TRACE(i);
        log.errors.clear();
        const std::string name = "menu" + std::to_string(i);
        const std::string file = Write((name + ".movie").c_str(), std::vector<uint8_t>(text.begin(), text.end()));
        nLogicFlash* menu = Node("/usr/logic/" + name, file.c_str());
        const auto before = clock.WallSoFar();
        const uint64_t read = files->GetBytesRead();
        menu->SetValue("running", "0");
        menu->SetValue("loadable", "1");
        menu->SetActive(true);
        EXPECT_LT(clock.WallSoFar() - before, 2 * nDataText::LoadTime) << "the start held the loading screen";
        EXPECT_LT(files->GetBytesRead() - read, 100u << 10) << "a refused size was read";
        Frame();
        EXPECT_EQ(menu->GetModule() == nullptr, refused != nullptr);
        EXPECT_EQ(log.errors.size(), lines) << (log.errors.empty() ? "" : log.errors.front());
        if (refused) EXPECT_EQ(Errors(refused), 1);
        menu->Release();
    }
    EXPECT_EQ(lua->DataFrame(), 0u) << "the menus started in a frame";
}

// A level's start in a frame that the machine holds off the core for over a second: every one
// of the game's own movies loads in the frames after it, none refused, none logged.
TEST_F(FlashNodeTest, EveryMovieOfTheGamesOwnLoadsAfterALevelsStartHeldOffTheCore) {
    flash::SetModuleFactory(nullptr);
    bwtest::TestRunClock clock(LookTime);
    lua->Trigger();
    clock.HoldOffEachLook(std::chrono::milliseconds(100));
    const auto before = clock.WallSoFar();
    std::vector<nLogicFlash*> nodes;
    for (const char* name : {"statusbar", "energy", "hitpoints", "inventory", "inventorybar", "geraet", "taucher",
                             "maennel", "mainmenu"}) {
        nodes.push_back(Node(std::string("/usr/logic/") + name, (std::string("home:flash/") + name + ".movie").c_str()));
        nodes.back()->LoadFlash(false);
    }
    EXPECT_GE(clock.WallSoFar() - before, std::chrono::seconds(1));
    clock.HoldOffEachLook({});
    for (int frame = 0; frame < 12; frame++) {
        lua->Trigger();
        Step();
    }
    for (nLogicFlash* node : nodes) {
        ASSERT_NE(node->GetModule(), nullptr) << node->GetTexture();
        EXPECT_EQ(node->GetModule()->IsReady(), 1) << node->GetTexture();
    }
    EXPECT_TRUE(log.errors.empty()) << log.errors.front();
}

// A loose movie gets one verdict whenever it loads: a top level of several frames'
// instructions loads before the first frame and inside a frame alike. One refused for its time
// (a frame held off the core) is tried again at its next load, not at a read of its values; a
// loose menu refused for any reason leaves the game's own copy (in an archive) in its place.
TEST_F(FlashNodeTest, ALooseMovieHasOneVerdictAtEveryLoadAndARefusedOneLeavesTheGamesOwn) {
    flash::SetModuleFactory(nullptr);
    bwtest::TestRunClock clock(LookTime);
    auto movie = [](const std::string& body) {
        const std::string text = std::string(flash::MovieModule::Marker) + "\n" + body;
        return std::vector<uint8_t>(text.begin(), text.end());
    };
    auto value = [](nLogicFlash* node) {
        const char* x = node->GetModule() ? node->GetValue("x") : nullptr;
        return std::string(x ? x : "nil");
    };
    nLogicFlash* loose = Node("/usr/logic/loose", Write("long.movie", movie("for i = 1, 1e6 do end x = 'in'")).c_str());
    for (const int held : {0, 0, 100}) {
        loose->UnloadFlash();
        clock.HoldOffEachLook(std::chrono::milliseconds(held));
        loose->LoadFlash(false);
        clock.HoldOffEachLook({});
        EXPECT_EQ(value(loose), held ? "nil" : "in") << held;
        lua->Trigger();  // the first load comes before the first frame
    }
    EXPECT_EQ(Errors("time limit reached"), 1);
    EXPECT_EQ(loose->GetModule(), nullptr);
    loose->SetActive(false);
    loose->SetActive(true);
    EXPECT_EQ(value(loose), "in") << "not tried again at its next load";

    nNpkWriter archive;
    const std::vector<uint8_t> own = movie("x = 'own'\n");
    ASSERT_TRUE(archive.BeginDir("mods") && archive.AddFile("menu.movie", own.data(), own.size()) && archive.EndDir());
    ASSERT_TRUE(archive.Save(Path("mods.npk")));
    auto* files = static_cast<nNpkFileServer*>(kernel->GetFileServer());
    ASSERT_TRUE(files->AddArchive(Path("mods.npk"), files->ManglePath(dir.string().c_str())));
    std::filesystem::create_directories(dir / "mods");
    nLogicFlash* menu = Node("/usr/logic/menu", Write("mods/menu.movie", {'m', 'e', 'n', 'u'}).c_str());
    for (int load = 0; load < 2; load++) {
        lua->Trigger();
        menu->SetActive(false);
        menu->UnloadFlash();
        menu->SetActive(true);
        EXPECT_EQ(value(menu), "own") << "load " << load;
    }
    EXPECT_EQ(Errors("not a movie"), 2);
    EXPECT_EQ(Errors("the game's own copy of the movie plays in its place"), 2);
    EXPECT_EQ(log.errors.size(), 3u) << log.errors.back();
}

// A loose menu that had its lines refused (each took the frame's time for data) and then gives
// way: the game's own copy in its place answers the person's key with its own line.
TEST_F(FlashNodeTest, TheGamesOwnMenuInALooseOnesPlaceRunsItsLinesWhateverTheLooseOnesCost) {
    flash::SetModuleFactory(nullptr);
    bwtest::TestRunClock clock(LookTime);
    ASSERT_TRUE(Run("chosen = 0 function choose(n) chosen = n end dataentry('choose', {'number'})"));
    nNpkWriter archive;
    const std::string own = std::string(flash::MovieModule::Marker) +
                            "\nfunction on_key(k) if k == 'down' then Tessel_script = 'choose(1)' end end\n";
    ASSERT_TRUE(archive.BeginDir("mods") && archive.AddFile("menu.movie", own.data(), own.size()) && archive.EndDir());
    ASSERT_TRUE(archive.Save(Path("mods.npk")));
    auto* files = static_cast<nNpkFileServer*>(kernel->GetFileServer());
    ASSERT_TRUE(files->AddArchive(Path("mods.npk"), files->ManglePath(dir.string().c_str())));
    std::filesystem::create_directories(dir / "mods");
    const std::string loose = std::string(flash::MovieModule::Marker) +
                              "\nn = 0 function on_key(k) n = n + 1 Tessel_script = 'while true do end --' .. n\n"
                              "  assert(n <= 40, 'deaf') end\n";
    nLogicFlash* menu = Node("/usr/logic/menu", Write("mods/menu.movie", std::vector<uint8_t>(loose.begin(), loose.end())).c_str());
    menu->SetMessaging(true);
    menu->SetInputEvents(true);
    int keys = 0;
    for (; keys < 40 && Global("chosen") != "1"; keys++) {
        lua->Trigger();
        Post(N_INPUT_DEV_KEYBOARD, N_INPUT_KEY_DOWN, 13);
        Post(N_INPUT_DEV_KEYBOARD, N_INPUT_KEY_UP, 13);
        Step();
        for (int i = 0; i < 8; i++) lua->Trigger(), Step();  // frames for the share to come back
    }
    EXPECT_EQ(Errors("the game's own copy of the movie plays in its place"), 1);
    EXPECT_EQ(Global("chosen"), "1") << "the game's own menu's line was not run";
}

}  // namespace
