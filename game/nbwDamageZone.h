#pragma once
// A region that drains divers (script class "nbwdamagezone"): every diver touching its
// "damage" state (collide context "damage") loses its first stat at a rate (a share of what
// is left per second) over the frame's time, once per contact; the rate lies between the
// minimum and the maximum, drawn from the math server's random table when they differ.
#include "kernel/nPathRef.h"
#include "logic/nLogicCollision2.h"

class nMathServer;
class nModCollisionState;

class nbwDamageZone : public nLogicCollision2 {
public:
    static const nClassInfo classInfo;

    nbwDamageZone();
    ~nbwDamageZone() override;
    bool SaveCmds(nPersistServer* ps) override;

    void AnalyseCollision() override;

    void SetMinDamage(float rate) { min_ = rate; }
    float GetMinDamage() const { return min_; }
    void SetMaxDamage(float rate) { max_ = rate; }
    float GetMaxDamage() const { return max_; }
    nModCollisionState* GetDamageState() const { return state_; }

private:
    // Drains the diver `node` once, when it is one.
    void Drain(nRoot* node, float frameTime);

    nModCollisionState* state_ = nullptr;
    float max_ = 0.0f;
    float min_ = 0.0f;
    int counter_ = 0;
    nPathRef<nMathServer> mathRef_{"/sys/servers/math"};
};
