#pragma once
// A place where a diver may be put into the level (script class "nbwstartpoint"): its
// "startpoint" state in the collide context "trigger" tells each frame whether anything
// touches it, so that scripts pick a free one.
#include "logic/nLogicCollision2.h"

class nModCollisionState;

class nbwStartPoint : public nLogicCollision2 {
public:
    static const nClassInfo classInfo;

    nbwStartPoint();
    ~nbwStartPoint() override;

    // Empty unless the "startpoint" state (enabled, with a module) has a contact this
    // frame; a value a script set lasts until the next collision pass.
    void AnalyseCollision() override;

    void SetEmptyStatus(bool empty) { empty_ = empty; }
    bool GetEmptyStatus() const { return empty_; }
    nModCollisionState* GetStartState() const { return state_; }

private:
    nModCollisionState* state_ = nullptr;
    bool empty_ = true;
};
