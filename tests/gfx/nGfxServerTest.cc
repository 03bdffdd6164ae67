#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "gfx/nGfxServer.h"
#include "gfx/nIndexBuffer.h"
#include "gfx/nPixelShader.h"
#include "gfx/nTexture.h"
#include "gfx/nVertexBuffer.h"
#include "kernel/nTimeServer.h"
#include "tests/gfx/GfxTestKernel.h"

namespace {

// A texture that "loads" whenever it has a file name not starting with "missing".
class nTestCursorTexture : public nTexture {
public:
    static const nClassInfo classInfo;
    bool Load() override {
        const char *file, *alpha;
        GetFileNames(file, alpha);
        loaded = file && std::strncmp(file, "missing", 7) != 0 && !GetGenMipMaps();
        return loaded;
    }
    bool loaded = false;
};
const nClassInfo nTestCursorTexture::classInfo = nClassInfo::Make<nTestCursorTexture>("ntestcursortexture", "ntexture");

// A device server stand-in that makes textures, so cursors can be loaded.
class nTestGfxServer : public nGfxServer {
public:
    static const nClassInfo classInfo;
    nTexture* NewTexture(const char* name) override {
        return static_cast<nTexture*>(newResource(texList, "ntestcursortexture", name));
    }
    int shows = 0, hides = 0;
    void ShowCursor() override { shows++; nGfxServer::ShowCursor(); }
    void HideCursor() override { hides++; nGfxServer::HideCursor(); }
};
const nClassInfo nTestGfxServer::classInfo = nClassInfo::Make<nTestGfxServer>("ntestgfxserver", "ngfxserver");

// One script command call from C++: find by name, fill inputs, dispatch, read outputs.
class ScriptCall {
public:
    ScriptCall(nRoot* obj, const char* name) : obj_(obj) {
        proto_ = obj->GetClass()->FindCmdByName(name);
        EXPECT_NE(proto_, nullptr) << name;
        if (proto_) cmd_ = proto_->NewCmd();
    }
    ~ScriptCall() {
        if (proto_) proto_->RelCmd(cmd_);
    }
    nArg* In() { return cmd_->In(); }
    bool Run() { return cmd_ && obj_->Dispatch(cmd_); }
    nArg* Out() { return cmd_->Out(); }

private:
    nRoot* obj_;
    nCmdProto* proto_ = nullptr;
    nCmd* cmd_ = nullptr;
};

std::string SetMode(nGfxServer* gfx, const char* mode) {
    ScriptCall set(gfx, "setdisplaymode");
    set.In()->SetS(mode);
    EXPECT_TRUE(set.Run());
    EXPECT_TRUE(set.Out()->GetB());
    ScriptCall get(gfx, "getdisplaymode");
    EXPECT_TRUE(get.Run());
    return get.Out()->GetS();
}

class GfxServerTest : public GfxTestKernel {
protected:
    void SetUp() override {
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nGfxPackage(ks);
            ks->AddClass(nTestCursorTexture::classInfo);
            ks->AddClass(nTestGfxServer::classInfo);
        });
        kernel->SetLogHandler(&log);
        gfx = static_cast<nGfxServer*>(kernel->New("ngfxserver", "/sys/servers/gfx"));
    }
    nRoot* MakeIn(const char* list, const char* cls, const char* name) {
        return kernel->New(cls, (std::string("/sys/share/") + list + "/" + name).c_str());
    }
    nGfxServer* gfx = nullptr;
};

