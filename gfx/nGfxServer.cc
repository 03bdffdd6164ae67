#include "gfx/nGfxServer.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/nBmpFile.h"
#include "gfx/nModeString.h"
#include "gfx/nIndexBuffer.h"
#include "gfx/nPixelShader.h"
#include "gfx/nTexture.h"
#include "gfx/nVertexBuffer.h"
#include "kernel/nKernelServer.h"
#include "kernel/nTimeServer.h"

namespace {

const char* textOf(nCmd* c) {
    const char* s = c->In()->GetS();
    return s ? s : "";
}

} // namespace

static const nCmdDef<nGfxServer> gfxCmds[] = {
    {"b_setdisplaymode_s", "SDPM", [](nGfxServer* self, nCmd* c) { c->Out()->SetB(self->SetDisplayMode(textOf(c))); }},
    {"s_getdisplaymode_v", "GDPM", [](nGfxServer* self, nCmd* c) { c->Out()->SetS(self->GetDisplayMode()); }},
    {"b_opendisplay_v", "ODSP", [](nGfxServer* self, nCmd* c) { c->Out()->SetB(self->OpenDisplay()); }},
    {"v_closedisplay_v", "CDSP", [](nGfxServer* self, nCmd*) { self->CloseDisplay(); }},
    {"b_isdisplayopen_v", "IDPO", [](nGfxServer* self, nCmd* c) { c->Out()->SetB(self->IsDisplayOpen()); }},
    {"v_setviewvolume_ffffff", "SVWV", [](nGfxServer* self, nCmd* c) {
         float v[6];
         for (float& f : v) f = c->In()->GetF();
         self->SetViewVolume(v[0], v[1], v[2], v[3], v[4], v[5]);
     }},
    {"ffffff_getviewvolume_v", "GVWV", [](nGfxServer* self, nCmd* c) {
         float v[6];
         self->GetViewVolume(v[0], v[1], v[2], v[3], v[4], v[5]);
         for (float f : v) c->Out()->SetF(f);
     }},
    {"v_setclearcolor_ffff", "SCLC", [](nGfxServer* self, nCmd* c) {
         float r = c->In()->GetF(), g = c->In()->GetF(), b = c->In()->GetF(), a = c->In()->GetF();
         self->SetClearColor(r, g, b, a);
     }},
    {"ffff_getclearcolor_v", "GCLC", [](nGfxServer* self, nCmd* c) {
         float r = 0, g = 0, b = 0, a = 0;
         self->GetClearColor(r, g, b, a);
         c->Out()->SetF(r);
         c->Out()->SetF(g);
         c->Out()->SetF(b);
         c->Out()->SetF(a);
     }},
    {"b_screenshot_s", "SSHT", [](nGfxServer* self, nCmd* c) { c->Out()->SetB(self->Screenshot(textOf(c))); }},
    {"b_scaledscreenshot_sii", "SCLS", [](nGfxServer* self, nCmd* c) {
         const char* file = textOf(c);
         int w = c->In()->GetI();
         int h = c->In()->GetI();
         c->Out()->SetB(self->ScaledScreenshot(file, w, h));
     }},
    {"v_setmaxtexturesize_i", "SMTS", [](nGfxServer* self, nCmd* c) { self->SetMaxTextureSize(c->In()->GetI()); }},
    {"i_getmaxtexturesize_v", "GMTS", [](nGfxServer* self, nCmd* c) { c->Out()->SetI(self->GetMaxTextureSize()); }},
    {"v_setclearbb_b", "GXSC", [](nGfxServer* self, nCmd* c) { self->SetClearBackBuffer(c->In()->GetB()); }},
    {"v_begincursors_i", "BCUR", [](nGfxServer* self, nCmd* c) { self->BeginCursors(c->In()->GetI()); }},
    {"v_setcursor_isii", "SCUR", [](nGfxServer* self, nCmd* c) {
         int index = c->In()->GetI();
         const char* file = textOf(c);
         int hx = c->In()->GetI();
         int hy = c->In()->GetI();
         self->SetCursor(index, file, hx, hy);
     }},
    {"v_setgamma_fff", "GSGA", [](nGfxServer* self, nCmd* c) {
         float r = c->In()->GetF(), g = c->In()->GetF(), b = c->In()->GetF();
         self->SetGamma(r, g, b);
     }},
    {"v_endcursors_v", "ECUR", [](nGfxServer* self, nCmd*) { self->EndCursors(); }},
    {"v_showcursor_v", "SHCR", [](nGfxServer* self, nCmd*) { self->ShowCursor(); }},
    {"v_hidecursor_v", "HCUR", [](nGfxServer* self, nCmd*) { self->HideCursor(); }},
    {"v_setcurrentcursor_i", "SCCR", [](nGfxServer* self, nCmd* c) { self->SetCurrentCursor(c->In()->GetI()); }},
    {"i_getcurrentcursor_v", "GCCR", [](nGfxServer* self, nCmd* c) { c->Out()->SetI(self->GetCurrentCursor()); }},
    {"v_setwindowtitle_s", "GSWT", [](nGfxServer* self, nCmd* c) { self->SetWindowTitle(textOf(c)); }},
};
// Open to data's text: reads of the display.
static const char* const gfxDataSafe[] = {"getdisplaymode", "isdisplayopen"};
const nClassInfo nGfxServer::classInfo = nClassInfo::Make<nGfxServer>("ngfxserver", "nroot", gfxCmds, gfxDataSafe);

