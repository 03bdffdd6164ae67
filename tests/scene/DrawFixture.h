#pragma once
// Scene-graph frames on the OpenGL device in a 64 x 64 window: the script, scene and
// gfx classes, a Lua server, the channel, shadow and scene-graph servers, and frames
// driven the way the observer drives them. Projection and view are identities, so
// view-space x and y are clip coordinates.
#include <cstdlib>
#include <string>

#include "kernel/nFileServer2.h"
#include "scene/nScenePackage.h"
#include "scene/nSceneGraph2.h"
#include "scene/nVisNode.h"
#include "script/nLuaServer2.h"
#include "script/nScriptPackage.h"
#include "tests/gfx/VertexTestServer.h"

class DrawFixture : public VertexTestServer {
protected:
    void SetUp() override {
        VertexTestServer::SetUp();
        nScriptPackage(kernel);
        nScenePackage(kernel);
        const char* src = std::getenv("BW_SOURCE_DIR");
        ASSERT_NE(src, nullptr);
        kernel->GetFileServer<nFileServer2>()->SetAssign("bin", (std::string(src) + "/data/bin/win32/").c_str());
        lua = static_cast<nLuaServer2*>(kernel->New("nluaserver2", "/sys/servers/script"));
        kernel->New("nchannelserver", "/sys/servers/channel");
        kernel->New(shadowClass, "/sys/servers/shadow");
        sg = static_cast<nSceneGraph2*>(kernel->New("nscenegraph2", "/sys/servers/sgraph2"));
    }
    bool Run(const std::string& text) {
        const char* result = nullptr;
        return lua->Run(text.c_str(), result);
    }
    nRoot* Lookup(const char* path) { return kernel->Lookup(path); }
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

    // Set by a derived fixture's constructor to draw with another shadow server.
    const char* shadowClass = "nshadowserver";
    nLuaServer2* lua = nullptr;
    nSceneGraph2* sg = nullptr;
};
