#pragma once
// A sound placed in the scene (script class "nsoundnode"): while attached it describes
// its sound to the audio server every frame, at its scene node's place relative to the
// camera, starting, updating or stopping it as its trigger channel and the start and
// stop commands say. Looping sounds play only while the node keeps being computed.
#include "audio/nSoundDesc.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nString.h"
#include "scene/nVisNode.h"

class nAudioServer2;
class nStream;

class nSoundNode : public nVisNode {
public:
    static const nClassInfo classInfo;

    nSoundNode();
    // Gives back the stream; a voice playing it holds a reference of its own.
    ~nSoundNode() override;

    bool SaveCmds(nPersistServer* ps) override;
    // Registers the node as its scene node's sound unless the trigger is below -0.99;
    // then the sound stops, its id is forgotten and the stream given back.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // Sends this frame's request; nothing beyond the maximum distance. A file that does
    // not give a stream is logged once and leaves the node silent until the file changes.
    void Compute(nSceneGraph2* sceneGraph) override;
    void CollectChannels(nChannelSet* set) override;

    void SetVelocityChannel(const char* name);
    const char* GetVelocityChannel() const { return velocityChannel.Get(); }
    void SetTriggerChannel(const char* name);
    const char* GetTriggerChannel() const { return triggerChannel.Get(); }
    // A new file stops the sound of the old one and gives its stream back; the next
    // Compute opens the new one.
    void SetFile(const char* name);
    const char* GetFile() const { return fileName.Get(); }
    // Kept and saved; nothing reads it.
    void SetSoundCue(const char* name) { soundCue = name ? name : ""; }
    const char* GetSoundCue() const { return soundCue.Get(); }
    void SetAmbient(bool on) { desc.ambient = on; }
    bool GetAmbient() const { return desc.ambient; }
    // On: the velocity comes from the velocity channel; off: zero.
    void SetDoppler(bool on) { doppler = on; }
    bool GetDoppler() const { return doppler; }
    // Takes effect when the next stream is opened.
    void SetLooping(bool on) { looping = on; }
    bool GetLooping() const { return looping; }
    void SetPriority(float p) { priority = p; }
    float GetPriority() const { return priority; }
    void SetVolume(float v) { desc.volume = v; }
    float GetVolume() const { return desc.volume; }
    void SetFrequency(float f) { desc.frequency = f; }
    float GetFrequency() const { return desc.frequency; }
    void SetMinMaxDist(float minDist, float maxDist);
    void GetMinMaxDist(float& minDist, float& maxDist) const;
    // Act in the next Compute.
    void Start() { startRequested = true; }
    void Stop() { stopRequested = true; }

    bool IsStartPending() const { return startRequested; }
    bool IsStopPending() const { return stopRequested; }
    // The stream the node holds; null before the first Compute and after a stop.
    nStream* GetStream() const { return refStream.GetUnsafe(); }
    // The description as last sent.
    const nSoundDesc& GetDesc() const { return desc; }

private:
    // Stops the last sent sound, forgets the id and gives the stream back.
    void releaseSound(nAudioServer2* audio);

    nPathRef<nAudioServer2> refAudio;
    nRef<nStream> refStream;
    nSoundDesc desc;
    nString fileName;
    nString soundCue;
    nString velocityChannel;
    nString triggerChannel;
    int ownId = 0;
    float priority = 1.0f;
    int velocityIndex = -1;
    int triggerIndex = -1;
    bool looping = false;
    bool doppler = true;
    bool startRequested = false;
    bool stopRequested = false;
    // The file gave no stream; logged, silent until SetFile.
    bool streamFailed = false;
};
