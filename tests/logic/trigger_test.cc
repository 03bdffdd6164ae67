// Trigger zones: intruders found through the "trigger" context, announced entering,
// staying and leaving on both channels one frame later, and what scripts do meanwhile.
#include <gtest/gtest.h>

#include <string>

#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "collide/nCollideShape2.h"
#include "logic/nLogicEvent.h"
#include "logic/nLogicEventHandler.h"
#include "logic/nLogicEventServer.h"
#include "logic/nLogicTrigger2.h"
#include "logic/nModCollisionState.h"
#include "logic/nScriptEvent.h"
#include "scene/nChannelServer.h"
#include "tests/logic/AllocationCount.h"
#include "tests/logic/PhysikFixture.h"

namespace {

class TriggerTest : public PhysikFixture {
protected:
    void SetUp() override {
        PhysikFixture::SetUp();
        // Zones ("ghost") see bodies ("solid") by their spheres. A zone's shape is dynamic,
        // so it is checked against the resting bodies where they stand each frame.
        GhostsMeetSolids();
        ASSERT_TRUE(Run(R"lua(
            frame = 0
            seq = ''
            function note(what) seq = seq .. what .. '@' .. frame .. ' ' end
            function zone(path, x)
                new('nlogictrigger2', path) sel(path) txyz(x, 0, 0)
                new('nmodsimplecollision', 'shape') sel('shape') setradius(2) setcollclass('ghost')
                setdynamic(true) sel('..') addcollision('trigger', 'shape')
            end
            function body(path, x)
                new('nlogiccollision2', path) sel(path) txyz(x, 0, 0)
                new('nmodsimplecollision', 's') sel('s') setradius(0.5) setcollclass('solid') sel('..')
                addcollision('body', 's') setcollcontext('body', 'trigger')
            end
            function place(path, x) sel(path) txyz(x, 0, 0) end
            function f_enter(p) note('f:enter:' .. p) end
            function f_current(p) note('f:current:' .. p) end
            function f_leave(p) note('f:leave:' .. p) end
            -- Both channels of all three notifications.
            function bind(path)
                sel(path)
                for _, k in ipairs({'enter', 'current', 'leave'}) do
                    seteventscript('trigger_' .. k,
                        "note('h:" .. k .. ":' .. obj('/sys/events/logicgraph/trigger_" .. k .. "').gets('intruder'))")
                    addeventfunction('on' .. k, 'f_' .. k)
                end
            end
        )lua"));
        events = static_cast<nLogicEventServer*>(Lookup("/sys/servers/event"));
        channels = static_cast<nChannelServer*>(Lookup("/sys/servers/channel"));
    }

    // A frame as the observer runs it: the queued handlers, then the logic frame.
    void Frame() {
        frame++;
        ASSERT_TRUE(Run("frame = " + std::to_string(frame)));
        events->Trigger();
        channels->SetChannel1f(channels->GenChannel("frametime"), 0.1f);
        LogicFrame(0.1f);
    }
    // What the scripts noted since the last call.
    std::string Seq() {
        std::string s = Global("seq");
        EXPECT_TRUE(Run("seq = ''"));
        return s;
    }
    nLogicTrigger2* Zone(const char* path) { return static_cast<nLogicTrigger2*>(Lookup(path)); }

    nLogicEventServer* events = nullptr;
    nChannelServer* channels = nullptr;
    int frame = 0;
};

TEST_F(TriggerTest, ConstructionAndSavingAddNothingButTheZone) {
    ASSERT_TRUE(Run("zone('/usr/logic/z', 0)"));
    nLogicTrigger2* z = Zone("/usr/logic/z");
    EXPECT_STREQ(z->GetCollContext("trigger"), "trigger");
    EXPECT_EQ(z->GetEvents(), "onenter_s\noncurrent_s\nonleave_s\n");
    for (const char* name : {"trigger_enter", "trigger_current", "trigger_leave"}) {
        nLogicEventHandler* h = z->FindHandler(name);
        ASSERT_NE(h, nullptr) << name;
        EXPECT_EQ(h->GetKind(), nLogicEventHandler::Script);
        nVariable* v = h->GetEventObject()->GetVar("intruder");
        ASSERT_NE(v, nullptr) << name;
        EXPECT_STREQ(v->GetS(), "") << name;
    }

    // The same node as a plain collision node saves the same lines.
    ASSERT_TRUE(Run("new('nlogiccollision2', '/usr/logic/c') sel('/usr/logic/c') txyz(0, 0, 0)"
                    " new('nmodsimplecollision', 'shape') sel('shape') setradius(2) setcollclass('ghost')"
                    " setdynamic(true) sel('..') addcollision('trigger', 'shape') setcollcontext('trigger', 'trigger')"));
    ASSERT_TRUE(z->SaveAs(Path("z").c_str()));
    ASSERT_TRUE(Lookup("/usr/logic/c")->SaveAs(Path("c").c_str()));
    std::string zs = Slurp(Path("z.n")), cs = Slurp(Path("c.n"));
    size_t at = cs.find("nlogiccollision2");
    ASSERT_NE(at, std::string::npos);
    cs.replace(at, std::string("nlogiccollision2").size(), "nlogictrigger2");
    EXPECT_EQ(zs, cs);
}

TEST_F(TriggerTest, EnterStayAndLeaveReachBothChannelsOneFrameLater) {
    ASSERT_TRUE(Run("zone('/usr/logic/z', 0) bind('/usr/logic/z') body('/usr/logic/a', 0) body('/usr/logic/b', 20)"));
    Frame();  // a reported
    EXPECT_EQ(Seq(), "");
    ASSERT_TRUE(Run("place('/usr/logic/b', 0.5)"));
    Frame();  // a, b reported
    EXPECT_EQ(Seq(), "h:enter:/usr/logic/a@2 f:enter:/usr/logic/a@2 ");
    ASSERT_TRUE(Run("place('/usr/logic/b', 20)"));
    Frame();  // a reported
    EXPECT_EQ(Seq(), "h:current:/usr/logic/a@3 h:enter:/usr/logic/b@3 f:current:/usr/logic/a@3 f:enter:/usr/logic/b@3 ");
    ASSERT_TRUE(Run("place('/usr/logic/a', -20)"));
    Frame();  // none reported
    EXPECT_EQ(Seq(), "h:current:/usr/logic/a@4 h:leave:/usr/logic/b@4 f:current:/usr/logic/a@4 f:leave:/usr/logic/b@4 ");
    EXPECT_EQ(Zone("/usr/logic/z")->GetNumIntruders(), 0);
    Frame();
    EXPECT_EQ(Seq(), "h:leave:/usr/logic/a@5 f:leave:/usr/logic/a@5 ");
    Frame();
    EXPECT_EQ(Seq(), "");
}

TEST_F(TriggerTest, ArrivalsKeepTheirOrderAndANodeReportedOftenCountsOnce) {
    // Two shapes in the zone and two in a: four reports of a in one frame.
    ASSERT_TRUE(Run("zone('/usr/logic/z', 0) bind('/usr/logic/z')"
                    " new('nmodsimplecollision', 'shape2') sel('shape2') setradius(3) setcollclass('ghost')"
                    " setdynamic(true) sel('..') addcollision('trigger', 'shape2')"
                    " body('/usr/logic/a', 0) new('nmodsimplecollision', 's2') sel('s2') setradius(1)"
                    " setcollclass('solid') sel('..') addcollision('body', 's2')"
                    " body('/usr/logic/b', 1)"));
    nLogicTrigger2* z = Zone("/usr/logic/z");
    Frame();
    ASSERT_EQ(z->GetNumIntruders(), 2);
    EXPECT_EQ(z->GetIntruder(0).GetNode(), Lookup("/usr/logic/a"));
    EXPECT_EQ(z->GetIntruder(1).GetNode(), Lookup("/usr/logic/b"));
    Frame();
    // Each function call gets its own intruder, though both raise the same event.
    EXPECT_EQ(Seq(), "h:enter:/usr/logic/a@2 h:enter:/usr/logic/b@2 f:enter:/usr/logic/a@2 f:enter:/usr/logic/b@2 ");
    EXPECT_EQ(z->GetNumIntruders(), 2);
    Frame();
    EXPECT_EQ(Seq(), "h:current:/usr/logic/a@3 h:current:/usr/logic/b@3 f:current:/usr/logic/a@3 f:current:/usr/logic/b@3 ");
}

TEST_F(TriggerTest, LeavesWithoutAReport) {
    // The zone keeps collision through a picking shape of its own, whatever its trigger
    // state does.
    ASSERT_TRUE(Run("zone('/usr/logic/z', 0) bind('/usr/logic/z')"
                    " new('nmodsimplecollision', 'pick') sel('pick') setradius(1) sel('..')"
                    " addcollision('picking', 'pick')"
                    " body('/usr/logic/a', 0) body('/usr/logic/b', 0)"));
    nLogicTrigger2* z = Zone("/usr/logic/z");
    Frame();
    Frame();
    EXPECT_EQ(Seq(), "h:enter:/usr/logic/a@2 h:enter:/usr/logic/b@2 f:enter:/usr/logic/a@2 f:enter:/usr/logic/b@2 ");

    // A deleted intruder is dropped at the next analysis, without a leave (what was
    // queued for it before still runs).
    ASSERT_TRUE(Run("delete('/usr/logic/a')"));
    Frame();
    EXPECT_EQ(Seq(), "h:current:/usr/logic/a@3 h:current:/usr/logic/b@3 f:current:/usr/logic/a@3 f:current:/usr/logic/b@3 ");
    EXPECT_EQ(z->GetNumIntruders(), 1);

    // A disabled trigger state finds nobody: those inside leave.
    ASSERT_TRUE(Run("sel('/usr/logic/z') sethandleractive('collision', 'trigger', false)"));
    Frame();
    EXPECT_TRUE(z->HasCollision());
    EXPECT_EQ(Seq(), "h:current:/usr/logic/b@4 f:current:/usr/logic/b@4 ");
    ASSERT_TRUE(Run("sel('/usr/logic/z') sethandleractive('collision', 'trigger', true)"));
    Frame();
    EXPECT_EQ(Seq(), "h:leave:/usr/logic/b@5 f:leave:/usr/logic/b@5 ");

    // With collision off the zone is not analysed: its list waits as it is.
    Frame();
    EXPECT_EQ(Seq(), "h:enter:/usr/logic/b@6 f:enter:/usr/logic/b@6 ");
    ASSERT_TRUE(Run("sel('/usr/logic/z') setcollision(false) place('/usr/logic/b', 20)"));
    Frame();
    Frame();
    EXPECT_EQ(Seq(), "h:current:/usr/logic/b@7 f:current:/usr/logic/b@7 ");
    EXPECT_EQ(z->GetNumIntruders(), 1);
    ASSERT_TRUE(Run("place('/usr/logic/b', 0) sel('/usr/logic/z') setcollision(true)"));
    Frame();
    Frame();
    EXPECT_EQ(Seq(), "h:current:/usr/logic/b@10 f:current:/usr/logic/b@10 ");

    // A trigger state without modules finds nobody either.
    ASSERT_TRUE(Run("sel('/usr/logic/z') removecollision('trigger', 'shape')"));
    Frame();
    EXPECT_TRUE(z->HasCollision());
    Frame();
    EXPECT_EQ(Seq(), "h:current:/usr/logic/b@11 f:current:/usr/logic/b@11 h:leave:/usr/logic/b@12 f:leave:/usr/logic/b@12 ");
    EXPECT_EQ(z->GetNumIntruders(), 0);
}

TEST_F(TriggerTest, WithoutAHandlerScriptNothingHappens) {
    ASSERT_TRUE(Run("zone('/usr/logic/z', 0) addeventfunction('onenter', 'f_enter') body('/usr/logic/a', 0)"));
    nLogicTrigger2* z = Zone("/usr/logic/z");
    Frame();
    Frame();
    EXPECT_EQ(Seq(), "");
    EXPECT_EQ(z->GetNumIntruders(), 0);

    // A script on any handler wakes the zone; each channel then fires where it is bound.
    ASSERT_TRUE(Run("sel('/usr/logic/z') seteventscript('trigger_leave', \"note('h:leave')\")"));
    Frame();
    EXPECT_EQ(z->GetNumIntruders(), 1);
    ASSERT_TRUE(Run("place('/usr/logic/a', 20)"));
    Frame();
    Frame();
    EXPECT_EQ(Seq(), "f:enter:/usr/logic/a@4 h:leave@5 ");
}

TEST_F(TriggerTest, NeitherTheZoneItselfNorASideWithoutANodeIsListed) {
    ASSERT_TRUE(Run("zone('/usr/logic/z', 0) bind('/usr/logic/z')"));
    nLogicTrigger2* z = Zone("/usr/logic/z");
    // Objects registered by hand at the zone's centre: one in a state without a node, one
    // in another state of the zone itself (under another owner, so the context pairs it).
    nCollideShape2* shape = collide->NewShape(nCollideShape2::QUICK, "quick_0.5");
    if (!shape->IsReady()) shape->SetQuickRadius(0.5f);
    nModuleState loose("loose", nullptr);
    nCollideObject2 stray, own;
    for (nCollideObject2* o : {&stray, &own}) {
        o->shape = shape;
        o->classIndex = collide->QueryCollClass("solid");
        o->owner = root;
    }
    stray.state = &loose;
    own.state = z->GetPickingState();
    for (int i = 0; i < 2; i++) {
        frame++;
        ASSERT_TRUE(Run("frame = " + std::to_string(frame)));
        events->Trigger();
        root->Trigger(graph);
        graph->TraversePass(root);
        Context("trigger")->AddObject(&stray);
        Context("trigger")->AddObject(&own);
        graph->AnalyseCollisions();
        nCollidePair** list = nullptr;
        EXPECT_EQ(Context("trigger")->GetCollisions(z->GetTriggerState(), list), 2);
        EXPECT_EQ(z->GetNumIntruders(), 0);
    }
    EXPECT_EQ(Seq(), "");
    stray.shape = nullptr;
    own.shape = nullptr;
    shape->Release();
}

TEST_F(TriggerTest, MoreThan64NotificationsInOneFrameAllRun) {
    ASSERT_TRUE(Run("zone('/usr/logic/z', 0) bind('/usr/logic/z')"
                    " for i = 1, 70 do body('/usr/logic/n' .. i, i * 0.02) end"));
    Frame();
    EXPECT_EQ(Zone("/usr/logic/z")->GetNumIntruders(), 70);
    Frame();
    const std::string s = Seq();
    EXPECT_EQ(Count(s, "h:enter:"), 70);
    EXPECT_EQ(Count(s, "f:enter:"), 70);
    EXPECT_EQ(s.find("h:enter:"), s.find("h:enter:/usr/logic/n1@2"));
    EXPECT_NE(s.find("h:enter:/usr/logic/n70@2 f:enter:/usr/logic/n1@2"), std::string::npos) << s;
}

TEST_F(TriggerTest, ScriptsMayReleaseTheTriggerTheIntruderOrTheLevel) {
    // The level, with its zone and both intruders, goes in the first enter handler: the
    // second handler and the zone's raised events go with it.
    ASSERT_TRUE(Run("new('nlogicnode', '/usr/logic/level') zone('/usr/logic/level/z', 0) bind('/usr/logic/level/z')"
                    " seteventscript('trigger_enter', \"note('gone') delete('/usr/logic/level')\")"
                    " body('/usr/logic/level/a', 0) body('/usr/logic/level/b', 0)"));
    Frame();
    Frame();
    EXPECT_EQ(Seq(), "gone@2 ");
    EXPECT_EQ(Lookup("/usr/logic/level"), nullptr);
    Frame();
    EXPECT_EQ(Seq(), "");

    // A function releasing the intruder and the zone itself, with more of its events
    // raised behind it.
    ASSERT_TRUE(Run("zone('/usr/logic/z', 0) bind('/usr/logic/z')"
                    " function f_enter(p) note('kill') delete(p) delete('/usr/logic/z') end"
                    " body('/usr/logic/c', 0) body('/usr/logic/d', 0)"));
    Frame();
    Frame();
    EXPECT_EQ(Seq(), "h:enter:/usr/logic/c@5 h:enter:/usr/logic/d@5 kill@5 ");
    EXPECT_EQ(Lookup("/usr/logic/z"), nullptr);
    EXPECT_EQ(Lookup("/usr/logic/c"), nullptr);

    // A handler releasing the intruder it is told about: no leave follows.
    ASSERT_TRUE(Run("function f_enter(p) note('f:enter:' .. p) end zone('/usr/logic/y', 0) bind('/usr/logic/y')"
                    " seteventscript('trigger_current',"
                    " \"delete(obj('/sys/events/logicgraph/trigger_current').gets('intruder'))\")"));
    Frame();
    Frame();
    EXPECT_EQ(Seq(), "h:enter:/usr/logic/d@7 f:enter:/usr/logic/d@7 ");
    Frame();
    Frame();
    EXPECT_EQ(Seq(), "f:current:/usr/logic/d@8 ");
    EXPECT_EQ(Lookup("/usr/logic/d"), nullptr);
    EXPECT_EQ(Zone("/usr/logic/y")->GetNumIntruders(), 0);
}

TEST_F(TriggerTest, AMissingTriggerContextIsLoggedAndFindsNothing) {
    // A collide server whose contexts lack "trigger".
    collide->Release();
    collide = static_cast<nCollideServer2*>(kernel->New("nxcollideserver", "/sys/servers/collide2"));
    for (const char* name : {"picking", "physik"}) collide->NewContext(name);
    log.text.clear();
    ASSERT_TRUE(Run("zone('/usr/logic/z', 0) bind('/usr/logic/z') body('/usr/logic/a', 0)"));
    EXPECT_TRUE(LogHas("no collide context 'trigger'")) << log.text;
    Frame();
    Frame();
    EXPECT_EQ(Seq(), "");
    EXPECT_EQ(Zone("/usr/logic/z")->GetNumIntruders(), 0);
}

TEST_F(TriggerTest, AnalysingAllocatesNothingOnceTheListsHaveGrown) {
    if (!AllocationCount::Available()) GTEST_SKIP() << "allocations are counted in the sanitizer build";
    // Paths too long for any inline text, five intruders staying inside, both channels.
    ASSERT_TRUE(Run("new('nlogicnode', '/usr/logic/a_level_with_a_long_name')"
                    " zone('/usr/logic/a_level_with_a_long_name/zone', 0)"
                    " bind('/usr/logic/a_level_with_a_long_name/zone')"
                    " for i = 1, 5 do body('/usr/logic/a_level_with_a_long_name/intruder_' .. i, i * 0.1) end"));
    nLogicTrigger2* z = Zone("/usr/logic/a_level_with_a_long_name/zone");
    auto frameCounting = [&] {
        frame++;
        events->Trigger();
        root->Trigger(graph);
        graph->TraversePass(root);
        collide->Collide();
        AllocationCount::Start();
        z->AnalyseCollision();
        long n = AllocationCount::Stop();
        graph->Step(0.1f);
        graph->VisualPass();
        return n;
    };
    for (int i = 0; i < 3; i++) frameCounting();
    ASSERT_EQ(z->GetNumIntruders(), 5);
    EXPECT_EQ(frameCounting() + frameCounting(), 0);
    EXPECT_EQ(Count(Seq(), "f:current:/usr/logic/a_level_with_a_long_name/intruder_"), 15);
}

}  // namespace
