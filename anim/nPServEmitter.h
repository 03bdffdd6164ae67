#pragma once
// An emitter whose particles live in the particle server (script class
// "npservemitter"), one ring per render context; reads hand the ring out in one run,
// or two when it wraps. The point, area and mesh emitters derive from it.
#include "anim/nPEmitter.h"
#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"

class nParticleBuffer;
class nParticleServer;
class nMathServer;

class nPServEmitter : public nPEmitter {
public:
    static const nClassInfo classInfo;

    nPServEmitter();

    bool BeginParticles(uint32_t renderContext, float time) override;
    int GetParticles(nParticle*& first) override;
    void EndParticles() override;

    // The emitter's ring in `renderContext`, made (sized by GetCapacity) when missing
    // and made again when the lifetime or frequency changed.
    virtual nParticleBuffer* GetBuffer(uint32_t renderContext, float time);
    uint32_t GetEmitterId() const { return emitterId_; }

protected:
    // The birth pass at the scene graph's current node: calls Emit for every particle
    // due in the birth window, then moves the ring to the channel's time.
    void RunBirthPass(nSceneGraph2* sceneGraph);
    // Prepares the births of a pass; false skips them. The base takes the world frame.
    virtual bool BeginBirths(nSceneGraph2* sceneGraph);
    // One particle; the base emits none.
    virtual void Emit(nParticleBuffer*, float) {}
    virtual void EndBirths() {}

    // The point and area emitters' birth: from the world position (plus a random offset
    // along the world axes within `halfSize`, when given) into the cone around the
    // emitter's y axis.
    void EmitInCone(nParticleBuffer* buffer, float birthTime, const vector3* halfSize);
    // The next value of the math server's random table.
    float NextRandom();

    nPathRef<nParticleServer> refParticle_;
    nPathRef<nMathServer> refMath_;
    uint32_t randomIndex_ = 0;
    // Scene-node matrix x viewer matrix of the current pass.
    matrix44 world_;

private:
    uint32_t emitterId_ = 0;
    nParticleBuffer* reading_ = nullptr;
    int readState_ = 0;
};
