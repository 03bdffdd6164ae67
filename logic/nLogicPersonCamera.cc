#include "logic/nLogicPersonCamera.h"

#include <cmath>

#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "input/nInputServer.h"
#include "logic/nModCollisionState.h"

const nClassInfo nLogicPersonCamera::classInfo =
    nClassInfo::Make<nLogicPersonCamera>("nlogicpersoncamera", "nlogiccamera");

namespace {
constexpr float kTurnFactor = 0.005f;
}  // namespace

nLogicPersonCamera::nLogicPersonCamera() {
    cameraState_ = static_cast<nModCollisionState*>(nLogicCollision2::CreateModuleState(nModuleState::Collision, "camera"));
    cameraState_->SetContext("physik");
}

nLogicPersonCamera::~nLogicPersonCamera() = default;

bool nLogicPersonCamera::Trigger(nLogicGraph* graph) {
    fallSpeed_ += Gravity;
    if (fallSpeed_ > MaxFallSpeed) fallSpeed_ = MaxFallSpeed;
    vector3 p = GetPosition();
    p.y -= fallSpeed_;
    SetPosition(p);
    collided_ = false;
    correction_.Ident();
    if (IsCurrent()) Walk();
    cameraState_->SetTime(GetTime());
    return nLogicCamera::Trigger(graph);
}

void nLogicPersonCamera::Walk() {
    nInputServer* input = GetInputServer();
    const bool forward = Button(input, "forward");
    const bool backward = Button(input, "backward");
    const bool left = Button(input, "left");
    const bool right = Button(input, "right");
    mouse_.Update(input);

    vector3 p = GetPosition();
    quaternion q = GetQuaternion();
    if (Button(input, "orbit")) {
        const float pitch = float(mouse_.dy) * kTurnFactor;
        const float yaw = float(mouse_.dx) * kTurnFactor;
        if (pitch != 0.0f) {
            const matrix44& m = GetMatrix();
            vector3 axis(m.m[0][0], m.m[0][1], m.m[0][2]);
            quaternion r;
            r.FromAxisAngle(axis, pitch);
            q = q * r;
        }
        if (yaw != 0.0f) {
            quaternion r;
            r.FromAxisAngle(vector3(0.0f, 1.0f, 0.0f), yaw);
            q = q * r;
        }
    }
    const float len = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    q = len > 0.0f ? q * (1.0f / len) : quaternion();
    matrix44 m;
    m.SetQuaternion(q);
    if (forward || backward || left || right) {
        const float f = forward ? -Step : backward ? Step : 0.0f;
        const float s = left ? -Step : right ? Step : 0.0f;
        p.x += f * m.m[2][0] + s * m.m[0][0];
        p.z += f * m.m[2][2] + s * m.m[0][2];
    }
    m.SetTranslation(p);
    SetMatrix(m);
}

void nLogicPersonCamera::AddCorrection(nCollideReport* const* list, int n) {
    for (int i = 0; i < n; i++) {
        const nCollideReport& r = *list[i];
        vector3 normal = r.objA && r.objA->owner == this ? r.normal2 : r.normal1;
        float len = normal.Len();
        if (len > 1e-7f) normal *= 1.0f / len;
        correction_.SetTranslation(correction_.Translation() + normal * r.depth);
    }
    if (n > 0) collided_ = true;
}

void nLogicPersonCamera::AnalyseCollision() {
    correction_.Ident();
    nCollideContext2* ctx = cameraState_->GetContext();
    if (cameraState_->GetEnabled() && cameraState_->GetNumModules() > 0 && ctx) {
        // The contacts first: they fill the list, and arguments have no fixed order.
        nCollideReport** list = nullptr;
        const int n = ctx->GetContacts(cameraState_, list);
        AddCorrection(list, n);
    }
    if (HasCollision()) nLogicPhysik2::AnalyseCollision();
    ApplyCollisionCorrection();
}

bool nLogicPersonCamera::ApplyCollisionCorrection() {
    if (!collided_) return false;
    matrix44 m = GetMatrix() * correction_;
    SetMatrix(m);
    // Standing on something ends the fall.
    if (correction_.Translation().y > 0.0f) fallSpeed_ = 0.0f;
    nLogicCamera::UpdateModules(m);
    return true;
}
