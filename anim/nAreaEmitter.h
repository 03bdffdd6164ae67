#pragma once
// A point emitter whose particles start at a random place in a box around the origin,
// along the world axes (script class "nareaemitter").
#include "anim/nPServEmitter.h"

class nAreaEmitter : public nPServEmitter {
public:
    static const nClassInfo classInfo;

    void Compute(nSceneGraph2* sceneGraph) override;
    bool SaveCmds(nPersistServer* ps) override;

    // Full sizes in and out; half of each is kept.
    void SetAreaSize(float x, float y, float z) { half_ = vector3(x * 0.5f, y * 0.5f, z * 0.5f); }
    vector3 GetAreaSize() const { return vector3(half_.x * 2.0f, half_.y * 2.0f, half_.z * 2.0f); }

protected:
    void Emit(nParticleBuffer* buffer, float birthTime) override { EmitInCone(buffer, birthTime, &half_); }

private:
    vector3 half_;
};
