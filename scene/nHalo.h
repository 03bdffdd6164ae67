#pragma once
// A glow quad at the origin of its transform (script class "nhalo"): small and bright
// near the viewer, large and faint far away, so that a light stays visible in the
// distance. Drawn with the shader and textures of its scene node; nothing when its
// origin lies outside the view volume.
#include "gfx/nVertexBufferHolder.h"
#include "kernel/nRef.h"
#include "scene/nVisNode.h"

class nIndexBuffer;

class nHalo : public nVisNode {
public:
    static const nClassInfo classInfo;

    ~nHalo() override;
    bool SaveCmds(nPersistServer* ps) override;
    // Makes the buffers on first use and becomes the current scene node's other visual.
    bool Attach(nSceneGraph2* sceneGraph) override;
    void Compute(nSceneGraph2* sceneGraph) override;
    virtual void CreateBuffers();

    void SetMinDistance(float d);
    void SetMaxDistance(float d);
    float GetMinDistance() const { return minDist_; }
    float GetMaxDistance() const { return maxDist_; }
    // Full sizes; half of each is kept.
    void SetMinSize(float s);
    void SetMaxSize(float s);
    float GetMinSize() const { return minHalf_ * 2.0f; }
    float GetMaxSize() const { return maxHalf_ * 2.0f; }
    void SetMinBrightness(float b);
    void SetMaxBrightness(float b);
    float GetMinBrightness() const { return minBright_; }
    float GetMaxBrightness() const { return maxBright_; }

    // Half-size and brightness at `distance` in front of the viewer.
    void SizeAt(float distance, float& halfSize, float& brightness) const;

private:
    static const nCmdDef<nHalo> cmds[];
    void updateSlopes();

    nVertexBufferHolder holder_;
    bool holderMade_ = false;
    nRef<nIndexBuffer> refIndices_;
    float minDist_ = 0.5f;
    float maxDist_ = 10.0f;
    float maxHalf_ = 2.0f;
    float minHalf_ = 0.2f;
    float minBright_ = 0.3f;
    float maxBright_ = 1.0f;
    float sizeSlope_ = 0.18947367f;
    float brightSlope_ = 0.07368421f;
};
