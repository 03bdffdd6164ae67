#include "game/nbwDolpin.h"

#include <cmath>

#include "logic/nModAnimatorState.h"

static const nCmdDef<nbwDolpin> cmds[] = {
    Bind<&nbwDolpin::Flee>("v_flee_v", "FLEE"),
};
const nClassInfo nbwDolpin::classInfo = nClassInfo::Make<nbwDolpin>("nbwdolpin", "nbwitem", cmds);

nbwDolpin::nbwDolpin() {
    DefineVar(FleeVar, "flee", int32_t(0));
    cruse_ = static_cast<nModAnimatorState*>(CreateModuleState(nModuleState::Animation, "cruse"));
    flee_ = static_cast<nModAnimatorState*>(CreateModuleState(nModuleState::Animation, "flee"));
    cruse_->SetTime(0.0f);
    flee_->SetTime(0.0f);
}

nbwDolpin::~nbwDolpin() = default;

void nbwDolpin::SetInt(int index, int32_t value) {
    if (index != FleeVar) {
        nbwItem::SetInt(index, value);
        return;
    }
    if (value == 1) flee_->SetTime(0.0f);
}

bool nbwDolpin::Trigger(nLogicGraph* graph) {
    nRef<nRoot> alive(this);
    nbwItem::Trigger(graph);
    if (!alive.IsValid()) return false;
    const float ft = GetFrameTime();
    const float length = cruse_->GetLength();
    if (GetInt(FleeVar) == 1 && cruse_->GetTime() + ft <= length) {
        flee_->SetTime(flee_->GetTime() + ft);
        flee_->Animate();
        return true;
    }
    // A cruise without a length stays at its start.
    cruse_->SetTime(length > 0.0f ? std::fmod(cruse_->GetTime() + ft, length) : 0.0f);
    cruse_->Animate();
    return true;
}
