// Shader, texture-array, light and fog nodes on the OpenGL device: Lua scenes drawn by
// the scene graph and read back at a few probe pixels.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/nD3D8Texture.h"
#include "platform/render/Texture.h"
#include "scene/nTexArrayNode.h"
#include "tests/gfx/BmpBytes.h"
#include "tests/scene/DrawFixture.h"
#include "tests/scene/SquareMesh.h"

namespace {

using bwtest::ColorNear;

// A cube of side 0.5 around the origin, four corners a face: red, the face's normal
// and the whole texture on each face.
std::string CubeN3d() {
    // Per face: the normal and two edge directions; corners at n/4 -+ u/4 -+ v/4.
    const int faces[6][3][3] = {{{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},  {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}},
                                {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}}, {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
                                {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}};
    const int uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    std::string v, rest, f;
    char line[128];
    for (int k = 0; k < 6; k++) {
        const int(*n)[3] = faces[k];
        for (const auto& c : uv) {
            float p[3];
            for (int i = 0; i < 3; i++) p[i] = 0.25f * float(n[0][i] + (2 * c[0] - 1) * n[1][i] + (2 * c[1] - 1) * n[2][i]);
            std::snprintf(line, sizeof(line), "v %g %g %g\n", p[0], p[1], p[2]);
            v += line;
            std::snprintf(line, sizeof(line), "vn %d %d %d\nvt %d %d\nrgba 1 0 0 1\n", n[0][0], n[0][1], n[0][2], c[0], c[1]);
            rest += line;
        }
        std::snprintf(line, sizeof(line), "f %d %d %d\nf %d %d %d\n", 4 * k + 1, 4 * k + 2, 4 * k + 3, 4 * k + 1,
                      4 * k + 3, 4 * k + 4);
        f += line;
    }
    return v + rest + f;
}

class LitSceneTest : public DrawFixture {
protected:
    void SetUp() override {
        DrawFixture::SetUp();
        cube = Write("cube.n3d", Bytes(CubeN3d()));
    }
    // A 2 x 2 checker of red and green texels.
    std::string Checker() {
        BmpBytes bmp;
        bmp.pixels = {0, 0, 255, 0, 255, 0, 0, 0,  // b, g, r texels, each row padded to 4 bytes
                      0, 255, 0, 0, 0, 255, 0, 0};
        return Write("checker.bmp", bmp.Build());
    }
    void Draw() { Frame("/scene"); }

    std::string cube;
};

TEST_F(LitSceneTest, ALitTexturedCubeShowsTheCheckerAndItsLitSide) {
    const std::string tex = Checker();
    // The sun shines along -x (its node's -z turned by ry), so of the two faces the
    // turned cube shows, the right one faces the light and the left one faces away.
    ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); "
                    "new('n3dnode', 'sun'); sel('sun'); ry(90); new('nlightnode', 'l'); sel('l'); "
                    "settype('directional'); setcolor(1, 1, 1, 1); sel('/scene'); "
                    "new('n3dnode', 'sky'); sel('sky'); new('nlightnode', 'l'); sel('l'); "
                    "settype('ambient'); setcolor(0.25, 0.25, 0.25, 1); sel('/scene'); "
                    "new('n3dnode', 'cube'); sel('cube'); txyz(0, 0, -0.5); ry(45); "
                    "new('nshadernode', 'shader'); sel('shader'); setnumstages(1); "
                    "setcolorop(0, 'mul tex prim'); setalphaop(0, 'nop'); setlightenable(true); "
                    "setdiffuse(1, 1, 1, 1); setambient(1, 1, 1, 1); setcullmode('none'); sel('..'); "
                    "new('ntexarraynode', 'tex'); sel('tex'); settexture(0, '" + tex + "', 'none'); sel('..'); "
                    "new('nmeshnode', 'mesh'); sel('mesh'); setfilename('" + cube + "'); sel('/')"));
    Draw();
    EXPECT_TRUE(ColorNear(Presented(4, 4), Clear));
    // The faces span about columns 21..31 and 33..43, rows 24..39.
    int redLit = 0, greenLit = 0, lit = 0, dark = 0;
    for (int y = 26; y <= 37; y++) {
        for (int x = 23; x <= 30; x++) {
            uint32_t c = Presented(x, y);
            dark = std::max(dark, std::max(R(c), G(c)));
            EXPECT_LT(B(c), 40) << x << "," << y;
        }
        for (int x = 34; x <= 41; x++) {
            uint32_t c = Presented(x, y);
            lit = std::max(lit, std::max(R(c), G(c)));
            if (R(c) > 120 && G(c) < 40) redLit++;
            if (G(c) > 120 && R(c) < 40) greenLit++;
        }
    }
    EXPECT_GT(redLit, 4);
    EXPECT_GT(greenLit, 4);
    EXPECT_GT(lit, 170);
    EXPECT_LT(dark, 110);
    EXPECT_GT(dark, 30);  // the ambient light reaches the face turned away
    EXPECT_FALSE(TakeErrors());

    // The scene graph's distance levels reach the device texture: the cube is 0.5 away.
    auto* texNode = static_cast<nTexArrayNode*>(kernel->Lookup("/scene/cube/tex"));
    auto* checker = static_cast<nD3D8Texture*>(texNode->GetTexArray().GetTexture(0));
    ASSERT_NE(checker, nullptr);
    ASSERT_EQ(checker->GetNumLevels(), 2);
    EXPECT_EQ(checker->GetDeviceTexture()->GetLOD(), 0);
    sg->SetEnableMipLod(true);
    sg->BeginMipLod(1);
    sg->SetMipLod(0, 0.25f);
    Draw();
    EXPECT_EQ(checker->GetDeviceTexture()->GetLOD(), 1);
    sg->SetMipLod(0, 2.0f);
    Draw();
    EXPECT_EQ(checker->GetDeviceTexture()->GetLOD(), 0);
}

