#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gfx/nGfxServer.h"
#include "gfx/nPixelFormat.h"
#include "gfx/nVertexBuffer.h"
#include "gfx/nVertexPoolManager.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "platform/render/RenderTypes.h"
#include "platform/window/WindowMessage.h"

namespace ui {
class Renderer;
}

namespace window {
class Window;
}
namespace render {
class Device;
class RenderSystem;
}  // namespace render

// The graphics server on the render layer (script class "nd3d8server", no commands of
// its own). It owns the main window, lists the adapters and their full-screen modes
// under /sys/share/display, opens, resets and closes the device a display-mode string
// describes, and carries frames, transforms, lights and the engine's render-state codes
// to the device.
class nInputServer;
class nPrimitiveBuilder;
class nD3D8Font;

class nD3D8Server : public nGfxServer {
public:
    static const nClassInfo classInfo;

    nD3D8Server();
    ~nD3D8Server() override;

    // ---- display
    bool SetDisplayMode(const char* mode) override;
    // While a display is open, a mode that cannot be made returns false and leaves the
    // display open at the mode it had.
    bool OpenDisplay() override;
    void CloseDisplay() override;
    bool IsDisplayOpen() override;
    bool GetDisplayDesc(int& x0, int& y0, int& x1, int& y1) override;
    bool GetFeature(int& value) override;
    void SetWindowTitle(const char* title) override;
    // Pumps the window's messages; false once the window was asked to close.
    bool Trigger() override;

    // ---- frame
    void SetViewVolume(float minx, float maxx, float miny, float maxy, float minz, float maxz) override;
    void SetClearColor(float r, float g, float b, float a) override;
    void GetClearColor(float& r, float& g, float& b, float& a) override;
    bool Screenshot(const char* file) override;
    bool ScaledScreenshot(const char* file, int w, int h) override;
    int GetColorFormat() override;
    int GetStencilBits() override;
    bool BeginScene() override;
    void EndScene() override;
    // Shows the whole back buffer.
    bool Present();
    void SetMatrix(int type, const matrix44& m) override;
    void PushMatrix(int type) override;
    void PopMatrix(int type) override;
    void SetRenderState(const nRenderState& state) override;
    bool SetLight(const nLight& light) override;
    // ---- immediate mode (nD3D8ServerImmediate.cc); types 0..5 as index buffers name them
    void Begin(int primitive) override;
    void Coord(float x, float y, float z) override;
    void Norm(float x, float y, float z) override;
    void Rgba(float r, float g, float b, float a) override;
    // Texture coordinate set 0 (the layer is not used).
    void Uv(int layer, float u, float v);
    void End() override;
    // Null until the first Begin.
    nPrimitiveBuilder* GetPrimitiveBuilder() const { return primBuilder.get(); }

    // ---- screen text (nD3D8ServerText.cc): queued, drawn at EndScene with the font
    void SetTextPos(float x, float y) override;
    void SetTextColor(float r, float g, float b, float a) override;
    bool Text(const char* text) override;
    // Null while no display is open.
    nD3D8Font* GetFont() const { return font.get(); }
    int GetQueuedTextCount() const { return textCount; }

    bool BeginText() override;
    bool EndText() override;
    // The rectangle must lie inside the back buffer; the bits are in the display
    // format, top row first, `*pitch` bytes apart.
    void* LockBackBuffer(const float* rect, nPixelFormat** format, int* pitch) override;
    void* LockBackBufferForWrite(const float* rect, nPixelFormat** format, int* pitch) override;
    void UnlockBackBuffer() override;
    void ShowCursor() override;
    void HideCursor() override;
    void SetGamma(float r, float g, float b) override;
    void SetMaxTextureSize(int size) override;

    // ---- vertex pools, vertex and index buffers (nD3D8ServerBuffers.cc)
    nVertexPool* NewVertexPool(nVertexPoolManager* manager, int kind, int components, int capacity) override;
    nVertexBuffer* NewVertexBuffer(const char* name, int usage, int components, int count) override;
    nIndexBuffer* NewIndexBuffer(const char* name) override;
    nVertexBuffer* NewDynamicVertexBuffer(int components, int count) override;
    void DynamicVertexBufferDone(nVertexBuffer* buffer) override;
    // Managers by pool kind: 0 static, 1 ordinary memory, 2 and 3 the dynamic buffers
    // "_dynamic0" and "_dynamic1"; null while no display is open.
    nVertexPoolManager* GetPoolManager(int index) const;

    // The main window's message handler; false hands the message to the window's
    // default processing.
    bool WindowProc(const window::Message& msg);

    // The engine key code of a Windows virtual-key number (1..220), 0 for keys
    // without one.
    static int TranslateKey(int virtualKey);

    // Rebuilds /sys/share/display from the render system's adapters and modes.
    void EnumAdapters();

    // Entry i of each channel: min(255, i * factor) * 256 + 255; a negative factor
    // counts as 0.
    static void BuildGammaRamp(float r, float g, float b, render::GammaRamp& ramp);
    // Name of a Direct3D 8 result code, "*** UNDEFINED ***" for others.
    static const char* GetD3DErrorName(uint32_t hr);

