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
    nModAnimator* AsAnimator() final { return this; }
    // Logs once: only the subclasses know what to animate.
    void Animate(nLogicNode* owner, float time) override;

    // Exactly "loop" or "oneshot"; any other text is logged and changes nothing.
    void SetRepType(const char* name);
    const char* GetRepType() const { return repType_ == Loop ? "loop" : "oneshot"; }
    int GetRepTypeCode() const { return repType_; }
    float GetBaseTime() const { return baseTime_; }

    // Animate, called through the animator's own cache line instead of the object's
    // first one: how the animator state runs its modules every frame.
    void AnimateHot(nLogicNode* owner, float time) { hotAnimate_(this, owner, time); }
    // The start of that cache line, for a caller that fetches it ahead.
    const void* HotLine() const { return &hotAnimate_; }

protected:
    using AnimateFn = void (*)(nModAnimator* self, nLogicNode* owner, float time);
    // A final subclass may name its own Animate here, so that the call needs no vtable.
    void SetHotAnimate(AnimateFn fn) { hotAnimate_ = fn; }

    float baseTime_ = 0.0f;
    bool animateLogged_ = false;
    // The animator's hot fields start a cache line of their own, which the subclasses
    // fill with what their Animate reads every frame.
    alignas(64) AnimateFn hotAnimate_ = &VirtualAnimate;
    int repType_ = OneShot;

private:
    static void VirtualAnimate(nModAnimator* self, nLogicNode* owner, float time) { self->Animate(owner, time); }
};
