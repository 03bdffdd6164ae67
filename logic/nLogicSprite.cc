#include "logic/nLogicSprite.h"

#include <cstdint>
#include <cstring>

#include "gfx/nGfxServer.h"
#include "gfx/nIndexBuffer.h"
#include "gfx/nPixelShader.h"
#include "gfx/nTexture.h"
#include "gfx/nVertexBuffer.h"
#include "gfx/nVertexPool.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nMath.h"
#include "kernel/nPersistServer.h"

// Whole virtual units as the int commands give and save them: past the int range (a
// script's 2147483647 is kept as 2^31) the value saturates instead of wrapping, so what
// is saved loads back the same.
static int WholeUnits(float v) {
    if (!(v > -2147483648.0f)) return v != v ? 0 : INT32_MIN;
    if (v >= 2147483647.0f) return INT32_MAX;
    return int(v);
}

static const nCmdDef<nLogicSprite> cmds[] = {
    {"v_setdimension_ii", "LSSD",
     [](nLogicSprite* self, nCmd* c) {
         const int w = c->In()->GetI();
         self->SetDimension(float(w), float(c->In()->GetI()));
     }},
    {"ii_getdimension_v", "LSGD",
     [](nLogicSprite* self, nCmd* c) {
         float w, h;
         self->GetDimension(w, h);
         c->Out()->SetI(WholeUnits(w));
         c->Out()->SetI(WholeUnits(h));
     }},
    {"v_setposition_ii", "LSSP",
     [](nLogicSprite* self, nCmd* c) {
         const int x = c->In()->GetI();
         self->SetPosition(float(x), float(c->In()->GetI()));
     }},
    {"ii_getposition_v", "LSGP",
     [](nLogicSprite* self, nCmd* c) {
         float x, y;
         self->GetPosition(x, y);
         c->Out()->SetI(WholeUnits(x));
         c->Out()->SetI(WholeUnits(y));
     }},
    {"v_setuvcoord_ffff", "LSST",
     [](nLogicSprite* self, nCmd* c) {
         float v[4];
         for (float& f : v) f = c->In()->GetF();
         self->SetUvCoord(v[0], v[1], v[2], v[3]);
     }},
    {"ffff_getuvcoord_v", "LSGT",
     [](nLogicSprite* self, nCmd* c) {
         float v[4];
         self->GetUvCoord(v[0], v[1], v[2], v[3]);
         for (float f : v) c->Out()->SetF(f);
     }},
    {"v_setcolor_ffff", "LSSC",
     [](nLogicSprite* self, nCmd* c) {
         float v[4];
         for (float& f : v) f = c->In()->GetF();
         self->SetColor(v[0], v[1], v[2], v[3]);
     }},
    {"ffff_getcolor_v", "LSGC",
     [](nLogicSprite* self, nCmd* c) {
         float v[4];
         self->GetColor(v[0], v[1], v[2], v[3]);
         for (float f : v) c->Out()->SetF(f);
     }},
    {"v_settexture_s", "LSTX", [](nLogicSprite* self, nCmd* c) { self->SetTexture(c->In()->GetS()); }},
    Bind<&nLogicSprite::SetRotateWgt>("v_setrotatewgt_f", "LSRW"),
};
const nClassInfo nLogicSprite::classInfo = nClassInfo::Make<nLogicSprite>("nlogicsprite", "nlogicvisual2", cmds);

namespace {

constexpr const char* IndexBufferName = "nlogicsprite_ibuf";
constexpr const char* WhiteTextureName = "nlogicsprite_white";
// Coordinates and one set of texture coordinates.
constexpr int QuadComponents = N_VT_COORD | N_VT_UV0;

}  // namespace

// -- the quad -----------------------------------------------------------------------

nLogicSpriteQuad::nLogicSpriteQuad(const char* n) : name(n ? n : "") {}

nLogicSpriteQuad::~nLogicSpriteQuad() = default;

void nLogicSpriteQuad::SetPosition(float px, float py) {
    x = px;
    y = py;
    ComputeCorners();
}

void nLogicSpriteQuad::SetDimension(float pw, float ph) {
    w = pw;
    h = ph;
    ComputeCorners();
}

