#pragma once
#include <cstddef>
#include <limits>

#include "gfx/nLight.h"
#include "gfx/nMouseCursor.h"
#include "gfx/nRenderState.h"
#include "kernel/matrix44.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"
#include "kernel/nString.h"

class nTexture;
class nPixelShader;
class nVertexPool;
class nVertexPoolManager;
class nVertexBuffer;
struct nVertexRange;
class nIndexBuffer;
class nPixelFormat;
namespace ui {
class Host;
}

// Device-independent face of the renderer (script class "ngfxserver"): display-mode
// description, view volume, matrices and their stacks, the per-frame light list, the
// shared resource lists under /sys/share, the cursor table and the script interface.
// A device server derives from it and overrides what needs a device.
class nGfxServer : public nRoot {
public:
    static const nClassInfo classInfo;

    enum MatrixType { VIEWER = 0, MODELVIEW = 1, PROJECTION = 2, INVVIEWER = 3 };
    enum ColorFormat { RGBA = 0, BGRA = 1 };
    static constexpr int MaxLights = 8;
    static constexpr int MaxCursors = 8;
    static constexpr int ModelviewStackDepth = 4;
    static constexpr int OtherStackDepth = 2;
    // Buffer size every caller of MakeResourceName uses.
    static constexpr size_t ResourceNameSize = 32;

    nGfxServer();
    ~nGfxServer() override;

    virtual bool SetDisplayMode(const char* mode);
    virtual const char* GetDisplayMode();
    virtual bool OpenDisplay();
    virtual void CloseDisplay();
    virtual bool IsDisplayOpen();
    virtual bool GetDisplayDesc(int& x0, int& y0, int& x1, int& y1);
    virtual bool GetFeature(int& value);
    virtual void SetViewVolume(float minx, float maxx, float miny, float maxy, float minz, float maxz);
    virtual void GetViewVolume(float& minx, float& maxx, float& miny, float& maxy, float& minz, float& maxz);
    virtual void SetClearColor(float r, float g, float b, float a);
    virtual void GetClearColor(float& r, float& g, float& b, float& a);
    virtual bool Screenshot(const char* file);
    virtual bool ScaledScreenshot(const char* file, int w, int h);
    virtual int GetColorFormat();
    // Stencil bits of the open display; 0 without a display or stencil buffer.
    virtual int GetStencilBits() { return 0; }
    virtual bool BeginScene();
    virtual void EndScene();
    virtual void SetMatrix(int type, const matrix44& m);
    virtual matrix44& GetMatrix(int type);
    virtual void PushMatrix(int type);
    virtual void PopMatrix(int type);
    virtual void SetRenderState(const nRenderState& state);
    virtual bool SetLight(const nLight& light);
    virtual void Begin(int primitive);
    virtual void Coord(float x, float y, float z);
    virtual void Norm(float x, float y, float z);
    virtual void Rgba(float r, float g, float b, float a);
    virtual void Uv3(float a, float b, float c);
    virtual void End();
    virtual nTexture* NewTexture(const char* name);
    virtual nPixelShader* NewPixelShader(const char* name);
    virtual nVertexPool* NewVertexPool(nVertexPoolManager* manager, int kind, int components, int capacity);
    virtual nVertexBuffer* NewVertexBuffer(const char* name, int usage, int components, int count);
    virtual nIndexBuffer* NewIndexBuffer(const char* name);
    virtual nTexture* FindTexture(const char* name);
    virtual nPixelShader* FindPixelShader(const char* name);
    virtual nVertexBuffer* FindVertexBuffer(const char* name);
    virtual nIndexBuffer* FindIndexBuffer(const char* name);
    virtual nVertexBuffer* NewDynamicVertexBuffer(int components, int count);
    virtual void DynamicVertexBufferDone(nVertexBuffer* buffer);
    virtual bool BeginText();
    virtual void SetTextPos(float x, float y);
    virtual void SetTextColor(float r, float g, float b, float a);
    virtual bool Text(const char* text);
    virtual bool EndText();
    // Returns the locked bits; the rectangle is left, top, right, bottom.
    virtual void* LockBackBuffer(const float* rect, nPixelFormat** format, int* pitch);
    // The same for a caller that writes every pixel of the rectangle (the video
    // players): the bits it gets need not hold the frame's pixels, which saves
    // reading them back, and the pitch may be negative (rows still run from the
    // returned top row down the screen).
    virtual void* LockBackBufferForWrite(const float* rect, nPixelFormat** format, int* pitch);
    virtual void UnlockBackBuffer();
    virtual void SetWindowTitle(const char* title);
    // Keep-running result of the message pump.
    virtual bool Trigger();
    virtual void ShowCursor();
    virtual void HideCursor();
    virtual void SetCursorFlag(bool flag);
    virtual void SetGamma(float r, float g, float b);
    virtual void SetMaxTextureSize(int size);
    virtual int GetMaxTextureSize();