namespace {

// Makes or finds a resource list root. A root found already gets a reference of ours,
// so that releasing it in the destructor leaves it to its other owners.
nRoot* listRoot(const char* path) {
    nKernelServer* ks = nKernelServer::ks;
    nRoot* found = ks->Lookup(path);
    if (found) {
        found->AddRef();
        return found;
    }
    return ks->New("nroot", path);
}

// The display-mode defaults every SetDisplayMode starts from.
constexpr int DefWidth = 512, DefHeight = 384, DefBpp = 16, DefBBuf = 1, DefZBuf = 16, DefSBuf = 0;

// Reads a whole decimal integer; false for an empty, signed, non-numeric or huge text.
bool parseInt(const char* text, int& out) {
    if (!*text) return false;
    long v = 0;
    for (const char* p = text; *p; ++p) {
        if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
        v = v * 10 + (*p - '0');
        if (v > 1000000) return false;
    }
    out = int(v);
    return true;
}

} // namespace

nGfxServer::nGfxServer()
    : resourceCounter(0), endSceneTime(0.0), backBufferLocked(false), clearBackBuffer(true), numLights(0),
      modelviewDepth(0), viewerDepth(0), invViewerDepth(0), projectionDepth(0), numCursors(0), curCursor(0),
      cursorShown(true), cursorFlag(false), maxTextureSize(1024), systemCursor(nullptr) {
    static const float defVolume[6] = {-0.1f, 0.1f, -0.1f, 0.1f, 0.1f, 25000.0f};
    std::memcpy(viewVolume, defVolume, sizeof(viewVolume));
    std::memset(clearColor, 0, sizeof(clearColor));
    SetDisplayMode("");
    texList.Set(listRoot("/sys/share/tex"));
    pshaderList.Set(listRoot("/sys/share/pshader"));
    vxbufList.Set(listRoot("/sys/share/vxbuf"));
    ixbufList.Set(listRoot("/sys/share/ixbuf"));
}

nGfxServer::~nGfxServer() {
    for (nMouseCursor& c : cursors) {
        if (nTexture* t = c.texture.GetUnsafe()) {
            c.texture.Set(nullptr);
            t->Release();
        }
    }
    for (nRef<nRoot>* list : {&texList, &pshaderList, &vxbufList, &ixbufList}) {
        nRoot* root = list->GetUnsafe();
        list->Set(nullptr);
        if (root) root->Release();
    }
}

// ---- display mode

