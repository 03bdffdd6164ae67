// The game level: objects built from the store tree, the diver list and its switches,
// the zoom each frame, divers leaving and coming back, timers and module-state flags in
// the store, unloading and loading again, saving, and data that names nothing.
#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <string>

#include "anim/nEnvelope.h"
#include "game/nbwCamera.h"
#include "game/nbwDiver.h"
#include "game/nbwItem.h"
#include "game/nbwLevel.h"
#include "game/nbwStartPoint.h"
#include "collide/nCollideServer2.h"
#include "logic/nLogicInput.h"
#include "logic/nLogicInputServer.h"
#include "logic/nModAnimatorState.h"
#include "logic/nModule.h"
#include "logic/nPersistLogic.h"
#include "tests/game/GameTestKernel.h"

namespace {

// A diver whose tables order the level's values unlike the game's diver, so that reading
// them by the game's indices would hit other values.
class nLevelActor : public nTestSwimmer {
public:
    static const nClassInfo classInfo;
    enum Stat { Speed, ZoomScale, FadeTime, Heading, Transparency, Pitch, ZoomState };
    const char* const* GetStatNames() const override {
        static const char* const names[] = {"speed",        "zoomscale", "fadetime", "heading",
                                            "transparency", "pitch",     "zoomstate", nullptr};
        return names;
    }
    const char* const* GetFlagNames() const override {
        static const char* const names[] = {"headlight", "singleplayer", nullptr};
        return names;
    }
};
const nClassInfo nLevelActor::classInfo = nClassInfo::Make<nLevelActor>("nleveltestactor", "ntestswimmer");

class GameLevelTest : public GameTestKernel {
protected:
    void SetUp() override {
        GameTestKernel::SetUp();
        UseRealCameraServer();
        inputs = static_cast<nLogicInputServer*>(kernel->New("nlogicinputserver", "/sys/servers/logicinput"));
        kernel->New("nbaseobserver", "/sys/servers/observer");
        collide->NewContext("trigger");
        kernel->AddClass(nLevelActor::classInfo);

        kernel->New("nleveltestactor", "/usr/prototypes/diver");
        static_cast<nLogicInput*>(kernel->New("nlogicinput", "/usr/prototypes/diver/input"))->SetGroup("diver");
        kernel->New("nbwitem", "/usr/prototypes/item");
        kernel->New("nlogicnode", "/usr/prototypes/rock");

        Store("lvl", "");
        Store("lvl/bob", "diver");
        Store("lvl/ann", "diver");
        Store("lvl/box", "item");
        Store("lvl/rock", "rock");
        Store("lvl/rock/pebble", "item");

        ASSERT_TRUE(Run("seen = ''"));
        level = static_cast<nbwLevel*>(kernel->New("nbwlevel", "/usr/logic/level"));
        level->SetMapFile(Write("map.lua",
                                "new('nbwcamera', 'cam')\n"
                                "new('nbwstartpoint', 'start1') sel('start1') txyz(1, 2, 3) sel('..')\n"
                                "new('nbwstartpoint', 'start2') sel('start2') txyz(4, 5, 6) sel('..')\n")
                              .c_str());
        level->SetPersist("/usr/persist/lvl");
        level->SetCamera("cam");
        zoom = NewModule("/usr/zoom", nModule::Animator);
        level->AddAnimator("zoom_camera", "/usr/zoom");
        Bind("onadddiver", "add");
        Bind("onbeforeremovediver", "remove");
        level->LoadLevel();
        level->UpdateLevel();
    }

