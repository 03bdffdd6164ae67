// Switches, doors and sand heaps: opening and closing with their animations and events,
// the hand on a switch, the cutting tool on a door, the sand remover on a heap and its
// sweep, saving and the persistent store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game/nbwDoor.h"
#include "game/nbwSandHeap.h"
#include "game/nbwSwitch.h"
#include "kernel/nClass.h"
#include "logic/nModAnimatorState.h"
#include "logic/nModule.h"
#include "logic/nPersistLogic.h"
#include "tests/game/GameTestKernel.h"
#include "tests/logic/CommandTable.h"
#include "tests/logic/nRecordingVisualizer.h"

namespace {

using Runs = std::vector<std::string>;

class DoorTest : public GameTestKernel {
protected:
    void SetUp() override {
        GameTestKernel::SetUp();
        // Recording animators: each logs the time it runs at.
        NewModule("/usr/modules/opening", nModule::Animator);
        NewModule("/usr/modules/closing", nModule::Animator);
    }
    template <class T>
    T* Make(const char* cls, const char* path) {
        auto* obj = static_cast<T*>(kernel->New(cls, path));
        EXPECT_TRUE(Run(std::string("sel('") + path + "')"));
        return obj;
    }
    // Animations on both states, counters on the events.
    void Wire(const char* path) {
        ASSERT_TRUE(Run(std::string("sel('") + path +
                        "') addmodule('animation', 'door_open', '/usr/modules/opening')"
                        " addmodule('animation', 'door_close', '/usr/modules/closing')"
                        " seteventscript('door_open', 'opened = (opened or 0) + 1')"
                        " seteventscript('door_close', 'closed = (closed or 0) + 1')"
                        " seteventscript('ondeath', 'dead = (dead or 0) + 1')"));
    }
    nbwItem* Tool(const char* cls, const char* path, const char* type, float damage) {
        auto* tool = static_cast<nbwItem*>(kernel->New(cls, path));
        tool->SetString(nbwItem::Type, type);
        tool->SetFloat(nbwItem::Damage, damage);
        return tool;
    }
    // A use as a diver makes it: the diver is the item's owner first.
    bool UseOn(nbwItem* target, nRoot* user) {
        if (!diver) diver = NewActor("/usr/logic/diver");
        target->SetString(nbwItem::Owner, "/usr/logic/diver");
        return target->Use(user);
    }
    // A frame and the animators' runs in it.
    Runs Frame(float dt) {
        logicEvents.clear();
        GameFrame(dt);
        return Events("animate");
    }

