#include "platform/render/RenderSystem.h"

#include "platform/render/Device.h"
#include "platform/render/GlHeaders.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>

namespace render {

namespace {

// Sizes every adapter offers (those that fit its desktop).
constexpr int kCommonSizes[][2] = {
    {640, 480},   {800, 600},   {1024, 768},  {1152, 864},  {1280, 720},
    {1280, 960},  {1280, 1024}, {1600, 1200}, {1920, 1080},
};

Format DisplayFormatFromSdl(uint32_t sdlFormat)
{
    if (SDL_BITSPERPIXEL(sdlFormat) == 16 && SDL_PIXELTYPE(sdlFormat) == SDL_PIXELTYPE_PACKED16) {
        return Format::R5G6B5;
    }
    // 24- and 32-bit displays, and those that do not say: drawn at 32 bits.
    return Format::X8R8G8B8;
}

bool ProbeGl(Caps& caps, std::string& renderer)
{
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_Window* probe =
        SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (probe == nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "RenderSystem: no OpenGL window: %s", SDL_GetError());
        return false;
    }
    SDL_GLContext context = SDL_GL_CreateContext(probe);
    if (context == nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "RenderSystem: no OpenGL context: %s",
                     SDL_GetError());
        SDL_DestroyWindow(probe);
        return false;
    }
    const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    const auto* name = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    renderer = name != nullptr ? name : "OpenGL";
    const bool framebufferObjects = (version != nullptr && version[0] >= '3' && version[0] <= '9') ||
                                    SDL_GL_ExtensionSupported("GL_ARB_framebuffer_object");
    GLint units = 1;
    GLint textureSize = 256;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &textureSize);
    caps.maxSimultaneousTextures = std::clamp(static_cast<int>(units), 1, 8);
    caps.maxTextureWidth = textureSize;
    caps.maxTextureHeight = textureSize;
    caps.maxActiveLights = 8;
    caps.hardwareTransformAndLight = true;
    caps.pureDevice = false;
    caps.canCalibrateGamma = false;
    // Gamma counts as available where setting the current ramp works.
    Uint16 red[256];
    Uint16 green[256];
    Uint16 blue[256];
    caps.fullScreenGamma = SDL_GetWindowGammaRamp(probe, red, green, blue) == 0 &&
                           SDL_SetWindowGammaRamp(probe, red, green, blue) == 0;
    SDL_GL_MakeCurrent(probe, nullptr);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(probe);
    if (!framebufferObjects) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "RenderSystem: OpenGL %s on %s has no framebuffer objects",
                     version != nullptr ? version : "?", renderer.c_str());
        return false;
    }
    return true;
}

AdapterInfo DescribeDisplay(int display, const std::string& renderer)
{
    AdapterInfo info;
    info.driverName = renderer;
    const char* name = SDL_GetDisplayName(display);
    info.description = name != nullptr ? name : "Display " + std::to_string(display);
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(display, &desktop) == 0) {
        info.desktopMode = DisplayMode{desktop.w, desktop.h, desktop.refresh_rate,
                                       DisplayFormatFromSdl(desktop.format)};
    } else {
        info.desktopMode = DisplayMode{1024, 768, 60, Format::X8R8G8B8};
    }
    std::vector<DisplayMode> sizes;
    const int count = SDL_GetNumDisplayModes(display);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(display, i, &mode) == 0 && mode.w >= 640 && mode.h >= 480) {
            sizes.push_back(DisplayMode{mode.w, mode.h, mode.refresh_rate, Format::X8R8G8B8});
        }
    }
    // The common sizes are offered too where the display has room for them,
    // so that a mode list written for usual monitors finds its sizes on any
    // display (one the driver does not list opens as a frameless window). A
    // driver that lists nothing usable gets them all.
    const bool listed = !sizes.empty();
    for (const auto& size : kCommonSizes) {
        const bool fits = !listed || (size[0] <= info.desktopMode.width &&
                                      size[1] <= info.desktopMode.height);
        const bool known = std::any_of(sizes.begin(), sizes.end(), [&size](const DisplayMode& m) {
            return m.width == size[0] && m.height == size[1];
        });
        if (fits && !known) {
            sizes.push_back(DisplayMode{size[0], size[1], 60, Format::X8R8G8B8});
        }
    }
    // Every size at 32 bits, then every size at 16 bits, each in the driver's
    // order, so refresh-rate variants of one size stay neighbours.
    for (const Format format : {Format::X8R8G8B8, Format::R5G6B5}) {
        for (DisplayMode mode : sizes) {
            mode.format = format;
            info.modes.push_back(mode);
        }
    }
    return info;
}

bool IsDisplayFormat(Format format)
{
    return format == Format::X8R8G8B8 || format == Format::R5G6B5;
}

}  // namespace

