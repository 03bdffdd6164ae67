#include "platform/render/Device.h"

#include "platform/render/GlDebug.h"
#include "platform/render/GlCalls.h"
#include "platform/render/StateBlock.h"
#include "platform/render/VertexArrays.h"
#include "platform/window/Window.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>

namespace render {

namespace {

// Render states are brought to OpenGL in groups: a change marks its group.
enum Group : uint32_t {
    kGroupDepth = 1u << 0,
    kGroupFill = 1u << 1,
    kGroupShade = 1u << 2,
    kGroupAlphaTest = 1u << 3,
    kGroupBlend = 1u << 4,
    kGroupCull = 1u << 5,
    kGroupDither = 1u << 6,
    kGroupFog = 1u << 7,
    kGroupSpecular = 1u << 8,
    kGroupZBias = 1u << 9,
    kGroupStencil = 1u << 10,
    kGroupLighting = 1u << 11,
    kGroupNormalize = 1u << 12,
    kGroupClipPlanes = 1u << 13,
    kGroupPointSize = 1u << 14,
    kGroupColorWrite = 1u << 15,
    kGroupEdge = 1u << 16,
    kGroupAll = (1u << 17) - 1,
};

uint32_t GroupOf(RenderState state)
{
    switch (state) {
    case RenderState::ZEnable:
    case RenderState::ZWriteEnable:
    case RenderState::ZFunc: return kGroupDepth;
    case RenderState::FillMode: return kGroupFill;
    case RenderState::ShadeMode: return kGroupShade;
    case RenderState::AlphaTestEnable:
    case RenderState::AlphaRef:
    case RenderState::AlphaFunc: return kGroupAlphaTest;
    case RenderState::SrcBlend:
    case RenderState::DestBlend:
    case RenderState::AlphaBlendEnable:
    case RenderState::BlendOp: return kGroupBlend;
    case RenderState::CullMode: return kGroupCull;
    case RenderState::DitherEnable: return kGroupDither;
    case RenderState::FogEnable:
    case RenderState::FogColor:
    case RenderState::FogTableMode:
    case RenderState::FogStart:
    case RenderState::FogEnd:
    case RenderState::FogDensity:
    case RenderState::FogVertexMode: return kGroupFog;
    case RenderState::SpecularEnable: return kGroupSpecular;
    case RenderState::ZBias: return kGroupZBias;
    case RenderState::StencilEnable:
    case RenderState::StencilFail:
    case RenderState::StencilZFail:
    case RenderState::StencilPass:
    case RenderState::StencilFunc:
    case RenderState::StencilRef:
    case RenderState::StencilMask:
    case RenderState::StencilWriteMask: return kGroupStencil;
    case RenderState::Lighting:
    case RenderState::Ambient:
    case RenderState::LocalViewer: return kGroupLighting;
    case RenderState::NormalizeNormals: return kGroupNormalize;
    case RenderState::ClipPlaneEnable: return kGroupClipPlanes;
    case RenderState::PointSize: return kGroupPointSize;
    case RenderState::ColorWriteEnable: return kGroupColorWrite;
    case RenderState::EdgeAntialias: return kGroupEdge;
    // Colour-material sources are applied per draw (they depend on the
    // vertex layout); the rest have no OpenGL counterpart here.
    default: return 0;
    }
}

GLenum CompareFunc(uint32_t value)
{
    switch (value) {
    case Compare::Never: return GL_NEVER;
    case Compare::Less: return GL_LESS;
    case Compare::Equal: return GL_EQUAL;
    case Compare::LessEqual: return GL_LEQUAL;
    case Compare::Greater: return GL_GREATER;
    case Compare::NotEqual: return GL_NOTEQUAL;
    case Compare::GreaterEqual: return GL_GEQUAL;
    default: return GL_ALWAYS;
    }
}

GLenum BlendFactor(uint32_t value)
{
    switch (value) {
    case Blend::Zero: return GL_ZERO;
    case Blend::One: return GL_ONE;
    case Blend::SrcColor: return GL_SRC_COLOR;
    case Blend::InvSrcColor: return GL_ONE_MINUS_SRC_COLOR;
    case Blend::SrcAlpha: return GL_SRC_ALPHA;
    case Blend::InvSrcAlpha: return GL_ONE_MINUS_SRC_ALPHA;
    case Blend::DestAlpha: return GL_DST_ALPHA;
    case Blend::InvDestAlpha: return GL_ONE_MINUS_DST_ALPHA;
    case Blend::DestColor: return GL_DST_COLOR;
    case Blend::InvDestColor: return GL_ONE_MINUS_DST_COLOR;
    case Blend::SrcAlphaSat: return GL_SRC_ALPHA_SATURATE;
    default: return GL_ONE;
    }
}

GLenum BlendEquation(uint32_t value)
{
    switch (value) {
    case BlendOperation::Subtract: return GL_FUNC_SUBTRACT;
    case BlendOperation::RevSubtract: return GL_FUNC_REVERSE_SUBTRACT;
    case BlendOperation::Min: return GL_MIN;
    case BlendOperation::Max: return GL_MAX;
    default: return GL_FUNC_ADD;
    }
}

GLenum StencilOp(uint32_t value)
{
    switch (value) {
    case StencilOperation::Zero: return GL_ZERO;
    case StencilOperation::Replace: return GL_REPLACE;
    case StencilOperation::IncrementSaturate: return GL_INCR;
    case StencilOperation::DecrementSaturate: return GL_DECR;
    case StencilOperation::Invert: return GL_INVERT;
    case StencilOperation::Increment: return GL_INCR_WRAP;
    case StencilOperation::Decrement: return GL_DECR_WRAP;
    default: return GL_KEEP;
    }
}

void ColorFromArgb(uint32_t argb, float out[4])
{
    out[0] = static_cast<float>((argb >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((argb >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(argb & 0xFF) / 255.0f;
    out[3] = static_cast<float>((argb >> 24) & 0xFF) / 255.0f;
}

Matrix Multiply(const Matrix& a, const Matrix& b)
{
    Matrix r{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) {
                sum += a[i * 4 + k] * b[k * 4 + j];
            }
            r[i * 4 + j] = sum;
        }
    }
    return r;
}

// Clip-space depth runs 0..w here and -w..w in OpenGL: z' = 2z - w.
Matrix ToGlProjection(const Matrix& p)
{
    Matrix r = p;
    for (int i = 0; i < 4; ++i) {
        r[i * 4 + 2] = 2.0f * p[i * 4 + 2] - p[i * 4 + 3];
    }
    return r;
}

bool IsBackBufferFormat(Format format)
{
    return format == Format::X8R8G8B8 || format == Format::A8R8G8B8 ||
           format == Format::R5G6B5 || format == Format::R8G8B8;
}

bool IsDepthFormat(Format format)
{
    return format == Format::Unknown || format == Format::D16 || format == Format::D24X8 ||
           format == Format::D24S8 || format == Format::D32;
}

int BytesPerPixel(Format format)
{
    return FormatBits(format) / 8;
}

}  // namespace

std::unique_ptr<Device> Device::Create(window::Window& window, DeviceType type,
                                       VertexProcessing processing, const Caps& caps,
                                       const PresentParameters& parameters)
{
    std::unique_ptr<Device> device(new Device(window, type, processing, caps));
    if (!device->Open(parameters)) {
        return nullptr;
    }
    return device;
}

Device::Device(window::Window& ownerWindow, DeviceType type, VertexProcessing vertexProcessing,
               const Caps& deviceCaps)
    : window(ownerWindow), deviceType(type), processing(vertexProcessing), caps(deviceCaps),
      arrays(std::make_unique<VertexArrays>())
{
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<uint16_t>(i * 257);
        this->gammaRamp.red[i] = v;
        this->gammaRamp.green[i] = v;
        this->gammaRamp.blue[i] = v;
    }
}

bool Device::Open(const PresentParameters& requested)
{
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
#ifdef BW_GL_ERROR_CHECK
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, SDL_GL_CONTEXT_DEBUG_FLAG);
#endif
    this->context = SDL_GL_CreateContext(this->window.GetSdlWindow());
    if (this->context == nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device: cannot create an OpenGL context: %s",
                     SDL_GetError());
        return false;
    }
    this->MakeCurrent();
    InstallGlErrorCheck();
    if (SDL_GL_ExtensionSupported("GL_NV_light_max_exponent") == SDL_TRUE) {
        glGetFloatv(GL_MAX_SPOT_EXPONENT_NV, &this->maxSpotExponent);
    }
    return this->ApplyParameters(requested);
}