TEST_F(GfxServerTest, ScriptInterfaceHasTheCommandsInOrder) {
    static const char* const expected[][2] = {
        {"b_setdisplaymode_s", "SDPM"}, {"s_getdisplaymode_v", "GDPM"}, {"b_opendisplay_v", "ODSP"},
        {"v_closedisplay_v", "CDSP"}, {"b_isdisplayopen_v", "IDPO"}, {"v_setviewvolume_ffffff", "SVWV"},
        {"ffffff_getviewvolume_v", "GVWV"}, {"v_setclearcolor_ffff", "SCLC"}, {"ffff_getclearcolor_v", "GCLC"},
        {"b_screenshot_s", "SSHT"}, {"b_scaledscreenshot_sii", "SCLS"}, {"v_setmaxtexturesize_i", "SMTS"},
        {"i_getmaxtexturesize_v", "GMTS"}, {"v_setclearbb_b", "GXSC"}, {"v_begincursors_i", "BCUR"},
        {"v_setcursor_isii", "SCUR"}, {"v_setgamma_fff", "GSGA"}, {"v_endcursors_v", "ECUR"},
        {"v_showcursor_v", "SHCR"}, {"v_hidecursor_v", "HCUR"}, {"v_setcurrentcursor_i", "SCCR"},
        {"i_getcurrentcursor_v", "GCCR"}, {"v_setwindowtitle_s", "GSWT"},
    };
    nClass* cls = kernel->FindClass("ngfxserver");
    ASSERT_NE(cls, nullptr);
    EXPECT_STREQ(cls->GetSuperClass()->GetName(), "nroot");
    nCmdProto* p = cls->GetFirstCmd();
    for (const auto& e : expected) {
        ASSERT_NE(p, nullptr) << e[0];
        EXPECT_STREQ(p->GetProtoText(), e[0]);
        EXPECT_EQ(p->GetId(), nId(e[1])) << e[0];
        p = p->GetNextCmd();
    }
    EXPECT_EQ(p, nullptr);
    EXPECT_TRUE(gfx->IsA("nroot"));
}

TEST_F(GfxServerTest, DisplayModeStrings) {
    const char* def = "dev(0)-rtype(hal)-type(win)-w(512)-h(384)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)";
    EXPECT_STREQ(gfx->GetDisplayMode(), def);
    EXPECT_EQ(SetMode(gfx, ""), def);
    EXPECT_EQ(SetMode(gfx, "type(full)-w(800)-h(600)-bpp(32)"),
              "dev(0)-rtype(hal)-type(full)-w(800)-h(600)-bpp(32)-zbuf(16)-sbuf(0)-bbuf(1)");
    EXPECT_EQ(SetMode(gfx, "type(full)-w(800)-h(600)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(sw)"),
              "dev(0)-rtype(sw)-type(full)-w(800)-h(600)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)");
    EXPECT_FALSE(TakeErrors());

    // Keys that are not given return to their defaults.
    EXPECT_EQ(SetMode(gfx, "w(640)"), "dev(0)-rtype(hal)-type(win)-w(640)-h(384)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)");
    EXPECT_EQ(gfx->GetWidth(), 640);
    EXPECT_EQ(gfx->GetHeight(), 384);

    // The first occurrence wins; unknown keys and empty items are ignored.
    EXPECT_EQ(SetMode(gfx, "w(100)--w(200)-fsaa(4)-dev(1)"),
              "dev(1)-rtype(hal)-type(win)-w(100)-h(384)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)");
    EXPECT_FALSE(TakeErrors());

    // A key that is given but cannot be read keeps its value from before the call; a
    // negative value splits into "w(" and "1)" and so cannot be read. The rest is read.
    SetMode(gfx, "type(full)-w(800)-h(600)-bpp(32)");
    EXPECT_EQ(SetMode(gfx, "w(-1)-h(480)"), "dev(0)-rtype(hal)-type(win)-w(800)-h(480)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)");
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(SetMode(gfx, "w(abc)-h()-bpp-zbuf(99999999999)-sbuf(8)"),
              "dev(0)-rtype(hal)-type(win)-w(800)-h(480)-bpp(16)-zbuf(16)-sbuf(8)-bbuf(1)");
    EXPECT_TRUE(TakeErrors());
    SetMode(gfx, "type(full)-rtype(ref)");
    EXPECT_EQ(SetMode(gfx, "type(window-rtype()"), "dev(0)-rtype(ref)-type(full)-w(512)-h(384)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)");
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(SetMode(gfx, ""), def);

    // Texts are cut to their fields; the canonical form never overflows.
    std::string longType = "type(" + std::string(200, 'x') + ")-dev(" + std::string(200, 'd') + ")";
    std::string canon = SetMode(gfx, longType.c_str());
    EXPECT_EQ(std::strlen(gfx->GetType()), 31u);
    EXPECT_EQ(std::strlen(gfx->GetDev()), 63u);
    EXPECT_LT(canon.size(), 256u);

    // Title and icon keep their values when absent.
    SetMode(gfx, "title(Brinewick)-icon(bw)");
    EXPECT_STREQ(gfx->GetWindowTitle(), "Brinewick");
    SetMode(gfx, "w(320)");
    EXPECT_STREQ(gfx->GetWindowTitle(), "Brinewick");
    EXPECT_STREQ(gfx->GetIconName(), "bw");

    ScriptCall title(gfx, "setwindowtitle");
    title.In()->SetS("Tessel");
    EXPECT_TRUE(title.Run());
    EXPECT_STREQ(gfx->GetWindowTitle(), "Tessel");

    // A wrong argument type is refused by the dispatcher, not run.
    ScriptCall bad(gfx, "setdisplaymode");
    bad.In()->SetI(3);
    EXPECT_FALSE(bad.Run());
    EXPECT_STREQ(gfx->GetWindowTitle(), "Tessel");
}

