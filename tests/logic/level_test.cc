// The level node on the real base observer: map scripts run under the level, unloading,
// the fade and what its fader modules are handed, saving, scripts that unload the level
// from inside its own frame walk, and maps that are missing or fail.
#include <cstdlib>
#include <string>
#include <vector>

#include "kernel/nFileServer2.h"
#include "logic/nLogicLevel.h"
#include "logic/nModule.h"
#include "logic/nScriptEvent.h"
#include "logic/nVariableContext.h"
#include "scene/nChannelServer.h"
#include "scene/nVariableServer.h"
#include "tests/logic/ObserverFixture.h"

namespace {

// A level whose load commands show that they reach the subclass.
class nTestLevel : public nLogicLevel {
public:
    static const nClassInfo classInfo;
    void LoadLevel() override {
        logicEvents.push_back("own load");
        nLogicLevel::LoadLevel();
    }
    void UnloadLevel() override {
        logicEvents.push_back("own unload");
        nLogicLevel::UnloadLevel();
    }
};
const nClassInfo nTestLevel::classInfo = nClassInfo::Make<nTestLevel>("ntestlevel", "nlogiclevel");

// A logic node that logs its Setup and the current object at that moment.
class nSetupProbe : public nLogicNode {
public:
    static const nClassInfo classInfo;
    void Setup() override {
        logicEvents.push_back(std::string("setup ") + GetName());
        nLogicNode::Setup();
    }
};
const nClassInfo nSetupProbe::classInfo = nClassInfo::Make<nSetupProbe>("nsetupprobe", "nlogicnode");

// A visualizer module that keeps the "time" and "transparenz" values it is handed.
class nFaderProbe : public nModule {
public:
    static const nClassInfo classInfo;
    struct Seen {
        float time, transparenz;
    };
    int GetType() const override { return Visualizer; }
    void Visualize(const matrix44&, nSceneGraph2*, nVariableContext* vars) override {
        auto* vs = static_cast<nVariableServer*>(nKernelServer::ks->Lookup("/sys/servers/variable"));
        nVariable* t = vars ? vars->Find(vs->GetVariableHandleByName("time")) : nullptr;
        nVariable* f = vars ? vars->Find(vs->GetVariableHandleByName("transparenz")) : nullptr;
        seen.push_back({t ? t->GetF() : -1.0f, f ? f->GetF() : -1.0f});
    }
    std::vector<Seen> seen;
};
const nClassInfo nFaderProbe::classInfo = nClassInfo::Make<nFaderProbe>("nfaderprobe", "nmodule");

class LevelTest : public ObserverFixture {
protected:
    void SetUp() override {
        ObserverFixture::SetUp();
        for (const nClassInfo* ci : {&nTestLevel::classInfo, &nSetupProbe::classInfo, &nFaderProbe::classInfo}) {
            kernel->AddClass(*ci);
        }
        level = static_cast<nLogicLevel*>(kernel->New("ntestlevel", "/usr/logic/level"));
        StartClock();
    }
    // Frames of `dt` seconds after `t`, `n` of them; the time after the last.
    double Frames(double t, double dt, int n) {
        for (int i = 0; i < n; i++) {
            t += dt;
            EXPECT_TRUE(FrameAt(t));
        }
        return t;
    }
    // A map file in the test's folder with the script `text`.
    std::string Map(const char* name, const std::string& text) {
        std::string path = Write(name, text);
        level->SetMapFile(path.c_str());
        return path;
    }
    int Children(nRoot* o) const { return o->GetNumChildren(); }