    nPersistLogic* Store(const std::string& path, const char* proto) {
        auto* s = static_cast<nPersistLogic*>(kernel->New("npersistlogic", ("/usr/persist/" + path).c_str()));
        if (proto[0]) s->SetS("prototype", proto);
        return s;
    }
    // The event's script adds "<tag>:<diver> " to the global `seen`.
    void Bind(const char* event, const char* tag) {
        level->SetEventScript(event, (std::string("seen = seen .. '") + tag + ":' .. obj('/sys/events/logicgraph/" +
                                      event + "').gets('diver') .. ' '")
                                         .c_str());
    }
    nRoot* Child(const char* name) { return Lookup((std::string("/usr/logic/level/") + name).c_str()); }
    // Null also for an object of another class.
    nLevelActor* Actor(const char* name) {
        nRoot* o = Child(name);
        return o && o->IsA("nleveltestactor") ? static_cast<nLevelActor*>(o) : nullptr;
    }
    nbwItem* Item(const char* name) { return static_cast<nbwItem*>(Lookup((std::string("/usr/logic/level/") + name).c_str())); }
    nbwStartPoint* Start(const char* name) {
        return static_cast<nbwStartPoint*>(Lookup((std::string("/usr/logic/level/") + name).c_str()));
    }
    nbwCamera* Cam() { return static_cast<nbwCamera*>(Lookup("/usr/logic/level/cam")); }
    bool Focused(const char* diver) {
        auto* in = static_cast<nLogicInput*>(Lookup((std::string("/usr/logic/level/") + diver + "/input").c_str()));
        return in && in->GetFocus();
    }
    std::string Cmd(const std::string& call) { return Eval("obj('/usr/logic/level')." + call); }

