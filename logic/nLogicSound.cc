#include "logic/nLogicSound.h"

#include "logic/nModVisualizerState.h"
#include "logic/nVariableContext.h"
#include "scene/nVariableServer.h"

static const nCmdDef<nLogicSound> cmds[] = {
    {"v_play_v", "LSNP", [](nLogicSound* self, nCmd*) { self->Play(); }},
    {"v_stop_v", "LSNS", [](nLogicSound* self, nCmd*) { self->Stop(); }},
};
const nClassInfo nLogicSound::classInfo = nClassInfo::Make<nLogicSound>("nlogicsound", "nlogicvisual2", cmds);

nLogicSound::nLogicSound() = default;
nLogicSound::~nLogicSound() = default;

void nLogicSound::UpdateVariables() {
    nLogicVisual2::UpdateVariables();
    triggerVar_ = variableRef_.Get()->GetVariableHandleByName("soundtrigger");
    GetVisualizerState()->MakeVariables()->Add(triggerVar_).SetF(0.0f);
}

void nLogicSound::SetNodeVariables() {
    nLogicVisual2::SetNodeVariables();
    if (nVariable* v = GetVisualizerState()->GetVariables()->Find(triggerVar_)) v->SetF(trigger_);
    trigger_ = 0.0f;
}
