#include "platform/render/DeviceBuffer.h"

#include "platform/render/GlDebug.h"
#include "platform/render/GlCalls.h"
#include "platform/render/VertexArrays.h"

#include <SDL2/SDL_log.h>

#include <algorithm>
#include <cstring>

namespace render {

namespace {

// Sixteen lanes of fixed count, so the compiler turns the loop into vector code.
uint16_t MaxIndex(const uint8_t* p, size_t n)
{
    uint16_t lanes[16] = {};
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        uint16_t v[16];
        std::memcpy(v, p + 2 * i, 32);
        for (int k = 0; k < 16; ++k) {
            lanes[k] = v[k] > lanes[k] ? v[k] : lanes[k];
        }
    }
    uint16_t best = 0;
    for (int k = 0; k < 16; ++k) {
        best = lanes[k] > best ? lanes[k] : best;
    }
    for (; i < n; ++i) {
        uint16_t v;
        std::memcpy(&v, p + 2 * i, 2);
        best = v > best ? v : best;
    }
    return best;
}

}  // namespace

DeviceBuffer::DeviceBuffer(VertexArrays& vertexArrays, bool isIndex, size_t bytes,
                           BufferUsage bufferUsage)
    : owner(&vertexArrays), index(isIndex), size(bytes), usage(bufferUsage)
{
    glGenBuffers(1, &this->glName);
}

void DeviceBuffer::EnsureStorage()
{
    if (this->hasStorage || this->owner == nullptr) {
        return;
    }
    this->owner->BindForUpdate(*this);
    glBufferData(this->index ? GL_ELEMENT_ARRAY_BUFFER : GL_ARRAY_BUFFER,
                 static_cast<GLsizeiptr>(this->size), nullptr,
                 this->usage == BufferUsage::Dynamic ? GL_STREAM_DRAW : GL_STATIC_DRAW);
    this->hasStorage = true;
}

DeviceBuffer::~DeviceBuffer()
{
    if (this->owner == nullptr) {
        return;
    }
    if (this->mapped) {
        this->owner->BindForUpdate(*this);
        glUnmapBuffer(this->index ? GL_ELEMENT_ARRAY_BUFFER : GL_ARRAY_BUFFER);
    }
    const bool kept = !this->mapped && this->owner->KeepSpare(*this);
    this->owner->Forget(*this);
    if (!kept) {
        glDeleteBuffers(1, &this->glName);
    }
}

void DeviceBuffer::Detach()
{
    if (this->mapped) {
        this->owner->BindForUpdate(*this);
        glUnmapBuffer(this->index ? GL_ELEMENT_ARRAY_BUFFER : GL_ARRAY_BUFFER);
        this->mapped = false;
    }
    glDeleteBuffers(1, &this->glName);
    this->glName = 0;
    this->owner = nullptr;
    this->lockCount = 0;
}

