#pragma once
// Skinned meshes on the OpenGL device (64 x 64, identity projection and view, so
// view-space x and y are clip coordinates), built by Lua scripts: the anim, scene and
// script classes, the servers a frame needs, and probes of the presented picture.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "anim/nAnimPackage.h"
#include "kernel/nFileServer2.h"
#include "scene/nChannelServer.h"
#include "scene/nScenePackage.h"
#include "scene/nSceneGraph2.h"
#include "scene/nVisNode.h"
#include "script/nLuaServer2.h"
#include "script/nScriptPackage.h"
#include "tests/gfx/VertexTestServer.h"

class SkinDrawFixture : public VertexTestServer {
protected:
    static constexpr uint32_t Red = 0xFFFF0000u;

    void SetUp() override {
        VertexTestServer::SetUp();
        nScriptPackage(kernel);
        nScenePackage(kernel);
        nAnimPackage(kernel);
        const char* src = std::getenv("BW_SOURCE_DIR");
        ASSERT_NE(src, nullptr);
        kernel->GetFileServer<nFileServer2>()->SetAssign("bin", (std::string(src) + "/data/bin/win32/").c_str());
        lua = static_cast<nLuaServer2*>(kernel->New("nluaserver2", "/sys/servers/script"));
        channels = static_cast<nChannelServer*>(kernel->New("nchannelserver", "/sys/servers/channel"));
        kernel->New("nshadowserver", "/sys/servers/shadow");
        kernel->New("nanimserver", "/sys/servers/anim");
        sg = static_cast<nSceneGraph2*>(kernel->New("nscenegraph2", "/sys/servers/sgraph2"));
    }
    std::string WriteText(const char* name, const char* text) {
        return Write(name, std::vector<uint8_t>(text, text + std::strlen(text)));
    }
    bool Run(const std::string& text) {
        const char* result = nullptr;
        return lua->Run(text.c_str(), result);
    }
    void Frame(const char* root) {
        auto* node = static_cast<nVisNode*>(kernel->Lookup(root));
        ASSERT_NE(node, nullptr);
        ASSERT_TRUE(BeginFrame());
        sg->BeginScene(matrix44());
        sg->SetRenderContext(0);
        node->Attach(sg);
        sg->EndScene(true);
        gfx->EndScene();
    }
    bool IsRed(int x, int y) { return bwtest::ColorNear(Presented(x, y), Red); }
    bool IsClear(int x, int y) { return bwtest::ColorNear(Presented(x, y), Clear); }

    nLuaServer2* lua = nullptr;
    nChannelServer* channels = nullptr;
    nSceneGraph2* sg = nullptr;
};