    nTestActor* diver = nullptr;
};

TEST_F(DoorTest, RegisterTheirCommandsInOrder) {
    const CommandTable kSwitch = {{"v_opendoor_v", "OPDO"},
                                  {"v_closedoor_v", "CLDO"},
                                  {"v_setopen_b", "SDOP"},
                                  {"b_getopen_v", "GDOP"}};
    CommandTable door = kSwitch;
    door.push_back({"v_setillumination_f", "SILM"});
    door.push_back({"f_getillumination_v", "GILM"});
    const CommandTable kHeap = {{"v_setsweepvalue_f", "SSWV"}, {"f_getsweepvalue_v", "GSWV"}};
    EXPECT_EQ(OwnCommands(kernel, "nbwswitch", kSwitch), kSwitch);
    EXPECT_EQ(OwnCommands(kernel, "nbwdoor", door), door);
    EXPECT_EQ(OwnCommands(kernel, "nbwsandheap", kHeap), kHeap);
}

TEST_F(DoorTest, OpeningAndClosingAnimateOneStateAFrameAndAnnounceInTheNextFrame) {
    auto* door = Make<nbwDoor>("nbwdoor", "/usr/logic/door");
    Wire("/usr/logic/door");
    ASSERT_TRUE(Run("setfloat('maxhitpoints', 5) setfloat('hitpoints', 5) setanimatorlenght('door_open', 2)"
                    " setanimatorlenght('door_close', 4) opendoor()"));
    EXPECT_EQ(door->GetFloat(nbwItem::Hitpoints), 0.0f);
    EXPECT_EQ(Eval("opened"), "nil");

    EXPECT_EQ(Frame(1.0f), Runs{"animate opening 1"});
    EXPECT_EQ(Eval("opened"), "1");
    EXPECT_EQ(Eval("dead"), "1");
    EXPECT_EQ(door->GetOpenStatus(), 0.5f);
    // The frame whose time reaches the length ends at exactly 1 and stops the state.
    EXPECT_EQ(Frame(1.0f), Runs{"animate opening 2"});
    EXPECT_EQ(door->GetOpenStatus(), 1.0f);
    EXPECT_EQ(Frame(1.0f), Runs{});

    // Closing restarts from 0, stops the opening state and restores the hitpoints.
    ASSERT_TRUE(Run("opendoor()"));
    EXPECT_EQ(Frame(0.5f), Runs{"animate opening 0.5"});
    ASSERT_TRUE(Run("closedoor()"));
    EXPECT_EQ(door->GetFloat(nbwItem::Hitpoints), 5.0f);
    EXPECT_EQ(Frame(1.0f), Runs{"animate closing 1"});
    EXPECT_EQ(door->GetOpenStatus(), 0.75f);
    EXPECT_EQ(Eval("closed"), "1");
    // Only one state a frame, the opening one first.
    ASSERT_TRUE(Run("sethandleractive('animation', 'door_open', true) setanimator('door_open', 0, 2)"));
    EXPECT_EQ(Frame(1.0f), Runs{"animate opening 1"});

    // Jumps: no event, the running state runs on and takes the status back.
    ASSERT_TRUE(Run("setopen(false)"));
    EXPECT_EQ(Frame(0.5f), Runs{"animate opening 1.5"});
    EXPECT_EQ(door->GetOpenStatus(), 0.75f);
    EXPECT_EQ(Eval("getopen()"), "1");
    EXPECT_EQ(Eval("opened"), "2");

    // A state without length completes in its first frame, even one without time.
    ASSERT_TRUE(Run("setanimatorlenght('door_close', 0) closedoor()"));
    EXPECT_EQ(Frame(0.0f), Runs{"animate closing 0"});
    EXPECT_EQ(door->GetOpenStatus(), 0.0f);
    ASSERT_TRUE(Run("setanimatorlenght('door_open', -1) opendoor()"));
    Frame(0.0f);
    EXPECT_EQ(door->GetOpenStatus(), 1.0f);
}

TEST_F(DoorTest, TheVisualReadsTheOpenStatus) {
    kernel->AddClass(nRecordingVisualizer::classInfo);
    auto* rec = static_cast<nRecordingVisualizer*>(kernel->New("nrecordingvisualizer", "/usr/modules/rec"));
    Make<nbwSwitch>("nbwswitch", "/usr/logic/switch");
    ASSERT_TRUE(Run("addvisualizer('default', '/usr/modules/rec') setanimatorlenght('door_open', 4) opendoor()"));
    GameFrame(1.0f);
    ASSERT_EQ(rec->order.back(), "door_open");
    EXPECT_EQ(rec->floats["door_open"], 0.25f);
    GameFrame(3.0f);
    EXPECT_EQ(rec->floats["door_open"], 1.0f);
}

TEST_F(DoorTest, ASwitchOpensByHandUnlessAScriptTakesTheUse) {
    auto* sw = Make<nbwSwitch>("nbwswitch", "/usr/logic/switch");
    Wire("/usr/logic/switch");
    nbwItem* hand = Tool("nbwitem", "/usr/logic/hand", "hand", 0.0f);
    nbwItem* stone = Tool("nbwitem", "/usr/logic/stone", "stein", 0.0f);
    nRoot* plain = kernel->New("nroot", "/usr/logic/plain");

    EXPECT_TRUE(sw->Use(stone));
    EXPECT_TRUE(sw->Use(plain));
    EXPECT_TRUE(sw->Use(nullptr));
    EXPECT_FALSE(sw->Use(hand));
    Frame(0.5f);
    EXPECT_EQ(Eval("opened"), "1");
    EXPECT_EQ(Eval("getopen()"), "1");

    // With "onuse" bound the script runs and the hand opens nothing.
    ASSERT_TRUE(Run("sel('/usr/logic/switch') setopen(false) seteventscript('onuse', 'used = 1')"));
    EXPECT_TRUE(Run("result = use('/usr/logic/hand')"));
    EXPECT_EQ(Eval("result"), "1");
    Frame(0.5f);
    EXPECT_EQ(Eval("used"), "1");
    EXPECT_EQ(Eval("opened"), "1");
    EXPECT_EQ(Eval("getopen()"), "nil");
}

TEST_F(DoorTest, TheCuttingToolTakesWhatItsDamageExceedsTheArmorAndOpensTheDoorAtZero) {
    auto* door = Make<nbwDoor>("nbwdoor", "/usr/logic/door");
    Wire("/usr/logic/door");
    ASSERT_TRUE(Run("setfloat('maxhitpoints', 5) setfloat('hitpoints', 5) setfloat('armor', 1)"));
    nbwItem* cutter = Tool("nbwcuttool", "/usr/logic/cutter", "schneidgeraet", 3.0f);
    nbwItem* blunt = Tool("nbwcuttool", "/usr/logic/blunt", "schneidgeraet", 1.0f);
    nbwItem* stone = Tool("nbwitem", "/usr/logic/stone", "stein", 9.0f);

    // Not a cutting tool: nothing happens, the owner stays.
    EXPECT_TRUE(UseOn(door, stone));
    EXPECT_STREQ(door->GetString(nbwItem::Owner), "/usr/logic/diver");
    EXPECT_EQ(door->GetFloat(nbwItem::Hitpoints), 5.0f);
    // Damage not above the armor: no hitpoints lost, but the owner goes.
    EXPECT_FALSE(UseOn(door, blunt));
    EXPECT_EQ(door->GetFloat(nbwItem::Hitpoints), 5.0f);
    EXPECT_STREQ(door->GetString(nbwItem::Owner), "none");

    EXPECT_FALSE(UseOn(door, cutter));
    EXPECT_EQ(door->GetFloat(nbwItem::Hitpoints), 3.0f);
    // Without an owning diver the item's use refuses before any cut.
    EXPECT_FALSE(door->Use(cutter));
    EXPECT_EQ(door->GetFloat(nbwItem::Hitpoints), 3.0f);
    EXPECT_FALSE(UseOn(door, cutter));
    EXPECT_FALSE(UseOn(door, cutter));
    // Cut through: opened, hitpoints at 0, death announced once.
    EXPECT_EQ(door->GetFloat(nbwItem::Hitpoints), 0.0f);
    EXPECT_TRUE(door->GetOpeningState()->GetEnabled());
    Frame(0.5f);
    EXPECT_EQ(Eval("opened"), "1");
    EXPECT_EQ(Eval("dead"), "1");
}

TEST_F(DoorTest, SavesTheOpenFlagAndIlluminationAfterTheItemAndLoadsBack) {
    auto* door = Make<nbwDoor>("nbwdoor", "/usr/logic/door");
    ASSERT_TRUE(Run("setfloat('armor', 2) setillumination(0.25) setopen(true)"));
    ASSERT_TRUE(door->SaveAs(Path("door").c_str()));
    const std::string golden = SourceDir() + "/tests/game/golden/door_open.n";
    EXPECT_EQ(Slurp(Path("door.n")), Slurp(golden));

    kernel->SetCwd(kernel->New("nlogicnode", "/usr/logic/loaded"));
    auto* back = static_cast<nbwDoor*>(kernel->Load(golden.c_str()));
    ASSERT_NE(back, nullptr) << log.text;
    EXPECT_EQ(back->GetOpenStatus(), 1.0f);
    EXPECT_EQ(back->GetIllumination(), 0.25f);
    EXPECT_EQ(back->GetFloat(nbwItem::Armor), 2.0f);
    EXPECT_FALSE(LogHas("Error")) << log.text;
}

TEST_F(DoorTest, TheStoreKeepsOpenOrClosedAndNoAnimationResumes) {
    auto* store = static_cast<nPersistLogic*>(kernel->New("npersistlogic", "/usr/persist/door"));
    auto* door = Make<nbwDoor>("nbwdoor", "/usr/logic/door");
    Wire("/usr/logic/door");
    ASSERT_TRUE(Run("setanimatorlenght('door_open', 10) opendoor()"));
    Frame(3.0f);
    EXPECT_FLOAT_EQ(door->GetOpenStatus(), 0.3f);
    door->StoreToPersist(store);
    EXPECT_EQ(store->GetVarTypeAt(store->GetNumVars() - 1), std::string("int"));
    EXPECT_EQ(store->GetI("openstatus"), 1);

    auto* fresh = Make<nbwDoor>("nbwdoor", "/usr/logic/fresh");
    ASSERT_TRUE(Run("addmodule('animation', 'door_open', '/usr/modules/opening') setpersist('/usr/persist/door')"));
    EXPECT_EQ(fresh->GetOpenStatus(), 1.0f);
    EXPECT_FALSE(fresh->GetOpeningState()->GetEnabled());
    door->GetOpeningState()->SetEnabled(false);
    // The next step puts the leaf where the opening ends, whatever turn was stored; then
    // nothing runs.
    EXPECT_FALSE(Frame(1.0f).empty());
    EXPECT_FALSE(fresh->GetOpeningState()->GetEnabled());
    EXPECT_EQ(Frame(1.0f), Runs{});
    EXPECT_EQ(fresh->GetOpenStatus(), 1.0f);

    // Closed is 0; a float a script stored counts as well.
    ASSERT_TRUE(Run("sel('/usr/logic/door') setopen(false)"));
    door->StoreToPersist(store);
    fresh->RestoreFromPersist(store);
    EXPECT_EQ(fresh->GetOpenStatus(), 0.0f);
    auto* byScript = static_cast<nPersistLogic*>(kernel->New("npersistlogic", "/usr/persist/script"));
    ASSERT_TRUE(Run("sel('/usr/persist/script') setf('openstatus', 0.5)"));
    fresh->RestoreFromPersist(byScript);
    EXPECT_EQ(fresh->GetOpenStatus(), 1.0f);
}

class SandHeapTest : public DoorTest {
protected:
    void SetUp() override {
        DoorTest::SetUp();
        heap = Make<nbwSandHeap>("nbwsandheap", "/usr/logic/heap");
        Wire("/usr/logic/heap");
        ASSERT_TRUE(Run("setfloat('maxhitpoints', 10) setfloat('hitpoints', 10)"));
        remover = Tool("nbwsandremover", "/usr/logic/remover", "sandentferner", 4.0f);
    }
    nbwSandHeap* heap = nullptr;
    nbwItem* remover = nullptr;
};

TEST_F(SandHeapTest, TheSandRemoverSweepsTheHeapOverTwoSecondsAndItsAnimatorsFollow) {
    EXPECT_FALSE(UseOn(heap, remover));
    EXPECT_EQ(heap->GetFloat(nbwItem::Hitpoints), 6.0f);
    EXPECT_STREQ(heap->GetString(nbwItem::Owner), "none");
    EXPECT_EQ(Frame(0.5f), Runs{"animate opening 0.1"});
    EXPECT_EQ(Frame(0.5f), Runs{"animate opening 0.2"});
    // A second use a second later starts over from where the sweep is.
    EXPECT_FALSE(UseOn(heap, remover));
    EXPECT_EQ(heap->GetFloat(nbwItem::Hitpoints), 2.0f);
    EXPECT_FLOAT_EQ(heap->GetSweepRate(), -0.3f);
    for (int i = 0; i < 4; i++) Frame(0.5f);
    EXPECT_FLOAT_EQ(heap->GetSweepValue(), 0.8f);
    // Done: the value stays, the animators keep running at it.
    EXPECT_EQ(Frame(0.5f), Runs{"animate opening 0.8"});

    // The door's own open/close step does not run: the status changes only by command.
    ASSERT_TRUE(Run("setanimatorlenght('door_close', 1) closedoor()"));
    EXPECT_EQ(Frame(0.5f), Runs{"animate opening 0.8"});
    EXPECT_EQ(heap->GetOpenStatus(), 1.0f);
    // Closing put the hitpoints back up: rising hitpoints start no sweep.
    EXPECT_EQ(heap->GetFloat(nbwItem::Hitpoints), 10.0f);
    EXPECT_EQ(heap->GetSweepTime(), 0.0f);

    // Too weak against the armor: nothing swept, but the owner goes.
    ASSERT_TRUE(Run("sel('/usr/logic/heap') setfloat('armor', 4)"));
    EXPECT_FALSE(UseOn(heap, remover));
    EXPECT_STREQ(heap->GetString(nbwItem::Owner), "none");
    EXPECT_EQ(heap->GetFloat(nbwItem::Hitpoints), 10.0f);
    EXPECT_EQ(heap->GetSweepTime(), 0.0f);
}

TEST_F(SandHeapTest, ReachingOneAnnouncesTheOpenWayAlsoWithoutMaximumAndAfterOpenDoor) {
    ASSERT_TRUE(Run("setsweepvalue(0.999)"));
    Frame(0.1f);
    Frame(0.1f);
    EXPECT_EQ(Eval("opened"), "nil");
    ASSERT_TRUE(Run("setsweepvalue(1.5)"));
    EXPECT_EQ(Eval("getsweepvalue()"), "1.0");
    Frame(0.1f);
    EXPECT_EQ(Eval("opened"), "1");
    ASSERT_TRUE(Run("setsweepvalue(-2)"));

    // OpenDoor announces at once and, by taking all hitpoints, sweeps to 1 and again.
    ASSERT_TRUE(Run("opendoor()"));
    EXPECT_EQ(heap->GetSweepTime(), 2.0f);
    for (int i = 0; i < 5; i++) Frame(0.5f);
    EXPECT_EQ(heap->GetSweepValue(), 1.0f);
    EXPECT_EQ(Eval("opened"), "3");

    // No maximum: any loss sweeps it all away.
    auto* bare = Make<nbwSandHeap>("nbwsandheap", "/usr/logic/bare");
    ASSERT_TRUE(Run("setfloat('maxhitpoints', 0) setfloat('hitpoints', 0.5)"));
    EXPECT_EQ(bare->GetSweepRate(), -0.5f);
    for (int i = 0; i < 4; i++) Frame(0.5f);
    EXPECT_EQ(bare->GetSweepValue(), 1.0f);
    ASSERT_TRUE(Run("setsweepvalue(0.5)"));
    EXPECT_FALSE(LogHas("Error")) << log.text;
}

TEST_F(SandHeapTest, SavedAndStoredHeapsComeBackAsTheyWere) {
    ASSERT_TRUE(Run("setsweepvalue(1)"));
    ASSERT_TRUE(heap->SaveAs(Path("heap").c_str()));
    const std::string text = Slurp(Path("heap.n"));
    EXPECT_NE(text.find("setopen( false )\nsetillumination( 0.00000000 )\nsetsweepvalue( 1.00000000 )\n\n"),
              std::string::npos)
        << text;
    Frame(0.1f);
    ASSERT_EQ(Eval("opened"), "1");
    // Loading a swept heap announces the open way again.
    kernel->SetCwd(kernel->New("nlogicnode", "/usr/logic/loaded"));
    auto* back = static_cast<nbwSandHeap*>(kernel->Load(Path("heap.n").c_str()));
    ASSERT_NE(back, nullptr) << log.text;
    EXPECT_EQ(back->GetSweepValue(), 1.0f);
    Frame(0.1f);
    EXPECT_EQ(Eval("opened"), "2");

    // A partly swept heap below its loaded default hitpoints stays where it was saved.
    auto* part = Make<nbwSandHeap>("nbwsandheap", "/usr/logic/part");
    ASSERT_TRUE(Run("setfloat('hitpoints', 0.5)"));
    for (int i = 0; i < 4; i++) Frame(0.5f);
    ASSERT_EQ(part->GetSweepValue(), 0.5f);
    ASSERT_TRUE(part->SaveAs(Path("part").c_str()));
    auto* partBack = static_cast<nbwSandHeap*>(kernel->Load(Path("part.n").c_str()));
    ASSERT_NE(partBack, nullptr) << log.text;
    for (int i = 0; i < 4; i++) Frame(0.5f);
    EXPECT_EQ(partBack->GetSweepValue(), 0.5f);

    // The store: the door's entries, then the sweep value, read back unclamped, silently.
    auto* store = static_cast<nPersistLogic*>(kernel->New("npersistlogic", "/usr/persist/heap"));
    ASSERT_TRUE(Run("sel('/usr/logic/heap') setsweepvalue(0.25) setopen(true)"));
    heap->StoreToPersist(store);
    const int n = store->GetNumVars();
    EXPECT_EQ(store->GetVarNameAt(n - 2), std::string("openstatus"));
    EXPECT_EQ(store->GetVarNameAt(n - 1), std::string("sweepvalue"));
    EXPECT_EQ(store->GetF("sweepvalue"), 0.25f);
    ASSERT_TRUE(Run("sel('/usr/persist/heap') setf('sweepvalue', 1.5)"));
    const std::string opened = Eval("opened");
    back->RestoreFromPersist(store);
    EXPECT_EQ(back->GetSweepValue(), 1.5f);
    GameFrame(0.0f);
    GameFrame(0.0f);
    EXPECT_EQ(Eval("opened"), opened);
}

}  // namespace