Device::~Device()
{
    if (this->context != nullptr) {
        this->MakeCurrent();
        this->DetachTextures();
        this->ReleaseWhiteTexture();
        // Buffers belong to the device; one still alive here is its owner's leak.
        if (const size_t left = this->arrays->DetachAll(); left > 0) {
            SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                         "Device: %zu vertex or index buffers outlived the device", left);
        }
        this->buffers.Destroy();
        SDL_GL_MakeCurrent(this->window.GetSdlWindow(), nullptr);
        SDL_GL_DeleteContext(static_cast<SDL_GLContext>(this->context));
    }
    if (this->cursorShown) {
        this->window.SetCursorMode(window::CursorMode::Arrow);
    }
    if (this->window.IsFullScreen()) {
        this->window.LeaveFullScreen();
    }
}

bool Device::ApplyParameters(const PresentParameters& requested)
{
    PresentParameters resolved = requested;
    if (resolved.windowed && (resolved.backBufferWidth == 0 || resolved.backBufferHeight == 0)) {
        // A windowed device without a size takes the window's.
        this->window.GetClientSize(resolved.backBufferWidth, resolved.backBufferHeight);
    }
    if (resolved.backBufferWidth < 1 || resolved.backBufferHeight < 1 ||
        resolved.backBufferWidth > MaxBackBufferSize ||
        resolved.backBufferHeight > MaxBackBufferSize) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device: bad back-buffer size %dx%d",
                     resolved.backBufferWidth, resolved.backBufferHeight);
        return false;
    }
    if (!IsBackBufferFormat(resolved.backBufferFormat)) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device: back-buffer format %d unsupported",
                     static_cast<int>(resolved.backBufferFormat));
        return false;
    }
    if (!IsDepthFormat(resolved.depthStencilFormat)) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device: depth format %d unsupported",
                     static_cast<int>(resolved.depthStencilFormat));
        return false;
    }
    if (resolved.backBufferCount < 1 || resolved.backBufferCount > 3) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device: %d back buffers asked for (1 to 3 work)",
                     resolved.backBufferCount);
        return false;
    }
    if (resolved.windowed) {
        if (this->window.IsFullScreen()) {
            this->window.LeaveFullScreen();
        }
    } else if (!this->window.EnterFullScreen(resolved.backBufferWidth,
                                             resolved.backBufferHeight)) {
        return false;
    }
    this->MakeCurrent();
    const bool withAlpha = resolved.backBufferFormat == Format::A8R8G8B8;
    int drawableWidth = 0;
    int drawableHeight = 0;
    SDL_GL_GetDrawableSize(this->window.GetSdlWindow(), &drawableWidth, &drawableHeight);
    if (!this->buffers.Create(resolved.backBufferWidth, resolved.backBufferHeight, withAlpha,
                              resolved.depthStencilFormat, drawableWidth, drawableHeight)) {
        return false;
    }
    // Vertical sync is a wish: drivers without it present immediately.
    SDL_GL_SetSwapInterval(resolved.waitForVerticalSync ? 1 : 0);
    this->parameters = resolved;
    this->ResetStates();
    return true;
}

