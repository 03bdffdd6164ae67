// The game's follow camera: the offset in the target's frame, the delayed and smoothed
// follow through the matrix history, targets that do not resolve, the view of the frame
// it is placed in, keeping out of what the target cannot pass, and saving.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "collide/nCollideServer2.h"
#include "collide/nCollideSetup.h"
#include "game/nbwCamera.h"
#include "gfx/nGfxServer.h"
#include "logic/nLogicVisual2.h"
#include "tests/game/GameTestKernel.h"

namespace {

class CameraTest : public GameTestKernel {
protected:
    void SetUp() override {
        GameTestKernel::SetUp();
        // Logic cameras work through the real camera server; the graph traverses only
        // while a camera is current.
        UseRealCameraServer();
        target = static_cast<nLogicVisual2*>(kernel->New("nlogicvisual2", "/usr/logic/diver"));
        cam = static_cast<nbwCamera*>(kernel->New("nbwcamera", "/usr/logic/cam"));
        cam->SetCurrent();
    }
    // O x T for the camera's offset and the matrix `t`.
    matrix44 Expected(const matrix44& t) {
        matrix44 o;
        o.SetQuaternion(cam->GetOffsetQuat());
        o.m[3][0] += cam->GetOffsetPos().x;
        o.m[3][1] += cam->GetOffsetPos().y;
        o.m[3][2] += cam->GetOffsetPos().z;
        return o * t;
    }
    static void ExpectNear(const matrix44& a, const matrix44& b, float tol) {
        for (int r = 0; r < 4; r++) {
            for (int c = 0; c < 4; c++) EXPECT_NEAR(a.m[r][c], b.m[r][c], tol) << r << "," << c;
        }
    }

