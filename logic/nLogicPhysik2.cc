#include "logic/nLogicPhysik2.h"

#include <cmath>
#include <cstring>

#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "logic/nModCollisionState.h"
#include "logic/nModPhysikState.h"
#include "physics/nPhysikBody.h"
#include "physics/nPhysikServer.h"

namespace {
// The contact parameters by index, the order they are saved in.
const char* const kContactParams[] = {"mu",      "mu2",     "bounce",  "bouncevel", "contactdir",
                                      "softerp", "softcfm", "motion1", "motion2",   "slip1",
                                      "slip2",   "approx1", "approx11", "approx12"};

// Whether any element of the two matrices differs by more than the rest tolerance.
bool Differs(const matrix44& a, const matrix44& b) {
    for (int row = 0; row < 4; row++) {
        for (int col = 0; col < 4; col++) {
            if (std::fabs(a.m[row][col] - b.m[row][col]) > nLogicPhysik2::RestTolerance) return true;
        }
    }
    return false;
}
}  // namespace

static const nCmdDef<nLogicPhysik2> cmds[] = {
    Bind<&nLogicPhysik2::SetPhysik>("v_setphysik_b", "PSPH"),
    Bind<&nLogicPhysik2::GetPhysik>("b_getphysik_v", "PGPH"),
    Bind<&nLogicPhysik2::AddPhysik>("v_addphysik_ss", "PAPH"),
    Bind<&nLogicPhysik2::RemovePhysik>("v_removephysik_ss", "PRPH"),
    Bind<&nLogicPhysik2::SetContactParam>("v_setcontactparam_sf", "PSCP"),
    Bind<&nLogicPhysik2::GetContactParam>("f_getcontactparam_s", "PGCP"),
    Bind<&nLogicPhysik2::SetGravity>("v_setgravity_b", "PSGV"),
    Bind<&nLogicPhysik2::GetGravity>("b_getgravity_v", "PGGV"),
    Bind<&nLogicPhysik2::SetMaxVelocity>("v_setmaxvelocity_sf", "PSMV"),
    Bind<&nLogicPhysik2::GetMaxVelocity>("f_getmaxvelocity_s", "PGMV"),
};
const nClassInfo nLogicPhysik2::classInfo = nClassInfo::Make<nLogicPhysik2>("nlogicphysik2", "nlogiccollision2", cmds);

nLogicPhysik2::nLogicPhysik2() {
    physik2Class_ = nKernelServer::ks->FindClass("nlogicphysik2");
    physikState_ = static_cast<nModPhysikState*>(nLogicPhysik2::CreateModuleState(nModuleState::Physik, "physik"));
    physikCollisionState_ =
        static_cast<nModCollisionState*>(nLogicCollision2::CreateModuleState(nModuleState::Collision, "physik"));
    physikCollisionState_->SetContext("physik");
}

nLogicPhysik2::~nLogicPhysik2() = default;

bool nLogicPhysik2::MakesModuleState(int stateType) const {
    return stateType == nModuleState::Physik || nLogicCollision2::MakesModuleState(stateType);
}

nModuleState* nLogicPhysik2::CreateModuleState(int stateType, const char* name) {
    if (stateType != nModuleState::Physik) return nLogicCollision2::CreateModuleState(stateType, name);
    if (nModuleState* st = FindModuleState(stateType, name)) return st;
    return AddModuleState(new nModPhysikState(name, this));
}

void nLogicPhysik2::AddModule(int stateType, const char* stateName, const char* moduleName) {
    if (stateType != nModuleState::Physik) {
        nLogicCollision2::AddModule(stateType, stateName, moduleName);
        return;
    }
    // A state without a name could not be saved and found again.
    if (!stateName || !*stateName) {
        n_error("%s: addmodule: a physik state needs a name\n", GetFullName().c_str());
        return;
    }
    // Nor is a state made for a module that could not be listed.
    if (!moduleName || !*moduleName) {
        n_error("%s: addmodule: physik state '%s' needs a module name\n", GetFullName().c_str(), stateName);
        return;
    }
    nModuleState* st = CreateModuleState(stateType, stateName);
    int before = st->GetNumModules();
    nLogicCollision2::AddModule(stateType, stateName, moduleName);
    physikCount_ += st->GetNumModules() - before;
}

void nLogicPhysik2::RemoveModule(int stateType, const char* stateName, const char* moduleName) {
    nModuleState* st = stateType == nModuleState::Physik ? FindModuleState(stateType, stateName) : nullptr;
    int before = st ? st->GetNumModules() : 0;
    nLogicCollision2::RemoveModule(stateType, stateName, moduleName);
    if (st) physikCount_ -= before - st->GetNumModules();
}