    nLogicLevel* level = nullptr;
};

TEST_F(LevelTest, LoadingRunsTheMapUnderTheLevelSetsItUpAndRestoresTheCurrentObject) {
    Map("map.n",
        "runs = (runs or 0) + 1; during = fullcwd(); new('nsetupprobe', 'floor'); new('nsetupprobe', 'rock')"
        " sel('rock'); new('nsetupprobe', 'moss')");
    kernel->SetCwd(kernel->Lookup("/usr"));
    ASSERT_TRUE(Run("l = obj('/usr/logic/level'); l.loadlevel(); map = l.getmapfile()"));
    // The command reaches the subclass's own LoadLevel; Setup reaches children and grandchildren.
    EXPECT_EQ(logicEvents, (std::vector<std::string>{"own load", "setup floor", "setup rock", "setup moss"}));
    EXPECT_EQ(Global("during"), "/usr/logic/level");
    EXPECT_EQ(Global("map"), Path("map.n"));
    EXPECT_EQ(kernel->GetCwd(), kernel->Lookup("/usr"));
    EXPECT_NE(Lookup("/usr/logic/level/rock/moss"), nullptr);
    EXPECT_TRUE(level->IsLoaded());

    // Loading again runs the map again; what exists already is kept.
    level->LoadLevel();
    EXPECT_EQ(Global("runs"), "2");
    EXPECT_EQ(Children(level), 2);
    kernel->SetCwd(nullptr);
    EXPECT_FALSE(LogHas("v_loadlevel")) << log.text;
}

TEST_F(LevelTest, UnloadingReleasesEveryChildAndTheTimersAndTheLevelLoadsAgain) {
    Map("map.n", "new('nsetupprobe', 'a'); sel('a'); new('nsetupprobe', 'b')");
    level->LoadLevel();
    kernel->New("nsetupprobe", "/usr/logic/level/later");
    level->AddTimer("tick", "loop", 0.0f, 1.0f, "x = 1");
    nRef<nRoot> b(Lookup("/usr/logic/level/a/b"));
    logicEvents.clear();
    ASSERT_TRUE(Run("obj('/usr/logic/level').unloadlevel()"));
    EXPECT_EQ(logicEvents, (std::vector<std::string>{"own unload"}));
    EXPECT_EQ(Children(level), 0);
    EXPECT_FALSE(b.IsValid());
    EXPECT_EQ(level->GetNumTimers(), 0);
    EXPECT_FALSE(level->IsLoaded());
    // An unloaded level runs its frame like any other.
    EXPECT_TRUE(FrameAt(0.02));

    level->LoadLevel();
    EXPECT_NE(Lookup("/usr/logic/level/a/b"), nullptr);
    EXPECT_EQ(Lookup("/usr/logic/level/later"), nullptr);
}

TEST_F(LevelTest, FadesAtFiftyFramesASecondAndHandsTheFaderModulesTheirValues) {
    auto* probe = static_cast<nFaderProbe*>(kernel->New("nfaderprobe", "/usr/modules/fader"));
    level->AddVisualizer("fader", "/usr/modules/fader");
    EXPECT_EQ(level->GetFadeTime(), -1.0f);
    // The level's Trigger reads the frame time the observer wrote the frame before.
    double t = Frames(0.0, 0.02, 2);
    probe->seen.clear();
    const float timeBefore = level->GetTime();

    ASSERT_TRUE(Run("obj('/usr/logic/level').fadeto(1.0, 2.0)"));
    t = Frames(t, 0.02, 50);
    EXPECT_NEAR(level->GetTransparency(), 0.5f, 1e-4f);
    t = Frames(t, 0.02, 50);
    EXPECT_NEAR(level->GetTransparency(), 1.0f, 1e-5f);
    t = Frames(t, 0.02, 10);
    EXPECT_NEAR(level->GetTransparency(), 1.0f, 1e-5f);
    EXPECT_EQ(level->GetFadeTime(), 0.0f);

    // Every visualized frame the fader modules saw the node's time and the transparency.
    ASSERT_EQ(probe->seen.size(), 110u);
    EXPECT_NEAR(probe->seen[0].transparenz, 0.01f, 1e-5f);
    EXPECT_NEAR(probe->seen[49].transparenz, 0.5f, 1e-4f);
    EXPECT_NEAR(probe->seen[0].time, timeBefore + 0.02f, 1e-5f);
    EXPECT_NEAR(probe->seen.back().time, level->GetTime(), 1e-6f);
    EXPECT_NEAR(probe->seen.back().time, timeBefore + 2.2f, 1e-4f);

    // Time 0: the value at once and no fade; frames leave it.
    ASSERT_TRUE(Run("obj('/usr/logic/level').fadeto(0.3, 0)"));
    EXPECT_EQ(level->GetTransparency(), 0.3f);
    EXPECT_EQ(level->GetFadeTime(), 0.0f);
    t = Frames(t, 0.02, 5);
    EXPECT_EQ(level->GetTransparency(), 0.3f);
    EXPECT_EQ(probe->seen.back().transparenz, 0.3f);

    // Frames longer than the time left: the last step is cut, so the fade stops on its
    // target (a whole last step would reach 0.54).
    t = Frames(t, 0.3, 1);
    ASSERT_TRUE(Run("obj('/usr/logic/level').fadeto(0.5, 1.0)"));
    t = Frames(t, 0.3, 4);
    EXPECT_FLOAT_EQ(level->GetTransparency(), 0.5f);
    t = Frames(t, 0.3, 2);
    EXPECT_FLOAT_EQ(level->GetTransparency(), 0.5f);

    // Fading down below 0 clamps.
    level->FadeTo(-1.0f, 0.3f);
    Frames(t, 0.3, 1);
    EXPECT_EQ(level->GetTransparency(), 0.0f);
}

TEST_F(LevelTest, SavesTheVisualNodeThenTheMapFileAndLoadsBack) {
    auto* saved = static_cast<nLogicLevel*>(kernel->New("nlogiclevel", "/usr/logic/saved"));
    // Without a map file no map line.
    ASSERT_TRUE(saved->SaveAs(Path("empty").c_str()));
    EXPECT_EQ(Slurp(Path("empty.n")).find("setmapfile"), std::string::npos);

    saved->SetMapFile("levels/reef.n");
    saved->SetPosition(vector3(1.0f, 2.0f, 3.0f));
    ASSERT_TRUE(saved->SaveAs(Path("level").c_str()));
    const std::string golden = std::string(std::getenv("BW_SOURCE_DIR")) + "/tests/logic/golden/level.n";
    EXPECT_EQ(Slurp(Path("level.n")), Slurp(golden));

    kernel->SetCwd(kernel->New("nroot", "/usr/back"));
    nRoot* back = kernel->Load(golden.c_str());
    kernel->SetCwd(nullptr);
    ASSERT_NE(back, nullptr) << log.text;
    ASSERT_TRUE(back->IsA("nlogiclevel"));
    EXPECT_STREQ(static_cast<nLogicLevel*>(back)->GetMapFile(), "levels/reef.n");
    EXPECT_EQ(static_cast<nLogicLevel*>(back)->GetPosition().y, 2.0f);
}

TEST_F(LevelTest, ScriptsUnloadTheLevelFromInsideItsFrame) {
    // A grandchild's timer and a child's raised event unload the level while the walk is
    // inside it.
    Map("map.n", "new('nlogicnode', 'a'); sel('a'); new('nlogicnode', 'g'); sel('..'); new('nlogicnode', 'b')");
    const char* unload = "obj('/usr/logic/level').unloadlevel()";
    auto load = [&] {
        level->LoadLevel();
        ASSERT_EQ(Children(level), 2);
    };
    auto frameCompletes = [&](double t) {
        logicEvents.clear();
        EXPECT_TRUE(FrameAt(t));
        EXPECT_EQ(Children(level), 0);
        EXPECT_EQ(Events("gfx end").size(), 1u);
    };

    load();
    static_cast<nLogicNode*>(Lookup("/usr/logic/level/a/g"))->AddTimer("t", "oneshot", 0.0f, 0.0f, unload);
    frameCompletes(0.02);

    load();
    ASSERT_TRUE(Run(std::string("function bye() ") + unload + " end"));
    auto* a = static_cast<nLogicNode*>(Lookup("/usr/logic/level/a"));
    nScriptEvent* e = a->DeclareEvent("onboom", "v");
    a->AddEventFunction("onboom", "bye");
    a->AddPendingEvent(e);
    frameCompletes(0.04);
}

TEST_F(LevelTest, MissingOrFailingMapsAreLoggedAndTheLoadFinishes) {
    kernel->New("nsetupprobe", "/usr/logic/level/old");
    kernel->SetCwd(kernel->Lookup("/usr"));

    // A missing map: named in the log; the children still set up.
    level->SetMapFile(Path("nosuch.n").c_str());
    level->LoadLevel();
    EXPECT_TRUE(LogHas("nosuch.n"));
    EXPECT_EQ(logicEvents, (std::vector<std::string>{"own load", "setup old"}));
    EXPECT_EQ(kernel->GetCwd(), kernel->Lookup("/usr"));

    // A map failing halfway keeps what it made.
    logicEvents.clear();
    log.text.clear();
    Map("broken.n", "new('nsetupprobe', 'made')\nerror('boom')\nnew('nsetupprobe', 'never')");
    level->LoadLevel();
    EXPECT_TRUE(LogHas("broken.n"));
    EXPECT_TRUE(LogHas("boom"));
    EXPECT_EQ(logicEvents, (std::vector<std::string>{"own load", "setup old", "setup made"}));
    EXPECT_EQ(Lookup("/usr/logic/level/never"), nullptr);
    EXPECT_EQ(kernel->GetCwd(), kernel->Lookup("/usr"));

    // No map file: logged, nothing runs.
    logicEvents.clear();
    level->SetMapFile("");
    level->LoadLevel();
    EXPECT_TRUE(LogHas("no map file set"));
    EXPECT_EQ(logicEvents, (std::vector<std::string>{"own load"}));

    // A map that loads its own level again would never end: the inner load is refused.
    log.text.clear();
    Map("again.n", "runs = (runs or 0) + 1; obj('/usr/logic/level').loadlevel()");
    level->LoadLevel();
    EXPECT_EQ(Global("runs"), "1");
    EXPECT_TRUE(LogHas("still running"));
    level->LoadLevel();
    EXPECT_EQ(Global("runs"), "2");

    // A map that deletes its level: the current object comes back all the same.
    Map("gone.n", "delete('/usr/logic/level')");
    level->LoadLevel();
    EXPECT_EQ(Lookup("/usr/logic/level"), nullptr);
    EXPECT_EQ(kernel->GetCwd(), kernel->Lookup("/usr"));
    kernel->SetCwd(nullptr);
}

// A copy that a person's flow makes of a level whose map file data named keeps the map as
// data's: the copy's map runs with data's reach, not the person's.
TEST_F(LevelTest, ACopyOfALevelThatDataSetUpRunsItsMapAsDatas) {
    Write("map.n", "new('nroot', '/usr/escaped')");
    ASSERT_TRUE(kernel->GetFileServer()->SetAssign("maps", (dir.string() + "/").c_str()));
    kernel->New("nroot", "/usr/persist");
    const char* result = nullptr;
    ASSERT_TRUE(server->RunLine("new('nlogiclevel', '/usr/persist/l') obj('/usr/persist/l').setmapfile('maps:map.n')",
                                result));
    ASSERT_TRUE(Run("sel('/usr/logic') obj('/usr/persist/l').clone('copy') sel('/') obj('/usr/logic/copy').loadlevel()"));
    EXPECT_EQ(Lookup("/usr/escaped"), nullptr);
}

}  // namespace
