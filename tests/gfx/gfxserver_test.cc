#include <gtest/gtest.h>
#include <lua.hpp>

#include <cstdlib>
#include <cstring>
#include <string>

#include "gfx/nGfxServer.h"
#include "gfx/nIndexBuffer.h"
#include "gfx/nTexArray.h"
#include "gfx/nTexture.h"
#include "kernel/nFileServer2.h"
#include "script/nLuaServer2.h"
#include "script/nScriptPackage.h"
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
    int hides = 0;
    void HideCursor() override { hides++; nGfxServer::HideCursor(); }
};
const nClassInfo nTestGfxServer::classInfo = nClassInfo::Make<nTestGfxServer>("ntestgfxserver", "ngfxserver");

class GfxServerTest : public GfxTestKernel {
protected:
    void SetUp() override {
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nScriptPackage(ks);
            nGfxPackage(ks);
            ks->AddClass(nTestCursorTexture::classInfo);
            ks->AddClass(nTestGfxServer::classInfo);
        });
        kernel->SetLogHandler(&log);
        gfx = static_cast<nGfxServer*>(kernel->New("ngfxserver", "/sys/servers/gfx"));
    }
    std::string Mode(const char* mode) {
        EXPECT_TRUE(gfx->SetDisplayMode(mode)) << mode;
        return gfx->GetDisplayMode();
    }
    nRoot* MakeIn(const char* list, const char* cls, const char* name) {
        return kernel->New(cls, (std::string("/sys/share/") + list + "/" + name).c_str());
    }
    nGfxServer* gfx = nullptr;
};

TEST_F(GfxServerTest, DisplayModeStrings) {
    EXPECT_FALSE(gfx->OpenDisplay());  // the base server opens nothing
    const char* def = "dev(0)-rtype(hal)-type(win)-w(512)-h(384)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)";
    EXPECT_STREQ(gfx->GetDisplayMode(), def);
    EXPECT_EQ(Mode("type(full)-w(800)-h(600)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(sw)"),
              "dev(0)-rtype(sw)-type(full)-w(800)-h(600)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)");
    EXPECT_FALSE(TakeErrors());

    // Keys that are not given return to their defaults.
    EXPECT_EQ(Mode("w(640)"), "dev(0)-rtype(hal)-type(win)-w(640)-h(384)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)");

    // The first occurrence wins; unknown keys and empty items are ignored.
    EXPECT_EQ(Mode("w(100)--w(200)-fsaa(4)-dev(1)"),
              "dev(1)-rtype(hal)-type(win)-w(100)-h(384)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)");
    EXPECT_FALSE(TakeErrors());

    // A key that is given but cannot be read keeps its value from before the call; a
    // negative value splits into "w(" and "1)" and so cannot be read. The rest is read.
    Mode("type(full)-w(800)-h(600)-bpp(32)");
    EXPECT_EQ(Mode("w(-1)-h(480)"), "dev(0)-rtype(hal)-type(win)-w(800)-h(480)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)");
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(Mode("w(abc)-h()-bpp-zbuf(99999999999)-sbuf(8)"),
              "dev(0)-rtype(hal)-type(win)-w(800)-h(480)-bpp(16)-zbuf(16)-sbuf(8)-bbuf(1)");
    EXPECT_TRUE(TakeErrors());
    Mode("type(full)-rtype(ref)");
    EXPECT_EQ(Mode("type(window-rtype()"), "dev(0)-rtype(ref)-type(full)-w(512)-h(384)-bpp(16)-zbuf(16)-sbuf(0)-bbuf(1)");
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(Mode(""), def);

    // Texts are cut to their fields; the canonical form never overflows.
    std::string longType = "type(" + std::string(200, 'x') + ")-dev(" + std::string(200, 'd') + ")";
    std::string canon = Mode(longType.c_str());
    EXPECT_EQ(std::strlen(gfx->GetType()), 31u);
    EXPECT_EQ(std::strlen(gfx->GetDev()), 63u);
    EXPECT_LT(canon.size(), 256u);

    // Title and icon keep their values when absent.
    Mode("title(Brinewick)-icon(bw)");
    Mode("w(320)");
    EXPECT_STREQ(gfx->GetWindowTitle(), "Brinewick");
    EXPECT_STREQ(gfx->GetIconName(), "bw");
}

