// Visual logic nodes: transform commands and saving, the distance test, the default
// animator state and look-at in Trigger; visualizer modules and their copies of a
// template, view culling and the node's variables in the copy's channels.
#include <gtest/gtest.h>

#include <cmath>

#include "logic/nLogicVisual2.h"
#include "logic/nModAnimatorState.h"
#include "logic/nModVisualizer.h"
#include "logic/nModVisualizerState.h"
#include "logic/nVariableContext.h"
#include "scene/n3DNode.h"
#include "tests/logic/GraphFixture.h"

namespace {

using Strings = std::vector<std::string>;

class LogicVisualTest : public GraphFixture {
protected:
    nLogicVisual2* Visual(const char* path) { return static_cast<nLogicVisual2*>(kernel->New("nlogicvisual2", path)); }
    // A template 3D node with a test node under it that reads channels once told to.
    void Template(const char* path) {
        kernel->New("n3dnode", path);
        Node((std::string(path) + "/reader").c_str(), nTestVisNode::Group);
    }
    bool InRecords(nLogicNode* n) {
        for (int i = 0; i < graph->GetNumRecords(); i++) {
            if (graph->GetRecord(i).node == n) return true;
        }
        return false;
    }
};

TEST_F(LogicVisualTest, TransformCommandsAndSaving) {
    ASSERT_TRUE(Run("new('nlogicvisual2', '/usr/logic/v') sel('/usr/logic/v') rxyz(0.3, 0.5, 0.7) q = {getq()}"));
    // The Hamilton product qx * qy * qz written out.
    float sx = std::sin(0.15f), cx = std::cos(0.15f), sy = std::sin(0.25f), cy = std::cos(0.25f);
    float sz = std::sin(0.35f), cz = std::cos(0.35f);
    float a[4] = {sx * cy, cx * sy, sx * sy, cx * cy};  // qx * qy
    float e[4] = {a[0] * cz + a[1] * sz, -a[0] * sz + a[1] * cz, a[3] * sz + a[2] * cz, a[3] * cz - a[2] * sz};
    for (int i = 0; i < 4; i++) EXPECT_NEAR(std::stof(Eval("q[" + std::to_string(i + 1) + "]")), e[i], 1e-5f) << i;

    // A dirty matrix is rebuilt before an axis is read.
    ASSERT_TRUE(Run("qxyzw(0, 0, 0, 1) sxyz(2, 2, 2) y = {getaxis('y')}"));
    EXPECT_EQ(Eval("y[1] .. ' ' .. y[2] .. ' ' .. y[3]"), "0.0 2.0 0.0");
    EXPECT_EQ(Eval("select('#', getaxis('w'))"), "3");
    EXPECT_TRUE(LogHas("unknown axis 'w'"));

    auto* v = static_cast<nLogicVisual2*>(Lookup("/usr/logic/v"));
    matrix44 m;
    m.Scale(vector3(2.0f, 1.0f, 1.0f));
    m.RotateY(0.5f);
    m.SetTranslation(vector3(1.0f, 2.0f, 3.0f));
    v->SetMatrix(m);
    EXPECT_NEAR(v->GetScale().x, 2.0f, 1e-5f);
    EXPECT_NEAR(v->GetScale().y, 1.0f, 1e-5f);
    EXPECT_NEAR(v->GetScale().z, 1.0f, 1e-5f);
    // The parts rebuild the same matrix.
    v->SetPosition(v->GetPosition());
    EXPECT_TRUE(v->GetMatrix().isequal(m, 1e-5f));

    // An identity node writes none of its transform commands; a moved one writes each.
    nLogicVisual2* plain = Visual("/usr/logic/plain");
    ASSERT_TRUE(plain->SaveAs(Path("plain").c_str()));
    std::string saved = Slurp(Path("plain.n"));
    EXPECT_NE(saved.find("setvisible( true )"), std::string::npos) << saved;
    for (const char* cmd : {"txyz", "qxyzw", "sxyz", "setclipdist", "lookat("}) {
        EXPECT_EQ(saved.find(cmd), std::string::npos) << cmd;
    }
    ASSERT_TRUE(Run("sel('/usr/logic/v') setvisible(false) setclipdist(50) lookat('../plain') txyz(1, 2, 3)"));
    ASSERT_TRUE(v->SaveAs(Path("v").c_str()));
    saved = Slurp(Path("v.n"));
    for (const char* line : {"setvisible( false )", "txyz( 1.00000000, 2.00000000, 3.00000000 )", "qxyzw(",
                             "sxyz( 2.00000", "setclipdist( 50.00000000 )", "lookat( \"/usr/logic/plain\" )"}) {
        EXPECT_NE(saved.find(line), std::string::npos) << line << "\n" << saved;
    }
    kernel->SetCwd(kernel->New("nroot", "/usr/logic/loaded"));
    nRoot* back = kernel->Load(Path("v.n").c_str());
    ASSERT_NE(back, nullptr);
    ASSERT_TRUE(back->SaveAs(Path("w").c_str()));
    EXPECT_EQ(Slurp(Path("w.n")), saved);
}

TEST_F(LogicVisualTest, TheDistanceTestCullsNodesWithTheirSubtrees) {
    nLogicVisual2* near = Visual("/usr/logic/near");
    nLogicVisual2* far = Visual("/usr/logic/far");
    nLogicVisual2* child = Visual("/usr/logic/far/child");
    nLogicVisual2* endless = Visual("/usr/logic/endless");
    near->SetPosition(vector3(0.0f, 0.0f, -30.0f));
    far->SetPosition(vector3(0.0f, 0.0f, -60.0f));
    endless->SetPosition(vector3(0.0f, 0.0f, -100000.0f));
    near->SetClipDistance(50.0f);
    far->SetClipDistance(50.0f);
    LogicFrame(0.0f);
    EXPECT_TRUE(InRecords(near));
    EXPECT_FALSE(InRecords(far));
    EXPECT_FALSE(InRecords(child));
    EXPECT_TRUE(InRecords(endless));
    // Near fade 0, far fade the clip distance: 30 of 50 leaves 0.4.
    EXPECT_NEAR(near->GetVisualizerState()->distance, 30.0f, 1e-4f);
    EXPECT_NEAR(near->GetVisualizerState()->lod, 0.4f, 1e-5f);
    EXPECT_NEAR(endless->GetVisualizerState()->lod, 1.0f, 1e-5f);
    // Without visualizer modules a node is traversed but not visible.
    EXPECT_EQ(graph->GetVisibleCount(), 0);

    // The world matrix is local x parent.
    child->SetPosition(vector3(1.0f, 0.0f, 0.0f));
    far->SetClipDistance(0.0f);
    LogicFrame(0.0f);
    EXPECT_EQ(child->GetWorldMatrix().Translation().x, 1.0f);
    EXPECT_EQ(child->GetWorldMatrix().Translation().z, -60.0f);
}

TEST_F(LogicVisualTest, TheAnimatorRunsWithinItsLengthAndLookAtTurnsTheNode) {
    nLogicVisual2* v = Visual("/usr/logic/v");
    nTestModule* anim = NewModule("/usr/modules/anim", 0);
    ASSERT_TRUE(Run("sel('/usr/logic/v') addanimator('default', '/usr/modules/anim') setanimatorlenght('default', 2)"));
    for (float t : {1.9f, 2.0f, 2.1f, 0.0f}) {
        v->SetTime(t);
        v->Trigger(graph);
    }
    // Time equal to the length still animates; past it nothing; time 0 restarts.
    EXPECT_EQ(Events("animate"), (Strings{"animate anim 1.9", "animate anim 2", "animate anim 0"}));
    EXPECT_EQ(anim->calls, 3);

    nLogicVisual2* target = Visual("/usr/logic/target");
    target->SetPosition(vector3(10.0f, 0.0f, 0.0f));
    ASSERT_TRUE(Run("sel('/usr/logic/v') lookat('../target')"));
    EXPECT_EQ(Eval("getlookat()"), "/usr/logic/target");
    v->Trigger(graph);
    // The z axis points away from the target.
    EXPECT_NEAR(v->GetAxis("z").x, -1.0f, 1e-5f);
    ASSERT_TRUE(Run("lookat('none')"));
    EXPECT_EQ(Eval("getlookat()"), "none");
    target->SetPosition(vector3(0.0f, 0.0f, 10.0f));
    v->Trigger(graph);
    EXPECT_NEAR(v->GetAxis("z").x, -1.0f, 1e-5f);
    ASSERT_TRUE(Run("lookat('../nobody')"));
    v->Trigger(graph);
    EXPECT_NEAR(v->GetAxis("z").x, -1.0f, 1e-5f);
    EXPECT_EQ(Eval("getlookat()"), "none");
}

TEST_F(LogicVisualTest, VisualizersCloneTheirTemplateAndFeedItsChannels) {
    Template("/tmpl");
    Template("/other");
    nLogicVisual2* v = Visual("/usr/logic/v");
    v->SetPosition(vector3(0.0f, 0.0f, -5.0f));
    ASSERT_TRUE(Run("new('nmodvisualizer', '/usr/modules/a') sel('/usr/modules/a') setvisual('/tmpl')"
                    " new('nmodvisualizer', '/usr/modules/b') sel('/usr/modules/b') setvisual('/tmpl')"
                    " sel('/usr/logic/v') addvisualizer('default', '/usr/modules/a')"
                    " addvisualizer('default', '/usr/modules/b') addvisualizer('default', '/usr/modules/b')"));
    EXPECT_EQ(v->GetVisualizerCount(), 2);
    v->Setup();
    auto* a = static_cast<nModVisualizer*>(Lookup("/usr/modules/a"));
    // One copy a module, each named after it.
    ASSERT_NE(Lookup("/usr/modules/a/ref_a"), nullptr);
    ASSERT_NE(Lookup("/usr/modules/b/ref_b"), nullptr);
    EXPECT_EQ(a->GetClone(), Lookup("/usr/modules/a/ref_a"));

    // The copy reads the node's variables through channels of the same names.
    auto* reader = static_cast<nTestVisNode*>(Lookup("/usr/modules/a/ref_a/reader"));
    ASSERT_NE(reader, nullptr);
    reader->channels = {"dist", "time", "lod"};
    reader->NotifyParents();
    v->SetTime(1.5f);
    v->Trigger(graph);
    LogicFrame(0.0f);
    ASSERT_EQ(reader->read.size(), 3u);
    EXPECT_NEAR(reader->read[0], 5.0f, 1e-5f);
    EXPECT_NEAR(reader->read[1], 1.5f, 1e-5f);
    EXPECT_NEAR(reader->read[2], 1.0f, 1e-5f);
    EXPECT_EQ(a->GetClone()->GetLocalMatrix().Translation().z, -5.0f);
    // A variable added after the binding binds again, in its place.
    v->GetVisualizerState()->GetVariables()->Add(variables->GetVariableHandleByName("extra")).SetF(7.0f);
    reader->channels = {"extra", "dist"};
    reader->NotifyParents();
    LogicFrame(0.0f);
    ASSERT_EQ(reader->read.size(), 2u);
    EXPECT_EQ(reader->read[0], 7.0f);
    EXPECT_NEAR(reader->read[1], 5.0f, 1e-5f);

    // The same path keeps the copy; another drops it, and the next frame makes a new one.
    n3DNode* first = a->GetClone();
    ASSERT_TRUE(Run("sel('/usr/modules/a') setvisual('/tmpl')"));
    EXPECT_EQ(a->GetClone(), first);
    ASSERT_TRUE(Run("setvisual('/other')"));
    EXPECT_EQ(a->GetClone(), nullptr);
    EXPECT_EQ(Lookup("/usr/modules/a/ref_a"), nullptr);
    LogicFrame(0.0f);
    ASSERT_NE(a->GetClone(), nullptr);
    EXPECT_NE(Lookup("/usr/modules/a/ref_a/reader"), nullptr);

    // A template that is missing or no 3D node is logged once and draws nothing.
    kernel->New("nroot", "/plain");
    ASSERT_TRUE(Run("setvisual('/plain')"));
    LogicFrame(0.0f);
    LogicFrame(0.0f);
    a->Attach();
    EXPECT_EQ(Count(log.text, "'/plain' is no n3dnode"), 1);
    EXPECT_EQ(a->GetClone(), nullptr);
    EXPECT_EQ(Eval("getvisual()"), "/plain");
    ASSERT_TRUE(Run("setvisual('/nothing')"));
    LogicFrame(0.0f);
    EXPECT_EQ(Count(log.text, "'/nothing' names nothing"), 1);
    EXPECT_EQ(Eval("getvisual()"), "");
}

TEST_F(LogicVisualTest, ViewExtentsCullBoxesOutsideTheView) {
    Template("/tmpl");
    nLogicVisual2* v = Visual("/usr/logic/v");
    ASSERT_TRUE(Run("new('nmodvisualizer', '/usr/modules/a') sel('/usr/modules/a') setvisual('/tmpl')"
                    " setviewextents(0, 0, 0)"
                    " sel('/usr/logic/v') addvisualizer('default', '/usr/modules/a')"));
    auto* a = static_cast<nModVisualizer*>(Lookup("/usr/modules/a"));
    // A projection with the view along -z: x, y within |z|, z between 1 and 100.
    matrix44 proj(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1.0202f, -1, 0, 0, -2.0202f, 0);
    gfx->SetMatrix(nGfxServer::PROJECTION, proj);
    auto attached = [&](float x) {
        v->SetPosition(vector3(x, 0.0f, -10.0f));
        LogicFrame(0.0f);
        n3DNode* clone = a->GetClone();
        return clone && clone->GetLocalMatrix().Translation().x == x;
    };
    // Without extents the module is never culled.
    EXPECT_TRUE(attached(1000.0f));
    ASSERT_TRUE(Run("sel('/usr/modules/a') setviewextents(1, 1, 1)"));
    EXPECT_TRUE(attached(5.0f));
    EXPECT_FALSE(attached(500.0f));
    // A box that straddles the edge of the view is drawn.
    EXPECT_TRUE(attached(10.5f));
}

}  // namespace
