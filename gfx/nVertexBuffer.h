#pragma once

#include <cstdint>

#include "gfx/nVertexPool.h"
#include "kernel/bbox3.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"

// A named vertex buffer under /sys/share/vxbuf (script class "nvertexbuffer", no
// commands): owns one range of a vertex pool and, while locked, hands out where each
// vertex component is written. The range goes back to its pool when the buffer dies.
class nVertexBuffer : public nRoot {
public:
    static const nClassInfo classInfo;

    nVertexBuffer();
    ~nVertexBuffer() override;

    // Takes ownership of the range; count 0 means the range's whole count.
    void SetRange(nVertexRange* range, nGfxServer* gfx, int count);
    // False (nothing changes) without a range or when the pool cannot lock.
    bool Lock();
    void Unlock();
    bool IsLocked() const { return lockCount > 0; }

    nVertexRange* GetRange() const { return range; }
    nVertexPool* GetPool() const { return range ? range->pool : nullptr; }
    int GetNumVertices() const { return numVertices; }
    int GetComponents() const { return range ? range->pool->GetComponents() : 0; }

    // Valid while locked: component pointers (null for absent components), the vertex
    // count and the stride in 32-bit words.
    float* GetCoordPtr() const { return static_cast<float*>(ptrs[nVertexPool::COORD]); }
    float* GetNormPtr() const { return static_cast<float*>(ptrs[nVertexPool::NORM]); }
    uint32_t* GetColorPtr() const { return static_cast<uint32_t*>(ptrs[nVertexPool::RGBA]); }
    float* GetUvPtr(int set) const {
        return set >= 0 && set < 4 ? static_cast<float*>(ptrs[nVertexPool::UV0 + set]) : nullptr;
    }
    float* GetJointPtr(int field) const {
        return field >= 0 && field < 2 ? static_cast<float*>(ptrs[nVertexPool::JW0 + field]) : nullptr;
    }
    int GetLockedCount() const { return lockedCount; }
    int GetStride() const { return lockedStride; }

    // True when colours are packed a<<24 | r<<16 | g<<8 | b, false for a<<24 | b<<16 | g<<8 | r.
    bool IsColorArgb() const;

    void SetBoundingBox(const bbox3& box) { boundingBox = box; }
    const bbox3& GetBoundingBox() const { return boundingBox; }

private:
    nRef<nGfxServer> refGfx;
    nVertexRange* range;
    int lockCount;
    int numVertices;
    void* ptrs[nVertexPool::NumComponents];
    int lockedCount;
    int lockedStride;
    bbox3 boundingBox;
};
