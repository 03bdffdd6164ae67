#pragma once
// Plain types of the render layer: pixel and depth formats (numbered as the
// engine writes them under /sys/share/display), display modes, adapters,
// device capabilities, present parameters, viewport, matrices, material,
// lights, gamma ramp, rectangles and vertex layouts.

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace render {

enum class Format : int {
    Unknown = 0,
    R8G8B8 = 20,
    A8R8G8B8 = 21,
    X8R8G8B8 = 22,
    R5G6B5 = 23,
    X1R5G5B5 = 24,
    A1R5G5B5 = 25,
    A4R4G4B4 = 26,
    X4R4G4B4 = 30,
    D32 = 71,
    D15S1 = 73,
    D24S8 = 75,
    D24X8 = 77,
    D24X4S4 = 79,
    D16 = 80,
};

// Bits per pixel of a colour, depth or stencil format; 0 for others.
constexpr int FormatBits(Format format)
{
    switch (format) {
    case Format::R8G8B8: return 24;
    case Format::A8R8G8B8:
    case Format::X8R8G8B8:
    case Format::D32:
    case Format::D24S8:
    case Format::D24X8:
    case Format::D24X4S4: return 32;
    case Format::R5G6B5:
    case Format::X1R5G5B5:
    case Format::A1R5G5B5:
    case Format::A4R4G4B4:
    case Format::X4R4G4B4:
    case Format::D15S1:
    case Format::D16: return 16;
    default: return 0;
    }
}

constexpr int DepthBits(Format format)
{
    switch (format) {
    case Format::D32: return 32;
    case Format::D15S1: return 15;
    case Format::D24S8:
    case Format::D24X8:
    case Format::D24X4S4: return 24;
    case Format::D16: return 16;
    default: return 0;
    }
}

constexpr int StencilBits(Format format)
{
    switch (format) {
    case Format::D15S1: return 1;
    case Format::D24S8: return 8;
    case Format::D24X4S4: return 4;
    default: return 0;
    }
}

enum class DeviceType : int { Hardware = 1, Reference = 2, Software = 3 };

enum class VertexProcessing { Software, Hardware, PureHardware };

struct DisplayMode {
    int width = 0;
    int height = 0;
    int refreshRate = 0;
    Format format = Format::Unknown;
};

struct AdapterInfo {
    std::string driverName;
    std::string description;
    DisplayMode desktopMode;
    std::vector<DisplayMode> modes;
};

struct Caps {
    int maxSimultaneousTextures = 1;
    int maxTextureWidth = 256;
    int maxTextureHeight = 256;
    int maxActiveLights = 8;
    bool hardwareTransformAndLight = true;
    bool pureDevice = false;
    bool fullScreenGamma = false;
    bool canCalibrateGamma = false;
};

struct PresentParameters {
    int backBufferWidth = 0;
    int backBufferHeight = 0;
    Format backBufferFormat = Format::X8R8G8B8;
    int backBufferCount = 1;
    bool windowed = true;
    // Format::Unknown: no depth buffer.
    Format depthStencilFormat = Format::D16;
    bool waitForVerticalSync = true;
};

// What the device reports before a frame.
enum class DeviceState {
    Ready,
    Lost,        // lost and cannot be reset yet
    NeedsReset,  // lost, and can be reset now
};

struct Viewport {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    float minZ = 0.0f;
    float maxZ = 1.0f;
};

// Row-major 4x4, row vectors (v' = v * M), translation in elements 12..14.
using Matrix = std::array<float, 16>;

constexpr Matrix IdentityMatrix()
{
    return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

enum class TransformKind : int {
    View,
    Projection,
    World,
    Texture0,
    Texture1,
    Texture2,
    Texture3,
    Texture4,
    Texture5,
    Texture6,
    Texture7,
    Count
};

struct Color4 {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;
    bool operator==(const Color4&) const = default;
};

struct Material {
    Color4 diffuse;
    Color4 ambient;
    Color4 specular;
    Color4 emissive;
    float power = 0.0f;
    bool operator==(const Material&) const = default;
};

enum class LightType : int { Point = 1, Spot = 2, Directional = 3 };

struct Light {
    LightType type = LightType::Directional;
    Color4 diffuse{1.0f, 1.0f, 1.0f, 0.0f};
    Color4 specular;
    Color4 ambient;
    float position[3] = {0.0f, 0.0f, 0.0f};
    float direction[3] = {0.0f, 0.0f, 1.0f};
    float range = 0.0f;
    float falloff = 0.0f;
    float attenuation0 = 0.0f;
    float attenuation1 = 0.0f;
    float attenuation2 = 0.0f;
    float theta = 0.0f;  // inner cone, radians
    float phi = 0.0f;    // outer cone, radians
    bool operator==(const Light&) const = default;
};

struct GammaRamp {
    std::array<uint16_t, 256> red{};
    std::array<uint16_t, 256> green{};
    std::array<uint16_t, 256> blue{};
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct LockedRect {
    void* bits = nullptr;  // first pixel of the top row
    int pitch = 0;         // bytes from one row to the next (negative: rows lie bottom-up)
    Format format = Format::Unknown;
    Rect rect;             // what was locked, clipped to the back buffer
};

// Flags of Device::Clear.
enum ClearFlags : unsigned {
    kClearTarget = 1,
    kClearDepth = 2,
    kClearStencil = 4,
};

enum class PrimitiveType : int {
    PointList = 1,
    LineList,
    LineStrip,
    TriangleList,
    TriangleStrip,
    TriangleFan,
};

// Vertex layout flags; components are interleaved in this order: position
// (3 floats, or 4 with the reciprocal w of screen-space vertices), normal
// (3 floats), diffuse colour (32-bit 0xAARRGGBB), texture coordinate sets
// (2 floats each).
enum VertexFormatFlags : unsigned {
    kVertexPosition = 0x1,
    kVertexPositionRhw = 0x2,  // already transformed: x, y in pixels, z 0..1, 1/w
    kVertexNormal = 0x4,
    kVertexDiffuse = 0x8,
    // A diffuse colour of the bytes R, G, B, A instead (in place of kVertexDiffuse):
    // the order software OpenGL reads without converting the vertices.
    kVertexDiffuseRgba = 0x10,
};
constexpr unsigned VertexTexSets(unsigned count)
{
    return count << 8;
}
constexpr unsigned VertexTexSetCount(unsigned format)
{
    return (format >> 8) & 0xF;
}
// Bytes of one vertex of the given layout.
constexpr int VertexSize(unsigned format)
{
    int size = 0;
    if (format & kVertexPosition) size += 12;
    if (format & kVertexPositionRhw) size += 16;
    if (format & kVertexNormal) size += 12;
    if (format & (kVertexDiffuse | kVertexDiffuseRgba)) size += 4;
    size += static_cast<int>(VertexTexSetCount(format)) * 8;
    return size;
}

// Float-valued render states carry the float's bits.
inline uint32_t FloatBits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}
inline float BitsFloat(uint32_t bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

}  // namespace render
