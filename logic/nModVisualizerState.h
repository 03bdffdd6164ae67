#pragma once
// The visualizer state (type 3): its visualizer modules show the node in the scene with
// the node's render variables; it also carries the node's distance to the camera, its
// fade factor and clip distance.
#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"
#include "logic/nModuleState.h"

class nSceneGraph2;
class nVariableContext;

class nModVisualizerState : public nModuleState {
public:
    nModVisualizerState(const char* name, nLogicNode* owner);
    ~nModVisualizerState() override;
    int GetStateType() const override { return Visualizer; }

    // Each visualizer module's Visualize (node world, scene graph, the variables);
    // nothing when disabled.
    void Visualize(const matrix44& world, nSceneGraph2* sceneGraph);

    float distance = 0.0f;
    float lod = 0.0f;
    float clipDistance = 0.0f;

    // Null until the node makes them (owned from then on).
    nVariableContext* GetVariables() const { return variables_; }
    nVariableContext* MakeVariables();
    // Frees the variables; the node declares them anew before it is next shown.
    void DropVariables();

private:
    nPathRef<nRoot> refGfxServer_{"/sys/servers/gfx"};
    nVariableContext* variables_ = nullptr;
};