TEST_F(LitSceneTest, AHalfTransparentQuadBlendsOverTheOpaqueOneBehindIt) {
    const std::string glass = Write("glass.n3d", Bytes(SquareN3d("0 1 0 0.5")));
    const std::string wall = Write("wall.n3d", Bytes(SquareN3d("1 0 0 1")));
    // The glass comes first in the tree and writes depth: only the sort draws the wall
    // behind it first.
    auto visual = [](const char* name, float z, bool blend, const std::string& file) {
        return std::string("sel('/scene'); new('n3dnode', '") + name + "'); sel('" + name + "'); txyz(0, 0, " +
               std::to_string(z) + "); new('nshadernode', 's'); sel('s'); setlightenable(false); " +
               "setcullmode('none'); setalphaenable(" + (blend ? "true" : "false") + "); sel('..'); " +
               "new('nmeshnode', 'mesh'); sel('mesh'); setfilename('" + file + "'); ";
    };
    ASSERT_TRUE(Run("new('n3dnode', '/scene'); " + visual("glass", -0.3f, true, glass) +
                    visual("wall", -0.8f, false, wall) + "sel('/')"));
    Draw();
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFF808000u, 8)) << std::hex << Presented(32, 32);
    EXPECT_TRUE(ColorNear(Presented(4, 4), Clear));
    // A priority that draws the glass first: its depth then hides the wall.
    ASSERT_TRUE(Run("sel('/scene/glass/s'); setrenderpri(-1); sel('/')"));
    Draw();
    EXPECT_TRUE(ColorNear(Presented(32, 32), 0xFF008080u, 8)) << std::hex << Presented(32, 32);
    EXPECT_FALSE(TakeErrors());
}

TEST_F(LitSceneTest, CullModesKeepOneWindingEach) {
    // The quad's corners run counter-clockwise on the screen; the flipped one clockwise.
    std::string flipped = SquareN3d("1 0 0 1");
    flipped.replace(flipped.find("f 1 2 3\nf 1 3 4"), 15, "f 1 3 2\nf 1 4 3");
    const std::string files[] = {Write("ccw.n3d", Bytes(SquareN3d("1 0 0 1"))), Write("cw.n3d", Bytes(flipped))};
    // Left the counter-clockwise quad, right the clockwise one.
    ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('n3dnode', 'l'); sel('l'); txyz(-0.5, 0, -0.5); "
                    "sxyz(0.5, 0.5, 1); new('nshadernode', 's'); sel('s'); setlightenable(false); sel('..'); "
                    "new('nmeshnode', 'mesh'); sel('mesh'); setfilename('" + files[0] + "'); sel('/scene'); "
                    "new('n3dnode', 'r'); sel('r'); txyz(0.5, 0, -0.5); sxyz(0.5, 0.5, 1); "
                    "new('nshadernode', 's'); sel('s'); setlightenable(false); sel('..'); "
                    "new('nmeshnode', 'mesh'); sel('mesh'); setfilename('" + files[1] + "'); sel('/')"));
    struct {
        const char* mode;
        bool left, right;
    } rows[] = {{"ccw", true, false}, {"cw", false, true}, {"none", true, true}};
    for (const auto& r : rows) {
        ASSERT_TRUE(Run(std::string("sel('/scene/l/s'); setcullmode('") + r.mode + "'); sel('/scene/r/s'); setcullmode('" +
                        r.mode + "'); sel('/')"));
        Draw();
        EXPECT_EQ(ColorNear(Presented(16, 32), 0xFFFF0000u), r.left) << r.mode;
        EXPECT_EQ(ColorNear(Presented(48, 32), 0xFFFF0000u), r.right) << r.mode;
    }
}

TEST_F(LitSceneTest, LinearFogPullsTheFarCubeTowardsTheFogColour) {
    auto visual = [&](const char* name, float x, float z) {
        return std::string("sel('/scene'); new('n3dnode', '") + name + "'); sel('" + name + "'); txyz(" +
               std::to_string(x) + ", 0, " + std::to_string(z) + "); new('nshadernode', 's'); sel('s'); " +
               "setlightenable(false); setcullmode('none'); sel('..'); new('nmeshnode', 'mesh'); sel('mesh'); " +
               "setfilename('" + cube + "'); ";
    };
    ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('nfognode', 'fog'); sel('fog'); "
                    "setmode('linear'); setrange(0, 1); setcolor(1, 1, 1, 1); " +
                    visual("near", -0.5f, -0.3f) + visual("far", 0.5f, -0.75f) + "sel('/')"));
    Draw();
    const uint32_t nearC = Presented(16, 32), farC = Presented(48, 32);
    EXPECT_GT(R(nearC), 230);
    EXPECT_LT(G(nearC), 60);
    EXPECT_GT(R(farC), 230);
    EXPECT_GT(G(farC), G(nearC) + 60) << std::hex << nearC << " " << farC;
    EXPECT_GT(B(farC), B(nearC) + 60);
    EXPECT_FALSE(TakeErrors());
}

}  // namespace
