#pragma once
// Hard shadows of one directional light with stencil shadow volumes (script class
// "nsbufshadowserver", at "/sys/servers/shadow"). Each frame the first shadow-casting
// directional light gives the direction; the silhouette edges of every caster as seen
// from it are extruded far along it, counted into the stencil buffer in two passes (one
// per winding), and one screen quad in the shadow colour is blended wherever the count
// says a pixel lies inside a volume. Needs a display with a stencil buffer.
#include "gfx/nPixelShaderDesc.h"
#include "gfx/nVertexBufferHolder.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/vector3.h"
#include "scene/nShadowServer.h"

class nGfxServer;
class nIndexBuffer;
class nPixelShader;

class nSBufShadowServer : public nShadowServer {
public:
    static const nClassInfo classInfo;
    static constexpr int MaxEdges = 8192;

    nSBufShadowServer();
    ~nSBufShadowServer() override;

    void BeginScene() override;
    void AttachLight(const matrix44& m, const nLight& light) override;
    void AttachCaster(const matrix44& m, nShadowCaster* caster) override;
    void EndScene() override;

    bool IsLightSet() const { return lightSet_; }
    const vector3& GetLightDir() const { return lightDir_; }
    int GetNumEdges() const { return numEdges_; }
    // Stored silhouette edge i: its two points in view space.
    const vector3* GetEdge(int i) const { return i >= 0 && i < numEdges_ ? edges_[i] : nullptr; }
    // Volume pass A, volume pass B and the shadow pass.
    const nPixelShaderDesc& GetDesc(int which) const { return desc_[which]; }

private:
    bool makeResources(nGfxServer* gfx);
    void releaseResources();
    void setState(nGfxServer* gfx, int state, int value);
    // Draws the quads written so far twice: decrementing with A, then incrementing with B.
    void drawVolumes(nGfxServer* gfx, int quads, bool last);

    nPathRef<nGfxServer> refGfx_;
    nRef<nPixelShader> shader_[3];
    nRef<nIndexBuffer> volumeIndices_;
    nRef<nIndexBuffer> quadIndices_;
    nVertexBufferHolder volumeHolder_;
    nVertexBufferHolder quadHolder_;
    nPixelShaderDesc desc_[3];
    bool resourcesMade_ = false;
    // The display lacked a stencil buffer and that was logged.
    bool noStencilLogged_ = false;
    bool stencilMissing_ = false;
    bool lightSet_ = false;
    vector3 lightDir_;
    int numEdges_ = 0;
    int quadsPerBatch_ = 0;
    vector3 edges_[MaxEdges][2];
};