void nLogicSpriteQuad::ComputeCorners() {
    int x0 = 0, y0 = 0, width = 0, height = 0;
    nGfxServer* gfx = refGfx.Resolve();
    if (!gfx || !gfx->GetDisplayDesc(x0, y0, width, height)) width = height = 0;
    const float sx = float(width) / nLogicSprite::VirtualWidth;
    const float sy = float(height) / nLogicSprite::VirtualHeight;
    const float left = x * sx - 0.5f, right = (x + w) * sx - 0.5f;
    const float top = y * sy - 0.5f, bottom = (y + h) * sy - 0.5f;
    corners[0] = vector3(right, top, 0.0f);
    corners[1] = vector3(left, top, 0.0f);
    corners[2] = vector3(right, bottom, 0.0f);
    corners[3] = vector3(left, bottom, 0.0f);
}

void nLogicSpriteQuad::RequestTexture(const nRoot* owner) {
    if (textureMode == 1) {
        MakeTexture();
        return;
    }
    // A texture that went with its display is loaded again; one that failed is not.
    if (textures.GetTexture(0) || (textureRequested && !textureLoaded)) return;
    textureRequested = true;
    textureLoaded = false;
    if (textureMode == 0 && !name.empty()) {
        nGfxServer* gfx = refGfx.Get();
        if (textures.Load(0, gfx, name.c_str(), nullptr, false, true)) {
            if (nTexture* tex = textures.GetTexture(0)) {
                textureLoaded = true;
                sourceRect[2] = float(tex->GetWidth());
                sourceRect[3] = float(tex->GetHeight());
            }
        } else {
            n_error("%s: texture '%s' does not load; the sprite shows its colour\n",
                    owner ? owner->GetFullName().c_str() : "", name.c_str());
        }
    }
    ComputeCorners();
}

void nLogicSpriteQuad::MakeTexture() {
    if (textures.GetTexture(0)) return;
    // Asked again after the texture went: the owner sees this and rebuilds its image.
    textureRequested = true;
    const int tw = n_saturate_int(textureW), th = n_saturate_int(textureH);
    nGfxServer* gfx = refGfx.Get();
    if (tw < 1 || th < 1 || !gfx->IsDisplayOpen()) return;
    const std::string texName = nFileServer2::Share(name.c_str()) + "-" + std::to_string(tw) + "-" + std::to_string(th);
    nTexture* tex = gfx->FindTexture(texName.c_str());
    if (!tex) tex = gfx->NewTexture(texName.c_str());
    if (!tex) return;
    // Shared by name and size: one made already (or left unloaded by a reset) is kept
    // only at this size and depth.
    if (tex->GetWidth() != tw || tex->GetHeight() != th || tex->GetBytesPerPixel() != (bits32 ? 4 : 2)) {
        tex->SetGenMipMaps(false);
        tex->SetHighQuality(bits32);
        if (!tex->Create(tw, th, true)) {
            tex->Release();
            return;
        }
    }
    textures.SetTexture(0, tex);
    tex->Release();
    textureLoaded = true;
    ComputeCorners();
}

// -- the sprite ---------------------------------------------------------------------

nLogicSprite::nLogicSprite() {
    nPixelShaderDesc& d = renderState_;
    d.numStages = 1;
    // Texture times the constant colour, for colour and alpha alike.
    for (nPixelShaderDesc::StageOp* op : {&d.colorOp[0], &d.alphaOp[0]}) {
        op->op = nPixelShaderDesc::MUL;
        op->arg0 = nPixelShaderDesc::TEX;
        op->arg1 = nPixelShaderDesc::CONST;
        op->arg2 = nPixelShaderDesc::NOARG;
        op->scale = nPixelShaderDesc::ONE;
    }
    nPixelShaderDesc::Stage& st = d.stages[0];
    st.addressU = st.addressV = nPixelShaderDesc::CLAMP;
    st.minFilter = st.magFilter = nPixelShaderDesc::NEAREST;
    st.texCoordSrc = nPixelShaderDesc::UV0;
    // Blended over whatever is drawn already, never hidden by depth, never fogged or lit.
    d.srcBlend = nPixelShaderDesc::SRCALPHA;
    d.destBlend = nPixelShaderDesc::INVSRCALPHA;
    d.zFunc = nPixelShaderDesc::ALWAYS;
    d.cullMode = nPixelShaderDesc::CULL_CCW;
    d.alphaEnable = true;
    d.fogEnable = false;
    d.lightEnable = false;
    d.zwriteEnable = false;
    d.SetAllChanged();
}

