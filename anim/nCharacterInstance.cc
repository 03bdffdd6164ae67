#include "anim/nCharacterInstance.h"

#include <algorithm>
#include <cmath>

#include "anim/nAnimCurve.h"
#include "scene/nChannelServer.h"

void nCharacterInstance::SetState(int index, float t) {
    if (!stateSet || index < 0 || index >= stateSet->GetNumStates()) return;
    stateChanges++;
    stateStartTime = t;
    currentState = index;
    std::fill(std::begin(weights), std::end(weights), 0.0f);
}

void nCharacterInstance::Evaluate(float t, const nChannelContext* ctx) {
    float targets[nCharStateSet::MaxAnims] = {};
    if (nCharState* state = stateSet ? stateSet->GetState(currentState) : nullptr) {
        const int n = std::min(int(state->anims.size()), nCharStateSet::MaxAnims);
        for (int i = 0; i < n; i++) targets[i] = nChannelContext::Read(ctx, state->anims[size_t(i)].weightChannelHandle).f[0];
    }
    Evaluate(t, targets);
}

void nCharacterInstance::Evaluate(float t, const float* targets) {
    float s = t - stateStartTime;
    if (s < 0.0f) {
        stateStartTime = t;
        s = 0.0f;
    }
    const float dt = t - lastTime;
    const float step = dt > 1.0f ? 0.1f : dt > 0.0f ? dt : 0.01f;
    lastTime = t;

    nCharState* state = stateSet && stateSet->CurvesAlive() ? stateSet->GetState(currentState) : nullptr;
    const int numAnims = state ? std::min(int(state->anims.size()), nCharStateSet::MaxAnims) : 0;
    const float rate = step / fadeTime;
    float sum = 0.0f;
    for (int i = 0; i < numAnims; i++) {
        const float target = std::clamp(targets[i], 0.0f, 1.0f);
        float w = std::clamp(weights[i], 0.0f, 1.0f);
        if (std::fabs(target - w) <= rate) w = target;
        else if (target > w) w = std::min(w + rate, target);
        else w = std::max(w - rate, target);
        weights[i] = w;
        sum += w;
    }
    if (sum > 0.0f) {
        for (int i = 0; i < numAnims; i++) weights[i] /= sum;
    }

    const float fade = stateChanges > 1 ? std::clamp((t - stateStartTime) / fadeTime, 0.0f, 1.0f) : 1.0f;

    const int numJoints = skeleton.GetNumJoints();
    nCharJoint* joints = skeleton.GetJoints();
    for (int j = 0; j < numJoints; j++) {
        nCharJoint& joint = joints[j];
        vector3 trans;
        quaternion rot;
        bool hasTrans = false, hasRot = false;
        float rotWeight = 0.0f;
        for (int i = 0; i < numAnims; i++) {
            const float w = weights[i];
            if (!(w > 0.0f)) continue;
            const nCharStateAnim& anim = state->anims[size_t(i)];
            if (size_t(j) >= anim.transCurves.size()) continue;
            if (const nAnimCurve* c = anim.transCurves[size_t(j)]) {
                const nAnimKey k = c->GetValue(s);
                trans += vector3(k.x, k.y, k.z) * w;
                hasTrans = true;
            }
            if (const nAnimCurve* c = anim.rotCurves[size_t(j)]) {
                const nAnimKey k = c->GetValue(s);
                const quaternion q(k.x, k.y, k.z, k.w);
                if (!hasRot) {
                    rot = q;
                    rotWeight = w;
                    hasRot = true;
                } else {
                    rotWeight += w;
                    quaternion mixed;
                    mixed.Slerp(rot, q, w / rotWeight);
                    rot = mixed;
                }
            }
        }
        if (!hasTrans) trans = joint.translation;
        if (!hasRot) rot = joint.rotation;
        if (fade < 1.0f) {
            trans = joint.translation + (trans - joint.translation) * fade;
            quaternion mixed;
            mixed.Slerp(joint.rotation, rot, fade);
            rot = mixed;
        }
        joint.translation = trans;
        joint.rotation = rot;
        joint.Evaluate();
    }
}
