// The AVI player in frames of a real display: the frame for the node's time, read back
// from the presented picture.
#include <gtest/gtest.h>

#include "tests/video/VideoFixture.h"
#include "video/nAviPlayer.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace {

class AviPlayerTest : public VideoFixture {
protected:
    std::string Raw(const char* name, int frames, int format, int rateNum = 25, int rateDen = 1,
                    const char* codec = "rawvideo") {
        testvideo::Clip clip;
        clip.container = "avi";
        clip.codec = codec;
        clip.pixelFormat = format;
        clip.frames = frames;
        clip.rateNum = rateNum;
        clip.rateDen = rateDen;
        return Video(name, clip);
    }
};

TEST_F(AviPlayerTest, TheFrameFollowsTheTimeLoopingOrHoldingTheLast) {
    OpenDisplay(32);
    nAviPlayer* loop = Avi("loop", Raw("a.avi", 100, AV_PIX_FMT_BGR24));
    nAviPlayer* once = Avi("once", Path("a.avi"));
    once->SetRepType("oneshot");
    once->SetPosition(100, 0);
    struct Step {
        float t;
        int loopFrame, onceFrame;
    };
    const Step steps[] = {{0.0f, 0, 0}, {1.0f, 25, 25}, {3.99f, 99, 99}, {4.0f, 0, 99},
                          {5.0f, 25, 99}, {1.0f, 25, 25}, {-1.0f, 0, 0}, {123.5f, 87, 99}};
    for (const Step& s : steps) {
        Frame(s.t);
        EXPECT_TRUE(Shows(10, 10, s.loopFrame)) << "loop at " << s.t;
        EXPECT_TRUE(Shows(110, 40, s.onceFrame)) << "one-shot at " << s.t;
    }
    EXPECT_DOUBLE_EQ(loop->GetDuration(), 4.0);
    // A fractional rate counts frames exactly: 29.97 frames a second, not 29.
    Avi("ntsc", Raw("ntsc.avi", 100, AV_PIX_FMT_BGR24, 30000, 1001))->SetPosition(200, 0);
    Frame(float((30000.0 + 25.5) * 1001.0 / 30000.0));
    EXPECT_TRUE(Shows(210, 10, 25));
    Frame(2.0f);
    EXPECT_TRUE(Shows(210, 10, 59));
}

TEST_F(AviPlayerTest, PaletteRgbAndCompressedFramesShowTheirColours) {
    for (int bits : {16, 32}) {
        SCOPED_TRACE(bits);
        OpenDisplay(bits);
        Avi("pal", Raw("pal.avi", 10, AV_PIX_FMT_PAL8));
        Avi("rgb", Raw("rgb.avi", 10, AV_PIX_FMT_BGR24))->SetPosition(100, 0);
        Avi("ms", Raw("ms.avi", 10, AV_PIX_FMT_RGB555LE, 25, 1, "msvideo1"))->SetPosition(200, 0);
        for (float t : {0.0f, 0.2f, 0.36f}) {
            const int k = int(t * 25.0f);
            Frame(t);
            EXPECT_TRUE(Shows(30, 20, k)) << t;
            EXPECT_TRUE(Shows(130, 20, k)) << t;
            EXPECT_TRUE(Shows(230, 20, k, 8)) << t;
        }
        for (const char* n : {"/scene/pal", "/scene/rgb", "/scene/ms"}) Lookup(n)->Release();
    }
}

TEST_F(AviPlayerTest, PartlyOffScreenVideosDrawTheirVisiblePart) {
    OpenDisplay(16);
    const std::string f = Raw("c.avi", 5, AV_PIX_FMT_BGR24);
    Avi("a", f)->SetPosition(-30, 440);
    Avi("b", f)->SetPosition(620, -40);
    Avi("c", f)->SetPosition(-64, 0);
    Frame(0.1f);
    EXPECT_TRUE(Shows(0, 440, 2));
    EXPECT_TRUE(Shows(33, 479, 2));
    EXPECT_TRUE(Shows(34, 460, -1));
    EXPECT_TRUE(Shows(639, 0, 2));
    EXPECT_TRUE(Shows(620, 7, 2));
    EXPECT_TRUE(Shows(630, 8, -1));
    EXPECT_TRUE(Shows(5, 100, -1));
    EXPECT_EQ(LogCount("LockBackBuffer"), 0) << log.text;
}

TEST_F(AviPlayerTest, AFileThatIsNoVideoIsLoggedOnceUntilTheNameChanges) {
    OpenDisplay(32);
    const std::string bad = Write("bad.avi", "RIFF....AVI LIST nothing else");
    nAviPlayer* v = Avi("v", bad);
    for (int i = 0; i < 3; ++i) Frame(0.0f);
    EXPECT_EQ(LogCount(bad), 1);
    EXPECT_FALSE(v->IsOpen());
    EXPECT_TRUE(Shows(10, 10, -1));
    v->SetFileName(Path("missing.avi").c_str());
    Frame(0.0f);
    Frame(0.0f);
    EXPECT_EQ(LogCount(Path("missing.avi")), 1);
    v->SetFileName(Raw("good.avi", 3, AV_PIX_FMT_BGR24).c_str());
    Frame(0.05f);
    EXPECT_TRUE(v->IsOpen());
    EXPECT_TRUE(Shows(10, 10, 1));
    // Saved with its position after the animation node's commands.
    v->SetPosition(-5, 7);
    ASSERT_TRUE(v->SaveAs(Path("v").c_str()));
    const std::string text = Slurp(Path("v.n"));
    EXPECT_NE(text.find("setfilename("), std::string::npos) << text;
    EXPECT_GT(text.find("setposition( -5, 7 )"), text.find("setchannel(")) << text;
}

}  // namespace
