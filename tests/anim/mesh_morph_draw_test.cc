// Morphed, mixed and waving meshes on the OpenGL device, driven by scripts and
// channels; the picture is read back.
#include <cstring>
#include <string>
#include <vector>

#include "anim/nAnimPackage.h"
#include "tests/scene/DrawFixture.h"

namespace {

using bwtest::ColorNear;

constexpr uint32_t Red = 0xFFFF0000u;

// A red 3 x 3 grid over x and y in -0.5..0.5; the bulged one has its middle right
// vertex pushed out to x = 0.9.
std::string Grid(float bulge) {
    std::string s;
    for (float y : {-0.5f, 0.0f, 0.5f})
        for (float x : {-0.5f, 0.0f, 0.5f})
            s += "v " + std::to_string(x == 0.5f && y == 0.0f ? bulge : x) + " " + std::to_string(y) + " -0.5\n";
    for (int i = 0; i < 9; i++) s += "rgba 1 0 0 1\n";
    for (int cell : {1, 2, 4, 5})
        s += "f " + std::to_string(cell) + " " + std::to_string(cell + 1) + " " + std::to_string(cell + 4) + "\nf " +
             std::to_string(cell) + " " + std::to_string(cell + 4) + " " + std::to_string(cell + 3) + "\n";
    return s;
}

// Projection and view are identities: view-space x and y are clip coordinates, 32
// pixels a unit; pixel column 51 lies at x = 0.61, column 56 at x = 0.77.
class MeshMorphDrawTest : public DrawFixture {
protected:
    void SetUp() override {
        DrawFixture::SetUp();
        nAnimPackage(kernel);
        auto file = [this](const char* name, const std::string& text) {
            return Write(name, std::vector<uint8_t>(text.begin(), text.end()));
        };
        flat = file("flat.n3d", Grid(0.5f));
        bulged = file("bulged.n3d", Grid(0.9f));
        // A quad of side 0.5 around the origin.
        square = file("square.n3d",
                      "v -0.25 -0.25 -0.5\nv 0.25 -0.25 -0.5\nv 0.25 0.25 -0.5\nv -0.25 0.25 -0.5\n"
                      "rgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\nf 1 2 3\nf 1 3 4\n");
    }
    // Two read-only meshes "a" (flat) and "b" (bulged) below the current object.
    std::string Sources() {
        return "new('nmeshnode', 'a'); sel('a'); setreadonly(true); setfilename('" + flat +
               "'); sel('..'); new('nmeshnode', 'b'); sel('b'); setreadonly(true); setfilename('" + bulged +
               "'); sel('..'); ";
    }
    void Frame(const std::string& channels) {
        ASSERT_TRUE(Run("sel('/sys/servers/channel'); " + channels + "; sel('/')"));
        DrawFixture::Frame("/scene");
    }
    // The right edge of the grid's middle row lies between columns `inside` and
    // `outside`.
    void ExpectEdge(int inside, int outside) {
        EXPECT_TRUE(ColorNear(Presented(inside, 32), Red)) << inside;
        EXPECT_TRUE(ColorNear(Presented(outside, 32), Clear)) << outside;
        EXPECT_TRUE(ColorNear(Presented(20, 20), Red));
        EXPECT_TRUE(ColorNear(Presented(4, 32), Clear));
    }

    std::string flat, bulged, square;
};

TEST_F(MeshMorphDrawTest, AMorphHalfWayDrawsTheOutlineBetweenItsKeys) {
    ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('nmeshipol', 'morph'); sel('morph'); " + Sources() +
                    "beginkeys(2); setkey(0, 0, 'a'); setkey(1, 1, 'b'); endkeys(); sel('/')"));
    Frame("setchannel1f('time', 0)");
    ExpectEdge(46, 51);
    Frame("setchannel1f('time', 0.5)");
    ExpectEdge(51, 56);
    Frame("setchannel1f('time', 0.999)");
    ExpectEdge(56, 62);

    // Saved and loaded back: the same picture.
    ASSERT_TRUE(kernel->Lookup("/scene")->SaveAs(Path("scene").c_str()));
    kernel->Lookup("/scene")->Release();
    kernel->SetCwd(nullptr);
    ASSERT_NE(kernel->Load(Path("scene.n").c_str()), nullptr);
    Frame("setchannel1f('time', 0.5)");
    ExpectEdge(51, 56);
    EXPECT_FALSE(TakeErrors());
}

TEST_F(MeshMorphDrawTest, AMixerDrivenByTwoChannelsDrawsTheOutlineBetweenItsSources) {
    ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('nmeshmixer', 'mix'); sel('mix'); " + Sources() +
                    "beginsources(2); setsource(0, 'a', 'wa'); setsource(1, 'b', 'wb'); endsources(); "
                    "setupdatecoord(true); sel('/')"));
    Frame("setchannel1f('wa', 1); setchannel1f('wb', 0)");
    ExpectEdge(46, 51);
    Frame("setchannel1f('wa', 0.5); setchannel1f('wb', 0.5)");
    ExpectEdge(51, 56);
    Frame("setchannel1f('wa', 0); setchannel1f('wb', 1)");
    ExpectEdge(56, 62);
    EXPECT_FALSE(TakeErrors());
}

TEST_F(MeshMorphDrawTest, AWaveMovesTheMeshBetweenFrames) {
    ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('nmesheffect', 'wave'); sel('wave'); "
                    "new('nmeshnode', 'm'); sel('m'); setreadonly(true); setfilename('" + square + "'); sel('..'); "
                    "setmeshnode('m'); setamplitude(0.5); sel('/')"));
    // sin(t + y) is near 1 at t = pi/2 and near -1 at 3 pi/2: the square swings right,
    // then left.
    Frame("setchannel1f('time', 1.5708)");
    EXPECT_TRUE(ColorNear(Presented(48, 32), Red));
    EXPECT_TRUE(ColorNear(Presented(16, 32), Clear));
    Frame("setchannel1f('time', 4.7124)");
    EXPECT_TRUE(ColorNear(Presented(48, 32), Clear));
    EXPECT_TRUE(ColorNear(Presented(16, 32), Red));
    EXPECT_FALSE(TakeErrors());
}

}  // namespace