nLogicSprite::~nLogicSprite() {
    delete quad_;
    quad_ = nullptr;
    if (nPixelShader* ps = refPixelShader_.GetUnsafe()) {
        refPixelShader_.Set(nullptr);
        // A shader shared under one name must not keep pointing into this sprite.
        if (ps->GetShaderDesc() == &renderState_) ps->SetShaderDesc(nullptr);
        ps->Release();
    }
    if (nIndexBuffer* ib = refIndexBuffer_.GetUnsafe()) {
        refIndexBuffer_.Set(nullptr);
        ib->Release();
    }
    if (nVertexBuffer* vb = vertexBuffer_.GetUnsafe()) {
        vertexBuffer_.Set(nullptr);
        vb->Release();
    }
}

// -- setters ------------------------------------------------------------------------

void nLogicSprite::SetDimension(float w, float h) {
    w_ = w;
    h_ = h;
    quadBuilt_ = false;
}

void nLogicSprite::GetDimension(float& w, float& h) const {
    w = w_;
    h = h_;
}

void nLogicSprite::SetPosition(float x, float y) {
    x_ = x;
    y_ = y;
    if (quad_) quad_->SetPosition(x, y);
}

void nLogicSprite::GetPosition(float& x, float& y) const {
    x = x_;
    y = y_;
}

void nLogicSprite::SetTexture(const char* name) {
    if (!nFileServer2::MayKeepPath(name)) return;
    textureName_ = name ? name : "";
    ReleaseQuad();
}

void nLogicSprite::ReleaseQuad() {
    quadBuilt_ = false;
    delete quad_;
    quad_ = nullptr;
}

void nLogicSprite::SetUvCoord(float uleft, float vtop, float uright, float vbottom) {
    uleft_ = uleft;
    vtop_ = vtop;
    uright_ = uright;
    vbottom_ = vbottom;
    quadBuilt_ = false;
}

void nLogicSprite::GetUvCoord(float& uleft, float& vtop, float& uright, float& vbottom) const {
    uleft = uleft_;
    vtop = vtop_;
    uright = uright_;
    vbottom = vbottom_;
}

void nLogicSprite::SetColor(float r, float g, float b, float a) {
    color_[0] = r;
    color_[1] = g;
    color_[2] = b;
    color_[3] = a;
}

void nLogicSprite::GetColor(float& r, float& g, float& b, float& a) const {
    r = color_[0];
    g = color_[1];
    b = color_[2];
    a = color_[3];
}

// -- device objects -----------------------------------------------------------------

void nLogicSprite::CreatePixelShader() {
    nGfxServer* gfx = gfxRef_.Get();
    const std::string path = GetFullName();
    // A name met again (another node whose path maps to the same resource name) shares
    // the shader with its own reference; every Render hands it this sprite's description.
    nPixelShader* ps = gfx->FindPixelShader(path.c_str());
    if (!ps) ps = gfx->NewPixelShader(path.c_str());
    if (!ps) nKernelServer::FatalError("Aborting.");
    refPixelShader_.Set(ps);
    ps->SetShaderDesc(&renderState_);
    renderState_.SetAllChanged();
}

void nLogicSprite::CreateBuffers() {
    nGfxServer* gfx = gfxRef_.Get();
    // Four vertices of its own rather than a share of the streamed buffers: those are
    // renewed whole at each lock, far too much for one quad a draw.
    if (!vertexBuffer_.GetUnsafe()) {
        vertexBuffer_.Set(gfx->NewVertexBuffer(nullptr, 0, QuadComponents, 4));
        verticesWritten_ = false;
    }
    if (refIndexBuffer_.GetUnsafe()) return;
    // Found buffers come with a reference of their own; a new one is this sprite's.
    nIndexBuffer* ib = gfx->FindIndexBuffer(IndexBufferName);
    if (!ib) {
        ib = gfx->NewIndexBuffer(IndexBufferName);
        if (!ib) return;
        ib->Begin(0, nIndexBuffer::TRIANGLESTRIP, 4);
        if (uint16_t* out = ib->GetLockPtr()) {
            for (uint16_t i = 0; i < 4; i++) out[i] = i;
        }
        ib->End();
    }
    refIndexBuffer_.Set(ib);
}

