#pragma once
// Waves a mesh (script class "nmesheffect"): every frame the vertices of a referenced
// mesh node move along x by a sine of the channel's time and their own y, and in some
// frames all coordinates jolt by a random step (twinkle). The result goes into a buffer
// of the node's own; normals, colours and texture coordinates are copied.
#include <memory>

#include "anim/nAnimNode.h"
#include "scene/MeshSource.h"

class MeshOutput;

class nMeshEffect : public nAnimNode {
public:
    static const nClassInfo classInfo;

    nMeshEffect();
    ~nMeshEffect() override;

    bool SaveCmds(nPersistServer* ps) override;
    // Attaches the children; unless read-only, enters itself as the current scene node's
    // other visual.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // A mesh node that gives no buffer, or one without coordinates, draws nothing this
    // frame (logged once).
    void Compute(nSceneGraph2* sceneGraph) override;

    // The offset every coordinate gets at time t: 0, or in a twinkle frame (the low 32
    // bits of trunc(t * 1e9) divisible by 150) one of 1..5 or -5..-1 from the engine's
    // random generator.
    float TwinkleOffset(float t) const;

    void SetReadOnly(bool on);
    bool GetReadOnly() const { return readOnly_; }
    void SetMeshNode(const char* path) { source_.SetPath(path); }
    const char* GetMeshNode() const { return source_.GetPath(); }
    void SetAmplitude(float a) { amplitude_ = a; }
    float GetAmplitude() const { return amplitude_; }
    void SetFrequency(float f) { frequency_ = f; }
    float GetFrequency() const { return frequency_; }
    // Stored, answered and saved; the effect does not use it.
    void SetTwinkleTime(float t) { twinkleTime_ = t; }
    float GetTwinkleTime() const { return twinkleTime_; }
    void SetTwinkle(bool on) { twinkle_ = on; }
    bool GetTwinkle() const { return twinkle_; }

private:
    float amplitude_ = 1.0f;
    float frequency_ = 1.0f;
    float twinkleTime_ = 1.0f;
    bool twinkle_ = false;
    bool readOnly_ = false;
    bool busy_ = false;
    MeshSource source_;
    std::unique_ptr<MeshOutput> output_;
};
