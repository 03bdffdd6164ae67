#pragma once
// Sets the shadow server's shadow colour whenever it is computed (script class
// "nshadowcontrol"): how dark and in which tint a scene's shadows are drawn. It joins
// its visual parent's depend list, so the parent's Compute reaches it.
#include "kernel/nPathRef.h"
#include "scene/nVisNode.h"

class nShadowServer;

class nShadowControl : public nVisNode {
public:
    static const nClassInfo classInfo;

    nShadowControl();
    void Initialize() override;
    bool SaveCmds(nPersistServer* ps) override;
    void Compute(nSceneGraph2* sceneGraph) override;

    void SetColor(float r, float g, float b, float a);
    const float* GetColor() const { return color_; }

private:
    static const nCmdDef<nShadowControl> cmds[];

    nPathRef<nShadowServer> refShadow_;
    float color_[4] = {0.0f, 0.0f, 0.0f, 0.0f};
};
