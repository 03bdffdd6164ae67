#pragma once
// A force field (script class "nlogicforce"): a collision node whose collision state
// "force" lies in the collide context "physik"; every physics body overlapping one of
// its shapes gets a force each frame just before the world step: a constant one
// ("linear"), a pull toward the field's centre that fades to nothing at its rim
// ("point"), or none ("modify"). Currents, whirlpools and lifts are made of these.
#include "kernel/vector3.h"
#include "logic/nLogicCollision2.h"

class nClass;

class nLogicForce : public nLogicCollision2 {
public:
    static const nClassInfo classInfo;

    enum Type { Point = 0, Linear = 1, Modify = 2 };

    // Makes the state "force" in the context "physik"; "linear" (0, -9.81, 0).
    nLogicForce();
    ~nLogicForce() override;
    bool SaveCmds(nPersistServer* ps) override;

    // Pushes the physics nodes whose shapes overlap the force state's this frame. A
    // partner without a body in this frame's step is skipped.
    void AnalyseCollision() override;

    void SetForce(float x, float y, float z) { force_.set(x, y, z); }
    const vector3& GetForce() const { return force_; }
    // "point", "linear" or "modify"; another name is logged and changes nothing.
    void SetForceType(const char* name);
    const char* GetForceType() const;
    int GetType() const { return type_; }
    nModCollisionState* GetForceState() const { return forceState_; }

    // The "point" force on a body at `body` from a field centred at `centre`: toward the
    // centre with `strength` scaled by 1 - distance / radiusSum, clamped to 0 .. 1 (0 when
    // the radius sum is 0); 0 at the centre itself.
    static vector3 PointForce(const vector3& centre, const vector3& body, float radiusSum, float strength);

private:
    int type_ = Linear;
    vector3 force_{0.0f, -9.81f, 0.0f};
    nModCollisionState* forceState_ = nullptr;
    nClass* physik2Class_ = nullptr;
};
