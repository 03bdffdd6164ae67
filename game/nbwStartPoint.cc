#include "game/nbwStartPoint.h"

#include "collide/nCollideContext2.h"
#include "logic/nModCollisionState.h"

static const nCmdDef<nbwStartPoint> cmds[] = {
    Bind<&nbwStartPoint::SetEmptyStatus>("v_setemptystatus_b", "SSEM"),
    Bind<&nbwStartPoint::GetEmptyStatus>("b_getemptystatus_v", "SGEM"),
};
const nClassInfo nbwStartPoint::classInfo = nClassInfo::Make<nbwStartPoint>("nbwstartpoint", "nlogiccollision2", cmds);

nbwStartPoint::nbwStartPoint() {
    state_ = static_cast<nModCollisionState*>(CreateModuleState(nModuleState::Collision, "startpoint"));
    state_->SetContext("trigger");
}

nbwStartPoint::~nbwStartPoint() = default;

void nbwStartPoint::AnalyseCollision() {
    bool touched = false;
    if (state_->GetEnabled() && state_->GetNumModules() > 0) {
        if (nCollideContext2* ctx = state_->GetContext()) {
            nCollidePair** pairs = nullptr;
            nCollideReport** reports = nullptr;
            touched = ctx->GetCollisions(state_, pairs) > 0 || ctx->GetContacts(state_, reports) > 0;
        }
    }
    empty_ = !touched;
}