TEST_F(GfxServerTest, BaseDisplayAndViewState) {
    ScriptCall open(gfx, "opendisplay");
    ASSERT_TRUE(open.Run());
    EXPECT_FALSE(open.Out()->GetB());

    {
        ScriptCall get(gfx, "getviewvolume");
        ASSERT_TRUE(get.Run());
        const float def[6] = {-0.1f, 0.1f, -0.1f, 0.1f, 0.1f, 25000.0f};
        for (float f : def) EXPECT_FLOAT_EQ(get.Out()->GetF(), f);
    }
    {
        ScriptCall set(gfx, "setviewvolume");
        for (int i = 0; i < 6; ++i) set.In()->SetF(float(i + 1));
        ASSERT_TRUE(set.Run());
        float v[6];
        gfx->GetViewVolume(v[0], v[1], v[2], v[3], v[4], v[5]);
        for (int i = 0; i < 6; ++i) EXPECT_EQ(v[i], float(i + 1));
    }
    {
        ScriptCall set(gfx, "setclearcolor");
        for (float f : {0.25f, 0.5f, 0.75f, 1.0f}) set.In()->SetF(f);
        ASSERT_TRUE(set.Run());
        ScriptCall get(gfx, "getclearcolor");
        ASSERT_TRUE(get.Run());
        for (float f : {0.25f, 0.5f, 0.75f, 1.0f}) EXPECT_EQ(get.Out()->GetF(), f);
    }
    {
        EXPECT_TRUE(gfx->GetClearBackBuffer());
        ScriptCall clear(gfx, "setclearbb");
        clear.In()->SetB(false);
        ASSERT_TRUE(clear.Run());
        EXPECT_FALSE(gfx->GetClearBackBuffer());
    }

    // EndScene takes the time server's time.
    kernel->GetTimeServer()->SetTime(12.5);
    gfx->EndScene();
    EXPECT_NEAR(gfx->GetEndSceneTime(), 12.5, 0.01);
}

