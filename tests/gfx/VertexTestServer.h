#pragma once
// A graphics server with an open 64 x 64 window for the vertex and index buffer tests,
// the frame set up so that engine coordinates are clip coordinates (identity matrices,
// no lighting, no culling), and probes of the presented frame.
#include <vector>

#include "gfx/nD3D8Server.h"
#include "platform/render/Device.h"
#include "tests/gfx/GfxTestKernel.h"
#include "tests/platform/SdlTestEnvironment.h"

class VertexTestServer : public GfxTestKernel {
protected:
    static constexpr int Size = 64;
    static constexpr uint32_t Clear = 0xFF0000FFu;

    static void SetUpTestSuite() { bwtest::LoadSdlVideo(); }

    void SetUp() override {
        GfxTestKernel::SetUp();
        gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        ASSERT_NE(gfx, nullptr);
        ASSERT_TRUE(gfx->SetDisplayMode("w(64)-h(64)-zbuf(16)"));
        ASSERT_TRUE(gfx->OpenDisplay());
        gfx->SetClearColor(0.0f, 0.0f, 1.0f, 1.0f);
        ASSERT_FALSE(TakeErrors());
    }

    bool BeginFrame() {
        if (!gfx->BeginScene()) return false;
        render::Device* d = gfx->GetDevice();
        d->SetRenderState(render::RenderState::Lighting, 0);
        d->SetRenderState(render::RenderState::CullMode, render::Cull::None);
        matrix44 id;
        gfx->SetMatrix(nGfxServer::PROJECTION, id);
        gfx->SetMatrix(nGfxServer::MODELVIEW, id);
        return true;
    }

    // Clip x and y of the centre of pixel (px, py), rows from the top.
    static float ClipX(int px) { return (float(px) + 0.5f) / (Size / 2) - 1.0f; }
    static float ClipY(int py) { return 1.0f - (float(py) + 0.5f) / (Size / 2); }

    uint32_t Presented(int x, int y) { return bwtest::Presented(*gfx->GetDevice(), x, y); }

    // Lines may land one pixel off their ideal row or column.
    bool NearPixel(int x, int y, uint32_t color) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (bwtest::ColorNear(Presented(x + dx, y + dy), color)) return true;
        return false;
    }

    nD3D8Server* gfx = nullptr;
};
