// The engine's viewer loop: starting and stopping it from scripts, its frame over the
// recording servers, frame times on a locked clock, the orbit by input states, the grid's
// lines, the console and remote lines it serves; and on the OpenGL device, a mesh under
// "/usr/scene" seen from the orbit's sides.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/nAudioPackage.h"
#include "input/nInputEvent.h"
#include "input/nInputPackage.h"
#include "logic/nLogicPackage.h"
#include "kernel/nIpcServer.h"
#include "kernel/nRemoteServer.h"
#include "kernel/nTimeServer.h"
#include "logic/nObserver.h"
#include "scene/n3DNode.h"
#include "scene/nChannelServer.h"
#include "script/nConServer.h"
#include "tests/kernel/IpcTestClient.h"
#include "tests/logic/ObserverFixture.h"
#include "tests/scene/DrawFixture.h"
#include "tests/scene/RedCube.h"

namespace {

int KeyCode(const char* name) {
    for (const nInputServer::KeyName* k = nInputServer::keyNames; k->name; k++) {
        if (std::strcmp(k->name, name) == 0) return k->code;
    }
    return -1;
}

class EngineObserverTest : public ObserverFixture {
protected:
    void SetUp() override {
        ObserverFixture::SetUp();
        obs->Release();
        obs = nullptr;
        viewer = static_cast<nObserver*>(kernel->New("nobserver", "/sys/servers/observer"));
        scene = static_cast<n3DNode*>(kernel->New("n3dnode", "/usr/scene"));
        time = kernel->GetTimeServer();
        logicEvents.clear();
    }
    void TearDown() override {
        time->LockDeltaT(0.0);
        ObserverFixture::TearDown();
    }
    // Runs the loop from a script chunk queued for its first frame; `each` runs at the
    // start of every frame until it stops the loop.
    void RunLoop(const std::string& each) {
        ASSERT_TRUE(Run("function tick() " + each + " execbuf('tick()') end execbuf('tick()')"));
        EXPECT_TRUE(viewer->Start());
        ASSERT_TRUE(Run("function tick() end"));
    }
    void Hold(const char* key) {
        nInputEvent* e = input->NewEvent();
        e->type = N_INPUT_KEY_DOWN;
        e->deviceId = N_INPUT_DEV_KEYBOARD;
        e->number = KeyCode(key);
        input->PostEvent(e);
    }
    int Count(const std::string& entry) const { return int(std::count(logicEvents.begin(), logicEvents.end(), entry)); }
    float Channel(const char* name) { return channels->GetChannel1f(channels->GenChannel(name)); }