void Device::ResetStates()
{
    const bool hasDepth = this->buffers.HasDepth();
    for (int i = 0; i < kRenderStateCount; ++i) {
        this->renderStates[i] = DefaultRenderState(static_cast<RenderState>(i), hasDepth);
    }
    for (int stage = 0; stage < kMaxTextureStages; ++stage) {
        for (int i = 0; i < kStageStateCount; ++i) {
            this->stageStates[stage][i] = DefaultStageState(stage, static_cast<StageState>(i));
        }
    }
    this->transforms.fill(IdentityMatrix());
    this->viewport = Viewport{0, 0, this->parameters.backBufferWidth,
                              this->parameters.backBufferHeight, 0.0f, 1.0f};
    this->material = Material{};
    this->lights.fill(Light{});
    this->lightEnabled.fill(false);
    this->stageTextures.fill(nullptr);
    this->dirtyGroups = kGroupAll;
    this->transformsDirty = true;
    this->projectionDirty = true;
    this->lightsDirty = true;
    this->viewportDirty = true;
    this->materialDirty = true;
    this->scissorOn = false;
    this->scissorDirty = true;
    this->colorMaterialMode = -1;
    this->inScene = false;
    this->arrays->stream = nullptr;
    this->arrays->indices = nullptr;
    this->arrays->baseVertex = 0;
    this->arrays->format = 0;
    this->arrays->Invalidate();
}

void Device::MakeCurrent() const
{
    if (SDL_GL_GetCurrentContext() != this->context) {
        SDL_GL_MakeCurrent(this->window.GetSdlWindow(), static_cast<SDL_GLContext>(this->context));
    }
}

DisplayMode Device::GetDisplayMode() const
{
    return DisplayMode{this->parameters.backBufferWidth, this->parameters.backBufferHeight, 0,
                       this->parameters.backBufferFormat};
}

int Device::GetDepthBits() const
{
    return DepthBits(this->parameters.depthStencilFormat);
}

int Device::GetStencilBits() const
{
    return StencilBits(this->parameters.depthStencilFormat);
}

bool Device::Reset(const PresentParameters& requested)
{
    if (this->state == DeviceState::Lost) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::Reset: the device is lost, not yet resettable");
        return false;
    }
    if (this->locked) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::Reset: the back buffer is still locked");
        return false;
    }
    if (this->recording != nullptr) {
        this->recording.reset();
    }
    if (!this->ApplyParameters(requested)) {
        return false;
    }
    this->state = DeviceState::Ready;
    return true;
}

void Device::SimulateDeviceState(DeviceState simulated)
{
    this->state = simulated;
}

bool Device::BeginScene()
{
    if (this->state != DeviceState::Ready) {
        return false;
    }
    if (this->inScene) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::BeginScene: already inside a scene");
        return false;
    }
    this->inScene = true;
    return true;
}

bool Device::EndScene()
{
    if (!this->inScene) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::EndScene: no scene was begun");
        return false;
    }
    this->inScene = false;
    return true;
}

bool Device::Present()
{
    if (this->state != DeviceState::Ready) {
        return false;
    }
    if (this->locked) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::Present: the back buffer is locked");
        return false;
    }
    this->MakeCurrent();
    int width = 0;
    int height = 0;
    SDL_GL_GetDrawableSize(this->window.GetSdlWindow(), &width, &height);
    this->buffers.Present(width, height);
    if (width > 0 && height > 0) {
        if (glRecording) {
            glrec::SwapWindow(this->window.GetSdlWindow());
        } else {
            SDL_GL_SwapWindow(this->window.GetSdlWindow());
        }
    }
    CheckGlErrors("Device::Present");
    return true;
}

bool Device::Clear(unsigned flags, uint32_t argb, float depth, uint32_t stencil)
{
    if ((flags & ~(kClearTarget | kClearDepth | kClearStencil)) != 0 || flags == 0) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::Clear: bad flags 0x%x", flags);
        return false;
    }
    if ((flags & kClearDepth) != 0 && !this->buffers.HasDepth()) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::Clear: the device has no depth buffer");
        return false;
    }
    if ((flags & kClearStencil) != 0 && !this->buffers.HasStencil()) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::Clear: the device has no stencil buffer");
        return false;
    }
    this->MakeCurrent();
    const Viewport& v = this->viewport;
    const bool whole = v.x == 0 && v.y == 0 && v.width == this->buffers.GetWidth() &&
                       v.height == this->buffers.GetHeight();
    this->buffers.BindBack(whole && (flags & kClearTarget) != 0);
    // Clearing ignores the write masks, and covers the viewport only.
    GLbitfield mask = 0;
    if ((flags & kClearTarget) != 0) {
        float color[4];
        ColorFromArgb(argb, color);
        glClearColor(color[0], color[1], color[2], color[3]);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if ((flags & kClearDepth) != 0) {
        glClearDepth(std::clamp(depth, 0.0f, 1.0f));
        glDepthMask(GL_TRUE);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if ((flags & kClearStencil) != 0) {
        glClearStencil(static_cast<GLint>(stencil & 0xFF));
        glStencilMask(0xFFFFFFFFu);
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    // Only a clear of part of the buffer needs the scissor test (which keeps
    // the driver from clearing the quick way).
    if (whole) {
        glDisable(GL_SCISSOR_TEST);
        glClear(mask);
    } else {
        glEnable(GL_SCISSOR_TEST);
        glScissor(v.x, this->buffers.GetHeight() - v.y - v.height, v.width, v.height);
        glClear(mask);
        glDisable(GL_SCISSOR_TEST);
    }
    // The draws' scissor rectangle is brought back at the next draw.
    this->scissorDirty = true;
    this->dirtyGroups |= kGroupColorWrite | kGroupDepth | kGroupStencil;
    CheckGlErrors("Device::Clear");
    return true;
}

bool Device::SetViewport(const Viewport& value)
{
    if (value.x < 0 || value.y < 0 || value.width < 1 || value.height < 1 ||
        value.x + value.width > this->parameters.backBufferWidth ||
        value.y + value.height > this->parameters.backBufferHeight || value.minZ < 0.0f ||
        value.maxZ > 1.0f || value.minZ > value.maxZ) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "Device::SetViewport: %d,%d %dx%d depth %g..%g does not fit the %dx%d back "
                     "buffer",
                     value.x, value.y, value.width, value.height, value.minZ, value.maxZ,
                     this->parameters.backBufferWidth, this->parameters.backBufferHeight);
        return false;
    }
    if (this->recording != nullptr) {
        this->recording->RecordViewport(value);
        return true;
    }
    this->viewport = value;
    this->viewportDirty = true;
    return true;
}