bool nLogicPhysik2::Trigger(nLogicGraph* graph) {
    if (wake_) {
        physik_ = true;
        wake_ = false;
    }
    hadContacts_ = false;
    return nLogicCollision2::Trigger(graph);
}

void nLogicPhysik2::UpdateModules(const matrix44& world) {
    CollideStates(world, physikCollisionState_);
    const float t = GetTime();
    physikState_->SetTime(t);
    physikCollisionState_->SetTime(t);
    if (HasPhysik()) physikState_->Update(world);
    if (HasCollision()) physikCollisionState_->Collide(world);
}

int nLogicPhysik2::KeepDeepest(nCollideReport* const* list, int n, nCollideReport** kept) {
    int numKept = 0;
    for (int i = 0; i < n; i++) {
        if (numKept < MaxContacts) {
            kept[numKept++] = list[i];
            continue;
        }
        int shallow = 0;
        for (int k = 1; k < MaxContacts; k++) {
            if (kept[k]->depth < kept[shallow]->depth) shallow = k;
        }
        if (list[i]->depth > kept[shallow]->depth) kept[shallow] = list[i];
    }
    return numKept;
}

nModPhysikState* nLogicPhysik2::PhysikStateFor(const nModuleState* collisionState) const {
    if (collisionState && collisionState != physikCollisionState_) {
        if (nModuleState* st = FindModuleState(nModuleState::Physik, collisionState->GetName())) {
            return static_cast<nModPhysikState*>(st);
        }
    }
    return physikState_;
}

void nLogicPhysik2::JoinContacts(nCollideReport* const* kept, int n, const nModuleState* own, nPhysikBody* body) {
    nPhysikServer* server = physikRef_.Get();
    if (!body) body = physikState_->GetBody();
    for (int i = 0; i < n; i++) {
        const nCollideReport& r = *kept[i];
        if (!r.objA || (own ? r.objA->state != own : r.objA->owner != this)) continue;
        nLogicNode* partner = r.objB ? r.objB->owner : nullptr;
        if (partner && !JoinsPartner(partner)) continue;
        if (!partner || !partner->IsA(physik2Class_)) {
            JoinContact(server, body, nullptr, r);
            continue;
        }
        auto* other = static_cast<nLogicPhysik2*>(partner);
        if (other->HasPhysik()) {
            nModPhysikState* st = other->PhysikStateFor(r.objB->state);
            if (st->GetEnabled()) JoinContact(server, body, st->GetBody(), r);
            else JoinContact(server, body, nullptr, r);
        } else {
            JoinContact(server, body, nullptr, r);
            if (r.depth > WakeDepth) other->wake_ = true;
        }
    }
}

void nLogicPhysik2::AnalyseCollision() {
    if (!HasPhysik()) return;
    nModCollisionState* cs = physikCollisionState_;
    if (!cs->GetEnabled() || cs->GetNumModules() == 0) return;
    if (!physikState_->GetEnabled() || physikState_->GetNumModules() == 0) return;
    nCollideContext2* ctx = cs->GetContext();
    if (!ctx) return;
    nCollideReport** list = nullptr;
    const int n = ctx->GetContacts(cs, list);
    nCollideReport* kept[MaxContacts];
    JoinContacts(kept, KeepDeepest(list, n, kept));
    hadContacts_ = n > 0;
}

void nLogicPhysik2::JoinContact(nPhysikServer* server, nPhysikBody* body, nPhysikBody* other,
                                const nCollideReport& r) {
    if (other) server->AddCollisionJoint(body, other, r);
    else server->AddCollisionJoint(body, r);
}

void nLogicPhysik2::JoinContactsWithinFrame() {
    if (!HasPhysik() || !HasCollision()) return;
    if (!physikState_->GetEnabled() || physikState_->GetNumModules() == 0) return;
    nModCollisionState* cs = physikCollisionState_;
    if (!cs->GetEnabled() || cs->GetNumModules() == 0) return;
    // The frame's steps run one after another, never inside one another: one buffer serves.
    static nCollideReport found[4 * MaxContacts];
    const int n = cs->ContactsWithinFrame(NormalisedMatrix(physikState_->GetBody()), found, 4 * MaxContacts);
    nCollideReport* list[4 * MaxContacts];
    for (int i = 0; i < n; i++) list[i] = &found[i];
    nCollideReport* kept[MaxContacts];
    JoinContacts(kept, KeepDeepest(list, n, kept));
    hadContacts_ = hadContacts_ || n > 0;
}

