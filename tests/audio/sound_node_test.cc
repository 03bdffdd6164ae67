// Sound and listener nodes against a recording audio server: what each frame asks of
// the server, and the nodes' script commands and saved form.
#include <cmath>

#include "audio/nStream.h"
#include "tests/audio/SoundSceneFixture.h"

namespace {

class SoundNodeTest : public SoundSceneFixture {
protected:
    void SetUp() override {
        SoundSceneFixture::SetUp();
        Recorder();
        root = Node("/scene", nTestVisNode::Group);
    }
    // A sound node under a transform at (x, y, z) of its own below the root.
    nSoundNode* Placed(float x, float y, float z, const std::string& file) {
        place = Place("/scene/t", x, y, z);
        return Sound("/scene/t/s", file);
    }

    nTestVisNode* root = nullptr;
    nTestVisNode* place = nullptr;
};

TEST_F(SoundNodeTest, TriggerStartsOnceThenUpdatesAndANegativeOneStopsAtAttach) {
    const std::string file = ToneFile("tone.wav", 1000);
    nSoundNode* s = Placed(0, 0, -2, file);
    SetChannel("soundtrigger", 1.0f);
    SoundFrame(root);
    EXPECT_EQ(recorder->Take(), "start");
    SetChannel("soundtrigger", 0.0f);
    SoundFrame(root);
    SoundFrame(root);
    ASSERT_EQ(recorder->calls.size(), 2u);
    EXPECT_EQ(recorder->calls[1].op, "update");
    EXPECT_EQ(recorder->calls[1].desc.soundId, 1);
    nStream* stream = s->GetStream();
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(recorder->calls[1].desc.stream, stream);
    EXPECT_EQ(Lookup("/sys/share/audio")->GetHead(), stream);
    recorder->Take();

    // Below -0.99 the node stops its sound while attaching, is not computed, and gives
    // the stream back (the last holder: it dies).
    SetChannel("soundtrigger", -1.0f);
    SoundFrame(root);
    EXPECT_EQ(recorder->TakeOne("stop").soundId, 1);
    EXPECT_EQ(s->GetStream(), nullptr);
    EXPECT_EQ(Lookup("/sys/share/audio")->GetHead(), nullptr);
    SoundFrame(root);
    EXPECT_EQ(recorder->Take(), "");

    // Back at 0: a new id and a new stream.
    SetChannel("soundtrigger", 0.0f);
    SoundFrame(root);
    EXPECT_EQ(recorder->TakeOne("update").soundId, 2);
    EXPECT_NE(s->GetStream(), nullptr);
}

TEST_F(SoundNodeTest, StartAndStopActInTheNextCompute) {
    nSoundNode* s = Placed(0, 0, -2, ToneFile("tone.wav", 1000));
    ASSERT_TRUE(Run("sel('/scene/t/s')\nstart()"));
    EXPECT_TRUE(s->IsStartPending());
    SoundFrame(root);
    EXPECT_EQ(recorder->Take(), "start");
    SoundFrame(root);
    EXPECT_EQ(recorder->Take(), "update");
    // A stop sends only the stop: an update next to it would give the sound a voice again.
    ASSERT_TRUE(Run("stop()"));
    SoundFrame(root);
    EXPECT_EQ(recorder->Take(), "stop");
    // Both at once: the stop wins.
    ASSERT_TRUE(Run("start()\nstop()"));
    SoundFrame(root);
    EXPECT_EQ(recorder->Take(), "stop");
    EXPECT_FALSE(s->IsStartPending() || s->IsStopPending());
    // The stream stays: only a negative trigger or a new file gives it back.
    EXPECT_NE(s->GetStream(), nullptr);
}

TEST_F(SoundNodeTest, PriorityFallsWithDistanceAndNothingIsSentOutOfRange) {
    // The camera stands at (10, 0, 0) turned round; the node 4 units in front of it.
    viewer.m[0][0] = -1.0f;
    viewer.m[2][2] = -1.0f;
    viewer.m[3][0] = 10.0f;
    Placed(10, 0, 4, ToneFile("tone.wav", 1000));
    SoundFrame(root);
    const nSoundDesc d = recorder->TakeOne("update");
    EXPECT_FLOAT_EQ(d.priority, 0.25f);
    // Placed in the world by the viewer matrix: back where the transform put it.
    EXPECT_TRUE(d.position.isequal(vector3(10, 0, 4), 1e-5f)) << d.position.x << " " << d.position.y << " " << d.position.z;
    EXPECT_FLOAT_EQ(d.minDist, 5.0f);
    EXPECT_FLOAT_EQ(d.maxDist, 50.0f);

    // Within one unit the priority is the setting itself.
    place->local.m[3][2] = 0.5f;
    SoundFrame(root);
    EXPECT_FLOAT_EQ(recorder->TakeOne("update").priority, 1.0f);

    // Beyond the maximum distance nothing at all; back in range, the updates go on.
    place->local.m[3][2] = 60.0f;
    SoundFrame(root);
    EXPECT_EQ(recorder->Take(), "");
    ASSERT_TRUE(Run("sel('/scene/t/s')\nsetminmaxdist(1, 70)\nsetpriority(3)"));
    SoundFrame(root);
    const nSoundDesc back = recorder->TakeOne("update");
    EXPECT_FLOAT_EQ(back.priority, 3.0f / 60.0f);
    EXPECT_FLOAT_EQ(back.minDist, 1.0f);
}

TEST_F(SoundNodeTest, AmbientSoundsIgnoreDistanceAndVelocityFollowsTheChannel) {
    nSoundNode* s = Placed(0, 0, -100, ToneFile("tone.wav", 1000));
    s->SetAmbient(true);
    s->SetPriority(2.0f);
    SetChannel("velocity", 1.0f, 2.0f, 3.0f);
    SoundFrame(root);
    const nSoundDesc ambient = recorder->TakeOne("update");
    EXPECT_TRUE(ambient.ambient);
    EXPECT_FLOAT_EQ(ambient.priority, 2.0f);

    s->SetAmbient(false);
    place->local.m[3][2] = -2.0f;
    SoundFrame(root);
    EXPECT_EQ(recorder->TakeOne("update").velocity, vector3(1, 2, 3));
    s->SetDoppler(false);
    SoundFrame(root);
    EXPECT_EQ(recorder->TakeOne("update").velocity, vector3());

    // Renamed channels are collected again (the trigger now reads "bang").
    ASSERT_TRUE(Run("sel('/scene/t/s')\nsettriggerchannel('bang')\nsetvelocitychannel('drift')"));
    SetChannel("bang", 1.0f);
    SetChannel("drift", 0.0f, 0.0f, 7.0f);
    s->SetDoppler(true);
    SoundFrame(root);
    EXPECT_EQ(recorder->TakeOne("start").velocity, vector3(0, 0, 7));
}

TEST_F(SoundNodeTest, OneNodeInTwoRenderContextsPlaysTwoSounds) {
    Placed(0, 0, -2, ToneFile("tone.wav", 1000));
    SoundFrame(root, {0, 3});
    ASSERT_EQ(recorder->calls.size(), 2u);
    EXPECT_EQ(recorder->calls[0].desc.soundId, 1);
    EXPECT_EQ(recorder->calls[1].desc.soundId, (3 << 16) | 1);
    EXPECT_EQ(recorder->calls[0].desc.stream, recorder->calls[1].desc.stream);
}

TEST_F(SoundNodeTest, ANewFileStopsTheOldSoundAndOpensTheNextFrame) {
    const std::string a = ToneFile("a.wav", 500), b = ToneFile("b.wav", 1000);
    nSoundNode* s = Placed(0, 0, -2, a);
    SoundFrame(root);
    nStream* old = s->GetStream();
    ASSERT_NE(old, nullptr);
    recorder->Take();
    ASSERT_TRUE(Run("sel('/scene/t/s')\nsetfile('" + b + "')"));
    // Stopped while the old stream still existed; the stream is gone with the node's
    // reference.
    EXPECT_EQ(recorder->TakeOne("stop").soundId, 1);
    EXPECT_EQ(s->GetStream(), nullptr);
    EXPECT_EQ(Lookup("/sys/share/audio")->GetHead(), nullptr);
    SoundFrame(root);
    EXPECT_EQ(recorder->TakeOne("update").soundId, 2);
    ASSERT_NE(s->GetStream(), nullptr);
    EXPECT_STREQ(s->GetStream()->GetFileName(), b.c_str());
}

TEST_F(SoundNodeTest, AFileThatGivesNoSoundIsLoggedOnceAndTheSceneGoesOn) {
    nSoundNode* s = Placed(0, 0, -2, Path("missing.wav"));
    nTestVisNode* mesh = Node("/scene/m", nTestVisNode::Other);
    for (int i = 0; i < 3; i++) SoundFrame(root);
    EXPECT_EQ(recorder->Take(), "");
    size_t first = log.text.find("no sound from");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(log.text.find("/scene/t/s"), std::string::npos);
    EXPECT_EQ(log.text.find("no sound from", first + 1), std::string::npos);
    // The rest of the frame still ran.
    EXPECT_EQ(Computes().size(), 3u);
    (void)mesh;

    // An 8-bit file is no better; a good one plays.
    s->SetFile(Wav("eight.wav", wav::Riff({wav::Chunk("fmt ", wav::Fmt(1, Rate, 8)), wav::Chunk("data", {1, 2})})).c_str());
    SoundFrame(root);
    SoundFrame(root);
    EXPECT_EQ(recorder->Take(), "");
    EXPECT_NE(log.text.find("no sound from", first + 1), std::string::npos);
    s->SetFile(ToneFile("good.wav", 1000).c_str());
    SoundFrame(root);
    EXPECT_EQ(recorder->Take(), "update");
}

TEST_F(SoundNodeTest, ListenerHandsOverTheCameraAndACappedVelocity) {
    viewer.m[3][0] = 4.0f;
    viewer.m[3][1] = 5.0f;
    nTestVisNode* t = Place("/scene/lt", 0, 0, 0);
    auto* l = static_cast<nListenerNode*>(kernel->New("nlistenernode", "/scene/lt/l"));
    (void)t;
    ASSERT_TRUE(Run("sel('/scene/lt/l')\nsetdopplerfactor(2)\nsetrollofffactor(0.5)"));
    SetChannel("lvelocity", 100.0f, 0.0f, 0.0f);
    SoundFrame(root);
    EXPECT_EQ(recorder->listenerCalls, 1);
    EXPECT_FLOAT_EQ(recorder->ListenerMatrix().m[3][0], 4.0f);
    EXPECT_FLOAT_EQ(recorder->ListenerMatrix().m[3][1], 5.0f);
    EXPECT_EQ(recorder->ListenerVelocity(), vector3(50, 0, 0));
    EXPECT_FLOAT_EQ(recorder->Doppler(), 2.0f);
    EXPECT_FLOAT_EQ(recorder->Rolloff(), 0.5f);

    // Below the cap the velocity passes unchanged; a negative cap holds the listener still
    // rather than turning it round.
    SetChannel("lvelocity", 3.0f, 4.0f, 0.0f);
    SoundFrame(root);
    EXPECT_EQ(recorder->ListenerVelocity(), vector3(3, 4, 0));
    l->SetVelocityCap(-1.0f);
    SoundFrame(root);
    EXPECT_EQ(recorder->ListenerVelocity(), vector3());
}

TEST_F(SoundNodeTest, CommandsFromLuaSaveInOrderAndLoadBackIdentical) {
    ASSERT_TRUE(Run(R"(
new('nsoundnode', '/snd')
sel('/snd')
setvelocitychannel('vel2')
settriggerchannel('trig2')
setfile('home:sounds/fish.wav')
setsoundcue('cue7')
setambient(true)
setdoppler(false)
setlooping(true)
setpriority(0.5)
setvolume(0.75)
setfrequency(1.5)
setminmaxdist(2, 40)
a, b = getminmaxdist()
got = getvelocitychannel() .. ' ' .. gettriggerchannel() .. ' ' .. getfile() .. ' ' .. getsoundcue() .. ' ' ..
    tostring(getambient()) .. ' ' .. tostring(getdoppler()) .. ' ' .. tostring(getlooping()) .. ' ' ..
    getpriority() .. ' ' .. getvolume() .. ' ' .. getfrequency() .. ' ' .. a .. ' ' .. b
new('nlistenernode', '/lis')
sel('/lis')
setvelocitychannel('lv2')
setdopplerfactor(3)
setrollofffactor(0.25)
setvelocitycap(20)
lgot = getvelocitychannel() .. ' ' .. getdopplerfactor() .. ' ' .. getrollofffactor() .. ' ' .. getvelocitycap()
)"));
    EXPECT_EQ(Global("got"), "vel2 trig2 home:sounds/fish.wav cue7 1 nil 1 0.5 0.75 1.5 2.0 40.0");
    EXPECT_EQ(Global("lgot"), "lv2 3.0 0.25 20.0");

    auto save = [&](const char* path, const char* file) {
        EXPECT_TRUE(Lookup(path)->SaveAs(Path(file).c_str()));
        return Slurp(Path(file) + ".n");
    };
    auto order = [](const std::string& text, const std::vector<std::string>& names) {
        size_t at = 0;
        for (const std::string& n : names) {
            size_t next = text.find(n + "(", at);
            if (next == std::string::npos) return n;
            at = next;
        }
        return std::string("ok");
    };
    const std::vector<std::string> soundOrder = {"setvelocitychannel", "settriggerchannel", "setfile",
                                                 "setsoundcue", "setambient", "setdoppler", "setlooping",
                                                 "setpriority", "setvolume", "setfrequency", "setminmaxdist"};
    std::string text = save("/snd", "snd");
    EXPECT_EQ(order(text, soundOrder), "ok") << text;
    EXPECT_EQ(text.find("start("), std::string::npos);
    // A pending start is saved, last.
    ASSERT_TRUE(Run("sel('/snd')\nstart()"));
    text = save("/snd", "snd");
    size_t start = text.find("start(");
    ASSERT_NE(start, std::string::npos) << text;
    EXPECT_GT(start, text.find("setminmaxdist("));
    EXPECT_EQ(text.find("set", start), std::string::npos);

    // Loaded back under another name, it saves the same text.
    Lookup("/snd")->Release();
    nRoot* back = kernel->Load(Path("snd.n").c_str());
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->GetClass()->GetName(), "nsoundnode");
    EXPECT_TRUE(static_cast<nSoundNode*>(back)->IsStartPending());
    EXPECT_EQ(save(back->GetFullName().c_str(), "snd2"), text);

    text = save("/lis", "lis");
    EXPECT_EQ(order(text, {"setvelocitychannel", "setdopplerfactor", "setrollofffactor", "setvelocitycap"}), "ok")
        << text;
    Lookup("/lis")->Release();
    back = kernel->Load(Path("lis.n").c_str());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(save(back->GetFullName().c_str(), "lis2"), text);
}

}  // namespace
