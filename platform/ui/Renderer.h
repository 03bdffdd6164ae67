#pragma once
// Draws the tool windows' draw data through the render device, after everything else
// of the frame and before it is presented: textured, vertex-coloured triangles from
// 16-bit indices at each command's vertex offset, clipped by the device's scissor
// rectangle, from memory as raw OpenGL would draw them. The device's states are put back
// afterwards. It owns the font texture: make it per device and drop it before the device.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct ImDrawData;

namespace render {
class Device;
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

public:
    // What the device draws: position, colour, texture coordinates.
    struct Vertex {
        float x, y, z;
        uint32_t rgba;  // ImGui's packing: red in the low byte
        float u, v;
    };

private:
    bool MakeFontTexture(Host& host);
    // ImGui's vertices in the device's layout, kept in memory the draws read from.
    void Convert(const ImDrawData& data);
    void DrawLists(const ImDrawData& data);

    render::Device& device;
    std::unique_ptr<render::Texture> font;
    std::vector<Vertex> vertices;
};

}  // namespace ui
