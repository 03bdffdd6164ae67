#include "logic/nModPhysikState.h"

#include "logic/nLogicGraph.h"
#include "logic/nLogicNode.h"
#include "logic/nModTransformer.h"
#include "physics/nPhysikBody.h"
#include "physics/nPhysikMass.h"
#include "physics/nPhysikServer.h"

namespace {
// Rescales v to `limit` when it is longer; false when it was not.
bool Clamp(vector3& v, float limit) {
    float len = v.Len();
    if (len <= limit) return false;
    if (len > 1e-7f) v *= 1.0f / len;
    v *= limit;
    return true;
}
}  // namespace

nModPhysikState::nModPhysikState(const char* name, nLogicNode* owner) : nModuleState(name, owner) {
    body_ = refPhysikServer_.Get()->CreateBody();
}

nModPhysikState::~nModPhysikState() {
    delete body_;
}

bool nModPhysikState::Update(const matrix44& world) {
    if (!GetEnabled() || GetNumModules() == 0 || !body_) return true;
    body_->ResetMass();
    body_->SetMatrix(world);
    for (int i = 0; i < GetNumModules(); i++) {
        nModule* m = ModuleOfType(i, nModule::Physik);
        nPhysikMass* mass = m ? m->GetPhysikMass() : nullptr;
        if (!mass) continue;
        if (m->IsA(nModTransformer::classInfo.name)) {
            auto* t = static_cast<nModTransformer*>(m);
            mass->SetPosition(t->GetPosition());
            mass->SetRotation(t->GetQuaternion());
        }
        body_->AddMass(mass);
    }
    body_->SetMass();
    nPhysikServer* server = refPhysikServer_.Get();
    bool listed = server->AddBody(body_);
    if (!listed) {
        if (nLogicNode* owner = GetOwner()) owner->NoteOverflow(nLogicGraph::BodyTableFull);
    }
    vector3 v = body_->GetLinearVel();
    if (Clamp(v, maxLinearVel)) body_->SetLinearVel(v);
    v = body_->GetAngularVel();
    if (Clamp(v, maxAngularVel)) body_->SetAngularVel(v);
    return listed;
}
