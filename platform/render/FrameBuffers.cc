#include "platform/render/FrameBuffers.h"

#include "platform/render/GlCalls.h"

#include <SDL2/SDL_log.h>
#include <SDL2/SDL_video.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace render {

namespace {

// 0xAARRGGBB words in memory are the bytes B, G, R, A: GL's BGRA byte order.
constexpr GLenum kPixelFormat = GL_BGRA;
constexpr GLenum kPixelType = GL_UNSIGNED_BYTE;

bool IsWordFormat(Format format)
{
    return format == Format::X8R8G8B8 || format == Format::A8R8G8B8;
}

// Copies a row of pixels, swapping their red and blue bytes (BGRA <-> RGBA).
void CopySwappingRedBlue(const uint8_t* in, uint8_t* out, int count)
{
    int x = 0;
#if defined(__SSE2__)
    const __m128i redBlue = _mm_set1_epi32(0x00FF00FF);
    for (; x + 4 <= count; x += 4) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x * 4));
        const __m128i rb = _mm_and_si128(p, redBlue);
        const __m128i swapped = _mm_or_si128(_mm_slli_epi32(rb, 16), _mm_srli_epi32(rb, 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x * 4),
                         _mm_or_si128(_mm_andnot_si128(redBlue, p), swapped));
    }
#endif
    for (; x < count; ++x) {
        uint32_t p;
        std::memcpy(&p, in + x * 4, 4);
        p = (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
        std::memcpy(out + x * 4, &p, 4);
    }
}

// Blits draw through the scissor test; it is off while they run.
class ScissorOff {
public:
    ScissorOff() : on(glIsEnabled(GL_SCISSOR_TEST) == GL_TRUE)
    {
        if (this->on) glDisable(GL_SCISSOR_TEST);
    }
    ~ScissorOff()
    {
        if (this->on) glEnable(GL_SCISSOR_TEST);
    }
    ScissorOff(const ScissorOff&) = delete;
    ScissorOff& operator=(const ScissorOff&) = delete;

private:
    bool on;
};

// A double-buffered window's back buffer is undefined after a swap in general, but
// where swaps copy it out and leave it as it was (software GL on X does), it serves as
// one buffer would: the presented picture stays readable and the next frame finds it.
// Two swaps of different near-black colours tell copying swaps from flipping ones.
bool SwapKeepsBackBuffer()
{
    SDL_Window* window = SDL_GL_GetCurrentWindow();
    if (window == nullptr) {
        return false;
    }
    const ScissorOff scissor;
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDrawBuffer(GL_BACK);
    glReadBuffer(GL_BACK);
    uint32_t pixel = 0;
    for (const float blue : {8.0f / 255.0f, 16.0f / 255.0f}) {
        glClearColor(0.0f, 0.0f, blue, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        SDL_GL_SwapWindow(window);
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadPixels(0, 0, 1, 1, kPixelFormat, kPixelType, &pixel);
    return (pixel & 0xFFFFFFu) == 0x000010u;
}

// The renderbuffer format of a depth format (0 for none or one unsupported).
GLenum DepthInternal(Format depthFormat, GLenum& attachment)
{
    attachment = GL_DEPTH_ATTACHMENT;
    switch (depthFormat) {
    case Format::D16: return GL_DEPTH_COMPONENT16;
    case Format::D24X8: return GL_DEPTH_COMPONENT24;
    case Format::D32: return GL_DEPTH_COMPONENT32;
    case Format::D24S8: attachment = GL_DEPTH_STENCIL_ATTACHMENT; return GL_DEPTH24_STENCIL8;
    default: return 0;
    }
}

}  // namespace

FrameBuffers::~FrameBuffers()
{
    this->Destroy();
}

bool FrameBuffers::Create(int newWidth, int newHeight, bool alpha, Format depthFormat,
                          int drawableWidth, int drawableHeight)
{
    this->Destroy();
    GLenum attachment = GL_DEPTH_ATTACHMENT;
    const GLenum internal = DepthInternal(depthFormat, attachment);
    if (internal == 0 && depthFormat != Format::Unknown) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "FrameBuffers::Create: depth format %d unsupported",
                     static_cast<int>(depthFormat));
        return false;
    }
    this->depthFormat = depthFormat;
    this->keepDepth = true;
    this->width = newWidth;
    this->height = newHeight;
    this->withAlpha = alpha;
    this->depthInternal = internal;
    this->depthAttachment = attachment;
    this->hasStencil = depthFormat == Format::D24S8;
    this->packInvert = SDL_GL_ExtensionSupported("GL_MESA_pack_invert") == SDL_TRUE;
    this->direct = this->WindowMatches(drawableWidth, drawableHeight, depthFormat);
    this->extraDepthBits = this->direct && internal != 0 ? this->windowDepthBits - DepthBits(depthFormat) : 0;
    this->touched = false;
    this->leaveAtPresent = false;
    this->CreateUpload();
    if (this->direct) {
        // New buffers start black, with depth 1 and stencil 0.
        glClearColor(0.0f, 0.0f, 0.0f, alpha ? 0.0f : 1.0f);
        glClearDepth(1.0);
        glClearStencil(0);
        const ScissorOff scissor;
        this->Bind(0, 0);
        glClear(GL_COLOR_BUFFER_BIT | (internal != 0 ? GL_DEPTH_BUFFER_BIT : 0) |
                (this->hasStencil ? GL_STENCIL_BUFFER_BIT : 0));
        this->created = true;
        return true;
    }
    this->created = this->CreateOwn();
    if (!this->created) {
        this->Destroy();
    }
    return this->created;
}