void* DeviceBuffer::Lock(size_t offset, size_t bytes, unsigned flags)
{
    if (this->owner == nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "DeviceBuffer::Lock: the device is gone");
        return nullptr;
    }
    if (bytes == 0 || offset > this->size || bytes > this->size - offset) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "DeviceBuffer::Lock: %zu bytes at %zu leave the %zu-byte buffer", bytes,
                     offset, this->size);
        return nullptr;
    }
    if (this->mapped) {
        if (offset < this->mapOffset || offset + bytes > this->mapOffset + this->mapBytes) {
            SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                         "DeviceBuffer::Lock: %zu bytes at %zu lie outside the part mapped", bytes,
                         offset);
            return nullptr;
        }
        ++this->lockCount;
        return this->mapBase + (offset - this->mapOffset);
    }
    if (this->usage == BufferUsage::Static && !this->index && !this->copy && this->lockCount == 0) {
        return this->MapStatic(offset, bytes);
    }
    if (this->usage == BufferUsage::Static && this->index && (flags & kLockWriteAll) != 0 && offset == 0 &&
        bytes == this->size && this->lockCount == 0) {
        // Every index is about to be written, its largest told at the unlock: straight into
        // GL's storage, no copy to upload again.
        if (!this->hasStorage && !this->owner->TakeSpare(*this)) {
            this->EnsureStorage();
        }
        this->owner->BindForUpdate(*this);
        void* bits = glMapBufferRange(GL_ELEMENT_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(this->size),
                                      GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT);
        if (bits == nullptr) {
            SDL_LogError(SDL_LOG_CATEGORY_RENDER, "DeviceBuffer::Lock: OpenGL refused to map");
            return nullptr;
        }
        this->copy.reset();
        this->copyInGl = true;
        this->mapped = true;
        this->mapBase = static_cast<uint8_t*>(bits);
        this->mapOffset = 0;
        this->mapBytes = this->size;
        this->lockCount = 1;
        return bits;
    }
    const bool direct = this->usage == BufferUsage::Dynamic &&
                        (flags & (kLockDiscard | kLockNoOverwrite)) != 0;
    if (direct && this->lockCount == 0) {
        this->EnsureStorage();
        this->owner->BindForUpdate(*this);
        const GLenum target = this->index ? GL_ELEMENT_ARRAY_BUFFER : GL_ARRAY_BUFFER;
        GLbitfield access = GL_MAP_WRITE_BIT;
        size_t mapAt = offset;
        size_t mapLength = bytes;
        if ((flags & kLockDiscard) != 0) {
            // Fresh storage: draws still reading the old contents keep them.
            access |= GL_MAP_INVALIDATE_BUFFER_BIT;
            mapAt = 0;
            mapLength = this->size;
        } else {
            access |= GL_MAP_UNSYNCHRONIZED_BIT;
        }
        void* bits = glMapBufferRange(target, static_cast<GLintptr>(mapAt),
                                      static_cast<GLsizeiptr>(mapLength), access);
        if (bits == nullptr) {
            SDL_LogError(SDL_LOG_CATEGORY_RENDER, "DeviceBuffer::Lock: OpenGL refused to map");
            return nullptr;
        }
        this->mapped = true;
        this->mapBase = static_cast<uint8_t*>(bits);
        this->mapOffset = mapAt;
        this->mapBytes = mapLength;
        this->lockCount = 1;
        return this->mapBase + (offset - mapAt);
    }
    if (!this->copy && this->copyInGl) {
        // The bytes were written straight into GL's storage: read them back once.
        this->copy.reset(new uint8_t[this->size]);
        this->owner->BindForUpdate(*this);
        glGetBufferSubData(this->index ? GL_ELEMENT_ARRAY_BUFFER : GL_ARRAY_BUFFER, 0,
                           static_cast<GLsizeiptr>(this->size), this->copy.get());
        this->copyInGl = false;
    }
    if (!this->copy) {
        if ((!this->index || (flags & kLockWriteAll) != 0) && offset == 0 && bytes == this->size) {
            // Every byte is about to be written.
            if (this->hasStorage || !this->owner->TakeSpare(*this)) {
                this->copy.reset(new uint8_t[this->size]);
            }
        } else {
            this->copy = std::make_unique<uint8_t[]>(this->size);
        }
    }
    if (this->lockCount == 0) {
        this->dirtyBegin = offset;
        this->dirtyEnd = offset + bytes;
    } else {
        this->dirtyBegin = std::min(this->dirtyBegin, offset);
        this->dirtyEnd = std::max(this->dirtyEnd, offset + bytes);
    }
    ++this->lockCount;
    return this->copy.get() + offset;
}

