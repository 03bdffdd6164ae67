#pragma once
// The diver's sand remover (script class "nbwsandremover"): an item with a sweep power,
// the tool that sand heaps ask for.
#include "game/nbwItem.h"

class nbwSandRemover : public nbwItem {
public:
    static const nClassInfo classInfo;

    // The item's lines, then the sweep power.
    bool SaveCmds(nPersistServer* ps) override;

    void SetSweepPower(float power) { sweepPower_ = power; }
    float GetSweepPower() const { return sweepPower_; }

private:
    float sweepPower_ = 0.0f;
};
