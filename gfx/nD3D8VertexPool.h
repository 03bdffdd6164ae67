#pragma once

#include <memory>

#include "gfx/nVertexPool.h"

namespace render {
class DeviceBuffer;
}

// A vertex pool in a device buffer, drawn with an index buffer and a pixel shader.
// Static pools (kind 0) allocate ranges best-fit; a dynamic pool (kind 2) has one
// range over the whole buffer that every caller shares, and each lock of it starts
// over in fresh storage. The layout leaves out bit 7's block.
class nD3D8VertexPool : public nVertexPool {
public:
    nD3D8VertexPool(nGfxServer* gfx, nVertexPoolManager* manager, int kind, int components, int capacity);
    ~nD3D8VertexPool() override;

    bool Alloc() override;
    bool Lock(nVertexRange* range) override;
    void Unlock(nVertexRange* range) override;
    void Render(nVertexRange* range, nIndexBuffer* indexBuffer, nPixelShader* pixelShader,
                nTexArray* textureArray) override;
    nVertexRange* AllocRange(int count) override;
    void FreeRange(nVertexRange* range) override;
    bool IsDevicePool() const override { return true; }

    // The render layer's layout flags for a component mask.
    static unsigned VertexFormat(int components);
    render::DeviceBuffer* GetDeviceBuffer() const { return deviceBuffer.get(); }
    unsigned GetVertexFormat() const { return format; }

private:
    std::unique_ptr<render::DeviceBuffer> deviceBuffer;
    unsigned format;
};
