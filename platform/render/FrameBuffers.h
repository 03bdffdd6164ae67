#pragma once
// The device's colour, depth and stencil buffers as OpenGL framebuffer
// objects: a back buffer that frames are drawn into (with exactly the depth and
// stencil bits of the chosen depth format), a front buffer that keeps the last
// presented frame for read-back, and the blit that shows the front buffer in
// the window. Pixel transfers are 32-bit 0xAARRGGBB words, rows top-down.
// Every call needs the device's GL context to be current.

#include "platform/render/RenderTypes.h"

#include <cstdint>

namespace render {

class FrameBuffers {
public:
    FrameBuffers() = default;
    ~FrameBuffers();
    FrameBuffers(const FrameBuffers&) = delete;
    FrameBuffers& operator=(const FrameBuffers&) = delete;

    bool Create(int width, int height, bool withAlpha, Format depthFormat);
    void Destroy();
    bool IsCreated() const { return this->backFrame != 0; }
    int GetWidth() const { return this->width; }
    int GetHeight() const { return this->height; }
    bool HasDepth() const { return this->depthBuffer != 0; }
    bool HasStencil() const { return this->hasStencil; }

    // Binds the back buffer for drawing and reading.
    void BindBack() const;
    // rect must lie inside the buffer.
    void ReadBack(const Rect& rect, uint32_t* argb) const;
    void WriteBack(const Rect& rect, const uint32_t* argb) const;
    void CopyBackToFront() const;
    void ReadFront(uint32_t* argb) const;
    // Shows the front buffer in the window's drawable, stretched to its size.
    void ShowFront(int drawableWidth, int drawableHeight) const;

private:
    int width = 0;
    int height = 0;
    bool hasStencil = false;
    unsigned backFrame = 0;
    unsigned backColor = 0;
    unsigned depthBuffer = 0;
    unsigned frontFrame = 0;
    unsigned frontColor = 0;
    unsigned uploadFrame = 0;
    unsigned uploadTexture = 0;
};

}  // namespace render