TEST_F(GfxServerTest, MatricesAndTheirStacks) {
    matrix44 view;
    view.m[3][0] = 10.0f;  // translation
    view.m[3][1] = -4.0f;
    gfx->SetMatrix(nGfxServer::VIEWER, view);
    EXPECT_EQ(gfx->GetMatrix(nGfxServer::VIEWER), view);
    matrix44 inv = gfx->GetMatrix(nGfxServer::INVVIEWER);
    EXPECT_FLOAT_EQ(inv.m[3][0], -10.0f);
    EXPECT_FLOAT_EQ(inv.m[3][1], 4.0f);

    matrix44 mv;
    mv.m[0][0] = 2.0f;
    gfx->SetMatrix(nGfxServer::MODELVIEW, mv);
    EXPECT_EQ(gfx->GetMatrix(nGfxServer::MODELVIEW), mv);
    EXPECT_EQ(gfx->GetMatrix(17), mv);  // unknown types give the modelview
    matrix44 proj;
    proj.m[2][3] = 1.0f;
    gfx->SetMatrix(nGfxServer::PROJECTION, proj);
    EXPECT_EQ(gfx->GetMatrix(nGfxServer::PROJECTION), proj);
    gfx->SetMatrix(nGfxServer::INVVIEWER, proj);  // never set directly
    EXPECT_EQ(gfx->GetMatrix(nGfxServer::INVVIEWER), inv);
    EXPECT_TRUE(TakeErrors());

    // Push, change, pop restores; the viewer carries its inverse along.
    gfx->PushMatrix(nGfxServer::VIEWER);
    gfx->SetMatrix(nGfxServer::VIEWER, matrix44());
    EXPECT_EQ(gfx->GetMatrix(nGfxServer::INVVIEWER), matrix44());
    gfx->PopMatrix(nGfxServer::VIEWER);
    EXPECT_EQ(gfx->GetMatrix(nGfxServer::VIEWER), view);
    EXPECT_EQ(gfx->GetMatrix(nGfxServer::INVVIEWER), inv);

    // The modelview stack holds 4; a fifth push and an extra pop are refused.
    for (int i = 0; i < 4; ++i) {
        matrix44 m;
        m.m[3][2] = float(i);
        gfx->SetMatrix(nGfxServer::MODELVIEW, m);
        gfx->PushMatrix(nGfxServer::MODELVIEW);
    }
    EXPECT_FALSE(TakeErrors());
    gfx->PushMatrix(nGfxServer::MODELVIEW);
    EXPECT_TRUE(TakeErrors());
    for (int i = 3; i >= 0; --i) {
        gfx->PopMatrix(nGfxServer::MODELVIEW);
        EXPECT_EQ(gfx->GetMatrix(nGfxServer::MODELVIEW).m[3][2], float(i));
    }
    gfx->PopMatrix(nGfxServer::MODELVIEW);
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(gfx->GetMatrix(nGfxServer::MODELVIEW).m[3][2], 0.0f);

    gfx->PushMatrix(nGfxServer::PROJECTION);
    gfx->PushMatrix(nGfxServer::PROJECTION);
    EXPECT_FALSE(TakeErrors());
    gfx->PushMatrix(nGfxServer::PROJECTION);
    EXPECT_TRUE(TakeErrors());
}

TEST_F(GfxServerTest, LightsPerFrame) {
    matrix44 mv;
    mv.m[3][0] = 5.0f;
    gfx->SetMatrix(nGfxServer::MODELVIEW, mv);
    nLight light;
    EXPECT_EQ(light.attLinear, 1.0f);
    EXPECT_EQ(light.spotCone, 45.0f);
    EXPECT_TRUE(light.castShadows);
    for (int i = 0; i < 8; ++i) {
        light.r = float(i);
        EXPECT_TRUE(gfx->SetLight(light)) << i;
    }
    light.r = 99.0f;
    EXPECT_FALSE(gfx->SetLight(light));
    EXPECT_EQ(gfx->GetNumLights(), 8);
    EXPECT_EQ(gfx->GetLight(7).r, 7.0f);
    EXPECT_EQ(gfx->GetLight(0).modelview, mv);
    EXPECT_TRUE(gfx->BeginScene());
    EXPECT_EQ(gfx->GetNumLights(), 0);
    EXPECT_TRUE(gfx->SetLight(light));
    EXPECT_EQ(gfx->GetLight(0).r, 99.0f);
}

TEST_F(GfxServerTest, ResourceNames) {
    char buf[nGfxServer::ResourceNameSize];
    EXPECT_STREQ(gfx->MakeResourceName("textures/a.bmp", buf, sizeof(buf)), "textures_a_bmp");
    EXPECT_STREQ(gfx->MakeResourceName("c:\\x\\y.ntx", buf, sizeof(buf)), "c__x_y_ntx");
    EXPECT_STREQ(gfx->MakeResourceName(nullptr, buf, sizeof(buf)), "res0");
    EXPECT_STREQ(gfx->MakeResourceName(nullptr, buf, sizeof(buf)), "res1");
    EXPECT_STREQ(gfx->MakeResourceName("", buf, sizeof(buf)), "res2");
    // Long names keep their last 31 characters.
    std::string lng = "data/levels/wreck/textures/hull_plate_rusty_01.bmp";
    gfx->MakeResourceName(lng.c_str(), buf, sizeof(buf));
    EXPECT_STREQ(buf, "extures_hull_plate_rusty_01_bmp");
    // A small buffer is never overrun.
    char tiny[4];
    EXPECT_STREQ(gfx->MakeResourceName("a/b.c/d", tiny, sizeof(tiny)), "c_d");
}