bool FrameBuffers::WindowMatches(int drawableWidth, int drawableHeight, Format depthFormat)
{
    if (drawableWidth != this->width || drawableHeight != this->height) {
        return false;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    GLboolean doubleBuffered = GL_TRUE;
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
    GLint red = 0, green = 0, blue = 0, alpha = 0, depth = 0, stencil = 0, drawBuffer = 0;
    glGetIntegerv(GL_RED_BITS, &red);
    glGetIntegerv(GL_GREEN_BITS, &green);
    glGetIntegerv(GL_BLUE_BITS, &blue);
    glGetIntegerv(GL_ALPHA_BITS, &alpha);
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_STENCIL_BITS, &stencil);
    glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
    // X11 visuals may carry more depth and stencil bits than were asked for; elsewhere
    // the window is made with exactly the format's.
    const bool moreBits = doubleBuffered != GL_FALSE;
    const bool depthFits = moreBits ? depth >= DepthBits(depthFormat) && stencil >= StencilBits(depthFormat)
                                    : depth == DepthBits(depthFormat) && stencil == StencilBits(depthFormat);
    if (red != 8 || green != 8 || blue != 8 || alpha != (this->withAlpha ? 8 : 0) || !depthFits ||
        drawBuffer == GL_NONE || (doubleBuffered != GL_FALSE && !SwapKeepsBackBuffer())) {
        return false;
    }
    // Reads come from the buffer that is drawn into.
    glReadBuffer(static_cast<GLenum>(drawBuffer));
    this->windowDepthBits = depth;
    this->windowStencilBits = stencil;
    return true;
}

bool FrameBuffers::CreateOwn()
{
    const GLenum colorInternal = this->withAlpha ? GL_RGBA8 : GL_RGB8;
    if (this->depthInternal != 0) {
        glGenRenderbuffers(1, &this->depthBuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, this->depthBuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, this->depthInternal, this->width, this->height);
    }
    glGenFramebuffers(2, this->frames);
    glGenRenderbuffers(2, this->colors);
    GLenum status[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        glBindRenderbuffer(GL_RENDERBUFFER, this->colors[i]);
        glRenderbufferStorage(GL_RENDERBUFFER, colorInternal, this->width, this->height);
        glBindFramebuffer(GL_FRAMEBUFFER, this->frames[i]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  this->colors[i]);
        if (this->depthBuffer != 0) {
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, this->depthAttachment, GL_RENDERBUFFER,
                                      this->depthBuffer);
        }
        status[i] = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    }
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    this->ForgetBindings();
    if (status[0] != GL_FRAMEBUFFER_COMPLETE || status[1] != GL_FRAMEBUFFER_COMPLETE) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "FrameBuffers::Create: %dx%d with depth 0x%x is incomplete (0x%x)",
                     this->width, this->height, this->depthInternal, status[0]);
        return false;
    }
    // New buffers start black, with depth 1 and stencil 0.
    glClearColor(0.0f, 0.0f, 0.0f, this->withAlpha ? 0.0f : 1.0f);
    glClearDepth(1.0);
    glClearStencil(0);
    const ScissorOff scissor;
    for (int i = 1; i >= 0; --i) {
        this->Bind(this->frames[i], this->frames[i]);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    }
    this->back = 0;
    this->stale = false;
    return true;
}

