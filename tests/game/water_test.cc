// Water: fades of the level run only while fading is on, drive the "water" animators at
// the level and announce their end once in the next frame (falling ones also at the floor
// of 0); saving, the persistent store and bad values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game/nbwWater.h"
#include "logic/nLogicEventRecord.h"
#include "logic/nLogicEventServer.h"
#include "logic/nModAnimatorState.h"
#include "logic/nModule.h"
#include "logic/nPersistLogic.h"
#include "tests/game/GameTestKernel.h"
#include "tests/logic/CommandTable.h"

namespace {

class WaterTest : public GameTestKernel {
protected:
    void SetUp() override {
        GameTestKernel::SetUp();
        water = NewWater("/usr/logic/water");
        // A recording animator in the fade state: it logs the time it runs at.
        NewModule("/usr/modules/rise", nModule::Animator);
        EXPECT_TRUE(Run("sel('/usr/logic/water') addmodule('animation', 'water', '/usr/modules/rise')"
                        " seteventscript('onfinishedfading', 'done = (done or 0) + 1')"));
    }
    nbwWater* NewWater(const char* path) {
        auto* w = static_cast<nbwWater*>(kernel->New("nbwwater", path));
        EXPECT_TRUE(Run(std::string("sel('") + path + "')"));
        return w;
    }
    nLogicEventRecord* Record() {
        return static_cast<nLogicEventServer*>(Lookup("/sys/servers/event"))->FindOrCreateEvent("logicgraph");
    }
    // A frame, with the times the fade's animator ran at in it.
    std::vector<std::string> Frame(float dt) {
        logicEvents.clear();
        GameFrame(dt);
        return Events("animate rise");
    }
    using Runs = std::vector<std::string>;

