// A scripted cut-scene on the OpenGL device: a video logic node whose "video" state
// holds a Bink player of a video made at test time shows the video's frames at a probe
// pixel while it plays, nothing once its length has run out, and announces the end.
#include <string>

#include "audio/nAudioPackage.h"
#include "logic/nLogicEventServer.h"
#include "logic/nLogicVideo.h"
#include "scene/nChannelServer.h"
#include "tests/logic/LogicDrawFixture.h"
#include "tests/video/TestVideo.h"
#include "video/nVideoPackage.h"

namespace {

using bwtest::ColorNear;

class MediaDrawTest : public LogicDrawFixture {
protected:
    void SetUp() override {
        LogicDrawFixture::SetUp();
        nAudioPackage(kernel);
        nVideoPackage(kernel);
        channels = static_cast<nChannelServer*>(Lookup("/sys/servers/channel"));
        events = static_cast<nLogicEventServer*>(kernel->New("nlogiceventserver", "/sys/servers/event"));
        kernel->New("nbaseobserver", "/sys/servers/observer");
    }
    // One frame of `dt` seconds as the observer runs it: events and the logic walk, then
    // the traversal and the visual pass on the display.
    void Frame(float dt) {
        channels->SetChannel1f(channels->GenChannel("frametime"), dt);
        events->Trigger();
        static_cast<nLogicNode*>(Lookup("/usr/logic"))->Trigger(graph);
        LogicFrame();
    }
    bool Shows(int k) { return ColorNear(Presented(20, 20), 0xFF000000u | testvideo::FrameColor(k), 3); }

    nChannelServer* channels = nullptr;
    nLogicEventServer* events = nullptr;
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
