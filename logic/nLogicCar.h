#pragma once
// A logic car (script class "nlogiccar"): a physics node whose body stands on four wheels,
// "frontlefthinge", "frontrighthinge", "backlefthinge" and "backrighthinge". Each wheel is
// a body of its own on a hinge-2 joint, with physics and collision states named after it
// that take modules the usual way ("v_addphysik_ss", "v_addcollision_ss"); the physics
// world moves car and wheels, and the car keeps each wheel's pose in car coordinates.
#include "logic/nLogicPhysik2.h"

class nLogicCarHinge;

class nLogicCar : public nLogicPhysik2 {
public:
    static const nClassInfo classInfo;
    static constexpr int NumHinges = 4;

    nLogicCar();
    // Releases the wheels' joints before the states and their bodies go.
    ~nLogicCar() override;

    // The body as a physics node's, then each wheel placed at its matrix × `world`.
    void UpdateModules(const matrix44& world) override;
    // The body's contacts, then each wheel's: with another body's enabled physics state
    // or with the static world.
    void AnalyseCollision() override;
    // The body's step, then each wheel's new pose relative to the car's new world matrix.
    bool StepPhysik(const matrix44& recordWorld) override;

    // An unknown hinge name or a position that is not finite is logged and changes nothing.
    void SetHingePos(const char* name, float x, float y, float z);
    // The hinge of exactly that name; null when none has it.
    nLogicCarHinge* FindHinge(const char* name) const;
    nLogicCarHinge* GetHinge(int i) const { return hinges_[i]; }

protected:
    bool FollowsNode(const nModuleState* state) const override;

private:
    nLogicCarHinge* hinges_[NumHinges] = {};
};
