// Video and sound logic nodes in the observer's frames: the video node's clock in its
// "video" state, "onplayend" on both channels, the skipped sleep; the sound node's
// one-frame "soundtrigger"; what both save.
#include <gtest/gtest.h>

#include <cstdlib>

#include "audio/nDSoundServer2.h"
#include "audio/nSoundNode.h"
#include "kernel/nEnv.h"
#include "logic/nLogicSound.h"
#include "logic/nLogicVideo.h"
#include "logic/nModVisualizerState.h"
#include "platform/audio/Device.h"
#include "tests/audio/WavBytes.h"
#include "tests/logic/ObserverFixture.h"
#include "tests/platform/audio/SignalProbe.h"

namespace {

class MediaNodeTest : public ObserverFixture {
protected:
    void SetUp() override {
        ObserverFixture::SetUp();
        clock.Set(0.0);
        obs->ResetTime();
        obs->SetSleep(0.02f);
    }
    // One frame, `dt` seconds after the last.
    void Frame(double dt = 0.5) {
        now += dt;
        clock.Set(now);
        ASSERT_TRUE(obs->RunFrame());
    }
    // A visualizer module in `state` of the node whose template holds a reader of the
    // channels; the reader of the module's copy.
    nTestVisNode* Reader(const char* node, const char* state, std::vector<std::string> names) {
        std::string tmpl = std::string("/tmpl/") + state;
        std::string module = std::string("/usr/modules/") + state;
        kernel->New("n3dnode", tmpl.c_str());
        Node((tmpl + "/reader").c_str(), nTestVisNode::Group);
        EXPECT_TRUE(Run("new('nmodvisualizer', '" + module + "') sel('" + module + "') setvisual('" + tmpl +
                        "') sel('" + node + "') addvisualizer('" + state + "', '" + module + "')"));
        static_cast<nLogicVisual2*>(Lookup(node))->Setup();
        Frame(0.0);  // the copy is made in the first visual pass
        auto* reader = static_cast<nTestVisNode*>(Lookup((module + "/ref_" + state + "/reader").c_str()));
        EXPECT_NE(reader, nullptr);
        if (reader) {
            reader->channels = std::move(names);
            reader->NotifyParents();
        }
        return reader;
    }
    nLogicVideo* Video(const char* path) { return static_cast<nLogicVideo*>(kernel->New("nlogicvideo", path)); }