void FrameBuffers::CreateUpload()
{
    // Lock uploads go through a texture as large as the buffer, made once.
    GLint boundTexture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &boundTexture);
    glGenTextures(1, &this->uploadTexture);
    glBindTexture(GL_TEXTURE_2D, this->uploadTexture);
    this->ShapeUpload();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(boundTexture));
    glGenFramebuffers(1, &this->uploadFrame);
    glBindFramebuffer(GL_FRAMEBUFFER, this->uploadFrame);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                           this->uploadTexture, 0);
    this->ForgetBindings();
}

void FrameBuffers::ShapeUpload()
{
    // Software GL copies a blit as memory only between buffers of one byte order, and
    // draws it through a shader (many times the cost) otherwise; an upload whose bytes
    // are not in the texture's order is turned on the way in, too. The window's buffer
    // holds B, G, R, X bytes, which an unsized RGBA texture given BGRA bytes gets as
    // well; our own RGB8 renderbuffers hold R, G, B, X, as a sized RGBA8 texture does.
    // Either way every pixel arrives the same.
    const GLint internal = this->direct ? GL_RGBA : GL_RGBA8;
    glTexImage2D(GL_TEXTURE_2D, 0, internal, this->width, this->height, 0, kPixelFormat, kPixelType,
                 nullptr);
    this->uploadIntoWindow = this->direct;
}

bool FrameBuffers::LeaveWindow(bool asFront, int drawableWidth, int drawableHeight)
{
    this->direct = false;
    if (this->depthInternal != 0 &&
        (this->extraDepthBits != 0 || this->windowStencilBits != (this->hasStencil ? 8 : 0))) {
        // Depth and stencil are blitted along only between equal formats: ours take the
        // window's bits (the bias stays scaled to them).
        const int bits = this->windowDepthBits;
        const bool stencil = this->windowStencilBits > 0;
        this->depthInternal = stencil ? (bits == 24 ? GL_DEPTH24_STENCIL8 : 0)
                              : bits == 16 ? GL_DEPTH_COMPONENT16
                              : bits == 24 ? GL_DEPTH_COMPONENT24
                              : bits == 32 ? GL_DEPTH_COMPONENT32
                                           : 0;
        this->depthAttachment = stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
        if (this->depthInternal == 0) {
            // No renderbuffer of those bits: ours keep the format's, and frames lose
            // the depth drawn before the move.
            this->depthInternal = DepthInternal(this->depthFormat, this->depthAttachment);
            this->extraDepthBits = 0;
            this->keepDepth = false;
        }
    }
    if (!this->CreateOwn()) {
        // Stay with the window's buffer; the request that wanted our own fails.
        this->DestroyOwn();
        this->direct = true;
        return false;
    }
    this->touched = false;
    this->leaveAtPresent = false;
    const bool sameDepth = this->keepDepth;
    this->keepDepth = true;
    const int w = std::min(drawableWidth, this->width);
    const int h = std::min(drawableHeight, this->height);
    const int target = asFront ? 1 : 0;
    if (w > 0 && h > 0) {
        const ScissorOff scissor;
        this->Bind(this->frames[target], 0);
        glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        if (this->depthInternal != 0 && sameDepth && w == this->width && h == this->height) {
            // The next frame may test against the depth (and stencil) drawn so far.
            glBlitFramebuffer(0, 0, w, h, 0, 0, w, h,
                              GL_DEPTH_BUFFER_BIT | (this->hasStencil ? GL_STENCIL_BUFFER_BIT : 0),
                              GL_NEAREST);
        }
    }
    // The back buffer is frames[0]; as the front, the picture still has to be
    // brought into it before a frame uses it without clearing.
    this->back = 0;
    this->stale = asFront;
    return true;
}

