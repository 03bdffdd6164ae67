#pragma once
// A render device on an OpenGL compatibility context, shaped after the
// fixed-function device the engine's graphics server drives. It keeps every
// render state, texture-stage state, transform, the viewport, material and
// eight lights in a shadow copy that starts at the defaults of a fresh device,
// and brings the differences to OpenGL when something is drawn (or cleared).
// Matrices are row-major with row vectors; depth in clip space runs 0..1 and is
// remapped to OpenGL's -1..1 here. Screen rows count from the top.
//
// Frames are drawn into the device's own back buffer (see FrameBuffers) and
// shown in the window by Present, or, where the window's own buffer matches
// the back buffer, straight into the window. Clear ignores the colour, depth and stencil
// write masks. State blocks record, apply and capture sets of states; while
// one is being recorded, Set calls only record. The back buffer can be locked
// for CPU access in the display format. Device loss never happens on OpenGL,
// but can be simulated so that the caller's reset path runs.
//
// Vertex and index buffers are OpenGL buffer objects (DeviceBuffer), drawn
// through the stream source, indices and vertex layout set beforehand.
// Textures (see Texture) are sampled by the stages that hold one, with their
// filter, address and mip states. Each stage's colour and alpha operations
// become a texture-environment combiner; a stage whose colour operation is off
// ends the cascade, and an active stage without a texture reads white. The
// texture factor is every combiner's constant colour. Texture transforms of
// two-dimensional coordinates and coordinates generated from camera-space
// positions and normals are applied per stage.

#include "platform/render/DeviceBuffer.h"
#include "platform/render/FrameBuffers.h"
#include "platform/render/RenderState.h"
#include "platform/render/RenderTypes.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace window {
class Window;
}

namespace render {

class StateBlock;
class VertexArrays;
class Texture;

class Device {
public:
    // The widest and tallest back buffer a device is made with.
    static constexpr int MaxBackBufferSize = 8192;

    // Used by RenderSystem::OpenDevice.
    static std::unique_ptr<Device> Create(window::Window& window, DeviceType type,
                                          VertexProcessing processing, const Caps& caps,
                                          const PresentParameters& parameters);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    const Caps& GetCaps() const { return this->caps; }
    DeviceType GetDeviceType() const { return this->deviceType; }
    VertexProcessing GetVertexProcessing() const { return this->processing; }
    const PresentParameters& GetPresentParameters() const { return this->parameters; }
    // Size and format of what is shown: the back buffer's.
    DisplayMode GetDisplayMode() const;
    int GetDepthBits() const;
    int GetStencilBits() const;

    // --- loss and reset
    DeviceState CheckDeviceState() const { return this->state; }
    // Recreates the buffers with new parameters and returns every state to its
    // default. Fails while the device is lost and cannot be reset yet.
    bool Reset(const PresentParameters& parameters);
    // Test hook: what CheckDeviceState reports from now on.
    void SimulateDeviceState(DeviceState simulated);

    // --- frame
    bool BeginScene();
    bool EndScene();
    bool IsInScene() const { return this->inScene; }
    // Shows the back buffer in the window.
    bool Present();
    // Clears the viewport's part of the chosen buffers (kClear... flags);
    // colour is 0xAARRGGBB. Asking for depth or stencil that the device does not
    // have fails.
    bool Clear(unsigned flags, uint32_t argb, float depth, uint32_t stencil);

    // --- state
    bool SetViewport(const Viewport& viewport);
    const Viewport& GetViewport() const { return this->viewport; }
    // Draws are clipped to the rectangle (pixels, rows from the top, clipped to the
    // back buffer) while one is set; null sets none. Clears are never clipped by it.
    bool SetScissorRect(const Rect* rect);
    // False when no rectangle is set.
    bool GetScissorRect(Rect& rect) const;
    bool SetTransform(TransformKind kind, const Matrix& matrix);
    const Matrix& GetTransform(TransformKind kind) const;
    bool SetRenderState(RenderState state, uint32_t value);
    uint32_t GetRenderState(RenderState state) const;
    bool SetTextureStageState(int stage, StageState state, uint32_t value);
    uint32_t GetTextureStageState(int stage, StageState state) const;
    void SetMaterial(const Material& material);
    const Material& GetMaterial() const { return this->material; }
    bool SetLight(int index, const Light& light);
    bool EnableLight(int index, bool enable);
    // Out-of-range indices read light 0.
    const Light& GetLight(int index) const;
    bool IsLightEnabled(int index) const;