TEST_F(GfxServerTest, MatricesAndTheirStacks) {
    matrix44 view;
    view.m[3][0] = 10.0f;  // translation
    view.m[3][1] = -4.0f;
    gfx->SetMatrix(nGfxServer::VIEWER, view);
    matrix44 inv = gfx->GetMatrix(nGfxServer::INVVIEWER);
    EXPECT_EQ(inv * view, matrix44());

    matrix44 mv;
    mv.m[0][0] = 2.0f;
    gfx->SetMatrix(nGfxServer::MODELVIEW, mv);
    EXPECT_EQ(gfx->GetMatrix(17), mv);  // unknown types give the modelview
    gfx->SetMatrix(nGfxServer::INVVIEWER, mv);  // never set directly
    EXPECT_EQ(gfx->GetMatrix(nGfxServer::INVVIEWER), inv);
    EXPECT_TRUE(TakeErrors());

    // Push, change, pop restores; the viewer carries its inverse along.
    gfx->PushMatrix(nGfxServer::VIEWER);
    gfx->SetMatrix(nGfxServer::VIEWER, matrix44());
    EXPECT_EQ(gfx->GetMatrix(nGfxServer::INVVIEWER), matrix44());
    gfx->PopMatrix(nGfxServer::VIEWER);
    EXPECT_EQ(gfx->GetMatrix(nGfxServer::VIEWER), view);
    EXPECT_EQ(gfx->GetMatrix(nGfxServer::INVVIEWER), inv);

    // The modelview stack holds 4 (the projection stack 2); a further push and an extra pop are refused.
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
    for (int i = 0; i < 2; ++i) gfx->PushMatrix(nGfxServer::PROJECTION);
    EXPECT_FALSE(TakeErrors());
    gfx->PushMatrix(nGfxServer::PROJECTION);
    EXPECT_TRUE(TakeErrors());
}

TEST_F(GfxServerTest, ResourceNames) {
    char buf[nGfxServer::ResourceNameSize];
    EXPECT_STREQ(gfx->MakeResourceName("textures/a.bmp", buf, sizeof(buf)), "textures_a_bmp");
    EXPECT_STREQ(gfx->MakeResourceName("c:\\x\\y.ntx", buf, sizeof(buf)), "c__x_y_ntx");
    EXPECT_STREQ(gfx->MakeResourceName(nullptr, buf, sizeof(buf)), "res0");
    EXPECT_STREQ(gfx->MakeResourceName("", buf, sizeof(buf)), "res1");
    // Long names keep their last 31 characters.
    gfx->MakeResourceName("data/levels/wreck/textures/hull_plate_rusty_01.bmp", buf, sizeof(buf));
    EXPECT_STREQ(buf, "extures_hull_plate_rusty_01_bmp");
    // A small buffer is never overrun.
    char tiny[4];
    EXPECT_STREQ(gfx->MakeResourceName("a/b.c/d", tiny, sizeof(tiny)), "c_d");
}

TEST_F(GfxServerTest, SharedResourcesByName) {
    // Not there yet: null. Created once, found by the plain and by the mangled name.
    EXPECT_EQ(gfx->FindIndexBuffer("a/b.c"), nullptr);
    nIndexBuffer* ib = gfx->NewIndexBuffer("a/b.c");
    ASSERT_NE(ib, nullptr);
    EXPECT_EQ(kernel->Lookup("/sys/share/ixbuf/a_b_c"), ib);
    EXPECT_EQ(ib->GetRefCount(), 1);
    EXPECT_EQ(gfx->FindIndexBuffer("a/b.c"), ib);
    EXPECT_EQ(gfx->FindIndexBuffer("a_b_c"), ib);
    EXPECT_EQ(ib->GetRefCount(), 3);
    EXPECT_EQ(gfx->NewIndexBuffer("a_b_c"), ib);  // New on an existing name returns it
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());  // the current object is restored

    nRoot* tex = MakeIn("tex", "ntexture", "textures_a_bmp");
    EXPECT_EQ(gfx->FindTexture("textures/a.bmp"), tex);
    EXPECT_EQ(gfx->FindTexture("water"), nullptr);

    // Something else under a resource name is not handed out as a resource.
    MakeIn("tex", "nroot", "stray");
    EXPECT_EQ(gfx->FindTexture("stray"), nullptr);
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(gfx->NewIndexBuffer(".."), gfx->NewIndexBuffer("__"));  // dots are mangled, no escape
    EXPECT_STREQ(gfx->FindIndexBuffer("..")->GetName(), "__");

    // An index block: a second Begin replaces it; a bad count leaves an empty buffer.
    ib->Begin(0, nIndexBuffer::TRIANGLELIST, 6);
    ASSERT_NE(ib->GetLockPtr(), nullptr);
    for (int i = 0; i < 6; ++i) ib->GetLockPtr()[i] = uint16_t(i);
    ib->End();
    EXPECT_EQ(ib->GetIndices()[5], 5);
    ib->Begin(1, nIndexBuffer::LINELIST, -4);
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(ib->GetCapacity(), 0);
    ib->End();
}

