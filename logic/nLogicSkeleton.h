#pragma once
// A physics logic node that carries a joint hierarchy (script class "nlogicskeleton"):
// scripts describe the joints once, each frame the node poses them, and the debug pass
// draws its bones as red lines from each joint's parent to the joint.
#include "anim/nCharSkeleton.h"
#include "kernel/nDataCharge.h"
#include "logic/nLogicPhysik2.h"

class nLogicSkeleton : public nLogicPhysik2 {
public:
    static const nClassInfo classInfo;

    // Begin, one line per joint in index order, end; nothing without joints.
    bool SaveCmds(nPersistServer* ps) override;
    // Poses the joints, then the physics node's step.
    bool Trigger(nLogicGraph* graph) override;
    // One red segment from parent to joint for every joint with a parent, in the
    // skeleton's own space, then the visual node's modules.
    void RenderModules() override;
    // Every joint's matrix from its pose, times its parent's; the time is not used.
    virtual void EvaluateJoints(float time);

    // Drops the joints and makes n fresh ones; a count outside 0 to the joint table's
    // MaxJoints is logged and keeps the old joints.
    void BeginJoints(int n);
    // Refused with a log line, changing nothing: before BeginJoints, an index outside the
    // joints, or a parent that is neither -1 nor an earlier joint.
    void AddJoint(int index, const char* name, int parent, float tx, float ty, float tz, float qx, float qy, float qz,
                  float qw);
    void EndJoints() { skeleton_.EndJoints(); }

    const nCharSkeleton& GetSkeleton() const { return skeleton_; }
    nCharSkeleton& GetSkeleton() { return skeleton_; }

private:
    nCharSkeleton skeleton_;
    nDataCharge jointsCharge_;  // the table that data sized
    // Set by BeginJoints: joints are added only into a table a script opened.
    bool begun_ = false;
};
