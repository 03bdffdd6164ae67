#pragma once
// The fog of a scene (script class "nfognode"): registers as the scene graph's fog node
// when it attaches (the last one attached in a frame wins) and sets the fog render
// states once per frame.
#include "scene/nVisNode.h"

class nFogNode : public nVisNode {
public:
    static const nClassInfo classInfo;
    enum Mode { LINEAR = 1, EXP = 2, EXP2 = 3 };

    bool SaveCmds(nPersistServer* ps) override;
    bool Attach(nSceneGraph2* sceneGraph) override;
    // Computes the depend list, then sets fog mode, start, end, density and colour.
    void Compute(nSceneGraph2* sceneGraph) override;

    virtual void SetMode(int mode) { mode_ = mode; }
    virtual void SetRange(float start, float end) { start_ = start, end_ = end; }
    virtual void SetDensity(float d) { density_ = d; }
    virtual void SetColor(float r, float g, float b, float a);
    virtual int GetMode() const { return mode_; }
    virtual void GetRange(float& start, float& end) const { start = start_, end = end_; }
    virtual float GetDensity() const { return density_; }
    virtual const float* GetColor() const { return color_; }

    // "linear", "exp" or "exp2", exactly; any other text is logged and ignored.
    void SetModeName(const char* name);
    const char* GetModeName() const;

private:
    static const nCmdDef<nFogNode> cmds[];
    int mode_ = LINEAR;
    float start_ = 0.0f, end_ = 1.0f;
    float density_ = 1.0f;
    float color_[4] = {1.0f, 1.0f, 1.0f, 1.0f};
};
