#pragma once
// A textured, coloured, optionally spinning rectangle drawn over the 3D scene (script
// class "nlogicsprite"): the 2D member of the logic nodes, from which menus, loading
// screens and the heads-up display are built. Positions and sizes are given on a virtual
// screen of 800 x 600 units (origin top left, y down) and scaled to the display when the
// quad's corners are computed. The logic graph calls Render after the 3D scene.
#include <string>

#include "gfx/nPixelShaderDesc.h"
#include "gfx/nTexArray.h"
#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/vector3.h"
#include "logic/nLogicVisual2.h"

class nGfxServer;
class nIndexBuffer;
class nPixelShader;
class nVertexBuffer;

// The screen quad of a sprite: position and size, the four corners in display pixels,
// their texture coordinates and the texture drawn (slot 0). Corner order: 0 right/top,
// 1 left/top, 2 right/bottom, 3 left/bottom.
class nLogicSpriteQuad {
public:
    explicit nLogicSpriteQuad(const char* name);
    virtual ~nLogicSpriteQuad();
    nLogicSpriteQuad(const nLogicSpriteQuad&) = delete;
    nLogicSpriteQuad& operator=(const nLogicSpriteQuad&) = delete;

    void SetPosition(float px, float py);
    void SetDimension(float pw, float ph);
    // Corners from position and size, scaled from 800 x 600 to the display, less half a
    // pixel; all at -0.5 without a display.
    void ComputeCorners();
    // Loads the texture the first time it is asked for, and again when the texture went
    // with the display; a file that does not load is logged once and not tried again by
    // this quad (the sprite then draws its colour).
    void RequestTexture(const nRoot* owner);
    nTexture* GetTexture() const { return textures.GetTexture(0); }
    // Texture mode 1: the texture "<name>-<w>-<h>" at the texture size, with alpha, 32 or
    // 16 bits by the 32-bit flag, found by name or made (nothing without a display). Sets
    // the request flag, which the owner clears once it filled the texture.
    void MakeTexture();

    int textureMode = 1;
    float x = 0.0f, y = 0.0f;
    float w = 0.0f, h = 0.0f;
    float textureW = 0.0f, textureH = 0.0f;
    float sourceRect[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    vector3 corners[4];
    float uvs[4][2] = {{1.0f, 0.0f}, {0.0f, 0.0f}, {1.0f, 1.0f}, {0.0f, 1.0f}};
    bool flag = false;
    bool bits32 = true;
    nPathRef<nGfxServer> refGfx{"/sys/servers/gfx"};
    nTexArray textures;
    std::string name;
    bool textureRequested = false;
    bool textureLoaded = false;
};

class nLogicSprite : public nLogicVisual2 {
public:
    static const nClassInfo classInfo;
    // The virtual screen every 2D position is given on.
    static constexpr float VirtualWidth = 800.0f;
    static constexpr float VirtualHeight = 600.0f;
    // Radians added per Render at spin weight 1.
    static constexpr float SpinStep = 0.2f;

    nLogicSprite();
    ~nLogicSprite() override;
    bool SaveCmds(nPersistServer* ps) override;

    // Makes the pixel shader and the buffers, builds the quad and loads its texture, then
    // the visual node's setup.
    void Setup() override;
    bool IsVisible() const override { return false; }
    bool Is2D() const override { return true; }

    // Copies the sprite's values into the quad (nothing while it is built).
    virtual void CreateQuad();
    // Draws the quad over the frame. Works outside the logic graph as well (loading
    // screens): it makes the pixel shader and buffers it lacks. "Aborting." without a
    // graphics server.
    void Render() override;
    // Writes the quad's corners into the vertex buffer and draws them; "Aborting." when
    // the pixel shader or the index buffer is missing.
    virtual void DrawQuad(nLogicSpriteQuad* quad);
    // Virtual units; the quad is rebuilt at the next Render.
    virtual void SetDimension(float w, float h);
    virtual void GetDimension(float& w, float& h) const;
    // Virtual units; an existing quad moves at once.
    virtual void SetPosition(float x, float y);
    virtual void GetPosition(float& x, float& y) const;
    // The image file of the quad's texture; the quad is made anew (and the texture loaded
    // again) at the next Render. Null or "" draws the colour alone.
    virtual void SetTexture(const char* name);
    virtual void ReleaseQuad();

    // The sprite's four-vertex buffer and the shared index buffer "nlogicsprite_ibuf".
    void CreateBuffers();

    void SetUvCoord(float uleft, float vtop, float uright, float vbottom);
    void GetUvCoord(float& uleft, float& vtop, float& uright, float& vbottom) const;
    void SetColor(float r, float g, float b, float a);
    void GetColor(float& r, float& g, float& b, float& a) const;
    const char* GetTexture() const { return textureName_.c_str(); }
    void SetRotateWgt(float w) { spinWeight_ = w; }
    float GetRotateWgt() const { return spinWeight_; }
    float GetSpinAngle() const { return spinAngle_; }

    nLogicSpriteQuad* GetQuad() const { return quad_; }
    bool IsQuadBuilt() const { return quadBuilt_; }
    const nPixelShaderDesc& GetRenderState() const { return renderState_; }
    const matrix44& GetProjection() const { return projection_; }
    int GetDisplayWidth() const { return displayWidth_; }
    int GetDisplayHeight() const { return displayHeight_; }

protected:
    // Makes the pixel shader, named by the node's full path; "Aborting." when none comes.
    void CreatePixelShader();
    // Rebuilds the orthographic projection when the display size changed, and the quad with it.
    void UpdateProjection(nGfxServer* gfx);

    matrix44 modelMatrix_;
    matrix44 projection_;
    int displayWidth_ = 0;
    int displayHeight_ = 0;
    bool quadFlag_ = true;
    float x_ = 0.0f, y_ = 0.0f;
    float w_ = 0.0f, h_ = 0.0f;
    float uleft_ = 0.0f, vtop_ = 0.0f, uright_ = 1.0f, vbottom_ = 1.0f;
    float color_[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    nLogicSpriteQuad* quad_ = nullptr;
    nPixelShaderDesc renderState_;
    nRef<nIndexBuffer> refIndexBuffer_;
    nRef<nPixelShader> refPixelShader_;
    // The quad's four vertices, a small buffer of its own.
    nRef<nVertexBuffer> vertexBuffer_;
    // What the buffer holds: x, y, z, u, v of each corner.
    float written_[4][5] = {};
    bool verticesWritten_ = false;
    std::string textureName_;
    float spinAngle_ = 0.0f;
    float spinWeight_ = 0.0f;
    bool quadBuilt_ = false;

private:
    // Slot 0 holds a shared white texture, drawn in place of a texture that is missing,
    // so that the colour shows alone.
    nTexArray* ColorOnly(nGfxServer* gfx);
    nTexArray colorOnly_;
};
