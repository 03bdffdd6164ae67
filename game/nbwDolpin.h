#pragma once
// A dolphin of the levels (script class "nbwdolpin"): an item that loops its "cruse"
// animation and plays its "flee" animation instead while its item variable "flee" holds
// 1, which only a persistent store can put there.
#include "game/nbwItem.h"

class nModAnimatorState;

class nbwDolpin : public nbwItem {
public:
    static const nClassInfo classInfo;
    // The entry appended to the item's table.
    enum DolpinVar { FleeVar = NumVars };

    // Adds "flee" (int 0) and the animator states "cruse" and "flee".
    nbwDolpin();
    ~nbwDolpin() override;

    // The item's step, then one frame of the flee or the cruise animation. Always true.
    bool Trigger(nLogicGraph* graph) override;
    // "flee" stores nothing: 1 starts the flee animation over. Others as the item's.
    void SetInt(int index, int32_t value) override;
    // The script's "v_flee_v": does nothing.
    void Flee() {}

    nModAnimatorState* GetCruseState() const { return cruse_; }
    nModAnimatorState* GetFleeState() const { return flee_; }

private:
    nModAnimatorState* cruse_ = nullptr;
    nModAnimatorState* flee_ = nullptr;
};