bool nGfxServer::SetDisplayMode(const char* mode) {
    // A key that is given but cannot be read keeps the value it had before this call.
    char prevDev[sizeof(dev)], prevType[sizeof(type)], prevRType[sizeof(rtype)];
    std::memcpy(prevDev, dev, sizeof(dev));
    std::memcpy(prevType, type, sizeof(type));
    std::memcpy(prevRType, rtype, sizeof(rtype));
    const int prev[6] = {width, height, bpp, zbuf, sbuf, bbuf};
    int* const numbers[6] = {&width, &height, &bpp, &zbuf, &sbuf, &bbuf};
    static const char* const numberKeys[6] = {"w", "h", "bpp", "zbuf", "sbuf", "bbuf"};

    std::strcpy(dev, "0");
    std::strcpy(type, "win");
    std::strcpy(rtype, "hal");
    width = DefWidth;
    height = DefHeight;
    bpp = DefBpp;
    zbuf = DefZBuf;
    sbuf = DefSBuf;
    bbuf = DefBBuf;

    std::string text = mode ? mode : "";
    for (const nModeString::Item& it : nModeString::Split(mode)) {
        const std::string& item = it.text;
        const std::string& key = it.key;
        const std::string& value = it.value;
        const bool wellFormed = it.wellFormed;

        int n = 0;
        while (n < 6 && key != numberKeys[n]) ++n;
        if (n < 6) {
            int v;
            if (wellFormed && parseInt(value.c_str(), v)) {
                *numbers[n] = v;
            } else {
                *numbers[n] = prev[n];
                n_error("nGfxServer::SetDisplayMode(): cannot read '%s' in '%s'\n", item.c_str(), text.c_str());
            }
        } else if (key == "dev" || key == "type" || key == "rtype") {
            char* field = key == "dev" ? dev : key == "type" ? type : rtype;
            const char* before = key == "dev" ? prevDev : key == "type" ? prevType : prevRType;
            size_t size = key == "dev" ? sizeof(dev) : key == "type" ? sizeof(type) : sizeof(rtype);
            if (wellFormed && !value.empty()) {
                nKernelServer::StrCopy(field, value.c_str(), size);
            } else {
                nKernelServer::StrCopy(field, before, size);
                n_error("nGfxServer::SetDisplayMode(): cannot read '%s' in '%s'\n", item.c_str(), text.c_str());
            }
        } else if (key == "title") {
            windowTitle.Set(value.c_str());
        } else if (key == "icon") {
            iconName.Set(value.c_str());
        }
    }
    std::snprintf(displayMode, sizeof(displayMode), "dev(%s)-rtype(%s)-type(%s)-w(%d)-h(%d)-bpp(%d)-zbuf(%d)-sbuf(%d)-bbuf(%d)",
                  dev, rtype, type, width, height, bpp, zbuf, sbuf, bbuf);
    return true;
}

const char* nGfxServer::GetDisplayMode() { return displayMode; }
bool nGfxServer::OpenDisplay() { return false; }
void nGfxServer::CloseDisplay() {}
bool nGfxServer::IsDisplayOpen() { return false; }
bool nGfxServer::GetDisplayDesc(int&, int&, int&, int&) { return false; }
bool nGfxServer::GetFeature(int&) { return false; }

void nGfxServer::SetViewVolume(float minx, float maxx, float miny, float maxy, float minz, float maxz) {
    viewVolume[0] = minx; viewVolume[1] = maxx;
    viewVolume[2] = miny; viewVolume[3] = maxy;
    viewVolume[4] = minz; viewVolume[5] = maxz;
}

void nGfxServer::GetViewVolume(float& minx, float& maxx, float& miny, float& maxy, float& minz, float& maxz) {
    minx = viewVolume[0]; maxx = viewVolume[1];
    miny = viewVolume[2]; maxy = viewVolume[3];
    minz = viewVolume[4]; maxz = viewVolume[5];
}

// Kept here so that a getter never hands out unset values; the device server overrides both.
void nGfxServer::SetClearColor(float r, float g, float b, float a) {
    clearColor[0] = r; clearColor[1] = g; clearColor[2] = b; clearColor[3] = a;
}

