#pragma once
// A walking first-person camera (script class "nlogicpersoncamera"): while current it
// walks level with "forward", "backward", "left" and "right" and turns with the mouse
// while "orbit" is held; current or not it falls, and what its collision state "camera"
// touches in the collide context "physik" pushes it out again.
#include "kernel/matrix44.h"
#include "logic/nLogicCamera.h"

class nCollideReport;

class nLogicPersonCamera : public nLogicCamera {
public:
    static const nClassInfo classInfo;

    // Walk and side step in units a frame; fall speed growth and cap in units a frame.
    static constexpr float Step = 0.25f;
    static constexpr float Gravity = 0.01f;
    static constexpr float MaxFallSpeed = 0.5f;

    nLogicPersonCamera();
    ~nLogicPersonCamera() override;

    bool Trigger(nLogicGraph* graph) override;
    bool HasPhysik() const override { return true; }
    // Sums the push-outs of this frame's contacts, then applies them.
    void AnalyseCollision() override;
    // With contacts: the node moves by the correction (an upward one ends the fall) and
    // its modules follow. Returns whether there were contacts.
    virtual bool ApplyCollisionCorrection();

    // Adds each contact's normal on this node's side times its depth to the correction.
    void AddCorrection(nCollideReport* const* list, int n);

    nModCollisionState* GetCameraState() const { return cameraState_; }
    float GetFallSpeed() const { return fallSpeed_; }
    const matrix44& GetCorrection() const { return correction_; }
    bool GetCollided() const { return collided_; }

private:
    void Walk();

    float fallSpeed_ = 0.0f;
    matrix44 correction_;
    bool collided_ = false;
    nModCollisionState* cameraState_ = nullptr;
    MouseDelta mouse_;
};