    double now = 0.0;
};

TEST_F(MediaNodeTest, AVideoRunsItsClockUntilItsLengthAndAnnouncesTheEndOnceOnBothChannels) {
    nLogicVideo* v = Video("/usr/logic/v");
    // Only a playing video state is shown, so its copy is made while it plays.
    v->SetLength(100.0f);
    v->StartVideo();
    nTestVisNode* reader = Reader("/usr/logic/v", "video", {"time"});
    ASSERT_NE(reader, nullptr);
    ASSERT_TRUE(Run("ends = '' handled = ''"
                    " function ended(p) ends = ends .. p .. ';' end"
                    " sel('/usr/logic/v') addeventfunction('onplayend', 'ended')"
                    " seteventscript('onplayend', \"handled = handled .."
                    " obj('/sys/events/logicgraph/onplayend').gets('node') .. ';'\")"
                    " setvidolength(5) videostart()"));
    EXPECT_TRUE(v->IsPlaying());
    EXPECT_EQ(v->GetTime(), 0.0f);

    // The logic clock runs a frame behind: the node time is the sum of the frame times
    // before this frame's.
    std::vector<float> times;
    int frames = 0;
    while (v->IsPlaying() && frames < 20) {
        Frame(0.5);
        frames++;
        if (v->IsPlaying()) {
            ASSERT_EQ(reader->read.size(), 1u);
            times.push_back(reader->read[0]);
        }
    }
    ASSERT_FALSE(v->IsPlaying());
    // Node times 0 ... 4.5 reached the state's "time"; the frame whose node time is 5 ended it.
    ASSERT_EQ(times.size(), 10u);
    for (size_t i = 0; i < times.size(); i++) EXPECT_NEAR(times[i], 0.5f * float(i), 1e-4f) << i;
    EXPECT_EQ(v->GetTime(), 0.0f);
    // A stopped video state shows nothing, so its copy reads nothing.
    reader->read.clear();
    Frame(0.5);
    EXPECT_TRUE(reader->read.empty());

    // Both the bound function and the event script ran once, each with the node's path.
    EXPECT_EQ(Eval("ends"), "/usr/logic/v;");
    EXPECT_EQ(Eval("handled"), "/usr/logic/v;");
    Frame(0.5);
    EXPECT_EQ(Eval("ends .. handled"), "/usr/logic/v;/usr/logic/v;");

    // Ending while idle still announces; length 0 ends in the first frame after the start.
    ASSERT_TRUE(Run("sel('/usr/logic/v') videoend() setvidolength(0) videostart()"));
    Frame(0.5);
    EXPECT_FALSE(v->IsPlaying());
    Frame(0.5);
    EXPECT_EQ(Eval("ends"), "/usr/logic/v;/usr/logic/v;/usr/logic/v;");
    EXPECT_EQ(Eval("handled"), "/usr/logic/v;/usr/logic/v;/usr/logic/v;");
    // A negative length behaves as 0.
    ASSERT_TRUE(Run("setvidolength(-2) videostart()"));
    Frame(0.5);
    EXPECT_FALSE(v->IsPlaying());
}

TEST_F(MediaNodeTest, AnUnboundEndQueuesNothingAndAVisualizedVideoSkipsEverySleep) {
    nLogicVideo* v = Video("/usr/logic/v");
    v->SetLength(0.0f);
    v->StartVideo();
    v->EndVideo();
    EXPECT_EQ(v->GetNumPendingEvents(), 0);
    EXPECT_EQ(v->GetTime(), 0.0f);

    // Without visuals the node is not visualized, and the frames sleep.
    clock.sleeps.clear();
    Frame(0.05);
    Frame(0.05);
    EXPECT_EQ(clock.sleeps.size(), 2u);

    // Visualized, even idle, it keeps every frame from sleeping.
    Reader("/usr/logic/v", "default", {"time"});
    clock.sleeps.clear();
    for (int i = 0; i < 3; i++) Frame(0.05);
    EXPECT_TRUE(clock.sleeps.empty());
    // Hidden, it is no longer visualized.
    v->SetVisible(false);
    Frame(0.05);
    EXPECT_EQ(clock.sleeps.size(), 1u);
}

TEST_F(MediaNodeTest, ASoundTriggerLastsOneVisualizedFrameAndTheLaterCommandWins) {
    auto* s = static_cast<nLogicSound*>(kernel->New("nlogicsound", "/usr/logic/s"));
    nTestVisNode* reader = Reader("/usr/logic/s", "default", {"soundtrigger"});
    ASSERT_NE(reader, nullptr);
    auto trigger = [&]() {
        Frame(0.05);
        return reader->read.empty() ? -99.0f : reader->read[0];
    };
    EXPECT_EQ(trigger(), 0.0f);
    ASSERT_TRUE(Run("sel('/usr/logic/s') play()"));
    EXPECT_EQ(trigger(), 1.0f);
    EXPECT_EQ(trigger(), 0.0f);
    ASSERT_TRUE(Run("play() stop()"));
    EXPECT_EQ(trigger(), -1.0f);
    EXPECT_EQ(trigger(), 0.0f);

    // A node left out of the visual pass keeps its value until it is visualized again.
    s->SetVisible(false);
    s->Play();
    Frame(0.05);
    EXPECT_EQ(s->GetTriggerValue(), 1.0f);
    s->SetVisible(true);
    EXPECT_EQ(trigger(), 1.0f);
    EXPECT_EQ(s->GetTriggerValue(), 0.0f);
}

TEST_F(MediaNodeTest, BothNodesSaveTheVisualNodesLinesTheVideoItsLengthAndLoadBackEqual) {
    nLogicVideo* v = Video("/usr/logic/v");
    v->SetLength(12.5f);
    v->SetPosition(vector3(1.0f, 2.0f, 3.0f));
    auto* s = static_cast<nLogicSound*>(kernel->New("nlogicsound", "/usr/logic/s"));
    s->SetPosition(vector3(0.0f, 0.0f, -4.0f));
    ASSERT_TRUE(v->SaveAs(Path("v").c_str()));
    ASSERT_TRUE(s->SaveAs(Path("s").c_str()));
    const std::string golden = std::string(std::getenv("BW_SOURCE_DIR")) + "/tests/logic/golden/";
    EXPECT_EQ(Slurp(Path("v.n")), Slurp(golden + "video_v.n"));
    EXPECT_EQ(Slurp(Path("s.n")), Slurp(golden + "sound_s.n"));

    kernel->SetCwd(kernel->Lookup("/usr"));
    auto* v2 = static_cast<nLogicVideo*>(kernel->Load((golden + "video_v.n").c_str()));
    auto* s2 = static_cast<nLogicSound*>(kernel->Load((golden + "sound_s.n").c_str()));
    kernel->SetCwd(nullptr);
    ASSERT_NE(v2, nullptr) << log.text;
    ASSERT_NE(s2, nullptr) << log.text;
    EXPECT_EQ(v2->GetLength(), 12.5f);
    EXPECT_FALSE(v2->IsPlaying());
    EXPECT_EQ(v2->GetPosition().y, 2.0f);
    EXPECT_EQ(s2->GetPosition().z, -4.0f);
    ASSERT_TRUE(v2->SaveAs(Path("v2").c_str()));
    ASSERT_TRUE(s2->SaveAs(Path("s2").c_str()));
    EXPECT_EQ(Slurp(Path("v2.n")), Slurp(Path("v.n")));
    EXPECT_EQ(Slurp(Path("s2.n")), Slurp(Path("s.n")));
}

TEST_F(MediaNodeTest, PlayAndStopStartAndEndTheSoundUnderTheVisualizerOnTheLoopbackOutput) {
    constexpr int Rate = 22050, FrameSamples = Rate / 30;
    // The frame's audio goes to the loopback output instead of the recording server.
    Lookup("/sys/servers/audio")->Release();
    static_cast<nEnv*>(kernel->New("nenv", "/sys/env/hwnd"))->SetI(1);
    auto* player = static_cast<nDSoundServer2*>(kernel->New("ndsoundserver2", "/sys/servers/audio"));
    player->SetOutput(audio::Output::Loopback);
    ASSERT_TRUE(player->OpenAudio());
    const wav::Bytes bytes = wav::File(1, Rate, wav::Tone(440.0, Rate, 3.0));
    const std::string tone = Write("tone.wav", std::string(bytes.begin(), bytes.end()));

    kernel->New("n3dnode", "/tmpl/snd");
    auto* sound = static_cast<nSoundNode*>(kernel->New("nsoundnode", "/tmpl/snd/tone"));
    sound->SetFile(tone.c_str());
    // Not looping: a looping sound asks for its voice again by itself.
    auto* s = static_cast<nLogicSound*>(kernel->New("nlogicsound", "/usr/logic/s"));
    ASSERT_TRUE(Run("new('nmodvisualizer', '/usr/modules/snd') sel('/usr/modules/snd') setvisual('/tmpl/snd')"
                    " sel('/usr/logic/s') addvisualizer('default', '/usr/modules/snd')"));
    s->Setup();
    // Frames of 1/30 s, each followed by its share of the output.
    auto play = [&](int frames) {
        probe::Samples out(size_t(frames) * FrameSamples * 2);
        for (int i = 0; i < frames; i++) {
            Frame(1.0 / 30.0);
            EXPECT_TRUE(player->GetAudioDevice()->RenderSamples(out.data() + size_t(i) * FrameSamples * 2, FrameSamples));
        }
        return out;
    };
    EXPECT_EQ(probe::Peak(play(5)), 0.0);
    // The output runs some frames behind the requests: the last frames tell.
    s->Play();
    probe::Samples on = play(15);
    EXPECT_GT(probe::Rms(on, 0, 10 * FrameSamples), 0.05);
    s->Stop();
    probe::Samples off = play(15);
    EXPECT_EQ(probe::Peak(off, 10 * FrameSamples), 0.0);
}

}  // namespace
