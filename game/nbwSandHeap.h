#pragma once
// A heap of sand that blocks a way like a door (script class "nbwsandheap"), cleared
// with the sand remover: each use takes hitpoints, and the sweep value (0 untouched, 1
// gone) then glides over two seconds to the share of hitpoints lost. The sweep value is
// the time of the heap's "door_open" animators; reaching 1 announces "door_open".
#include "game/nbwDoor.h"

class nbwSandHeap : public nbwDoor {
public:
    static const nClassInfo classInfo;

    nbwSandHeap();
    ~nbwSandHeap() override;
    // The door's lines, then "v_setsweepvalue_f".
    bool SaveCmds(nPersistServer* ps) override;
    // The door's store, then "sweepvalue".
    void StoreToPersist(nPersistLogic* store) override;
    // The door's restore, then "sweepvalue" as stored (no clamp, no event); a value short
    // of the share of hitpoints lost sweeps on to it.
    void RestoreFromPersist(nPersistLogic* store) override;
    // The sweep's step, the "door_open" animators at the sweep value, then the item's
    // step; the door's own open/close animation does not run.
    bool Trigger(nLogicGraph* graph) override;
    // The door's use first; then a sand remover ("nbwsandremover" or a subclass) takes
    // its damage beyond the armor off the hitpoints (starting a sweep) and the owner
    // becomes "none" (false). Anything else: true.
    bool Use(nRoot* user) override;
    // Hitpoints falling start a two-second sweep toward 1 - hitpoints / maxhitpoints
    // (toward 1 when the maximum is 0 or less); then the item stores the value.
    void SetFloat(int index, float value) override;

    // Clamped to 0..1; exactly 1 announces "door_open". No number: logged, ignored.
    void SetSweepValue(float value);
    float GetSweepValue() const { return sweepValue_; }
    // The script command: the value set ends a sweep in progress, so that a loaded heap
    // stays as saved instead of gliding on from what its loaded hitpoints started.
    void SetSweepValueCmd(float value);
    float GetSweepRate() const { return sweepRate_; }
    float GetSweepTime() const { return sweepTime_; }

private:
    float sweepValue_ = 0.0f;
    float sweepRate_ = 0.0f;
    float sweepTime_ = 0.0f;
    float sweepTarget_ = 0.0f;  // where the sweep in progress ends
};
