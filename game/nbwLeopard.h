#pragma once
// A leopard of the levels (script class "nbwleopard"): it walks at a fixed speed from
// one of a list of target points to another chosen at random, and between walks it
// vanishes and rests for a random number of seconds. Speed and points come from the
// level's scripts every time; they are not saved.
#include <vector>

#include "kernel/nDataCharge.h"
#include "kernel/vector3.h"
#include "logic/nLogicCollision2.h"

class nbwLeopard : public nLogicCollision2 {
public:
    static const nClassInfo classInfo;
    // Closer than this to its point the leopard has arrived.
    static constexpr float ArriveDistance = 0.05f;

    // Moves "picking" to "physik", where others meet the leopard.
    nbwLeopard();
    ~nbwLeopard() override;

    // The visual node's Trigger, then one step of resting or walking. Always true.
    bool Trigger(nLogicGraph* graph) override;
    // In debug mode also the target points, the current one marked.
    void Visualize(nSceneGraph2* sceneGraph, const matrix44& world) override;

    void SetDebugMode(bool on) { debug_ = on; }
    bool GetDebugMode() const { return debug_; }
    // Most points a path holds.
    static constexpr int MaxTargets = 65536;
    // Room for `count` points, all at the origin; a count of 0 or less leaves none (and
    // the leopard at rest); more than MaxTargets is logged and keeps the path. A walk to
    // a point that no longer exists ends at once.
    void BeginTargets(int count);
    // Point `index` (0 <= index < count; others logged and ignored). Point 0 also puts
    // the leopard there, hidden.
    void SetTarget(int index, float x, float y, float z);
    void SetSpeed(float speed) { speed_ = speed; }
    float GetSpeed() const { return speed_; }

    int GetTargetCount() const { return int(points_.size()); }
    const vector3& GetTarget(int index) const { return points_[size_t(index)]; }
    // -1 while resting.
    int GetCurrentTarget() const { return current_; }
    float GetRestUntil() const { return restUntil_; }

private:
    std::vector<vector3> points_;
    nDataCharge pointsCharge_;  // the path that data sized
    int current_ = -1;
    float speed_ = 0.0f;
    float restUntil_ = 0.0f;
    bool debug_ = false;
};
