#pragma once
// The device's colour, depth and stencil buffers as OpenGL framebuffer
// objects: two colour buffers sharing one depth/stencil buffer (with exactly
// the bits of the chosen depth format). One is the back buffer that frames are
// drawn into, the other keeps the last presented frame for read-back; Present
// shows the back buffer in the window and swaps their roles. The new back
// buffer gets the presented frame copied in only when something uses it before
// a clear of the whole buffer, so a frame that starts with a clear costs no
// copy, and one that does not still finds what the last frame left.
// Framebuffer bindings change only when they have to. Every call needs the
// device's GL context to be current.

#include "platform/render/RenderTypes.h"

#include <cstdint>
#include <vector>

namespace render {

class FrameBuffers {
public:
    FrameBuffers() = default;
    ~FrameBuffers();
    FrameBuffers(const FrameBuffers&) = delete;
    FrameBuffers& operator=(const FrameBuffers&) = delete;

    bool Create(int width, int height, bool withAlpha, Format depthFormat);
    void Destroy();
    bool IsCreated() const { return this->frames[0] != 0; }
    int GetWidth() const { return this->width; }
    int GetHeight() const { return this->height; }
    bool HasDepth() const { return this->depthBuffer != 0; }
    bool HasStencil() const { return this->hasStencil; }

    // Binds the back buffer for drawing and reading. overwritten: the caller
    // is about to replace every colour pixel, so the last frame need not be
    // brought in.
    void BindBack(bool overwritten = false);
    // Reads the rectangle (inside the buffer) in the lock format, top row
    // first, rows `pitch` bytes apart.
    void ReadBack(const Rect& rect, Format format, uint8_t* bits, int pitch);
    // Writes such pixels back. A negative pitch means the rows lie bottom row
    // first in memory, as GL takes them: 32-bit words then go up unturned.
    void WriteBack(const Rect& rect, Format format, const uint8_t* bits, int pitch);
    // Shows the back buffer in the window's drawable (stretched to its size
    // unless that is 0) and makes it the front buffer.
    void Present(int drawableWidth, int drawableHeight);
    // The front buffer as 0xAARRGGBB words, top row first.
    void ReadFront(uint32_t* argb);
    // Something else bound framebuffers: bind again before the next use.
    void ForgetBindings() { this->boundDraw = this->boundRead = ~0u; }

private:
    void Bind(unsigned draw, unsigned read);

    int width = 0;
    int height = 0;
    bool hasStencil = false;
    // The driver reads rows top first on request (GL_MESA_pack_invert).
    bool packInvert = false;
    unsigned frames[2] = {0, 0};
    unsigned colors[2] = {0, 0};
    unsigned depthBuffer = 0;
    int back = 0;
    // The back buffer does not yet hold the presented frame.
    bool stale = false;
    unsigned uploadFrame = 0;
    unsigned uploadTexture = 0;
    unsigned boundDraw = ~0u;
    unsigned boundRead = ~0u;
    // Reused between locks.
    std::vector<uint32_t> staging;
};

}  // namespace render
