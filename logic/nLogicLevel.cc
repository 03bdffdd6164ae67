#include "logic/nLogicLevel.h"

#include <algorithm>
#include <string>

#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRef.h"
#include "logic/nBaseObserver.h"
#include "logic/nModVisualizerState.h"
#include "logic/nVariableContext.h"
#include "scene/nVariableServer.h"

static const nCmdDef<nLogicLevel> cmds[] = {
    Bind<&nLogicLevel::LoadLevel>("v_loadlevel_v", "LLLV"),
    Bind<&nLogicLevel::UnloadLevel>("v_unloadlevel_v", "LDLV"),
    Bind<&nLogicLevel::SetMapFile>("v_setmapfile_s", "LSMF"),
    Bind<&nLogicLevel::GetMapFile>("s_getmapfile_v", "LGMF"),
    Bind<&nLogicLevel::FadeTo>("v_fadeto_ff", "LFTO"),
};
const nClassInfo nLogicLevel::classInfo = nClassInfo::Make<nLogicLevel>("nlogiclevel", "nlogicvisual2", cmds);

nLogicLevel::nLogicLevel() {
    faderState_ = static_cast<nModVisualizerState*>(CreateModuleState(nModuleState::Visualizer, "fader"));
}

nLogicLevel::~nLogicLevel() = default;

// -- loading ------------------------------------------------------------------------

void nLogicLevel::LoadLevel() {
    loadOk_ = false;
    builtMap_.clear();
    if (loading_) {
        // The map would run itself again without end.
        n_error("%s: v_loadlevel: the map file '%s' is still running; not loaded again from inside it\n",
                GetFullName().c_str(), mapFile_.Get());
        return;
    }
    if (mapFile_.IsEmpty()) {
        n_error("%s: v_loadlevel: no map file set\n", GetFullName().c_str());
        // Nothing to run is nothing that failed.
        loadOk_ = true;
        return;
    }
    loaded_ = true;
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(this);
    nBaseObserver* observer = observerRef_.Get();
    // The map may set another map file or release this level while it runs.
    const std::string map = mapFile_.Get();
    const nScriptServer::Origin origin = mapOrigin_;
    nRef<nRoot> alive(this);
    loading_ = true;
    bool ok = observer->RunScript(map.c_str(), origin);
    if (!alive.IsValid()) {
        ks->PopCwd();
        return;
    }
    loading_ = false;
    loadOk_ = ok;
    if (ok) {
        builtMap_ = map;
        builtOrigin_ = origin;
    }
    if (!ok) n_error("%s: v_loadlevel: the map file '%s' did not run through\n", GetFullName().c_str(), map.c_str());
    Setup();
    ks->PopCwd();
}

void nLogicLevel::UnloadLevel() {
    loaded_ = false;
    DeleteTimers();
    // A child's release may run scripts (its store's hooks) that reach this level.
    nRef<nRoot> alive(this);
    while (nRoot* child = GetHead()) {
        child->Remove();
        child->Release();
        if (!alive.IsValid()) return;
    }
}

// -- fade ---------------------------------------------------------------------------

void nLogicLevel::FadeTo(float target, float time) {
    fadeTime_ = time;
    if (time > 0.0f) fadeSpeed_ = (target - transparency_) / time;
    else transparency_ = target;
}

bool nLogicLevel::Trigger(nLogicGraph* graph) {
    faderState_->SetTime(GetTime());
    if (fadeTime_ > 0.0f) {
        float dt = std::max(GetFrameTime(), 0.0f);
        // The last step covers only the time left, so the fade ends on its target.
        transparency_ += std::min(dt, fadeTime_) * fadeSpeed_;
        fadeTime_ = std::max(fadeTime_ - dt, 0.0f);
        transparency_ = std::clamp(transparency_, 0.0f, 1.0f);
    }
    return nLogicVisual2::Trigger(graph);
}

// -- render variables ---------------------------------------------------------------

void nLogicLevel::UpdateVariables() {
    nLogicVisual2::UpdateVariables();
    nVariableServer* vs = variableRef_.Get();
    nVariableContext* vars = faderState_->MakeVariables();
    timeVar_ = vs->GetVariableHandleByName("time");
    transparenzVar_ = vs->GetVariableHandleByName("transparenz");
    vars->Add(timeVar_).SetF(0.0f);
    vars->Add(transparenzVar_).SetF(0.0f);
}

void nLogicLevel::SetNodeVariables() {
    nLogicVisual2::SetNodeVariables();
    nVariableContext* vars = faderState_->GetVariables();
    if (!vars) return;
    if (nVariable* v = vars->Find(timeVar_)) v->SetF(faderState_->GetTime());
    if (nVariable* v = vars->Find(transparenzVar_)) v->SetF(transparency_);
}

void nLogicLevel::Visualize(nSceneGraph2* sceneGraph, const matrix44& world) {
    if (!GetVisualizerState()->GetVariables()) UpdateVariables();
    SetNodeVariables();
    GetVisualizerState()->Visualize(world, sceneGraph);
    faderState_->Visualize(world, sceneGraph);
}

// -- persistence --------------------------------------------------------------------

bool nLogicLevel::SaveCmds(nPersistServer* ps) {
    if (!nLogicVisual2::SaveCmds(ps)) return false;
    if (mapFile_.IsEmpty()) return true;
    // A copy's map keeps the origin of the text that named it.
    nScriptServer::OriginScope origin(mapOrigin_);
    return ps->Put(this, nId("LSMF"), mapFile_.Get());
}
