#pragma once
// Skinned meshes on the OpenGL device (64 x 64, identity projection and view, so
// view-space x and y are clip coordinates), built by Lua scripts: the scene fixture with
// the anim classes and server, and probes of the presented picture.
#include <cstring>
#include <string>
#include <vector>

#include "anim/nAnimPackage.h"
#include "scene/nChannelServer.h"
#include "tests/scene/DrawFixture.h"

class SkinDrawFixture : public DrawFixture {
protected:
    static constexpr uint32_t Red = 0xFFFF0000u;

    void SetUp() override {
        DrawFixture::SetUp();
        nAnimPackage(kernel);
        channels = static_cast<nChannelServer*>(kernel->Lookup("/sys/servers/channel"));
        kernel->New("nanimserver", "/sys/servers/anim");
    }
    std::string WriteText(const char* name, const char* text) {
        return Write(name, std::vector<uint8_t>(text, text + std::strlen(text)));
    }
    bool IsRed(int x, int y) { return bwtest::ColorNear(Presented(x, y), Red); }
    bool IsClear(int x, int y) { return bwtest::ColorNear(Presented(x, y), Clear); }

    nChannelServer* channels = nullptr;
};
