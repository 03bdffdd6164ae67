#include "platform/render/VertexArrays.h"

#include "platform/render/GlCalls.h"
#include "platform/render/RenderTypes.h"

#include <SDL2/SDL_log.h>

#include <cstdint>

namespace render {

namespace {

constexpr unsigned kArrayPosition = 1u << 0;
constexpr unsigned kArrayNormal = 1u << 1;
constexpr unsigned kArrayColor = 1u << 2;
constexpr unsigned kArrayTexSet0 = 1u << 3;

}  // namespace

VertexArrays::~VertexArrays()
{
    this->DetachAll();
}

std::unique_ptr<DeviceBuffer> VertexArrays::NewBuffer(bool index, size_t size, BufferUsage usage)
{
    std::unique_ptr<DeviceBuffer> buffer(new DeviceBuffer(*this, index, size, usage));
    buffer->slot = this->live.size();
    this->live.push_back(buffer.get());
    return buffer;
}

void VertexArrays::Forget(DeviceBuffer& buffer)
{
    // Swap-remove keeps forgetting constant-time.
    const size_t slot = buffer.slot;
    DeviceBuffer* last = this->live.back();
    this->live[slot] = last;
    last->slot = slot;
    this->live.pop_back();
    if (this->stream == &buffer) {
        this->stream = nullptr;
    }
    if (this->indices == &buffer) {
        this->indices = nullptr;
    }
    if (this->arrayBuffer == buffer.glName) {
        // GL unbinds a deleted buffer.
        this->arrayBuffer = 0;
    }
    if (this->pointedBuffer == buffer.glName) {
        // A later buffer may get the same name: point again.
        this->pointedBuffer = 0;
        this->lastBase = nullptr;
        this->lastFormat = 0;
    }
    if (this->elementBuffer == buffer.glName) {
        this->elementBuffer = 0;
    }
}

bool VertexArrays::KeepSpare(DeviceBuffer& buffer)
{
    // A static vertex buffer keeps no copy: its lock maps GL's storage.
    const bool mapsStorage = buffer.usage == BufferUsage::Static && !buffer.index;
    if (!buffer.hasStorage || (!buffer.copy && !mapsStorage && !buffer.copyInGl) || buffer.size > kMaxSpareBytes) {
        return false;
    }
    // A kept name must not stay bound: the caches will say nothing is.
    if (this->arrayBuffer == buffer.glName) {
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        this->arrayBuffer = 0;
    }
    if (this->elementBuffer == buffer.glName) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        this->elementBuffer = 0;
    }
    this->spares.push_back({buffer.glName, buffer.index, buffer.size, buffer.usage, std::move(buffer.copy)});
    size_t bytes = 0;
    for (const Spare& s : this->spares) {
        bytes += s.size;
    }
    while (this->spares.size() > kMaxSpares || bytes > kMaxSpareBytes) {
        bytes -= this->spares.front().size;
        glDeleteBuffers(1, &this->spares.front().glName);
        this->spares.erase(this->spares.begin());
    }
    return true;
}

