// The collision logic node: its collision states and their contexts, the collision count,
// the shapes following the node through the logic graph, and saving.
#include <gtest/gtest.h>

#include "logic/nLogicCollision2.h"
#include "logic/nModSimpleCollision.h"
#include "logic/nModuleState.h"
#include "tests/logic/PhysikFixture.h"

namespace {

class LogicCollisionTest : public PhysikFixture {
protected:
    nLogicCollision2* NewCollision(const char* path, const char* cls = "nlogiccollision2") {
        return static_cast<nLogicCollision2*>(kernel->New(cls, path));
    }
};

TEST_F(LogicCollisionTest, StatesContextsAndTheCollisionCount) {
    nLogicCollision2* c = NewCollision("/usr/logic/c");
    NewModule("/usr/logic/c/m", 1);
    ASSERT_TRUE(Run("sel('/usr/logic/c')"));
    EXPECT_EQ(Eval("getcollcontext('picking')"), "picking");
    EXPECT_EQ(Eval("getcollision()"), "1");
    EXPECT_FALSE(c->HasCollision());

    // Only what the lists really gain or lose is counted.
    ASSERT_TRUE(Run("addcollision('picking', 'm') addcollision('picking', 'm') removecollision('picking', 'x')"));
    EXPECT_EQ(c->GetCollisionCount(), 1);
    EXPECT_TRUE(c->HasCollision());
    ASSERT_TRUE(Run("removecollision('picking', 'm') removecollision('picking', 'm')"));
    EXPECT_EQ(c->GetCollisionCount(), 0);

    // A collision state is made by its first module and has no context until one is set.
    ASSERT_TRUE(Run("addcollision('damage', 'm')"));
    ASSERT_NE(c->FindCollisionState("damage"), nullptr);
    EXPECT_EQ(Eval("getcollcontext('damage')"), "nil");
    ASSERT_TRUE(Run("setcollcontext('damage', 'trigger')"));
    EXPECT_EQ(Eval("getcollcontext('damage')"), "trigger");
    EXPECT_TRUE(c->HasCollision());
    ASSERT_TRUE(Run("setcollision(false)"));
    EXPECT_FALSE(c->HasCollision());

    // Unknown states and contexts are logged and stop nothing.
    log.text.clear();
    ASSERT_TRUE(Run("setcollcontext('nosuch', 'trigger') x = getcollcontext('nosuch')"));
    EXPECT_EQ(Eval("x"), "nil");
    EXPECT_EQ(c->FindCollisionState("nosuch"), nullptr);
    EXPECT_EQ(Count(log.text, "no collision state 'nosuch'"), 2) << log.text;
    ASSERT_TRUE(Run("setcollcontext('damage', 'nowhere')"));
    EXPECT_EQ(Eval("getcollcontext('damage')"), "nil");
    EXPECT_TRUE(LogHas("no collide context 'nowhere'"));
}

TEST_F(LogicCollisionTest, ShapesFollowTheNodeThroughTheGraph) {
    ASSERT_TRUE(Run("new('nlogiccollision2', '/usr/logic/c') sel('/usr/logic/c') txyz(1, 0, 0)"
                    " new('nmodsimplecollision', 'pick') sel('pick') setradius(0.5) sel('..')"
                    " addcollision('picking', 'pick')"
                    " new('nlogictrigger2', 'd') sel('d') txyz(0, 2, 0)"
                    " new('nmodsimplecollision', 'zone') sel('zone') setradius(1) sel('..')"
                    " addcollision('zone', 'zone') setcollcontext('zone', 'trigger')"));
    auto* c = static_cast<nLogicCollision2*>(Lookup("/usr/logic/c"));
    auto* d = static_cast<nLogicCollision2*>(Lookup("/usr/logic/c/d"));
    auto* pick = static_cast<nModSimpleCollision*>(Lookup("/usr/logic/c/pick"));
    auto* zone = static_cast<nModSimpleCollision*>(Lookup("/usr/logic/c/d/zone"));
    c->SetTime(2.5f);
    LogicFrame(0.1f);
    EXPECT_EQ(pick->GetCollObject().curMatrix.Translation(), vector3(1, 0, 0));
    EXPECT_EQ(zone->GetCollObject().curMatrix.Translation(), vector3(1, 2, 0));
    EXPECT_FLOAT_EQ(c->GetPickingState()->GetTime(), c->GetTime());
    EXPECT_EQ(Context("picking")->GetNumStatic(), 1);
    EXPECT_EQ(Context("trigger")->GetNumStatic(), 1);
    EXPECT_EQ(d->GetCollisionCount(), 1);

    // Switched off, the node's shapes stay behind and register nothing.
    ASSERT_TRUE(Run("sel('/usr/logic/c') setcollision(false) txyz(5, 0, 0)"));
    LogicFrame(0.1f);
    EXPECT_EQ(pick->GetCollObject().curMatrix.Translation(), vector3(1, 0, 0));
    EXPECT_EQ(Context("picking")->GetNumStatic(), 0);
    EXPECT_EQ(zone->GetCollObject().curMatrix.Translation(), vector3(5, 2, 0));
}

TEST_F(LogicCollisionTest, SavesContextsInStateOrderAndLoadsBack) {
    ASSERT_TRUE(Run("new('nlogiccollision2', '/usr/logic/c') sel('/usr/logic/c') txyz(1, 0, 0)"
                    " new('nmodsimplecollision', 'z') sel('z') setradius(1) sel('..')"
                    " addcollision('damage', 'z') setcollcontext('damage', 'trigger')"
                    " new('nlogictrigger2', '/usr/logic/t')"));
    auto* c = static_cast<nLogicCollision2*>(Lookup("/usr/logic/c"));
    ASSERT_TRUE(c->SaveAs(Path("c").c_str()));
    std::string saved = Slurp(Path("c.n"));
    size_t vis = saved.find("txyz( 1.00000000, 0.00000000, 0.00000000 )\n");
    size_t tail = saved.find("setcollision( true )\nsetcollcontext( \"picking\", \"picking\" )\n"
                             "setcollcontext( \"damage\", \"trigger\" )\n");
    ASSERT_NE(vis, std::string::npos) << saved;
    ASSERT_NE(tail, std::string::npos) << saved;
    EXPECT_LT(vis, tail);
    EXPECT_EQ(Count(saved, "setcollcontext"), 2);

    kernel->SetCwd(kernel->New("nroot", "/loaded"));
    auto* back = static_cast<nLogicCollision2*>(kernel->Load(Path("c.n").c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetCollisionCount(), 1);
    EXPECT_STREQ(back->GetCollContext("damage"), "trigger");
    ASSERT_TRUE(back->SaveAs(Path("c2").c_str()));
    EXPECT_EQ(Slurp(Path("c2.n")), saved);

    // The trigger node saves exactly its base's lines.
    ASSERT_TRUE(Lookup("/usr/logic/t")->SaveAs(Path("t").c_str()));
    std::string t = Slurp(Path("t.n"));
    EXPECT_NE(t.find("nlogictrigger2"), std::string::npos);
    EXPECT_NE(t.find("setcollision( true )\nsetcollcontext( \"picking\", \"picking\" )\n"), std::string::npos) << t;
}

// A state whose modules were all removed keeps its context and switch through a save;
// a module without a name makes no state (it would save a line that loads nothing).
TEST_F(LogicCollisionTest, EmptiedStatesLoadBackAndNamelessModulesMakeNone) {
    ASSERT_TRUE(Run("new('nlogicphysik2', '/usr/logic/p') sel('/usr/logic/p')"
                    " addcollision('damage', 'z') setcollcontext('damage', 'trigger') removecollision('damage', 'z')"
                    " sethandleractive('collision', 'damage', false)"
                    " addmodule('physik', 'float', 'y') removemodule('physik', 'float', 'y')"
                    " addcollision('ghost', '') addmodule('physik', 'phantom', '')"));
    auto* p = static_cast<nLogicCollision2*>(Lookup("/usr/logic/p"));
    EXPECT_EQ(p->FindCollisionState("ghost"), nullptr);
    EXPECT_EQ(p->FindModuleState(nModuleState::Physik, "phantom"), nullptr);
    EXPECT_TRUE(LogHas("collision state 'ghost' needs a module name"));
    EXPECT_TRUE(LogHas("physik state 'phantom' needs a module name"));

    ASSERT_TRUE(p->SaveAs(Path("p").c_str()));
    std::string saved = Slurp(Path("p.n"));
    kernel->SetCwd(kernel->New("nroot", "/loaded"));
    auto* back = static_cast<nLogicCollision2*>(kernel->Load(Path("p.n").c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->GetCollContext("damage"), "trigger");
    EXPECT_FALSE(back->GetHandlerActive("collision", "damage"));
    EXPECT_TRUE(back->GetHandlerActive("physik", "float"));
    ASSERT_TRUE(back->SaveAs(Path("p2").c_str()));
    EXPECT_EQ(Slurp(Path("p2.n")), saved);

    // A script's own switch of a state the node cannot make, or of a nameless one, is
    // still refused.
    log.text.clear();
    ASSERT_TRUE(Run("sel('/usr/logic/p') sethandleractive('visualizer', 'other', false)"
                    " sethandleractive('collision', '', false)"));
    EXPECT_EQ(p->FindModuleState(nModuleState::Visualizer, "other"), nullptr);
    EXPECT_EQ(p->FindCollisionState(""), nullptr);
    EXPECT_TRUE(LogHas("no visualizer module state 'other'")) << log.text;
}

}  // namespace