TEST_F(GfxServerTest, SharedResourcesByName) {
    // The lists exist under /sys/share.
    for (const char* p : {"/sys/share/tex", "/sys/share/pshader", "/sys/share/vxbuf", "/sys/share/ixbuf"}) {
        EXPECT_NE(kernel->Lookup(p), nullptr) << p;
    }

    // Not there yet: null. Created once, found by the plain and by the mangled name.
    EXPECT_EQ(gfx->FindIndexBuffer("a/b.c"), nullptr);
    nIndexBuffer* ib = gfx->NewIndexBuffer("a/b.c");
    ASSERT_NE(ib, nullptr);
    EXPECT_STREQ(ib->GetName(), "a_b_c");
    EXPECT_EQ(kernel->Lookup("/sys/share/ixbuf/a_b_c"), ib);
    EXPECT_EQ(ib->GetRefCount(), 1);
    EXPECT_EQ(gfx->FindIndexBuffer("a/b.c"), ib);
    EXPECT_EQ(gfx->FindIndexBuffer("a_b_c"), ib);
    EXPECT_EQ(ib->GetRefCount(), 3);
    EXPECT_EQ(gfx->NewIndexBuffer("a_b_c"), ib);  // New on an existing name returns it
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());  // the current object is restored

    nRoot* tex = MakeIn("tex", "ntexture", "textures_a_bmp");
    nRoot* ps = MakeIn("pshader", "npixelshader", "water");
    nRoot* vb = MakeIn("vxbuf", "nvertexbuffer", "res0");
    EXPECT_EQ(gfx->FindTexture("textures/a.bmp"), tex);
    EXPECT_EQ(gfx->FindPixelShader("water"), ps);
    EXPECT_EQ(gfx->FindVertexBuffer("res0"), vb);
    EXPECT_EQ(gfx->FindTexture("water"), nullptr);

    // Something else under a resource name is not handed out as a resource.
    MakeIn("tex", "nroot", "stray");
    EXPECT_EQ(gfx->FindTexture("stray"), nullptr);
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(gfx->NewIndexBuffer(".."), gfx->NewIndexBuffer("__"));  // dots are mangled, no escape
    EXPECT_STREQ(gfx->FindIndexBuffer("..")->GetName(), "__");
}

TEST_F(GfxServerTest, MaxTextureSizeEmptiesTheLists) {
    nIndexBuffer* ib = gfx->NewIndexBuffer("quad");
    ib->AddRef();  // shared by two owners: still released
    MakeIn("tex", "ntexture", "t1");
    MakeIn("tex", "ntexture", "t2");
    MakeIn("pshader", "npixelshader", "p");
    MakeIn("vxbuf", "nvertexbuffer", "v");
    nRef<nRoot> watch(ib);

    ScriptCall same(gfx, "setmaxtexturesize");
    same.In()->SetI(1024);
    ASSERT_TRUE(same.Run());
    EXPECT_NE(kernel->Lookup("/sys/share/tex/t1"), nullptr);
    EXPECT_TRUE(watch.IsValid());

    ScriptCall smaller(gfx, "setmaxtexturesize");
    smaller.In()->SetI(256);
    ASSERT_TRUE(smaller.Run());
    for (const char* p : {"/sys/share/tex", "/sys/share/pshader", "/sys/share/vxbuf", "/sys/share/ixbuf"}) {
        nRoot* list = kernel->Lookup(p);
        ASSERT_NE(list, nullptr) << p;
        EXPECT_EQ(list->GetHead(), nullptr) << p;
    }
    EXPECT_FALSE(watch.IsValid());
    ScriptCall get(gfx, "getmaxtexturesize");
    ASSERT_TRUE(get.Run());
    EXPECT_EQ(get.Out()->GetI(), 256);

    gfx->SetMaxTextureSize(0);
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(gfx->GetMaxTextureSize(), 256);
}