bool Device::SetScissorRect(const Rect* rect)
{
    if (rect == nullptr) {
        this->scissorDirty = this->scissorDirty || this->scissorOn;
        this->scissorOn = false;
        return true;
    }
    if (rect->left > rect->right || rect->top > rect->bottom) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::SetScissorRect: %d,%d..%d,%d is no rectangle",
                     rect->left, rect->top, rect->right, rect->bottom);
        return false;
    }
    const Rect& r = this->scissor;
    if (this->scissorOn && r.left == rect->left && r.top == rect->top && r.right == rect->right &&
        r.bottom == rect->bottom) {
        return true;
    }
    this->scissorOn = true;
    this->scissor = *rect;
    this->scissorDirty = true;
    return true;
}

bool Device::GetScissorRect(Rect& rect) const
{
    if (!this->scissorOn) {
        return false;
    }
    rect = this->scissor;
    return true;
}

bool Device::SetTransform(TransformKind kind, const Matrix& matrix)
{
    const int i = static_cast<int>(kind);
    if (i < 0 || i >= static_cast<int>(TransformKind::Count)) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::SetTransform: unknown transform %d", i);
        return false;
    }
    if (this->recording != nullptr) {
        this->recording->RecordTransform(kind, matrix);
        return true;
    }
    this->transforms[i] = matrix;
    // A world change reloads only the model-view.
    if (kind == TransformKind::Projection) {
        this->projectionDirty = true;
    } else {
        this->transformsDirty = true;
        if (kind == TransformKind::View) {
            this->lightsDirty = true;
        }
    }
    return true;
}

const Matrix& Device::GetTransform(TransformKind kind) const
{
    const int i = static_cast<int>(kind);
    if (i < 0 || i >= static_cast<int>(TransformKind::Count)) {
        return this->transforms[static_cast<int>(TransformKind::World)];
    }
    return this->transforms[i];
}

bool Device::SetRenderState(RenderState renderState, uint32_t value)
{
    const int i = static_cast<int>(renderState);
    if (i < 0 || i >= kRenderStateCount) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::SetRenderState: unknown state %d", i);
        return false;
    }
    if (this->recording != nullptr) {
        this->recording->RecordRenderState(renderState, value);
        return true;
    }
    if (this->renderStates[i] != value) {
        this->renderStates[i] = value;
        this->dirtyGroups |= GroupOf(renderState);
        if (renderState == RenderState::SpecularEnable) {
            this->materialDirty = true;
        }
    }
    return true;
}

uint32_t Device::GetRenderState(RenderState renderState) const
{
    const int i = static_cast<int>(renderState);
    return (i >= 0 && i < kRenderStateCount) ? this->renderStates[i] : 0;
}

bool Device::SetTextureStageState(int stage, StageState stageState, uint32_t value)
{
    const int i = static_cast<int>(stageState);
    if (stage < 0 || stage >= kMaxTextureStages || i < 0 || i >= kStageStateCount) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "Device::SetTextureStageState: unknown stage %d or state %d", stage, i);
        return false;
    }
    if (this->recording != nullptr) {
        this->recording->RecordStageState(stage, stageState, value);
        return true;
    }
    this->stageStates[stage][i] = value;
    return true;
}

uint32_t Device::GetTextureStageState(int stage, StageState stageState) const
{
    const int i = static_cast<int>(stageState);
    if (stage < 0 || stage >= kMaxTextureStages || i < 0 || i >= kStageStateCount) {
        return 0;
    }
    return this->stageStates[stage][i];
}

void Device::SetMaterial(const Material& value)
{
    if (this->recording != nullptr) {
        this->recording->RecordMaterial(value);
        return;
    }
    this->material = value;
    this->materialDirty = true;
}

bool Device::SetLight(int index, const Light& light)
{
    if (index < 0 || index >= kMaxLights) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::SetLight: light %d (0 to %d work)", index,
                     kMaxLights - 1);
        return false;
    }
    if (light.type != LightType::Point && light.type != LightType::Spot &&
        light.type != LightType::Directional) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::SetLight: unknown light type %d",
                     static_cast<int>(light.type));
        return false;
    }
    if (this->recording != nullptr) {
        this->recording->RecordLight(index, light);
        return true;
    }
    this->lights[index] = light;
    this->lightsDirty = true;
    return true;
}

bool Device::EnableLight(int index, bool enable)
{
    if (index < 0 || index >= kMaxLights) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::EnableLight: light %d (0 to %d work)",
                     index, kMaxLights - 1);
        return false;
    }
    if (this->recording != nullptr) {
        this->recording->RecordLightEnable(index, enable);
        return true;
    }
    if (this->lightEnabled[index] != enable) {
        this->lightEnabled[index] = enable;
        this->lightsDirty = true;
    }
    return true;
}

const Light& Device::GetLight(int index) const
{
    return this->lights[(index >= 0 && index < kMaxLights) ? index : 0];
}

bool Device::IsLightEnabled(int index) const
{
    return index >= 0 && index < kMaxLights && this->lightEnabled[index];
}

bool Device::BeginStateBlock()
{
    if (this->recording != nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::BeginStateBlock: already recording");
        return false;
    }
    this->recording = std::make_unique<StateBlock>();
    return true;
}

uint32_t Device::EndStateBlock()
{
    if (this->recording == nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::EndStateBlock: nothing is being recorded");
        return 0;
    }
    const uint32_t handle = this->nextStateBlock++;
    this->stateBlocks[handle] = std::move(this->recording);
    return handle;
}

