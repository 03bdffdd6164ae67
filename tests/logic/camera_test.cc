// The camera server and the logic cameras: the current camera and the view, picking,
// the observer camera's mouse steering and the person camera's walk, fall and push-out.
#include <gtest/gtest.h>

#include <cmath>

#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "input/nInputEvent.h"
#include "input/nInputPackage.h"
#include "input/nInputServer.h"
#include "input/nInputState.h"
#include "logic/nCameraServer.h"
#include "logic/nLogicObserverCamera.h"
#include "logic/nLogicPersonCamera.h"
#include "scene/nChannelServer.h"
#include "tests/logic/PhysikFixture.h"

// A recording graphics server with an open 800 x 600 display.
class nDisplayGfx : public nRecordingGfx {
public:
    static const nClassInfo classInfo;
    bool GetDisplayDesc(int& x0, int& y0, int& x1, int& y1) override {
        x0 = y0 = 0;
        x1 = 800;
        y1 = 600;
        return open;
    }
    bool open = true;
};
const nClassInfo nDisplayGfx::classInfo = nClassInfo::Make<nDisplayGfx>("ntestdisplaygfx", "nrecordinggfx");

namespace {

constexpr float kEps = 1e-4f;

void ExpectNear(const vector3& a, const vector3& b, float eps = kEps) {
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
    EXPECT_NEAR(a.z, b.z, eps);
}

class CameraTest : public PhysikFixture {
protected:
    void SetUp() override {
        PhysikFixture::SetUp();
        nInputPackage(kernel);
        kernel->AddClass(nDisplayGfx::classInfo);
        gfx->Release();
        display = static_cast<nDisplayGfx*>(kernel->New("ntestdisplaygfx", "/sys/servers/gfx"));
        gfx = display;
        display->SetViewVolume(-0.1f, 0.1f, -0.075f, 0.075f, 0.1f, 1000.0f);
        camera->Release();
        camera = nullptr;
        server = static_cast<nCameraServer*>(kernel->New("ncameraserver", "/sys/servers/camera"));
        input = static_cast<nInputServer*>(kernel->New("ninputserver", "/sys/servers/input"));
    }
    template <class T>
    T* NewCamera(const char* path, const char* cls) {
        return static_cast<T*>(kernel->New(cls, path));
    }
    void Mouse(int x, int y) {
        nInputEvent* e = input->NewEvent();
        e->type = N_INPUT_MOUSE_MOVE;
        e->x = x;
        e->y = y;
        input->PostEvent(e);
    }
    std::string CurrentPath() {
        return Run("push = fullcwd() sel('/sys/servers/camera') c = getcurrentcamera() sel(push)") ? Eval("c") : "<error>";
    }
    void Hold(const char* state, bool on) { input->ObtainState(state)->flag = on; }
    // A logic frame with this frame's input events, which are then used up.
    void Frame(float dt = 0.1f) {
        channels->SetChannel1f(channels->GenChannel("frametime"), dt);
        LogicFrame(dt);
        input->FlushEvents();
    }