TEST_F(GfxServerTest, ListRootsLiveWithTheServer) {
    nRoot* tex = kernel->Lookup("/sys/share/tex");
    nRef<nRoot> texRef(tex);
    nRef<nRoot> inside(MakeIn("tex", "ntexture", "x"));
    gfx->Release();
    EXPECT_FALSE(texRef.IsValid());
    EXPECT_FALSE(inside.IsValid());

    // A root that existed before the server outlives it.
    nRoot* pre = kernel->New("nroot", "/sys/share/tex");
    nRef<nRoot> preRef(pre);
    nRoot* again = kernel->New("ngfxserver", "/sys/servers/gfx");
    EXPECT_EQ(kernel->Lookup("/sys/share/tex"), pre);
    again->Release();
    EXPECT_TRUE(preRef.IsValid());
    gfx = nullptr;
}

TEST_F(GfxServerTest, IndexBufferBlock) {
    nIndexBuffer* ib = gfx->NewIndexBuffer("tri");
    ASSERT_NE(ib, nullptr);
    ib->Begin(0, nIndexBuffer::TRIANGLELIST, 6);
    EXPECT_EQ(ib->GetUsedCount(), 6);
    ASSERT_NE(ib->GetLockPtr(), nullptr);
    for (int i = 0; i < 6; ++i) ib->GetLockPtr()[i] = uint16_t(i);
    ib->End();
    EXPECT_FALSE(ib->IsInBegin());
    EXPECT_EQ(ib->GetLockPtr(), nullptr);
    EXPECT_EQ(ib->GetIndices()[5], 5);

    // A second Begin replaces the block; a bad count leaves an empty buffer.
    ib->Begin(1, nIndexBuffer::LINELIST, -4);
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(ib->GetCapacity(), 0);
    ib->End();
}

