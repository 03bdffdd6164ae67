// The stencil shadow server: silhouette edges found from the first directional light,
// and shadows drawn on the OpenGL device with a stencil buffer.
#include <cstring>
#include <string>
#include <vector>

#include "gfx/nLight.h"
#include "scene/nSBufShadowServer.h"
#include "scene/nShadowCaster.h"
#include "tests/scene/DrawFixture.h"
#include "tests/scene/ShadowCubeN3d.h"

namespace {

const char* const PlaneN3d =
    "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\n"
    "rgba 1 1 1 1\nrgba 1 1 1 1\nrgba 1 1 1 1\nrgba 1 1 1 1\n"
    "f 1 2 3\nf 1 3 4\n";

class StencilShadowTest : public DrawFixture {
protected:
    StencilShadowTest() { shadowClass = "nsbufshadowserver"; }
    void SetUp() override {
        DrawFixture::SetUp();
        server = static_cast<nSBufShadowServer*>(Lookup("/sys/servers/shadow"));
        ASSERT_NE(server, nullptr);
        ASSERT_GT(gfx->GetStencilBits(), 0);
    }
    // A light whose matrix points its -z along `dir`.
    static matrix44 LightMatrix(float x, float y, float z) {
        matrix44 m;
        m.m[2][0] = -x, m.m[2][1] = -y, m.m[2][2] = -z;
        return m;
    }
    nLight Light(int type) {
        nLight l;
        l.type = type;
        return l;
    }
    // A caster of one edge (a, b) between the triangles (a, b, c), facing +z, and
    // (b, a, d), facing +y; `copies` times.
    nShadowCaster* Caster(int copies) {
        auto* c = static_cast<nShadowCaster*>(kernel->New("nshadowcaster", "/caster"));
        EXPECT_TRUE(c->SetSize(4, copies));
        const float corners[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0.5f, 0, 1};
        std::memcpy(c->GetCoords(), corners, sizeof(corners));
        for (int i = 0; i < copies; i++) c->GetEdges()[i] = {0, 1, 2, 3};
        return c;
    }

    // A red cube casting a shadow onto a white plane behind it; the sun shines along
    // (1, 0, -1), so the shadow falls to the cube's right.
    void ShadowScene() {
        const std::string text = ShadowCubeN3d(true);
        const std::string cube = Write("cube.n3d", std::vector<uint8_t>(text.begin(), text.end()));
        const std::string plane = Write("plane.n3d", std::vector<uint8_t>(PlaneN3d, PlaneN3d + std::strlen(PlaneN3d)));
        auto visual = [](const char* name, const char* place, const std::string& file, bool casts) {
            return std::string("sel('/scene'); new('n3dnode', '") + name + "'); sel('" + name + "'); " + place +
                   " new('nshadernode', 's'); sel('s'); setlightenable(false); setcullmode('none'); sel('..'); "
                   "new('nmeshnode', 'mesh'); sel('mesh'); setcastshadow(" + (casts ? "true" : "false") +
                   "); setfilename('" + file + "'); ";
        };
        ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('n3dnode', 'sun'); sel('sun'); ry(-45); "
                        "new('nlightnode', 'l'); sel('l'); settype('directional'); setcastshadows(true); " +
                        visual("cube", "txyz(-0.3, 0, -0.4);", cube, true) +
                        visual("plane", "txyz(0, 0, -0.9);", plane, false) + "sel('/sys/servers/shadow'); "
                        "setcastshadows(true); sel('/')"));
    }

    nSBufShadowServer* server = nullptr;
};

