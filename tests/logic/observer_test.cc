// The base observer: a frame's phases in order, the clamped frame time, sleeps, the
// script commands, display fallback, save-game listing, loading screens, debug lines and
// the chat toggle, against recording servers at the server paths.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "gfx/nGfxServer.h"
#include "input/nInputEvent.h"
#include "input/nInputState.h"
#include "kernel/nCmdProto.h"
#include "kernel/nClass.h"
#include "kernel/nEnv.h"
#include "kernel/nFileServer2.h"
#include "kernel/nScriptServer.h"
#include "kernel/nTimeServer.h"
#include "kernel/nWin32LogHandler.h"
#include "logic/nChatServer.h"
#include "platform/system/System.h"
#include "script/nConServer.h"
#include "tests/logic/ObserverFixture.h"

namespace fs = std::filesystem;
using Calls = std::vector<std::string>;

class ObserverTest : public ObserverFixture {
protected:
    void SetUp() override {
        ObserverFixture::SetUp();
        StartClock();
    }
    float Channel(const char* name) { return channels->GetChannel1f(channels->GenChannel(name)); }
};

TEST_F(ObserverTest, FrameRunsItsPhasesInOrder) {
    NewNode("/usr/logic/box", "cp");
    NewNode("/usr/logic/hud", "2");
    // The console belongs to the engine's own loop: the game's frame never hands it input.
    auto* con = static_cast<nConServer*>(kernel->New("nconserver", "/sys/servers/console"));
    con->Open();
    nInputEvent* key = input->NewEvent();
    key->type = N_INPUT_KEY_CHAR;
    key->deviceId = N_INPUT_DEV_KEYBOARD;
    key->number = 'q';
    input->PostEvent(key);
    input->Mouse(4, 10, 10);
    obs->SetGrid(true);
    obs->AddLineGroup(matrix44(), 1, 0, 0, 1);
    obs->AddLinePoint(vector3(0, 0, 0));
    obs->AddLinePoint(vector3(1, 0, 0));
    obs->SetSleep(0.029411765f);
    ASSERT_TRUE(FrameAt(0.03));
    Calls expected = {"gfx trigger", "input trigger", "lgraph release", "root trigger 0.00 0.00", "gfx2d",
                      "lgraph traverse 0.00", "lgraph collisions", "analyse box", "lgraph step 0.03", "step box",
                      "gfx begin", "audio begin 0.03", "particle", "lgraph visual 0.03 0.03", "render hud",
                      // The grid, then the queued line group.
                      "push 1", "begin 3", "end", "pop 1", "push 1", "begin 3", "end", "pop 1",
                      "audio end", "gfx end", "input flush", "sleep 29"};
    EXPECT_EQ(FrameLog(), expected);
    EXPECT_EQ(input->QueuedEvents(), 0);
    EXPECT_STREQ(con->GetLine().GetText(), "");

    // The same time sample again: frame time 0, no collisions and no physics step.
    logicEvents.clear();
    ASSERT_TRUE(FrameAt(0.03));
    EXPECT_EQ(obs->GetFrameTime(), 0.0f);
    EXPECT_EQ(Events("lgraph"), (Calls{"lgraph release", "lgraph traverse 0.03", "lgraph visual 0.03 0.00"}));
    EXPECT_TRUE(Events("analyse").empty());
    EXPECT_TRUE(Events("step").empty());
}

TEST_F(ObserverTest, FailedBeginSceneSkipsTheRestButFlushesInput) {
    obs->SetSleep(0.5f);
    obs->SetSkipSleep(true);
    ogfx->beginResult = false;
    input->Mouse(4, 1, 1);
    ASSERT_TRUE(FrameAt(0.03));
    Calls log_ = FrameLog();
    ASSERT_GE(log_.size(), 2u);
    EXPECT_EQ(Calls(log_.end() - 2, log_.end()), (Calls{"gfx begin failed", "input flush"}));
    EXPECT_EQ(input->QueuedEvents(), 0);
    EXPECT_TRUE(obs->GetSkipSleep());
    EXPECT_TRUE(clock.sleeps.empty());

    // The kept flag skips the next good frame's sleep, then sleeping resumes.
    ogfx->beginResult = true;
    FrameAt(0.06);
    EXPECT_TRUE(clock.sleeps.empty());
    FrameAt(0.09);
    EXPECT_EQ(clock.sleeps, std::vector<int>{500});
}

