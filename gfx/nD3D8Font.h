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
    // Screen text placed across the current viewport, (-1, -1) its top-left and (1, 1)
    // its bottom-right corner, at depth z (0..1). A line is scaleY viewport heights high,
    // and widths grow by that factor times scaleX / scaleY, so equal scales keep the
    // font's proportions.
    void DrawTextScaled(float x, float y, float z, float scaleX, float scaleY, uint32_t color, const char* text,
                        uint32_t flags = 0);
    // Text in the plane z = 0 of object space under the current transforms, one unit per
    // ten pixels of glyph, facing -z: its first line stands on the origin and reads
    // along +x, later lines go down. CENTERED centres the whole text on the origin;
    // TWOSIDED shows it from behind too. Lighting and material stay the caller's.
    void Render3DText(const char* text, uint32_t flags = 0);

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
    struct Vertex3D {
        float x, y, z;
        float nx, ny, nz;
        float u, v;
    };
    bool recordBlock(uint32_t& block);
    // Saves the caller's state and applies the text state; false without device objects.
    bool begin(const char* text, uint32_t drawFlags);
    // One glyph quad per character from (x, y) on, each glyph's texel size times
    // (scaleW, scaleH), a line feed moving y by lineStep; place(quad, x, y, w, h, coords)
    // writes the six vertices. Drawn in batches; the caller's state comes back last.
    template <typename V, typename Place>
    void drawGlyphs(const char* text, V* quads, unsigned layout, float x, float y, float scaleW, float scaleH,
                    float lineStep, Place place);
    // Texel size of a text: the widest line and the lines' total height.
    void measure(const char* text, float& width, float& height) const;
    float lineHeight() const { return (coords[0][3] - coords[0][1]) * float(texHeight); }

    char faceName[80];
    uint32_t height;
    uint32_t flags;
    render::Device* device = nullptr;
    std::unique_ptr<render::Texture> texture;
    std::vector<Vertex> vertices;
    std::vector<Vertex3D> vertices3d;
    uint32_t texWidth = 0;
    uint32_t texHeight = 0;
    float textScale = 1.0f;
    float coords[224][4] = {};
    uint32_t savedBlock = 0;
    uint32_t drawBlock = 0;
    int batches = 0;
};