bool Device::ApplyStateBlock(uint32_t handle)
{
    const auto found = this->stateBlocks.find(handle);
    if (found == this->stateBlocks.end()) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::ApplyStateBlock: no state block %u", handle);
        return false;
    }
    found->second->ApplyTo(*this);
    return true;
}

bool Device::CaptureStateBlock(uint32_t handle)
{
    const auto found = this->stateBlocks.find(handle);
    if (found == this->stateBlocks.end()) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::CaptureStateBlock: no state block %u",
                     handle);
        return false;
    }
    found->second->CaptureFrom(*this);
    return true;
}

bool Device::DeleteStateBlock(uint32_t handle)
{
    if (this->stateBlocks.erase(handle) == 0) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::DeleteStateBlock: no state block %u", handle);
        return false;
    }
    return true;
}

bool Device::SetGammaRamp(const GammaRamp& ramp, bool calibrate)
{
    // Calibration would correct the ramp for the monitor; there is no
    // calibrator here, so the ramp is used as given.
    (void)calibrate;
    if (SDL_SetWindowGammaRamp(this->window.GetSdlWindow(), ramp.red.data(), ramp.green.data(),
                               ramp.blue.data()) != 0) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::SetGammaRamp: %s", SDL_GetError());
        return false;
    }
    this->gammaRamp = ramp;
    return true;
}

bool Device::LockBackBuffer(const Rect& rect, LockedRect& out, bool keepContents)
{
    if (this->locked) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::LockBackBuffer: already locked");
        return false;
    }
    Rect clipped;
    clipped.left = std::max(rect.left, 0);
    clipped.top = std::max(rect.top, 0);
    clipped.right = std::min(rect.right, this->buffers.GetWidth());
    clipped.bottom = std::min(rect.bottom, this->buffers.GetHeight());
    if (clipped.right <= clipped.left || clipped.bottom <= clipped.top) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "Device::LockBackBuffer: rectangle %d,%d-%d,%d lies outside the %dx%d back "
                     "buffer",
                     rect.left, rect.top, rect.right, rect.bottom, this->buffers.GetWidth(),
                     this->buffers.GetHeight());
        return false;
    }
    this->MakeCurrent();
    const int width = clipped.right - clipped.left;
    const int height = clipped.bottom - clipped.top;
    const Format format = this->parameters.backBufferFormat;
    const int pitch = width * BytesPerPixel(format);
    // The memory stays between locks: a video player locks every frame.
    const size_t bytes = static_cast<size_t>(pitch) * static_cast<size_t>(height);
    if (this->lockBytes.size() < bytes) {
        this->lockBytes.resize(bytes);
    }
    if (keepContents) {
        this->buffers.ReadBack(clipped, format, this->lockBytes.data(), pitch);
    }

    this->lockInfo.bits = this->lockBytes.data();
    this->lockInfo.pitch = pitch;
    if (!keepContents && BytesPerPixel(format) == 4 && !this->buffers.TakesTopRowFirst()) {
        // Rows kept bottom row first, as the buffers take them: the unlock uploads
        // them as they are. The caller walks them top-down with a negative pitch.
        this->lockInfo.bits = this->lockBytes.data() + static_cast<size_t>(height - 1) * static_cast<size_t>(pitch);
        this->lockInfo.pitch = -pitch;
    }
    this->lockInfo.format = format;
    this->lockInfo.rect = clipped;
    this->locked = true;
    out = this->lockInfo;
    CheckGlErrors("Device::LockBackBuffer");
    return true;
}

bool Device::UnlockBackBuffer()
{
    if (!this->locked) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::UnlockBackBuffer: not locked");
        return false;
    }
    this->MakeCurrent();
    this->buffers.WriteBack(this->lockInfo.rect, this->lockInfo.format,
                            static_cast<uint8_t*>(this->lockInfo.bits), this->lockInfo.pitch);
    this->locked = false;
    this->lockInfo = LockedRect{};
    CheckGlErrors("Device::UnlockBackBuffer");
    return true;
}

bool Device::CopyFrontBuffer(std::vector<uint32_t>& argb, int& width, int& height)
{
    this->MakeCurrent();
    width = this->buffers.GetWidth();
    height = this->buffers.GetHeight();
    argb.assign(static_cast<size_t>(width) * height, 0);
    const bool read = this->buffers.ReadFront(argb.data());
    CheckGlErrors("Device::CopyFrontBuffer");
    if (!read) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "Device::CopyFrontBuffer: the presented frame is drawn over (frames go "
                     "straight into the window; it is kept from the next present on)");
    }
    return read;
}

bool Device::SetCursorImage(int hotX, int hotY, int width, int height, const uint32_t* argb)
{
    return this->window.SetCursorImage(hotX, hotY, width, height, argb);
}

bool Device::ShowCursor(bool show)
{
    const bool before = this->cursorShown;
    this->cursorShown = show;
    if (show) {
        this->window.SetCursorMode(window::CursorMode::Image);
    } else if (this->window.GetCursorMode() == window::CursorMode::Image) {
        this->window.SetCursorMode(window::CursorMode::Hidden);
    }
    return before;
}

void Device::SetCursorPosition(int x, int y)
{
    (void)x;
    (void)y;
}