TEST_F(ObserverTest, LoopEndsOnQuitGraphicsOrScript) {
    // Quit in the logic phase: that frame still presents, then Run returns.
    int frames = 0;
    oroot->onTrigger = [&] {
        if (++frames == 2) obs->Quit();
    };
    kernel->GetTimeServer()->StopTime();
    EXPECT_TRUE(obs->Run());
    EXPECT_FALSE(kernel->GetTimeServer()->IsStopped());
    EXPECT_EQ(frames, 2);
    EXPECT_EQ(Events("gfx end").size(), 2u);
    EXPECT_EQ(FrameLog().back(), "input flush");

    oroot->onTrigger = nullptr;
    logicEvents.clear();
    ogfx->triggerResult = false;
    EXPECT_FALSE(obs->RunFrame());
    EXPECT_EQ(FrameLog(), Calls{"gfx trigger"});

    ogfx->triggerResult = true;
    logicEvents.clear();
    static_cast<nScriptServer*>(Lookup("/sys/servers/script"))->SetQuitRequested(true);
    EXPECT_FALSE(obs->RunFrame());
    EXPECT_EQ(FrameLog(), Calls{"gfx trigger"});
}

TEST_F(ObserverTest, LoopPublishesEachFrameTimeOneFrameLater) {
    // Frame k takes k quarter seconds of wall time; its logic reads what the time server
    // published at the frame's start.
    std::vector<float> seen;
    int frames = 0;
    oroot->onTrigger = [&] {
        frames++;
        nRoot* var = Lookup("/sys/var/prof_frame");
        seen.push_back(var ? static_cast<nEnv*>(var)->GetF() : -1.0f);
        clock.Set(double(clock.ticks) / 1e6 + 0.25 * frames);
        if (frames == 4) obs->Quit();
    };
    EXPECT_TRUE(obs->Run());
    oroot->onTrigger = nullptr;
    EXPECT_EQ(seen, (std::vector<float>{0.0f, 0.25f, 0.5f, 0.75f}));
    // The loop's profiler goes with the loop, so a second loop starts its own.
    EXPECT_EQ(kernel->GetTimeServer()->GetFirstProfiler(), nullptr);
}

TEST_F(ObserverTest, FrameTimeIsClampedAndGameTimeNeverRunsBack) {
    struct Step {
        double sample;
        float frameTime;
        double gameTime;
    };
    // A stall of 3.5 s counts one second; the clock is moved back 2.5 s, so the next
    // sample 0.03 s later reads 1.06.
    const Step steps[] = {{0.03, 0.03f, 0.03}, {3.53, 1.0f, 1.03}, {3.56, 0.03f, 1.06}, {3.56, 0.0f, 1.06}};
    float lastFrameTime = 0.0f;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.sample);
        logicEvents.clear();
        ASSERT_TRUE(FrameAt(s.sample));
        EXPECT_NEAR(obs->GetFrameTime(), s.frameTime, 1e-4);
        EXPECT_NEAR(obs->GetGameTime(), s.gameTime, 1e-4);
        // The logic reads last frame's channels; the visual pass this frame's.
        char traverse[64], visual[64];
        std::snprintf(traverse, sizeof(traverse), "lgraph traverse %.2f", lastFrameTime);
        std::snprintf(visual, sizeof(visual), "lgraph visual %.2f %.2f", s.gameTime, s.frameTime);
        EXPECT_EQ(Events("lgraph traverse"), Calls{traverse});
        EXPECT_EQ(Events("lgraph visual"), Calls{visual});
        lastFrameTime = s.frameTime;
    }
    EXPECT_EQ(Channel("time"), 0.0f);
}

