#pragma once

#include <cstdint>

#include "kernel/nRoot.h"

// 16-bit vertex indices and the primitive type a vertex range is drawn with (script
// class "nindexbuffer"); this base keeps the indices in ordinary memory.
class nIndexBuffer : public nRoot {
public:
    static const nClassInfo classInfo;

    enum Primitive { TRIANGLELIST = 0, TRIANGLEFAN = 1, TRIANGLESTRIP = 2, LINELIST = 3, LINESTRIP = 4, POINTLIST = 5 };

    nIndexBuffer();
    ~nIndexBuffer() override;

    // Prepares `count` indices and leaves the buffer locked for writing.
    virtual void Begin(int dynamic, int type, int count);
    virtual void End();
    // Begin, `count` indices copied in (from bytes of any alignment) and End, for
    // indices the caller has checked: `maxIndex` is their largest. False when no
    // buffer for them could be made.
    virtual bool Fill(int type, const void* indices, int count, uint16_t maxIndex);
    virtual bool Lock();
    virtual void Unlock();

    int GetType() const { return primType; }
    bool IsDynamic() const { return dynamic != 0; }
    int GetCapacity() const { return capacity; }
    int GetUsedCount() const { return usedCount; }
    // A drawer lowers the count for one draw and restores it afterwards.
    void SetUsedCount(int n) { usedCount = n; }
    uint16_t* GetLockPtr() const { return lockPtr; }
    const uint16_t* GetIndices() const { return block; }
    bool IsInBegin() const { return inBegin; }
    bool IsLocked() const { return locked; }

protected:
    int primType;
    int dynamic;
    int capacity;
    int usedCount;
    uint16_t* block;
    uint16_t* lockPtr;
    bool inBegin;
    bool locked;
};