    // --- state blocks; handles are never 0
    bool BeginStateBlock();
    // 0 when no recording was begun.
    uint32_t EndStateBlock();
    bool ApplyStateBlock(uint32_t handle);
    bool CaptureStateBlock(uint32_t handle);
    bool DeleteStateBlock(uint32_t handle);
    bool IsRecordingStateBlock() const { return this->recording != nullptr; }

    // --- gamma (only where the capabilities report full-screen gamma)
    bool SetGammaRamp(const GammaRamp& ramp, bool calibrate);
    const GammaRamp& GetGammaRamp() const { return this->gammaRamp; }

    // --- back buffer access
    // Reads the rectangle (clipped to the back buffer) into memory in the
    // back-buffer format, top row first; Unlock writes it back. Without
    // `keepContents` nothing is read: the memory holds whatever it held, for
    // callers that write every pixel (a video frame).
    bool LockBackBuffer(const Rect& rect, LockedRect& locked, bool keepContents = true);
    bool UnlockBackBuffer();
    bool IsBackBufferLocked() const { return this->locked; }
    // The last presented frame as 0xAARRGGBB words, top row first. Fails
    // (logged) only where frames go straight into the window and the next one
    // has begun: from the next present on, presented frames are kept.
    bool CopyFrontBuffer(std::vector<uint32_t>& argb, int& width, int& height);
    // Frames go straight into the window's own buffer.
    bool IsDrawingIntoWindow() const { return this->buffers.IsDirect(); }
    // Something outside the device changed OpenGL's framebuffer or vertex
    // array bindings: bind again before the next use.
    void ForgetBindings();

    // --- pointer
    // 32-bit 0xAARRGGBB pixels, rows top-down.
    bool SetCursorImage(int hotX, int hotY, int width, int height, const uint32_t* argb);
    // Shows or hides the image pointer; returns whether it was shown before.
    bool ShowCursor(bool show);
    // The pointer follows the system's mouse; moving it here would feed
    // motion back into the window's messages, so this does nothing.
    void SetCursorPosition(int x, int y);

    // --- drawing
    // Draws vertices from memory (layout: VertexFormatFlags) with the current
    // states. Only inside BeginScene/EndScene.
    bool DrawUserPrimitives(PrimitiveType type, int primitiveCount, unsigned vertexFormat,
                            const void* vertices, int stride);

    // Draws primitives from 16-bit indices in memory over vertices in memory (layout:
    // VertexFormatFlags with untransformed positions); index i reaches vertex i, and the
    // indices lie in minIndex .. minIndex + numVertices - 1. Only inside a scene.
    bool DrawIndexedUserPrimitives(PrimitiveType type, int minIndex, int numVertices, int primitiveCount,
                                   const uint16_t* indices, unsigned vertexFormat, const void* vertices,
                                   int stride);

    // --- vertex and index buffers, indexed drawing (DeviceBuffers.cc)
    // Null (and a log line) for a size of 0 or beyond reason.
    std::unique_ptr<DeviceBuffer> CreateVertexBuffer(size_t bytes, BufferUsage usage);
    // 16-bit indices.
    std::unique_ptr<DeviceBuffer> CreateIndexBuffer(size_t count, BufferUsage usage);
    size_t GetLiveBufferCount() const;
    // Null unsets. The stride is in bytes.
    bool SetStreamSource(DeviceBuffer* buffer, int stride);
    // Index i draws vertex baseVertex + i of the stream.
    bool SetIndices(DeviceBuffer* buffer, int baseVertex);
    // A VertexFormatFlags layout with untransformed positions.
    bool SetVertexFormat(unsigned format);
    // Draws primitives from the indices at startIndex, which reach the
    // vertices minIndex .. minIndex + numVertices - 1 (relative to the base
    // vertex). Refused, with a log line, when anything is missing, locked or
    // outside its buffer.
    bool DrawIndexedPrimitive(PrimitiveType type, int minIndex, int numVertices, int startIndex,
                              int primitiveCount);