TEST_F(ObserverTest, SleepsTheFrameSleepUnlessSkipped) {
    obs->SetSleep(0.029411765f);
    FrameAt(0.03);
    FrameAt(0.06);
    obs->SetSkipSleep(true);
    FrameAt(0.09);
    FrameAt(0.12);
    obs->SetSleep(0.0f);
    FrameAt(0.15);
    EXPECT_EQ(clock.sleeps, (std::vector<int>{29, 29, 29}));
}

TEST_F(ObserverTest, ScriptCommandsAndState) {
    ASSERT_TRUE(Run("o = obj('/sys/servers/observer')\n"
                    "o.setsleep(0.25)\n o.setgrid(true)\n"
                    "t, s, g = o.gettype(), o.getsleep(), o.getgrid()\n"
                    "r = o.getlogicroot()\n"
                    "o.setlogicroot('/nothing')\n kept = o.getlogicroot()\n"));
    EXPECT_EQ(Global("t"), "baseobserver");
    EXPECT_EQ(Global("s"), "0.25");
    EXPECT_TRUE(obs->GetGrid());
    EXPECT_EQ(Global("r"), "/usr/logic");
    EXPECT_EQ(Global("kept"), "/usr/logic");  // a root that names nothing is refused
    int cmds = 0;
    for (nCmdProto* p = kernel->FindClass("nbaseobserver")->GetFirstCmd(); p; p = p->GetNextCmd()) cmds++;
    EXPECT_EQ(cmds, 11);

    obs->SetGameState(0x4000, true);
    EXPECT_TRUE(obs->GetGameState(0x4000));
    EXPECT_FALSE(obs->GetGameState(0x2000));
    obs->SetGameState(0x4000, false);
    EXPECT_FALSE(obs->GetGameState(0x4000));

    EXPECT_TRUE(nBaseObserver::HasExtension("a.n", "n"));
    EXPECT_FALSE(nBaseObserver::HasExtension("a.", "n"));
    EXPECT_FALSE(nBaseObserver::HasExtension("a", "n"));
    EXPECT_FALSE(nBaseObserver::HasExtension("a.N", "n"));
}

TEST_F(ObserverTest, MissingLogicRootIsLoggedOnceAndSkipsTheLogic) {
    NewNode("/usr/logic/box", "cp");
    NewNode("/usr/logic/hud", "2");
    FrameAt(0.03);
    // The root goes with its nodes; nothing of last frame's lists is touched.
    oroot->Release();
    logicEvents.clear();
    FrameAt(0.06);
    FrameAt(0.09);
    EXPECT_EQ(Events("root"), Calls{});
    EXPECT_EQ(Events("render").size() + Events("analyse").size() + Events("step").size(), 0u);
    EXPECT_EQ(Events("lgraph traverse").size(), 2u);
    EXPECT_EQ(Count(log.text, "logic root '/usr/logic'"), 1);

    // Once it resolves again the logic runs, and a later loss is logged again.
    oroot = static_cast<nObsRoot*>(kernel->New("nobsroot", "/usr/logic"));
    logicEvents.clear();
    FrameAt(0.12);
    EXPECT_EQ(Events("root").size(), 1u);
}

TEST_F(ObserverTest, ARootThatIsNoLogicNodeIsRefusedAndTheLogicRunsOn) {
    // A script's root of '/sys/servers' took the logic off every frame for good.
    FrameAt(0.03);
    ASSERT_TRUE(Run("o = obj('/sys/servers/observer')\n"
                    "o.setlogicroot('/sys/servers')\n o.setlogicroot('/nothing')\n o.setlogicroot('')\n"));
    EXPECT_EQ(Count(log.text, "is no logic node; the root stays '/usr/logic'"), 3);
    EXPECT_STREQ(obs->GetLogicRootPath(), "/usr/logic");
    logicEvents.clear();
    FrameAt(0.06);
    EXPECT_EQ(Events("root").size(), 1u);

    // Another logic node is taken.
    kernel->New("nobsroot", "/usr/other");
    obs->SetLogicRoot("/usr/other");
    EXPECT_STREQ(obs->GetLogicRootPath(), "/usr/other");
    EXPECT_EQ(Count(log.text, "is no logic node"), 3);
}

