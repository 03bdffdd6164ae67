#include "logic/nModVisualizerState.h"

#include "logic/nLogicNode.h"
#include "logic/nModule.h"
#include "logic/nVariableContext.h"

nModVisualizerState::nModVisualizerState(const char* name, nLogicNode* owner) : nModuleState(name, owner) {}

nModVisualizerState::~nModVisualizerState() {
    delete variables_;
}

nVariableContext* nModVisualizerState::MakeVariables() {
    if (!variables_) variables_ = new nVariableContext;
    return variables_;
}

void nModVisualizerState::DropVariables() {
    delete variables_;
    variables_ = nullptr;
}

void nModVisualizerState::Visualize(const matrix44& world, nSceneGraph2* sceneGraph) {
    if (!GetEnabled()) return;
    for (int i = 0; i < GetNumModules(); i++) {
        if (nModule* m = ModuleOfType(i, nModule::Visualizer)) m->Visualize(world, sceneGraph, variables_);
    }
}