    nbwWater* water = nullptr;
};

TEST_F(WaterTest, ARisingFadeRunsWhileFadingIsOnAndAnnouncesItsEndOnceInTheNextFrame) {
    const CommandTable kCmds = {{"v_setfading_b", "WSFA"},       {"b_getfading_v", "WGFA"},
                                {"v_setwaterstand_f", "WSST"},   {"f_getwaterstand_v", "WGST"},
                                {"f_getfadeendtime_v", "WGET"},  {"f_getfadeendvalue_v", "WGEV"},
                                {"v_fadeto_ff", "WFTO"}};
    EXPECT_EQ(OwnCommands(kernel, "nbwwater", kCmds), kCmds);

    // FadeTo alone starts nothing.
    ASSERT_TRUE(Run("setwaterstand(1) fadeto(5, 2)"));
    EXPECT_EQ(water->GetFadeSpeed(), 2.0f);
    EXPECT_EQ(water->GetDirection(), nbwWater::Rising);
    EXPECT_EQ(Eval("getfading()"), "nil");
    EXPECT_EQ(Frame(0.5f), Runs{});
    EXPECT_EQ(Eval("getwaterstand()"), "1.0");

    ASSERT_TRUE(Run("setfading(true)"));
    EXPECT_EQ(Frame(0.5f), Runs{"animate rise 2"});
    EXPECT_EQ(Frame(0.5f), Runs{"animate rise 3"});
    EXPECT_EQ(Eval("getwaterstand()"), "3.0");
    EXPECT_EQ(Frame(0.5f), Runs{"animate rise 4"});
    // The frame that passes the target ends the fade on the target.
    EXPECT_EQ(Frame(0.75f), Runs{"animate rise 5"});
    EXPECT_EQ(Eval("getfading()"), "nil");
    EXPECT_EQ(Eval("getwaterstand()"), "5.0");
    EXPECT_EQ(Eval("done"), "nil");
    EXPECT_EQ(Record()->GetNumQueued(), 1);
    EXPECT_EQ(Frame(0.5f), Runs{});
    Frame(0.5f);
    EXPECT_EQ(Eval("done"), "1");
    EXPECT_EQ(Eval("getwaterstand()"), "5.0");
    EXPECT_EQ(Eval("getfadeendvalue()"), "5.0");
    EXPECT_EQ(Eval("getfadeendtime()"), "2.0");
}

TEST_F(WaterTest, FadesWithoutTimeOrDistanceEndInTheNextFadingFrameAndASetLevelKeepsTheSpeed) {
    // No time: the level is there at once, and the next fading frame ends the fade.
    ASSERT_TRUE(Run("setwaterstand(1) fadeto(5, 0)"));
    EXPECT_EQ(Eval("getwaterstand()"), "5.0");
    EXPECT_EQ(water->GetFadeSpeed(), 0.0f);
    ASSERT_TRUE(Run("setfading(true)"));
    EXPECT_EQ(Frame(0.25f), Runs{"animate rise 5"});
    EXPECT_EQ(Eval("getfading()"), "nil");
    Frame(0.25f);
    EXPECT_EQ(Eval("done"), "1");

    // To the level it has: no direction, the same.
    ASSERT_TRUE(Run("fadeto(5, 3) setfading(true)"));
    EXPECT_EQ(water->GetDirection(), nbwWater::None);
    EXPECT_EQ(Frame(0.25f), Runs{"animate rise 5"});
    EXPECT_EQ(Eval("getfading()"), "nil");
    Frame(0.25f);
    EXPECT_EQ(Eval("done"), "2");

    // A level set during a fade: the fade goes on from there at its speed.
    ASSERT_TRUE(Run("fadeto(10, 5) setfading(true)"));
    EXPECT_EQ(Frame(1.0f), Runs{"animate rise 6"});
    ASSERT_TRUE(Run("setwaterstand(2)"));
    EXPECT_EQ(Frame(1.0f), Runs{"animate rise 3"});
    EXPECT_EQ(water->GetFadeSpeed(), 1.0f);
    EXPECT_EQ(Eval("getfading()"), "1");
    // Switched off by a script: it stops where it is, without the event.
    ASSERT_TRUE(Run("setfading(false)"));
    EXPECT_EQ(Frame(1.0f), Runs{});
    Frame(1.0f);
    EXPECT_EQ(Eval("getwaterstand()"), "3.0");
    EXPECT_EQ(Eval("done"), "2");
}

TEST_F(WaterTest, AFallingFadeBelowTheFloorStopsAtZeroAndEndsThere) {
    ASSERT_TRUE(Run("setwaterstand(1) fadeto(-1, 1) setfading(true)"));
    EXPECT_EQ(water->GetDirection(), nbwWater::Falling);
    EXPECT_EQ(Frame(0.25f), Runs{"animate rise 0.5"});
    EXPECT_EQ(Eval("getfading()"), "1");
    EXPECT_EQ(Frame(0.5f), Runs{"animate rise 0"});
    EXPECT_EQ(Eval("getwaterstand()"), "0.0");
    EXPECT_EQ(Eval("getfading()"), "nil");
    EXPECT_EQ(Frame(0.5f), Runs{});
    Frame(0.5f);
    EXPECT_EQ(Eval("done"), "1");

    // A falling fade that reaches its target above the floor ends there as usual.
    ASSERT_TRUE(Run("setwaterstand(2) fadeto(1, 2) setfading(true)"));
    EXPECT_EQ(Frame(1.0f), Runs{"animate rise 1.5"});
    EXPECT_EQ(Frame(1.0f), Runs{"animate rise 1"});
    EXPECT_EQ(Eval("getfading()"), "nil");
}

TEST_F(WaterTest, SavesItsFadeAfterThePhysicsLinesAndALoadedFadeStartsAgainFromTheSavedLevel) {
    ASSERT_TRUE(Run("setwaterstand(1) fadeto(5, 2) setfading(true)"));
    Frame(0.5f);
    // The module list is the logic node's to save; this file shows the water's own lines.
    ASSERT_TRUE(Run("removemodule('animation', 'water', '/usr/modules/rise')"));
    ASSERT_TRUE(water->SaveAs(Path("water").c_str()));
    const std::string golden = SourceDir() + "/tests/game/golden/water_mid_fade.n";
    EXPECT_EQ(Slurp(Path("water.n")), Slurp(golden));

    kernel->SetCwd(kernel->New("nlogicnode", "/usr/logic/loaded"));
    auto* back = static_cast<nbwWater*>(kernel->Load(golden.c_str()));
    ASSERT_NE(back, nullptr) << log.text;
    ASSERT_NE(back, water);
    EXPECT_TRUE(back->GetFading());
    EXPECT_EQ(back->GetWaterstand(), 2.0f);
    // The full time again, from the saved level: 3 to go in 2 s.
    EXPECT_EQ(back->GetFadeSpeed(), 1.5f);
    EXPECT_EQ(back->GetFadeEndTime(), 2.0f);
    ASSERT_TRUE(water->Release());
    ASSERT_TRUE(Run("sel('" + back->GetFullName() + "') addmodule('animation', 'water', '/usr/modules/rise')"));
    EXPECT_EQ(Frame(1.0f), Runs{"animate rise 3.5"});
    GameFrame(2.0f);
    GameFrame(0.1f);
    EXPECT_EQ(Eval("done"), "1");

    // A level set without a fade (or after one without time) would be put at the fade's
    // end value by the fade line: it follows once more.
    nbwWater* still = NewWater("/usr/logic/loaded/still");
    ASSERT_TRUE(Run("fadeto(5, 0) setwaterstand(3)"));
    ASSERT_TRUE(still->SaveAs(Path("still").c_str()));
    const std::string text = Slurp(Path("still.n"));
    EXPECT_NE(text.find("setwaterstand( 3.00000000 )\nfadeto( 5.00000000, 0.00000000 )\n"
                        "setwaterstand( 3.00000000 )\n"),
              std::string::npos)
        << text;
    ASSERT_TRUE(still->Release());
    auto* again = static_cast<nbwWater*>(kernel->Load(Path("still.n").c_str()));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->GetWaterstand(), 3.0f);
    EXPECT_EQ(again->GetFadeEndValue(), 5.0f);
    EXPECT_FALSE(LogHas("Error")) << log.text;
}