TEST_F(ObserverTest, OpenDisplayFallsBackThroughItsModeList) {
    ogfx->refuse = "bpp(32)";
    EXPECT_TRUE(obs->OpenDisplay(true, nullptr));
    EXPECT_EQ(ogfx->mode, "type(full)-w(800)-h(600)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(hal)");
    ogfx->refuse = "";
    EXPECT_TRUE(obs->OpenDisplay(false, nullptr));
    EXPECT_EQ(ogfx->mode, "w(800)-h(600)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(hal)");
    ogfx->refuse = "w(800)";
    EXPECT_FALSE(obs->OpenDisplay(false, nullptr));

    // The real display opens the windowed list headless.
    auto* d3d = static_cast<nGfxServer*>(kernel->New("nd3d8server", "/sys/servers/gfx_real"));
    ASSERT_NE(d3d, nullptr);
    EXPECT_TRUE(obs->OpenDisplay(false, d3d));
    d3d->CloseDisplay();
    d3d->Release();
}

TEST_F(ObserverTest, SaveGamesNewestFirst) {
    EXPECT_EQ(std::string(obs->GetSaveGames()), "");
    fs::path dir = Path("save");
    fs::create_directories(dir / "sub.n");
    ASSERT_TRUE(kernel->GetFileServer<nFileServer2>()->SetAssign("save", (dir.string() + "/").c_str()));
    auto now = fs::file_time_type::clock::now();
    int n = 0;
    auto make = [&](const std::string& name) {
        std::ofstream(dir / name) << "-- save\n";
        fs::last_write_time(dir / name, now + std::chrono::seconds(n++));
    };
    make("a.n");
    make("c.txt");
    make(std::string(50, 'x') + ".n");
    make("Save1.N");
    make("b.n");
    EXPECT_EQ(std::string(obs->GetSaveGames()), "b,save1," + std::string(39, 'x') + ",a");
    // The listed lower-case name finds the file again.
    std::ofstream(dir / "Save1.N") << "loaded = 'save1'\n";
    EXPECT_TRUE(obs->RunScript("save:save1.n"));
    EXPECT_EQ(Global("loaded"), "save1");

    fs::remove_all(dir);
    fs::create_directories(dir);
    for (int i = 0; i < 300; i++) {
        char name[16];
        std::snprintf(name, sizeof(name), "s%03d.n", i);
        make(name);
    }
    std::string list = obs->GetSaveGames();
    EXPECT_EQ(std::count(list.begin(), list.end(), ',') + 1, 256);
    EXPECT_EQ(list.substr(0, 9), "s299,s298");
    EXPECT_EQ(list.substr(list.size() - 5), ",s044");
}

TEST_F(ObserverTest, LoadingScreensTakeTurnsAndDrawOnly2DNodes) {
    // None registered: the frame is still presented.
    obs->IncLoading(0);
    EXPECT_EQ(FrameLog(), (Calls{"gfx trigger", "gfx begin", "gfx end", "input flush"}));

    for (const char* path : {"/usr/ls1", "/usr/ls2", "/usr/ls3"}) {
        NewNode(path, "2");
        obs->AddLoadingScreen(path);
    }
    NewNode("/usr/ls1/bar", "2");
    NewNode("/usr/ls1/box", "v");
    kernel->New("nroot", "/usr/plain");
    obs->AddLoadingScreen("/usr/plain");
    obs->AddLoadingScreen("/usr/none");
    EXPECT_TRUE(LogHas("loading screen '/usr/plain' is no logic node"));
    EXPECT_TRUE(LogHas("loading screen '/usr/none' is no logic node"));
    EXPECT_EQ(obs->GetNumLoadingScreens(), 3);

    logicEvents.clear();
    input->Mouse(4, 1, 1);
    for (int i = 0; i < 4; i++) obs->IncLoading(i);
    EXPECT_EQ(Events("render"), (Calls{"render ls1", "render bar", "render ls2", "render ls3", "render ls1", "render bar"}));
    EXPECT_EQ(input->QueuedEvents(), 0);
    EXPECT_EQ(kernel->GetCwd(), kernel->Lookup("/"));
}

