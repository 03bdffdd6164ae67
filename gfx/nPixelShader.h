#pragma once

#include "kernel/nPathRef.h"
#include "kernel/nRoot.h"

class nPixelShaderDesc;
class nTexArray;

// A shared render-state set-up under /sys/share/pshader (script class "npixelshader").
// It only points at the description its owner fills; the device shader turns that into
// device state. The base draws nothing.
class nPixelShader : public nRoot {
public:
    static const nClassInfo classInfo;

    nPixelShader();
    ~nPixelShader() override;

    virtual bool RecordStateBlocks();
    // Number of passes to draw; 0 in the base.
    virtual int BeginPasses(nTexArray* textures);
    virtual void SetPass(int pass);
    virtual void EndPasses();

    void SetShaderDesc(nPixelShaderDesc* d) { desc = d; }
    nPixelShaderDesc* GetShaderDesc() const { return desc; }

protected:
    nPathRef<nRoot> refGfx;
    nPixelShaderDesc* desc;
    nTexArray* texArray;
    bool inDraw;
};

