// Sound nodes in scene frames on the playing audio server's loopback output: where a
// placed sound is heard, what a new file, a stop and the maximum distance do to it.
#include "audio/nStream.h"
#include "audio/nVoiceSet.h"
#include "tests/audio/SoundSceneFixture.h"

namespace {

class SoundSceneTest : public SoundSceneFixture {
protected:
    void SetUp() override {
        SoundSceneFixture::SetUp();
        Loopback();
        root = Node("/scene", nTestVisNode::Group);
        kernel->New("nlistenernode", "/scene/ears");
    }
    // A looping sound node at (x, y, z) in the world.
    nSoundNode* Looping(float x, float y, float z, const std::string& file) {
        place = Place("/scene/t", x, y, z);
        nSoundNode* s = Sound("/scene/t/s", file);
        s->SetLooping(true);
        s->SetMinMaxDist(1.0f, 50.0f);
        return s;
    }
    // Over the second half of `s`.
    static double Rms(const probe::Samples& s, int side) { return probe::Rms(s, side, s.size() / 4); }
    static double Hz(const probe::Samples& s, int side = 0) { return probe::Frequency(s, side, Rate, s.size() / 4); }

    nTestVisNode* root = nullptr;
    nTestVisNode* place = nullptr;
};

TEST_F(SoundSceneTest, ASoundToTheCamerasRightIsLouderOnTheRight) {
    // The camera at (5, 0, 0) turned round (looking down world +z): its right is world -x.
    viewer.m[0][0] = -1.0f;
    viewer.m[2][2] = -1.0f;
    viewer.m[3][0] = 5.0f;
    Looping(2, 0, 0, ToneFile("tone.wav", 1000));
    probe::Samples s = Play(root, 15);
    EXPECT_EQ(VoicesInUse(nVoiceSet::Spatial), 1);
    EXPECT_GT(Rms(s, 1), 3.0 * Rms(s, 0) + 0.01);
    EXPECT_NEAR(Hz(s, 1), 1000.0, 2.0);

    // Moved to the camera's left, it follows.
    place->local.m[3][0] = 8.0f;
    s = Play(root, 15);
    EXPECT_GT(Rms(s, 0), 3.0 * Rms(s, 1) + 0.01);
}

TEST_F(SoundSceneTest, ANewFilePlaysFromTheNextFrame) {
    nSoundNode* s = Looping(0, 0, -2, ToneFile("low.wav", 500));
    EXPECT_NEAR(Hz(Play(root, 15)), 500.0, 2.0);
    ASSERT_TRUE(Run("sel('/scene/t/s')\nsetfile('" + ToneFile("high.wav", 1000) + "')"));
    probe::Samples out = Play(root, 15);
    EXPECT_NEAR(Hz(out), 1000.0, 2.0);
    EXPECT_EQ(VoicesInUse(nVoiceSet::Spatial), 1);
    // The old stream went with its last holders.
    nRoot* streams = Lookup("/sys/share/audio");
    ASSERT_NE(streams->GetHead(), nullptr);
    EXPECT_EQ(streams->GetHead(), s->GetStream());
    EXPECT_EQ(streams->GetHead()->GetSucc(), nullptr);
}

TEST_F(SoundSceneTest, ALoopingSoundOutOfRangeLosesItsVoiceAndComesBack) {
    Looping(0, 0, -2, ToneFile("tone.wav", 1000));
    EXPECT_GT(Rms(Play(root, 10), 0), 0.05);
    place->local.m[3][2] = -80.0f;
    probe::Samples s = Play(root, 10);
    EXPECT_EQ(VoicesInUse(nVoiceSet::Spatial), 0);
    EXPECT_LT(Rms(s, 0) + Rms(s, 1), 0.001);
    place->local.m[3][2] = -2.0f;
    s = Play(root, 10);
    EXPECT_EQ(VoicesInUse(nVoiceSet::Spatial), 1);
    EXPECT_GT(Rms(s, 0), 0.05);
}

TEST_F(SoundSceneTest, StopSilencesAOneShotSound) {
    // A one-shot tone long enough to outlast the test, started by command.
    place = Place("/scene/t", 0, 0, -2);
    nSoundNode* s = Sound("/scene/t/s", ToneFile("long.wav", 1000, 5.0));
    s->Start();
    EXPECT_GT(Rms(Play(root, 10), 0), 0.05);
    s->Stop();
    probe::Samples out = Play(root, 10);
    EXPECT_EQ(VoicesInUse(nVoiceSet::Spatial), 0);
    EXPECT_LT(Rms(out, 0) + Rms(out, 1), 0.001);
    // And it stays stopped until it is started again.
    out = Play(root, 5);
    EXPECT_LT(Rms(out, 0) + Rms(out, 1), 0.001);
    s->Start();
    EXPECT_GT(Rms(Play(root, 10), 0), 0.05);
}

TEST_F(SoundSceneTest, AScriptBuiltSceneOfTransformsPlaysAndStopsItsSound) {
    // Scripts hang the nodes into transforms; the top transform binds the channels.
    ASSERT_TRUE(Run("new('n3dnode', '/world')\nsel('/world')\nnew('nlistenernode', 'ears')\n"
                    "new('n3dnode', 'fish')\nsel('fish')\ntxyz(3, 0, -1)\nnew('nsoundnode', 'hum')\nsel('hum')\n"
                    "setfile('" + ToneFile("hum.wav", 1000) + "')\nsetlooping(true)\nsetminmaxdist(1, 50)\n"));
    auto* world = static_cast<nVisNode*>(Lookup("/world"));
    probe::Samples s = Play(world, 15);
    EXPECT_GT(Rms(s, 1), 3.0 * Rms(s, 0) + 0.01);
    // The trigger channel below -0.99 stops the sound and gives its stream back.
    ASSERT_TRUE(Run("sel('/sys/servers/channel')\nsetchannel1f('soundtrigger', -1)"));
    s = Play(world, 10);
    EXPECT_LT(Rms(s, 0) + Rms(s, 1), 0.001);
    EXPECT_EQ(Lookup("/sys/share/audio")->GetHead(), nullptr);
    ASSERT_TRUE(Run("setchannel1f('soundtrigger', 0)"));
    EXPECT_GT(Rms(Play(world, 15), 1), 0.05);
}

}  // namespace
