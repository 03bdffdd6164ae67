#include "logic/nModCollisionState.h"

#include "collide/nCollideContext2.h"
#include "collide/nCollideServer2.h"
#include "kernel/nKernelServer.h"
#include "logic/nLogicNode.h"
#include "logic/nModSimpleCollision.h"
#include "logic/nModule.h"

nModCollisionState::nModCollisionState(const char* name, nLogicNode* owner) : nModuleState(name, owner) {}

void nModCollisionState::SetContext(const char* name) {
    nCollideServer2* server = refCollideServer_.Get();
    nCollideContext2* ctx = name ? server->FindContext(name) : nullptr;
    if (!ctx) {
        nLogicNode* owner = GetOwner();
        n_error("%s: collision state '%s': no collide context '%s'\n", owner ? owner->GetFullName().c_str() : "?",
                GetName(), name ? name : "");
        server_ = nullptr;
        context_ = nullptr;
        return;
    }
    server_ = server;
    context_ = ctx;
}

void nModCollisionState::Collide(const matrix44& world) {
    if (!GetEnabled() || !GetContext()) return;
    nLogicNode* owner = GetOwner();
    if (!owner) nKernelServer::FatalError("Aborting.");
    WalkGuard guard(this);
    for (int i = 0; i < GetNumModules(); i++) {
        if (nModule* m = ModuleOfType(i, nModule::Collision)) {
            m->Collide(owner, this, world, GetTime());
            if (!guard.Alive()) return;
        }
    }
}

void nModCollisionState::SetMatrix(const matrix44& world) {
    if (!GetEnabled()) return;
    for (int i = 0; i < GetNumModules(); i++) {
        if (nModule* m = ModuleOfType(i, nModule::Collision)) m->SetMatrix(world);
    }
}

int nModCollisionState::ContactsWithinFrame(const matrix44& world, nCollideReport* out, int max) {
    nCollideContext2* ctx = GetContext();
    if (!GetEnabled() || !ctx) return 0;
    int n = 0;
    for (int i = 0; i < GetNumModules(); i++) {
        nModule* m = ModuleOfType(i, nModule::Collision);
        if (!m || !m->IsA(nModSimpleCollision::classInfo.name)) continue;
        nCollideObject2* obj = static_cast<nModSimpleCollision*>(m)->MoveWithinFrame(world);
        // Only an object this frame registered here takes part.
        if (obj && obj->state == this) n += ctx->ContactsOf(obj, out + n, max - n);
    }
    return n;
}
