#pragma once
// A vertex or index buffer of the device: an OpenGL buffer object. A static
// vertex buffer's lock maps GL's storage for reading and writing, so what is
// written goes in once (a mesh load reads its file straight into it). Static
// index buffers keep a CPU copy behind their lock (their largest index is taken
// from it, or from the caller when it writes them all) and upload the bytes
// that a lock covered when it is unlocked. Dynamic buffers locked with kLockDiscard or
// kLockNoOverwrite are written straight into GL's memory (a discard lock hands
// out fresh storage, a no-overwrite lock does not wait for draws in flight);
// other locks of a dynamic buffer go through the CPU copy as a static one's do.
// Locks nest: the buffer is unlocked (and uploaded) when the last one ends; a
// lock while the buffer is mapped hands out the same mapping.
//
// Buffers come from Device::CreateVertexBuffer / CreateIndexBuffer and belong
// to that device: they must be destroyed before it is; the device reports and
// frees any that are left when it goes. A buffer cannot be drawn while locked.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace render {

class VertexArrays;

enum class BufferUsage { Static, Dynamic };

enum BufferLockFlags : unsigned {
    kLockDiscard = 1,
    kLockNoOverwrite = 2,
    // The caller writes every byte it locked: a first lock need not clear the copy.
    kLockWriteAll = 4,
};

class DeviceBuffer {
public:
    ~DeviceBuffer();
    DeviceBuffer(const DeviceBuffer&) = delete;
    DeviceBuffer& operator=(const DeviceBuffer&) = delete;

    bool IsIndexBuffer() const { return this->index; }
    BufferUsage GetUsage() const { return this->usage; }
    size_t GetSize() const { return this->size; }
    // Write (and, through the CPU copy, read) access to size bytes from
    // offset. Null, with a log line, when the range leaves the buffer, the
    // buffer is locked already or its device is gone.
    void* Lock(size_t offset, size_t bytes, unsigned flags);
    bool Unlock();
    // Unlock for a caller that wrote every index since the buffer was locked whole and
    // knows their largest: the indices are not looked through again.
    bool UnlockIndices(uint16_t largest);
    bool IsLocked() const { return this->lockCount > 0; }
    // Index buffers: the largest index written so far (bounds the vertices a
    // draw can reach).
    uint16_t GetMaxIndex() const { return this->maxIndex; }
    unsigned GetGlName() const { return this->glName; }
    // Gives the GL buffer its storage (zeroed) unless an upload or mapping did already;
    // before a draw reads the buffer.
    void EnsureStorage();

private:
    friend class VertexArrays;
    DeviceBuffer(VertexArrays& owner, bool index, size_t size, BufferUsage usage);
    // A static vertex buffer's outermost lock: maps all of it for reading and writing.
    void* MapStatic(size_t offset, size_t bytes);
    // The device goes first: forget GL (its context is going).
    void Detach();

    VertexArrays* owner;
    bool index;
    size_t size;
    BufferUsage usage;
    unsigned glName = 0;
    // GL's storage is made at the first upload, from the bytes uploaded when that covers
    // the whole buffer: made empty first, the driver would clear it only to be overwritten.
    bool hasStorage = false;
    // The CPU copy, made at the first lock that needs it. Bytes no lock has
    // covered read as zero. A vertex buffer's first lock over the whole buffer
    // skips the clearing: its caller fills the vertices it locked; such a lock
    // takes the copy and GL storage of a buffer of the same kind and size that
    // went, when the device kept one. Index buffers stay cleared, as their
    // largest index bounds every draw, unless locked whole with kLockWriteAll.
    std::unique_ptr<uint8_t[]> copy;
    // A static index buffer locked whole for writing every index is written straight into
    // GL's storage; the copy is read back from there when a later lock needs it.
    bool copyInGl = false;
    int lockCount = 0;
    // What the locks since the last upload cover.
    size_t dirtyBegin = 0;
    size_t dirtyEnd = 0;
    bool mapped = false;
    uint8_t* mapBase = nullptr;
    size_t mapOffset = 0;
    size_t mapBytes = 0;
    uint16_t maxIndex = 0;
    // Set by UnlockIndices for the Unlock it makes.
    bool maxKnown = false;
    uint16_t knownMax = 0;
    // Where this buffer sits in the owner's list of live buffers.
    size_t slot = 0;
};

}  // namespace render
