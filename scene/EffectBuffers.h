#pragma once
// Helpers of the nodes that stream their own quads (lens flares, halos, overlay planes,
// the stencil shadow server): colours packed as the device takes them, and index
// buffers shared by name and filled once.
#include <cstdint>
#include <functional>

#include "gfx/nGfxServer.h"
#include "gfx/nIndexBuffer.h"
#include "kernel/matrix44.h"
#include "kernel/nColorByte.h"

namespace effect {

// Each channel times 255, truncated and held to 0..255 (NaN 0): a<<24 | r<<16 | g<<8 | b
// for BGRA, a<<24 | b<<16 | g<<8 | r otherwise.
inline uint32_t PackColor(int format, float r, float g, float b, float a) {
    auto ch = [](float v) { return n_unit_byte(v); };
    return format == nGfxServer::BGRA ? ch(a) << 24 | ch(r) << 16 | ch(g) << 8 | ch(b)
                                      : ch(a) << 24 | ch(b) << 16 | ch(g) << 8 | ch(r);
}

// The origin of `modelview` carried through `projection` (row vectors) and divided by
// w into out[0..2], w in out[3]. False when w is not above 0 (behind the viewer): the
// division would mirror the point onto the screen.
inline bool ProjectOrigin(const matrix44& modelview, const matrix44& projection, float out[4]) {
    const float* t = modelview.m[3];
    float p[4];
    for (int j = 0; j < 4; j++) {
        p[j] = t[0] * projection.m[0][j] + t[1] * projection.m[1][j] + t[2] * projection.m[2][j] + projection.m[3][j];
    }
    out[3] = p[3];
    if (!(p[3] > 0.0f)) return false;
    for (int j = 0; j < 3; j++) out[j] = p[j] / p[3];
    return true;
}

// The index buffer `name` of the graphics server, made and filled with `count` indices
// of `type` by `fill` when it does not exist yet (or holds fewer than `count`, so that
// no drawer reads past it). Null (logged by the server) when it cannot be made. The
// caller owns one reference.
inline nIndexBuffer* SharedIndexBuffer(nGfxServer* gfx, const char* name, int type, int count,
                                       const std::function<void(uint16_t*)>& fill) {
    // No name: a buffer of its own ("res<n>").
    nIndexBuffer* ib = name ? gfx->FindIndexBuffer(name) : nullptr;
    if (!ib) ib = gfx->NewIndexBuffer(name);
    if (!ib) return nullptr;
    if (ib->GetCapacity() < count || ib->GetType() != type) {
        ib->Begin(0, type, count);
        fill(ib->GetLockPtr());
        ib->End();
    }
    return ib;
}

}  // namespace effect
