// Animated cubes on the OpenGL device: an interpolator turns the cube and a curve-array
// node moves it from a .nax file, at fixed times; the picture is read back.
#include <cstring>
#include <string>
#include <vector>

#include "anim/nAnimCurveArray.h"
#include "kernel/nFileServer2.h"
#include "tests/anim/SkinDrawFixture.h"
#include "tests/scene/RedCube.h"

namespace {

using bwtest::ColorNear;

constexpr uint32_t Green = 0xFF00FF00u;
constexpr uint32_t Blue = 0xFF0000FFu;
constexpr uint32_t Black = 0xFF000000u;

// A square of one colour from -0.5 to 0.5 in x and y.
std::vector<uint8_t> Quad(float r, float g, float b) {
    std::string text = "v -0.5 -0.5 0\nv 0.5 -0.5 0\nv 0.5 0.5 0\nv -0.5 0.5 0\n";
    for (int i = 0; i < 4; i++) text += "rgba " + std::to_string(r) + " " + std::to_string(g) + " " + std::to_string(b) + " 1\n";
    text += "f 1 2 3\nf 1 3 4\n";
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Projection and view are identities: view-space x and y are clip coordinates, 32
// pixels a unit.
class AnimDrawTest : public SkinDrawFixture {
protected:
    void SetUp() override {
        SkinDrawFixture::SetUp();
        cube = Write("cube.n3d", std::vector<uint8_t>(CubeN3d, CubeN3d + std::strlen(CubeN3d)));
        // One loop curve of two keys a second apart: (0, 0, -0.5) to (0.5, 0, -0.5).
        auto* arr = static_cast<nAnimCurveArray*>(kernel->New("nanimcurvearray", "/tmpcurves"));
        arr->SetNumCurves(1);
        nAnimCurve* c = arr->GetCurve(0);
        c->SetName("slide");
        c->Init(1.0f, 0, 2, false);
        c->SetKey(0, nAnimKey{0.0f, 0.0f, -0.5f, 0.0f});
        c->SetKey(1, nAnimKey{0.5f, 0.0f, -0.5f, 0.0f});
        nax = Write("slide.nax", {});
        ASSERT_TRUE(arr->SaveBinary(kernel->GetFileServer<nFileServer2>(), nax.c_str()));
        arr->Release();
    }
    void Frame(float time) {
        ASSERT_TRUE(Run("sel('/sys/servers/channel'); setchannel1f('time', " + std::to_string(time) + "); sel('/')"));
        SkinDrawFixture::Frame("/scene");
    }

    std::string cube, nax;
};

TEST_F(AnimDrawTest, InterpolatorAndCurvesPlaceTheCubeWhereTheKeysSay) {
    ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('n3dnode', 'cube'); sel('cube'); "
                    "new('nmeshnode', 'mesh'); sel('mesh'); setfilename('" + cube + "'); sel('..'); "
                    "new('nipol', 'turn'); sel('turn'); connect('rxyz'); addkey3f(0, 0, 0, 0); "
                    "addkey3f(2, 0, 0, 90); sel('..'); "
                    "new('ncurvearraynode', 'move'); sel('move'); setfilename('" + nax + "'); "
                    "beginconnects(1); setcurveconnect(0, 'slide', '..', 'txyz'); endconnects(); sel('/')"));
    // t = 0: unturned, at x = 0: the square over pixels 24..39.
    Frame(0.0f);
    EXPECT_TRUE(ColorNear(Presented(32, 32), Red));
    EXPECT_TRUE(ColorNear(Presented(26, 26), Red));
    EXPECT_TRUE(ColorNear(Presented(48, 32), Clear));
    // t = 1: moved to x = 0.5 and turned by 45 degrees about z: a diamond around pixel
    // 48 that reaches higher than the square did and has lost its corners.
    Frame(1.0f);
    EXPECT_TRUE(ColorNear(Presented(32, 32), Clear));
    EXPECT_TRUE(ColorNear(Presented(48, 32), Red));
    EXPECT_TRUE(ColorNear(Presented(48, 22), Red));
    EXPECT_TRUE(ColorNear(Presented(41, 25), Clear));
    EXPECT_FALSE(TakeErrors());
}

