#pragma once
// A lens flare for a light (script class "nlenseflare"): a row of textured quads laid on
// the screen along the line from the light's projected position through the centre,
// drawn with the shader and textures of its scene node. Nothing is drawn when the light
// lies outside the view volume or behind the viewer.
#include <vector>

#include "gfx/nVertexBufferHolder.h"
#include "kernel/nDataCharge.h"
#include "kernel/nRef.h"
#include "scene/nVisNode.h"

class nIndexBuffer;

class nLenseFlare : public nVisNode {
public:
    static const nClassInfo classInfo;

    struct Flare {
        float size = 0.125f;
        float halfSize = 0.0625f;
        // 0 on the light, 1 on the screen centre, 2 mirrored across it.
        float pos = 1.0f;
        float color[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    };

    ~nLenseFlare() override;
    bool SaveCmds(nPersistServer* ps) override;
    // False until EndFlares; makes the buffers on first use and becomes the current
    // scene node's other visual.
    bool Attach(nSceneGraph2* sceneGraph) override;
    void Compute(nSceneGraph2* sceneGraph) override;

    // `n` flares with the defaults; buffers made before are made again for the new count.
    void BeginFlares(int n);
    void EndFlares() { active_ = true; }
    int GetNumFlares() const { return int(flares_.size()); }
    // Indices outside the flares are ignored (getters give the defaults).
    void SetFlareSize(int i, float size);
    void SetFlarePos(int i, float pos);
    void SetFlareColor(int i, float r, float g, float b, float a);
    const Flare& GetFlare(int i) const;
    void SetBaseColor(float r, float g, float b, float a);
    void SetBlindColor(float r, float g, float b, float a);
    bool IsVisible() const { return visible_; }

private:
    static const nCmdDef<nLenseFlare> cmds[];
    Flare* flare(int i);
    void createBuffers();
    void releaseBuffers();

    nVertexBufferHolder holder_;
    bool holderMade_ = false;
    nRef<nIndexBuffer> refIndices_;
    std::vector<Flare> flares_;
    nDataCharge flaresCharge_;  // the flares that data counted, with their vertices
    float lightPos_[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    bool active_ = false;
    bool visible_ = false;
    float baseColor_[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float blindColor_[4] = {1.0f, 1.0f, 0.8f, 1.0f};
};
