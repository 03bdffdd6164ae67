#pragma once
// The base of the animator modules (script class "nmodanimator", module type 0): what
// they share is the repeat type, "oneshot" (played once) or "loop". A plain animator
// animates nothing; the vector and script animators do the work.
#include "logic/nModule.h"

class nModAnimator : public nModule {
public:
    static const nClassInfo classInfo;
    enum RepType { OneShot = 1, Loop = 2 };

    nModAnimator();
    ~nModAnimator() override;
    bool SaveCmds(nPersistServer* ps) override;

    int GetType() const override { return Animator; }
    // Logs once: only the subclasses know what to animate.
    void Animate(nLogicNode* owner, float time) override;

    // Exactly "loop" or "oneshot"; any other text is logged and changes nothing.
    void SetRepType(const char* name);
    const char* GetRepType() const { return repType_ == Loop ? "loop" : "oneshot"; }
    int GetRepTypeCode() const { return repType_; }
    float GetBaseTime() const { return baseTime_; }

protected:
    // The animator's fields start a cache line of their own, which the subclasses fill
    // with what their Animate reads every frame.
    alignas(64) int repType_ = OneShot;
    float baseTime_ = 0.0f;
    bool animateLogged_ = false;
};