    nObserver* viewer = nullptr;
    n3DNode* scene = nullptr;
    nTimeServer* time = nullptr;
};

TEST_F(EngineObserverTest, StartRunsFramesUntilAStopAndStartsAgain) {
    time->LockDeltaT(0.1);
    ASSERT_TRUE(Run("frames = 0"));
    RunLoop("frames = frames + 1 if frames == 4 then obj('/sys/servers/observer').stop() return end");
    EXPECT_EQ(Eval("frames"), "4");
    // The frame that read the stop draws nothing: three frames, each in this order.
    EXPECT_EQ(Count("gfx begin"), 3);
    const std::vector<std::string> frame = {"gfx trigger", "input trigger", "gfx begin", "audio begin 0.10",
                                            "particle", "audio end", "gfx end", "input flush"};
    std::vector<std::string> first(logicEvents.begin(), logicEvents.begin() + long(frame.size()));
    EXPECT_EQ(first, frame);
    EXPECT_FALSE(viewer->IsRunning());
    // The time and gtime channels carry the frame's time.
    EXPECT_NEAR(Channel("time"), 0.3f, 1e-5f);
    EXPECT_NEAR(Channel("gtime"), 0.3f, 1e-5f);

    // A stop outside the loop changes nothing: the next start runs, with the time from 0,
    // and without a particle server; exit() ends it as well.
    viewer->Stop();
    Lookup("/sys/servers/particle")->Release();
    logicEvents.clear();
    ASSERT_TRUE(Run("frames = 0"));
    RunLoop("frames = frames + 1 if frames == 3 then exit() return end");
    EXPECT_EQ(Count("gfx begin"), 2);
    EXPECT_EQ(Count("particle"), 0);
    EXPECT_NEAR(Channel("time"), 0.2f, 1e-5f);

    // A script deleting the viewer ends the loop after that frame; it is gone afterwards.
    nRef<nObserver> watch(viewer);
    ASSERT_TRUE(Run("frames = 0"));
    RunLoop("frames = frames + 1 if frames == 2 then delete('/sys/servers/observer') end");
    EXPECT_FALSE(watch.IsValid());
    EXPECT_EQ(Eval("frames"), "2");
    viewer = static_cast<nObserver*>(kernel->New("nobserver", "/sys/servers/observer"));

    // A closed window ends the loop.
    ogfx->triggerResult = false;
    EXPECT_TRUE(viewer->Start());
    ogfx->triggerResult = true;

    // No scene of the right class: refused at once.
    scene->Release();
    kernel->New("nroot", "/usr/scene");
    logicEvents.clear();
    EXPECT_FALSE(viewer->Start());
    EXPECT_TRUE(logicEvents.empty());
    EXPECT_TRUE(LogHas("is no n3dnode"));
}

TEST_F(EngineObserverTest, InputStatesOrbitAndZoomByTheFrameTime) {
    ASSERT_TRUE(input->Map("keyb0:left.pressed", "turnleft"));
    ASSERT_TRUE(input->Map("keyb0:up.pressed", "zoomin"));
    ASSERT_TRUE(input->Map("keyb0:r.down", "resetrot"));
    ASSERT_TRUE(input->Map("keyb0:z.down", "resetzoom"));
    Hold("left");
    Hold("up");
    // A first frame after a pause of three seconds counts 0.01; then 0.25 a frame.
    time->LockDeltaT(3.0);
    ASSERT_TRUE(Run("frames = 0"));
    RunLoop("frames = frames + 1"
            " if frames == 2 then obj('/sys/servers/time').lockdeltat(0.25) end"
            " if frames == 6 then obj('/sys/servers/observer').stop() return end");
    const float turned = (0.01f + 4 * 0.25f) * 6.2831855f;
    EXPECT_NEAR(viewer->GetYaw(), turned, 1e-4f);
    EXPECT_NEAR(viewer->GetZoom(), 10.0f + 1.01f * 75.0f, 1e-3f);
    EXPECT_NEAR(viewer->GetPitch(), 0.0f, 1e-6f);
    // The scene root carries the orbit, set as a whole.
    matrix44 expect;
    expect.Rotate(vector3(0, 1, 0), turned);
    expect.m[3][2] -= viewer->GetZoom();
    const matrix44& m = scene->GetLocalMatrix();
    for (int r = 0; r < 4; r++) {
        for (int c = 0; c < 4; c++) EXPECT_NEAR(m.m[r][c], expect.m[r][c], 1e-4f) << r << c;
    }

    // The reset keys bring back the first view.
    Hold("r");
    Hold("z");
    ASSERT_TRUE(Run("frames = 0 obj('/sys/servers/time').lockdeltat(0)"));
    RunLoop("frames = frames + 1 if frames == 2 then obj('/sys/servers/observer').stop() return end");
    EXPECT_NEAR(viewer->GetZoom(), 10.0f + 0.01f * 75.0f, 1e-3f);
    EXPECT_NEAR(viewer->GetYaw(), 0.01f * 6.2831855f, 1e-4f);
}

TEST_F(EngineObserverTest, TheGridIsALineListInTheViewAndTheConsoleAndRemoteLinesRun) {
    viewer->SetGrid(true);
    // A line typed into the open console runs in the loop's first frame.
    auto* con = static_cast<nConServer*>(kernel->New("nconserver", "/sys/servers/console"));
    con->Open();
    for (unsigned char ch : std::string("new('nroot', '/typed')")) {
        nInputEvent* e = input->NewEvent();
        e->type = N_INPUT_KEY_CHAR;
        e->deviceId = N_INPUT_DEV_KEYBOARD;
        e->number = ch;
        input->PostEvent(e);
    }
    Hold("return");
    // A remote line sent before the start runs in a frame of the loop; the loop waits for it.
    auto* remote = kernel->GetRemoteServer<nRemoteServer>();
    kernel->New("nroot", "/usr/persist");
    ASSERT_TRUE(remote->Open("bw_viewer_test"));
    IpcTestClient client;
    ASSERT_TRUE(client.Connect(remote->GetIpcServer()->GetPort()));
    client.SendLine("~handshake bw_viewer_test");
    client.SendLine("new('nroot', '/usr/persist/remote')");
    ASSERT_TRUE(Run("frames = 0"));
    RunLoop("frames = frames + 1 if exists('/usr/persist/remote') and frames >= 2 then "
            "obj('/sys/servers/observer').stop() return end");
    EXPECT_NE(Lookup("/typed"), nullptr);
    EXPECT_NE(Lookup("/usr/persist/remote"), nullptr);

    // 51 lines each way, two points a line, in the grid's colour.
    ASSERT_EQ(ogfx->points.size() % 204, 0u);
    ASSERT_GE(ogfx->points.size(), 204u);
    const nObsGfx::Point& p0 = ogfx->points[0];
    EXPECT_EQ(p0.x, -25.0f);
    EXPECT_EQ(p0.z, -25.0f);
    EXPECT_EQ(p0.r, 0.5f);
    EXPECT_EQ(p0.b, 1.0f);
    const nObsGfx::Point& last = ogfx->points[203];
    EXPECT_EQ(last.x, 25.0f);
    EXPECT_EQ(last.z, 25.0f);
    EXPECT_GE(Count("begin 3"), 1);
}

// On the OpenGL device: a red cube at (2, 0, 0) under the scene shows right of the centre
// at zoom 10, left of it after half a turn, and back right after the reset.
class EngineObserverDrawTest : public DrawFixture {
protected:
    void SetUp() override {
        DrawFixture::SetUp();
        nInputPackage(kernel);
        nAudioPackage(kernel);
        nLogicPackage(kernel);
        kernel->New("ninputserver", "/sys/servers/input");
        kernel->New("naudioserver2", "/sys/servers/audio");
        viewer = static_cast<nObserver*>(kernel->New("nobserver", "/sys/servers/observer"));
        cube = Write("cube.n3d", std::vector<uint8_t>(CubeN3d, CubeN3d + std::strlen(CubeN3d)));
    }
    void TearDown() override {
        kernel->GetTimeServer()->LockDeltaT(0.0);
        DrawFixture::TearDown();
    }
    // `frames` frames of the loop with `script` run at the start of the first.
    void Frames(int frames, const std::string& script = "") {
        ASSERT_TRUE(Run("left = " + std::to_string(frames) + " function tick() left = left - 1"
                        " if left < 0 then obj('/sys/servers/observer').stop() return end execbuf('tick()') end"
                        " execbuf(\"" + script + " tick()\")"));
        viewer->Start();
    }
    int RedColumn() {
        for (int x = 0; x < 64; x++) {
            if (bwtest::ColorNear(Presented(x, 32), 0xFFFF0000u, 40)) return x;
        }
        return -1;
    }

