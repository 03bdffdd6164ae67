#pragma once
// The deformed copy of a skin mesh: a vertex buffer streamed through a holder and,
// when the mesh casts a shadow, a caster of its own fed with the deformed positions.
// Its skin pass serves the character node and the bone system's skin node alike.
#include "gfx/nVertexBufferHolder.h"
#include "kernel/matrix44.h"
#include "kernel/nRef.h"

class nIndexBuffer;
class nPixelShader;
class nShadowCaster;
class nShadowServer;
class nTexArray;
class nVertexBuffer;

class nCharSkin {
public:
    nCharSkin() = default;
    // Releases the caster.
    ~nCharSkin();
    nCharSkin(const nCharSkin&) = delete;
    nCharSkin& operator=(const nCharSkin&) = delete;

    // Makes the destination buffer when there is none or `src` changed its layout:
    // src's components without the joint weights, src's vertex count, in a private
    // buffer when `privateBuffer` (never drawn). With `sceneCaster` and a shadow server,
    // a new unnamed caster gets the scene caster's size and edges. False when `src` is
    // no skin (no coordinates or no joint weights).
    bool Prepare(nVertexBuffer* src, bool privateBuffer, nShadowCaster* sceneCaster, nShadowServer* shadow);
    // Deforms `src` by the skin matrices into the destination and ends the holder,
    // which draws it with the given index buffer, shader and textures.
    void Skin(nVertexBuffer* src, const matrix44* const* joints, int numJoints, nIndexBuffer* indexBuffer,
              nPixelShader* pixelShader, nTexArray* textures);

    // The pass itself, on locked buffers: position = sum of w * (p x S), normal = sum
    // of w * (n x N) over the influences whose weight is above 0 and whose joint is in
    // the table and not null; colours and texture coordinates copied. `casterCoords`
    // (three floats a vertex) gets the positions too when not null.
    static void Deform(const nVertexBuffer* src, const matrix44* const* joints, int numJoints, nVertexBuffer* dst,
                       float* casterCoords);

    nShadowCaster* GetCaster() const { return caster.GetUnsafe(); }
    nVertexBufferHolder& GetHolder() { return holder; }

private:
    nRef<nShadowCaster> caster;
    nVertexBufferHolder holder;
    int srcComponents_ = 0;
    int srcCount_ = -1;
};
