#pragma once
// One node a trigger found inside its zone, with where it stands in the enter / stay /
// leave sequence. The reference clears itself when the node dies, so the trigger can
// drop the entry without announcing a leave.
#include "kernel/nRef.h"

class nLogicNode;

class nLogicIntruder {
public:
    // Entered this frame, still inside, and left (also the mark of an entry not yet
    // seen again in the current frame).
    enum State { None = 0, Entered = 1, Inside = 2, Left = 3 };

    nLogicIntruder() = default;
    nLogicIntruder(nLogicNode* node, int state);
    virtual ~nLogicIntruder();
    nLogicIntruder(const nLogicIntruder&) = default;
    nLogicIntruder& operator=(const nLogicIntruder&) = default;

    // Null once the node died.
    nLogicNode* GetNode() const { return node_.GetUnsafe(); }
    int GetState() const { return state_; }
    void SetState(int state) { state_ = state; }

private:
    nRef<nLogicNode> node_;
    int state_ = None;
};
