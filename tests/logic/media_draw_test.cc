// A scripted cut-scene on the OpenGL device: a video logic node whose "video" state
// holds a Bink player of a video made at test time shows the video's frames at a probe
// pixel while it plays, nothing once its length has run out, and announces the end.
#include <string>

#include "anim/nAnimPackage.h"
#include "audio/nAudioPackage.h"
#include "collide/nCollidePackage.h"
#include "logic/nCameraView.h"
#include "logic/nLogicEventServer.h"
#include "logic/nLogicGraph.h"
#include "logic/nLogicPackage.h"
#include "logic/nLogicVideo.h"
#include "physics/nPhysikPackage.h"
#include "scene/nChannelServer.h"
#include "tests/scene/DrawFixture.h"
#include "tests/video/TestVideo.h"
#include "video/nVideoPackage.h"

namespace {

using bwtest::ColorNear;

class nFrontCamera : public nRoot, public nCameraView {
public:
    static const nClassInfo classInfo;
    bool HasCurrentCamera() override { return true; }
    void ApplyView(nGfxServer* gfx, matrix44& view) override {
        gfx->SetMatrix(nGfxServer::VIEWER, matrix44());
        view.Ident();
    }
};
const nClassInfo nFrontCamera::classInfo = nClassInfo::Make<nFrontCamera>("nfrontcamera", "nroot");

class MediaDrawTest : public DrawFixture {
protected:
    void SetUp() override {
        DrawFixture::SetUp();
        nAnimPackage(kernel);
        nAudioPackage(kernel);
        nVideoPackage(kernel);
        nCollidePackage(kernel);
        nPhysikPackage(kernel);
        nLogicPackage(kernel);
        kernel->AddClass(nFrontCamera::classInfo);
        channels = static_cast<nChannelServer*>(Lookup("/sys/servers/channel"));
        kernel->New("nvariableserver", "/sys/servers/variable");
        kernel->New("nfrontcamera", "/sys/servers/camera");
        events = static_cast<nLogicEventServer*>(kernel->New("nlogiceventserver", "/sys/servers/event"));
        kernel->New("nbaseobserver", "/sys/servers/observer");
        graph = static_cast<nLogicGraph*>(kernel->New("nlogicgraph", "/sys/servers/lgraph"));
    }
    using DrawFixture::Frame;
    // One frame of `dt` seconds as the observer runs it: events, the logic walk, the
    // traversal and the visual pass on the display.
    void Frame(float dt) {
        channels->SetChannel1f(channels->GenChannel("frametime"), dt);
        events->Trigger();
        auto* root = static_cast<nLogicNode*>(Lookup("/usr/logic"));
        root->Trigger(graph);
        ASSERT_TRUE(BeginFrame());
        graph->TraversePass(root);
        graph->VisualPass();
        gfx->EndScene();
    }
    bool Shows(int k) { return ColorNear(Presented(20, 20), 0xFF000000u | testvideo::FrameColor(k), 3); }

    nChannelServer* channels = nullptr;
    nLogicEventServer* events = nullptr;
    nLogicGraph* graph = nullptr;
};

TEST_F(MediaDrawTest, AVideoNodeShowsItsPlayersFramesUntilItsLengthAndAnnouncesTheEnd) {
    testvideo::Clip clip;
    clip.width = 32;
    clip.height = 32;
    clip.frames = 10;
    std::string error;
    const std::string file = Path("cut.nut");
    ASSERT_TRUE(testvideo::Write(file, clip, &error)) << error;

    ASSERT_TRUE(Run("new('n3dnode', '/tmpl'); sel('/tmpl'); new('nbinkplayer', 'video'); sel('video');"
                    " setfilename('" + file + "'); setposition(8, 8);"
                    " new('nmodvisualizer', '/usr/modules/cut'); sel('/usr/modules/cut'); setvisual('/tmpl');"
                    " new('nlogicnode', '/usr/logic'); new('nlogicvideo', '/usr/logic/v'); sel('/usr/logic/v');"
                    " addvisualizer('video', '/usr/modules/cut'); setvidolength(1.5);"
                    " seteventscript('onplayend', \"new('nroot', '/ended')\"); videostart(); sel('/')"));
    auto* v = static_cast<nLogicVideo*>(Lookup("/usr/logic/v"));
    // Node times 0.5 and 1.0 play; the frame at 1.5 ends the video before it is drawn.
    Frame(0.5f);
    EXPECT_TRUE(Shows(0));
    Frame(0.5f);
    EXPECT_TRUE(Shows(1));
    Frame(0.5f);
    EXPECT_FALSE(v->IsPlaying());
    EXPECT_TRUE(ColorNear(Presented(20, 20), Clear));
    Frame(0.5f);
    EXPECT_TRUE(ColorNear(Presented(20, 20), Clear));
    EXPECT_NE(Lookup("/ended"), nullptr);
    EXPECT_FALSE(TakeErrors());
}

}  // namespace
