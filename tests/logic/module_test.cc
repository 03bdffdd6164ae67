// Module states of a logic node: lists of module paths resolved lazily from the node,
// the per-frame dispatch by module type, the node's module-state commands and their
// saving, the physics state's body, and the transformer module's matrix.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>

#include "logic/nModAnimatorState.h"
#include "logic/nModCollisionState.h"
#include "logic/nModPhysikState.h"
#include "logic/nModVisualizerState.h"
#include "physics/nPhysikBody.h"
#include "physics/nPhysikServer.h"
#include "tests/logic/GraphFixture.h"

namespace {

// An animator that logs its name and hands itself to a hook; as the second base of a
// class, its Animate needs the object adjusted from that base.
class nHookModule : public nModule {
public:
    static const nClassInfo classInfo;
    int GetType() const override { return Animator; }
    void Animate(nLogicNode*, float) override {
        logicEvents.push_back(std::string("hook ") + GetName());
        if (hook) hook(this);
    }
    std::function<void(nHookModule*)> hook;
};
const nClassInfo nHookModule::classInfo = nClassInfo::Make<nHookModule>("nhookmodule", "nmodule");
struct FirstBase {
    virtual ~FirstBase() = default;
    int mark = 42;
};
class nSecondBaseModule : public FirstBase, public nHookModule {
public:
    static const nClassInfo classInfo;
};
const nClassInfo nSecondBaseModule::classInfo = nClassInfo::Make<nSecondBaseModule>("nsecondbase", "nhookmodule");

class ModuleTest : public GraphFixture {
protected:
    void SetUp() override {
        GraphFixture::SetUp();
        kernel->AddClass(nHookModule::classInfo);
        kernel->AddClass(nSecondBaseModule::classInfo);
        node = NewNode("/usr/logic/n", "");
    }
    nHookModule* Hook(const char* name, const char* cls = "nhookmodule") {
        return static_cast<nHookModule*>(kernel->New(cls, (std::string("/usr/logic/n/") + name).c_str()));
    }
    nModAnimatorState* Anim(const char* name) {
        return static_cast<nModAnimatorState*>(node->FindModuleState(nModuleState::Animation, name));
    }
    nTestLogicNode* node = nullptr;
};

TEST_F(ModuleTest, ClassesAndStateTypeNames) {
    ASSERT_TRUE(Run("new('nmodule', '/usr/m/base') new('nmodtransformer', '/usr/m/t')"));
    EXPECT_TRUE(Lookup("/usr/m/base")->IsA("nmodule"));
    EXPECT_TRUE(Lookup("/usr/m/t")->IsA("nmodule"));
    EXPECT_EQ(static_cast<nModule*>(Lookup("/usr/m/t"))->GetType(), -1);
    for (int t = 1; t <= 4; t++) EXPECT_EQ(nModuleState::TypeFromName(nModuleState::TypeName(t)), t);
    EXPECT_STREQ(nModuleState::TypeName(4), "physik");
    EXPECT_EQ(nModuleState::TypeFromName("Physik"), 0);
}

TEST_F(ModuleTest, ListsKeepPathTextsAndDispatchByType) {
    NewModule("/usr/logic/n/a", 0);
    NewModule("/usr/logic/n/t", -1);
    NewModule("/usr/logic/n/v", 2);
    ASSERT_TRUE(Run("sel('/usr/logic/n')"
                    " addanimator('walk', 'a') addanimator('walk', 'a')"         // listed once
                    " addanimator('walk', '/usr/logic/n/a')"                     // a second path text
                    " addanimator('walk', 't') addanimator('walk', 'v')"
                    " addanimator('walk', 'later')"));                           // made below
    nModAnimatorState* walk = Anim("walk");
    ASSERT_NE(walk, nullptr);
    ASSERT_EQ(walk->GetNumModules(), 5);
    NewModule("/usr/logic/n/later", 0);
    walk->SetTime(0.5f);
    walk->Animate();
    // The animator under two texts runs twice, the transformer and the visualizer never.
    EXPECT_EQ(Events("animate"), (std::vector<std::string>{"animate a 0.5", "animate a 0.5", "animate later 0.5"}));

    // Removing drops the entry of that text, keeps the order of the rest; an absent name
    // changes nothing.
    node->RemoveModule(1, "walk", "/usr/logic/n/a");
    node->RemoveModule(1, "walk", "nothing");
    ASSERT_EQ(walk->GetNumModules(), 4);
    EXPECT_STREQ(walk->GetModuleName(0), "a");
    EXPECT_STREQ(walk->GetModuleName(1), "t");

    // A disabled state does no frame work, but RenderAll renders every module.
    logicEvents.clear();
    ASSERT_TRUE(Run("sethandleractive('animation', 'walk', false)"));
    EXPECT_EQ(Eval("gethandleractive('animation', 'walk')"), "nil");
    walk->Animate();
    walk->RenderAll();
    EXPECT_EQ(logicEvents, (std::vector<std::string>{"render a", "render t", "render v", "render later"}));
}

TEST_F(ModuleTest, ResolvedModulesAreKeptUntilTheyDie) {
    nTestModule* a = NewModule("/usr/logic/n/a", 0);
    node->AddModule(1, "walk", "a");
    Anim("walk")->Animate();
    // Renamed, the module still runs: the path is not looked up again while it lives.
    a->SetName("renamed");
    Anim("walk")->Animate();
    EXPECT_EQ(a->calls, 2);
    // Once it died, the path is looked up again and finds the new object there.
    a->Release();
    nTestModule* b = NewModule("/usr/logic/n/a", 0);
    Anim("walk")->Animate();
    EXPECT_EQ(b->calls, 1);
    // The same for the second entry while the first lives, and for an entry beyond the
    // first two.
    nTestModule* c = NewModule("/usr/logic/n/c", 0);
    nTestModule* d = NewModule("/usr/logic/n/d", 0);
    node->AddModule(1, "walk", "c");
    node->AddModule(1, "walk", "d");
    Anim("walk")->Animate();
    c->Release();
    d->Release();
    Anim("walk")->Animate();
    EXPECT_EQ(b->calls, 3);
    c = NewModule("/usr/logic/n/c", 0);
    d = NewModule("/usr/logic/n/d", 0);
    Anim("walk")->Animate();
    EXPECT_EQ(b->calls, 4);
    EXPECT_EQ(c->calls, 1);
    EXPECT_EQ(d->calls, 1);
}

TEST_F(ModuleTest, AnimatorsRunOnThemselvesAndFollowTheListTheyChange) {
    // The walk would call a module on the wrong object, call one that died or left the
    // list, or miss one listed meanwhile.
    auto* a = static_cast<nSecondBaseModule*>(Hook("a", "nsecondbase"));
    nHookModule* b = Hook("b");
    Hook("c");
    node->AddModule(1, "walk", "a");
    node->AddModule(1, "walk", "b");
    Anim("walk")->Animate();
    int mark = 0;
    a->hook = [&](nHookModule* self) { mark = static_cast<nSecondBaseModule*>(self)->mark; };
    Anim("walk")->Animate();
    EXPECT_EQ(mark, 42);
    a->hook = [&](nHookModule*) { b->Release(); };
    Anim("walk")->Animate();
    a->hook = [&](nHookModule*) {
        node->RemoveModule(1, "walk", "b");
        node->AddModule(1, "walk", "c");
    };
    Anim("walk")->Animate();
    EXPECT_EQ(Events("hook"),
              (std::vector<std::string>{"hook a", "hook b", "hook a", "hook b", "hook a", "hook a", "hook c"}));
}

TEST_F(ModuleTest, BadPathsAndNamesAreLoggedAndChangeNothing) {
    kernel->New("nroot", "/usr/logic/n/plain");
    node->AddModule(1, "walk", "missing");
    node->AddModule(1, "walk", "plain");
    for (int i = 0; i < 3; i++) Anim("walk")->Animate();
    // Logged once per entry, not every frame.
    EXPECT_EQ(Count(log.text, "'missing' names nothing"), 1);
    EXPECT_EQ(Count(log.text, "'plain' is no nmodule"), 1);
    // Once the path names a module, it runs.
    nTestModule* m = NewModule("/usr/logic/n/missing", 0);
    Anim("walk")->Animate();
    EXPECT_EQ(m->calls, 1);

    log.text.clear();
    ASSERT_TRUE(Run("sel('/usr/logic/n') addmodule('flying', 'walk', 'x')"
                    " addmodule('collision', 'nostate', 'x') removemodule('physik', 'nostate', 'x')"
                    " removeanimator('nostate', 'x')"));
    EXPECT_TRUE(LogHas("unknown module state type 'flying'"));
    EXPECT_TRUE(LogHas("no collision module state 'nostate'"));
    EXPECT_TRUE(LogHas("no physik module state 'nostate'"));
    EXPECT_EQ(node->GetNumModuleStates(), 1);
    EXPECT_EQ(Anim("walk")->GetNumModules(), 2);
}

TEST_F(ModuleTest, StatesOfOtherTypesRunTheirOwnModules) {
    NewModule("/usr/logic/n/c", 1);
    NewModule("/usr/logic/n/v", 2);
    auto* coll = static_cast<nModCollisionState*>(node->AddModuleState(new nModCollisionState("picking", node)));
    auto* vis = static_cast<nModVisualizerState*>(node->AddModuleState(new nModVisualizerState("default", node)));
    for (nModuleState* st : {static_cast<nModuleState*>(coll), static_cast<nModuleState*>(vis)}) {
        st->AddModule("c");
        st->AddModule("v");
    }
    // Without a context the collision state collides with nothing.
    coll->Collide(matrix44());
    EXPECT_TRUE(Events("collide").empty());
    coll->SetContext("nowhere");
    EXPECT_TRUE(LogHas("no collide context 'nowhere'"));
    coll->SetContext("picking");
    coll->Collide(matrix44());
    coll->SetMatrix(matrix44());
    vis->Visualize(matrix44(), sg);
    vis->AttachModules();
    EXPECT_EQ(logicEvents, (std::vector<std::string>{"collide c", "setmatrix c", "visualize v", "attach c", "attach v"}));
}

TEST_F(ModuleTest, SaveWritesModulesFlagsAndAnimatorsAndLoadsBackEqual) {
    ASSERT_TRUE(Run("sel('/usr/logic/n') new('ntestmodule', 'legs') new('ntestmodule', 'arms')"
                    " addmodule('animation', 'walk', 'legs') addanimator('walk', '/usr/logic/n/arms')"
                    " setanimator('walk', 0.5, 2) setanimatorlenght('idle', 4)"
                    " sethandleractive('animation', 'idle', false)"));
    ASSERT_TRUE(node->SaveAs(Path("n").c_str()));
    std::string saved = Slurp(Path("n.n"));
    // The modules by their own names, then each state's flag, then each animator.
    for (const char* line : {"addmodule( \"animation\", \"walk\", \"legs\" )\n"
                             "addmodule( \"animation\", \"walk\", \"arms\" )\n"
                             "sethandleractive( \"animation\", \"walk\", true )\n"
                             "sethandleractive( \"animation\", \"idle\", false )\n"
                             "setanimator( \"walk\", 0.50000000, 2.00000000 )\n"
                             "setanimator( \"idle\", 0.00000000, 4.00000000 )\n"}) {
        EXPECT_NE(saved.find(line), std::string::npos) << saved;
    }
    kernel->SetCwd(kernel->New("nroot", "/loaded"));
    auto* back = static_cast<nLogicNode*>(kernel->Load(Path("n.n").c_str()));
    ASSERT_NE(back, nullptr);
    ASSERT_TRUE(back->SaveAs(Path("m").c_str()));
    EXPECT_EQ(Slurp(Path("m.n")), saved);
    // The loaded node runs the loaded modules under it (the test type is not saved).
    auto* legs = static_cast<nTestModule*>(Lookup("/loaded/n/legs"));
    ASSERT_NE(legs, nullptr);
    legs->type = 0;
    static_cast<nModAnimatorState*>(back->FindModuleState(1, "walk"))->Animate();
    EXPECT_EQ(legs->calls, 1);
}

TEST_F(ModuleTest, PhysikStateRebuildsItsBodyEachFrameAndClampsVelocities) {
    nTestModule* m = NewModule("/usr/logic/n/mass", 3);
    m->MakeMass(physik, 0.5f);
    m->SetPosition(vector3(0.0f, 1.0f, 0.0f));
    auto* st = static_cast<nModPhysikState*>(node->AddModuleState(new nModPhysikState("physik", node)));
    st->AddModule("mass");
    nPhysikBody* body = st->GetBody();
    ASSERT_NE(body, nullptr);
    matrix44 world;
    world.SetTranslation(vector3(2.0f, 0.0f, 0.0f));
    for (int frame = 0; frame < 2; frame++) {
        graph->BeginTraversal();
        body->SetLinearVel(vector3(3.0f, 4.0f, 0.0f));
        body->SetAngularVel(vector3(0.0f, 1.0f, 0.0f));
        EXPECT_TRUE(st->Update(world));
        // One mass a frame, not one more each frame.
        EXPECT_EQ(body->GetNumMasses(), 1);
        EXPECT_GT(body->GetMass(), 0.0f);
        ASSERT_EQ(physik->GetNumBodies(), 1);
        EXPECT_EQ(physik->GetBody(0), body);
        vector3 v = body->GetLinearVel();
        EXPECT_NEAR(v.x, 1.8f, 1e-4f);
        EXPECT_NEAR(v.y, 2.4f, 1e-4f);
        EXPECT_NEAR(body->GetAngularVel().y, 1.0f, 1e-6f);
        EXPECT_NEAR(body->GetMatrix().m[3][0], 2.0f, 1e-5f);
        graph->EndTraversal();
    }
    // Disabled, the body is neither rebuilt nor listed.
    graph->BeginTraversal();
    st->SetEnabled(false);
    st->Update(world);
    EXPECT_EQ(physik->GetNumBodies(), 0);
}

TEST_F(ModuleTest, TransformerMatrixAndSaving) {
    ASSERT_TRUE(Run("new('nmodtransformer', '/usr/m/t') sel('/usr/m/t') setrot(0, 0, 0)"));
    auto* t = static_cast<nModTransformer*>(Lookup("/usr/m/t"));
    EXPECT_TRUE(t->IsDirty());
    EXPECT_TRUE(t->IsIdentity());
    matrix44 node;
    node.SetTranslation(vector3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(t->WorldMatrix(node), node);
    ASSERT_TRUE(t->SaveAs(Path("t").c_str()));
    std::string saved = Slurp(Path("t.n"));
    for (const char* cmd : {"txyz", "sxyz", "qxyzw"}) EXPECT_EQ(saved.find(cmd), std::string::npos) << saved;

    // Unnormalised quaternions are kept as given.
    ASSERT_TRUE(Run("qxyzw(0, 0, 2, 0) q = {getq()}"));
    EXPECT_EQ(Eval("q[3] .. ' ' .. q[4]"), "2.0 0.0");
    // Module world = local matrix x node world: (1, 0, 0) is scaled by 2, turned a quarter
    // about y onto the z axis, moved by 5 on x, then by the node.
    ASSERT_TRUE(Run("setrot(0, math.pi / 2, 0) txyz(5, 0, 0) sxyz(2, 2, 2)"));
    vector3 p = t->WorldMatrix(node) * vector3(1.0f, 0.0f, 0.0f);
    EXPECT_NEAR(p.x, 6.0f, 1e-5f);
    EXPECT_NEAR(p.y, 2.0f, 1e-5f);
    EXPECT_NEAR(std::fabs(p.z - 3.0f), 2.0f, 1e-5f);
    ASSERT_TRUE(t->SaveAs(Path("t").c_str()));
    saved = Slurp(Path("t.n"));
    EXPECT_NE(saved.find("txyz( 5.00000000, 0.00000000, 0.00000000 )"), std::string::npos) << saved;
    EXPECT_NE(saved.find("sxyz( 2.00000000, 2.00000000, 2.00000000 )"), std::string::npos) << saved;
    // The rotation is written as its quaternion, never as angles.
    char q[96];
    const quaternion& r = t->GetQuaternion();
    std::snprintf(q, sizeof(q), "qxyzw( %.8f, %.8f, %.8f, %.8f )", r.x, r.y, r.z, r.w);
    EXPECT_NEAR(std::fabs(r.y), 0.70710677f, 1e-6f);
    EXPECT_NE(saved.find(q), std::string::npos) << saved;
    EXPECT_EQ(saved.find("setrot"), std::string::npos);
}

}  // namespace