    nbwLevel* level = nullptr;
    nTestModule* zoom = nullptr;
    nLogicInputServer* inputs = nullptr;
};

TEST_F(GameLevelTest, StoresBecomeRestoredClonesAndActorsBecomeDivers) {
    for (const char* name : {"bob", "ann", "box", "rock", "rock/pebble"}) {
        auto* n = static_cast<nLogicNode*>(Lookup((std::string("/usr/logic/level/") + name).c_str()));
        ASSERT_NE(n, nullptr) << name;
        EXPECT_EQ(n->GetPersistPath(), std::string("/usr/persist/lvl/") + name);
        EXPECT_EQ(n->GetTime(), 0.0f);
    }
    EXPECT_EQ(level->GetDiverCount(), 2);
    EXPECT_EQ(Cmd("getdiver(0)"), "/usr/logic/level/bob");
    EXPECT_EQ(Cmd("getdiver(1)"), "/usr/logic/level/ann");
    EXPECT_EQ(Cmd("getdiver(2)"), "none");
    EXPECT_EQ(Cmd("getdiver(-1)"), "none");
    EXPECT_EQ(level->GetPendingDiver(), Actor("ann"));
    EXPECT_EQ(Cmd("getactivediver()"), "none");
    // By name in the actor's own tables: index 16 or flag 3 do not even exist here.
    nLevelActor* bob = Actor("bob");
    EXPECT_EQ(bob->GetStat(nLevelActor::ZoomState), 1.0f);
    EXPECT_FALSE(bob->GetFlag(1));
    EXPECT_STREQ(Item("box")->GetString(nbwItem::Owner), "none");
    EXPECT_STREQ(Item("rock/pebble")->GetString(nbwItem::Owner), "none");
    // What the clone had is in its store at once.
    EXPECT_STREQ(static_cast<nPersist*>(Lookup("/usr/persist/lvl/box"))->GetS("owner"), "none");

    // The "onadddiver" events fire at the event server's next pass, each with its name.
    EXPECT_EQ(Global("seen"), "");
    GameFrame(0.1f);
    EXPECT_EQ(Global("seen"), "add:bob add:ann ");

    // Updating again clones nothing twice, but reaches new stores below existing objects.
    Store("lvl/rock/stone", "item");
    nRoot* pebble = Child("rock/pebble");
    level->UpdateLevel();
    EXPECT_EQ(Child("rock/pebble"), pebble);
    EXPECT_NE(Child("rock/stone"), nullptr);
    EXPECT_EQ(level->GetDiverCount(), 2);
    EXPECT_EQ(Lookup("/usr/logic/level")->GetNumChildren(), 7);
}

TEST_F(GameLevelTest, BuildingInsideAFencedCallLeavesTheCallersFence) {
    // A data file's command that built a clone lifted its fence for the rest of the command.
    nRoot* outside = kernel->New("nroot", "/outside");
    Store("lvl/late", "item");
    kernel->SetLookupFence(Lookup("/usr"), Lookup("/sys"));
    level->UpdateLevel();
    nRoot* found = kernel->Lookup("/outside");
    kernel->SetLookupFence(nullptr);
    EXPECT_NE(Child("late"), nullptr);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(kernel->Lookup("/outside"), outside);
}

TEST_F(GameLevelTest, MissingDataIsLoggedAndOnlyThatPartSkipped) {
    // A prototype that does not exist skips the store's subtree; the rest is built.
    Store("lvl/ghost", "nosuch");
    Store("lvl/ghost/inner", "item");
    Store("lvl/plain", "");
    Store("lvl/late", "item");
    level->UpdateLevel();
    EXPECT_TRUE(LogHas("no prototype 'nosuch'"));
    EXPECT_TRUE(LogHas("names no prototype text"));
    EXPECT_EQ(Child("ghost"), nullptr);
    EXPECT_NE(Child("late"), nullptr);

    Lookup("/usr/prototypes")->Release();
    Store("lvl/later", "item");
    level->UpdateLevel();
    EXPECT_TRUE(LogHas("'/usr/prototypes' does not exist"));
    EXPECT_EQ(Child("later"), nullptr);

    Lookup("/usr/persist/lvl")->Release();
    level->UpdateLevel();
    EXPECT_TRUE(LogHas("nothing built"));

    // Camera paths that name nothing or no camera: logged once, the rest still runs.
    level->SetCamera("nothere");
    EXPECT_EQ(Cmd("getcamera()"), "none");
    GameFrame(0.1f);
    GameFrame(0.1f);
    EXPECT_EQ(level->GetActiveDiver(), Actor("ann"));
    size_t first = log.text.find("'nothere' names nothing");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(log.text.find("'nothere' names nothing", first + 1), std::string::npos);
    level->SetCamera("start1");
    level->SetCamPos(1, 2, 3);
    EXPECT_TRUE(LogHas("'start1' names no nbwcamera"));

    // An actor a script deleted leaves the list.
    ASSERT_TRUE(Run("delete('/usr/logic/level/bob')"));
    EXPECT_EQ(level->GetDiverCount(), 1);
    EXPECT_EQ(Cmd("getdiver(0)"), "/usr/logic/level/ann");
    EXPECT_TRUE(LogHas("dropped from the list"));

    // Inserting a diver that was never kept, or with no level store, changes nothing.
    level->InsertDiver("nobody");
    EXPECT_TRUE(LogHas("no kept store 'nobody'"));
    kernel->New("nenvelopeserver", "/sys/servers/envelope");
    EXPECT_EQ(level->FindZoomEnvelope("nonea"), nullptr);
    EXPECT_TRUE(LogHas("no zoom envelope 'nonea'"));
    const std::string bad = Path("missing.nea");
    EXPECT_EQ(level->FindZoomEnvelope(bad.c_str()), nullptr);
    EXPECT_TRUE(LogHas("key file '" + bad + "' did not load"));
    // A failed load leaves no envelope under the name.
    EXPECT_EQ(level->FindZoomEnvelope("nonea"), nullptr);
}

TEST_F(GameLevelTest, TriggerSwitchesAndNextPrevWrap) {
    GameFrame(0.1f);
    nLevelActor* ann = Actor("ann");
    nLevelActor* bob = Actor("bob");
    EXPECT_EQ(Cmd("getactivediver()"), "/usr/logic/level/ann");
    EXPECT_EQ(Cam()->GetTarget(), "/usr/logic/level/ann");
    EXPECT_TRUE(Focused("ann"));
    EXPECT_EQ(level->GetPendingDiver(), nullptr);

    // ann is last: next wraps to bob; ann, left behind, becomes fully visible.
    ann->SetStat(nLevelActor::Transparency, 0.3f);
    ASSERT_TRUE(Run("obj('/usr/logic/level').nextdiver()"));
    EXPECT_EQ(level->GetActiveDiver(), ann);  // not before the next frame
    GameFrame(0.1f);
    EXPECT_EQ(level->GetActiveDiver(), bob);
    EXPECT_EQ(ann->GetStat(nLevelActor::Transparency), 1.0f);
    EXPECT_TRUE(Focused("bob"));
    EXPECT_FALSE(Focused("ann"));
    EXPECT_EQ(Cam()->GetTarget(), "/usr/logic/level/bob");

    // bob is first: prev wraps to ann.
    level->PrevDiver();
    GameFrame(0.1f);
    EXPECT_EQ(level->GetActiveDiver(), ann);

    ASSERT_TRUE(Run("sel('/usr/logic/level') activatediver('bob') sel('/')"));
    GameFrame(0.1f);
    EXPECT_EQ(level->GetActiveDiver(), bob);
    ASSERT_TRUE(Run("sel('/usr/logic/level') activatediver('box') sel('/')"));
    EXPECT_TRUE(LogHas("'box' is no nbwactor"));
    EXPECT_EQ(level->GetPendingDiver(), nullptr);
}

TEST_F(GameLevelTest, OnlyADiverWithItsKeysIsSwitchedTo) {
    // The basket: an "nbwdiver" without keys of its own, last in the list.
    kernel->New("nbwelevator", "/usr/prototypes/basket");
    Store("lvl/basket", "basket");
    level->UpdateLevel();
    nRoot* basket = Child("basket");
    ASSERT_NE(basket, nullptr);
    EXPECT_EQ(level->GetDiverCount(), 3);
    EXPECT_EQ(level->GetPendingDiver(), Actor("ann"));  // the last one built that can be steered
    GameFrame(0.1f);
    nLevelActor* ann = Actor("ann");
    nLevelActor* bob = Actor("bob");
    ASSERT_EQ(level->GetActiveDiver(), ann);

    // Next and previous pass over it.
    level->NextDiver();
    GameFrame(0.1f);
    EXPECT_EQ(level->GetActiveDiver(), bob);
    level->PrevDiver();
    GameFrame(0.1f);
    EXPECT_EQ(level->GetActiveDiver(), ann);

    // Asked for by a click or a script, it is refused with one line and nothing changes.
    ASSERT_TRUE(Run("obj('/usr/logic/level').activatediver('/usr/logic/level/basket')"));
    GameFrame(0.1f);
    GameFrame(0.1f);
    EXPECT_EQ(level->GetActiveDiver(), ann);
    EXPECT_EQ(level->GetPendingDiver(), nullptr);
    EXPECT_EQ(Cam()->GetTarget(), "/usr/logic/level/ann");
    EXPECT_TRUE(Focused("ann"));
    EXPECT_EQ(Count(log.text, "is no nbwdiver"), 1);
    EXPECT_TRUE(LogHas("/usr/logic/level: the diver '/usr/logic/level/basket' is no nbwdiver with an nlogicinput "
                       "'input'; the active diver stays\n"));

    // A diver that lost its keys is refused the same way.
    bob->FindChild("input")->Release();
    level->ActivateDiver(bob);
    GameFrame(0.1f);
    EXPECT_EQ(level->GetActiveDiver(), ann);
    EXPECT_EQ(Count(log.text, "is no nbwdiver"), 2);
}

TEST_F(GameLevelTest, ZoomDrivesTransparencyElasticityAndTheZoomAnimators) {
    GameFrame(0.1f);
    nLevelActor* ann = Actor("ann");
    ann->SetStat(nLevelActor::ZoomState, 0.1f);
    logicEvents.clear();
    GameFrame(0.1f);
    EXPECT_NEAR(ann->GetStat(nLevelActor::Transparency), 0.5f, 1e-6f);
    EXPECT_NEAR(Cam()->GetElasticity(0), 0.01f, 1e-6f);
    EXPECT_NEAR(Cam()->GetElasticity(1), 0.09f, 1e-6f);
    EXPECT_EQ(Events("animate zoom"), std::vector<std::string>{"animate zoom 0.1"});
    EXPECT_EQ(level->GetZoomState()->GetTime(), 0.1f);

    for (float z : {0.2f, 3.0f}) {
        ann->SetStat(nLevelActor::ZoomState, z);
        GameFrame(0.1f);
        EXPECT_EQ(ann->GetStat(nLevelActor::Transparency), 1.0f) << z;
    }
    // While a fade runs the level leaves the transparency alone.
    ann->SetStat(nLevelActor::ZoomState, 0.0f);
    ann->SetStat(nLevelActor::FadeTime, 0.5f);
    GameFrame(0.1f);
    EXPECT_EQ(ann->GetStat(nLevelActor::Transparency), 1.0f);
}

TEST_F(GameLevelTest, CameraOffsetsForAnActorThatIsNoDiver) {
    // A land character is switched to by no one, but a script may set it active.
    kernel->New("nbwcharacter", "/usr/prototypes/walker");
    Store("lvl/walker", "walker");
    level->UpdateLevel();
    GameFrame(0.1f);
    level->SetActiveDiver("walker");
    auto* walker = static_cast<nbwActor*>(Child("walker"));
    ASSERT_EQ(level->GetActiveDiver(), walker);
    const char* const* stats = walker->GetStatNames();
    walker->SetStat(nbwActor::NameIndex(stats, "heading"), 3.0f);
    walker->SetStat(nbwActor::NameIndex(stats, "pitch"), 0.5f);
    walker->SetStat(nbwActor::NameIndex(stats, "zoomscale"), 10.0f);
    ASSERT_TRUE(Run("obj('/usr/logic/level').setcampos(1, 2, 3)"));
    const vector3& p = Cam()->GetOffsetPos();
    EXPECT_FLOAT_EQ(p.x, 1.0f - 2.0f);
    EXPECT_FLOAT_EQ(p.y, 2.0f + 0.5f);
    EXPECT_FLOAT_EQ(p.z, 3.0f);
    EXPECT_EQ(Cam()->GetLookAt(), "/usr/logic/level/walker");

    level->SetCamRot(0.3f, -0.7f, 1.1f);
    quaternion qx(std::sin(0.15f), 0, 0, std::cos(0.15f));
    quaternion qy(0, std::sin(-0.35f), 0, std::cos(-0.35f));
    quaternion qz(0, 0, std::sin(0.55f), std::cos(0.55f));
    quaternion want = qx * qy * qz;
    const quaternion& q = Cam()->GetOffsetQuat();
    EXPECT_NEAR(q.x, want.x, 1e-5f);
    EXPECT_NEAR(q.y, want.y, 1e-5f);
    EXPECT_NEAR(q.z, want.z, 1e-5f);
    EXPECT_NEAR(q.w, want.w, 1e-5f);
    // Order matters: z·y·x is another rotation.
    quaternion other = qz * qy * qx;
    EXPECT_GT(std::fabs(other.x - want.x) + std::fabs(other.z - want.z), 1e-3f);
}

TEST_F(GameLevelTest, RemovedDiversWaitInThePersistRootAndComeBackAtAFreeStart) {
    GameFrame(0.1f);
    nLevelActor* bob = Actor("bob");
    bob->SetStat(nLevelActor::Speed, 7.0f);
    ASSERT_TRUE(Run("obj('/usr/logic/level').removediver('ann')"));
    // The event runs at once, before the diver goes.
    EXPECT_EQ(Global("seen"), "add:bob add:ann remove:ann ");
    EXPECT_EQ(Actor("ann"), nullptr);
    EXPECT_EQ(level->GetDiverCount(), 1);
    EXPECT_EQ(level->GetPendingDiver(), bob);
    auto* kept = static_cast<nPersist*>(Lookup("/usr/persist/ann"));
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(Lookup("/usr/persist/lvl/ann"), nullptr);
    EXPECT_STREQ(kept->GetS("hand"), "inventory/hand");
    GameFrame(0.1f);
    EXPECT_EQ(level->GetActiveDiver(), bob);
    EXPECT_TRUE(Focused("bob"));

    // A name in no entry only fires the event.
    level->RemoveDiver("box");
    EXPECT_NE(Child("box"), nullptr);

    // Back at the last free start point.
    EXPECT_EQ(Cmd("getfreestart()"), "/usr/logic/level/start2");
    level->InsertDiver("ann");
    nLevelActor* ann = Actor("ann");
    ASSERT_NE(ann, nullptr);
    EXPECT_EQ(Lookup("/usr/persist/ann"), nullptr);
    float x, y, z, w;
    static_cast<nPersist*>(Lookup("/usr/persist/lvl/ann"))->GetV("txyz", x, y, z, w);
    EXPECT_EQ(vector3(x, y, z), vector3(4, 5, 6));
    EXPECT_EQ(ann->GetPosition(), vector3(4, 5, 6));
    EXPECT_STREQ(static_cast<nPersist*>(Lookup("/usr/persist/lvl/ann"))->GetS("hand"), "inventory/hand");
    EXPECT_FALSE(Start("start2")->GetEmptyStatus());
    EXPECT_EQ(Cmd("getfreestart()"), "/usr/logic/level/start1");
    EXPECT_EQ(level->GetDiverCount(), 2);
    EXPECT_EQ(level->GetPendingDiver(), ann);

    // With no free point nothing moves.
    level->RemoveDiver("ann");
    Start("start1")->SetEmptyStatus(false);
    EXPECT_EQ(Cmd("getfreestart()"), "none");
    level->InsertDiver("ann");
    EXPECT_NE(Lookup("/usr/persist/ann"), nullptr);
    EXPECT_EQ(Actor("ann"), nullptr);
    EXPECT_TRUE(LogHas("no free start point for 'ann'"));
}

TEST_F(GameLevelTest, TheOnlyDiverRemovedAndBroughtBackIsSwitchedToAgain) {
    level->RemoveDiver("bob");
    GameFrame(0.1f);
    EXPECT_EQ(level->GetActiveDiver(), Actor("ann"));
    level->RemoveDiver("ann");
    EXPECT_EQ(level->GetDiverCount(), 0);
    // The pending reference named the removed diver: no switch follows.
    EXPECT_EQ(level->GetPendingDiver(), nullptr);
    GameFrame(0.1f);
    EXPECT_EQ(Cmd("getactivediver()"), "none");
    // Same name, new object: it must get the camera and the input again.
    level->InsertDiver("ann");
    Cam()->SetTarget("none");
    GameFrame(0.1f);
    EXPECT_EQ(level->GetActiveDiver(), Actor("ann"));
    EXPECT_EQ(Cam()->GetTarget(), "/usr/logic/level/ann");
    EXPECT_TRUE(Focused("ann"));
}

// A kept diver whose store would lie deeper than a save holds below the level's store
// stays kept: the next save must load. One level less, and it comes back.
TEST_F(GameLevelTest, AKeptDiverWhoseStoreWouldLieTooDeepStaysKept) {
    level->RemoveDiver("ann");
    nRoot* at = Lookup("/usr/persist/ann");
    ASSERT_NE(at, nullptr);
    while (at->GetHead()) at = at->GetHead();
    std::string deepest = at->GetFullName();
    for (int d = int(std::count(deepest.begin(), deepest.end(), '/')) - 2; d < nPersist::MaxSaveDepth; d++) {
        deepest += "/d";
        kernel->New("nroot", deepest.c_str());
    }
    level->InsertDiver("ann");
    EXPECT_NE(Lookup("/usr/persist/ann"), nullptr);
    EXPECT_EQ(Actor("ann"), nullptr);
    EXPECT_TRUE(LogHas("v_insertdiver: '/usr/persist/ann' would lie more than 16 levels deep in a save; it stays kept"))
        << log.text;
    Lookup(deepest.c_str())->Release();
    level->InsertDiver("ann");
    EXPECT_NE(Actor("ann"), nullptr);
    // What lay below it came along, as deep as a save holds.
    const size_t root = std::string("/usr/persist").size();
    EXPECT_NE(Lookup(("/usr/persist/lvl" + deepest.substr(root, deepest.size() - root - 2)).c_str()), nullptr);
}

TEST_F(GameLevelTest, TimersAndStateFlagsGoThroughTheStore) {
    level->AddTimer("tick", "loop", 0.25f, 2.0f, "x = 1");
    level->AddTimer("once", "oneshot", 0.0f, 5.0f, "y = 2");
    level->SetHandlerActive("animation", "zoom_camera", false);
    auto* store = static_cast<nPersistLogic*>(Lookup("/usr/persist/lvl"));
    level->StoreToPersist(store);
    EXPECT_EQ(store->GetI("active"), 1);
    EXPECT_EQ(store->GetI("handler_zoom_camera_animation"), 0);
    EXPECT_EQ(store->GetI("handler_fader_visualizer"), 1);
    EXPECT_EQ(store->GetI("timercount"), 2);
    EXPECT_STREQ(store->GetS("timer_0_name"), "tick");
    EXPECT_STREQ(store->GetS("timer_0_type"), "loop");
    EXPECT_STREQ(store->GetS("timer_0_script"), "x = 1");
    EXPECT_EQ(store->GetF("timer_0_time"), 2.0f);
    EXPECT_EQ(store->GetF("timer_0_starttime"), 0.25f);
    EXPECT_STREQ(store->GetS("timer_1_type"), "oneshot");

    level->DeleteTimers();
    level->SetHandlerActive("animation", "zoom_camera", true);
    store->SetS("timer_1_type", "weekly");
    level->RestoreFromPersist(store);
    ASSERT_EQ(level->GetNumTimers(), 2);
    const nLogicTimer* tick = level->FindTimer("tick");
    EXPECT_EQ(tick->repeat, nLogicTimer::Loop);
    EXPECT_EQ(tick->period, 2.0f);
    EXPECT_EQ(tick->time, 0.25f);
    EXPECT_STREQ(tick->script.Get(), "x = 1");
    EXPECT_EQ(level->FindTimer("once")->repeat, nLogicTimer::OneShot);
    EXPECT_FALSE(level->GetZoomState()->GetEnabled());

    // A timer entry of the wrong type is skipped, the others restore.
    level->DeleteTimers();
    store->RemoveVar("timer_0_time");
    store->SetI("timer_0_time", 3);
    level->RestoreFromPersist(store);
    EXPECT_EQ(level->GetNumTimers(), 1);
    EXPECT_TRUE(LogHas("'timer_0_time' is missing or of another type"));
}

TEST_F(GameLevelTest, UnloadKeepsEverythingAndLoadingAgainGivesItBack) {
    GameFrame(0.1f);
    level->SetEventScript("onshutdown", "seen = seen .. 'shutdown '");
    Actor("bob")->SetStat(nLevelActor::Speed, 4.5f);
    Item("box")->SetFloatByName("weight", 12.0f);
    level->AddTimer("tick", "loop", 0.5f, 3.0f, "x = 1");
    level->UnloadLevel();
    EXPECT_EQ(Global("seen"), "add:bob add:ann shutdown remove:bob remove:ann ");
    EXPECT_EQ(Lookup("/usr/logic/level")->GetNumChildren(), 0);
    EXPECT_EQ(level->GetNumTimers(), 0);
    EXPECT_NE(Lookup("/usr/persist/bob"), nullptr);
    EXPECT_NE(Lookup("/usr/persist/ann"), nullptr);
    EXPECT_EQ(level->GetDiverCount(), 0);

    level->LoadLevel();
    level->SetPersist("/usr/persist/lvl");
    level->UpdateLevel();
    level->InsertDiver("bob");
    level->InsertDiver("ann");
    EXPECT_EQ(Actor("bob")->GetStat(nLevelActor::Speed), 4.5f);
    EXPECT_EQ(Item("box")->GetFloatByName("weight"), 12.0f);
    EXPECT_NE(Child("rock/pebble"), nullptr);
    ASSERT_NE(level->FindTimer("tick"), nullptr);
    EXPECT_EQ(level->FindTimer("tick")->period, 3.0f);
    EXPECT_EQ(level->GetDiverCount(), 2);
    // bob went to the last free start, ann to the one before.
    EXPECT_EQ(Actor("bob")->GetPosition(), vector3(4, 5, 6));
    EXPECT_EQ(Actor("ann")->GetPosition(), vector3(1, 2, 3));
}

TEST_F(GameLevelTest, SavesCameraAndActiveDiverWhenTheyResolve) {
    ASSERT_TRUE(level->SaveAs(Path("none").c_str()));
    std::string text = Slurp(Path("none.n"));
    EXPECT_NE(text.find("setcamera( \"/usr/logic/level/cam\" )"), std::string::npos) << text;
    EXPECT_EQ(text.find("setactivediver"), std::string::npos);

    GameFrame(0.1f);
    ASSERT_TRUE(level->SaveAs(Path("lvl").c_str()));
    text = Slurp(Path("lvl.n"));
    EXPECT_NE(text.find("setactivediver( \"/usr/logic/level/ann\" )"), std::string::npos) << text;
    level->SetCamera("gone");
    ASSERT_TRUE(level->SaveAs(Path("nocam").c_str()));
    EXPECT_EQ(Slurp(Path("nocam.n")).find("setcamera"), std::string::npos);
    level->SetCamera("cam");

    // Loaded beside the original, it names the same camera and diver.
    kernel->SetCwd(kernel->New("nroot", "/usr/copy"));
    nRoot* back = kernel->Load(Path("lvl.n").c_str());
    kernel->SetCwd(nullptr);
    ASSERT_NE(back, nullptr) << log.text;
    ASSERT_TRUE(back->SaveAs(Path("again").c_str()));
    EXPECT_EQ(Slurp(Path("again.n")), text);
}

}  // namespace