bool Device::DrawUserPrimitives(PrimitiveType type, int primitiveCount, unsigned vertexFormat,
                                const void* vertices, int stride)
{
    const bool rhw = (vertexFormat & kVertexPositionRhw) != 0;
    const bool xyz = (vertexFormat & kVertexPosition) != 0;
    const int vertexCount = PrimitiveVertexCount(type, primitiveCount);
    if (vertices == nullptr || primitiveCount < 1 || vertexCount < 1 || rhw == xyz ||
        stride < VertexSize(vertexFormat) ||
        static_cast<int>(VertexTexSetCount(vertexFormat)) > this->caps.maxSimultaneousTextures) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "Device::DrawUserPrimitives: bad call (%d primitives, layout 0x%x, stride %d)",
                     primitiveCount, vertexFormat, stride);
        return false;
    }
    if (!this->inScene) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "Device::DrawUserPrimitives: outside a scene");
        return false;
    }
    if (this->state != DeviceState::Ready) {
        return false;
    }
    this->MakeCurrent();
    this->FlushForDraw(vertexFormat);

    const auto* base = static_cast<const uint8_t*>(vertices);
    const float* screen = nullptr;
    if (rhw) {
        // Undo the perspective divide so that colours and texture coordinates
        // are still interpolated with perspective.
        const size_t needed = static_cast<size_t>(vertexCount) * 4;
        if (this->screenPositions.size() < needed) {
            this->screenPositions.resize(needed);
        }
        float* out = this->screenPositions.data();
        for (int v = 0; v < vertexCount; ++v) {
            float p[4];
            std::memcpy(p, base + static_cast<size_t>(v) * stride, sizeof(p));
            const float w = p[3] != 0.0f ? 1.0f / p[3] : 1.0f;
            out[v * 4 + 0] = p[0] * w;
            out[v * 4 + 1] = p[1] * w;
            out[v * 4 + 2] = p[2] * w;
            out[v * 4 + 3] = w;
        }
        screen = out;
    }
    this->arrays->Apply(0, base, vertexFormat, stride, screen);
    glDrawArrays(GlPrimitive(type), 0, vertexCount);
    CheckGlErrors("Device::DrawUserPrimitives");

    if (rhw) {
        // Screen-space drawing replaced matrices, viewport, lighting and fog.
        this->transformsDirty = true;
        this->projectionDirty = true;
        this->viewportDirty = true;
        this->dirtyGroups |= kGroupLighting | kGroupFog;
    }
    return true;
}

void Device::FlushForDraw(unsigned vertexFormat)
{
    this->buffers.BindBack();
    if (this->buffers.GetExtraDepthBits() != this->biasDepthBits) {
        // The bias is in steps of the depth buffer drawn into.
        this->biasDepthBits = this->buffers.GetExtraDepthBits();
        this->dirtyGroups |= kGroupZBias;
    }
    if (this->scissorDirty) {
        if (this->scissorOn) {
            const int h = this->buffers.GetHeight();
            const Rect& r = this->scissor;
            glEnable(GL_SCISSOR_TEST);
            glScissor(r.left, h - r.bottom, r.right - r.left, r.bottom - r.top);
        } else {
            glDisable(GL_SCISSOR_TEST);
        }
        this->scissorDirty = false;
    }
    if (this->dirtyGroups != 0) {
        this->ApplyRenderStateGroups(this->dirtyGroups);
        this->dirtyGroups = 0;
    }
    this->ApplyTextures();
    const bool rhw = (vertexFormat & kVertexPositionRhw) != 0;
    if (rhw) {
        const int w = this->buffers.GetWidth();
        const int h = this->buffers.GetHeight();
        glViewport(0, 0, w, h);
        glDepthRange(0.0, 1.0);
        // Pixel x, y (centres on whole numbers, y down) and depth 0..1 to
        // clip space, applied to (x·w, y·w, z·w, w).
        const float fw = static_cast<float>(w);
        const float fh = static_cast<float>(h);
        const Matrix screen = {2.0f / fw, 0.0f, 0.0f, 0.0f,  0.0f, -2.0f / fh, 0.0f, 0.0f,
                               0.0f, 0.0f, 2.0f, 0.0f,  1.0f / fw - 1.0f, 1.0f - 1.0f / fh, -1.0f, 1.0f};
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(screen.data());
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_LIGHTING);
        glDisable(GL_FOG);
        glDisable(GL_COLOR_MATERIAL);
        this->colorMaterialMode = -1;
        return;
    }
    if (this->viewportDirty) {
        const Viewport& v = this->viewport;
        glViewport(v.x, this->buffers.GetHeight() - v.y - v.height, v.width, v.height);
        glDepthRange(v.minZ, v.maxZ);
        this->viewportDirty = false;
    }
    if (this->transformsDirty || this->lightsDirty || this->projectionDirty) {
        this->ApplyTransformsAndLights();
    }
    this->ApplyColorMaterial(vertexFormat);
    if (this->materialDirty) {
        this->ApplyMaterial();
    }
}