TEST_F(WaterTest, TheStoreKeepsLevelAndFadeAndRestoringEndsInFadeTo) {
    auto* store = static_cast<nPersistLogic*>(kernel->New("npersistlogic", "/usr/persist/water"));
    ASSERT_TRUE(Run("sel('/usr/logic/water') setwaterstand(4) fadeto(2, 4) setfading(true)"));
    Frame(1.0f);
    water->StoreToPersist(store);
    std::vector<std::string> names, types;
    for (int i = 0; i < store->GetNumVars(); i++) {
        names.push_back(store->GetVarNameAt(i));
        types.push_back(store->GetVarTypeAt(i));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"waterstand", "fadetime", "fadevalue", "fadestate"}));
    EXPECT_EQ(types, (std::vector<std::string>{"float", "float", "float", "int"}));
    EXPECT_EQ(store->GetF("waterstand"), 3.5f);
    EXPECT_EQ(store->GetI("fadestate"), 1);

    // A fresh water reads it back and aims again with the full time from there.
    nbwWater* fresh = NewWater("/usr/logic/fresh");
    ASSERT_TRUE(Run("setpersist('/usr/persist/water')"));
    EXPECT_EQ(fresh->GetWaterstand(), 3.5f);
    EXPECT_EQ(fresh->GetFadeEndValue(), 2.0f);
    EXPECT_EQ(fresh->GetFadeEndTime(), 4.0f);
    EXPECT_TRUE(fresh->GetFading());
    EXPECT_EQ(fresh->GetDirection(), nbwWater::Falling);
    EXPECT_EQ(fresh->GetFadeSpeed(), -0.375f);
    EXPECT_STREQ(store->GetOwnerPath(), "/usr/logic/fresh");

    // Stored again over values a script gave other types: numbers of either type are
    // read, a text is skipped; without "fadestate" fading stays as it is.
    ASSERT_TRUE(Run("new('npersistlogic', '/usr/persist/odd') sel('/usr/persist/odd')"
                    " seti('waterstand', 2) sets('fadevalue', 'high') setf('fadetime', 0)"));
    nbwWater* odd = NewWater("/usr/logic/odd");
    ASSERT_TRUE(Run("setpersist('/usr/persist/odd')"));
    // FadeTo(0, 0) would put the level at 0 at once: the stored level stays.
    EXPECT_EQ(odd->GetWaterstand(), 2.0f);
    EXPECT_EQ(odd->GetDirection(), nbwWater::Falling);
    EXPECT_FALSE(odd->GetFading());
    EXPECT_TRUE(LogHas("/usr/persist/odd: store variable 'fadevalue' is no number: skipped"));
    log.text.clear();
    odd->StoreToPersist(nullptr);
    odd->RestoreFromPersist(nullptr);
    EXPECT_TRUE(LogHas("/usr/logic/odd: StoreToPersist: no persistent store"));
    EXPECT_TRUE(LogHas("/usr/logic/odd: RestoreFromPersist: no persistent store"));
}

TEST_F(WaterTest, BadValuesAreRefusedAndAnAnimatorMayDeleteTheWater) {
    ASSERT_TRUE(Run("setwaterstand(1) fadeto(3, 1) setwaterstand(0/0) setwaterstand(math.huge)"
                    " fadeto(0/0, 1) fadeto(2, -math.huge)"));
    EXPECT_TRUE(LogHas("/usr/logic/water: setwaterstand: inf is no level: ignored"));
    EXPECT_TRUE(LogHas("/usr/logic/water: fadeto: 2 over -inf s is no fade: ignored"));
    EXPECT_EQ(water->GetWaterstand(), 1.0f);
    EXPECT_EQ(water->GetFadeEndValue(), 3.0f);
    EXPECT_EQ(water->GetFadeSpeed(), 2.0f);

    // The fade's script animator deletes the water that runs it.
    ASSERT_TRUE(Run("new('nmodscriptanimator', '/usr/modules/flood') sel('/usr/modules/flood')"
                    " beginanims(1) setanim(0, 2, \"delete('/usr/logic/water')\") endanims()"
                    " sel('/usr/logic/water') addmodule('animation', 'water', '/usr/modules/flood') setfading(true)"));
    GameFrame(0.25f);
    ASSERT_NE(Lookup("/usr/logic/water"), nullptr);
    GameFrame(0.25f);
    EXPECT_EQ(Lookup("/usr/logic/water"), nullptr);
    GameFrame(0.25f);
    EXPECT_EQ(Eval("done"), "nil");
}

}  // namespace