TEST_F(ObserverTest, GridAndLineGroups) {
    obs->AddLinePoint(vector3(1, 2, 3));
    EXPECT_TRUE(LogHas("line point without a line group"));

    matrix44 m;
    obs->AddLineGroup(m, 1, 0, 0, 1);
    obs->AddLinePoint(vector3(0, 0, 0));
    obs->AddLinePoint(vector3(1, 0, 0));
    obs->AddLineGroup(m, 0, 1, 0, 1);
    obs->AddLinePoint(vector3(0, 1, 0));
    obs->AddLinePoint(vector3(0, 2, 0));
    logicEvents.clear();
    FrameAt(0.03);
    ASSERT_EQ(ogfx->points.size(), 4u);
    EXPECT_EQ(ogfx->points[1].x, 1.0f);
    EXPECT_EQ(ogfx->points[1].r, 1.0f);
    EXPECT_EQ(ogfx->points[3].y, 2.0f);
    EXPECT_EQ(ogfx->points[3].g, 1.0f);
    EXPECT_EQ(Events("begin 3").size(), 2u);
    EXPECT_EQ(obs->GetNumQueuedLineGroups(), 0);
    EXPECT_EQ(obs->GetNumPooledLineGroups(), 2);
    EXPECT_EQ(obs->GetNumPooledLinePoints(), 4);

    // The next frame's lines come from the pools.
    obs->AddLineGroup(m, 1, 1, 1, 1);
    obs->AddLinePoint(vector3(0, 0, 0));
    EXPECT_EQ(obs->GetNumPooledLineGroups(), 1);
    EXPECT_EQ(obs->GetNumPooledLinePoints(), 3);

    // The grid: 51 lines each way, two axes, X and Z with their minus signs, drawn in
    // the view of the camera at (1, 2, 3).
    ogfx->points.clear();
    obs->SetGrid(true);
    camera->camera.SetTranslation(vector3(1, 2, 3));
    sceneEvents.clear();
    FrameAt(0.06);
    EXPECT_EQ(sceneEvents, (Calls{"other matrix 1 2 3", "gfx begin", "matrix -1 -2 -3", "matrix 0 0 0", "gfx end"}));
    // Then the one queued point of the line group.
    ASSERT_EQ(ogfx->points.size(), 232u + 1u);
    const auto& p = ogfx->points;
    EXPECT_EQ(p[0].x, -25.0f);
    EXPECT_EQ(p[0].a, 0.5f);
    EXPECT_EQ(p[203].x, 25.0f);
    EXPECT_EQ(p[204].a, 0.3f);
    EXPECT_EQ(p[208].r, 1.0f);
    EXPECT_EQ(p[229].b, 1.0f);
}

TEST_F(ObserverTest, ChatTogglesWhileItsStateIsPressed) {
    chat->Close();
    obs->ToggleChatInput();
    EXPECT_FALSE(chat->IsOpen());
    input->ObtainState("chat")->flag = true;
    obs->ToggleChatInput();
    EXPECT_TRUE(chat->IsOpen());
    chat->Add("hallo", 1, 1, 1, 1);
    chat->Add("welt", 1, 1, 1, 1);
    EXPECT_NE(chat->GetBuffer().GetNewest(), 0);
    obs->ToggleChatInput();
    EXPECT_FALSE(chat->IsOpen());
    EXPECT_EQ(chat->GetBuffer().GetNewest(), 0);
    chat->Release();
    obs->ToggleChatInput();
}

