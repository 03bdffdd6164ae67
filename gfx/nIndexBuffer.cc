#include "gfx/nIndexBuffer.h"

#include <cstdlib>
#include <cstring>

#include "kernel/nKernelServer.h"

const nClassInfo nIndexBuffer::classInfo = nClassInfo::Make<nIndexBuffer>("nindexbuffer", "nroot");

nIndexBuffer::nIndexBuffer()
    : primType(TRIANGLELIST), dynamic(0), capacity(0), usedCount(0), block(nullptr), lockPtr(nullptr),
      inBegin(false), locked(false) {}

nIndexBuffer::~nIndexBuffer() { std::free(block); }

void nIndexBuffer::Begin(int dyn, int t, int count) {
    // A second Begin replaces the block instead of leaking it.
    std::free(block);
    block = nullptr;
    lockPtr = nullptr;
    primType = t;
    dynamic = dyn;
    capacity = 0;
    usedCount = 0;
    if (count < 0) {
        n_error("nIndexBuffer::Begin(): invalid index count %d\n", count);
        count = 0;
    }
    block = static_cast<uint16_t*>(std::calloc(size_t(count > 0 ? count : 1), sizeof(uint16_t)));
    if (!block) {
        n_error("nIndexBuffer::Begin(): out of memory for %d indices\n", count);
        return;
    }
    capacity = count;
    usedCount = count;
    lockPtr = block;
    inBegin = true;
}

void nIndexBuffer::End() {
    lockPtr = nullptr;
    inBegin = false;
    locked = false;
}

bool nIndexBuffer::Fill(int type, const void* indices, int count, uint16_t) {
    Begin(0, type, count);
    if (!lockPtr) {
        End();
        return false;
    }
    if (count > 0) std::memcpy(lockPtr, indices, size_t(count) * sizeof(uint16_t));
    End();
    return true;
}

bool nIndexBuffer::Lock() {
    if (!block) return false;
    locked = true;
    lockPtr = block;
    return true;
}

void nIndexBuffer::Unlock() {
    locked = false;
    lockPtr = nullptr;
}