TEST_F(StencilShadowTest, SilhouetteEdgesFollowTheFirstDirectionalLight) {
    nShadowCaster* caster = Caster(1);
    server->SetCastShadows(true);
    struct {
        float x, y, z;
        int stored;  // 0 none, 1 as (a, b), 2 as (b, a)
    } rows[] = {{0, -1, 0, 0},      {0, 1, 0, 1},       {0, 0, 1, 2},       {0, 1, 0.0009f, 1},
                {0, 1, 0.0011f, 0}, {0, 0.7f, 0.7f, 0}, {0, -0.7f, -0.7f, 0}};
    for (const auto& r : rows) {
        server->BeginScene();
        server->AttachLight(LightMatrix(0, 0, 1), Light(nLight::POINT));
        server->AttachLight(LightMatrix(r.x, r.y, r.z), Light(nLight::DIRECTIONAL));
        server->AttachLight(LightMatrix(1, 0, 0), Light(nLight::DIRECTIONAL));
        ASSERT_TRUE(server->IsLightSet());
        EXPECT_FLOAT_EQ(server->GetLightDir().z, r.z);
        matrix44 placed;
        placed.m[3][0] = 5.0f;
        server->AttachCaster(placed, caster);
        ASSERT_EQ(server->GetNumEdges(), r.stored ? 1 : 0) << r.y << " " << r.z;
        if (r.stored) {
            EXPECT_FLOAT_EQ(server->GetEdge(0)[0].x, r.stored == 1 ? 5.0f : 6.0f);
        }
    }
    // Point lights alone set no light: no edges are kept.
    server->BeginScene();
    server->AttachLight(LightMatrix(0, 1, 0), Light(nLight::POINT));
    server->AttachCaster(matrix44(), caster);
    EXPECT_FALSE(server->IsLightSet());
    EXPECT_EQ(server->GetNumEdges(), 0);

    const nPixelShaderDesc& a = server->GetDesc(0);
    const nPixelShaderDesc& b = server->GetDesc(1);
    const nPixelShaderDesc& s = server->GetDesc(2);
    EXPECT_EQ(std::vector<int>({a.cullMode, b.cullMode, s.cullMode}),
              std::vector<int>({nPixelShaderDesc::CULL_CCW, nPixelShaderDesc::CULL_CW, nPixelShaderDesc::CULL_NONE}));
    EXPECT_EQ(std::vector<int>({a.zFunc, b.zFunc, s.zFunc}),
              std::vector<int>({nPixelShaderDesc::LESS, nPixelShaderDesc::LESS, nPixelShaderDesc::ALWAYS}));
    EXPECT_TRUE(s.alphaEnable && !a.alphaEnable && !a.zwriteEnable && !s.zwriteEnable && !a.lightEnable);
    EXPECT_FALSE(TakeErrors());
}

TEST_F(StencilShadowTest, AtMost8192EdgesAFrameAreKeptAndDrawn) {
    nShadowCaster* caster = Caster(nSBufShadowServer::MaxEdges + 1);
    server->SetCastShadows(true);
    ASSERT_TRUE(BeginFrame());
    server->BeginScene();
    server->AttachLight(LightMatrix(0, 1, 0), Light(nLight::DIRECTIONAL));
    server->AttachCaster(matrix44(), caster);
    EXPECT_EQ(server->GetNumEdges(), nSBufShadowServer::MaxEdges);
    server->EndScene();
    gfx->EndScene();
    EXPECT_FALSE(TakeErrors());
}

TEST_F(StencilShadowTest, ACubeShadowsThePlaneBehindIt) {
    ShadowScene();
    Frame("/scene");
    auto level = [&](int x, int y) { return int((Presented(x, y) >> 8) & 0xFF); };
    const int shadowed = level(42, 32), lit = level(42, 12), litRight = level(60, 32);
    EXPECT_GT(lit, 240);
    EXPECT_GT(litRight, 240);
    EXPECT_NEAR(shadowed, lit / 2, 12) << shadowed;
    EXPECT_TRUE(bwtest::ColorNear(Presented(20, 32), 0xFFFF0000u));  // the cube itself

    // With the switch off the plane is lit everywhere.
    ASSERT_TRUE(Run("sel('/sys/servers/shadow'); setcastshadows(false); sel('/')"));
    Frame("/scene");
    EXPECT_GT(level(42, 32), 240);
    EXPECT_FALSE(TakeErrors());
}

TEST_F(StencilShadowTest, WithoutAStencilBufferNothingIsDarkened) {
    gfx->CloseDisplay();
    ASSERT_TRUE(gfx->SetDisplayMode("type(full)-w(800)-h(600)-bpp(32)-zbuf(16)-sbuf(0)-bbuf(1)-rtype(hal)"));
    ASSERT_TRUE(gfx->OpenDisplay());
    ASSERT_EQ(gfx->GetStencilBits(), 0);
    ShadowScene();
    Frame("/scene");
    // Where the shadow would fall (column 42 of 64, row 32) the plane stays lit.
    EXPECT_GT(int((Presented(525, 300) >> 8) & 0xFF), 240);
    EXPECT_TRUE(TakeErrors());
    // Logged once for the display, not every frame.
    Frame("/scene");
    EXPECT_FALSE(TakeErrors());
}

}  // namespace
