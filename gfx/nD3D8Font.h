#pragma once
// The graphics server's screen font: the glyphs of one face are rendered once into
// a texture, and each character of a string becomes a textured quad drawn in batches
// between two recorded state blocks (the caller's state is saved and restored).
#include <cstdint>
#include <memory>
#include <vector>

namespace render {
class Device;
class Texture;
}  // namespace render

class nD3D8Font {
public:
    enum Flags : uint32_t { BOLD = 1, ITALIC = 2 };
    enum DrawFlags : uint32_t { CENTERED = 1, TWOSIDED = 2, FILTERED = 4 };
    // Vertices a batch holds; a batch is drawn once more than BatchLimit are written.
    static constexpr int BatchVertices = 300;
    static constexpr int BatchLimit = 294;

    nD3D8Font(const char* faceName, uint32_t height, uint32_t flags);
    ~nD3D8Font();

    // Builds the glyph texture; false (logged) without face or texture.
    bool InitDeviceObjects(render::Device* device);
    // Records the two state blocks.
    bool RestoreDeviceObjects();
    void InvalidateDeviceObjects();
    void DeleteDeviceObjects();

    // Pixel size of a text: the widest line and the lines' total height.
    void GetTextExtent(const char* text, int& width, int& height) const;
    // Screen text at pixel (x, y) in an 0xAARRGGBB colour.
    void DrawText(float x, float y, uint32_t color, const char* text, uint32_t flags = 0);

    uint32_t GetTextureWidth() const { return texWidth; }
    uint32_t GetTextureHeight() const { return texHeight; }
    float GetTextScale() const { return textScale; }
    int GetBatchCount() const { return batches; }
    bool HasDeviceObjects() const { return texture != nullptr && drawBlock != 0; }

private:
    struct Vertex {
        float x, y, z, rhw;
        uint32_t color;
        float u, v;
    };
    bool recordBlock(uint32_t& block);
    void flush(int count);

    char faceName[80];
    uint32_t height;
    uint32_t flags;
    render::Device* device = nullptr;
    std::unique_ptr<render::Texture> texture;
    std::vector<Vertex> vertices;
    uint32_t texWidth = 0;
    uint32_t texHeight = 0;
    float textScale = 1.0f;
    float coords[224][4] = {};
    uint32_t savedBlock = 0;
    uint32_t drawBlock = 0;
    int batches = 0;
};