TEST_F(GfxServerTest, ResourceListsEmptyOnANewTextureSizeAndLiveWithTheServer) {
    nIndexBuffer* ib = gfx->NewIndexBuffer("quad");
    ib->AddRef();  // shared by two owners: still released
    MakeIn("tex", "ntexture", "t1");
    MakeIn("pshader", "npixelshader", "p");
    MakeIn("vxbuf", "nvertexbuffer", "v");
    nRef<nRoot> watch(ib);

    gfx->SetMaxTextureSize(1024);  // the same size keeps everything
    EXPECT_NE(kernel->Lookup("/sys/share/tex/t1"), nullptr);
    EXPECT_TRUE(watch.IsValid());
    gfx->SetMaxTextureSize(256);
    for (const char* p : {"/sys/share/tex", "/sys/share/pshader", "/sys/share/vxbuf", "/sys/share/ixbuf"}) {
        nRoot* list = kernel->Lookup(p);
        ASSERT_NE(list, nullptr) << p;
        EXPECT_EQ(list->GetHead(), nullptr) << p;
    }
    EXPECT_FALSE(watch.IsValid());
    gfx->SetMaxTextureSize(0);
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(gfx->GetMaxTextureSize(), 256);

    // The list roots go with the server that made them...
    nRef<nRoot> texRef(kernel->Lookup("/sys/share/tex"));
    nRef<nRoot> inside(MakeIn("tex", "ntexture", "x"));
    gfx->Release();
    gfx = nullptr;
    EXPECT_FALSE(texRef.IsValid());
    EXPECT_FALSE(inside.IsValid());
    // ...but a root that existed before the server outlives it.
    nRoot* pre = kernel->New("nroot", "/sys/share/tex");
    nRef<nRoot> preRef(pre);
    nRoot* again = kernel->New("ngfxserver", "/sys/servers/gfx");
    EXPECT_EQ(kernel->Lookup("/sys/share/tex"), pre);
    again->Release();
    EXPECT_TRUE(preRef.IsValid());
}

TEST_F(GfxServerTest, CursorTable) {
    auto* tg = static_cast<nTestGfxServer*>(kernel->New("ntestgfxserver", "/sys/servers/testgfx"));
    EXPECT_TRUE(tg->IsCursorVisible());
    tg->BeginCursors(2);
    tg->SetCursor(0, "gui/arrow.bmp", 3, 4);
    tg->SetCursor(1, "missing.bmp", 3, 4);
    tg->HideCursor();
    tg->EndCursors();
    EXPECT_EQ(tg->hides, 2);  // loading applies the visibility again
    const nMouseCursor& c0 = tg->GetCursorEntry(0);
    ASSERT_TRUE(c0.texture.IsValid());
    EXPECT_STREQ(c0.texture.Get()->GetName(), "cursor0");
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
    tg->SetCurrentCursor(1);
    tg->SetCurrentCursor(12);
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(tg->GetCurrentCursor(), 1);

    // The base server makes no cursor textures: reported, never fatal.
    gfx->BeginCursors(1);
    gfx->SetCursor(0, "gui/arrow.bmp", 0, 0);
    gfx->EndCursors();
    EXPECT_TRUE(TakeErrors());
    tg->Release();
}

// Without a device a screenshot is a test picture; a file that cannot take it all is a failure.
TEST_F(GfxServerTest, TestPictureScreenshotsReportWriteFailures) {
    EXPECT_TRUE(gfx->ScaledScreenshot(Path("shot.bmp").c_str(), 5, 3));
    EXPECT_EQ(ReadFileBytes(Path("shot.bmp")).size(), 54u + 16u * 3u);
    EXPECT_FALSE(TakeErrors());
    // A name of an assign goes where it points; one of no assign is written nowhere.
    ASSERT_TRUE(kernel->GetFileServer()->SetAssign("shots", (dir.string() + "/").c_str()));
    EXPECT_TRUE(gfx->Screenshot("shots:Shot2.bmp") && !gfx->Screenshot("noshots:x.bmp"));
    EXPECT_TRUE(std::filesystem::exists(dir / "shot2.bmp") && !std::filesystem::exists("noshots:x.bmp"));
    EXPECT_TRUE(TakeErrors());
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_FALSE(gfx->Screenshot("/dev/full"));
        EXPECT_TRUE(TakeErrors());
    }
}

