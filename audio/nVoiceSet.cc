#include "audio/nVoiceSet.h"

#include "audio/nDSoundServer2.h"
#include "audio/nStream.h"
#include "kernel/nKernelServer.h"
#include "platform/audio/Device.h"

nVoiceSet::nVoiceSet(audio::Device& device, int kind, int count)
    : kind(kind), numVoices(count > 0 ? count : 0), voices(new nSoundVoice[size_t(numVoices)]),
      requests(size_t(numVoices)) {
    for (int i = 0; i < numVoices; i++) {
        audio::Result result = audio::Result::Ok;
        auto buffer = device.CreateBuffer(kind == Spatial ? 1 : 2, nSoundVoice::BufferSize, kind == Spatial, result);
        if (!buffer) {
            n_error("nVoiceSet: voice %d of kind %d has no buffer: %s\n", i, kind, nDSoundServer2::ErrorName(result));
            continue;
        }
        voices[i].Setup(std::move(buffer));
    }
}

nVoiceSet::~nVoiceSet() = default;

void nVoiceSet::BeginRequests() {
    numRequests = 0;
    lowest = -1;
    open = true;
}

void nVoiceSet::AddRequest(const nSoundDesc& desc, int state) {
    if (!open || numVoices == 0) return;
    int at;
    if (numRequests < numVoices) {
        at = numRequests++;
    } else if (desc.priority > requests[lowest].priority) {
        at = lowest;
    } else {
        return;
    }
    requests[at] = desc;
    FindLowest();
    requests[at].state = state;
}

void nVoiceSet::FindLowest() {
    lowest = 0;
    for (int i = 1; i < numRequests; i++) {
        if (requests[i].priority < requests[lowest].priority) lowest = i;
    }
}

bool nVoiceSet::IsPlaying(int soundId) const {
    for (int i = 0; i < numVoices; i++) {
        if (!voices[i].IsFree() && voices[i].GetDesc().soundId == soundId) return true;
    }
    return false;
}

bool nVoiceSet::HasRequest(int soundId) const {
    for (int i = 0; i < numRequests; i++) {
        if (requests[i].soundId == soundId) return true;
    }
    return false;
}

void nVoiceSet::StopSound(int soundId) {
    for (int i = 0; i < numVoices; i++) {
        if (!voices[i].IsFree() && voices[i].GetDesc().soundId == soundId) voices[i].Clear();
    }
}

void nVoiceSet::StopAll() {
    for (int i = 0; i < numVoices; i++) {
        if (!voices[i].IsFree()) voices[i].Clear();
    }
}

void nVoiceSet::Update(const vector3& listenerPos, const vector3& listenerVel) {
    open = false;
    // Requests consumed by a pass are marked with state None.
    // 1. Retire: sounds played out, sounds whose stream a script deleted, and looping
    //    sounds that nobody asked for this frame.
    for (int i = 0; i < numVoices; i++) {
        nSoundVoice& v = voices[i];
        if (v.IsFree()) continue;
        const int id = v.GetDesc().soundId;
        if (v.IsFinished() || v.GetDesc().state == nSoundDesc::Finished || !v.GetStream()) {
            // Updates of the finished sound go; a new start of it stays and plays again.
            for (int r = 0; r < numRequests; r++) {
                if (requests[r].soundId == id && requests[r].state == nSoundDesc::Update) requests[r].state = nSoundDesc::None;
            }
            v.Clear();
        } else if (v.GetStream()->IsLooping() && !HasRequest(id)) {
            v.Clear();
        }
    }
    // 2. Match: requests for sounds that have a voice.
    for (int r = 0; r < numRequests; r++) {
        nSoundDesc& req = requests[r];
        if (req.state == nSoundDesc::None) continue;
        for (int i = 0; i < numVoices; i++) {
            nSoundVoice& v = voices[i];
            if (v.IsFree() || v.GetDesc().soundId != req.soundId) continue;
            if (req.state == nSoundDesc::Start) v.Begin(req);
            else v.Update(req);
            req.state = nSoundDesc::None;
            break;
        }
    }
    // 3. Fill: free voices take the highest priorities.
    for (int i = 0; i < numVoices; i++) {
        nSoundVoice& v = voices[i];
        if (!v.IsReady() || !v.IsFree()) continue;
        int best = -1;
        for (int r = 0; r < numRequests; r++) {
            if (requests[r].state == nSoundDesc::None) continue;
            if (best < 0 || requests[r].priority > requests[best].priority) best = r;
        }
        if (best < 0) break;
        v.Begin(requests[best]);
        requests[best].state = nSoundDesc::None;
    }
    // 4. Steal: a request takes the voice of the lowest priority if its own is higher.
    for (int r = 0; r < numRequests; r++) {
        nSoundDesc& req = requests[r];
        if (req.state == nSoundDesc::None) continue;
        int victim = -1;
        for (int i = 0; i < numVoices; i++) {
            if (!voices[i].IsReady() || voices[i].IsFree()) continue;
            if (victim < 0 || voices[i].GetDesc().priority < voices[victim].GetDesc().priority) victim = i;
        }
        if (victim >= 0 && voices[victim].GetDesc().priority < req.priority) voices[victim].Begin(req);
        req.state = nSoundDesc::None;
    }
    // 5. Apply.
    for (int i = 0; i < numVoices; i++) voices[i].Apply(gain, listenerPos, listenerVel);
}
