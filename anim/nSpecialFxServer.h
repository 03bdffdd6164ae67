#pragma once
// The special-effects server (script class "nspecialfxserver", "/sys/servers/specialfx"):
// a screen tint that effects add up between resets, and a tree of visual nodes under
// "/sys/servers/specialfx/root" that it attaches to the scene on request.
#include "kernel/nPathRef.h"
#include "kernel/nRoot.h"

class nSceneGraph2;

class nSpecialFxServer : public nRoot {
public:
    static const nClassInfo classInfo;

    nSpecialFxServer();
    ~nSpecialFxServer() override;

    // Inactive, and the colour back to zeros.
    virtual void Reset();
    // Attaches the effect tree with render context 0; false when there is no tree (the
    // scene graph is then left alone), or when the root is no visual node (logged).
    virtual bool Attach(nSceneGraph2* sceneGraph);
    // Adds to each component and clamps each to 0 .. 1 after the addition; active.
    virtual void AddColor(float r, float g, float b, float a);
    // The colour; true when anything was added since the last reset.
    virtual bool GetColor(float& r, float& g, float& b, float& a) const;

private:
    nPathRef<nRoot> root_;
    bool active_ = false;
    float red_ = 0.0f, green_ = 0.0f, blue_ = 0.0f, alpha_ = 0.0f;
};