void FrameBuffers::DestroyOwn()
{
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(2, this->frames);
    const GLuint buffers[] = {this->colors[0], this->colors[1], this->depthBuffer};
    glDeleteRenderbuffers(3, buffers);
    this->frames[0] = this->frames[1] = 0;
    this->colors[0] = this->colors[1] = 0;
    this->depthBuffer = 0;
    this->ForgetBindings();
}

void FrameBuffers::Destroy()
{
    if (!this->created && this->frames[0] == 0 && this->uploadFrame == 0) {
        return;
    }
    this->DestroyOwn();
    glDeleteFramebuffers(1, &this->uploadFrame);
    glDeleteTextures(1, &this->uploadTexture);
    this->uploadFrame = this->uploadTexture = 0;
    this->width = this->height = 0;
    this->created = false;
    this->depthInternal = 0;
    this->hasStencil = false;
    this->direct = false;
    this->extraDepthBits = 0;
    this->touched = false;
    this->leaveAtPresent = false;
    this->stale = false;
    this->ForgetBindings();
    this->staging.clear();
    this->staging.shrink_to_fit();
}

void FrameBuffers::Bind(unsigned draw, unsigned read)
{
    if (draw == read) {
        if (this->boundDraw != draw || this->boundRead != read) {
            glBindFramebuffer(GL_FRAMEBUFFER, draw);
        }
    } else {
        if (this->boundDraw != draw) glBindFramebuffer(GL_DRAW_FRAMEBUFFER, draw);
        if (this->boundRead != read) glBindFramebuffer(GL_READ_FRAMEBUFFER, read);
    }
    this->boundDraw = draw;
    this->boundRead = read;
}

void FrameBuffers::BindBack(bool overwritten)
{
    if (this->direct) {
        // One buffer: whatever the last frame left is still there.
        this->touched = true;
        this->Bind(0, 0);
        return;
    }
    const unsigned backFrame = this->frames[this->back];
    if (this->stale) {
        this->stale = false;
        if (!overwritten) {
            // Keep what the last frame left, as one back buffer would.
            const ScissorOff scissor;
            this->Bind(backFrame, this->frames[1 - this->back]);
            glBlitFramebuffer(0, 0, this->width, this->height, 0, 0, this->width, this->height,
                              GL_COLOR_BUFFER_BIT, GL_NEAREST);
        }
    }
    this->Bind(backFrame, backFrame);
}