    nObserver* viewer = nullptr;
    std::string cube;
};

TEST_F(EngineObserverDrawTest, AMeshShowsOnTheSideTheOrbitTurnsItTo) {
    ASSERT_TRUE(Run("new('n3dnode', '/usr/scene'); sel('/usr/scene'); new('n3dnode', 'at'); sel('at');"
                    " txyz(2, 0, 0); sxyz(2, 2, 2); new('nmeshnode', 'mesh'); sel('mesh'); setfilename('" + cube + "'); sel('/')"));
    auto* input = static_cast<nInputServer*>(Lookup("/sys/servers/input"));
    // A narrow perspective, and the cube's own colours.
    gfx->SetViewVolume(-0.04f, 0.04f, -0.04f, 0.04f, 0.1f, 100.0f);
    gfx->GetDevice()->SetRenderState(render::RenderState::Lighting, 0);
    kernel->GetTimeServer()->LockDeltaT(0.05);
    Frames(2);
    const int first = RedColumn();
    EXPECT_GT(first, 32);

    // Half a turn: ten frames of 0.05 s with "turnleft" at 1.
    ASSERT_TRUE(input->Map("keyb0:left.pressed", "turnleft"));
    ASSERT_TRUE(input->Map("keyb0:r.down", "resetrot"));
    nInputEvent* e = input->NewEvent();
    e->type = N_INPUT_KEY_DOWN;
    e->deviceId = N_INPUT_DEV_KEYBOARD;
    e->number = KeyCode("left");
    input->PostEvent(e);
    Frames(10);
    EXPECT_NEAR(viewer->GetYaw(), float(M_PI), 1e-4f);
    const int turned = RedColumn();
    EXPECT_GE(turned, 0);
    EXPECT_LT(turned, 32);

    // Let go and reset: the first picture again.
    e = input->NewEvent();
    e->type = N_INPUT_KEY_UP;
    e->deviceId = N_INPUT_DEV_KEYBOARD;
    e->number = KeyCode("left");
    input->PostEvent(e);
    e = input->NewEvent();
    e->type = N_INPUT_KEY_DOWN;
    e->deviceId = N_INPUT_DEV_KEYBOARD;
    e->number = KeyCode("r");
    input->PostEvent(e);
    Frames(1);
    EXPECT_EQ(viewer->GetYaw(), 0.0f);
    EXPECT_EQ(RedColumn(), first);
}

}  // namespace