void* DeviceBuffer::MapStatic(size_t offset, size_t bytes)
{
    const GLenum target = GL_ARRAY_BUFFER;
    if (!this->hasStorage && (offset != 0 || bytes != this->size || !this->owner->TakeSpare(*this))) {
        this->owner->BindForUpdate(*this);
        if (offset == 0 && bytes == this->size) {
            // Every byte is about to be written.
            glBufferData(target, static_cast<GLsizeiptr>(this->size), nullptr, GL_STATIC_DRAW);
        } else {
            // Bytes no lock has covered read as zero; GL leaves new storage undefined.
            const std::unique_ptr<uint8_t[]> zeros = std::make_unique<uint8_t[]>(this->size);
            glBufferData(target, static_cast<GLsizeiptr>(this->size), zeros.get(), GL_STATIC_DRAW);
        }
        this->hasStorage = true;
    }
    this->owner->BindForUpdate(*this);
    // All of it, so that locks of other ranges can nest in this one.
    void* bits = glMapBufferRange(target, 0, static_cast<GLsizeiptr>(this->size), GL_MAP_READ_BIT | GL_MAP_WRITE_BIT);
    if (bits == nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "DeviceBuffer::Lock: OpenGL refused to map");
        return nullptr;
    }
    this->mapped = true;
    this->mapBase = static_cast<uint8_t*>(bits);
    this->mapOffset = 0;
    this->mapBytes = this->size;
    this->lockCount = 1;
    return this->mapBase + offset;
}

bool DeviceBuffer::UnlockIndices(uint16_t largest)
{
    // Only an upload of the whole buffer gets its largest index from the caller.
    this->maxKnown = this->index && this->lockCount == 1 &&
                     (this->mapped ? this->mapOffset == 0 && this->mapBytes == this->size
                                   : this->dirtyBegin == 0 && this->dirtyEnd == this->size);
    this->knownMax = largest;
    const bool done = this->Unlock();
    this->maxKnown = false;
    return done;
}

bool DeviceBuffer::Unlock()
{
    if (this->lockCount == 0) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "DeviceBuffer::Unlock: not locked");
        return false;
    }
    if (--this->lockCount > 0) {
        return true;
    }
    if (this->owner == nullptr) {
        return false;
    }
    const GLenum target = this->index ? GL_ELEMENT_ARRAY_BUFFER : GL_ARRAY_BUFFER;
    if (!this->mapped && !this->hasStorage && this->dirtyBegin == 0 && this->dirtyEnd == this->size) {
        // The first upload covers everything: the storage is made from these bytes.
        this->owner->BindForUpdate(*this);
        glBufferData(target, static_cast<GLsizeiptr>(this->size), this->copy.get(),
                     this->usage == BufferUsage::Dynamic ? GL_STREAM_DRAW : GL_STATIC_DRAW);
        this->hasStorage = true;
        if (this->index) {
            this->maxIndex = this->maxKnown ? this->knownMax : MaxIndex(this->copy.get(), this->size / 2);
        }
        CheckGlErrors("DeviceBuffer::Unlock");
        return true;
    }
    this->owner->BindForUpdate(*this);
    if (this->mapped) {
        this->mapped = false;
        this->mapBase = nullptr;
        // What was written cannot be read back: any index may be there, unless the
        // caller told the largest.
        if (this->index) {
            this->maxIndex = this->maxKnown ? this->knownMax : 0xFFFF;
        }
        const bool kept = glUnmapBuffer(target) == GL_TRUE;
        CheckGlErrors("DeviceBuffer::Unlock");
        return kept;
    }
    this->EnsureStorage();
    this->owner->BindForUpdate(*this);
    glBufferSubData(target, static_cast<GLintptr>(this->dirtyBegin),
                    static_cast<GLsizeiptr>(this->dirtyEnd - this->dirtyBegin),
                    this->copy.get() + this->dirtyBegin);
    if (this->index) {
        this->maxIndex = this->maxKnown ? this->knownMax : MaxIndex(this->copy.get(), this->size / 2);
    }
    CheckGlErrors("DeviceBuffer::Unlock");
    return true;
}

}  // namespace render
