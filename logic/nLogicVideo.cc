#include "logic/nLogicVideo.h"

#include "kernel/nPersistServer.h"
#include "logic/nBaseObserver.h"
#include "logic/nLogicEvent.h"
#include "logic/nLogicEventHandler.h"
#include "logic/nModVisualizerState.h"
#include "logic/nPersistVar.h"
#include "logic/nScriptEvent.h"
#include "logic/nVariableContext.h"
#include "scene/nVariableServer.h"

static const nCmdDef<nLogicVideo> cmds[] = {
    Bind<&nLogicVideo::StartVideo>("v_videostart_v", "VSTP"),
    Bind<&nLogicVideo::EndVideo>("v_videoend_v", "VENP"),
    // Spelt so in the saved files and scripts that use it.
    Bind<&nLogicVideo::SetLength>("v_setvidolength_f", "VSPL"),
};
const nClassInfo nLogicVideo::classInfo = nClassInfo::Make<nLogicVideo>("nlogicvideo", "nlogicvisual2", cmds);

nLogicVideo::nLogicVideo() {
    videoState_ = static_cast<nModVisualizerState*>(CreateModuleState(nModuleState::Visualizer, "video"));
    videoState_->SetEnabled(false);
    playEndEvent_ = DeclareEvent("onplayend", "s");
    playEndHandler_ = AddHandler("onplayend");
}

nLogicVideo::~nLogicVideo() = default;

bool nLogicVideo::IsPlaying() const {
    return videoState_->GetEnabled();
}

void nLogicVideo::StartVideo() {
    videoState_->SetEnabled(true);
    SetTime(0.0f);
}

void nLogicVideo::EndVideo() {
    const std::string path = GetFullName();
    // Both run at the start of the next frame: the bound functions through the parent's
    // trigger, the handler's script through the event server.
    if (playEndEvent_->GetNumFunctions() > 0) {
        playEndEvent_->GetArg(0).SetS(path.c_str());
        AddPendingEvent(playEndEvent_);
    }
    if (playEndHandler_ && playEndHandler_->IsBound()) {
        // The path goes into the event object's first variable, made when it has none.
        if (nLogicEvent* args = playEndHandler_->GetEventObject()) {
            nPersistVar* first = args->GetFirstVar();
            if (!first) {
                args->SetS("node", path.c_str());
            } else if (first->Get().GetType() == nVariable::String) {
                first->Get().SetS(path.c_str());
            } else {
                n_error("%s: onplayend: the event's first variable '%s' holds no text; the path is not passed\n",
                        path.c_str(), first->GetName());
            }
        }
        playEndHandler_->Queue();
    }
    videoState_->SetEnabled(false);
    SetTime(0.0f);
}

bool nLogicVideo::Trigger(nLogicGraph* graph) {
    if (videoState_->GetEnabled()) {
        videoState_->SetTime(GetTime());
        if (length_ <= GetTime()) EndVideo();
    }
    return nLogicVisual2::Trigger(graph);
}

void nLogicVideo::UpdateVariables() {
    nLogicVisual2::UpdateVariables();
    timeVar_ = variableRef_.Get()->GetVariableHandleByName("time");
    videoState_->MakeVariables()->Add(timeVar_).SetF(videoState_->GetTime());
}

void nLogicVideo::SetNodeVariables() {
    nLogicVisual2::SetNodeVariables();
    if (nVariableContext* vars = videoState_->GetVariables()) {
        if (nVariable* v = vars->Find(timeVar_)) v->SetF(videoState_->GetTime());
    }
}

void nLogicVideo::Visualize(nSceneGraph2* sceneGraph, const matrix44& world) {
    nLogicVisual2::Visualize(sceneGraph, world);
    // The players pace themselves against the clock; a sleep would cost them frames.
    observerRef_.Get()->SetSkipSleep(true);
    if (!videoState_->GetVariables()) UpdateVariables();
    videoState_->Visualize(world, sceneGraph);
}

bool nLogicVideo::SaveCmds(nPersistServer* ps) {
    return nLogicVisual2::SaveCmds(ps) && ps->Put(this, nId("VSPL"), length_);
}
