#pragma once
// Scene frames with sound: the scene tests' servers plus an audio server at
// "/sys/servers/audio", either one that records what the sound and listener nodes ask
// of it, or the playing server on the loopback output. A frame runs as the observer
// runs it: audio BeginScene, the scene frame (which computes the sounds and the
// listener), audio EndScene.
#include <string>
#include <vector>

#include "audio/nAudioServer2.h"
#include "audio/nDSoundServer2.h"
#include "audio/nListenerNode.h"
#include "audio/nSoundDesc.h"
#include "audio/nSoundNode.h"
#include "tests/audio/WavBytes.h"
#include "tests/platform/audio/SignalProbe.h"
#include "tests/scene/SceneFixture.h"

// Every sound request in order: "start", "update" or "stop" with the description.
struct SoundCall {
    std::string op;
    nSoundDesc desc;
};

class nRecordingAudio : public nAudioServer2 {
public:
    static const nClassInfo classInfo;
    void StartSound(const nSoundDesc& d) override { calls.push_back({"start", d}); }
    void UpdateSound(const nSoundDesc& d) override { calls.push_back({"update", d}); }
    void StopSound(const nSoundDesc& d) override { calls.push_back({"stop", d}); }
    void SetListener(const matrix44& m, const vector3& v, float doppler, float rolloff) override {
        nAudioServer2::SetListener(m, v, doppler, rolloff);
        listenerCalls++;
    }
    // The operations of the calls, joined by spaces, and emptied.
    std::string Take();
    // The description of the only call, which must be `op`; emptied.
    nSoundDesc TakeOne(const char* op);

    const matrix44& ListenerMatrix() const { return listenerMatrix; }
    const vector3& ListenerVelocity() const { return listenerVelocity; }
    float Doppler() const { return dopplerFactor; }
    float Rolloff() const { return rolloffFactor; }

    std::vector<SoundCall> calls;
    int listenerCalls = 0;
};

class SoundSceneFixture : public SceneFixture {
protected:
    static constexpr int Rate = 22050;
    static constexpr int FrameSamples = Rate / 30;

    void SetUp() override;

    // The recording server at "/sys/servers/audio".
    nRecordingAudio* Recorder();
    // The playing server at "/sys/servers/audio", open on the loopback output.
    nDSoundServer2* Loopback();
    // Writes a WAV file into the test's folder; returns its path.
    std::string Wav(const std::string& name, const wav::Bytes& bytes);
    // A mono tone file of `seconds`.
    std::string ToneFile(const std::string& name, double hz, double seconds = 1.0);
    nSoundNode* Sound(const char* path, const std::string& file);
    // A transform at `path` with a channel context of its own, placed at (x, y, z).
    nTestVisNode* Place(const char* path, float x, float y, float z);
    void SetChannel(const char* name, float a, float b = 0.0f, float c = 0.0f);
    // One frame with the camera at `viewer` (the graphics server's viewer matrix; the
    // scene is seen through its inverse); the root attaches once in each render context.
    void SoundFrame(nVisNode* root, const std::vector<uint32_t>& contexts = {0});
    // `frames` frames, each followed by its 1/30 s of loopback output.
    probe::Samples Play(nVisNode* root, int frames);
    // The voices of the playing server's set in use.
    int VoicesInUse(int kind);

    nAudioServer2* audio = nullptr;
    nRecordingAudio* recorder = nullptr;
    nDSoundServer2* player = nullptr;
    matrix44 viewer;
    double time = 0.0;
};