void FrameBuffers::ReadBack(const Rect& rect, Format format, uint8_t* bits, int pitch)
{
    const int w = rect.right - rect.left;
    const int h = rect.bottom - rect.top;
    if (this->direct) {
        // Reading leaves the presented picture as it is.
        this->Bind(0, 0);
    } else {
        this->BindBack();
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    // GL counts rows from the bottom. Where the driver can hand the rows out
    // top first, words go straight to the caller; otherwise one pass turns
    // them over (and packs).
    if (IsWordFormat(format) && !this->direct) {
        // Our buffers hold R, G, B, X bytes: the driver reads them out as they are
        // (turning them into B, G, R, A costs it several times a copy), and one pass
        // here turns the rows over and swaps red and blue.
        const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
        if (this->staging.size() < count) {
            this->staging.resize(count);
        }
        glReadPixels(rect.left, this->height - rect.bottom, w, h, GL_RGBA, kPixelType, this->staging.data());
        for (int y = 0; y < h; ++y) {
            const uint32_t* src = this->staging.data() + static_cast<size_t>(h - 1 - y) * w;
            CopySwappingRedBlue(reinterpret_cast<const uint8_t*>(src), bits + static_cast<std::ptrdiff_t>(y) * pitch, w);
        }
        return;
    }
    if (IsWordFormat(format) && this->packInvert && pitch == w * 4) {
        glPixelStorei(GL_PACK_INVERT_MESA, GL_TRUE);
        glReadPixels(rect.left, this->height - rect.bottom, w, h, kPixelFormat, kPixelType, bits);
        glPixelStorei(GL_PACK_INVERT_MESA, GL_FALSE);
        return;
    }
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    if (this->staging.size() < count) {
        this->staging.resize(count);
    }
    glReadPixels(rect.left, this->height - rect.bottom, w, h, kPixelFormat, kPixelType,
                 this->staging.data());
    for (int y = 0; y < h; ++y) {
        const uint32_t* src = this->staging.data() + static_cast<size_t>(h - 1 - y) * w;
        uint8_t* out = bits + static_cast<size_t>(y) * static_cast<size_t>(pitch);
        if (IsWordFormat(format)) {
            std::memcpy(out, src, static_cast<size_t>(w) * 4);
            continue;
        }
        for (int x = 0; x < w; ++x) {
            const uint32_t p = src[x];
            if (format == Format::R5G6B5) {
                const uint16_t v = static_cast<uint16_t>(((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) |
                                                         ((p >> 3) & 0x001F));
                std::memcpy(out + x * 2, &v, 2);
            } else {
                out[x * 3 + 0] = static_cast<uint8_t>(p);
                out[x * 3 + 1] = static_cast<uint8_t>(p >> 8);
                out[x * 3 + 2] = static_cast<uint8_t>(p >> 16);
            }
        }
    }
}

void FrameBuffers::WriteBack(const Rect& rect, Format format, uint8_t* bits, int pitch)
{
    const int w = rect.right - rect.left;
    const int h = rect.bottom - rect.top;
    // The window keeps its rows top row first (Mesa's software drivers do), so into the
    // window rows go up top row first and a mirrored blit copies them straight; into
    // our own buffers they go up bottom row first for a straight blit. Either way the
    // driver copies memory instead of drawing a textured quad.
    const bool topDown = this->direct;
    const int uploadPitch = topDown ? w * 4 : -w * 4;
    // Our buffers and the texture hold R, G, B, A bytes; given those the driver copies
    // memory, given B, G, R, A it converts every pixel (many times the cost).
    const bool swapRedBlue = IsWordFormat(format) && !this->direct;
    if (swapRedBlue) {
        const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
        if (this->staging.size() < count) {
            this->staging.resize(count);
        }
        // One pass swaps red and blue and puts the rows bottom row first.
        for (int y = 0; y < h; ++y) {
            uint32_t* out = this->staging.data() + static_cast<size_t>(h - 1 - y) * w;
            CopySwappingRedBlue(bits + static_cast<std::ptrdiff_t>(y) * pitch, reinterpret_cast<uint8_t*>(out), w);
        }
    }
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    const bool asTheyAre = IsWordFormat(format) && pitch == uploadPitch && !swapRedBlue;
    if (!asTheyAre && this->staging.size() < count) {
        this->staging.resize(count);
    }
    // The lowest address of the rows, the first row GL takes.
    const void* upload = asTheyAre ? static_cast<const void*>(pitch < 0 ? bits + static_cast<std::ptrdiff_t>(h - 1) * pitch : bits)
                                   : static_cast<const void*>(this->staging.data());
    // One pass puts the rows in upload order as words; full intensity stays full.
    for (int y = 0; y < (asTheyAre || swapRedBlue ? 0 : h); ++y) {
        const uint8_t* in = bits + static_cast<std::ptrdiff_t>(y) * pitch;
        uint32_t* out = this->staging.data() + static_cast<size_t>(topDown ? y : h - 1 - y) * w;
        if (IsWordFormat(format)) {
            std::memcpy(out, in, static_cast<size_t>(w) * 4);
            continue;
        }
        for (int x = 0; x < w; ++x) {
            if (format == Format::R5G6B5) {
                uint16_t v;
                std::memcpy(&v, in + x * 2, 2);
                const uint32_t r = (v >> 11) & 0x1F;
                const uint32_t g = (v >> 5) & 0x3F;
                const uint32_t b = v & 0x1F;
                out[x] = 0xFF000000u | (((r << 3) | (r >> 2)) << 16) | (((g << 2) | (g >> 4)) << 8) |
                         ((b << 3) | (b >> 2));
            } else {
                out[x] = 0xFF000000u | (uint32_t{in[x * 3 + 2]} << 16) |
                         (uint32_t{in[x * 3 + 1]} << 8) | in[x * 3 + 0];
            }
        }
    }
    // A blit ignores blending, masks, depth, stencil and fog, so the pixels
    // land unchanged whatever the render states are. Without alpha in the back
    // buffer the words' alpha bytes fall away.
    GLint boundTexture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &boundTexture);
    glBindTexture(GL_TEXTURE_2D, this->uploadTexture);
    if (this->uploadIntoWindow != this->direct) {
        // The frames left the window since the texture was made.
        this->ShapeUpload();
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, swapRedBlue ? GL_RGBA : kPixelFormat, kPixelType, upload);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(boundTexture));
    this->BindBack(rect.left == 0 && rect.top == 0 && w == this->width && h == this->height);
    const ScissorOff scissor;
    this->Bind(this->direct ? 0 : this->frames[this->back], this->uploadFrame);
    glBlitFramebuffer(0, topDown ? h : 0, w, topDown ? 0 : h, rect.left, this->height - rect.bottom, rect.right,
                      this->height - rect.top, GL_COLOR_BUFFER_BIT, GL_NEAREST);
}