    void BeginCursors(int count);
    void SetCursor(int index, const char* file, int hotX, int hotY);
    void EndCursors();
    void SetCurrentCursor(int index);
    int GetCurrentCursor() const { return curCursor; }
    int GetNumCursors() const { return numCursors; }
    const nMouseCursor& GetCursorEntry(int index) const { return cursors[index]; }
    bool IsCursorVisible() const { return cursorShown; }

    // Releases every object of the four resource lists.
    void ReleaseResources();
    // Object name for a resource: "res%d" for no name, else the last size - 1
    // characters with '.', '/', '\' and ':' made '_'.
    char* MakeResourceName(const char* name, char* buf, size_t size);
    // The name the resource lists use: "res%d" for no name, else the whole name with
    // '.', '/', '\' and ':' made '_', so two long paths never share a resource.
    nString MakeResourceName(const char* name);

    // The vertex range drawn last; a pool clears it when that range is freed.
    void SetCurrentRange(nVertexRange* range) { currentRange = range; }
    nVertexRange* GetCurrentRange() const { return currentRange; }

    void SetClearBackBuffer(bool clear) { clearBackBuffer = clear; }
    bool GetClearBackBuffer() const { return clearBackBuffer; }
    const char* GetWindowTitle() const { return windowTitle.Get(); }
    const char* GetIconName() const { return iconName.Get(); }
    int GetNumLights() const { return numLights; }
    const nLight& GetLight(int index) const { return lights[index]; }
    double GetEndSceneTime() const { return endSceneTime; }

    // Display-mode fields, as the last SetDisplayMode left them.
    const char* GetDev() const { return dev; }
    const char* GetType() const { return type; }
    const char* GetRType() const { return rtype; }
    int GetWidth() const { return width; }
    int GetHeight() const { return height; }
    int GetBpp() const { return bpp; }
    int GetZBuf() const { return zbuf; }
    int GetSBuf() const { return sbuf; }
    int GetBBuf() const { return bbuf; }
    // Distances from the viewer where visual logic nodes start and finish fading out.
    float GetNearFadeDistance() const { return nearFadeDistance; }
    float GetFarFadeDistance() const { return farFadeDistance; }

    // The tools' widget layer (null: none): it sees the window's input first and is
    // drawn over the frame. Its owner clears it before the host goes.
    void SetUiHost(ui::Host* host) { uiHost = host; }
    ui::Host* GetUiHost() const { return uiHost; }

protected:
    ui::Host* uiHost = nullptr;

    // Loads the cursor textures; also called after a device reset.
    void loadCursors();
    // Finds `name` among the children of `list`, counting one reference for the caller.
    nRoot* findResource(nRef<nRoot>& list, const char* className, const char* name);
    // Creates an object of `className` named after `name` under `list`.
    nRoot* newResource(nRef<nRoot>& list, const char* className, const char* name);
    void releaseList(nRef<nRoot>& list);

    char displayMode[256] = {};
    char type[32] = "win";
    char rtype[32] = "hal";
    char dev[64] = "0";
    int width = 512, height = 384, bpp = 16, bbuf = 1, zbuf = 16, sbuf = 0;
    nString windowTitle;
    nString iconName;
    int resourceCounter;
    float viewVolume[6];
    // Nothing fades unless a node's own clip distance says so.
    float nearFadeDistance = 0.0f;
    float farFadeDistance = std::numeric_limits<float>::max();
    double endSceneTime;
    bool backBufferLocked;
    bool clearBackBuffer;
    float clearColor[4];
    int numLights;
    nLight lights[MaxLights];
    matrix44 modelview, viewer, invViewer, projection;
    matrix44 modelviewStack[ModelviewStackDepth];
    matrix44 viewerStack[OtherStackDepth];
    matrix44 invViewerStack[OtherStackDepth];
    matrix44 projectionStack[OtherStackDepth];
    int modelviewDepth, viewerDepth, invViewerDepth, projectionDepth;
    nRef<nRoot> texList, pshaderList, vxbufList, ixbufList;
    nMouseCursor cursors[MaxCursors];
    int numCursors;
    int curCursor;
    bool cursorShown;
    bool cursorFlag;
    int maxTextureSize;
    const char* systemCursor;
    nVertexRange* currentRange = nullptr;
};