namespace {

// A land character keeps its values in another order than a diver: the level must reach
// its zoom, not its head, and must not fade it.
TEST_F(GameLevelTest, ALandCharacterIsZoomedByNameAndItsHeadLeftAlone) {
    auto* proto = static_cast<nbwActor*>(kernel->New("nbwcharacter", "/usr/prototypes/walker"));
    const char* const* stats = proto->GetStatNames();
    const int zoomstate = nbwActor::NameIndex(stats, "zoomstate");
    const int heading = nbwActor::NameIndex(stats, "heading");
    const int transparency = nbwActor::NameIndex(stats, "transparency");
    ASSERT_GE(zoomstate, 0);
    ASSERT_GE(heading, 0);
    proto->SetStat(zoomstate, 0.0f);
    proto->SetStat(heading, 0.25f);
    Store("lvl/walker", "walker");
    level->UpdateLevel();
    auto* walker = static_cast<nbwActor*>(Child("walker"));
    ASSERT_NE(walker, nullptr);
    // No diver to switch to: a script makes it the active one.
    EXPECT_EQ(level->GetPendingDiver(), Actor("ann"));
    EXPECT_EQ(walker->GetStat(zoomstate), 1.0f);
    EXPECT_EQ(walker->GetStat(heading), 0.25f);
    GameFrame(0.1f);
    level->SetActiveDiver("walker");
    walker->SetStat(zoomstate, 0.1f);
    GameFrame(0.1f);
    EXPECT_EQ(level->GetActiveDiver(), walker);
    EXPECT_NEAR(walker->GetStat(transparency), 0.5f, 1e-6f);
    EXPECT_EQ(walker->GetStat(heading), 0.25f);
}

}  // namespace