    nDisplayGfx* display = nullptr;
    nCameraServer* server = nullptr;
    nInputServer* input = nullptr;
};

TEST_F(CameraTest, OneCurrentCameraGivesTheView) {
    EXPECT_EQ(CurrentPath(), "");
    // With no camera the graph traverses nothing.
    NewNode("/usr/logic/n", "v");
    Frame();
    EXPECT_EQ(graph->GetNumRecords(), 0);

    ASSERT_TRUE(Run("new('nlogicvisual2', '/usr/logic/rig') sel('/usr/logic/rig') txyz(1, 0, 0)"
                    " new('nlogiccamera', 'a') sel('a') txyz(0, 0, 5) setcurrent()"
                    " new('nlogiccamera', '/usr/logic/b')"));
    auto* a = static_cast<nLogicCamera*>(Lookup("/usr/logic/rig/a"));
    EXPECT_EQ(CurrentPath(), "/usr/logic/rig/a");
    EXPECT_EQ(Eval("getcurrent()"), "1");
    // The view is the camera's world matrix of this frame, and its inverse.
    matrix44 view;
    server->ApplyView(display, view);
    ExpectNear(display->GetMatrix(0).Translation(), vector3(1, 0, 5));
    ExpectNear(view.Translation(), vector3(-1, 0, -5));
    Frame();
    EXPECT_GT(graph->GetNumRecords(), 0);

    // Saved lines: the current camera says so after its physics lines.
    ASSERT_TRUE(a->SaveAs(Path("a").c_str()));
    std::string saved = Slurp(Path("a.n"));
    EXPECT_NE(saved.find("\"approx12\", 0.00000000 )\nsetcurrent(  )\nsetpickenable( true )\n"
                         "setpickdistance( 1000.00000000 )\n"),
              std::string::npos)
        << saved;

    ASSERT_TRUE(Run("sel('/usr/logic/b') setcurrent() setpickdistance(50) setpickenable(false)"));
    EXPECT_EQ(server->GetCurrentCamera(), Lookup("/usr/logic/b"));
    EXPECT_FALSE(a->IsCurrent());
    ASSERT_TRUE(a->SaveAs(Path("a").c_str()));
    EXPECT_EQ(Slurp(Path("a.n")).find("setcurrent"), std::string::npos);
    // The camera's Trigger ends in the physics node's: a woken camera turns physics on.
    a->SetPhysik(false);
    a->SetWake(true);
    a->Trigger(graph);
    EXPECT_TRUE(a->GetPhysik());
    // Deleting the current camera leaves none current.
    Lookup("/usr/logic/b")->Release();
    EXPECT_FALSE(server->HasCurrentCamera());
    EXPECT_EQ(CurrentPath(), "");
}

TEST_F(CameraTest, PickingBuildsARayFromTheMouse) {
    auto* cam = NewCamera<nLogicCamera>("/usr/logic/cam", "nlogiccamera");
    cam->SetCurrent();
    Frame();
    // No mouse move yet: no ray, and without collision modules no collision.
    EXPECT_EQ(cam->GetMouseX(), -1);
    EXPECT_FALSE(cam->GetPickHit());
    EXPECT_FALSE(cam->HasCollision());

    Mouse(10, 10);
    Mouse(400, 300);
    Frame();
    ASSERT_TRUE(cam->GetPickHit());
    EXPECT_TRUE(cam->HasCollision());
    ExpectNear(cam->GetPickPoint(), vector3(0, 0, -1000));
    Mouse(800, 0);
    cam->Trigger(graph);
    ExpectNear(cam->GetPickPoint(), vector3(1000, 750, -1000), 1e-2f);

    // A turned camera: the ray starts at the camera and points along its turned axes.
    matrix44 world;
    world.RotateY(float(M_PI) / 2.0f);
    world.SetTranslation(vector3(1, 2, 3));
    cam->UpdateModules(world);
    ExpectNear(cam->GetRayOrigin(), vector3(1, 2, 3));
    ExpectNear(cam->GetRayDirection(), world * cam->GetPickPoint() - vector3(1, 2, 3), 1e-2f);
    ExpectNear(cam->GetRayDirection(), vector3(-1000, 750, -1000), 1e-1f);

    // No ray without a near plane, without an open display, or when not current.
    display->SetViewVolume(-0.1f, 0.1f, -0.075f, 0.075f, 0.0f, 1000.0f);
    cam->Trigger(graph);
    EXPECT_FALSE(cam->GetPickHit());
    display->SetViewVolume(-0.1f, 0.1f, -0.075f, 0.075f, 0.1f, 1000.0f);
    display->open = false;
    cam->Trigger(graph);
    EXPECT_FALSE(cam->GetPickHit());
    display->open = true;
    NewCamera<nLogicCamera>("/usr/logic/other", "nlogiccamera")->SetCurrent();
    Mouse(400, 300);
    cam->Trigger(graph);
    EXPECT_FALSE(cam->GetPickHit());
    EXPECT_FALSE(cam->HasCollision());
}

TEST_F(CameraTest, ObserverOrbitsPansAndDolliesAroundItsPivot) {
    auto* cam = NewCamera<nLogicObserverCamera>("/usr/logic/observercam", "nlogicobservercamera");
    cam->SetCurrent();
    Hold("reset", true);
    Mouse(100, 100);
    Frame();
    Hold("reset", false);
    ExpectNear(cam->GetPosition(), vector3(0, 0, 5));
    ExpectNear(cam->GetOrbit().Translation(), vector3());

    // Dolly: the mouse up by 40 moves the camera 1 unit away from the pivot.
    Hold("dolly", true);
    Mouse(100, 60);
    Frame();
    ExpectNear(cam->GetPosition(), vector3(0, 0, 6));
    // Far the other way it stops 0.01 from the pivot and pushes the pivot along the view
    // axis.
    Mouse(100, 460);
    Frame();
    Hold("dolly", false);
    ExpectNear(cam->GetOrbit().Translation(), vector3(0, 0, -10));
    ExpectNear(cam->GetPosition(), vector3(0, 0, -9.99f));

    // Pan: 40 right moves the pivot and camera 1 to the left along the camera's x axis.
    Hold("reset", true);
    Hold("pan", true);
    Mouse(140, 460);
    Frame();
    Hold("reset", false);
    Hold("pan", false);
    ExpectNear(cam->GetOrbit().Translation(), vector3(-1, 0, 0));
    ExpectNear(cam->GetPosition(), vector3(-1, 0, 5));

    // Reset and orbit in one frame: the reset camera turns by this frame's delta about
    // the vertical through the pivot.
    Hold("reset", true);
    Hold("orbit", true);
    Mouse(140 - 314, 460);
    Frame();
    float yaw = 314 * 0.005f;
    ExpectNear(cam->GetPosition(), vector3(5 * std::sin(yaw), 0, 5 * std::cos(yaw)), 1e-3f);
    Hold("reset", false);
    Hold("orbit", false);

    // A followed node carries the pivot; "none" stops following and saves nothing.
    ASSERT_TRUE(Run("new('nlogicvisual2', '/usr/logic/target') sel('/usr/logic/target') txyz(3, 0, 0)"
                    " sel('/usr/logic/observercam') setfollow('/usr/logic/target')"));
    Frame();
    ExpectNear(cam->GetOrbit().Translation(), vector3(3, 0, 0));
    ASSERT_TRUE(cam->SaveAs(Path("o").c_str()));
    std::string saved = Slurp(Path("o.n"));
    EXPECT_NE(saved.find("setfollow( \"/usr/logic/target\" )"), std::string::npos) << saved;
    kernel->SetCwd(kernel->New("nroot", "/loaded"));
    auto* back = static_cast<nLogicObserverCamera*>(kernel->Load(Path("o.n").c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetFollow(), "/usr/logic/target");
    ASSERT_TRUE(Run("sel('/usr/logic/observercam') setfollow('none')"));
    EXPECT_EQ(Eval("getfollow()"), "none");
    ASSERT_TRUE(cam->SaveAs(Path("o").c_str()));
    EXPECT_EQ(Slurp(Path("o.n")).find("setfollow"), std::string::npos);
    // A path that does not resolve is ignored and reads "none".
    ASSERT_TRUE(Run("setfollow('/usr/logic/nothing')"));
    Frame();
    EXPECT_EQ(Eval("getfollow()"), "none");
}

TEST_F(CameraTest, PersonCameraWalksFallsAndIsPushedOut) {
    auto* cam = NewCamera<nLogicPersonCamera>("/usr/logic/person", "nlogicpersoncamera");
    // Not current: it only falls, faster each frame.
    Frame();
    Frame();
    EXPECT_NEAR(cam->GetPosition().y, -0.03f, kEps);
    cam->SetCurrent();
    struct Case {
        const char* held[2];
        vector3 step;
    };
    for (const Case& c : {Case{{"forward", "backward"}, vector3(0, 0, -0.25f)},
                          Case{{"left", "right"}, vector3(-0.25f, 0, 0)}}) {
        vector3 before = cam->GetPosition();
        float fall = cam->GetFallSpeed() + 0.01f;
        for (const char* s : c.held) Hold(s, true);
        Frame();
        for (const char* s : c.held) Hold(s, false);
        ExpectNear(cam->GetPosition(), before + c.step + vector3(0, -fall, 0));
    }

    // Two contacts add both push-outs, each along the normal of the camera's side.
    nCollideObject2 mine, floor;
    mine.owner = cam;
    nCollideReport a, b;
    a.objA = &mine;
    a.objB = &floor;
    a.normal2 = vector3(0, 2, 0);
    a.depth = 0.1f;
    b.objA = &floor;
    b.objB = &mine;
    b.normal1 = vector3(1, 0, 0);
    b.depth = 0.2f;
    nCollideReport* list[] = {&a, &b};
    cam->AddCorrection(list, 2);
    EXPECT_TRUE(cam->GetCollided());
    ExpectNear(cam->GetCorrection().Translation(), vector3(0.2f, 0.1f, 0));
}

TEST_F(CameraTest, PersonCameraStandsOnAFloor) {
    ASSERT_TRUE(Run("new('nlogiccollision2', '/usr/logic/floor') sel('/usr/logic/floor') txyz(0, -0.5, 0)"
                    " new('nmodexactcollision', 'shape') sel('shape') setcollclass('solid') setbox(20, 1, 20)"
                    " sel('..') addcollision('physik', 'shape') setcollcontext('physik', 'physik')"
                    " new('nlogicpersoncamera', '/usr/logic/person') sel('/usr/logic/person') txyz(0, 1, 0)"
                    " new('nmodexactcollision', 'body') sel('body') setcollclass('solid') setsphere(0.5)"
                    " setdynamic(true) sel('..') addcollision('camera', 'body') setcurrent()"));
    auto* cam = static_cast<nLogicPersonCamera*>(Lookup("/usr/logic/person"));
    for (int i = 0; i < 60; i++) Frame(1.0f / 30.0f);
    float y = cam->GetPosition().y;
    EXPECT_NEAR(y, 0.5f, 0.1f);
    for (int i = 0; i < 30; i++) {
        Frame(1.0f / 30.0f);
        EXPECT_NEAR(cam->GetPosition().y, y, 0.05f) << i;
    }
}

}  // namespace
