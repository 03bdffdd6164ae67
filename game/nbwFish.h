#pragma once
// A fish of the levels (script class "nbwfish"): it swims by itself inside a box around
// its parent's origin, cruising with random turns, attacks what comes into its "attack"
// zone, bites when that reaches its "flee" zone and then flees until it has left its
// "cruise" zone. It has no physics body: it integrates its own velocity and writes its
// position and heading into its node every frame.
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/vector3.h"
#include "logic/nLogicCollision2.h"

class nCollidePair;
class nScriptServer;

class nbwFish : public nLogicCollision2 {
public:
    static const nClassInfo classInfo;

    enum State { Attack = 1, Flee = 2, Cruise = 3 };
    static constexpr const char* AttackMessage = "displaymessage(FB_FISHATTACK, 3.0, 3)";

    // Makes "attack", "flee" and "cruise" on the collide context "damage" and moves
    // "picking" to "physik", where the fish meets the world.
    nbwFish();
    ~nbwFish() override;

    // The visual node's Trigger, then the fish's clock (which is the node time) and the
    // frame's steering steps of a 60th of a second each.
    bool Trigger(nLogicGraph* graph) override;
    // "picking", then "flee", "attack" and "cruise" take the node time and collide.
    void UpdateModules(const matrix44& world) override;
    // Cruise zone, attack zone, the bite, then the first world contact.
    void AnalyseCollision() override;
    // In debug mode also the swim box and the motion, coloured by the state.
    void Visualize(nSceneGraph2* sceneGraph, const matrix44& world) override;

    // One steering step of `ft` seconds: velocity, heading and position.
    void Steer(float ft);

    // Half-extents of 0 or less are logged and change nothing: the box divides by them.
    void SetBox(float x, float y, float z);
    const vector3& GetBox() const { return box_; }
    void SetDebugMode(bool on) { debug_ = on; }
    bool GetDebugMode() const { return debug_; }

    int GetState() const { return state_; }
    // A state set from outside forgets where the target was.
    void SetState(int s) {
        state_ = s;
        aimed_ = false;
    }
    const vector3& GetVelocity() const { return velocity_; }
    void SetVelocity(const vector3& v) { velocity_ = v; }
    const vector3& GetSteering() const { return steering_; }
    void SetSteering(const vector3& f) { steering_ = f; }
    const vector3& GetTargetDir() const { return targetDir_; }
    void SetTargetDir(const vector3& d) { targetDir_ = d; }
    const vector3& GetAvoidance() const { return avoidance_; }
    nLogicNode* GetTarget() const { return target_.GetUnsafe(); }
    int GetTurnSide() const { return turnSide_; }
    void SetTurnSide(int s) { turnSide_ = s; }
    float GetCruiseAngle() const { return cruiseAngle_; }
    float GetCruiseTimer() const { return cruiseTimer_; }
    void SetCruiseTimer(float t) { cruiseTimer_ = t; }
    float GetFishTime() const { return fishTime_; }
    nModCollisionState* GetAttackState() const { return attackState_; }
    nModCollisionState* GetFleeState() const { return fleeState_; }
    nModCollisionState* GetCruiseState() const { return cruiseState_; }

    // `v` turned about the vertical axis by `angle` radians (x' = x cos + z sin,
    // z' = z cos - x sin), y kept.
    static vector3 TurnY(const vector3& v, float angle);

private:
    // The zone's pair records this frame; 0 when it is off, holds no module or has no
    // context.
    int ZoneCollisions(nModCollisionState* st, nCollidePair**& list) const;
    // Takes the node of `pair` that is not this fish as the target when there is none;
    // false when that side carries no node (logged once per fish).
    bool ChooseTarget(const nCollidePair* pair);
    // The target direction from the pair; `fishObj` and `targetObj` get its two sides.
    void AimAt(const nCollidePair* pair, vector3& fishPos, vector3& targetPos);
    // A human actor is bitten: a diver takes the hit, and the message runs for any human
    // but a diver that tells of the bite itself.
    void Bite(nLogicNode* target);
    // The largest radius of the state's simple collision shapes; 0 without one.
    static float ZoneRadius(nModCollisionState* st);
    // The world origin of the box: the parent's place this frame.
    vector3 BoxCentre() const;

    vector3 box_{25.0f, 5.0f, 25.0f};
    vector3 velocity_{0.1f, 0.02f, 0.1f};
    vector3 steering_;
    vector3 targetDir_;
    vector3 avoidance_;
    // Where the collisions last put the target, in the box's frame, once `aimed_`, and the
    // radius of its shape: the attack steers there in each of a frame's steps, and the bite
    // and the flight's end are judged from there between the frame's collisions.
    vector3 aim_;
    float targetRadius_ = 0.0f;
    bool aimed_ = false;
    int fleeWaits_ = 0;
    // The steps of a 60th of a second the frames have brought and not yet taken.
    float stepsDue_ = 0.0f;
    nRef<nLogicNode> target_;
    float minSpeed_ = 0.5f;
    float maxSpeed_ = 2.0f;
    float maxForce_ = 1.0f;
    float cruiseAngle_ = 0.2f;
    float cruiseTimer_ = 0.0f;
    int state_ = Cruise;
    int turnSide_ = 0;
    float fishTime_ = 0.0f;
    bool debug_ = false;
    bool noNodeLogged_ = false;
    nModCollisionState* attackState_ = nullptr;
    nModCollisionState* fleeState_ = nullptr;
    nModCollisionState* cruiseState_ = nullptr;
    nPathRef<nScriptServer> scriptServer_{"/sys/servers/script"};
};