TEST_F(ObserverTest, ErrorsDuringTheLoopShowInTheChatAndTheFrameGoesOn) {
    // The application's handler as start-up installs it. Without a display its box writes
    // "<name>: <text>" to standard error: that is how a box shows here.
    const std::string logName = sys::ExecutablePath().substr(0, sys::ExecutablePath().rfind('/')) + "/BwPlayLog.log";
    nLogHandler* before = kernel->GetLogHandler();
    auto* handler = new nWin32LogHandler("BwPlayLog");
    kernel->SetLogHandler(handler);
    const std::string text = "/usr/logic/level1: the diver '/usr/logic/level1/basket' is no nbwdiver with an "
                             "nlogicinput 'input'; the active diver stays";
    int frames = 0;
    oroot->onTrigger = [&] {
        if (++frames == 2) n_error("%s\n", text.c_str());
        if (frames == 4) obs->Quit();
    };
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(obs->Run());
    const std::string boxes = testing::internal::GetCapturedStderr();
    oroot->onTrigger = nullptr;
    EXPECT_EQ(frames, 4);
    EXPECT_EQ(Events("gfx end").size(), 4u);
    EXPECT_EQ(boxes.find("BwPlayLog:"), std::string::npos) << boxes;
    // Split at 79 characters into two lines, drawn by the chat for its fade-out time.
    const nChatBuffer& lines = chat->GetBuffer();
    EXPECT_EQ(std::string(lines.GetLine(1).text) + lines.GetLine(0).text, text);
    EXPECT_EQ(lines.GetLine(2).length, 0);
    EXPECT_GT(chat->GetFadeOutTime(), 2.0f);

    // Outside the loop the box is back.
    testing::internal::CaptureStderr();
    n_error("after the loop\n");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("BwPlayLog: after the loop"), std::string::npos);
    testing::internal::GetCapturedStdout();
    kernel->SetLogHandler(before);
    delete handler;
    std::remove(logName.c_str());
}

TEST_F(ObserverTest, AnErrorOfEveryFrameShowsOneCountedLineAndIsLoggedWithCounts) {
    // A timer's script that fails every frame, and a long error once.
    const std::string logName = sys::ExecutablePath().substr(0, sys::ExecutablePath().rfind('/')) + "/BwRepeatLog.log";
    nLogHandler* before = kernel->GetLogHandler();
    auto* handler = new nWin32LogHandler("BwRepeatLog");
    kernel->SetLogHandler(handler);
    NewNode("/usr/logic/t", "");
    ASSERT_TRUE(Run("obj('/usr/logic/t').addtimer('tick', 'loop', 0, 0, \"error('kaputt')\")"));
    const std::string longText = "long: " + std::string(400, 'x');
    int frames = 0;
    oroot->onTrigger = [&] {
        clock.Set(++frames / 30.0);
        if (frames == 5) n_error("%s\n", longText.c_str());
        if (frames == 200) obs->Quit();
    };
    testing::internal::CaptureStdout();
    EXPECT_TRUE(obs->Run());
    testing::internal::GetCapturedStdout();
    oroot->onTrigger = nullptr;
    kernel->SetLogHandler(before);
    delete handler;

    std::vector<std::string> shown;
    for (int age = nChatBuffer::NumLines - 1; age >= 0; age--) {
        if (chat->GetBuffer().GetLine(age).length > 0) shown.push_back(chat->GetBuffer().GetLine(age).text);
    }
    // The long error in two rows, cut where the count would go.
    EXPECT_EQ(shown, (std::vector<std::string>{"/usr/logic/t: script of timer 'tick' failed (x200)",
                                               "long: " + std::string(73, 'x'), std::string(64, 'x') + "[...]"}));

    // The log has each line of every frame once, then its counts; the last ones written at close.
    std::ifstream in(logName);
    std::string line, last;
    int timerLines = 0, timerTimes = 0, luaLines = 0, luaTimes = 0;
    auto tally = [&line](const std::string& part, int& lines, int& times) {
        if (line.find(part) == std::string::npos) return;
        lines++;
        const size_t at = line.find(" (repeated ");
        times += at == std::string::npos ? 1 : std::atoi(line.c_str() + at + 11);
    };
    while (std::getline(in, line)) {
        tally("script of timer 'tick' failed", timerLines, timerTimes);
        tally(": kaputt", luaLines, luaTimes);
        if (line == longText) {
            EXPECT_EQ(timerLines, 1) << "a new line does not end the count so far";
        }
        last = line;
    }
    EXPECT_TRUE(timerTimes == 200 && luaTimes == 200 && timerLines <= 4 && luaLines <= 4)
        << timerTimes << " " << luaTimes << " " << timerLines << " " << luaLines;
    EXPECT_NE(last.find(" (repeated "), std::string::npos) << last;
    std::remove(logName.c_str());
}

