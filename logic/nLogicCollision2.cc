#include "logic/nLogicCollision2.h"

#include "collide/nCollideContext2.h"
#include "kernel/nPersistServer.h"
#include "logic/nModCollisionState.h"

static const nCmdDef<nLogicCollision2> cmds[] = {
    Bind<&nLogicCollision2::SetCollision>("v_setcollision_b", "CSCO"),
    Bind<&nLogicCollision2::GetCollision>("b_getcollision_v", "CGCO"),
    Bind<&nLogicCollision2::SetCollContext>("v_setcollcontext_ss", "CSCX"),
    {"s_getcollcontext_s", "CGCX",
     [](nLogicCollision2* self, nCmd* c) { c->Out()->SetS(self->GetCollContext(c->In()->GetS())); }},
    Bind<&nLogicCollision2::AddCollision>("v_addcollision_ss", "CADC"),
    Bind<&nLogicCollision2::RemoveCollision>("v_removecollision_ss", "CRDC"),
};
const nClassInfo nLogicCollision2::classInfo =
    nClassInfo::Make<nLogicCollision2>("nlogiccollision2", "nlogicvisual2", cmds);

nLogicCollision2::nLogicCollision2() {
    pickingState_ = static_cast<nModCollisionState*>(nLogicCollision2::CreateModuleState(nModuleState::Collision, "picking"));
    pickingState_->SetContext("picking");
}

nLogicCollision2::~nLogicCollision2() = default;

nModCollisionState* nLogicCollision2::FindCollisionState(const char* name) const {
    return static_cast<nModCollisionState*>(FindModuleState(nModuleState::Collision, name));
}

bool nLogicCollision2::MakesModuleState(int stateType) const {
    return stateType == nModuleState::Collision || nLogicVisual2::MakesModuleState(stateType);
}

nModuleState* nLogicCollision2::CreateModuleState(int stateType, const char* name) {
    if (stateType != nModuleState::Collision) return nLogicVisual2::CreateModuleState(stateType, name);
    if (nModuleState* st = FindModuleState(stateType, name)) return st;
    return AddModuleState(new nModCollisionState(name, this));
}

void nLogicCollision2::AddModule(int stateType, const char* stateName, const char* moduleName) {
    if (stateType != nModuleState::Collision) {
        nLogicVisual2::AddModule(stateType, stateName, moduleName);
        return;
    }
    // A state without a name could not be saved and found again.
    if (!stateName || !*stateName) {
        n_error("%s: addmodule: a collision state needs a name\n", GetFullName().c_str());
        return;
    }
    // Nor is a state made for a module that could not be listed.
    if (!moduleName || !*moduleName) {
        n_error("%s: addmodule: collision state '%s' needs a module name\n", GetFullName().c_str(), stateName);
        return;
    }
    nModuleState* st = CreateModuleState(stateType, stateName);
    int before = st->GetNumModules();
    nLogicVisual2::AddModule(stateType, stateName, moduleName);
    // Counted by what the list gained, so a module listed already is counted once.
    collisionCount_ += st->GetNumModules() - before;
}

void nLogicCollision2::RemoveModule(int stateType, const char* stateName, const char* moduleName) {
    nModuleState* st = stateType == nModuleState::Collision ? FindModuleState(stateType, stateName) : nullptr;
    int before = st ? st->GetNumModules() : 0;
    nLogicVisual2::RemoveModule(stateType, stateName, moduleName);
    if (st) collisionCount_ -= before - st->GetNumModules();
}

void nLogicCollision2::CollideStates(const matrix44& world, const nModuleState* skip) {
    const bool on = HasCollision();
    const float t = GetTime();
    for (int i = 0; i < GetNumModuleStates(); i++) {
        nModuleState* st = GetModuleStateAt(i);
        if (st == skip || st->GetStateType() != nModuleState::Collision) continue;
        st->SetTime(t);
        if (on && FollowsNode(st)) static_cast<nModCollisionState*>(st)->Collide(world);
    }
}

void nLogicCollision2::UpdateModules(const matrix44& world) {
    CollideStates(world);
}

nModCollisionState* nLogicCollision2::CollisionState(const char* stateName, const char* command) {
    nModCollisionState* st = stateName ? FindCollisionState(stateName) : nullptr;
    if (!st) {
        n_error("%s: %s: no collision state '%s'\n", GetFullName().c_str(), command, stateName ? stateName : "");
    }
    return st;
}

void nLogicCollision2::SetCollContext(const char* stateName, const char* contextName) {
    if (nModCollisionState* st = CollisionState(stateName, "v_setcollcontext_ss")) st->SetContext(contextName);
}

const char* nLogicCollision2::GetCollContext(const char* stateName) {
    nModCollisionState* st = CollisionState(stateName, "s_getcollcontext_s");
    nCollideContext2* ctx = st ? st->GetContext() : nullptr;
    return ctx ? ctx->GetName() : nullptr;
}

bool nLogicCollision2::SaveCmds(nPersistServer* ps) {
    if (!nLogicVisual2::SaveCmds(ps)) return false;
    if (!ps->Put(this, nId("CSCO"), collision_)) return false;
    for (int i = 0; i < GetNumModuleStates(); i++) {
        nModuleState* st = GetModuleStateAt(i);
        if (st->GetStateType() != nModuleState::Collision) continue;
        // A state without a context has nothing to set on load.
        nCollideContext2* ctx = static_cast<nModCollisionState*>(st)->GetContext();
        if (ctx && !ps->Put(this, nId("CSCX"), st->GetName(), ctx->GetName())) return false;
    }
    return true;
}
