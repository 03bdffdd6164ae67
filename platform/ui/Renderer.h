#pragma once
// Draws the tool windows' draw data through the render device, after everything else
// of the frame and before it is presented: textured, vertex-coloured triangles from
// 16-bit indices at each command's vertex offset, clipped by the device's scissor
// rectangle. The device's states are put back afterwards. It owns the device objects it
// draws with (font texture, buffers): make it per device and drop it before the device.
#include <cstddef>
#include <memory>
#include <vector>

struct ImDrawData;

namespace render {
class Device;
class DeviceBuffer;
class Texture;
}  // namespace render

namespace ui {

class Host;

class Renderer {
public:
    explicit Renderer(render::Device& device);
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Draws the host's last frame (nothing when it showed no window). Inside a scene.
    bool Draw(Host& host);

private:
    bool MakeFontTexture(Host& host);
    bool Upload(const ImDrawData& data);
    void DrawLists(const ImDrawData& data);

    render::Device& device;
    std::unique_ptr<render::Texture> font;
    std::unique_ptr<render::DeviceBuffer> vertices;
    std::unique_ptr<render::DeviceBuffer> indices;
    size_t vertexCapacity = 0;
    size_t indexCapacity = 0;
};

}  // namespace ui