matrix44 nLogicPhysik2::NormalisedMatrix(nPhysikBody* body) {
    matrix44 m = body->GetMatrix();
    for (int row = 0; row < 3; row++) {
        vector3 axis(m.m[row][0], m.m[row][1], m.m[row][2]);
        float len = axis.Len();
        if (len != 1.0f && len > 0.0f) {
            for (int col = 0; col < 3; col++) m.m[row][col] /= len;
        }
    }
    return m;
}

bool nLogicPhysik2::StepPhysik(const matrix44& recordWorld) {
    // Without a physics module nothing moves the body: the node stays where it is.
    if (!physikState_->GetEnabled() || physikState_->GetNumModules() == 0) return false;
    restTime_ += GetFrameTime();
    const matrix44 body = FollowBody(recordWorld);

    // Stillness is measured from where the body was when the rest clock last started,
    // so a body creeping a little every frame never counts as still.
    const bool moved = Differs(body, recordWorld);
    if (moved || !restAnchorSet_ || Differs(body, restAnchor_)) {
        restTime_ = 0.0f;
        restAnchor_ = body;
        restAnchorSet_ = true;
        return moved;
    }
    if (restTime_ > RestTime) {
        restTime_ = 0.0f;
        restAnchorSet_ = false;
        physik_ = false;
    }
    return false;
}

matrix44 nLogicPhysik2::FollowBody(const matrix44& recordWorld) {
    const matrix44 body = NormalisedMatrix(physikState_->GetBody());
    if (hadContacts_ && HasCollision()) physikCollisionState_->SetMatrix(body);

    // The node's world matrix becomes the body's: under a moved parent the local matrix
    // takes the parent's world matrix of this frame out again.
    const matrix44& local = GetMatrix();
    if (recordWorld == local) {
        SetMatrix(body);
    } else {
        matrix44 toParent = recordWorld;
        toParent.Invert();
        SetMatrix(body * toParent * local);
    }
    motion_ = body.Translation() - recordWorld.Translation();
    return body;
}

int nLogicPhysik2::ContactParamIndex(const char* name, const char* command) const {
    // The body's table logs an unknown name in its own words; this line says which node.
    const int index = nPhysikBody::_str2param(name);
    if (index < 0) n_error("%s: %s: unknown contact parameter '%s'\n", GetFullName().c_str(), command, name ? name : "");
    return index;
}

void nLogicPhysik2::SetContactParam(const char* name, float value) {
    int index = ContactParamIndex(name, "v_setcontactparam_sf");
    if (index >= 0) physikState_->GetBody()->SetContactParam(index, value);
}

float nLogicPhysik2::GetContactParam(const char* name) {
    int index = ContactParamIndex(name, "f_getcontactparam_s");
    return index >= 0 ? physikState_->GetBody()->GetContactParam(index) : 0.0f;
}

void nLogicPhysik2::SetGravity(bool on) {
    physikState_->GetBody()->SetGravity(on);
}

bool nLogicPhysik2::GetGravity() {
    return physikState_->GetBody()->GetGravity();
}

float* nLogicPhysik2::MaxVelocity(const char* which, const char* command) {
    if (which && std::strcmp(which, "linear") == 0) return &physikState_->maxLinearVel;
    if (which && std::strcmp(which, "angular") == 0) return &physikState_->maxAngularVel;
    n_error("%s: %s: '%s' is neither \"linear\" nor \"angular\"\n", GetFullName().c_str(), command,
            which ? which : "");
    return nullptr;
}

void nLogicPhysik2::SetMaxVelocity(const char* which, float value) {
    if (float* v = MaxVelocity(which, "v_setmaxvelocity_sf")) *v = value;
}

float nLogicPhysik2::GetMaxVelocity(const char* which) {
    float* v = MaxVelocity(which, "f_getmaxvelocity_s");
    return v ? *v : 0.0f;
}

bool nLogicPhysik2::SaveCmds(nPersistServer* ps) {
    if (!nLogicCollision2::SaveCmds(ps)) return false;
    nPhysikBody* body = physikState_->GetBody();
    bool ok = ps->Put(this, nId("PSPH"), physik_) && ps->Put(this, nId("PSGV"), body->GetGravity()) &&
              ps->Put(this, nId("PSMV"), "linear", physikState_->maxLinearVel) &&
              ps->Put(this, nId("PSMV"), "angular", physikState_->maxAngularVel);
    for (int i = 0; ok && i < 14; i++) ok = ps->Put(this, nId("PSCP"), kContactParams[i], body->GetContactParam(i));
    return ok;
}