void nGfxServer::GetClearColor(float& r, float& g, float& b, float& a) {
    r = clearColor[0]; g = clearColor[1]; b = clearColor[2]; a = clearColor[3];
}

// ---- screenshots without a device: a test picture whose rows carry their number

namespace {
bool writeTestPicture(const char* file, int w, int h, int rowFactor) {
    nBmpFile bmp;
    bmp.SetWidth(w);
    bmp.SetHeight(h);
    if (!file || !bmp.Open(file, "wb")) {
        n_error("nGfxServer: cannot write screenshot '%s'\n", file ? file : "");
        return false;
    }
    std::vector<uint8_t> row(size_t(w) * 3);
    for (int y = 0; y < h; ++y) {
        std::fill(row.begin(), row.end(), uint8_t((y * rowFactor) & 255));
        bmp.WriteLine(row.data());
    }
    bmp.Close();
    if (bmp.WriteFailed()) {
        n_error("nGfxServer: writing screenshot '%s' failed\n", file);
        return false;
    }
    return true;
}
} // namespace

bool nGfxServer::Screenshot(const char* file) { return writeTestPicture(file, width, height, 1); }

bool nGfxServer::ScaledScreenshot(const char* file, int w, int h) { return writeTestPicture(file, w, h, 16); }

int nGfxServer::GetColorFormat() { return RGBA; }

// ---- frame

bool nGfxServer::BeginScene() {
    numLights = 0;
    return true;
}

void nGfxServer::EndScene() {
    nTimeServer* ts = nKernelServer::ks ? nKernelServer::ks->GetTimeServer() : nullptr;
    if (ts) endSceneTime = ts->GetTime();
}

// ---- matrices

void nGfxServer::SetMatrix(int t, const matrix44& m) {
    switch (t) {
    case MODELVIEW: modelview = m; break;
    case PROJECTION: projection = m; break;
    case VIEWER:
        viewer = m;
        invViewer = m;
        invViewer.Invert();
        break;
    default: n_error("nGfxServer::SetMatrix(): matrix type %d cannot be set\n", t); break;
    }
}

matrix44& nGfxServer::GetMatrix(int t) {
    switch (t) {
    case VIEWER: return viewer;
    case PROJECTION: return projection;
    case INVVIEWER: return invViewer;
    default: return modelview;
    }
}

// The stacks are checked: an overflow or underflow is logged and ignored.
void nGfxServer::PushMatrix(int t) {
    switch (t) {
    case MODELVIEW:
        if (modelviewDepth >= ModelviewStackDepth) break;
        modelviewStack[modelviewDepth++] = modelview;
        return;
    case VIEWER:
        if (viewerDepth >= OtherStackDepth || invViewerDepth >= OtherStackDepth) break;
        viewerStack[viewerDepth++] = viewer;
        invViewerStack[invViewerDepth++] = invViewer;
        return;
    case PROJECTION:
        if (projectionDepth >= OtherStackDepth) break;
        projectionStack[projectionDepth++] = projection;
        return;
    default: break;
    }
    n_error("nGfxServer::PushMatrix(): stack of matrix type %d is full or does not exist\n", t);
}

void nGfxServer::PopMatrix(int t) {
    switch (t) {
    case MODELVIEW:
        if (modelviewDepth <= 0) break;
        modelview = modelviewStack[--modelviewDepth];
        return;
    case VIEWER:
        if (viewerDepth <= 0 || invViewerDepth <= 0) break;
        viewer = viewerStack[--viewerDepth];
        invViewer = invViewerStack[--invViewerDepth];
        return;
    case PROJECTION:
        if (projectionDepth <= 0) break;
        projection = projectionStack[--projectionDepth];
        return;
    default: break;
    }
    n_error("nGfxServer::PopMatrix(): stack of matrix type %d is empty or does not exist\n", t);
}

void nGfxServer::SetRenderState(const nRenderState&) {}

bool nGfxServer::SetLight(const nLight& light) {
    if (numLights >= MaxLights) return false;
    lights[numLights] = light;
    lights[numLights].modelview = modelview;
    numLights++;
    return true;
}

