// The playing audio server on the loopback output: what is heard, where, how loud, at
// which pitch, and how voices are handed out, freed, stopped and faded.
#include <cmath>

#include "audio/nSoundVoice.h"
#include "tests/audio/AudioTestKernel.h"

namespace {

class DSoundServerTest : public AudioTestKernel {
protected:
    void SetUp() override {
        AudioTestKernel::SetUp();
        OpenServer();
    }
    // A looping 1 kHz tone (one second holds whole periods, so the loop has no seam).
    nStream* Tone(int rate = Rate, bool looping = true, double seconds = 1.0) {
        std::string name = "tone" + std::to_string(rate) + (looping ? "l" : "s") + std::to_string(seconds) + ".wav";
        return Stream(name.c_str(), wav::File(1, rate, wav::Tone(1000, rate, seconds)), looping);
    }
    // Plays `sound` (started in the first frame, updated in the others) for `frames`.
    probe::Samples Hear(nSoundDesc& sound, int frames = 15) {
        bool started = false;
        return Play(frames, [&] {
            if (!started) audio->StartSound(sound);
            else audio->UpdateSound(sound);
            started = true;
        });
    }
    // Level of both sides over the second half of `s`.
    static double Level(const probe::Samples& s) {
        size_t half = s.size() / 4;
        return probe::Rms(s, 0, half) + probe::Rms(s, 1, half);
    }
};

TEST_F(DSoundServerTest, MonoToneOnASpatialVoiceIsHeardAtItsPitch) {
    nSoundDesc sound = Sound(Tone());
    probe::Samples s = Hear(sound);
    EXPECT_EQ(VoicesInUse(nVoiceSet::Spatial), 1);
    EXPECT_EQ(VoicesInUse(nVoiceSet::Stereo), 0);
    EXPECT_EQ(Set(nVoiceSet::Spatial).GetVoice(0).GetDesc().soundId, sound.soundId);
    const size_t from = s.size() / 4;
    EXPECT_NEAR(probe::Frequency(s, 0, Rate, from), 1000.0, 2.0);
    // Straight ahead within the minimum distance: both sides alike, at full volume.
    EXPECT_NEAR(probe::Rms(s, 0, from), probe::Rms(s, 1, from), 0.01);
    EXPECT_GT(probe::Rms(s, 0, from), 0.15);
    // It starts within the output's lead plus one frame.
    EXPECT_LT(probe::FirstAbove(s, 0.05), size_t(0.2 * Rate));
}

TEST_F(DSoundServerTest, StereoFilesPlayOnStereoVoices) {
    // 500 Hz on the left, silence on the right.
    nStream* stereo = Stream("stereo.wav", wav::File(2, Rate, wav::Tone(500, Rate, 1.0, {12000.0, 0.0})), true);
    ASSERT_EQ(stereo->GetKind(), 2);
    nSoundDesc sound = Sound(stereo);
    sound.position = vector3(30.0f, 0.0f, 0.0f);  // stereo voices are not placed
    probe::Samples s = Hear(sound);
    EXPECT_EQ(VoicesInUse(nVoiceSet::Stereo), 1);
    EXPECT_EQ(VoicesInUse(nVoiceSet::Spatial), 0);
    const size_t from = s.size() / 4;
    EXPECT_NEAR(probe::Rms(s, 0, from), 12000.0 / 32768.0 / std::sqrt(2.0), 0.02);
    EXPECT_LT(probe::Rms(s, 1, from), 0.001);
    EXPECT_NEAR(probe::Frequency(s, 0, Rate, from), 500.0, 1.0);
}

TEST_F(DSoundServerTest, PlacementFollowsTheListener) {
    nStream* tone = Tone();
    // At camera +x: the right side.
    nSoundDesc right = Sound(tone, 1.0f, vector3(3.0f, 0.0f, 0.0f));
    right.minDist = 1.0f;
    probe::Samples s = Hear(right);
    const size_t from = s.size() / 4;
    EXPECT_GT(probe::Rms(s, 1, from), 3.0 * probe::Rms(s, 0, from) + 0.01);
    audio->StopSound(right);

    // Turned round (the camera looking down +z), the same point is on the left.
    matrix44 turned;
    turned.m[0][0] = -1.0f;
    turned.m[2][2] = -1.0f;
    audio->SetListener(turned, vector3(), 1.0f, 1.0f);
    nSoundDesc left = Sound(tone, 1.0f, vector3(3.0f, 0.0f, 0.0f));
    left.minDist = 1.0f;
    s = Hear(left);
    EXPECT_GT(probe::Rms(s, 0, from), 3.0 * probe::Rms(s, 1, from) + 0.01);
    audio->StopSound(left);
    audio->SetListener(matrix44(), vector3(), 1.0f, 1.0f);

    // Beyond its maximum distance a sound is silent; an ambient one sits at the listener.
    nSoundDesc far = Sound(tone, 1.0f, vector3(0.0f, 0.0f, -60.0f));
    s = Hear(far);
    EXPECT_EQ(VoicesInUse(nVoiceSet::Spatial), 1);
    EXPECT_EQ(Level(s), 0.0);
    far.ambient = true;
    s = Hear(far);
    EXPECT_GT(Level(s), 0.3);
}

TEST_F(DSoundServerTest, VolumeAndMasterVolumeFollowTheDecibelCurve) {
    nStream* tone = Tone();
    nSoundDesc sound = Sound(tone);
    const double full = Level(Hear(sound));
    ASSERT_GT(full, 0.3);
    // Volume 0.9 is -1000 mB: 10^(-1000/2000) of the amplitude.
    sound.volume = 0.9f;
    EXPECT_NEAR(Level(Hear(sound)) / full, std::pow(10.0, -0.5), 0.01);
    sound.volume = 1.0f;
    audio->SetMasterVolume(0.9f);
    EXPECT_NEAR(Level(Hear(sound)) / full, std::pow(10.0, -0.5), 0.01);
    audio->SetMasterVolume(0.5f);
    sound.volume = 0.8f;  // 0.4 of the way: -6000 mB
    EXPECT_NEAR(Level(Hear(sound)) / full, std::pow(10.0, -3.0), 0.0005);
    audio->MuteAudio(true);
    EXPECT_EQ(Level(Hear(sound)), 0.0);
    audio->MuteAudio(false);
    audio->SetMasterVolume(1.0f);
    sound.volume = 1.0f;
    EXPECT_NEAR(Level(Hear(sound)) / full, 1.0, 0.01);
}

TEST_F(DSoundServerTest, BusyVoicesGoToHigherPrioritiesOnly) {
    nStream* longTone = Tone(Rate, false, 5.0);
    std::vector<nSoundDesc> busy;
    for (int i = 0; i < 16; i++) busy.push_back(Sound(longTone, 1.0f));
    Frame([&] {
        for (auto& s : busy) audio->StartSound(s);
    });
    ASSERT_EQ(VoicesInUse(nVoiceSet::Spatial), 16);
    nSoundDesc same = Sound(longTone, 1.0f);
    Frame([&] { audio->StartSound(same); });
    for (int i = 0; i < 16; i++) EXPECT_EQ(Set(nVoiceSet::Spatial).GetVoice(i).GetDesc().soundId, busy[size_t(i)].soundId);
    // A higher priority takes the first of the lowest.
    nSoundDesc higher = Sound(longTone, 2.0f);
    Frame([&] { audio->StartSound(higher); });
    EXPECT_EQ(Set(nVoiceSet::Spatial).GetVoice(0).GetDesc().soundId, higher.soundId);
    for (int i = 1; i < 16; i++) EXPECT_EQ(Set(nVoiceSet::Spatial).GetVoice(i).GetDesc().soundId, busy[size_t(i)].soundId);
    EXPECT_EQ(longTone->GetRefCount(), 1 + 16);  // ours and one per voice

    // Looping sounds asked for every frame fill the request list: an equal priority is
    // turned away there, a higher one takes the place of the first lowest request.
    audio->FlushAudio(0.0f, 0.0f);
    nStream* loop = Tone();
    std::vector<nSoundDesc> loops;
    for (int i = 0; i < 16; i++) loops.push_back(Sound(loop, 1.0f));
    auto all = [&] {
        for (auto& s : loops) audio->UpdateSound(s);
    };
    Frame(all);
    Frame([&] {
        all();
        audio->StartSound(same);
        EXPECT_EQ(Set(nVoiceSet::Spatial).GetNumRequests(), 16);
        audio->StartSound(higher);
    });
    EXPECT_EQ(Set(nVoiceSet::Spatial).GetVoice(0).GetDesc().soundId, higher.soundId);
    for (int i = 1; i < 16; i++) EXPECT_EQ(Set(nVoiceSet::Spatial).GetVoice(i).GetDesc().soundId, loops[size_t(i)].soundId);
}

TEST_F(DSoundServerTest, AFifthStereoSoundCompetesByPriority) {
    nStream* stereo = Stream("s.wav", wav::File(2, Rate, wav::Tone(500, Rate, 3.0, {8000.0, 8000.0})), false);
    std::vector<nSoundDesc> sounds;
    for (float p : {3.0f, 1.0f, 4.0f, 1.0f}) sounds.push_back(Sound(stereo, p));
    Frame([&] {
        for (auto& s : sounds) audio->StartSound(s);
    });
    ASSERT_EQ(VoicesInUse(nVoiceSet::Stereo), 4);
    nSoundDesc low = Sound(stereo, 0.5f), mid = Sound(stereo, 2.0f);
    Frame([&] {
        audio->StartSound(low);
        audio->StartSound(mid);
    });
    // The first of the two at 1.0 gave way; the 0.5 found no voice.
    nVoiceSet& set = Set(nVoiceSet::Stereo);
    EXPECT_TRUE(set.IsPlaying(mid.soundId));
    EXPECT_FALSE(set.IsPlaying(sounds[1].soundId));
    EXPECT_TRUE(set.IsPlaying(sounds[3].soundId));
    EXPECT_FALSE(set.IsPlaying(low.soundId));
}

TEST_F(DSoundServerTest, LoopingSoundsPlayOnlyWhileRequested) {
    nSoundDesc sound = Sound(Tone());
    Frame([&] { audio->StartSound(sound); });
    Frame([&] { audio->UpdateSound(sound); });
    EXPECT_EQ(VoicesInUse(nVoiceSet::Spatial), 1);
    Frame();
    EXPECT_EQ(VoicesInUse(nVoiceSet::Spatial), 0);
    // Asked for again, a looping sound that lost its voice starts anew.
    Frame([&] { audio->UpdateSound(sound); });
    EXPECT_EQ(VoicesInUse(nVoiceSet::Spatial), 1);
    // Stopped, it is gone at once, and so is its sound after the output's lead.
    Frame([&] { audio->StopSound(sound); });
    EXPECT_EQ(VoicesInUse(nVoiceSet::Spatial), 0);
    // What the output had queued still plays (a tenth of a second), then silence.
    probe::Samples s = Play(6);
    EXPECT_EQ(probe::Rms(s, 0, FrameSamples * 5) + probe::Rms(s, 1, FrameSamples * 5), 0.0);
}

// A voice holding the last reference to its stream, restarted with that stream.
TEST_F(DSoundServerTest, RestartingASoundKeepsItsStream) {
    nStream* tone = Tone();
    nSoundDesc sound = Sound(tone);
    Frame([&] { audio->StartSound(sound); });
    ASSERT_EQ(tone->GetRefCount(), 2);
    tone->Release();
    Frame([&] { audio->StartSound(sound); });
    ASSERT_EQ(Set(nVoiceSet::Spatial).GetVoice(0).GetStream(), tone);
    EXPECT_EQ(tone->GetRefCount(), 1);
    EXPECT_GT(Level(Play(10, [&] { audio->UpdateSound(sound); })), 0.3);
}

TEST_F(DSoundServerTest, OneShotVoicesAreFreedOnlyAfterTheirTail) {
    const double seconds = 0.25;
    nSoundDesc sound = Sound(Tone(Rate, false, seconds));
    probe::Samples all;
    int freedAt = -1;
    for (int frame = 0; frame < 30 * 20 && freedAt < 0; frame++) {
        probe::Samples s = Play(1, [&] {
            if (frame == 0) audio->StartSound(sound);
            else audio->UpdateSound(sound);  // as the node does every frame
        });
        if (frame > 0 && VoicesInUse(nVoiceSet::Spatial) == 0) freedAt = frame;
        all.insert(all.end(), s.begin(), s.end());
    }
    ASSERT_GT(freedAt, 0);
    // The whole sound is in the output, once, and it had ended before the voice was freed.
    const size_t begin = probe::FirstAbove(all, 0.05), end = probe::EndAbove(all, 0.05);
    EXPECT_NEAR(double(end - begin) / Rate, seconds, 0.01);
    EXPECT_GE(size_t(freedAt) * FrameSamples, end);
    // ... and not long after: a voice is not kept for the silence written behind a sound.
    EXPECT_LE(size_t(freedAt) * FrameSamples, end + 3 * FrameSamples);
}

TEST_F(DSoundServerTest, FlushAudioStopsAtOnceOrFades) {
    nStream* tone = Tone();
    std::vector<nSoundDesc> sounds = {Sound(tone), Sound(tone)};
    auto keep = [&] {
        for (auto& s : sounds) audio->UpdateSound(s);
    };
    Frame([&] {
        for (auto& s : sounds) audio->StartSound(s);
    });
    audio->FlushAudio(0.0f, 0.0f);
    EXPECT_EQ(VoicesInUse(nVoiceSet::Spatial), 0);
    probe::Samples s = Play(10);
    EXPECT_EQ(probe::Rms(s, 0, FrameSamples * 5) + probe::Rms(s, 1, FrameSamples * 5), 0.0);

    // Over a second out, every voice stops, then a second back in; the mute is lifted.
    Play(6, keep);
    const double before = Level(Play(6, keep));
    audio->MuteAudio(true);
    audio->FlushAudio(1.0f, 1.0f);
    const double outEnd = audio->GetFadeOutEnd(), inEnd = audio->GetFadeInEnd();
    Play(15, keep);  // half way out
    EXPECT_NEAR(audio->GetFadeGain(), std::sqrt(outEnd - time), 1e-4);
    EXPECT_EQ(audio->GetMuteGain(), 0.0f);
    int stoppedFrames = 0;
    while (time + 1.0 / 30.0 < inEnd - 0.5) {
        // Sounds asked for in the frame that ends the fade-out would start again at once;
        // in that frame nobody asks.
        const bool last = time + 1.0 / 30.0 >= outEnd && stoppedFrames == 0;
        Frame(last ? std::function<void()>() : keep);
        if (audio->GetFadeGain() == 0.0f) {
            stoppedFrames++;
            EXPECT_EQ(VoicesInUse(nVoiceSet::Spatial), 0);
            EXPECT_EQ(audio->GetMuteGain(), 1.0f);
        }
    }
    EXPECT_EQ(stoppedFrames, 1);
    Play(3, keep);  // fading in
    EXPECT_NEAR(audio->GetFadeGain(), std::sqrt(1.0 - (inEnd - time)), 1e-4);
    EXPECT_GT(audio->GetFadeGain(), 0.5f);
    EXPECT_TRUE(audio->IsFading());
    Play(30, keep);
    EXPECT_FALSE(audio->IsFading());
    EXPECT_EQ(audio->GetFadeGain(), 1.0f);
    EXPECT_EQ(audio->GetMuteGain(), 1.0f);
    EXPECT_NEAR(Level(Play(6, keep)), before, 0.02 * before);
}

TEST_F(DSoundServerTest, FilesPlayAtTheirOwnRate) {
    for (int rate : {11025, 44100}) {
        SCOPED_TRACE(rate);
        nSoundDesc sound = Sound(Tone(rate));
        probe::Samples s = Hear(sound);
        EXPECT_NEAR(probe::Frequency(s, 0, Rate, s.size() / 4), 1000.0, 2.0);
        audio->StopSound(sound);
    }
}

TEST_F(DSoundServerTest, LostBuffersAreRestoredAndRewritten) {
    nSoundDesc sound = Sound(Tone());
    Hear(sound, 3);
    Set(nVoiceSet::Spatial).GetVoice(0).GetBuffer()->SimulateLoss();
    probe::Samples s = Play(15, [&] { audio->UpdateSound(sound); });
    EXPECT_GT(Level(s), 0.3);
    EXPECT_NEAR(probe::Frequency(s, 0, Rate, s.size() / 4), 1000.0, 2.0);
}

TEST_F(DSoundServerTest, OpeningClosingAndMissingStreams) {
    nSoundDesc none = Sound(nullptr);
    Frame([&] { audio->StartSound(none); });
    EXPECT_EQ(VoicesInUse(nVoiceSet::Spatial), 0);
    nSoundDesc sound = Sound(Tone());
    audio->CloseAudio();
    EXPECT_EQ(audio->GetAudioDevice(), nullptr);
    audio->BeginScene(1.0);
    audio->StartSound(sound);
    audio->EndScene();
    EXPECT_TRUE(audio->OpenAudio());
    EXPECT_TRUE(audio->OpenAudio());
    Frame([&] { audio->StartSound(sound); });
    EXPECT_EQ(VoicesInUse(nVoiceSet::Spatial), 1);
    // A script that deletes the stream a voice plays silences that voice, nothing more.
    sound.stream->Release();
    kernel->Lookup("/sys/share/audio")->Release();
    Frame();
    EXPECT_EQ(VoicesInUse(nVoiceSet::Spatial), 0);
    // No output at the mode's rate: false, logged, closed; a later mode opens.
    audio->CloseAudio();
    audio->SetMode("hz(1000)");
    TakeErrors();
    EXPECT_FALSE(audio->OpenAudio());
    EXPECT_TRUE(TakeErrors());
    EXPECT_FALSE(audio->IsOpen());
    EXPECT_EQ(audio->GetVoiceSet(nVoiceSet::Spatial), nullptr);
    // Without the display's window audio opens all the same.
    kernel->Lookup("/sys/env/hwnd")->Release();
    audio->SetMode("speakers(quad)");
    EXPECT_TRUE(audio->OpenAudio());
    EXPECT_EQ(audio->GetAudioDevice()->GetSpeakerConfig(), audio::Speakers::Quad);
    EXPECT_STREQ(nDSoundServer2::ErrorName(audio::Result::BufferLost), "DSERR_BUFFERLOST");
    EXPECT_STREQ(nDSoundServer2::ErrorName(audio::Result::Ok), "<UNKNOWN ERROR>");
}

}  // namespace
