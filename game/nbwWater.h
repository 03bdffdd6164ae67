#pragma once
// A body of water in a level (script class "nbwwater"): its level is set at once or
// moves linearly to a target over a given time while fading is on. While it fades, the
// level is the time at which the animators of its animator state "water" run (rising
// water planes, flooding rooms); the end of a fade raises "onfinishedfading". The level
// and the fade live through save games in the node's persistent store.
#include <cstdint>

#include "logic/nLogicPhysik2.h"

class nLogicEventHandler;
class nModAnimatorState;

class nbwWater : public nLogicPhysik2 {
public:
    static const nClassInfo classInfo;

    enum Direction { None = 0, Rising = 1, Falling = 2 };

    nbwWater();
    ~nbwWater() override;
    // The physics node's lines, then the fading flag, the level and the fade, so that a
    // loaded fade starts again from the saved level with its full time; after a fade
    // without time, the level once more when it is not the fade's end value.
    bool SaveCmds(nPersistServer* ps) override;

    // While fading: the level moves by the frame's share (never past the target, never
    // below 0), the "water" animators run at the level, and a fade that reached its
    // target (or, falling, the floor at 0) switches fading off and queues
    // "onfinishedfading". Then the physics node's own step.
    bool Trigger(nLogicGraph* graph) override;
    // "waterstand", "fadetime", "fadevalue" (floats) and "fadestate" (int 0 or 1).
    void StoreToPersist(nPersistLogic* store) override;
    // Reads back whichever of those the store holds as numbers, then FadeTo with the
    // stored target and time (one without time keeps the stored level).
    void RestoreFromPersist(nPersistLogic* store) override;

    // Fading is the "water" state's enabled flag: on starts the fade FadeTo set up.
    void SetFading(bool on);
    bool GetFading() const;
    // Sets the level at once; a fade in progress keeps its speed. A value that is no
    // finite number is logged and ignored.
    void SetWaterstand(float level);
    float GetWaterstand() const { return level_; }
    float GetFadeEndTime() const { return fadeTime_; }
    float GetFadeEndValue() const { return fadeValue_; }
    // Aims at `value` over `time` seconds; with no time or no way to go the level is
    // `value` at once. Does not switch fading on. Values that are no finite numbers are
    // logged and change nothing.
    void FadeTo(float value, float time);

    float GetFadeSpeed() const { return speed_; }
    int GetDirection() const { return direction_; }
    nModAnimatorState* GetFadeState() const { return fadeState_; }
    nLogicEventHandler* GetFinishHandler() const { return finishHandler_; }

private:
    // Whether the fade has reached its end with the level where it is now.
    bool FadeOver() const;
    // Whether FadeTo with the fade's own target and time would put the level elsewhere.
    bool FadeToMovesLevel() const;

    float level_ = 0.0f;
    float speed_ = 0.0f;
    float fadeValue_ = 0.0f;
    float fadeTime_ = 0.0f;
    int32_t direction_ = None;
    nModAnimatorState* fadeState_ = nullptr;
    nLogicEventHandler* finishHandler_ = nullptr;
};