void Device::ApplyRenderStateGroups(uint32_t groups)
{
    const auto& rs = this->renderStates;
    auto get = [&rs](RenderState s) { return rs[static_cast<int>(s)]; };
    auto enable = [](GLenum cap, bool on) { on ? glEnable(cap) : glDisable(cap); };

    if (groups & kGroupDepth) {
        enable(GL_DEPTH_TEST, get(RenderState::ZEnable) != 0 && this->buffers.HasDepth());
        glDepthMask(get(RenderState::ZWriteEnable) != 0 ? GL_TRUE : GL_FALSE);
        glDepthFunc(CompareFunc(get(RenderState::ZFunc)));
    }
    if (groups & kGroupFill) {
        const uint32_t fill = get(RenderState::FillMode);
        glPolygonMode(GL_FRONT_AND_BACK, fill == FillMode::Point       ? GL_POINT
                                         : fill == FillMode::Wireframe ? GL_LINE
                                                                       : GL_FILL);
    }
    if (groups & kGroupShade) {
        glShadeModel(get(RenderState::ShadeMode) == ShadeMode::Flat ? GL_FLAT : GL_SMOOTH);
    }
    if (groups & kGroupAlphaTest) {
        enable(GL_ALPHA_TEST, get(RenderState::AlphaTestEnable) != 0);
        glAlphaFunc(CompareFunc(get(RenderState::AlphaFunc)),
                    static_cast<float>(get(RenderState::AlphaRef) & 0xFF) / 255.0f);
    }
    if (groups & kGroupBlend) {
        enable(GL_BLEND, get(RenderState::AlphaBlendEnable) != 0);
        glBlendFunc(BlendFactor(get(RenderState::SrcBlend)),
                    BlendFactor(get(RenderState::DestBlend)));
        glBlendEquation(BlendEquation(get(RenderState::BlendOp)));
    }
    if (groups & kGroupCull) {
        // Both APIs judge winding as seen on screen. Culling counter-clockwise
        // triangles keeps the clockwise ones as front faces.
        const uint32_t cull = get(RenderState::CullMode);
        enable(GL_CULL_FACE, cull == Cull::Cw || cull == Cull::Ccw);
        glFrontFace(cull == Cull::Cw ? GL_CCW : GL_CW);
        glCullFace(GL_BACK);
    }
    if (groups & kGroupDither) {
        enable(GL_DITHER, get(RenderState::DitherEnable) != 0);
    }
    if (groups & kGroupFog) {
        const uint32_t table = get(RenderState::FogTableMode);
        const uint32_t mode = table != FogMode::None ? table : get(RenderState::FogVertexMode);
        enable(GL_FOG, get(RenderState::FogEnable) != 0 && mode != FogMode::None);
        glFogi(GL_FOG_MODE, mode == FogMode::Exp    ? GL_EXP
                            : mode == FogMode::Exp2 ? GL_EXP2
                                                    : GL_LINEAR);
        float color[4];
        ColorFromArgb(get(RenderState::FogColor), color);
        glFogfv(GL_FOG_COLOR, color);
        glFogf(GL_FOG_START, BitsFloat(get(RenderState::FogStart)));
        glFogf(GL_FOG_END, BitsFloat(get(RenderState::FogEnd)));
        // OpenGL refuses a negative density (NaN fails the test too): no fog then.
        const float density = BitsFloat(get(RenderState::FogDensity));
        glFogf(GL_FOG_DENSITY, density > 0.0f ? density : 0.0f);
        glHint(GL_FOG_HINT, table != FogMode::None ? GL_NICEST : GL_FASTEST);
    }
    if (groups & kGroupSpecular) {
        glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, get(RenderState::SpecularEnable) != 0
                                                        ? GL_SEPARATE_SPECULAR_COLOR
                                                        : GL_SINGLE_COLOR);
    }
    if (groups & kGroupZBias) {
        const float bias = static_cast<float>(get(RenderState::ZBias));
        enable(GL_POLYGON_OFFSET_FILL, bias != 0.0f);
        enable(GL_POLYGON_OFFSET_LINE, bias != 0.0f);
        enable(GL_POLYGON_OFFSET_POINT, bias != 0.0f);
        // A higher bias draws nearer, by steps of the depth format's resolution even
        // where the window's depth buffer, drawn into, has more bits.
        glPolygonOffset(-bias, -std::ldexp(bias, this->biasDepthBits));
    }
    if (groups & kGroupStencil) {
        enable(GL_STENCIL_TEST, get(RenderState::StencilEnable) != 0);
        glStencilFunc(CompareFunc(get(RenderState::StencilFunc)),
                      static_cast<GLint>(get(RenderState::StencilRef) & 0xFF),
                      get(RenderState::StencilMask));
        glStencilOp(StencilOp(get(RenderState::StencilFail)),
                    StencilOp(get(RenderState::StencilZFail)),
                    StencilOp(get(RenderState::StencilPass)));
        glStencilMask(get(RenderState::StencilWriteMask));
    }
    if (groups & kGroupLighting) {
        enable(GL_LIGHTING, get(RenderState::Lighting) != 0);
        float ambient[4];
        ColorFromArgb(get(RenderState::Ambient), ambient);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
        glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, get(RenderState::LocalViewer) != 0 ? 1 : 0);
    }
    if (groups & kGroupNormalize) {
        enable(GL_NORMALIZE, get(RenderState::NormalizeNormals) != 0);
    }
    if (groups & kGroupClipPlanes) {
        const uint32_t planes = get(RenderState::ClipPlaneEnable);
        for (int i = 0; i < 6; ++i) {
            enable(GL_CLIP_PLANE0 + i, (planes & (1u << i)) != 0);
        }
    }
    if (groups & kGroupPointSize) {
        glPointSize(std::max(1.0f, BitsFloat(get(RenderState::PointSize))));
    }
    if (groups & kGroupColorWrite) {
        const uint32_t mask = get(RenderState::ColorWriteEnable);
        glColorMask((mask & ColorWrite::Red) != 0, (mask & ColorWrite::Green) != 0,
                    (mask & ColorWrite::Blue) != 0, (mask & ColorWrite::Alpha) != 0);
    }
    if (groups & kGroupEdge) {
        enable(GL_LINE_SMOOTH, get(RenderState::EdgeAntialias) != 0);
    }
}

void Device::ApplyTransformsAndLights()
{
    // OpenGL's fixed function expects the eye to look down -z (fog distance,
    // local-viewer specular), while these transforms look down +z: eye space
    // gets its z mirrored, and the projection mirrors it back.
    const Matrix mirrorZ = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1};
    Matrix& view = this->glView;
    const Matrix& world = this->transforms[static_cast<int>(TransformKind::World)];
    // Row-major row-vector matrices have the memory layout of OpenGL's
    // column-major column-vector ones, so they load as they are. The matrix
    // mode stays GL_MODELVIEW outside this.
    if (this->projectionDirty) {
        const Matrix projection = ToGlProjection(
            Multiply(mirrorZ, this->transforms[static_cast<int>(TransformKind::Projection)]));
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(projection.data());
        glMatrixMode(GL_MODELVIEW);
        this->projectionDirty = false;
    }
    if (this->lightsDirty) {
        view = Multiply(this->transforms[static_cast<int>(TransformKind::View)], mirrorZ);
        // Lights are given in world space: OpenGL takes them through the
        // modelview current when they are set, so that must be the view.
        glLoadMatrixf(view.data());
        for (int i = 0; i < kMaxLights; ++i) {
            this->ApplyLight(i);
        }
        this->lightsDirty = false;
        this->transformsDirty = true;
    }
    if (!this->transformsDirty) {
        return;
    }
    const Matrix modelView = Multiply(world, view);
    glLoadMatrixf(modelView.data());
    this->transformsDirty = false;
}