TEST_F(AnimDrawTest, FlipFlopShowsOneQuadAThresholdHidesItsCubeAndAMixerBlendsTwoInterpolators) {
    gfx->SetClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    const std::string quads[3] = {Write("r.n3d", Quad(1, 0, 0)), Write("g.n3d", Quad(0, 1, 0)),
                                  Write("b.n3d", Quad(0, 0, 1))};
    ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('nflipflop', 'ff'); sel('ff'); "
                    "setreptype('oneshot'); new('nmeshnode', 'r'); sel('r'); setfilename('" + quads[0] + "'); "
                    "sel('..'); new('nmeshnode', 'g'); sel('g'); setfilename('" + quads[1] + "'); sel('..'); "
                    "new('nmeshnode', 'b'); sel('b'); setfilename('" + quads[2] + "'); sel('..'); "
                    "addkey(0, 'r'); addkey(1, 'g'); addkey(2, 'b'); sel('/')"));
    const uint32_t shown[3] = {Red, Green, Blue};
    for (int t = 0; t < 3; t++) {
        Frame(float(t));
        EXPECT_TRUE(ColorNear(Presented(32, 32), shown[t])) << t;
        EXPECT_TRUE(ColorNear(Presented(4, 4), Black)) << t;
    }
    kernel->Lookup("/scene")->Release();

    ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('nthreshnode', 'th'); sel('th'); "
                    "setlowerbound(0.5); setupperbound(1.5); new('nmeshnode', 'm'); sel('m'); "
                    "setfilename('" + cube + "'); sel('/')"));
    for (float t : {0.0f, 1.0f, 2.0f}) {
        Frame(t);
        EXPECT_TRUE(ColorNear(Presented(32, 32), t == 1.0f ? Red : Black)) << t;
    }
    kernel->Lookup("/scene")->Release();

    // Two constant interpolators at x = -0.5 and x = 0.5 under a mixer that sets the
    // cube's position: weights 1:0 put it left, 1:1 between them.
    ASSERT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('n3dnode', 'cube'); sel('cube'); "
                    "new('nmeshnode', 'mesh'); sel('mesh'); setfilename('" + cube + "'); sel('..'); "
                    "new('nmixer', 'mix'); sel('mix'); new('nipol', 'l'); sel('l'); addkey3f(0, -0.5, 0, -0.5); "
                    "addkey3f(1, -0.5, 0, -0.5); sel('..'); new('nipol', 'r'); sel('r'); addkey3f(0, 0.5, 0, -0.5); "
                    "addkey3f(1, 0.5, 0, -0.5); sel('..'); "
                    "beginsources(2); setsource(0, 'l', 'wl'); setsource(1, 'r', 'wr'); endsources(); "
                    "beginconnects(1); setconnect(0, 'txyz', 'getval3f'); endconnects(); "
                    "sel('/sys/servers/channel'); setchannel1f('wl', 1); setchannel1f('wr', 0); sel('/')"));
    Frame(0.5f);
    EXPECT_TRUE(ColorNear(Presented(16, 32), Red));
    EXPECT_TRUE(ColorNear(Presented(32, 32), Black));
    ASSERT_TRUE(Run("sel('/sys/servers/channel'); setchannel1f('wr', 1); sel('/')"));
    Frame(0.5f);
    EXPECT_TRUE(ColorNear(Presented(32, 32), Red));
    EXPECT_TRUE(ColorNear(Presented(16, 32), Black));
    EXPECT_TRUE(ColorNear(Presented(48, 32), Black));
    EXPECT_FALSE(TakeErrors());
}

}  // namespace
