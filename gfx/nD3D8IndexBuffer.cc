#include "gfx/nD3D8IndexBuffer.h"

#include <cstdlib>
#include <cstring>

#include "gfx/nD3D8Server.h"
#include "kernel/nKernelServer.h"
#include "platform/render/Device.h"

const nClassInfo nD3D8IndexBuffer::classInfo = nClassInfo::Make<nD3D8IndexBuffer>("nd3d8indexbuffer", "nindexbuffer");

nD3D8IndexBuffer::nD3D8IndexBuffer() : refGfx("/sys/servers/gfx") {}

nD3D8IndexBuffer::~nD3D8IndexBuffer() = default;

void nD3D8IndexBuffer::Begin(int dyn, int t, int count) { begin(dyn, t, count, 0); }

void nD3D8IndexBuffer::begin(int dyn, int t, int count, unsigned lockFlags) {
    // A second Begin frees the old device buffer (or block) first.
    deviceBuffer.reset();
    drawRefused = false;
    std::free(block);
    block = nullptr;
    lockPtr = nullptr;
    locked = false;
    inBegin = false;
    nRoot* gfx = refGfx.Get();  // "Aborting." without a graphics server
    render::Device* device = gfx->IsA("nd3d8server") ? static_cast<nD3D8Server*>(gfx)->GetDevice() : nullptr;
    if (count < 1 || !device) {
        if (count < 1) n_error("nD3D8IndexBuffer::Begin(): '%s' asked for %d indices\n", GetName(), count);
        else n_error("nD3D8IndexBuffer::Begin(): no display is open for '%s'; it cannot be drawn\n", GetName());
        nIndexBuffer::Begin(dyn, t, count < 0 ? 0 : count);
        return;
    }
    primType = t;
    dynamic = dyn;
    capacity = count;
    usedCount = count;
    inBegin = true;
    deviceBuffer = device->CreateIndexBuffer(size_t(count),
                                             dyn ? render::BufferUsage::Dynamic : render::BufferUsage::Static);
    if (!deviceBuffer) nKernelServer::FatalError("Aborting!");
    if (void* bits = deviceBuffer->Lock(0, deviceBuffer->GetSize(), lockFlags)) {
        lockPtr = static_cast<uint16_t*>(bits);
        locked = true;
    }
}

bool nD3D8IndexBuffer::Fill(int type, const void* indices, int count, uint16_t maxIndex) {
    begin(0, type, count, render::kLockWriteAll);
    if (!lockPtr) {
        End();
        return false;
    }
    std::memcpy(lockPtr, indices, size_t(count) * sizeof(uint16_t));
    if (!deviceBuffer) {
        End();
        return true;
    }
    inBegin = false;
    deviceBuffer->UnlockIndices(maxIndex);
    lockPtr = nullptr;
    locked = false;
    return true;
}

bool nD3D8IndexBuffer::Lock() {
    if (!deviceBuffer) return nIndexBuffer::Lock();
    void* bits = deviceBuffer->Lock(0, deviceBuffer->GetSize(), 0);
    if (!bits) return false;
    lockPtr = static_cast<uint16_t*>(bits);
    locked = true;
    return true;
}

void nD3D8IndexBuffer::Unlock() {
    if (!deviceBuffer) {
        nIndexBuffer::Unlock();
        return;
    }
    if (deviceBuffer->IsLocked() && !deviceBuffer->Unlock()) return;
    locked = false;
    lockPtr = nullptr;
}

void nD3D8IndexBuffer::End() {
    inBegin = false;
    Unlock();
    lockPtr = nullptr;
    locked = false;
}
