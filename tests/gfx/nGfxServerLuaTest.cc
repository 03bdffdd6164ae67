#include <gtest/gtest.h>
#include <lua.hpp>

#include <cstdlib>
#include <string>

#include "gfx/nGfxPackage.h"
#include "gfx/nGfxServer.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "script/nLuaServer2.h"
#include "script/nScriptPackage.h"

namespace {

class nQuietLog : public nLogHandler {};

// The graphics server driven the way the init scripts drive it.
class GfxLuaTest : public ::testing::Test {
protected:
    void SetUp() override {
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nScriptPackage(ks);
            nGfxPackage(ks);
        });
        kernel->SetLogHandler(&quiet);
        const char* src = std::getenv("BW_SOURCE_DIR");
        std::string bin = std::string(src ? src : BW_SOURCE_DIR) + "/data/bin/win32/";
        kernel->GetFileServer<nFileServer2>()->SetAssign("bin", bin.c_str());
        lua = static_cast<nLuaServer2*>(kernel->New("nluaserver2", "/sys/servers/script"));
        gfx = static_cast<nGfxServer*>(kernel->New("ngfxserver", "/sys/servers/gfx"));
    }
    void TearDown() override { delete kernel; }
    bool Run(const char* text) {
        const char* result = nullptr;
        return lua->Run(text, result);
    }
    std::string Global(const char* name) {
        lua_State* L = lua->GetState();
        lua_getglobal(L, name);
        std::string text = lua_isnil(L, -1) ? "nil" : lua_tostring(L, -1) ? lua_tostring(L, -1) : "?";
        lua_pop(L, 1);
        return text;
    }
    nQuietLog quiet;
    nKernelServer* kernel = nullptr;
    nLuaServer2* lua = nullptr;
    nGfxServer* gfx = nullptr;
};

TEST_F(GfxLuaTest, InitScriptCommands) {
    ASSERT_TRUE(Run("sel('/sys/servers/gfx')\n"
                    "ok = setdisplaymode('type(full)-w(800)-h(600)-bpp(32)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(hal)')\n"
                    "mode = getdisplaymode()\n"
                    "setclearcolor(0, 0, 0, 0)\n"
                    "setwindowtitle('Brinewick')\n"
                    "setviewvolume(-1, 1, -0.75, 0.75, 1, 1000)\n"
                    "a, b, c, d, near, far = getviewvolume()\n"
                    "begincursors(1); setcursor(0, 'gui/arrow.bmp', 0, 0); endcursors()\n"
                    "setmaxtexturesize(512); size = getmaxtexturesize()\n"
                    "opened = opendisplay()"));
    EXPECT_EQ(Global("ok"), "1");
    EXPECT_EQ(Global("mode"), "dev(0)-rtype(hal)-type(full)-w(800)-h(600)-bpp(32)-zbuf(16)-sbuf(0)-bbuf(1)");
    EXPECT_EQ(Global("far"), "1000.0");
    EXPECT_EQ(Global("size"), "512");
    EXPECT_EQ(Global("opened"), "nil");
    EXPECT_STREQ(gfx->GetWindowTitle(), "Brinewick");
    // Bad arguments from a script are reported, never fatal.
    EXPECT_TRUE(Run("sel('/sys/servers/gfx'); setcursor(20, 'x', 0, 0); setmaxtexturesize(-1); setdisplaymode(5)"));
    EXPECT_EQ(gfx->GetMaxTextureSize(), 512);
}

}  // namespace