    // For the device objects (textures, buffers, pixel shaders) and for tests.
    render::Device* GetDevice() const { return device.get(); }
    render::RenderSystem* GetRenderSystem() const { return d3d.get(); }
    window::Window* GetWindow() const { return window.get(); }
    int GetDisplayWidth() const { return dispWidth; }
    int GetDisplayHeight() const { return dispHeight; }
    bool IsFullScreen() const { return fullScreen; }
    bool IsMinimised() const { return windowMinimised; }
    bool IsInScene() const { return inScene; }
    bool IsFogEnabled() const { return fogEnabled; }
    uint32_t GetStencilClear() const { return stencilClear; }
    uint32_t GetPackedClearColor() const { return clearColorPacked; }
    bool IsSystemCursorShown() const { return systemCursorShown; }
    bool IsDeviceCursorShown() const { return deviceCursorShown; }
    // The full-screen mode node the last SetDisplayMode selected, null for none.
    nRoot* GetSelectedMode() const { return refMode.GetUnsafe(); }
    const render::PresentParameters& GetPresentParameters() const { return presentParams; }

    // ---- textures (nD3D8ServerTextures.cc)
    static constexpr int MaxTextureStages = 4;
    nTexture* NewTexture(const char* name) override;
    // Puts a device texture (null: none) on a stage 0 to 3 of the device and records it.
    void SetTexture(int stage, nTexture* texture);
    nTexture* GetStageTexture(int stage) const;
    // Clears every stage that holds the texture, on the device and in the record.
    void ClearTexture(nTexture* texture);

    // ---- pixel shaders (nD3D8ServerShaders.cc)
    nPixelShader* NewPixelShader(const char* name) override;
    // Texture stages the device samples in one pass (at most MaxTextureStages).
    int GetMaxSimultaneousTextures() const;
    // Tests: pretend the device samples only `count` stages at once (0: the device's).
    void OverrideMaxSimultaneousTextures(int count) { maxTexturesOverride = count; }
    // The shader of the last draw: a single-pass shader drawn again applies only what changed.
    nPixelShader* GetLastPixelShader() const { return lastPixelShader; }
    void SetLastPixelShader(nPixelShader* shader) { lastPixelShader = shader; }

private:
    // Both locks; without `keepContents` the frame's pixels are not read back.
    void* lockBackBuffer(const float* rect, nPixelFormat** format, int* pitch, bool keepContents);
    nTexture* stageTextures[MaxTextureStages] = {};
    int maxTexturesOverride = 0;
    nPixelShader* lastPixelShader = nullptr;
    std::unique_ptr<nPrimitiveBuilder> primBuilder;
    // The font and its device objects.
    std::unique_ptr<nD3D8Font> font;
    // Draws the tool windows; made at their first frame, dropped before the device.
    std::unique_ptr<ui::Renderer> uiRenderer;
    void makeFontObjects();
    void drawTexts();
    struct TextRecord {
        std::string text;
        float x, y;
        float color[4];
    };
    // Records are reused from frame to frame; textCount of them are queued.
    std::vector<TextRecord> textQueue;
    int textCount = 0;
    float textPos[2] = {0.0f, 0.0f};
    float textColor[4] = {1.0f, 1.0f, 1.0f, 1.0f};

    void winOpen();
    void winClose();
    void d3dOpen();
    int enumDisplayModes(int adapter);
    void selectAdapter(int n);
    // The render system's number of the selected adapter.
    int adapterOrdinal() const;
    bool devOpen();
    void devClose();
    // The mode text of the open display, which a failed replacement opens again.
    std::string openMode;
    bool testResetDevice();
    void initDeviceState();
    void placeWindow();
    // Gives the device a window it can draw straight into where resizing cannot.
    void fitWindow(render::Format depthFormat);
    void sendViewVolume();
    // Posts key, character, mouse position and mouse button events to the input
    // server when there is one.
    void postInputEvent(const window::Message& msg);

    nPathRef<nInputServer> refInput;
    std::unique_ptr<window::Window> window;
    std::unique_ptr<render::RenderSystem> d3d;
    std::unique_ptr<render::Device> device;
    int numAdapters;
    int selAdapter;
    nRef<nRoot> refAdapter;
    nRef<nRoot> refMode;
    render::Caps caps;
    bool windowOpen;
    bool windowMinimised;
    bool fullScreen;
    bool quitRequested;
    bool adaptersEnumerated;
    bool adapterSelected;
    // False after a display-mode string that cannot be opened.
    bool modeValid;
    bool systemCursorShown;
    bool deviceCursorShown;
    // The cursor whose image the device shows (index, texture and file), so that showing
    // it again, as the observer does every frame, makes no new image.
    int imageCursor = -1;
    bool imageMade = false;  // whether the driver took that cursor's image
    const void* imageTexture = nullptr;
    std::string imageFile;
    // The back buffer lock's format, kept here so that a lock every frame makes none.
    nPixelFormat lockFormat{32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    render::PresentParameters presentParams;
    render::DeviceType devType;
    int dispWidth;
    int dispHeight;
    uint32_t clearColorPacked;
    bool displayOpen;
    bool inScene;
    bool fogEnabled;
    uint32_t stencilClear;
    matrix44 devModelview;
    matrix44 devProjection;
    matrix44 devModelviewStack[ModelviewStackDepth];
    matrix44 devProjectionStack[OtherStackDepth];
    int devModelviewDepth;
    int devProjectionDepth;

    void openPoolManagers();
    void closePoolManagers();
    int dynamicIndex = 0;
    nRef<nVertexBuffer> dynamicBuffers[2];
    std::unique_ptr<nVertexPoolManager> poolManagers[4];
};
