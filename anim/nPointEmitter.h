#pragma once
// Emits from its origin into a cone around its local +y axis (script class
// "npointemitter", no commands of its own).
#include "anim/nPServEmitter.h"

class nPointEmitter : public nPServEmitter {
public:
    static const nClassInfo classInfo;
    void Compute(nSceneGraph2* sceneGraph) override;

protected:
    void Emit(nParticleBuffer* buffer, float birthTime) override { EmitInCone(buffer, birthTime, nullptr); }
};