// Rows in the order WriteBack uploads them as they are (see there).
bool FrameBuffers::TakesTopRowFirst() const
{
    return this->direct;
}

void FrameBuffers::Present(int drawableWidth, int drawableHeight)
{
    if (this->direct) {
        if (drawableWidth == this->width && drawableHeight == this->height) {
            // The frame is in the window already.
            this->touched = false;
            if (this->leaveAtPresent) {
                this->LeaveWindow(true, drawableWidth, drawableHeight);
            }
            return;
        }
        // The drawable changed size under the frame: from now on frames are
        // drawn at their own size and stretched to the window's.
        if (!this->LeaveWindow(false, drawableWidth, drawableHeight)) {
            return;
        }
    }
    // Whatever the new back buffer holds is two frames old.
    this->BindBack();
    if (drawableWidth > 0 && drawableHeight > 0) {
        const ScissorOff scissor;
        this->Bind(0, this->frames[this->back]);
        const bool sameSize = drawableWidth == this->width && drawableHeight == this->height;
        glBlitFramebuffer(0, 0, this->width, this->height, 0, 0, drawableWidth, drawableHeight,
                          GL_COLOR_BUFFER_BIT, sameSize ? GL_NEAREST : GL_LINEAR);
    }
    this->back = 1 - this->back;
    this->stale = true;
}

bool FrameBuffers::ReadFront(uint32_t* argb)
{
    const bool fromWindow = this->direct;
    if (fromWindow && this->touched) {
        // The presented picture is drawn over; from the next present on it is kept.
        this->leaveAtPresent = true;
        return false;
    }
    const unsigned front = fromWindow ? 0 : this->frames[1 - this->back];
    this->Bind(this->boundDraw, front);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    if (this->packInvert) {
        glPixelStorei(GL_PACK_INVERT_MESA, GL_TRUE);
        glReadPixels(0, 0, this->width, this->height, kPixelFormat, kPixelType, argb);
        glPixelStorei(GL_PACK_INVERT_MESA, GL_FALSE);
    } else {
        glReadPixels(0, 0, this->width, this->height, kPixelFormat, kPixelType, argb);
        this->TurnOver(argb);
    }
    if (fromWindow && !this->LeaveWindow(true, this->width, this->height)) {
        // The picture is read; keeping it from now on is tried again at the next present.
        this->leaveAtPresent = true;
    }
    return true;
}

void FrameBuffers::TurnOver(uint32_t* argb)
{
    // Turn the rows over in place.
    const size_t w = static_cast<size_t>(this->width);
    if (this->staging.size() < w) {
        this->staging.resize(w);
    }
    for (int y = 0; y < this->height / 2; ++y) {
        uint32_t* a = argb + static_cast<size_t>(y) * w;
        uint32_t* b = argb + static_cast<size_t>(this->height - 1 - y) * w;
        std::memcpy(this->staging.data(), a, w * 4);
        std::memcpy(a, b, w * 4);
        std::memcpy(b, this->staging.data(), w * 4);
    }
}

}  // namespace render