bool VertexArrays::TakeSpare(DeviceBuffer& buffer)
{
    for (size_t i = this->spares.size(); i-- > 0;) {
        Spare& s = this->spares[i];
        if (s.index == buffer.index && s.size == buffer.size && s.usage == buffer.usage) {
            // The buffer's own name was never bound, so it goes without touching the caches.
            glDeleteBuffers(1, &buffer.glName);
            buffer.glName = s.glName;
            buffer.copy = std::move(s.copy);
            buffer.hasStorage = true;
            this->spares.erase(this->spares.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

size_t VertexArrays::DetachAll()
{
    for (Spare& s : this->spares) {
        glDeleteBuffers(1, &s.glName);
    }
    this->spares.clear();
    const size_t left = this->live.size();
    for (DeviceBuffer* buffer : this->live) {
        buffer->Detach();
    }
    this->live.clear();
    this->stream = nullptr;
    this->indices = nullptr;
    this->known = false;
    return left;
}

void VertexArrays::Invalidate()
{
    this->known = false;
}

void VertexArrays::BindForUpdate(const DeviceBuffer& buffer)
{
    if (buffer.index) {
        this->BindIndices(buffer.glName);
    } else if (!this->known || this->arrayBuffer != buffer.glName) {
        glBindBuffer(GL_ARRAY_BUFFER, buffer.glName);
        this->arrayBuffer = buffer.glName;
        // The array pointers keep the buffer they were set with.
    }
}

void VertexArrays::BindIndices(unsigned glBuffer)
{
    if (!this->known || this->elementBuffer != glBuffer) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, glBuffer);
        this->elementBuffer = glBuffer;
    }
}

void VertexArrays::Apply(unsigned glBuffer, const uint8_t* base, unsigned layout, int stride,
                         const float* screenPositions)
{
    if (!this->known) {
        // Nothing is assumed about GL: switch every array off once.
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        this->arrayBuffer = 0;
        this->elementBuffer = 0;
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_NORMAL_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        for (int set = 0; set < 4; ++set) {
            glClientActiveTexture(GL_TEXTURE0 + set);
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        }
        glClientActiveTexture(GL_TEXTURE0);
        glNormal3f(0.0f, 0.0f, 0.0f);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        this->enabled = 0;
        this->pointedBuffer = 0;
        this->lastBase = nullptr;
        this->lastScreen = nullptr;
        this->lastFormat = 0;
        this->lastStride = 0;
        this->known = true;
    }
    if (glBuffer == this->pointedBuffer && base == this->lastBase && layout == this->lastFormat &&
        stride == this->lastStride && screenPositions == this->lastScreen &&
        this->coordSets == this->lastCoordSets) {
        return;
    }
    if (this->arrayBuffer != glBuffer) {
        glBindBuffer(GL_ARRAY_BUFFER, glBuffer);
        this->arrayBuffer = glBuffer;
    }
    const int texSets = static_cast<int>(VertexTexSetCount(layout));
    unsigned want = kArrayPosition;
    if ((layout & kVertexNormal) != 0) want |= kArrayNormal;
    if ((layout & (kVertexDiffuse | kVertexDiffuseRgba)) != 0) want |= kArrayColor;
    constexpr int kUnits = 4;
    for (int unit = 0; unit < kUnits; ++unit) {
        if (static_cast<int>((this->coordSets >> (unit * 4)) & 0xF) < texSets) want |= kArrayTexSet0 << unit;
    }

    // With a buffer object bound, base is null and the pointers are offsets into it:
    // formed as integers, since adding to a null pointer is undefined.
    auto at = [base](int bytes) {
        return reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(base) + static_cast<uintptr_t>(bytes));
    };
    int offset = 0;
    if ((layout & kVertexPositionRhw) != 0 && screenPositions != nullptr) {
        // Screen positions live in client memory of their own.
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glVertexPointer(4, GL_FLOAT, 0, screenPositions);
        glBindBuffer(GL_ARRAY_BUFFER, glBuffer);
        offset = 16;
    } else {
        glVertexPointer(3, GL_FLOAT, stride, base);
        offset = (layout & kVertexPositionRhw) != 0 ? 16 : 12;
    }
    if ((want & kArrayNormal) != 0) {
        glNormalPointer(GL_FLOAT, stride, at(offset));
        offset += 12;
    }
    if ((want & kArrayColor) != 0) {
        // 0xAARRGGBB words are the bytes B, G, R, A.
        glColorPointer((layout & kVertexDiffuseRgba) != 0 ? 4 : GL_BGRA, GL_UNSIGNED_BYTE, stride, at(offset));
        offset += 4;
    }
    for (int unit = 0; unit < kUnits; ++unit) {
        if ((want & (kArrayTexSet0 << unit)) != 0) {
            const int set = static_cast<int>((this->coordSets >> (unit * 4)) & 0xF);
            glClientActiveTexture(GL_TEXTURE0 + unit);
            glTexCoordPointer(2, GL_FLOAT, stride, at(offset + set * 8));
        }
    }

    const unsigned change = want ^ this->enabled;
    if (change != 0) {
        auto toggle = [want](GLenum array, unsigned bit) {
            (want & bit) != 0 ? glEnableClientState(array) : glDisableClientState(array);
        };
        if ((change & kArrayPosition) != 0) toggle(GL_VERTEX_ARRAY, kArrayPosition);
        if ((change & kArrayNormal) != 0) {
            toggle(GL_NORMAL_ARRAY, kArrayNormal);
            // After an array draw the current normal is undefined.
            if ((want & kArrayNormal) == 0) glNormal3f(0.0f, 0.0f, 0.0f);
        }
        if ((change & kArrayColor) != 0) {
            toggle(GL_COLOR_ARRAY, kArrayColor);
            if ((want & kArrayColor) == 0) glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        }
        for (int unit = 0; unit < kUnits; ++unit) {
            const unsigned bit = kArrayTexSet0 << unit;
            if ((change & bit) != 0) {
                glClientActiveTexture(GL_TEXTURE0 + unit);
                toggle(GL_TEXTURE_COORD_ARRAY, bit);
            }
        }
        this->enabled = want;
    }
    if ((want >> 3) != 0 || (change >> 3) != 0) {
        glClientActiveTexture(GL_TEXTURE0);
    }
    this->pointedBuffer = glBuffer;
    this->lastBase = base;
    this->lastScreen = screenPositions;
    this->lastFormat = layout;
    this->lastStride = stride;
    this->lastCoordSets = this->coordSets;
}

int PrimitiveVertexCount(PrimitiveType type, int primitives)
{
    switch (type) {
    case PrimitiveType::PointList: return primitives;
    case PrimitiveType::LineList: return primitives * 2;
    case PrimitiveType::LineStrip: return primitives + 1;
    case PrimitiveType::TriangleList: return primitives * 3;
    case PrimitiveType::TriangleStrip:
    case PrimitiveType::TriangleFan: return primitives + 2;
    }
    return 0;
}

unsigned GlPrimitive(PrimitiveType type)
{
    switch (type) {
    case PrimitiveType::PointList: return GL_POINTS;
    case PrimitiveType::LineList: return GL_LINES;
    case PrimitiveType::LineStrip: return GL_LINE_STRIP;
    case PrimitiveType::TriangleList: return GL_TRIANGLES;
    case PrimitiveType::TriangleStrip: return GL_TRIANGLE_STRIP;
    case PrimitiveType::TriangleFan: return GL_TRIANGLE_FAN;
    }
    return GL_POINTS;
}

}  // namespace render
