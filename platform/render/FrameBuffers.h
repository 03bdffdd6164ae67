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
//
// Where the window's own buffer can stand in for both (its drawable has the
// buffers' size and colour bits, at least their depth and stencil bits (X11
// visuals may have more than asked for), and a swap leaves the picture
// in it: single-buffered, or double-buffered with swaps that copy the back
// buffer out, as software GL on X does), frames are drawn straight into the window
// and presenting copies nothing. The picture then stays readable only until
// the next frame draws over it, so the first read of the front buffer moves
// to buffers of our own for good (until the next Create): read right after a
// present it gets the picture; read once the next frame has begun it fails,
// and the move happens at the next present.

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

    // drawableWidth/Height: the window's drawable now.
    bool Create(int width, int height, bool withAlpha, Format depthFormat, int drawableWidth,
                int drawableHeight);
    void Destroy();
    bool IsCreated() const { return this->created; }
    int GetWidth() const { return this->width; }
    int GetHeight() const { return this->height; }
    bool HasDepth() const { return this->depthInternal != 0; }
    bool HasStencil() const { return this->hasStencil; }
    // Frames go straight into the window's own buffer.
    bool IsDirect() const { return this->direct; }
    // Depth bits that the buffer drawn into has beyond the depth format's (a window's
    // buffer may have more).
    int GetExtraDepthBits() const { return this->extraDepthBits; }

    // Binds the back buffer for drawing and reading. overwritten: the caller
    // is about to replace every colour pixel, so the last frame need not be
    // brought in.
    void BindBack(bool overwritten = false);
    // Reads the rectangle (inside the buffer) in the lock format, top row
    // first, rows `pitch` bytes apart.
    void ReadBack(const Rect& rect, Format format, uint8_t* bits, int pitch);
    // Writes such pixels back. A negative pitch means the rows lie bottom row
    // first in memory. 32-bit words in the row order TakesTopRowFirst names go up
    // unturned; packed 32-bit rows in the other order may be turned over in `bits`,
    // which the caller no longer reads.
    void WriteBack(const Rect& rect, Format format, uint8_t* bits, int pitch);
    // True when WriteBack takes 32-bit rows top row first (positive pitch) without
    // turning them, false when bottom row first (negative pitch).
    bool TakesTopRowFirst() const;
    // Shows the back buffer in the window's drawable (stretched to its size
    // unless that is 0) and makes it the front buffer.
    void Present(int drawableWidth, int drawableHeight);
    // The front buffer as 0xAARRGGBB words, top row first. False when frames
    // go into the window and the next one has drawn over the presented one.
    bool ReadFront(uint32_t* argb);
    // Something else bound framebuffers: bind again before the next use.
    void ForgetBindings() { this->boundDraw = this->boundRead = ~0u; }

private:
    void Bind(unsigned draw, unsigned read);
    bool WindowMatches(int drawableWidth, int drawableHeight, Format depthFormat);
    bool CreateOwn();
    void DestroyOwn();
    void CreateUpload();
    // Gives the bound upload texture the byte order of the buffer it is blitted into.
    void ShapeUpload();
    // Moves from the window's buffer to buffers of our own, taking the
    // window's picture along (depth and stencil too) as the front buffer
    // (presented) or the back buffer (a frame drawn but not yet shown).
    bool LeaveWindow(bool asFront, int drawableWidth, int drawableHeight);
    // Turns a whole buffer's rows read bottom first over in place.
    void TurnOver(uint32_t* argb);

    int width = 0;
    int height = 0;
    bool created = false;
    bool withAlpha = false;
    unsigned depthInternal = 0;
    unsigned depthAttachment = 0;
    bool hasStencil = false;
    bool direct = false;
    int extraDepthBits = 0;
    // What the last WindowMatches found the window's buffer to have.
    int windowDepthBits = 0;
    int windowStencilBits = 0;
    Format depthFormat = Format::Unknown;
    // Leaving the window takes its depth along (ours are made with its bits).
    bool keepDepth = true;
    // Direct: the window's buffer no longer holds the presented frame.
    bool touched = false;
    // Direct: move to buffers of our own at the next present.
    bool leaveAtPresent = false;
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
    // The upload texture has the window buffer's byte order.
    bool uploadIntoWindow = false;
    unsigned boundDraw = ~0u;
    unsigned boundRead = ~0u;
    // Reused between locks.
    std::vector<uint32_t> staging;
};

}  // namespace render