    nLogicVisual2* target = nullptr;
    nbwCamera* cam = nullptr;
};

TEST_F(CameraTest, WithoutDelayTheCameraSitsAtTheOffsetInTheTargetsFrameEveryFrame) {
    ASSERT_TRUE(Run("sel('/usr/logic/cam') settarget('/usr/logic/diver') setoffsetpos(0, 2, 5)"
                    " setoffsetquat(0, 0.2474, 0, 0.9689) setelasticity(0.3, 0.6)"));
    for (int i = 0; i < 5; i++) {
        target->SetPosition(vector3(float(i), 1.0f, -2.0f * float(i)));
        target->SetRotation(0.0f, 0.3f * float(i), 0.1f);
        GameFrame(0.1f);
        ExpectNear(cam->GetMatrix(), Expected(target->GetMatrix()), 1e-4f);
    }
}

TEST_F(CameraTest, WithADelayItShowsWhereTheTargetWasThatLongAgo) {
    ASSERT_TRUE(Run("sel('/usr/logic/cam') settarget('/usr/logic/diver')"));
    EXPECT_EQ(cam->GetElasticity(1), 0.8f);
    // The target moves at one unit a second along x; after 3 s the camera stands where
    // it was 0.8 s before.
    float t = 0.0f;
    for (int i = 0; i < 30; i++) {
        t += 0.1f;
        target->SetPosition(vector3(t, 0.0f, 0.0f));
        GameFrame(0.1f);
    }
    EXPECT_NEAR(cam->GetMatrix().m[3][0], t - 0.8f, 0.15f);
    EXPECT_LT(cam->GetMatrix().m[3][0], t - 0.5f);

    // A new target keeps the history: the camera first shows the old target's past.
    kernel->New("nlogicvisual2", "/usr/logic/other")->Release();
    auto* other = static_cast<nLogicVisual2*>(kernel->New("nlogicvisual2", "/usr/logic/other"));
    other->SetPosition(vector3(100.0f, 0.0f, 0.0f));
    ASSERT_TRUE(Run("sel('/usr/logic/cam') settarget('/usr/logic/other')"));
    GameFrame(0.1f);
    EXPECT_LT(cam->GetMatrix().m[3][0], 50.0f);

    // A delay of the history's whole length would read the slot just written (the ring
    // wraps): it is read from the oldest slots instead, far behind a moving target.
    cam->SetElasticity(0.8f, 5.0f);
    float x = 100.0f;
    for (int i = 0; i < 80; i++) {
        x += 0.1f;
        other->SetPosition(vector3(x, 0.0f, 0.0f));
        GameFrame(0.1f);
    }
    EXPECT_LT(cam->GetMatrix().m[3][0], x - 3.0f);
}

TEST_F(CameraTest, TargetsThatDoNotResolveLeaveTheCameraWhereItIs) {
    ASSERT_TRUE(Run("sel('/usr/logic/cam') settarget('/usr/logic/nobody') txyz(1, 2, 3)"));
    EXPECT_EQ(Eval("gettarget()"), "none");
    GameFrame(0.1f);
    EXPECT_EQ(cam->GetPosition(), vector3(1, 2, 3));
    // Not a visual logic node: logged once, not moved.
    kernel->New("nroot", "/usr/plain");
    ASSERT_TRUE(Run("settarget('/usr/plain')"));
    GameFrame(0.1f);
    GameFrame(0.1f);
    EXPECT_EQ(cam->GetPosition(), vector3(1, 2, 3));
    EXPECT_EQ(Count(log.text, "is no visual logic node"), 1);
    // "none" drops the target; the camera's own commands move it.
    ASSERT_TRUE(Run("settarget('/usr/logic/diver') settarget('none') txyz(4, 5, 6)"));
    EXPECT_EQ(Eval("gettarget()"), "none");
    GameFrame(0.1f);
    EXPECT_EQ(cam->GetPosition(), vector3(4, 5, 6));
}

TEST_F(CameraTest, TheViewIsThisFramesPlacement) {
    ASSERT_TRUE(Run("sel('/usr/logic/cam') settarget('/usr/logic/diver') setoffsetpos(0, 1, 4)"
                    " setelasticity(0.8, 0.5)"));
    for (int i = 1; i <= 3; i++) {
        target->SetPosition(vector3(2.0f * float(i), 0.0f, 0.0f));
        GameFrame(0.1f);
        ExpectNear(gfx->GetMatrix(nGfxServer::VIEWER), Expected(target->GetMatrix()), 1e-4f);
    }
    // A camera that is not current still places itself in its traversal.
    auto* second = static_cast<nbwCamera*>(kernel->New("nbwcamera", "/usr/logic/cam2"));
    second->SetTarget("/usr/logic/diver");
    second->SetElasticity(0.8f, 0.0f);
    target->SetPosition(vector3(-3.0f, 0.0f, 0.0f));
    GameFrame(0.1f);
    ExpectNear(second->GetMatrix(), target->GetMatrix(), 1e-5f);
}

TEST_F(CameraTest, TheCameraStandsInFrontOfWhatItsTargetCannotPass) {
    // The game's collide classes: a floor of class "static" in "physik" with its top at
    // y = 0, and a body of class "diver" there, which meets it.
    collide->Release();
    collide = static_cast<nCollideServer2*>(kernel->New("nxcollideserver", "/sys/servers/collide2"));
    nCollideDefaultSetup(collide);
    ASSERT_TRUE(Run("new('nlogiccollision2', '/usr/logic/floor') sel('/usr/logic/floor') txyz(0, -0.5, 0)"
                    " new('nmodexactcollision', 'shape') sel('shape') setcollclass('static') setbox(40, 1, 40)"
                    " sel('..') addcollision('solid', 'shape') setcollcontext('solid', 'physik')"
                    " new('nlogicphysik2', '/usr/logic/body') sel('/usr/logic/body') txyz(0, 1, 0)"
                    " new('nmodexactcollision', 'sphere') sel('sphere') setcollclass('diver') setsphere(0.45)"
                    " sel('..') addcollision('physik', 'sphere')"
                    " sel('/usr/logic/cam') settarget('/usr/logic/body') setoffsetpos(0, -3, 5)"
                    " setelasticity(0.8, 0.5)"));
    auto* body = static_cast<nLogicVisual2*>(Lookup("/usr/logic/body"));
    // The offset lies under the floor: the camera stands above it, on the way from the
    // body, and the view is that place (not the body's own sphere, which the way starts in).
    GameFrame(0.1f);
    GameFrame(0.1f);
    const vector3 at = cam->GetMatrix().Translation();
    EXPECT_GT(at.y, 0.2f);
    EXPECT_LT(at.y, 1.0f);
    EXPECT_NEAR(at.x, 0.0f, 1e-4f);
    EXPECT_GT(at.z, 0.5f);
    EXPECT_LT(at.z, 5.0f);
    ExpectNear(gfx->GetMatrix(nGfxServer::VIEWER), cam->GetMatrix(), 1e-5f);

    // Nothing in the way: the offset as it is.
    ASSERT_TRUE(Run("sel('/usr/logic/cam') setoffsetpos(0, 2, 5)"));
    GameFrame(0.1f);
    ExpectNear(cam->GetMatrix(), Expected(body->GetMatrix()), 1e-4f);

    // A body whose class the floor does not stop does not stop the camera either.
    ASSERT_TRUE(Run("sel('/usr/logic/body/sphere') setcollclass('diverview')"
                    " sel('/usr/logic/cam') setoffsetpos(0, -3, 5)"));
    GameFrame(0.1f);
    GameFrame(0.1f);
    ExpectNear(cam->GetMatrix(), Expected(body->GetMatrix()), 1e-4f);
}

TEST_F(CameraTest, SavingWritesOffsetsOnlyOffTheirDefaultsAndLoadsBackEqual) {
    ASSERT_TRUE(cam->SaveAs(Path("plain").c_str()));
    const std::string plain = Slurp(Path("plain.n"));
    EXPECT_EQ(plain.find("setoffset"), std::string::npos);
    EXPECT_EQ(plain.find("settarget"), std::string::npos);
    EXPECT_NE(plain.find("setelasticity( 0.80000001, 0.80000001 )\n\n-- ----- EOF"), std::string::npos) << plain;

    ASSERT_TRUE(Run("sel('/usr/logic/cam') settarget('/usr/logic/diver') setoffsetpos(0, 0, 0.5)"
                    " setoffsetquat(0, 0, 0, -1) setelasticity(0.25, 2)"));
    ASSERT_TRUE(cam->SaveAs(Path("cam").c_str()));
    const std::string text = Slurp(Path("cam.n"));
    const std::string tail =
        "setoffsetpos( 0.00000000, 0.00000000, 0.50000000 )\n"
        "setoffsetquat( 0.00000000, 0.00000000, 0.00000000, -1.00000000 )\n"
        "setelasticity( 0.25000000, 2.00000000 )\n"
        "settarget( \"/usr/logic/diver\" )\n";
    EXPECT_NE(text.find(tail), std::string::npos) << text;
    cam->Release();
    kernel->SetCwd(Lookup("/usr/logic"));
    nRoot* back = kernel->Load(Path("cam.n").c_str());
    kernel->SetCwd(nullptr);
    ASSERT_NE(back, nullptr) << log.text;
    ASSERT_TRUE(back->SaveAs(Path("again").c_str()));
    EXPECT_EQ(Slurp(Path("again.n")), text);
}

}  // namespace