nTexArray* nLogicSprite::ColorOnly(nGfxServer* gfx) {
    if (colorOnly_.GetTexture(0)) return &colorOnly_;
    nTexture* white = gfx->FindTexture(WhiteTextureName);
    if (!white) {
        white = gfx->NewTexture(WhiteTextureName);
        // A texture made in memory starts white and opaque.
        if (!white || !white->Create(1, 1, true)) {
            if (white) white->Release();
            return nullptr;
        }
    }
    colorOnly_.SetTexture(0, white);
    white->Release();
    return &colorOnly_;
}

void nLogicSprite::Setup() {
    if (!refPixelShader_.GetUnsafe()) CreatePixelShader();
    if (!vertexBuffer_.GetUnsafe() || !refIndexBuffer_.GetUnsafe()) CreateBuffers();
    CreateQuad();
    // Image sprites have tiles in place of the one quad.
    if (quad_) quad_->RequestTexture(this);
    nLogicVisual2::Setup();
}

// -- drawing ------------------------------------------------------------------------

void nLogicSprite::CreateQuad() {
    if (quadBuilt_) return;
    if (!quad_) quad_ = new nLogicSpriteQuad(("logic_sprite_" + std::string(GetName() ? GetName() : "")).c_str());
    quad_->SetPosition(x_, y_);
    quad_->SetDimension(w_, h_);
    quad_->textureW = w_;
    quad_->textureH = h_;
    const float uv[4][2] = {{uright_, vtop_}, {uleft_, vtop_}, {uright_, vbottom_}, {uleft_, vbottom_}};
    for (int i = 0; i < 4; i++) {
        quad_->uvs[i][0] = uv[i][0];
        quad_->uvs[i][1] = uv[i][1];
    }
    quad_->sourceRect[0] = quad_->sourceRect[1] = 0.0f;
    quad_->sourceRect[2] = w_;
    quad_->sourceRect[3] = h_;
    quad_->flag = quadFlag_;
    quad_->name = textureName_;
    quad_->textureMode = 0;
    quadBuilt_ = true;
}

void nLogicSprite::UpdateProjection(nGfxServer* gfx) {
    int x0 = 0, y0 = 0, width = 0, height = 0;
    if (!gfx->GetDisplayDesc(x0, y0, width, height)) width = height = 0;
    if (width == displayWidth_ && height == displayHeight_) return;
    displayWidth_ = width;
    displayHeight_ = height;
    // Corners are display pixels: a quad built for another size (or before the display
    // opened) is built again.
    quadBuilt_ = false;
    projection_.Ident();
    if (width <= 0 || height <= 0) return;
    // Pixel (0, 0) at the top left of the view. OpenGL samples pixels at their centres,
    // half a pixel further right and down than Direct3D, whose pixel grid the corners'
    // -0.5 is made for: the shift keeps textures aligned to the pixels.
    projection_.m[0][0] = 2.0f / float(width);
    projection_.m[1][1] = -2.0f / float(height);
    projection_.m[2][2] = 0.0f;
    projection_.m[3][0] = -1.0f + 1.0f / float(width);
    projection_.m[3][1] = 1.0f - 1.0f / float(height);
}

