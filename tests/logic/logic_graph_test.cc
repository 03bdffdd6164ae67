// The logic graph's frame: records and lists from a traversal from the current camera,
// the collision, physics, visual, 2D and debug passes, deferred release, and the
// fixed tables' limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "anim/nSpecialFxServer.h"
#include "collide/nCollideServer2.h"
#include "logic/nModPhysikState.h"
#include "physics/nPhysikServer.h"
#include "tests/logic/GraphFixture.h"

namespace {

using Strings = std::vector<std::string>;

class LogicGraphTest : public GraphFixture {
protected:
    // Index lists as "i i i".
    static std::string List(int n, int (nLogicGraph::*at)(int) const, const nLogicGraph* g) {
        std::string s;
        for (int i = 0; i < n; i++) s += (i ? " " : "") + std::to_string((g->*at)(i));
        return s;
    }
    // A chain or a flat row of quiet nodes under `parent`.
    void Quiet(const std::string& parent, int count, const char* flags, bool nested) {
        std::string path = parent;
        for (int i = 0; i < count; i++) {
            std::string p = nested ? path + "/n" : parent + "/n" + std::to_string(i);
            NewNode(p.c_str(), flags)->quiet = true;
            path = p;
        }
    }
};

TEST_F(LogicGraphTest, AScriptedTreeGivesRecordsWithParentsAndTheFourLists) {
    ASSERT_TRUE(Run("new('ntestlogicnode', '/usr/logic/a') sel('/usr/logic/a') setflags('v') setpos(1, 0, 0)"
                    " new('ntestlogicnode', 'b') sel('b') setflags('vp') setpos(0, 2, 0)"
                    " new('ntestlogicnode', 's') sel('s') setflags('2')"
                    " new('nroot', '/usr/logic/a/plain')"
                    " new('ntestlogicnode', '/usr/logic/c') sel('/usr/logic/c') setflags('c2')"
                    " new('ntestlogicnode', '/usr/logic/off') sel('/usr/logic/off') setflags('v2') setactive(false)"));
    static_cast<nTestLogicNode*>(Lookup("/usr/logic/a/b"))->moves = true;
    LogicFrame(0.1f);
    EXPECT_EQ(logicEvents, (Strings{"applyview", "traverse a open", "traverse b open", "traverse s open",
                                    "traverse c open", "analyse c", "step b", "visualize a 1 0 0",
                                    "visualize b 1 2 0", "render s", "render c"}));
    ASSERT_EQ(graph->GetNumRecords(), 4);
    const char* names[] = {"a", "b", "s", "c"};
    int parents[] = {-1, 0, 1, -1};
    for (int i = 0; i < 4; i++) {
        nLogicGraphRecord& r = graph->GetRecord(i);
        EXPECT_STREQ(r.node->GetName(), names[i]);
        EXPECT_EQ(r.parent ? int(r.parent - &graph->GetRecord(0)) : -1, parents[i]) << names[i];
    }
    // The visible physics node is in both lists under one index; 2D follows tree order.
    EXPECT_EQ(List(graph->GetVisibleCount(), &nLogicGraph::GetVisible, graph), "0 1");
    EXPECT_EQ(List(graph->GetPhysikCount(), &nLogicGraph::GetPhysik, graph), "1");
    EXPECT_EQ(List(graph->GetCollisionCount(), &nLogicGraph::GetCollision, graph), "3");
    EXPECT_EQ(List(graph->Get2DCount(), &nLogicGraph::Get2D, graph), "2 3");
    EXPECT_TRUE(graph->GetRecord(1).moved);
    EXPECT_FALSE(graph->GetRecord(0).moved);
    // The collide frame is open only while the tree is traversed.
    EXPECT_FALSE(collide->InFrame());
    EXPECT_FALSE(physik->IsInFrame());

    // A frame time of 0 skips collisions and the step, not the visual pass.
    logicEvents.clear();
    LogicFrame(0.0f);
    EXPECT_TRUE(Events("analyse").empty());
    EXPECT_TRUE(Events("step").empty());
    EXPECT_EQ(Events("visualize").size(), 2u);
}

TEST_F(LogicGraphTest, TheViewComesFromTheCameraServerAndWithoutACameraNothingIsTraversed) {
    NewNode("/usr/logic/a", "vcp2");
    nTestVisNode* fxTree = Node("/sys/servers/specialfx/root", nTestVisNode::Other);
    (void)fxTree;
    camera->camera.SetTranslation(vector3(0.0f, 0.0f, 10.0f));
    LogicFrame(0.1f);
    matrix44 view = camera->camera;
    view.Invert();
    EXPECT_EQ(graph->GetRootMatrix(), view);
    EXPECT_EQ(gfx->GetMatrix(nGfxServer::VIEWER), camera->camera);
    EXPECT_EQ(Events("visualize"), (Strings{"visualize a 0 0 0"}));

    // No current camera: no record, empty lists, and the frame still renders (the
    // special-effects tree is drawn, its colour reset).
    camera->current = false;
    logicEvents.clear();
    sceneEvents.clear();
    fx->AddColor(0.5f, 0.0f, 0.0f, 0.5f);
    LogicFrame(0.1f);
    EXPECT_EQ(logicEvents, Strings{});
    EXPECT_EQ(graph->GetNumRecords(), 0);
    EXPECT_EQ(graph->GetVisibleCount() + graph->GetCollisionCount() + graph->GetPhysikCount() + graph->Get2DCount(), 0);
    EXPECT_EQ(graph->GetRootMatrix(), matrix44());
    EXPECT_NE(std::find(sceneEvents.begin(), sceneEvents.end(), "compute root"), sceneEvents.end());
    float r, g, b, a;
    EXPECT_FALSE(fx->GetColor(r, g, b, a));
}

TEST_F(LogicGraphTest, DeferredReleaseReleasesOnceAndSkipsNodesThatDiedMeanwhile) {
    nRef<nRoot> a(NewNode("/usr/logic/a", ""));
    nRef<nRoot> b(NewNode("/usr/logic/b", ""));
    a->AddRef();  // held elsewhere too
    static_cast<nLogicNode*>(a.Get())->DeferRelease();
    static_cast<nLogicNode*>(a.Get())->DeferRelease();
    static_cast<nLogicNode*>(b.Get())->DeferRelease();
    EXPECT_EQ(graph->GetNumQueued(), 2);
    b->Release();
    ASSERT_FALSE(b.IsValid());
    graph->ReleaseQueued();
    ASSERT_TRUE(a.IsValid());
    EXPECT_EQ(a->GetRefCount(), 1);
    EXPECT_EQ(graph->GetNumQueued(), 0);
    // Still held, it can be queued again, and then goes.
    static_cast<nLogicNode*>(a.Get())->DeferRelease();
    LogicFrame(0.0f);
    EXPECT_FALSE(a.IsValid());
}

TEST_F(LogicGraphTest, TheDebugPassSetsItsRenderStatesAndDrawsTheVisibleModules) {
    NewNode("/usr/logic/a", "v")->SetPos(1.0f, 0.0f, 0.0f);
    ASSERT_TRUE(Run("sel('/sys/servers/lgraph') setdbgmode(true)"));
    sceneEvents.clear();
    LogicFrame(0.1f);
    auto state = [](int s, int32_t i) {
        float f;
        std::memcpy(&f, &i, sizeof f);
        char buf[64];
        std::snprintf(buf, sizeof(buf), "state %d %g", s, f);
        return std::string(buf);
    };
    auto from = std::find(sceneEvents.begin(), sceneEvents.end(), state(2, 0));
    ASSERT_NE(from, sceneEvents.end());
    Strings debug(from, sceneEvents.end());
    ASSERT_GE(debug.size(), 6u);
    EXPECT_EQ(Strings(debug.begin(), debug.begin() + 5),
              (Strings{state(2, 0), state(15, 0), state(9, 21), "state 10 1", "matrix 1 0 0"}));
    EXPECT_EQ(debug.back(), state(10, 0));
    EXPECT_EQ(Events("modules"), Strings{"modules a"});
}

TEST_F(LogicGraphTest, OverflowingTablesLeaveTheRestOutAndLogOnceAFrame) {
    kernel->New("nlogicnode", "/usr/logic/flat");
    Quiet("/usr/logic/flat", 2049, "", false);
    LogicFrame(0.0f);
    LogicFrame(0.0f);
    EXPECT_EQ(graph->GetNumRecords(), 2048);
    EXPECT_EQ(Count(log.text, "more than 2048 records"), 2);
    Lookup("/usr/logic/flat")->Release();

    Quiet("/usr/logic", 66, "", true);
    LogicFrame(0.0f);
    EXPECT_EQ(graph->GetNumRecords(), 64);
    EXPECT_EQ(Count(log.text, "nested deeper than 64"), 1);
    Lookup("/usr/logic/n")->Release();

    kernel->New("nlogicnode", "/usr/logic/many");
    Quiet("/usr/logic/many", 257, "p2", false);
    LogicFrame(0.0f);
    EXPECT_EQ(graph->GetPhysikCount(), 256);
    EXPECT_EQ(graph->Get2DCount(), 256);
    EXPECT_EQ(Count(log.text, "more than 256 physics nodes"), 1);
    EXPECT_EQ(Count(log.text, "more than 256 2D nodes"), 1);

    // The body table holds 255: the next state's body is left out, logged once.
    nTestModule* mass = NewModule("/usr/mass", 3);
    mass->MakeMass(physik, 0.5f);
    graph->BeginTraversal();
    int listed = 0;
    for (int i = 0; i < 257; i++) {
        auto* n = static_cast<nLogicNode*>(Lookup(("/usr/logic/many/n" + std::to_string(i)).c_str()));
        auto* st = static_cast<nModPhysikState*>(n->AddModuleState(new nModPhysikState("physik", n)));
        st->AddModule("/usr/mass");
        listed += st->Update(matrix44()) ? 1 : 0;
    }
    graph->EndTraversal();
    EXPECT_EQ(listed, 255);
    EXPECT_EQ(physik->GetNumBodies(), 255);
    EXPECT_EQ(Count(log.text, "body table is full"), 1);
}

TEST_F(LogicGraphTest, TheGraphHoldsTheLogicInputServerAndTheEventRecord) {
    EXPECT_NE(graph->GetEventRecord(), nullptr);
    nRoot* input = Lookup("/sys/servers/logicinput");
    ASSERT_NE(input, nullptr);
    EXPECT_TRUE(input->IsA("nlogicinputserver"));
    // A second graph holds the same server once more and gives back only its own count.
    nRoot* second = kernel->New("nlogicgraph", "/usr/second");
    second->Release();
    EXPECT_EQ(Lookup("/sys/servers/logicinput"), input);
    graph->Release();
    graph = nullptr;
    EXPECT_EQ(Lookup("/sys/servers/logicinput"), nullptr);
}

}  // namespace
