#pragma once
// The audio server that plays (script class "ndsoundserver2", "/sys/servers/audio"):
// opens the sound output with its listener, owns the spatial voices (as many as the
// mode's "chn") and four stereo voices, and once a frame gives the voices to the
// requested sounds by priority, streams them, places them and sets their volume.
#include <memory>

#include "audio/nAudioServer2.h"
#include "kernel/nPathRef.h"
#include "platform/audio/AudioTypes.h"

class nEnv;
class nVoiceSet;

namespace audio {
class Device;
}

class nDSoundServer2 : public nAudioServer2 {
public:
    static const nClassInfo classInfo;
    static constexpr int NumStereoVoices = 4;

    nDSoundServer2();
    ~nDSoundServer2() override;

    // Ignored while closed.
    void SetMasterVolume(float volume) override;
    // True at once when open. False, logged, when no output opens (not even the null
    // output that runs silently without a sound card).
    bool OpenAudio() override;
    void CloseAudio() override;
    void BeginScene(double time) override;
    void StartSound(const nSoundDesc& desc) override;
    void UpdateSound(const nSoundDesc& desc) override;
    void StopSound(const nSoundDesc& desc) override;
    void EndScene() override;
    // Both times below 0.01: every voice stops at once and any fade ends.
    void FlushAudio(float fadeOut, float fadeIn) override;
    // Ignored while closed.
    void MuteAudio(bool mute) override;

    // The name of a result of the sound output, for the log.
    static const char* ErrorName(audio::Result result);

    // Which output OpenAudio opens (Default unless a test or tool asks otherwise).
    void SetOutput(audio::Output output) { this->output = output; }
    // The open output (loopback tests render through it); null while closed.
    audio::Device* GetAudioDevice() const { return device.get(); }
    // Sets by kind (nVoiceSet::Spatial, nVoiceSet::Stereo); null while closed.
    nVoiceSet* GetVoiceSet(int kind) const;
    float GetFadeGain() const { return fadeGain; }

private:
    // The set that plays `desc`'s stream, by its channel count; null for none.
    nVoiceSet* SetFor(const nSoundDesc& desc) const;
    void StopAllVoices();

    nPathRef<nRoot> refHwnd;
    audio::Output output = audio::Output::Default;
    std::unique_ptr<audio::Device> device;
    std::unique_ptr<nVoiceSet> spatialSet;
    std::unique_ptr<nVoiceSet> stereoSet;
    float fadeGain = 1.0f;
    bool listenerRefused = false;
};