void Device::ApplyLight(int index)
{
    const GLenum id = GL_LIGHT0 + index;
    if (!this->lightEnabled[index]) {
        glDisable(id);
        return;
    }
    const Light& l = this->lights[index];
    const float diffuse[4] = {l.diffuse.r, l.diffuse.g, l.diffuse.b, l.diffuse.a};
    const float specular[4] = {l.specular.r, l.specular.g, l.specular.b, l.specular.a};
    const float ambient[4] = {l.ambient.r, l.ambient.g, l.ambient.b, l.ambient.a};
    glLightfv(id, GL_DIFFUSE, diffuse);
    glLightfv(id, GL_SPECULAR, specular);
    glLightfv(id, GL_AMBIENT, ambient);
    if (l.type == LightType::Directional) {
        // OpenGL's directional position points towards the light.
        const float position[4] = {-l.direction[0], -l.direction[1], -l.direction[2], 0.0f};
        glLightfv(id, GL_POSITION, position);
        glLightf(id, GL_SPOT_CUTOFF, 180.0f);
    } else {
        const float position[4] = {l.position[0], l.position[1], l.position[2], 1.0f};
        glLightfv(id, GL_POSITION, position);
        if (l.type == LightType::Spot) {
            glLightfv(id, GL_SPOT_DIRECTION, l.direction);
            const float halfOuter = std::clamp(l.phi * 0.5f, 0.0f, 1.5707963f);
            const float halfInner = std::clamp(l.theta * 0.5f, 0.0f, halfOuter);
            glLightf(id, GL_SPOT_CUTOFF, halfOuter * 57.29578f);
            // The falloff between the cones follows the cosine linearly (to the
            // power falloff); OpenGL has only cos^exponent. The exponent is fitted
            // so that both agree at half the outer cone angle.
            float exponent = 0.0f;
            const float probe = halfOuter * 0.5f;
            if (probe > halfInner && halfOuter > 0.0f) {
                const float cosOuter = std::cos(halfOuter);
                const float span = std::cos(halfInner) - cosOuter;
                float wanted = span > 0.0f ? (std::cos(probe) - cosOuter) / span : 1.0f;
                wanted = std::pow(std::clamp(wanted, 1e-6f, 1.0f), std::max(l.falloff, 0.0f));
                const float c = std::cos(probe);
                exponent = c < 1.0f ? std::log(wanted) / std::log(c) : 0.0f;
                // Narrow cones want more than some drivers take.
                exponent = std::clamp(exponent, 0.0f, this->maxSpotExponent);
            }
            glLightf(id, GL_SPOT_EXPONENT, exponent);
        } else {
            glLightf(id, GL_SPOT_CUTOFF, 180.0f);
        }
        // All three factors zero would divide by zero; treat it as no falloff.
        const bool none = l.attenuation0 == 0.0f && l.attenuation1 == 0.0f && l.attenuation2 == 0.0f;
        glLightf(id, GL_CONSTANT_ATTENUATION, none ? 1.0f : l.attenuation0);
        glLightf(id, GL_LINEAR_ATTENUATION, l.attenuation1);
        glLightf(id, GL_QUADRATIC_ATTENUATION, l.attenuation2);
    }
    glEnable(id);
}

void Device::ApplyColorMaterial(unsigned vertexFormat)
{
    // OpenGL tracks at most one material colour (or ambient and diffuse
    // together) from the vertex colour.
    int mode = 0;
    const auto& rs = this->renderStates;
    auto fromVertex = [&rs](RenderState s) {
        return rs[static_cast<int>(s)] == MaterialSource::Color1;
    };
    // Unlit drawing takes the vertex colour as it is: no tracking needed.
    if ((vertexFormat & (kVertexDiffuse | kVertexDiffuseRgba)) != 0 && rs[static_cast<int>(RenderState::ColorVertex)] != 0 &&
        rs[static_cast<int>(RenderState::Lighting)] != 0) {
        const bool diffuse = fromVertex(RenderState::DiffuseMaterialSource);
        const bool ambient = fromVertex(RenderState::AmbientMaterialSource);
        if (diffuse && ambient) {
            mode = GL_AMBIENT_AND_DIFFUSE;
        } else if (diffuse) {
            mode = GL_DIFFUSE;
        } else if (ambient) {
            mode = GL_AMBIENT;
        } else if (fromVertex(RenderState::EmissiveMaterialSource)) {
            mode = GL_EMISSION;
        } else if (fromVertex(RenderState::SpecularMaterialSource)) {
            mode = GL_SPECULAR;
        }
    }
    if (mode == this->colorMaterialMode) {
        return;
    }
    // A tracked colour overwrites the material; restore it before tracking
    // another one.
    glDisable(GL_COLOR_MATERIAL);
    this->ApplyMaterial();
    if (mode != 0) {
        glColorMaterial(GL_FRONT_AND_BACK, static_cast<GLenum>(mode));
        glEnable(GL_COLOR_MATERIAL);
    }
    this->colorMaterialMode = mode;
}

void Device::ApplyMaterial()
{
    const Material& m = this->material;
    const float diffuse[4] = {m.diffuse.r, m.diffuse.g, m.diffuse.b, m.diffuse.a};
    const float ambient[4] = {m.ambient.r, m.ambient.g, m.ambient.b, m.ambient.a};
    const float emissive[4] = {m.emissive.r, m.emissive.g, m.emissive.b, m.emissive.a};
    const bool specularOn = this->renderStates[static_cast<int>(RenderState::SpecularEnable)] != 0;
    const float specular[4] = {specularOn ? m.specular.r : 0.0f, specularOn ? m.specular.g : 0.0f,
                               specularOn ? m.specular.b : 0.0f, specularOn ? m.specular.a : 0.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emissive);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(m.power, 0.0f, 128.0f));
    this->materialDirty = false;
}

}  // namespace render