void nGfxServer::Begin(int) {}
void nGfxServer::Coord(float, float, float) {}
void nGfxServer::Norm(float, float, float) {}
void nGfxServer::Rgba(float, float, float, float) {}
void nGfxServer::Uv3(float, float, float) {}
void nGfxServer::End() {}

// ---- shared resources

char* nGfxServer::MakeResourceName(const char* name, char* buf, size_t size) {
    if (!buf || size == 0) return buf;
    if (!name || !*name) {
        std::snprintf(buf, size, "res%d", resourceCounter++);
    } else {
        size_t len = std::strlen(name);
        // Long names keep their end, where file names differ.
        const char* from = len > size - 1 ? name + (len - (size - 1)) : name;
        nKernelServer::StrCopy(buf, from, size);
    }
    for (char* p = buf; *p; ++p) {
        if (*p == '.' || *p == '/' || *p == '\\' || *p == ':') *p = '_';
    }
    return buf;
}

nString nGfxServer::MakeResourceName(const char* name) {
    if (!name || !*name) return nString::Format("res%d", resourceCounter++);
    std::string out(name);
    for (char& ch : out) {
        if (ch == '.' || ch == '/' || ch == '\\' || ch == ':') ch = '_';
    }
    return nString(out.c_str(), out.size());
}

nRoot* nGfxServer::findResource(nRef<nRoot>& list, const char* className, const char* name) {
    const nString objName = MakeResourceName(name);
    const char* buf = objName.Get();
    nRoot* root = list.Get();
    nRoot* obj = root->Find(buf);
    if (!obj) return nullptr;
    if (!obj->IsA(className)) {
        n_error("nGfxServer: '%s' in the resource list is no %s\n", buf, className);
        return nullptr;
    }
    obj->AddRef();
    return obj;
}

nRoot* nGfxServer::newResource(nRef<nRoot>& list, const char* className, const char* name) {
    const nString objName = MakeResourceName(name);
    const char* buf = objName.Get();
    nKernelServer* ks = nKernelServer::ks;
    ks->PushCwd(list.Get());
    nRoot* obj = ks->New(className, buf);
    ks->PopCwd();
    if (obj && !obj->IsA(className)) {
        n_error("nGfxServer: '%s' in the resource list is no %s\n", buf, className);
        return nullptr;
    }
    return obj;
}

nTexture* nGfxServer::NewTexture(const char*) { return nullptr; }
nPixelShader* nGfxServer::NewPixelShader(const char*) { return nullptr; }
nVertexPool* nGfxServer::NewVertexPool(nVertexPoolManager*, int, int, int) { return nullptr; }
nVertexBuffer* nGfxServer::NewVertexBuffer(const char*, int, int, int) { return nullptr; }

nIndexBuffer* nGfxServer::NewIndexBuffer(const char* name) {
    return static_cast<nIndexBuffer*>(newResource(ixbufList, "nindexbuffer", name));
}

nTexture* nGfxServer::FindTexture(const char* name) {
    return static_cast<nTexture*>(findResource(texList, "ntexture", name));
}

nPixelShader* nGfxServer::FindPixelShader(const char* name) {
    return static_cast<nPixelShader*>(findResource(pshaderList, "npixelshader", name));
}

nVertexBuffer* nGfxServer::FindVertexBuffer(const char* name) {
    return static_cast<nVertexBuffer*>(findResource(vxbufList, "nvertexbuffer", name));
}

nIndexBuffer* nGfxServer::FindIndexBuffer(const char* name) {
    return static_cast<nIndexBuffer*>(findResource(ixbufList, "nindexbuffer", name));
}

nVertexBuffer* nGfxServer::NewDynamicVertexBuffer(int, int) { return nullptr; }
void nGfxServer::DynamicVertexBufferDone(nVertexBuffer*) {}

void nGfxServer::releaseList(nRef<nRoot>& list) {
    nRoot* root = list.Get();
    while (nRoot* child = root->GetHead()) {
        while (!child->Release()) {
        }
    }
}

