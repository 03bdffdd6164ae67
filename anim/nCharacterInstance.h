#pragma once
// One drawing of a character node in one render context: its own posed copy of the
// skeleton, the current state, the weights of that state's animations and the
// cross-fade after a state change. Kept by the character server.
#include "anim/nCharSkeleton.h"
#include "anim/nCharStateSet.h"

struct nChannelContext;

class nCharacterInstance {
public:
    static constexpr float FadeTime = 0.25f;

    // Makes state `index` current from time t: the change counter rises, the weights
    // start from 0. An index outside the state set changes nothing.
    void SetState(int index, float t);
    // Poses the skeleton at time t with the weight targets read from `ctx` (one per
    // animation of the current state).
    void Evaluate(float t, const nChannelContext* ctx);
    // As above with the targets given: targets[i] for animation i.
    void Evaluate(float t, const float* targets);

    nCharSkeleton skeleton;
    nCharStateSet* stateSet = nullptr;
    int stateChanges = 0;
    float fadeTime = FadeTime;
    float stateStartTime = 0.0f;
    int currentState = 0;
    float weights[nCharStateSet::MaxAnims] = {};
    float lastTime = 0.0f;
};