// The server driven the way the init scripts drive it.
TEST_F(GfxServerTest, InitScriptCommands) {
    const char* src = std::getenv("BW_SOURCE_DIR");
    std::string bin = std::string(src ? src : BW_SOURCE_DIR) + "/data/bin/win32/";
    kernel->GetFileServer<nFileServer2>()->SetAssign("bin", bin.c_str());
    auto* lua = static_cast<nLuaServer2*>(kernel->New("nluaserver2", "/sys/servers/script"));
    auto run = [&](const char* text) {
        const char* result = nullptr;
        return lua->Run(text, result);
    };
    auto global = [&](const char* name) {
        lua_State* L = lua->GetState();
        lua_getglobal(L, name);
        std::string text = lua_isnil(L, -1) ? "nil" : lua_tostring(L, -1) ? lua_tostring(L, -1) : "?";
        lua_pop(L, 1);
        return text;
    };
    ASSERT_TRUE(run("sel('/sys/servers/gfx')\n"
                    "ok = setdisplaymode('type(full)-w(800)-h(600)-bpp(32)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(hal)')\n"
                    "mode = getdisplaymode()\n"
                    "setclearcolor(0.25, 0.5, 0.75, 1); r, g, b, a = getclearcolor(); clear = r..' '..g..' '..b..' '..a\n"
                    "setviewvolume(-1, 1, -0.75, 0.75, 1, 1000)\n"
                    "x0, x1, y0, y1, z0, z1 = getviewvolume(); volume = x0..' '..x1..' '..y0..' '..y1..' '..z0..' '..z1\n"
                    "setmaxtexturesize(512); size = getmaxtexturesize()\n"
                    "opened = opendisplay()"));
    EXPECT_EQ(global("ok"), "1");
    EXPECT_EQ(global("mode"), "dev(0)-rtype(hal)-type(full)-w(800)-h(600)-bpp(32)-zbuf(16)-sbuf(0)-bbuf(1)");
    EXPECT_EQ(global("clear"), "0.25 0.5 0.75 1.0");
    EXPECT_EQ(global("volume"), "-1.0 1.0 -0.75 0.75 1.0 1000.0");
    EXPECT_EQ(global("size"), "512");
    EXPECT_EQ(global("opened"), "nil");
    // Bad arguments from a script are reported, never fatal.
    TakeErrors();
    EXPECT_TRUE(run("sel('/sys/servers/gfx'); setcursor(20, 'x', 0, 0); setmaxtexturesize(-1); setdisplaymode(5)"));
    EXPECT_TRUE(TakeErrors());
    EXPECT_EQ(gfx->GetMaxTextureSize(), 512);
}

TEST_F(GfxServerTest, StagesShareTexturesByNameAndReleaseThem) {
    // Registered as the graphics server names it.
    auto* known = static_cast<nTexture*>(kernel->New("ntexture", "/sys/share/tex/tex_a_bmp"));
    ASSERT_NE(known, nullptr);
    {
        nTexArray array;
        EXPECT_TRUE(array.Load(0, gfx, "tex/a.bmp", nullptr, true, false));
        EXPECT_EQ(array.GetTexture(0), known);
        EXPECT_EQ(known->GetRefCount(), 2);
        // No file empties the stage and gives its reference back.
        EXPECT_TRUE(array.Load(0, gfx, nullptr, nullptr, true, false));
        EXPECT_EQ(array.GetTexture(0), nullptr);
        EXPECT_EQ(known->GetRefCount(), 1);
        // A texture the server cannot make leaves the stage empty and nothing registered.
        EXPECT_FALSE(array.Load(1, gfx, "tex/b.bmp", "tex/b_alpha.bmp", true, false));
        EXPECT_EQ(array.GetTexture(1), nullptr);
        EXPECT_EQ(gfx->FindTexture("tex/b.bmp_a"), nullptr);
        EXPECT_FALSE(array.Load(4, gfx, "tex/a.bmp", nullptr, true, false));
        array.SetTexture(3, known);
        EXPECT_EQ(known->GetRefCount(), 2);
    }
    EXPECT_EQ(known->GetRefCount(), 1);
}

TEST_F(GfxServerTest, CompareOrdersStageByStage) {
    auto* t1 = static_cast<nTexture*>(kernel->New("ntexture", "/t1"));
    auto* t2 = static_cast<nTexture*>(kernel->New("ntexture", "/t2"));
    nTexArray a, b;
    EXPECT_EQ(nTexArray::Compare(&a, &b), 0);
    a.SetTexture(1, t1);
    b.SetTexture(1, t1);
    EXPECT_EQ(nTexArray::Compare(&a, &b), 0);
    b.SetTexture(2, t2);
    // An empty stage is the lowest identity.
    EXPECT_LT(nTexArray::Compare(&a, &b), 0);
    EXPECT_GT(nTexArray::Compare(&b, &a), 0);
    a.SetTexture(0, t2);
    EXPECT_GT(nTexArray::Compare(&a, &b), 0);  // the first differing stage decides
}

using GfxServerDeathTest = GfxServerTest;

TEST_F(GfxServerDeathTest, TextureBaseCreateIsAbstract) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    kernel->SetLogHandler(nullptr);
    nTexture* tex = static_cast<nTexture*>(MakeIn("tex", "ntexture", "t"));
    EXPECT_EXIT(tex->Create(4, 4, false), testing::ExitedWithCode(3), "pure virtual function call in ntex_main.cc");
}

}  // namespace
