#include "gfx/nD3D8VertexPool.h"

#include "gfx/nD3D8IndexBuffer.h"
#include "gfx/nD3D8Server.h"
#include "gfx/nPixelShader.h"
#include "kernel/nKernelServer.h"
#include "platform/render/Device.h"

namespace {

render::Device* deviceOf(nGfxServer* gfx) {
    if (!gfx || !gfx->IsA("nd3d8server")) return nullptr;
    return static_cast<nD3D8Server*>(gfx)->GetDevice();
}

}  // namespace

nD3D8VertexPool::nD3D8VertexPool(nGfxServer* server, nVertexPoolManager* mgr, int k, int comps, int cap)
    : nVertexPool(server, mgr, k, comps, cap), format(0) {}

// The device buffer goes before the lists and the block (the base destructor).
nD3D8VertexPool::~nD3D8VertexPool() { deviceBuffer.reset(); }

unsigned nD3D8VertexPool::VertexFormat(int c) {
    unsigned f = render::kVertexPosition;
    if (c & N_VT_NORM) f |= render::kVertexNormal;
    if (c & N_VT_RGBA) f |= render::kVertexDiffuse;
    const int t = ListIndex(c) % 5;
    return f | render::VertexTexSets(unsigned(t));
}

bool nD3D8VertexPool::Alloc() {
    if (capacity < 1 || capacity > MaxVertices || !(components & N_VT_COORD)) {
        n_error("nD3D8VertexPool::Alloc(): %d vertices of components 0x%x cannot be pooled\n", capacity, components);
        return false;
    }
    render::Device* device = deviceOf(refGfx.GetUnsafe());
    if (!device) {
        n_error("nD3D8VertexPool::Alloc(): no display is open\n");
        return false;
    }
    format = VertexFormat(components);
    const int bytes = render::VertexSize(format);
    stride = bytes / 4;
    deviceBuffer = device->CreateVertexBuffer(size_t(capacity) * size_t(bytes),
                                              kind == DYNAMIC ? render::BufferUsage::Dynamic
                                                              : render::BufferUsage::Static);
    if (!deviceBuffer) return false;
    auto* all = new nVertexRange;
    all->pool = this;
    all->first = 0;
    all->count = uint16_t(capacity);
    all->inUse = uint16_t(capacity);
    // Every caller of a dynamic pool shares its one range, which is never free.
    (kind == DYNAMIC ? usedList : freeList).AddTail(&all->node);
    return true;
}

nVertexRange* nD3D8VertexPool::AllocRange(int count) {
    if (kind != DYNAMIC) return bestFit(count);
    if (count < 0 || count > capacity) return nullptr;
    return static_cast<nVertexRange*>(usedList.GetHead() ? usedList.GetHead()->GetPtr() : nullptr);
}

void nD3D8VertexPool::FreeRange(nVertexRange* range) {
    if (!range || range->pool != this) return;
    clearCurrentRange(range);
    if (kind != DYNAMIC) freeSorted(range);
}

bool nD3D8VertexPool::Lock(nVertexRange* range) {
    if (!range || !deviceBuffer) return false;
    const size_t bytes = size_t(stride) * 4;
    void* bits = kind == DYNAMIC
                     ? deviceBuffer->Lock(0, deviceBuffer->GetSize(), render::kLockDiscard)
                     : deviceBuffer->Lock(size_t(range->first) * bytes, size_t(range->count) * bytes, 0);
    if (!bits) return false;
    setPointers(static_cast<uint8_t*>(bits), false);
    return true;
}

void nD3D8VertexPool::Unlock(nVertexRange* range) {
    nVertexPool::Unlock(range);
    if (deviceBuffer && deviceBuffer->IsLocked()) deviceBuffer->Unlock();
}

void nD3D8VertexPool::Render(nVertexRange* range, nIndexBuffer* indexBuffer, nPixelShader* pixelShader,
                             nTexArray* textureArray) {
    nGfxServer* gfx = refGfx.GetUnsafe();
    render::Device* device = deviceOf(gfx);
    if (!device || !range || !indexBuffer || !deviceBuffer) return;
    auto* deviceIndices =
        indexBuffer->IsA("nd3d8indexbuffer") ? static_cast<nD3D8IndexBuffer*>(indexBuffer) : nullptr;
    render::DeviceBuffer* indices = deviceIndices ? deviceIndices->GetDeviceBuffer() : nullptr;
    if (!indices) {
        // A mesh of points only has no indices: it is drawn every frame, logged once.
        if (!deviceIndices || deviceIndices->FirstDrawWithoutDevice())
            n_error("nD3D8VertexPool::Render(): index buffer '%s' has no device buffer\n", indexBuffer->GetName());
        return;
    }
    const int n = indexBuffer->GetUsedCount();
    render::PrimitiveType type;
    int primitives = 0;
    switch (indexBuffer->GetType()) {
    case nIndexBuffer::TRIANGLELIST: type = render::PrimitiveType::TriangleList; primitives = n / 3; break;
    case nIndexBuffer::TRIANGLEFAN: type = render::PrimitiveType::TriangleFan; primitives = n - 2; break;
    case nIndexBuffer::TRIANGLESTRIP: type = render::PrimitiveType::TriangleStrip; primitives = n - 2; break;
    case nIndexBuffer::LINELIST: type = render::PrimitiveType::LineList; primitives = n / 2; break;
    // A strip of n indices has n - 1 segments.
    case nIndexBuffer::LINESTRIP: type = render::PrimitiveType::LineStrip; primitives = n - 1; break;
    case nIndexBuffer::POINTLIST: type = render::PrimitiveType::PointList; primitives = n; break;
    default:
        n_error("nD3D8VertexPool::Render(): unknown primitive type %d\n", indexBuffer->GetType());
        return;
    }
    if (primitives < 1 || range->inUse < 1) return;
    if (!device->SetIndices(indices, range->first) || !device->SetStreamSource(deviceBuffer.get(), stride * 4) ||
        !device->SetVertexFormat(format))
        return;
    gfx->SetCurrentRange(range);
    const int passes = pixelShader ? pixelShader->BeginPasses(textureArray) : 1;
    for (int pass = 0; pass < passes; ++pass) {
        if (pixelShader) pixelShader->SetPass(pass);
        device->DrawIndexedPrimitive(type, 0, range->inUse, 0, primitives);
    }
    if (pixelShader) pixelShader->EndPasses();
}