std::unique_ptr<RenderSystem> RenderSystem::Open()
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "RenderSystem::Open: no video: %s", SDL_GetError());
        return nullptr;
    }
    std::unique_ptr<RenderSystem> system(new RenderSystem());
    if (!ProbeGl(system->probedCaps, system->glRenderer)) {
        return nullptr;  // the destructor stops the video subsystem again
    }
    const int displays = SDL_GetNumVideoDisplays();
    for (int i = 0; i < displays; ++i) {
        system->adapters.push_back(DescribeDisplay(i, system->glRenderer));
    }
    return system;
}

RenderSystem::~RenderSystem()
{
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

int RenderSystem::GetAdapterCount() const
{
    return static_cast<int>(this->adapters.size());
}

const AdapterInfo* RenderSystem::GetAdapter(int adapter) const
{
    if (adapter < 0 || adapter >= this->GetAdapterCount()) {
        return nullptr;
    }
    return &this->adapters[adapter];
}

int RenderSystem::GetModeCount(int adapter) const
{
    const AdapterInfo* info = this->GetAdapter(adapter);
    return info != nullptr ? static_cast<int>(info->modes.size()) : 0;
}

bool RenderSystem::GetMode(int adapter, int index, DisplayMode& mode) const
{
    const AdapterInfo* info = this->GetAdapter(adapter);
    if (info == nullptr || index < 0 || index >= static_cast<int>(info->modes.size())) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "RenderSystem::GetMode: no mode %d on adapter %d",
                     index, adapter);
        return false;
    }
    mode = info->modes[index];
    return true;
}

bool RenderSystem::GetDesktopMode(int adapter, DisplayMode& mode) const
{
    const AdapterInfo* info = this->GetAdapter(adapter);
    if (info == nullptr) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER, "RenderSystem::GetDesktopMode: no adapter %d",
                     adapter);
        return false;
    }
    mode = info->desktopMode;
    return true;
}

bool RenderSystem::IsUsable(int adapter, DeviceType type) const
{
    // One OpenGL implementation serves both; there is no separate software
    // rasteriser to offer.
    return this->GetAdapter(adapter) != nullptr &&
           (type == DeviceType::Hardware || type == DeviceType::Reference);
}

bool RenderSystem::SupportsDeviceType(int adapter, DeviceType type, Format displayFormat,
                                      Format backBufferFormat, bool windowed) const
{
    (void)windowed;
    if (!this->IsUsable(adapter, type) || !IsDisplayFormat(displayFormat)) {
        return false;
    }
    return backBufferFormat == displayFormat ||
           (displayFormat == Format::X8R8G8B8 && backBufferFormat == Format::A8R8G8B8);
}

bool RenderSystem::SupportsTextureFormat(int adapter, DeviceType type, Format displayFormat,
                                         Format textureFormat) const
{
    if (!this->IsUsable(adapter, type) || !IsDisplayFormat(displayFormat)) {
        return false;
    }
    switch (textureFormat) {
    case Format::R8G8B8:
    case Format::A8R8G8B8:
    case Format::X8R8G8B8:
    case Format::R5G6B5:
    case Format::X1R5G5B5:
    case Format::A1R5G5B5:
    case Format::A4R4G4B4:
    case Format::X4R4G4B4: return true;
    default: return false;
    }
}

bool RenderSystem::SupportsDepthFormat(int adapter, DeviceType type, Format displayFormat,
                                       Format depthFormat) const
{
    if (!this->IsUsable(adapter, type) || !IsDisplayFormat(displayFormat)) {
        return false;
    }
    return depthFormat == Format::D16 || depthFormat == Format::D24X8 ||
           depthFormat == Format::D24S8 || depthFormat == Format::D32;
}

bool RenderSystem::DepthFormatMatches(int adapter, DeviceType type, Format displayFormat,
                                      Format backBufferFormat, Format depthFormat) const
{
    // Depth buffers are separate from the colour buffer here: every pairing works.
    return this->SupportsDeviceType(adapter, type, displayFormat, backBufferFormat, true) &&
           this->SupportsDepthFormat(adapter, type, displayFormat, depthFormat);
}

bool RenderSystem::GetCaps(int adapter, DeviceType type, Caps& caps) const
{
    if (!this->IsUsable(adapter, type)) {
        SDL_LogError(SDL_LOG_CATEGORY_RENDER,
                     "RenderSystem::GetCaps: adapter %d has no device of type %d", adapter,
                     static_cast<int>(type));
        return false;
    }
    caps = this->capsOverride ? *this->capsOverride : this->probedCaps;
    return true;
}

std::unique_ptr<Device> RenderSystem::OpenDevice(int adapter, DeviceType type,
                                                 window::Window& window,
                                                 VertexProcessing processing,
                                                 const PresentParameters& parameters)
{
    Caps caps;
    if (!this->GetCaps(adapter, type, caps)) {
        return nullptr;
    }
    return Device::Create(window, type, processing, caps, parameters);
}

void RenderSystem::OverrideAdapters(std::vector<AdapterInfo> replacement)
{
    this->adapters = std::move(replacement);
}

void RenderSystem::OverrideCaps(std::optional<Caps> caps)
{
    this->capsOverride = caps;
}

}  // namespace render
