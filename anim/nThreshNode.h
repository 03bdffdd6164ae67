#pragma once
// The threshold node (script class "nthreshnode"): attaches its subtree only while its
// channel's value lies in [lower, upper), so a channel can switch a part of the scene on
// and off (a door's open state, a damage level).
#include "anim/nAnimNode.h"

class nThreshNode : public nAnimNode {
public:
    static const nClassInfo classInfo;

    nThreshNode();

    bool SaveCmds(nPersistServer* ps) override;
    bool Attach(nSceneGraph2* sceneGraph) override;

    void SetLowerBound(float v) { lower_ = v; }
    float GetLowerBound() const { return lower_; }
    void SetUpperBound(float v) { upper_ = v; }
    float GetUpperBound() const { return upper_; }

private:
    float lower_ = 0.0f;
    float upper_ = 1.0f;
};
