#pragma once
// The device's vertex fetch: which buffer objects are bound, which client
// arrays are on and where they point, the stream, indices and layout set for
// indexed drawing, and the device's live buffers. OpenGL is told only what
// changed since the last draw. Layouts without normal draw with the normal
// (0, 0, 0), layouts without colour in white. Needs the device's GL context to
// be current.

#include "platform/render/DeviceBuffer.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace render {

enum class PrimitiveType : int;

// How many vertices (or indices) `primitives` primitives of a type take.
int PrimitiveVertexCount(PrimitiveType type, int primitives);
// The OpenGL mode drawing a primitive type.
unsigned GlPrimitive(PrimitiveType type);

class VertexArrays {
public:
    VertexArrays() = default;
    ~VertexArrays();
    VertexArrays(const VertexArrays&) = delete;
    VertexArrays& operator=(const VertexArrays&) = delete;

    std::unique_ptr<DeviceBuffer> NewBuffer(bool index, size_t size, BufferUsage usage);
    size_t GetLiveBufferCount() const { return this->live.size(); }
    // Called as the device's context goes: frees what is left, and returns
    // how many buffers were still alive.
    size_t DetachAll();

    // Points the arrays at a layout (VertexFormatFlags) starting at base: an
    // offset into the buffer object glBuffer, or an address when glBuffer is
    // 0. Screen-space layouts take their positions, four floats each, from
    // screenPositions instead.
    void Apply(unsigned glBuffer, const uint8_t* base, unsigned format, int stride,
               const float* screenPositions = nullptr);
    void BindIndices(unsigned glBuffer);
    // Binds for an upload; later draws see the change.
    void BindForUpdate(const DeviceBuffer& buffer);
    // Something outside changed GL's array state: forget what is cached.
    void Invalidate();

    // What SetStreamSource, SetIndices and SetVertexFormat chose.
    DeviceBuffer* stream = nullptr;
    int streamStride = 0;
    DeviceBuffer* indices = nullptr;
    int baseVertex = 0;
    unsigned format = 0;
    // Which coordinate set each texture unit reads, four bits a unit (unit 0
    // lowest); a set the layout lacks leaves the unit without coordinates.
    uint32_t coordSets = 0x76543210u;

private:
    friend class DeviceBuffer;
    void Forget(DeviceBuffer& buffer);
    // The GL storage and CPU copy of buffers that went, kept for a new buffer of the
    // same kind and size whose first lock is about to overwrite all of it (new memory
    // costs the system's clearing, and the driver's). Keep unbinds the name and gives
    // false when the buffer has nothing to keep; Take gives false when none fits.
    bool KeepSpare(DeviceBuffer& buffer);
    bool TakeSpare(DeviceBuffer& buffer);

    struct Spare {
        unsigned glName;
        bool index;
        size_t size;
        BufferUsage usage;
        std::unique_ptr<uint8_t[]> copy;
    };
    static constexpr size_t kMaxSpares = 4;
    static constexpr size_t kMaxSpareBytes = size_t(16) << 20;
    std::vector<Spare> spares;

    std::vector<DeviceBuffer*> live;
    bool known = false;
    unsigned arrayBuffer = 0;
    unsigned elementBuffer = 0;
    // The buffer the array pointers were set with.
    unsigned pointedBuffer = 0;
    const uint8_t* lastBase = nullptr;
    const float* lastScreen = nullptr;
    unsigned lastFormat = 0;
    int lastStride = 0;
    uint32_t lastCoordSets = 0;
    // Enabled client arrays: bit 0 position, 1 normal, 2 colour, 3.. texture units.
    unsigned enabled = 0;
};

}  // namespace render
