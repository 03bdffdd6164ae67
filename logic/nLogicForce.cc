#include "logic/nLogicForce.h"

#include <cmath>
#include <cstring>

#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "kernel/nCmdVector.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "logic/nLogicPhysik2.h"
#include "logic/nModCollisionState.h"
#include "logic/nModPhysikState.h"
#include "physics/nPhysikBody.h"

namespace {
const char* const kTypeNames[] = {"point", "linear", "modify"};
}  // namespace

static const nCmdDef<nLogicForce> cmds[] = {
    Bind<&nLogicForce::SetForce>("v_setforce_fff", "FSFO"),
    {"fff_getforce_v", "FGFO", [](nLogicForce* self, nCmd* c) { PutVector3(c, self->GetForce()); }},
    Bind<&nLogicForce::SetForceType>("v_setforcetyp_s", "FSFT"),
    Bind<&nLogicForce::GetForceType>("s_getforcetyp_v", "FGFT"),
};
const nClassInfo nLogicForce::classInfo = nClassInfo::Make<nLogicForce>("nlogicforce", "nlogiccollision2", cmds);

nLogicForce::nLogicForce() {
    physik2Class_ = nKernelServer::ks->FindClass(nLogicPhysik2::classInfo.name);
    forceState_ = static_cast<nModCollisionState*>(CreateModuleState(nModuleState::Collision, "force"));
    forceState_->SetContext("physik");
}

nLogicForce::~nLogicForce() = default;

void nLogicForce::SetForceType(const char* name) {
    for (int i = 0; i < 3; i++) {
        if (name && std::strcmp(name, kTypeNames[i]) == 0) {
            type_ = i;
            return;
        }
    }
    n_error("%s: setforcetyp: unknown force type '%s' (point, linear or modify); unchanged\n",
            GetFullName().c_str(), name ? name : "");
}

const char* nLogicForce::GetForceType() const {
    if (type_ < Point || type_ > Modify) nKernelServer::FatalError("nLogicForce::translatForceTyp: unknown force type!\nAborting\n");
    return kTypeNames[type_];
}

vector3 nLogicForce::PointForce(const vector3& centre, const vector3& body, float radiusSum, float strength) {
    vector3 d = centre - body;
    const float len = d.Len();
    float factor = radiusSum != 0.0f ? 1.0f - len / radiusSum : 0.0f;
    // Also a NaN from a broken radius: no force rather than a poisoned body.
    if (!(factor > 0.0f)) factor = 0.0f;
    if (factor > 1.0f) factor = 1.0f;
    d.Norm();
    return d * (strength * factor);
}

void nLogicForce::AnalyseCollision() {
    nModCollisionState* st = forceState_;
    if (!st->GetEnabled() || st->GetNumModules() == 0 || type_ == Modify) return;
    nCollideContext2* ctx = st->GetContext();
    if (!ctx) return;
    nCollidePair** list = nullptr;
    const int n = ctx->GetCollisions(st, list);
    const vector3 centre = GetWorldMatrix().Translation();
    for (int i = 0; i < n; i++) {
        const nCollidePair& p = *list[i];
        nLogicNode* other = p.objB ? p.objB->owner : nullptr;
        if (other == this) other = p.objA ? p.objA->owner : nullptr;
        // Only a physics node stepped this frame takes the force: a resting body would
        // keep it in its accumulator and get every frame's worth at once when it wakes.
        if (!other || other == this || !other->IsA(physik2Class_) || !other->HasPhysik()) continue;
        nModPhysikState* ps = static_cast<nLogicPhysik2*>(other)->GetPhysikState();
        nPhysikBody* body = ps->GetEnabled() ? ps->GetBody() : nullptr;
        if (!body) continue;
        if (type_ == Linear) {
            body->AddForceAtRelPos(force_, vector3());
            continue;
        }
        const float radii = (p.objA && p.objA->shape.IsValid() ? p.objA->shape->GetRadius() : 0.0f) +
                            (p.objB && p.objB->shape.IsValid() ? p.objB->shape->GetRadius() : 0.0f);
        const vector3 where = static_cast<nLogicPhysik2*>(other)->GetWorldMatrix().Translation();
        // A world vector: applied in world coordinates, so a turned body is pulled toward
        // the centre as well.
        body->AddForceAtRelPos(PointForce(centre, where, radii, force_.Len()), vector3());
    }
}

bool nLogicForce::SaveCmds(nPersistServer* ps) {
    if (!nLogicCollision2::SaveCmds(ps)) return false;
    return ps->Put(this, nId("FSFT"), GetForceType()) && ps->Put(this, nId("FSFO"), force_.x, force_.y, force_.z);
}
