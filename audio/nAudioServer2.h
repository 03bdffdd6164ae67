#pragma once
// The device-independent audio server (script class "naudioserver2",
// "/sys/servers/audio"): the audio mode, master volume, mute and fade, the listener,
// sound ids, and the shared streams under "/sys/share/audio". Sound nodes hand it their
// sounds between BeginScene and EndScene; a device server (nDSoundServer2) plays them,
// the base plays nothing.
#include <cstdint>
#include <string>

#include "audio/nSoundDesc.h"
#include "kernel/matrix44.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"
#include "kernel/vector3.h"

class nStream;

class nAudioServer2 : public nRoot {
public:
    static const nClassInfo classInfo;

    enum Speakers { FivePointOne = 0, Head = 1, Mono = 2, Quad = 3, Stereo = 4, Surround = 5 };

    nAudioServer2();
    ~nAudioServer2() override;

    // Items "dev(0)-bps(16)-hz(22050)-chn(16)-speakers(stereo)"; every call starts from
    // these defaults, so an empty text restores them. "chn" is the number of spatial
    // voices (0..MaxVoices); any other speaker word means stereo.
    virtual void SetMode(const char* mode);
    // The base has no text (null).
    virtual const char* GetMode();
    virtual void SetMasterVolume(float volume);
    virtual float GetMasterVolume();
    virtual bool OpenAudio();
    virtual void CloseAudio();
    // 1, 2, 3, ... in call order.
    virtual int NewSoundId();
    virtual void BeginScene(double time);
    virtual void SetListener(const matrix44& matrix, const vector3& velocity, float doppler, float rolloff);
    virtual void StartSound(const nSoundDesc& desc);
    virtual void UpdateSound(const nSoundDesc& desc);
    virtual void StopSound(const nSoundDesc& desc);
    virtual void EndScene();
    // Fades out over `fadeOut` seconds from the current frame's time, then in over
    // `fadeIn`.
    virtual void FlushAudio(float fadeOut, float fadeIn);
    virtual void MuteAudio(bool mute);
    // The stream of `fileName` under "/sys/share/audio", shared with every caller that
    // named the same file (one more reference each); a new one is opened. Null for a
    // name without ".wav" or ".ogg", for ".ogg" (not supported, logged) and for a file
    // that does not open (logged by the stream; nothing is left behind).
    virtual nStream* NewStream(const char* fileName, bool looping);

    static constexpr int MaxVoices = 256;

    int GetDevice() const { return device; }
    int GetBitsPerSample() const { return bitsPerSample; }
    int GetSampleRate() const { return sampleRate; }
    int GetNumVoices() const { return numChannels; }
    int GetSpeakerMode() const { return speakerMode; }
    bool IsOpen() const { return isOpen; }
    bool IsInScene() const { return inScene; }
    float GetMuteGain() const { return muteGain; }
    double GetTime() const { return curTime; }
    bool IsFading() const { return fading; }
    double GetFadeOutEnd() const { return fadeOutEnd; }
    double GetFadeInEnd() const { return fadeInEnd; }

    // The share name of a stream file: the whole name with '.', '/', '\' and ':' made '_'.
    static std::string MakeStreamName(const char* fileName);

protected:
    // "/sys/share/audio", made again when a script has released it.
    nRoot* GetStreamRoot();

    int soundIdCounter = 0;
    int device = 0;
    int bitsPerSample = 16;
    int sampleRate = 22050;
    int numChannels = 16;
    int speakerMode = Stereo;
    nRef<nRoot> refStreamRoot;
    bool isOpen = false;
    bool inScene = false;
    float muteGain = 1.0f;
    float masterVolume = 1.0f;
    matrix44 listenerMatrix;
    vector3 listenerVelocity;
    float dopplerFactor = 1.0f;
    float rolloffFactor = 1.0f;
    double curTime = 0.0;
    double fadeStart = 0.0;
    bool fading = false;
    bool fadedOut = false;
    double fadeOutEnd = 0.0;
    double fadeInEnd = 0.0;
};