void nGfxServer::ReleaseResources() {
    releaseList(texList);
    releaseList(pshaderList);
    releaseList(vxbufList);
    releaseList(ixbufList);
}

// ---- text, back buffer, window

bool nGfxServer::BeginText() { return false; }
void nGfxServer::SetTextPos(float, float) {}
void nGfxServer::SetTextColor(float, float, float, float) {}
bool nGfxServer::Text(const char*) { return false; }
bool nGfxServer::EndText() { return false; }
void* nGfxServer::LockBackBuffer(const float*, nPixelFormat**, int*) { return nullptr; }
void* nGfxServer::LockBackBufferForWrite(const float* rect, nPixelFormat** format, int* pitch) {
    return LockBackBuffer(rect, format, pitch);
}
void nGfxServer::UnlockBackBuffer() {}

// Kept so that the window opened later carries it; the device server also sets the caption.
void nGfxServer::SetWindowTitle(const char* title) { windowTitle.Set(title); }

bool nGfxServer::Trigger() { return false; }

// ---- cursors

void nGfxServer::ShowCursor() { cursorShown = true; }
void nGfxServer::HideCursor() { cursorShown = false; }
void nGfxServer::SetCursorFlag(bool flag) { cursorFlag = flag; }
void nGfxServer::SetGamma(float, float, float) {}

void nGfxServer::BeginCursors(int count) {
    for (int i = 0; i < numCursors; ++i) {
        cursors[i].file.Set("");
        if (nTexture* t = cursors[i].texture.GetUnsafe()) {
            cursors[i].texture.Set(nullptr);
            t->Release();
        }
    }
    if (count < 0 || count > MaxCursors) {
        n_error("nGfxServer::BeginCursors(): %d cursors asked for, at most %d fit\n", count, MaxCursors);
        count = count < 0 ? 0 : MaxCursors;
    }
    numCursors = count;
}

void nGfxServer::SetCursor(int index, const char* file, int hotX, int hotY) {
    if (index < 0 || index >= MaxCursors) {
        n_error("nGfxServer::SetCursor(): cursor index %d out of range\n", index);
        return;
    }
    cursors[index].file.Set(file);
    cursors[index].hotX = hotX;
    cursors[index].hotY = hotY;
}

void nGfxServer::EndCursors() {
    loadCursors();
    if (cursorShown) ShowCursor();
    else HideCursor();
}

void nGfxServer::loadCursors() {
    for (int i = 0; i < numCursors; ++i) {
        nMouseCursor& c = cursors[i];
        if (nTexture* old = c.texture.GetUnsafe()) {
            c.texture.Set(nullptr);
            old->Release();
        }
        char name[24];
        std::snprintf(name, sizeof(name), "cursor%d", i);
        nTexture* tex = NewTexture(name);
        if (!tex) {
            n_error("nGfxServer: no texture for cursor %d ('%s')\n", i, c.file.Get());
            continue;
        }
        tex->SetFileNames(c.file.Get(), nullptr);
        tex->SetGenMipMaps(false);
        // A missing cursor image comes from script data: logged, the cursor stays empty.
        if (!tex->Load()) {
            n_error("nGfxServer: cannot load cursor image '%s'\n", c.file.Get());
            tex->Release();
            continue;
        }
        c.texture.Set(tex);
    }
}

void nGfxServer::SetCurrentCursor(int index) {
    if (index < 0 || index >= MaxCursors) {
        n_error("nGfxServer::SetCurrentCursor(): cursor index %d out of range\n", index);
        return;
    }
    curCursor = index;
}

// ---- texture size

void nGfxServer::SetMaxTextureSize(int size) {
    if (size <= 0) {
        n_error("nGfxServer::SetMaxTextureSize(): invalid size %d\n", size);
        return;
    }
    if (size != maxTextureSize) {
        ReleaseResources();
        maxTextureSize = size;
    }
}

int nGfxServer::GetMaxTextureSize() { return maxTextureSize; }