class GfxScreenshotTest : public GfxServerTest {
protected:
    std::string Path(const char* name) {
        dir = std::filesystem::temp_directory_path() / ("bw_gfx_shot_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        return (dir / name).string();
    }
    void TearDown() override {
        if (!dir.empty()) std::filesystem::remove_all(dir);
        GfxServerTest::TearDown();
    }
    static std::vector<uint8_t> ReadBytes(const std::string& p) {
        std::vector<uint8_t> v;
        FILE* f = std::fopen(p.c_str(), "rb");
        if (!f) return v;
        int c;
        while ((c = std::fgetc(f)) != EOF) v.push_back(uint8_t(c));
        std::fclose(f);
        return v;
    }
    std::filesystem::path dir;
};

TEST_F(GfxScreenshotTest, BaseWritesTheTestPicture) {
    SetMode(gfx, "w(5)-h(300)");
    std::string p = Path("shot.bmp");
    ScriptCall shot(gfx, "screenshot");
    shot.In()->SetS(p.c_str());
    ASSERT_TRUE(shot.Run());
    EXPECT_TRUE(shot.Out()->GetB());
    std::vector<uint8_t> b = ReadBytes(p);
    const size_t row = 16;  // 5 * 3 = 15, padded to 16
    ASSERT_EQ(b.size(), 54 + row * 300);
    EXPECT_EQ(b[22] | b[23] << 8, 300);
    for (int r : {0, 1, 255, 256, 299}) {
        EXPECT_EQ(b[54 + row * r], r & 255) << r;
        EXPECT_EQ(b[54 + row * r + 14], r & 255) << r;
        EXPECT_EQ(b[54 + row * r + 15], 0) << r;
    }

    std::string q = Path("scaled.bmp");
    ScriptCall scaled(gfx, "scaledscreenshot");
    scaled.In()->SetS(q.c_str());
    scaled.In()->SetI(4);
    scaled.In()->SetI(20);
    ASSERT_TRUE(scaled.Run());
    EXPECT_TRUE(scaled.Out()->GetB());
    b = ReadBytes(q);
    ASSERT_EQ(b.size(), 54u + 12u * 20u);
    EXPECT_EQ(b[18], 4);
    EXPECT_EQ(b[54 + 12 * 17], (17 * 16) & 255);

    EXPECT_FALSE(gfx->Screenshot(Path("no/such/dir.bmp").c_str()));
    EXPECT_FALSE(gfx->ScaledScreenshot(Path("neg.bmp").c_str(), -5, 10));
    EXPECT_TRUE(TakeErrors());
}

TEST_F(GfxServerTest, CursorTable) {
    nTestGfxServer* tg = static_cast<nTestGfxServer*>(kernel->New("ntestgfxserver", "/sys/servers/testgfx"));
    EXPECT_TRUE(tg->IsCursorVisible());

    // Zero cursors: nothing loads, the visibility is only applied again.
    tg->BeginCursors(0);
    tg->EndCursors();
    EXPECT_EQ(tg->shows, 1);
    EXPECT_EQ(kernel->Lookup("/sys/share/tex/cursor0"), nullptr);

    {
        ScriptCall begin(tg, "begincursors");
        begin.In()->SetI(2);
        ASSERT_TRUE(begin.Run());
    }
    for (int i = 0; i < 2; ++i) {
        ScriptCall set(tg, "setcursor");
        set.In()->SetI(i);
        set.In()->SetS(i == 0 ? "gui/arrow.bmp" : "missing.bmp");
        set.In()->SetI(3);
        set.In()->SetI(4);
        ASSERT_TRUE(set.Run());
    }
    {
        ScriptCall hide(tg, "hidecursor");
        ASSERT_TRUE(hide.Run());
    }
    ScriptCall end(tg, "endcursors");
    ASSERT_TRUE(end.Run());
    EXPECT_EQ(tg->hides, 2);
    const nMouseCursor& c0 = tg->GetCursorEntry(0);
    ASSERT_TRUE(c0.texture.IsValid());
    EXPECT_STREQ(c0.texture.Get()->GetName(), "cursor0");
    EXPECT_EQ(c0.hotX, 3);
    EXPECT_EQ(c0.hotY, 4);
    EXPECT_TRUE(static_cast<nTestCursorTexture*>(c0.texture.Get())->loaded);
    // An image that cannot be loaded is reported and leaves that cursor empty.
    EXPECT_FALSE(tg->GetCursorEntry(1).texture.IsValid());
    EXPECT_EQ(kernel->Lookup("/sys/share/tex/cursor1"), nullptr);
    EXPECT_TRUE(TakeErrors());

    // Loading again replaces the textures instead of piling them up.
    tg->EndCursors();
    EXPECT_EQ(tg->GetCursorEntry(0).texture.Get()->GetRefCount(), 1);

    // Indices and counts past the table are refused or clamped.
    tg->SetCursor(8, "x.bmp", 0, 0);
    EXPECT_TRUE(TakeErrors());
    tg->BeginCursors(9);
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(tg->GetNumCursors(), 8);
    EXPECT_FALSE(tg->GetCursorEntry(0).texture.IsValid());
    EXPECT_STREQ(tg->GetCursorEntry(0).file.Get(), "");

    ScriptCall cur(tg, "setcurrentcursor");
    cur.In()->SetI(1);
    ASSERT_TRUE(cur.Run());
    tg->SetCurrentCursor(12);
    EXPECT_TRUE(TakeErrors());
    ScriptCall getCur(tg, "getcurrentcursor");
    ASSERT_TRUE(getCur.Run());
    EXPECT_EQ(getCur.Out()->GetI(), 1);

    // The base server makes no cursor textures: reported, never fatal.
    gfx->BeginCursors(1);
    gfx->SetCursor(0, "gui/arrow.bmp", 0, 0);
    gfx->EndCursors();
    EXPECT_TRUE(TakeErrors());
    tg->Release();
}

using GfxServerDeathTest = GfxServerTest;

TEST_F(GfxServerDeathTest, TextureBaseOperationsAreAbstract) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    kernel->SetLogHandler(nullptr);
    nTexture* tex = static_cast<nTexture*>(MakeIn("tex", "ntexture", "t"));
    EXPECT_EXIT(tex->Create(4, 4, false), testing::ExitedWithCode(3), "pure virtual function call in ntex_main.cc");
    EXPECT_EXIT(tex->Unlock(), testing::ExitedWithCode(3), "pure virtual function call in ntex_main.cc");
}

}  // namespace
