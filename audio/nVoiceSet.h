#pragma once
// The voices of one kind (spatial mono or plain stereo) and the sounds requested of
// them in the current frame. Once a frame Update hands the voices to the requests by
// priority: finished and unrequested looping sounds leave, requests find their voices,
// free voices take the highest priorities, and a request may take the voice of a
// sound of strictly lower priority.
#include <memory>
#include <vector>

#include "audio/nSoundDesc.h"
#include "audio/nSoundVoice.h"
#include "kernel/vector3.h"

namespace audio {
class Device;
}

class nVoiceSet {
public:
    enum Kind { Spatial = 1, Stereo = 2 };

    // `count` voices with their buffers; a voice whose buffer cannot be made stays
    // unready and silent (logged).
    nVoiceSet(audio::Device& device, int kind, int count);
    ~nVoiceSet();
    nVoiceSet(const nVoiceSet&) = delete;
    nVoiceSet& operator=(const nVoiceSet&) = delete;

    int GetKind() const { return kind; }
    int GetNumVoices() const { return numVoices; }
    nSoundVoice& GetVoice(int i) { return voices[i]; }

    // Empties the request list and opens it for this frame.
    void BeginRequests();
    // Adds a request in `state` (start or update). A full list takes it only in place
    // of the lowest-priority request, and only when its priority is higher.
    void AddRequest(const nSoundDesc& desc, int state);
    int GetNumRequests() const { return numRequests; }
    const nSoundDesc& GetRequest(int i) const { return requests[i]; }

    // True when a voice plays the sound `soundId`.
    bool IsPlaying(int soundId) const;
    // Stops every voice playing `soundId` at once.
    void StopSound(int soundId);
    void StopAll();

    void SetGain(float g) { gain = g; }
    float GetGain() const { return gain; }
    // The frame's voice allocation and device update; closes the request list.
    void Update(const vector3& listenerPos, const vector3& listenerVel);

private:
    bool HasRequest(int soundId) const;
    void FindLowest();

    int kind;
    int numVoices;
    std::unique_ptr<nSoundVoice[]> voices;
    std::vector<nSoundDesc> requests;
    int numRequests = 0;
    int lowest = -1;
    bool open = false;
    float gain = 1.0f;
};