    // --- textures (DeviceTextures.cc)
    // levels 0 makes the full chain down to 1x1. Null (logged) for a size
    // outside 1..the capabilities' maximum, a negative level count or a format
    // that is no texture format.
    std::unique_ptr<Texture> CreateTexture(int width, int height, int levels, Format format);
    // Null clears the stage. The texture must stay alive while it is set; a
    // destroyed texture leaves every stage that held it.
    bool SetTexture(int stage, Texture* texture);
    Texture* GetTexture(int stage) const;

private:
    friend class Texture;
    void ApplyTextures();
    void BindForUpload(Texture* texture);
    void ForgetTexture(Texture* texture);
    void DetachTextures();
    void ReleaseWhiteTexture();
    std::vector<Texture*> liveTextures;
    // What each texture unit's combiner, constant, coordinate generation and
    // texture matrix were last set to.
    struct UnitState {
        std::array<uint32_t, 6> combine{};
        bool combineKnown = false;
        uint32_t factor = 0;
        bool factorKnown = false;
        int generate = 0;
        Matrix matrix = IdentityMatrix();
        bool matrixKnown = true;
    };
    std::array<UnitState, kMaxTextureStages> units{};
    // The 1x1 white texture of active stages without one (0 until needed).
    unsigned whiteTexture = 0;
    std::array<Texture*, kMaxTextureStages> stageTextures{};
    // What OpenGL's texture units hold: bound texture name, GL_TEXTURE_2D
    // enabled (-1 unknown), level-of-detail bias bits; and the active unit.
    std::array<unsigned, kMaxTextureStages> unitBound{};
    std::array<int, kMaxTextureStages> unitEnabled{-1, -1, -1, -1, -1, -1, -1, -1};
    std::array<uint32_t, kMaxTextureStages> unitLodBias{};
    int activeUnit = -1;

    Device(window::Window& window, DeviceType type, VertexProcessing processing,
           const Caps& caps);
    bool Open(const PresentParameters& parameters);
    bool ApplyParameters(const PresentParameters& requested);
    void ResetStates();
    void MakeCurrent() const;
    void FlushForDraw(unsigned vertexFormat);
    void ApplyRenderStateGroups(uint32_t groups);
    void ApplyTransformsAndLights();
    void ApplyLight(int index);
    void ApplyMaterial();
    void ApplyColorMaterial(unsigned vertexFormat);

    window::Window& window;
    DeviceType deviceType;
    VertexProcessing processing;
    Caps caps;
    PresentParameters parameters;
    void* context = nullptr;
    FrameBuffers buffers;
    DeviceState state = DeviceState::Ready;
    bool inScene = false;

    std::array<uint32_t, kRenderStateCount> renderStates{};
    std::array<std::array<uint32_t, kStageStateCount>, kMaxTextureStages> stageStates{};
    std::array<Matrix, static_cast<int>(TransformKind::Count)> transforms{};
    Viewport viewport;
    Material material;
    std::array<Light, kMaxLights> lights{};
    std::array<bool, kMaxLights> lightEnabled{};

    // What OpenGL does not yet reflect.
    uint32_t dirtyGroups = 0;
    bool transformsDirty = true;  // the model-view
    // The view as OpenGL takes it; made again with the lights.
    Matrix glView = IdentityMatrix();
    // What GL_SPOT_EXPONENT takes at most (128 unless the driver says more).
    float maxSpotExponent = 128.0f;
    bool projectionDirty = true;
    bool lightsDirty = true;
    bool viewportDirty = true;
    bool materialDirty = true;
    // The extra depth bits the bias was last applied for.
    int biasDepthBits = 0;
    bool scissorOn = false;
    Rect scissor;
    bool scissorDirty = true;
    int colorMaterialMode = -1;

    std::unique_ptr<StateBlock> recording;
    std::map<uint32_t, std::unique_ptr<StateBlock>> stateBlocks;
    uint32_t nextStateBlock = 1;

    GammaRamp gammaRamp;
    bool cursorShown = false;

    bool locked = false;
    LockedRect lockInfo;
    std::vector<uint8_t> lockBytes;

    std::unique_ptr<VertexArrays> arrays;
    // Screen-space positions of the last screen-space draw, reused.
    std::vector<float> screenPositions;
};

}  // namespace render
