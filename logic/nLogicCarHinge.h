#pragma once
// One wheel of a logic car: its own hinge-2 joint, and the car's physics and collision
// states named after the wheel, which hold the wheel's modules (its body and shape). The
// car places the wheel each frame at its matrix in car coordinates, couples the joint
// between the car's body and the wheel's, and takes the wheel's pose back after the step.
#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"
#include "kernel/nString.h"
#include "kernel/vector3.h"

class nLogicCar;
class nModCollisionState;
class nModPhysikState;
class nPhysikBody;
class nPhysikJoint;
class nPhysikServer;

class nLogicCarHinge {
public:
    // Makes the joint and the two states on `car`; without a physics server "Aborting.".
    nLogicCarHinge(nLogicCar* car, const char* name);
    // Releases the joint; the states and the wheel's body are the car's.
    virtual ~nLogicCarHinge();
    nLogicCarHinge(const nLogicCarHinge&) = delete;
    nLogicCarHinge& operator=(const nLogicCarHinge&) = delete;

    const char* GetName() const { return name_.Get(); }
    // The hinge point in car coordinates; the local matrix becomes its translation.
    void SetPosition(const vector3& p);
    const vector3& GetPosition() const { return position_; }
    const matrix44& GetLocalMatrix() const { return local_; }
    const matrix44& GetWorldMatrix() const { return world_; }
    nPhysikJoint* GetJoint() const { return joint_; }
    nModPhysikState* GetPhysikState() const { return physikState_; }
    nModCollisionState* GetCollisionState() const { return collisionState_; }
    // The wheel's physics state is enabled and holds a module: the wheel has a body.
    bool HasBody() const;
    // The joint ties the car's body to the wheel's.
    bool IsCoupled() const { return coupled_; }

    // The frame's placement at the car's world matrix: the shape registers when `collide`,
    // the body is rebuilt and listed when `physik`; the joint is coupled while `carBody`
    // (the car's body when it has one) and the wheel's body both exist, and is anchored
    // at the hinge point.
    void Update(const matrix44& carWorld, float time, bool collide, bool physik, nPhysikBody* carBody);
    // After the step: the wheel's new pose relative to the car's new world matrix.
    void Step(const matrix44& carWorldInverse);

private:
    void MakeJoint();
    void Couple(nPhysikBody* carBody, const matrix44& carWorld);

    nPathRef<nPhysikServer> physikRef_{"/sys/servers/physik"};
    nPhysikJoint* joint_ = nullptr;
    nModPhysikState* physikState_ = nullptr;
    nModCollisionState* collisionState_ = nullptr;
    vector3 position_;
    matrix44 local_;
    matrix44 world_;
    nString name_;
    bool coupled_ = false;
    // The coupled joint's anchor is where the hinge position says.
    bool anchored_ = false;
    // The body was listed for this frame's step.
    bool listed_ = false;
};
