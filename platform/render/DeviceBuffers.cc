// The device's vertex and index buffers and indexed drawing (see Device.h).
#include "platform/render/Device.h"

#include "platform/render/GlDebug.h"
#include "platform/render/GlCalls.h"
#include "platform/render/VertexArrays.h"

#include <SDL2/SDL_log.h>

namespace render {

namespace {

// Larger buffers are a caller's mistake, not geometry.
constexpr size_t kMaxBufferBytes = size_t{256} << 20;

}  // namespace

std::unique_ptr<DeviceBuffer> Device::CreateVertexBuffer(size_t bytes, BufferUsage usage)
{
    if (bytes == 0 || bytes > kMaxBufferBytes) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::CreateVertexBuffer: %zu bytes asked for",
                     bytes);
        return nullptr;
    }
    this->MakeCurrent();
    auto buffer = this->arrays->NewBuffer(false, bytes, usage);
    CheckGlErrors("Device::CreateVertexBuffer");
    return buffer;
}

std::unique_ptr<DeviceBuffer> Device::CreateIndexBuffer(size_t count, BufferUsage usage)
{
    if (count == 0 || count > kMaxBufferBytes / 2) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::CreateIndexBuffer: %zu indices asked for",
                     count);
        return nullptr;
    }
    this->MakeCurrent();
    auto buffer = this->arrays->NewBuffer(true, count * 2, usage);
    CheckGlErrors("Device::CreateIndexBuffer");
    return buffer;
}

size_t Device::GetLiveBufferCount() const
{
    return this->arrays->GetLiveBufferCount();
}

bool Device::SetStreamSource(DeviceBuffer* buffer, int stride)
{
    if (buffer != nullptr && (buffer->IsIndexBuffer() || stride < 12)) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "Device::SetStreamSource: no vertex buffer, or stride %d too small", stride);
        return false;
    }
    this->arrays->stream = buffer;
    this->arrays->streamStride = stride;
    return true;
}

bool Device::SetIndices(DeviceBuffer* buffer, int baseVertex)
{
    if ((buffer != nullptr && !buffer->IsIndexBuffer()) || baseVertex < 0) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "Device::SetIndices: no index buffer, or base vertex %d", baseVertex);
        return false;
    }
    this->arrays->indices = buffer;
    this->arrays->baseVertex = baseVertex;
    return true;
}

bool Device::SetVertexFormat(unsigned format)
{
    if ((format & kVertexPosition) == 0 || (format & kVertexPositionRhw) != 0 ||
        (format & (kVertexDiffuse | kVertexDiffuseRgba)) == (kVertexDiffuse | kVertexDiffuseRgba) ||
        static_cast<int>(VertexTexSetCount(format)) > 4) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::SetVertexFormat: layout 0x%x unusable",
                     format);
        return false;
    }
    this->arrays->format = format;
    return true;
}

bool Device::DrawIndexedPrimitive(PrimitiveType type, int minIndex, int numVertices,
                                  int startIndex, int primitiveCount)
{
    VertexArrays& a = *this->arrays;
    DeviceBuffer* vb = a.stream;
    DeviceBuffer* ib = a.indices;
    const int count = PrimitiveVertexCount(type, primitiveCount);
    if (vb == nullptr || ib == nullptr || a.format == 0 || vb->IsLocked() || ib->IsLocked()) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "Device::DrawIndexedPrimitive: stream, indices or layout missing or locked");
        return false;
    }
    const size_t stride = static_cast<size_t>(a.streamStride);
    const size_t base = static_cast<size_t>(a.baseVertex);
    if (primitiveCount < 1 || count < 1 || minIndex < 0 || numVertices < 1 || startIndex < 0 ||
        stride < static_cast<size_t>(VertexSize(a.format)) ||
        static_cast<size_t>(startIndex) + static_cast<size_t>(count) > ib->GetSize() / 2 ||
        (base + ib->GetMaxIndex() + 1) * stride > vb->GetSize() ||
        (base + static_cast<size_t>(minIndex) + static_cast<size_t>(numVertices)) * stride >
            vb->GetSize()) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "Device::DrawIndexedPrimitive: %d primitives from index %d over vertices "
                     "%d+%d at base %d do not fit the buffers",
                     primitiveCount, startIndex, minIndex, numVertices, a.baseVertex);
        return false;
    }
    if (!this->inScene) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::DrawIndexedPrimitive: outside a scene");
        return false;
    }
    if (this->state != DeviceState::Ready) {
        return false;
    }
    this->MakeCurrent();
    this->FlushForDraw(a.format);
    // The base vertex moves the array pointers, so indices stay 16-bit.
    const auto* offset = reinterpret_cast<const uint8_t*>(base * stride);
    vb->EnsureStorage();
    ib->EnsureStorage();
    a.Apply(vb->GetGlName(), offset, a.format, a.streamStride);
    a.BindIndices(ib->GetGlName());
    glDrawRangeElements(GlPrimitive(type), static_cast<GLuint>(minIndex),
                        static_cast<GLuint>(minIndex + numVertices - 1), count, GL_UNSIGNED_SHORT,
                        reinterpret_cast<const void*>(static_cast<uintptr_t>(startIndex) * 2));
    CheckGlErrors("Device::DrawIndexedPrimitive");
    return true;
}

bool Device::DrawIndexedUserPrimitives(PrimitiveType type, int minIndex, int numVertices, int primitiveCount,
                                       const uint16_t* indices, unsigned vertexFormat, const void* vertices,
                                       int stride)
{
    const int count = PrimitiveVertexCount(type, primitiveCount);
    if (indices == nullptr || vertices == nullptr || primitiveCount < 1 || count < 1 || minIndex < 0 ||
        numVertices < 1 || minIndex + numVertices - 1 > 0xFFFF || (vertexFormat & kVertexPosition) == 0 ||
        (vertexFormat & kVertexPositionRhw) != 0 ||
        (vertexFormat & (kVertexDiffuse | kVertexDiffuseRgba)) == (kVertexDiffuse | kVertexDiffuseRgba) ||
        stride < VertexSize(vertexFormat) ||
        static_cast<int>(VertexTexSetCount(vertexFormat)) > this->caps.maxSimultaneousTextures) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "Device::DrawIndexedUserPrimitives: bad call (%d primitives over vertices %d+%d, layout "
                     "0x%x, stride %d)",
                     primitiveCount, minIndex, numVertices, vertexFormat, stride);
        return false;
    }
    if (!this->inScene) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::DrawIndexedUserPrimitives: outside a scene");
        return false;
    }
    if (this->state != DeviceState::Ready) {
        return false;
    }
    this->MakeCurrent();
    this->FlushForDraw(vertexFormat);
    // Client memory: no buffer object bound for either.
    this->arrays->Apply(0, static_cast<const uint8_t*>(vertices), vertexFormat, stride);
    this->arrays->BindIndices(0);
    glDrawRangeElements(GlPrimitive(type), static_cast<GLuint>(minIndex),
                        static_cast<GLuint>(minIndex + numVertices - 1), count, GL_UNSIGNED_SHORT, indices);
    CheckGlErrors("Device::DrawIndexedUserPrimitives");
    return true;
}

void Device::ForgetBindings()
{
    this->buffers.ForgetBindings();
    this->arrays->Invalidate();
}

}  // namespace render
