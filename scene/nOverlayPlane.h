#pragma once
// One screen-filling quad in a colour (script class "noverlayplane"), drawn with the
// shader and textures of its scene node: a tint, a fade or a full-screen picture.
// A colour that packs to transparent black draws nothing.
#include "gfx/nVertexBufferHolder.h"
#include "kernel/nRef.h"
#include "scene/nVisNode.h"

class nIndexBuffer;

class nOverlayPlane : public nVisNode {
public:
    static const nClassInfo classInfo;

    ~nOverlayPlane() override;
    bool SaveCmds(nPersistServer* ps) override;
    // Becomes the current scene node's other visual.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // Draws the quad with both matrices the identity.
    void Compute(nSceneGraph2* sceneGraph) override;

    void SetColor(float r, float g, float b, float a);
    const float* GetColor() const { return color_; }

private:
    static const nCmdDef<nOverlayPlane> cmds[];

    nRef<nIndexBuffer> refIndices_;
    nVertexBufferHolder holder_;
    bool holderMade_ = false;
    float color_[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};
