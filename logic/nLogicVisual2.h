#pragma once
// A logic node with a place in 3D space (script class "nlogicvisual2"): a local transform
// kept as position, rotation quaternion and scale, the world matrix of each frame, a
// "default" animator state and a "default" visualizer state that shows it, distance
// culling with a fade factor, and an optional target it turns to. The base of every
// collision, physics, camera, sprite, sound, video and level node.
#include <string>

#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"
#include "kernel/quaternion.h"
#include "kernel/vector3.h"
#include "logic/nLogicNode.h"

class nGfxServer;
class nModAnimatorState;
class nModVisualizerState;
class nVariable;
class nVariableServer;

class nLogicVisual2 : public nLogicNode {
public:
    static const nClassInfo classInfo;

    nLogicVisual2();
    ~nLogicVisual2() override;
    bool SaveCmds(nPersistServer* ps) override;

    // The default visualizer state's modules attach, then the active logic children set up.
    void Setup() override;
    // Animates the default animator state (while its time is within its length, and once
    // at the length in the frame that steps past it), turns to the look-at target, then
    // serves the children.
    bool Trigger(nLogicGraph* graph) override;
    // World := local x parent; a node that passes the distance test updates its modules,
    // enters a record and traverses its children; one that fails is left out with its
    // subtree.
    void Traverse(nLogicGraph* graph, const matrix44& parentMatrix) override;
    bool IsVisible() const override { return visualizerCount_ > 0 && visible_; }
    nModuleState* CreateModuleState(int stateType, const char* name) override;
    void AddModule(int stateType, const char* stateName, const char* moduleName) override;
    void RemoveModule(int stateType, const char* stateName, const char* moduleName) override;
    void Visualize(nSceneGraph2* sceneGraph, const matrix44& world) override;
    void RenderModules() override;

    // Declares "time", "lod" and "dist" in the default visualizer state's variables.
    virtual void UpdateVariables();
    // Writes the node's time, fade factor and distance into them.
    virtual void SetNodeVariables();
    // Per traversal, with the node's world matrix: nothing here.
    virtual void UpdateModules(const matrix44& /*world*/) {}

    // Render variables of a visualizer state (the default one when `state` is null),
    // for UpdateVariables and SetNodeVariables of this class and its subclasses.
    // AddVariable declares the name through the variable server, gives the state's
    // variable of that handle the initial value and returns the handle; an empty name is
    // logged and gives -1. No variable server is a program error: fatal "Aborting.".
    int AddVariable(nModVisualizerState* state, const char* name, float value);
    int AddVariable(nModVisualizerState* state, const char* name, const char* text);
    // Replaces the value of the state's variable of that handle; false when the state
    // has none (before UpdateVariables, or a handle of -1).
    bool SetVariable(nModVisualizerState* state, int handle, float value);
    bool SetVariable(nModVisualizerState* state, int handle, const char* text);

    // The local matrix, rebuilt first when a setter changed it.
    const matrix44& GetMatrix();
    // Stores the matrix and splits it into position, rotation and scale.
    void SetMatrix(const matrix44& m);
    const matrix44& GetWorldMatrix() const { return world_; }
    // The global "frametime" channel.
    float GetFrameTime();

    void SetVisible(bool on) { visible_ = on; }
    bool GetVisible() const { return visible_; }
    void SetPosition(const vector3& p);
    const vector3& GetPosition() const { return position_; }
    // Stored as given, not normalised.
    void SetQuaternion(const quaternion& q);
    const quaternion& GetQuaternion() const { return rotation_; }
    // Angles in radians: the x, then y, then z rotation quaternions multiplied in that order.
    void SetRotation(float x, float y, float z);
    void SetScale(const vector3& s);
    const vector3& GetScale() const { return scale_; }
    // "none" clears the target; a path resolves relative to this node.
    void SetLookAt(const char* path);
    // The target's full path, "none" when it does not resolve.
    std::string GetLookAt();
    void SetClipDistance(float d);
    float GetClipDistance() const;
    // A row of the local matrix: "x", "y" or "z"; any other text is logged and gives 0.
    vector3 GetAxis(const char* which);
    void AddVisualizer(const char* stateName, const char* moduleName) { AddModule(3, stateName, moduleName); }
    void RemoveVisualizer(const char* stateName, const char* moduleName) { RemoveModule(3, stateName, moduleName); }

    nModAnimatorState* GetAnimatorState() const { return animatorState_; }
    nModVisualizerState* GetVisualizerState() const { return visualizerState_; }
    int GetVisualizerCount() const { return visualizerCount_; }

    // (sin(x/2), 0, 0, cos(x/2)) x (0, sin(y/2), 0, cos(y/2)) x (0, 0, sin(z/2), cos(z/2)).
    static quaternion EulerQuaternion(float x, float y, float z);

protected:
    // UpdateVariables, once until DropVariables; a variable a subclass or a game class
    // adds to the default state beforehand does not keep the node's own from being made.
    void DeclareVariables();
    // Frees the default state's variables; the node declares them anew before it is next
    // shown.
    void DropVariables();

    // The named variable of the state, made when missing; null for an empty name.
    nVariable* DeclareVariable(nModVisualizerState* state, const char* name, int& handle);
    nVariable* FindVariable(nModVisualizerState* state, int handle) const;

    // The distance test against the graph's view matrix; stores distance and fade factor
    // in the default visualizer state.
    bool PassesDistanceTest(nLogicGraph* graph);

    nPathRef<nGfxServer> gfxRef_{"/sys/servers/gfx"};
    nPathRef<nVariableServer> variableRef_{"/sys/servers/variable"};

private:
    nPathRef<nRoot> lookAtRef_;
    matrix44 matrix_;
    vector3 position_;
    vector3 scale_{1.0f, 1.0f, 1.0f};
    quaternion rotation_;
    bool dirty_ = true;
    bool visible_ = true;
    int timeVar_ = -1, lodVar_ = -1, distVar_ = -1;
    bool variablesDeclared_ = false;
    int visualizerCount_ = 0;
    nModAnimatorState* animatorState_ = nullptr;
    nModVisualizerState* visualizerState_ = nullptr;
    matrix44 world_;
};