TEST_F(ObserverTest, MissingServersStopTheFrameExceptParticleAndChat) {
    Lookup("/sys/servers/particle")->Release();
    chat->Release();
    ASSERT_TRUE(FrameAt(0.03));
    EXPECT_TRUE(Events("particle").empty());
    EXPECT_EQ(FrameLog().back(), "input flush");

    Lookup("/sys/servers/gfx2d")->Release();
    EXPECT_EXIT(FrameAt(0.06), ::testing::ExitedWithCode(3), "Aborting.");
}

// A timer script that deletes the graph or the observer while the frame runs: the frame
// finishes on the object it holds, which is out of the tree at once and freed once its
// frame returned. Under the sanitizers a read of the freed graph or observer fails here.
TEST_F(ObserverTest, TimerScriptsDeletingTheGraphOrObserverLetTheFrameFinish) {
    // The logic root deleted by its own child's timer: the frame's passes still get it,
    // the next frame runs without the logic.
    NewNode("/usr/logic/t", "");
    ASSERT_TRUE(Run("obj('/usr/logic/t').addtimer('kill', 'oneshot', 0, 0, \"delete('/usr/logic')\")"));
    oroot->onTrigger = nullptr;
    ASSERT_TRUE(FrameAt(0.03));
    EXPECT_EQ(Lookup("/usr/logic"), nullptr);
    EXPECT_EQ(Events("lgraph traverse").size(), 1u);
    ASSERT_TRUE(FrameAt(0.06));
    EXPECT_EQ(Count(log.text, "logic root '/usr/logic'"), 1);

    oroot = static_cast<nObsRoot*>(kernel->New("nobsroot", "/usr/logic"));
    NewNode("/usr/logic/box", "cp");
    NewNode("/usr/logic/hud", "2");
    NewNode("/usr/logic/t", "");
    logicEvents.clear();
    ASSERT_TRUE(Run("obj('/usr/logic/t').addtimer('kill', 'oneshot', 0, 0, \"delete('/sys/servers/lgraph')\")"));
    ASSERT_TRUE(FrameAt(0.09));
    EXPECT_EQ(Lookup("/sys/servers/lgraph"), nullptr);
    EXPECT_EQ(Events("lgraph"), (Calls{"lgraph release", "lgraph traverse 0.03", "lgraph collisions",
                                       "lgraph step 0.03", "lgraph visual 0.09 0.03"}));
    EXPECT_EQ(FrameLog().back(), "input flush");
    // From the next use on the graph is a missing server.
    EXPECT_EXIT(FrameAt(0.12), ::testing::ExitedWithCode(3), "Aborting.");

    // The observer: the loop ends after the frame that deleted it, and it is freed then.
    graph = static_cast<nLogicGraph*>(kernel->New("nobsgraph", "/sys/servers/lgraph"));
    ASSERT_TRUE(Run("obj('/usr/logic/t').addtimer('kill', 'oneshot', 0, 0, \"delete('/sys/servers/observer')\")"));
    nRef<nRoot> alive(obs);
    int frames = 0;
    oroot->onTrigger = [&] {
        frames++;
        EXPECT_TRUE(alive.IsValid());
    };
    logicEvents.clear();
    EXPECT_TRUE(obs->Run());
    EXPECT_EQ(frames, 1);
    EXPECT_FALSE(alive.IsValid());
    EXPECT_EQ(Lookup("/sys/servers/observer"), nullptr);
    EXPECT_EQ(FrameLog().back(), "input flush");
    oroot->onTrigger = nullptr;
}