namespace {

// Only a diver is faded in as it is built, and only a diver's camera offset scales with
// its zoom.
TEST_F(GameLevelTest, ADiverIsFadedInAndScalesTheCameraOffset) {
    auto* proto = static_cast<nbwDiver*>(kernel->New("nbwdiver", "/usr/prototypes/frogman"));
    kernel->New("nlogicinput", "/usr/prototypes/frogman/input");
    proto->FadeTo(0.0f, 0.0f);
    Store("lvl/frogman", "frogman");
    level->UpdateLevel();
    auto* diver = static_cast<nbwDiver*>(Child("frogman"));
    ASSERT_NE(diver, nullptr);
    EXPECT_EQ(diver->GetStat(nbwDiver::Transparency), 1.0f);
    EXPECT_EQ(diver->GetStat(nbwDiver::Transparency2), 1.0f);
    EXPECT_EQ(diver->GetStat(nbwDiver::ZoomState), 1.0f);
    EXPECT_FALSE(diver->GetFlag(nbwDiver::SinglePlayer));
    // The test actors have no fade: their transparency stays as their prototype's.
    EXPECT_EQ(Actor("bob")->GetStat(nLevelActor::Transparency), 0.0f);

    GameFrame(0.1f);
    ASSERT_EQ(level->GetActiveDiver(), diver);
    diver->SetStat(nbwDiver::ZoomScale, 2.0f);
    Cam()->SetLookAt("");
    level->SetCamPos(1, -2, 3);
    EXPECT_EQ(Cam()->GetOffsetPos(), vector3(2, -4, 6));
    EXPECT_NE(Cam()->GetLookAt(), "/usr/logic/level/frogman");
}

}  // namespace
