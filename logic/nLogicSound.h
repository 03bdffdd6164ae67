#pragma once
// A visual logic node that starts and stops the sound nodes hung under its visualizers
// (script class "nlogicsound"): "soundtrigger" in its render variables is 1 (start) or
// -1 (stop) for the one visualized frame after the command, 0 otherwise. It saves the
// visual node's lines only.
#include "logic/nLogicVisual2.h"

class nLogicSound : public nLogicVisual2 {
public:
    static const nClassInfo classInfo;

    nLogicSound();
    ~nLogicSound() override;

    // Seen by the visuals in the node's next visualized frame; the later of two commands
    // before it wins.
    virtual void Play() { trigger_ = 1.0f; }
    virtual void Stop() { trigger_ = -1.0f; }
    float GetTriggerValue() const { return trigger_; }

    void UpdateVariables() override;
    // Hands the trigger value over and resets it.
    void SetNodeVariables() override;

private:
    float trigger_ = 0.0f;
    int triggerVar_ = -1;
};
