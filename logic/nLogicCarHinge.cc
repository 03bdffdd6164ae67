#include "logic/nLogicCarHinge.h"

#include "logic/nLogicCar.h"
#include "logic/nModCollisionState.h"
#include "logic/nModPhysikState.h"
#include "physics/nPhysikBody.h"
#include "physics/nPhysikJoint.h"
#include "physics/nPhysikServer.h"

namespace {
// Joint parameters: the steering stops and the suspension.
constexpr int LoStop = 0;
constexpr int HiStop = 1;
constexpr int SuspensionERP = 9;
constexpr int SuspensionCFM = 10;
}  // namespace

nLogicCarHinge::nLogicCarHinge(nLogicCar* car, const char* name) : name_(name) {
    MakeJoint();
    physikState_ =
        static_cast<nModPhysikState*>(car->nLogicPhysik2::CreateModuleState(nModuleState::Physik, name));
    collisionState_ =
        static_cast<nModCollisionState*>(car->nLogicCollision2::CreateModuleState(nModuleState::Collision, name));
    collisionState_->SetContext("physik");
}

nLogicCarHinge::~nLogicCarHinge() {
    delete joint_;
}

void nLogicCarHinge::MakeJoint() {
    joint_ = physikRef_.Get()->CreateJoint(nPhysikJoint::HINGE2);
    joint_->SetAxis1(vector3(0.0f, 0.0f, 1.0f));
    joint_->SetAxis2(vector3(0.0f, 1.0f, 0.0f));
    joint_->SetParam(SuspensionERP, 0.4f);
    joint_->SetParam(SuspensionCFM, 0.8f);
    // Both stops at 0 lock the steering axis.
    joint_->SetParam(LoStop, 0.0f);
    joint_->SetParam(HiStop, 0.0f);
}

void nLogicCarHinge::SetPosition(const vector3& p) {
    position_ = p;
    local_.Ident();
    local_.SetTranslation(p);
    anchored_ = false;
}

bool nLogicCarHinge::HasBody() const {
    return physikState_->GetEnabled() && physikState_->GetNumModules() > 0;
}

void nLogicCarHinge::Update(const matrix44& carWorld, float time, bool collide, bool physik, nPhysikBody* carBody) {
    physikState_->SetTime(time);
    collisionState_->SetTime(time);
    // Row vectors: the wheel's matrix in car coordinates, then the car's.
    world_ = local_ * carWorld;
    if (collide) collisionState_->Collide(world_);
    listed_ = physik && HasBody() && physikState_->Update(world_);
    Couple(carBody, carWorld);
    // ODE keeps the anchor on both bodies and pulls them back to it. Setting it again
    // every frame would take the step's joint error as the new rest, and the car would
    // sink into its wheels bit by bit; so it is set when the joint couples or the hinge
    // moved, and every frame while the joint ties nothing.
    if (!coupled_ || !anchored_) {
        joint_->SetAnchor(carWorld * position_);
        anchored_ = coupled_;
    }
}

void nLogicCarHinge::Couple(nPhysikBody* carBody, const matrix44& carWorld) {
    const bool couple = carBody && HasBody();
    if (couple == coupled_) return;
    if (couple) {
        // The axes are the car's: its z (steering and suspension) and y (the axle) at the
        // moment the bodies are joined, which ODE keeps relative to them from then on.
        joint_->SetAxis1(vector3(carWorld.m[2][0], carWorld.m[2][1], carWorld.m[2][2]));
        joint_->SetAxis2(vector3(carWorld.m[1][0], carWorld.m[1][1], carWorld.m[1][2]));
        joint_->AttachBoddys(carBody, physikState_->GetBody());
        anchored_ = false;
    } else {
        // A fresh joint is the only way back to one that ties nothing: a body left jointed
        // would be woken and moved by the step without anything placing it.
        delete joint_;
        MakeJoint();
    }
    coupled_ = couple;
}

void nLogicCarHinge::Step(const matrix44& carWorldInverse) {
    if (!listed_) return;
    local_ = nLogicPhysik2::NormalisedMatrix(physikState_->GetBody()) * carWorldInverse;
}
