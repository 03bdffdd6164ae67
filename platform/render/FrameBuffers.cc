#include "platform/render/FrameBuffers.h"

#include "platform/render/GlHeaders.h"

#include <SDL2/SDL_log.h>

#include <vector>

namespace render {

namespace {

// 0xAARRGGBB words in memory are the bytes B, G, R, A: GL's BGRA byte order.
constexpr GLenum kPixelFormat = GL_BGRA;
constexpr GLenum kPixelType = GL_UNSIGNED_BYTE;

void FlipRows(uint32_t* pixels, int width, int height)
{
    std::vector<uint32_t> row(static_cast<size_t>(width));
    for (int y = 0; y < height / 2; ++y) {
        uint32_t* a = pixels + static_cast<size_t>(y) * width;
        uint32_t* b = pixels + static_cast<size_t>(height - 1 - y) * width;
        std::copy(a, a + width, row.begin());
        std::copy(b, b + width, a);
        std::copy(row.begin(), row.end(), b);
    }
}

}  // namespace

FrameBuffers::~FrameBuffers()
{
    this->Destroy();
}

bool FrameBuffers::Create(int newWidth, int newHeight, bool withAlpha, Format depthFormat)
{
    this->Destroy();
    GLenum depthInternal = 0;
    GLenum depthAttachment = GL_DEPTH_ATTACHMENT;
    switch (depthFormat) {
    case Format::Unknown: break;
    case Format::D16: depthInternal = GL_DEPTH_COMPONENT16; break;
    case Format::D24X8: depthInternal = GL_DEPTH_COMPONENT24; break;
    case Format::D32: depthInternal = GL_DEPTH_COMPONENT32; break;
    case Format::D24S8:
        depthInternal = GL_DEPTH24_STENCIL8;
        depthAttachment = GL_DEPTH_STENCIL_ATTACHMENT;
        break;
    default:
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "FrameBuffers::Create: depth format %d unsupported",
                     static_cast<int>(depthFormat));
        return false;
    }
    this->width = newWidth;
    this->height = newHeight;
    this->hasStencil = depthFormat == Format::D24S8;
    const GLenum colorInternal = withAlpha ? GL_RGBA8 : GL_RGB8;

    glGenFramebuffers(1, &this->backFrame);
    glGenRenderbuffers(1, &this->backColor);
    glBindRenderbuffer(GL_RENDERBUFFER, this->backColor);
    glRenderbufferStorage(GL_RENDERBUFFER, colorInternal, newWidth, newHeight);
    glBindFramebuffer(GL_FRAMEBUFFER, this->backFrame);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                              this->backColor);
    if (depthInternal != 0) {
        glGenRenderbuffers(1, &this->depthBuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, this->depthBuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, depthInternal, newWidth, newHeight);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, depthAttachment, GL_RENDERBUFFER,
                                  this->depthBuffer);
    }
    const GLenum backStatus = glCheckFramebufferStatus(GL_FRAMEBUFFER);

    glGenFramebuffers(1, &this->frontFrame);
    glGenRenderbuffers(1, &this->frontColor);
    glBindRenderbuffer(GL_RENDERBUFFER, this->frontColor);
    glRenderbufferStorage(GL_RENDERBUFFER, colorInternal, newWidth, newHeight);
    glBindFramebuffer(GL_FRAMEBUFFER, this->frontFrame);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                              this->frontColor);
    const GLenum frontStatus = glCheckFramebufferStatus(GL_FRAMEBUFFER);

    glGenFramebuffers(1, &this->uploadFrame);
    glGenTextures(1, &this->uploadTexture);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);

    if (backStatus != GL_FRAMEBUFFER_COMPLETE || frontStatus != GL_FRAMEBUFFER_COMPLETE) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "FrameBuffers::Create: %dx%d with depth format %d is incomplete (0x%x, 0x%x)",
                     newWidth, newHeight, static_cast<int>(depthFormat), backStatus, frontStatus);
        this->Destroy();
        return false;
    }
    // A new buffer starts black, with depth 1 and stencil 0.
    this->BindBack();
    glClearColor(0.0f, 0.0f, 0.0f, withAlpha ? 0.0f : 1.0f);
    glClearDepth(1.0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    this->CopyBackToFront();
    this->BindBack();
    return true;
}

void FrameBuffers::Destroy()
{
    if (this->backFrame == 0 && this->frontFrame == 0) {
        return;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    const GLuint frames[] = {this->backFrame, this->frontFrame, this->uploadFrame};
    glDeleteFramebuffers(3, frames);
    const GLuint buffers[] = {this->backColor, this->depthBuffer, this->frontColor};
    glDeleteRenderbuffers(3, buffers);
    glDeleteTextures(1, &this->uploadTexture);
    this->backFrame = this->backColor = this->depthBuffer = 0;
    this->frontFrame = this->frontColor = 0;
    this->uploadFrame = this->uploadTexture = 0;
    this->width = this->height = 0;
    this->hasStencil = false;
}

void FrameBuffers::BindBack() const
{
    glBindFramebuffer(GL_FRAMEBUFFER, this->backFrame);
}

void FrameBuffers::ReadBack(const Rect& rect, uint32_t* argb) const
{
    const int w = rect.right - rect.left;
    const int h = rect.bottom - rect.top;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, this->backFrame);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    // GL counts rows from the bottom.
    glReadPixels(rect.left, this->height - rect.bottom, w, h, kPixelFormat, kPixelType, argb);
    FlipRows(argb, w, h);
    this->BindBack();
}

void FrameBuffers::WriteBack(const Rect& rect, const uint32_t* argb) const
{
    const int w = rect.right - rect.left;
    const int h = rect.bottom - rect.top;
    // A blit ignores blending, masks, depth, stencil and fog, so the pixels
    // land unchanged whatever the render states are.
    GLint boundTexture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &boundTexture);
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    glBindTexture(GL_TEXTURE_2D, this->uploadTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, kPixelFormat, kPixelType, argb);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, this->uploadFrame);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                           this->uploadTexture, 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, this->backFrame);
    // The texture's first row is the top row; mirror it onto GL's bottom-up rows.
    glBlitFramebuffer(0, 0, w, h, rect.left, this->height - rect.top, rect.right,
                      this->height - rect.bottom, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(boundTexture));
    if (scissor) {
        glEnable(GL_SCISSOR_TEST);
    }
    this->BindBack();
}

void FrameBuffers::CopyBackToFront() const
{
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, this->backFrame);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, this->frontFrame);
    glBlitFramebuffer(0, 0, this->width, this->height, 0, 0, this->width, this->height,
                      GL_COLOR_BUFFER_BIT, GL_NEAREST);
    if (scissor) {
        glEnable(GL_SCISSOR_TEST);
    }
    this->BindBack();
}

void FrameBuffers::ReadFront(uint32_t* argb) const
{
    glBindFramebuffer(GL_READ_FRAMEBUFFER, this->frontFrame);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadPixels(0, 0, this->width, this->height, kPixelFormat, kPixelType, argb);
    FlipRows(argb, this->width, this->height);
    this->BindBack();
}

void FrameBuffers::ShowFront(int drawableWidth, int drawableHeight) const
{
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, this->frontFrame);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    const bool sameSize = drawableWidth == this->width && drawableHeight == this->height;
    glBlitFramebuffer(0, 0, this->width, this->height, 0, 0, drawableWidth, drawableHeight,
                      GL_COLOR_BUFFER_BIT, sameSize ? GL_NEAREST : GL_LINEAR);
    if (scissor) {
        glEnable(GL_SCISSOR_TEST);
    }
}

}  // namespace render