void nLogicSprite::Render() {
    nGfxServer* gfx = gfxRef_.Get();
    if (!refPixelShader_.GetUnsafe()) CreatePixelShader();
    if (!vertexBuffer_.GetUnsafe() || !refIndexBuffer_.GetUnsafe()) CreateBuffers();

    nPixelShaderDesc& d = renderState_;
    for (int i = 0; i < 4; i++) d.constColor[i] = color_[i];
    d.constColorChanged = true;
    if (nPixelShader* ps = refPixelShader_.GetUnsafe()) ps->SetShaderDesc(&d);

    UpdateProjection(gfx);
    CreateQuad();
    if (displayWidth_ <= 0 || displayHeight_ <= 0) return;

    gfx->PushMatrix(nGfxServer::PROJECTION);
    gfx->PushMatrix(nGfxServer::MODELVIEW);
    matrix44 model = modelMatrix_;
    if (spinWeight_ != 0.0f) {
        spinAngle_ += spinWeight_ * SpinStep;
        // About the sprite's centre in display pixels, where its corners are.
        const vector3 centre((x_ + w_ * 0.5f) * float(displayWidth_) / VirtualWidth,
                             (y_ + h_ * 0.5f) * float(displayHeight_) / VirtualHeight, 0.0f);
        model.Translate(vector3(-centre.x, -centre.y, 0.0f));
        model.RotateZ(spinAngle_);
        model.Translate(centre);
    }
    gfx->SetMatrix(nGfxServer::MODELVIEW, model);
    gfx->SetMatrix(nGfxServer::PROJECTION, projection_);
    DrawQuad(quad_);
    gfx->PopMatrix(nGfxServer::MODELVIEW);
    gfx->PopMatrix(nGfxServer::PROJECTION);
}

void nLogicSprite::DrawQuad(nLogicSpriteQuad* quad) {
    if (!quad) return;
    quad->RequestTexture(this);
    nPixelShader* ps = refPixelShader_.GetUnsafe();
    nIndexBuffer* ib = refIndexBuffer_.GetUnsafe();
    if (!ps || !ib) nKernelServer::FatalError("Aborting.");
    nTexArray* textures = &quad->textures;
    if (!quad->GetTexture()) {
        if (nTexArray* white = ColorOnly(gfxRef_.Get())) textures = white;
    }
    nVertexBuffer* vb = vertexBuffer_.GetUnsafe();
    if (!vb) nKernelServer::FatalError("Aborting.");
    float v[4][5];
    for (int i = 0; i < 4; i++) {
        v[i][0] = quad->corners[i].x;
        v[i][1] = quad->corners[i].y;
        v[i][2] = quad->corners[i].z;
        v[i][3] = quad->uvs[i][0];
        v[i][4] = quad->uvs[i][1];
    }
    // Written only when they changed: a buffer the device is still drawing from is
    // costly to change.
    if (!verticesWritten_ || std::memcmp(v, written_, sizeof(v)) != 0) {
        if (!vb->Lock()) nKernelServer::FatalError("Aborting.");
        float* coord = vb->GetCoordPtr();
        float* uv = vb->GetUvPtr(0);
        const int stride = vb->GetStride();
        verticesWritten_ = coord && uv;
        for (int i = 0; verticesWritten_ && i < 4; i++) {
            std::memcpy(coord, v[i], 3 * sizeof(float));
            std::memcpy(uv, v[i] + 3, 2 * sizeof(float));
            coord += stride;
            uv += stride;
        }
        vb->Unlock();
        if (!verticesWritten_) return;
        std::memcpy(written_, v, sizeof(v));
    }
    nVertexRange* range = vb->GetRange();
    if (!range || ib->GetCapacity() < 4) return;
    ib->SetUsedCount(4);
    range->pool->Render(range, ib, ps, textures);
    ib->SetUsedCount(ib->GetCapacity());
}

// -- saving -------------------------------------------------------------------------

bool nLogicSprite::SaveCmds(nPersistServer* ps) {
    // The visual node's own lines describe a 3D place a sprite does not have.
    if (!nLogicNode::SaveCmds(ps)) return false;
    bool ok = true;
    if (!textureName_.empty()) ok = ps->Put(this, nId("LSTX"), textureName_.c_str());
    if (ok && (x_ != 0.0f || y_ != 0.0f)) ok = ps->Put(this, nId("LSSP"), WholeUnits(x_), WholeUnits(y_));
    if (ok && w_ > 0.0f && h_ > 0.0f) ok = ps->Put(this, nId("LSSD"), WholeUnits(w_), WholeUnits(h_));
    if (ok && (uleft_ != 0.0f || vtop_ != 0.0f || uright_ != 1.0f || vbottom_ != 1.0f)) {
        ok = ps->Put(this, nId("LSST"), uleft_, vtop_, uright_, vbottom_);
    }
    if (ok && (color_[0] != 1.0f || color_[1] != 1.0f || color_[2] != 1.0f || color_[3] != 1.0f)) {
        ok = ps->Put(this, nId("LSSC"), color_[0], color_[1], color_[2], color_[3]);
    }
    return ok;
}
