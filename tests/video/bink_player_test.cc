// The Bink player in frames of a real display: frames read back from the presented
// picture, the sound from the loopback output, pacing from the step clock.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "audio/nDSoundServer2.h"
#include "platform/audio/Device.h"
#include "tests/platform/audio/SignalProbe.h"
#include "tests/video/VideoFixture.h"
#include "gfx/nPixelFormat.h"
#include "video/nAviPlayer.h"
#include "video/nBinkPlayer.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace {

class BinkPlayerTest : public VideoFixture {
protected:
    // `frames` solid frames of 64 x 48 at 25 per second.
    std::string Clip(int frames, int toneHz = 0) {
        testvideo::Clip clip;
        clip.frames = frames;
        clip.toneHz = toneHz;
        return Video("clip" + std::to_string(frames) + "_" + std::to_string(toneHz) + ".nut", clip);
    }
};

TEST_F(BinkPlayerTest, CommandsSaveAfterTheAnimationNodesAndLoadBack) {
    const std::string a = Clip(3);
    ASSERT_TRUE(Run("new('nbinkplayer', '/v'); sel('/v'); setreptype('oneshot'); setfilename('" + a +
                    "'); setposition(100, 50); x, y = getposition(); f = obj('/v').getfilename(); sel('/')"));
    EXPECT_EQ(Global("x"), "100");
    EXPECT_EQ(Global("y"), "50");
    EXPECT_EQ(Global("f"), a);  // through the object: the bare name is the file dialog
    auto* v = static_cast<nBinkPlayer*>(Lookup("/v"));
    ASSERT_TRUE(v->SaveAs(Path("v").c_str()));
    const std::string text = Slurp(Path("v.n"));
    size_t at = 0;
    for (const char* line : {"setreptype( \"oneshot\" )", "setchannel( \"time\" )", "setfilename(", "setposition( 100, 50 )"}) {
        const size_t found = text.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << " in order in\n" << text;
        at = found;
    }
    v->Release();
    kernel->SetCwd(nullptr);
    auto* back = static_cast<nBinkPlayer*>(kernel->Load(Path("v.n").c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::string(back->GetFileName()), a);
    EXPECT_STREQ(back->GetRepType(), "oneshot");
    // A new name closes the open video.
    back->Preload();
    EXPECT_TRUE(back->IsOpen());
    back->SetFileName(a.c_str());
    EXPECT_TRUE(back->IsOpen());
    back->SetFileName(Clip(4).c_str());
    EXPECT_FALSE(back->IsOpen());
}

TEST_F(BinkPlayerTest, OneShotShowsEachFrameOnceAtItsPositionThenCloses) {
    for (int bits : {32, 16}) {
        SCOPED_TRACE(bits);
        OpenDisplay(bits);
        nBinkPlayer* v = Bink("v", Clip(5));
        v->SetRepType("oneshot");
        v->SetPosition(100, 50);
        for (int k = 0; k < 5; ++k) {
            Frame();
            EXPECT_TRUE(Shows(100, 50, k));  // the top-left corner
            EXPECT_TRUE(Shows(163, 97, k));
            EXPECT_TRUE(Shows(99, 60, -1));
            EXPECT_TRUE(Shows(120, 49, -1));
            EXPECT_TRUE(Shows(164, 60, -1));
            EXPECT_TRUE(Shows(120, 98, -1));
        }
        EXPECT_EQ(v->GetCompletedPlays(), 0);
        // The wrap: nothing drawn, one play done; the next attach closes the file.
        Frame();
        EXPECT_TRUE(Shows(120, 60, -1));
        EXPECT_EQ(v->GetCompletedPlays(), 1);
        EXPECT_TRUE(v->IsOpen());
        Frame();
        EXPECT_FALSE(v->IsOpen());
        // The cut-scene stays over.
        Frame();
        Frame();
        EXPECT_FALSE(v->IsOpen());
        EXPECT_TRUE(Shows(120, 60, -1));
        v->Release();
    }
}

TEST_F(BinkPlayerTest, LoopingNodeCountsItsWraps) {
    OpenDisplay(32);
    nBinkPlayer* v = Bink("v", Clip(3));
    for (int i = 0; i < 10; ++i) {
        Frame();
        EXPECT_TRUE(Shows(10, 10, i % 3)) << "frame " << i;
        EXPECT_EQ(v->GetCompletedPlays(), i / 3);
    }
}

TEST_F(BinkPlayerTest, EachFrameWaitsUntilTheNextVideoFrameIsDue) {
    OpenDisplay(32);
    Bink("v", Clip(10));  // 25 per second: 40 ms a frame
    const int64_t start = clock.ms;
    Frame();
    EXPECT_EQ(clock.ms - start, 40);
    // A slow game frame: the next video frame is due already.
    clock.ms += 70;
    Frame();
    EXPECT_EQ(clock.ms - start, 110);
    Frame();
    EXPECT_EQ(clock.ms - start, 120);
}

TEST_F(BinkPlayerTest, TheSoundTrackPlaysOnTheAudioOutputAndWithoutItSilently) {
    OpenDisplay(32);
    nDSoundServer2* audio = OpenAudio();
    nBinkPlayer* v = Bink("v", Clip(50, 441));
    const int rate = audio->GetAudioDevice()->GetRate();
    const int perFrame = rate / 25;
    probe::Samples out(size_t(perFrame) * 2 * 30);
    for (int i = 0; i < 30; ++i) {
        Frame();
        ASSERT_TRUE(audio->GetAudioDevice()->RenderSamples(out.data() + size_t(i) * perFrame * 2, perFrame));
    }
    EXPECT_TRUE(v->HasSound());
    EXPECT_TRUE(Shows(10, 10, 29));
    // The tone after the output's start-up, on both sides.
    const size_t from = size_t(perFrame) * 5;
    EXPECT_NEAR(probe::Frequency(out, 0, rate, from), 441.0, 3.0);
    EXPECT_GT(probe::Rms(out, 0, from), 0.1);
    EXPECT_GT(probe::Rms(out, 1, from), 0.1);

    // The output goes: the picture plays on by the wall clock.
    audio->CloseAudio();
    Frame();
    EXPECT_FALSE(v->HasSound());
    EXPECT_TRUE(Shows(10, 10, 30));
    // Opened without an output: silent from the start.
    nBinkPlayer* quiet = Bink("quiet", Clip(50, 441));
    quiet->SetPosition(200, 0);
    Frame();
    EXPECT_TRUE(quiet->IsOpen());
    EXPECT_FALSE(quiet->HasSound());
    EXPECT_TRUE(Shows(210, 10, 0));
}

TEST_F(BinkPlayerTest, PartlyOffScreenVideosDrawTheirVisiblePart) {
    for (int bits : {32, 16}) {
        SCOPED_TRACE(bits);
        OpenDisplay(bits);
        nBinkPlayer* a = Bink("a", Clip(3));
        nBinkPlayer* b = Bink("b", Clip(3));
        nBinkPlayer* c = Bink("c", Clip(3));
        a->SetPosition(-20, -10);   // 44 x 38 visible at the top left
        b->SetPosition(600, 450);   // 40 x 30 at the bottom right
        c->SetPosition(700, -100);  // nothing
        Frame();
        EXPECT_TRUE(Shows(0, 0, 0));
        EXPECT_TRUE(Shows(43, 37, 0));
        EXPECT_TRUE(Shows(44, 20, -1));
        EXPECT_TRUE(Shows(20, 38, -1));
        EXPECT_TRUE(Shows(600, 450, 0));
        EXPECT_TRUE(Shows(639, 479, 0));
        EXPECT_TRUE(Shows(599, 460, -1));
        EXPECT_EQ(LogCount("LockBackBuffer"), 0) << log.text;
        a->Release();
        b->Release();
        c->Release();
    }
}

TEST_F(BinkPlayerTest, UnplayableFilesAreLoggedOnceAndCountAsPlayed) {
    OpenDisplay(32);
    const std::string junk = Path("junk.bik");
    {
        std::ofstream out(junk, std::ios::binary);
        out << "BIKi";
        for (int i = 0; i < 300; ++i) out << char(i * 13 + 7);
    }
    const std::string text = Write("notes.bik", "not a video at all\n");
    const std::string good = Clip(20);
    const std::string truncated = Path("cut.nut");
    {
        std::ifstream in(good, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(truncated, std::ios::binary) << bytes.substr(0, 64);
    }
    const std::string files[] = {Path("missing.bik"), junk, text, truncated};
    for (const std::string& f : files) {
        SCOPED_TRACE(f);
        nBinkPlayer* once = Bink("once", f);
        once->SetRepType("oneshot");
        nBinkPlayer* loop = Bink("loop", f);
        for (int i = 0; i < 4; ++i) Frame();
        EXPECT_EQ(LogCount(f), 2);  // one line for each node
        EXPECT_EQ(once->GetCompletedPlays(), 1);
        EXPECT_FALSE(once->IsOpen());
        EXPECT_FALSE(loop->IsOpen());
        EXPECT_TRUE(Shows(10, 10, -1));
        once->Release();
        loop->Release();
    }
}

}  // namespace

namespace {

// A display whose back buffer has 24 bits a pixel, which neither player can fill.
class nWideGfx : public nGfxServer {
public:
    static const nClassInfo classInfo;
    bool GetDisplayDesc(int& x0, int& y0, int& x1, int& y1) override {
        x0 = y0 = 0;
        x1 = 640;
        y1 = 480;
        return true;
    }
    void* LockBackBuffer(const float*, nPixelFormat** format, int* pitch) override {
        *format = &rgb24;
        *pitch = 640 * 3;
        return bits.data();
    }
    nPixelFormat rgb24{24, 0xFF0000, 0xFF00, 0xFF, 0};
    std::vector<uint8_t> bits = std::vector<uint8_t>(640 * 480 * 3);
};
const nClassInfo nWideGfx::classInfo = nClassInfo::Make<nWideGfx>("nwidegfx", "ngfxserver");

TEST_F(BinkPlayerTest, BackBuffersOfOtherDepthsStopTheProgram) {
    kernel->AddClass(nWideGfx::classInfo);
    gfx->Release();
    kernel->New("nwidegfx", "/sys/servers/gfx");
    nRoot* bink = Bink("bink", Clip(2));
    EXPECT_EXIT(static_cast<nVisNode*>(bink)->Compute(sg), ::testing::ExitedWithCode(3),
                "nBinkPlayer::Compute\\(\\), invalid color format backroundbuffer!");
    bink->Release();
    testvideo::Clip clip;
    clip.container = "avi";
    clip.codec = "rawvideo";
    nRoot* avi = Avi("avi", Video("wide.avi", clip));
    EXPECT_EXIT(static_cast<nVisNode*>(avi)->Compute(sg), ::testing::ExitedWithCode(3),
                "nAviPlayer::Compute\\(\\), invalid color format backroundbuffer!");
}

}  // namespace
