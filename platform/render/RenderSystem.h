#pragma once
// The renderer's entry point on OpenGL: the adapters (one per SDL display)
// with their full-screen modes, the checks the graphics server makes before it
// opens a device (device type, texture, depth and depth/colour pairings), the
// capabilities, and the opening of a device on the engine's window.
//
// Modes come from SDL, completed by common sizes (640x480 to 1920x1080) that
// fit the desktop; where the driver lists none usable (the offscreen driver
// lists a single 0x0 mode) all the common sizes are listed. Each size
// is offered at 32 bits (X8R8G8B8) and at 16 bits (R5G6B5); rendering is
// always 32-bit, and a 16-bit mode shows only in the back-buffer lock format.
// The hardware and reference device types are available, the software one is
// not. Depth formats D16, D24X8, D24S8 and D32 are.

#include "platform/render/RenderTypes.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace window {
class Window;
}

namespace render {

class Device;

class RenderSystem {
public:
    // Starts SDL's video subsystem and probes OpenGL through a hidden window.
    // Null (and a log line) when no OpenGL context with framebuffer objects can
    // be had.
    static std::unique_ptr<RenderSystem> Open();
    ~RenderSystem();
    RenderSystem(const RenderSystem&) = delete;
    RenderSystem& operator=(const RenderSystem&) = delete;

    int GetAdapterCount() const;
    // Null for an adapter that does not exist.
    const AdapterInfo* GetAdapter(int adapter) const;
    int GetModeCount(int adapter) const;
    bool GetMode(int adapter, int index, DisplayMode& mode) const;
    bool GetDesktopMode(int adapter, DisplayMode& mode) const;

    bool SupportsDeviceType(int adapter, DeviceType type, Format displayFormat,
                            Format backBufferFormat, bool windowed) const;
    bool SupportsTextureFormat(int adapter, DeviceType type, Format displayFormat,
                               Format textureFormat) const;
    bool SupportsDepthFormat(int adapter, DeviceType type, Format displayFormat,
                             Format depthFormat) const;
    bool DepthFormatMatches(int adapter, DeviceType type, Format displayFormat,
                            Format backBufferFormat, Format depthFormat) const;
    bool GetCaps(int adapter, DeviceType type, Caps& caps) const;

    // Opens a device drawing into the window; a full-screen device switches the
    // window to full screen. The window must outlive the device. Null (and a
    // log line) when the parameters are unusable or OpenGL refuses.
    std::unique_ptr<Device> OpenDevice(int adapter, DeviceType type, window::Window& window,
                                       VertexProcessing processing,
                                       const PresentParameters& parameters);

    const std::string& GetGlRenderer() const { return this->glRenderer; }

    // Test hooks: replace the adapter list, or the capabilities that GetCaps
    // reports and new devices use (std::nullopt restores the probed ones).
    void OverrideAdapters(std::vector<AdapterInfo> adapters);
    void OverrideCaps(std::optional<Caps> caps);

private:
    RenderSystem() = default;
    bool IsUsable(int adapter, DeviceType type) const;

    std::vector<AdapterInfo> adapters;
    Caps probedCaps;
    std::optional<Caps> capsOverride;
    std::string glRenderer;
};

}  // namespace render
