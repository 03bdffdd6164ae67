#pragma once
// 2D logic nodes on the OpenGL device: a display of the size the test opens, the servers
// a logic frame draws through (channel, variable, shadow and scene graph, the graph
// fixture's camera server with its camera at the origin, the logic graph), the logic
// root "/usr/logic" and a Lua server. Frame() runs the root's Trigger, the traversal and
// the visual pass; Grab() reads the presented frame once for probing.
#include <lua.hpp>

#include <cstdlib>
#include <string>
#include <vector>

#include "anim/nAnimPackage.h"
#include "collide/nCollidePackage.h"
#include "gfx/nD3D8Server.h"
#include "kernel/nFileServer2.h"
#include "logic/nLogicGraph.h"
#include "logic/nLogicNode.h"
#include "logic/nLogicPackage.h"
#include "physics/nPhysikPackage.h"
#include "platform/render/Device.h"
#include "scene/nScenePackage.h"
#include "script/nLuaServer2.h"
#include "script/nScriptPackage.h"
#include "tests/gfx/GfxTestKernel.h"
#include "tests/kernel/GameArchives.h"
#include "tests/logic/GraphFixture.h"
#include "tests/platform/SdlTestEnvironment.h"

class SpriteFixture : public GfxTestKernel {
protected:
    static constexpr uint32_t Black = 0xFF000000u;

    static void SetUpTestSuite() { bwtest::LoadSdlVideo(); }

    void SetUp() override {
        GfxTestKernel::SetUp();
        nScriptPackage(kernel);
        nScenePackage(kernel);
        nAnimPackage(kernel);
        nCollidePackage(kernel);
        nPhysikPackage(kernel);
        nLogicPackage(kernel);
        kernel->AddClass(nTestCameraServer::classInfo);
        // "home:<folder>/..." reads the game's data from the build's archives.
        bwtest::MountGameArchives(kernel);
        const char* src = std::getenv("BW_SOURCE_DIR");
        ASSERT_NE(src, nullptr);
        kernel->GetFileServer<nFileServer2>()->SetAssign("bin", (std::string(src) + "/data/bin/win32/").c_str());
        lua = static_cast<nLuaServer2*>(kernel->New("nluaserver2", "/sys/servers/script"));
        gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        kernel->New("nchannelserver", "/sys/servers/channel");
        kernel->New("nvariableserver", "/sys/servers/variable");
        kernel->New("nshadowserver", "/sys/servers/shadow");
        kernel->New("nscenegraph2", "/sys/servers/sgraph2");
        kernel->New("ntestcameraserver", "/sys/servers/camera");
        graph = static_cast<nLogicGraph*>(kernel->New("nlogicgraph", "/sys/servers/lgraph"));
        root = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/usr/logic"));
    }
    void TearDown() override {
        if (nRoot* usr = kernel->Lookup("/usr")) usr->Release();
        GfxTestKernel::TearDown();
    }

    // Opens (or reopens) the display at width x height, cleared black.
    void Open(int width, int height) {
        if (gfx->IsDisplayOpen()) gfx->CloseDisplay();
        ASSERT_TRUE(gfx->SetDisplayMode(("w(" + std::to_string(width) + ")-h(" + std::to_string(height) + ")-zbuf(16)").c_str()));
        ASSERT_TRUE(gfx->OpenDisplay());
        gfx->SetClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        w = width;
        h = height;
    }
    bool Run(const std::string& text) {
        const char* result = nullptr;
        return lua->Run(text.c_str(), result);
    }
    // Identity projection and view (so that 3D view-space x and y are clip coordinates),
    // lighting and culling off, as the scene tests draw.
    bool BeginFrame() {
        if (!gfx->BeginScene()) return false;
        render::Device* d = gfx->GetDevice();
        d->SetRenderState(render::RenderState::Lighting, 0);
        d->SetRenderState(render::RenderState::CullMode, render::Cull::None);
        gfx->SetMatrix(nGfxServer::PROJECTION, matrix44());
        gfx->SetMatrix(nGfxServer::MODELVIEW, matrix44());
        return true;
    }
    // One frame as the observer runs the logic phases, presented and read back.
    void Frame() {
        ASSERT_TRUE(BeginFrame());
        root->Trigger(graph);
        graph->TraversePass(root);
        graph->VisualPass();
        gfx->EndScene();
        Grab();
    }
    void Grab() {
        int gw = 0, gh = 0;
        ASSERT_TRUE(gfx->GetDevice()->CopyFrontBuffer(frame, gw, gh));
        ASSERT_EQ(gw, w);
        ASSERT_EQ(gh, h);
    }
    // A Lua global as text ("nil" for anything but a number or a text).
    std::string Global(const char* name) {
        lua_State* L = lua->GetState();
        lua_getglobal(L, name);
        std::string text = lua_isstring(L, -1) ? lua_tostring(L, -1) : "nil";
        lua_pop(L, 1);
        return text;
    }
    // How many logged errors contain `part`.
    int Errors(const char* part) const {
        int n = 0;
        for (const std::string& e : log.errors) n += e.find(part) != std::string::npos;
        return n;
    }
    // A pixel of the last grabbed frame, rows from the top (0xAARRGGBB).
    uint32_t At(int x, int y) const {
        return x >= 0 && y >= 0 && x < w && y < h ? frame[size_t(y) * size_t(w) + size_t(x)] : 0u;
    }

    nLuaServer2* lua = nullptr;
    nD3D8Server* gfx = nullptr;
    nLogicGraph* graph = nullptr;
    nLogicNode* root = nullptr;
    int w = 0, h = 0;
    std::vector<uint32_t> frame;
};
