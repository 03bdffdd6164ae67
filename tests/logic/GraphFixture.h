#pragma once
// The scene fixture plus what a logic frame runs on: the logic classes, the event server,
// a collide server with the contexts "picking" and "physik", the ODE physics server, the
// special-effects server, a recording camera server, the logic graph and the logic root
// "/usr/logic". Test nodes and test modules write what the graph and the states ask of
// them into `logicEvents`.
#include <string>
#include <vector>

#include "kernel/matrix44.h"
#include "logic/nCameraView.h"
#include "logic/nLogicGraph.h"
#include "logic/nLogicNode.h"
#include "logic/nModTransformer.h"
#include "tests/scene/SceneFixture.h"

class nCollideServer2;
class nPhysikMass;
class nPhysikServer;
class nSpecialFxServer;

extern std::vector<std::string> logicEvents;

// A visual logic node as the graph sees one: answers the four list questions by its
// flags ("v_setflags_s": v visible, c collision, p physics, 2 2D) and enters a record
// in Traverse at local x parent.
class nTestLogicNode : public nLogicNode {
public:
    static const nClassInfo classInfo;

    void Traverse(nLogicGraph* graph, const matrix44& parentMatrix) override;
    bool IsVisible() const override { return visible; }
    bool HasCollision() const override { return collision; }
    bool HasPhysik() const override { return physik; }
    bool Is2D() const override { return twoD; }
    void AnalyseCollision() override;
    bool StepPhysik(const matrix44& world) override;
    void Visualize(nSceneGraph2* sg, const matrix44& world) override;
    void RenderModules() override;
    void Render() override;
    void SetFlags(const char* flags);
    void SetPos(float x, float y, float z) { local.SetTranslation(vector3(x, y, z)); }
    std::string Label() const { return GetName() ? GetName() : "?"; }

    bool visible = false, collision = false, physik = false, twoD = false;
    bool moves = false;
    matrix44 local;
    // Quiet nodes log nothing (benchmarks, overflow tests).
    bool quiet = false;
};

// A module of any type ("v_settype_i") that logs each call it gets; as type 3 it hands
// out a sphere mass once MakeMass made one.
class nTestModule : public nModTransformer {
public:
    static const nClassInfo classInfo;
    ~nTestModule() override;

    int GetType() const override { return type; }
    void Attach() override { Log("attach"); }
    void Render() override { Log("render"); }
    void Animate(nLogicNode* owner, float time) override;
    void Collide(nLogicNode* owner, nModCollisionState* state, const matrix44& world, float time) override;
    void SetMatrix(const matrix44&) override { Log("setmatrix"); }
    void Visualize(const matrix44&, nSceneGraph2*, nVariableContext*) override { Log("visualize"); }
    nPhysikMass* GetPhysikMass() override { return mass; }
    void SetModuleType(int t) { type = t; }
    void MakeMass(nPhysikServer* server, float radius);
    void Log(const char* what) const;

    int type = -1;
    nPhysikMass* mass = nullptr;
    bool quiet = false;
    int calls = 0;
};

// The camera server as the graph reaches it: whether a camera is current, and the view.
class nTestCameraServer : public nRoot, public nCameraView {
public:
    static const nClassInfo classInfo;
    bool HasCurrentCamera() override { return current; }
    void ApplyView(nGfxServer* gfx, matrix44& view) override;

    bool current = true;
    matrix44 camera;
};

class GraphFixture : public SceneFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // One logic frame as the observer runs it: release, root Trigger, traversal, then
    // collisions and the step when `frameTime` > 0, then the visual pass.
    void LogicFrame(float frameTime);
    nTestLogicNode* NewNode(const char* path, const char* flags);
    nTestModule* NewModule(const char* path, int type);
    // The events that start with `prefix`, in order.
    std::vector<std::string> Events(const std::string& prefix) const;
    // How often `part` occurs in `text`.
    static int Count(const std::string& text, const std::string& part);

    nLogicGraph* graph = nullptr;
    nLogicNode* root = nullptr;
    nTestCameraServer* camera = nullptr;
    nCollideServer2* collide = nullptr;
    nPhysikServer* physik = nullptr;
    nSpecialFxServer* fx = nullptr;
};
