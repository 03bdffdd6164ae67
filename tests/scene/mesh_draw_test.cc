// Meshes from files on the OpenGL device, placed by scripts: the picture is read back.
#include <cstring>
#include <string>
#include <vector>

#include "tests/scene/DrawFixture.h"

namespace {

using bwtest::ColorNear;

constexpr uint32_t Red = 0xFFFF0000u;

// Written by hand: a red cube of side 0.5 around the origin, its twelve triangles with
// corners in the "vertex/uv/normal" form.
const char* const CubeN3d =
    "# cube, side 0.5\n"
    "v -0.25 -0.25 -0.25\nv 0.25 -0.25 -0.25\nv 0.25 0.25 -0.25\nv -0.25 0.25 -0.25\n"
    "v -0.25 -0.25 0.25\nv 0.25 -0.25 0.25\nv 0.25 0.25 0.25\nv -0.25 0.25 0.25\n"
    "rgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\n"
    "rgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\n"
    "f 1/1/1 2/2/2 3/3/3\nf 1/1/1 3/3/3 4/4/4\n"
    "f 5/5/5 7/7/7 6/6/6\nf 5/5/5 8/8/8 7/7/7\n"
    "f 1/1/1 5/5/5 6/6/6\nf 1/1/1 6/6/6 2/2/2\n"
    "f 4/4/4 3/3/3 7/7/7\nf 4/4/4 7/7/7 8/8/8\n"
    "f 1/1/1 4/4/4 8/8/8\nf 1/1/1 8/8/8 5/5/5\n"
    "f 2/2/2 6/6/6 7/7/7\nf 2/2/2 7/7/7 3/3/3\n";

// Projection and view are identities (VertexTestServer): view-space x and y are clip
// coordinates, so a cube at x in -0.25..0.25 covers pixels 24..39 of 64.
class MeshDrawTest : public DrawFixture {
protected:
    void SetUp() override {
        DrawFixture::SetUp();
        cube = Write("cube.n3d", std::vector<uint8_t>(CubeN3d, CubeN3d + std::strlen(CubeN3d)));
    }
    // Red at the centre of the square of pixel columns [x0, x1) and rows 24..39; the
    // clear colour just left and right of it.
    void ExpectSquare(int x0, int x1) {
        EXPECT_TRUE(ColorNear(Presented((x0 + x1) / 2, 32), Red)) << "square at " << x0;
        EXPECT_TRUE(ColorNear(Presented(x0 + 2, 26), Red)) << "square at " << x0;
        EXPECT_TRUE(ColorNear(Presented(x1 - 3, 37), Red)) << "square at " << x0;
        EXPECT_TRUE(ColorNear(Presented(x0 - 3, 32), Clear)) << "left of " << x0;
        EXPECT_TRUE(ColorNear(Presented(x1 + 2, 32), Clear)) << "right of " << x1;
        EXPECT_TRUE(ColorNear(Presented((x0 + x1) / 2, 20), Clear)) << "above " << x0;
        EXPECT_TRUE(ColorNear(Presented((x0 + x1) / 2, 44), Clear)) << "below " << x0;
    }

    std::string cube;
};

TEST_F(MeshDrawTest, AScriptPlacesACubeFromItsFile) {
    ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('n3dnode', 'cube'); sel('cube'); "
                    "txyz(0, 0, -0.5); new('nmeshnode', 'mesh'); sel('mesh'); setfilename('" + cube + "'); sel('/')"));
    Frame("/scene");
    ExpectSquare(24, 40);
    EXPECT_TRUE(ColorNear(Presented(8, 32), Clear));

    // Moved right by a quarter of the view.
    ASSERT_TRUE(Run("sel('/scene/cube'); txyz(0.5, 0, -0.5); sel('/')"));
    Frame("/scene");
    ExpectSquare(40, 56);
    EXPECT_TRUE(ColorNear(Presented(32, 32), Clear));

    // Saved and loaded back: the same picture.
    ASSERT_TRUE(kernel->Lookup("/scene")->SaveAs(Path("scene").c_str()));
    kernel->Lookup("/scene")->Release();
    kernel->SetCwd(nullptr);
    ASSERT_NE(kernel->Load(Path("scene.n").c_str()), nullptr);
    Frame("/scene");
    ExpectSquare(40, 56);
    EXPECT_TRUE(ColorNear(Presented(32, 32), Clear));
    EXPECT_FALSE(TakeErrors());
}

TEST_F(MeshDrawTest, ALinkShowsTheCubeASecondTime) {
    ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('n3dnode', 'cube'); sel('cube'); "
                    "txyz(0.5, 0, -0.5); new('nmeshnode', 'mesh'); sel('mesh'); setfilename('" + cube + "'); "
                    "sel('/scene'); new('n3dnode', 'second'); sel('second'); tx(-1); "
                    "new('nlinknode', 'link'); sel('link'); settarget('/scene/cube'); sel('/')"));
    Frame("/scene");
    ExpectSquare(40, 56);
    ExpectSquare(8, 24);
    EXPECT_TRUE(ColorNear(Presented(32, 32), Clear));
    EXPECT_FALSE(TakeErrors());
}

}  // namespace
