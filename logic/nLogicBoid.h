#pragma once
// A member of a school (script class "nlogicboid"), made as a child of its "nlogicflock".
// Each frame it steers by separation from its nearest mate, alignment with and cohesion to
// the mates it sees, the flock's boundary and a push away from whatever its "flee" state
// touches in the "physik" context; then it moves in the flock's space, faces its motion
// and runs its animation phase.
#include "kernel/nRef.h"
#include "kernel/vector3.h"
#include "logic/nLogicCollision2.h"

class nLogicFlock;
class nModCollisionState;

class nLogicBoid : public nLogicCollision2 {
public:
    static const nClassInfo classInfo;

    nLogicBoid();
    // Leaves the flock when it still has one.
    ~nLogicBoid() override;
    // Joins the parent flock and starts the animation at a random phase; a parent that is
    // no flock is logged, and the boid then neither joins nor steers.
    void Initialize() override;
    // The visual node's lines (not the collision ones), then debug mode, weights and
    // parameters.
    bool SaveCmds(nPersistServer* ps) override;

    // The visual node's Trigger, then one step with the frame time.
    bool Trigger(nLogicGraph* graph) override;
    // Takes the first contact of the "flee" state as a push away from it.
    void AnalyseCollision() override;
    void Visualize(nSceneGraph2* sceneGraph, const matrix44& world) override;

    // Whether `other` lies within the view cone around the heading (cosine parameter 4).
    virtual bool CanSee(const nLogicBoid* other) const;

    void Step(float dt);
    vector3 Steer(float dt);

    // The flock the boid belongs to; null when it has none (any more).
    nLogicFlock* GetFlock() const { return flock_.GetUnsafe(); }
    // The flock drops a boid it releases, so the boid does not leave it again.
    void ForgetFlock() { flock_ = nullptr; }
    void SetTableIndex(int i) { index_ = i; }
    int GetTableIndex() const { return index_; }

    void SetWeights(float w1, float w2, float w3, float w4, float w5, float w6);
    const float* GetWeights() const { return w_; }
    void SetParams(float p1, float p2, float p3, float p4);
    const float* GetParams() const { return p_; }
    void SetDebugMode(bool on) { debug_ = on; }
    bool GetDebugMode() const { return debug_; }
    void SetVelocity(const vector3& v) { velocity_ = v; }
    const vector3& GetVelocity() const { return velocity_; }
    const vector3& GetAcceleration() const { return acceleration_; }
    const vector3& GetPush() const { return push_; }
    bool IsReturning() const { return returning_; }
    float GetPhase() const { return phase_; }
    nModCollisionState* GetFleeState() const { return fleeState_; }

    // The last steering terms, for the debug drawing and tests.
    vector3 separation, alignment, cohesion, boundary;

private:
    // Steering over the n mates that `member(i)` gives, `seen(i, boid)` telling which are in view.
    template <class Member, class Seen>
    vector3 steer(int n, Member member, Seen seen, float dt);

    nRef<nLogicFlock> flock_;
    bool notFlockLogged_ = false;
    // w1 separation, w2 collision push, w3 cohesion, w4 alignment, w5 vertical damping,
    // w6 (kept and saved only).
    float w_[6] = {1.0f, 0.3f, 0.3f, 0.1f, 0.3f, 1.0f};
    // p1 maximum speed, p2 acceleration factor, p3 keeping distance, p4 the view cone's cosine.
    float p_[4] = {1.0f, 0.5f, 5.0f, 0.3f};
    float yaw_ = 0.0f;
    float phase_ = 0.0f;
    vector3 velocity_{1.0f, 0.0f, -1.0f};
    vector3 acceleration_;
    vector3 push_;
    int index_ = -1;
    bool returning_ = false;
    bool debug_ = false;
    nModCollisionState* fleeState_ = nullptr;
};
