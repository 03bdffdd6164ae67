#pragma once
// Base of every particle emitter (script class "npemitter"): the birth parameters all
// emitters share and the three operations through which a renderer reads particles.
// Hung under a visual node, it joins the node's depend list, so the node's Compute runs
// the emitter's in its scene node.
#include <cstdint>

#include "anim/nAnimNode.h"
#include "anim/nParticle.h"
#include "kernel/nDataCharge.h"
#include "kernel/nPathRef.h"
#include "kernel/vector3.h"

class nVertexBuffer;

class nPEmitter : public nAnimNode {
public:
    static const nClassInfo classInfo;

    nPEmitter();

    void Initialize() override;
    // Births read the world frame of the parent transform's finished matrix.
    bool ReadsSceneNode() const override { return true; }
    // The 13 setters, always, after the animation node's commands.
    bool SaveCmds(nPersistServer* ps) override;

    // True when there are particles to read in `renderContext` at `time`; then
    // GetParticles until it gives 0, then EndParticles. The base has no particles: it
    // logs a script error (a renderer's emitter path may name a plain "npemitter").
    virtual bool BeginParticles(uint32_t renderContext, float time);
    // The next run of particles, oldest first; 0 and null when the read is over.
    virtual int GetParticles(nParticle*& first);
    virtual void EndParticles();

    void SetTimes(float start, float stop, float loop);
    void GetTimes(float& start, float& stop, float& loop) const;
    void SetLifetime(float t);
    float GetLifetime() const { return lifetime_; }
    void SetFreq(float f);
    float GetFreq() const { return freq_; }
    void SetSpeed(float s) { speed_ = s; }
    float GetSpeed() const { return speed_; }
    void SetAccel(float x, float y, float z) { accel_ = vector3(x, y, z); }
    const vector3& GetAccel() const { return accel_; }
    // Degrees in and out, radians kept.
    void SetInnerCone(float degrees);
    float GetInnerCone() const { return innerCone_; }
    void SetOuterCone(float degrees);
    float GetOuterCone() const { return outerCone_; }
    void SetRSpeed(float v) { rSpeed_ = v; }
    float GetRSpeed() const { return rSpeed_; }
    void SetRAccel(float v) { rAccel_ = v; }
    float GetRAccel() const { return rAccel_; }
    void SetRSize(float v) { rSize_ = v; }
    float GetRSize() const { return rSize_; }
    void SetRSpin(float v) { rSpin_ = v; }
    float GetRSpin() const { return rSpin_; }
    void SetDirSpin(bool b) { dirSpin_ = b; }
    bool GetDirSpin() const { return dirSpin_; }
    void SetAlignedAccel(float v) { alignedAccel_ = v; }
    float GetAlignedAccel() const { return alignedAccel_; }

    // The ring size that holds every particle that can be alive at once.
    int GetCapacity() const;

protected:
    // Computes the visual node `ref` names in the scene graph's current node and gives
    // the vertex buffer it puts there, leaving the node's own mesh as it was (the mesh is
    // not drawn there). Null when the path is unset, names no visual node or leads back
    // to this emitter (logged once until the path changes: `logged`).
    nVertexBuffer* TakeMesh(nSceneGraph2* sceneGraph, nPathRef<nRoot>& ref, bool& logged);
    bool takingMesh_ = false;

    float startTime_ = 0.0f;
    float stopTime_ = 0.0f;
    float loopTime_ = 0.0f;
    float lifetime_ = 1.0f;
    float freq_ = 1.0f;
    float interval_ = 1.0f;
    float speed_ = 1.0f;
    float innerCone_ = 0.0f;
    float outerCone_ = 0.0f;
    vector3 accel_;
    float alignedAccel_ = 0.0f;
    bool dirSpin_ = false;
    float rSpeed_ = 0.0f;
    float rAccel_ = 0.0f;
    float rSize_ = 0.0f;
    float rSpin_ = 0.0f;
    float innerPos_ = 0.0f;
    float innerNeg_ = 0.0f;
    float outerPos_;
    float outerNeg_;
    bool lifetimeChanged_ = false;
    bool freqChanged_ = true;

private:
    // The ring that the settings now make, charged to data while data set them; false
    // (logged with `cmd`) when data would keep more than it may.
    bool HoldRing(const char* cmd);
    nDataCharge ringCharge_;
};
