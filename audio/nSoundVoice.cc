#include "audio/nSoundVoice.h"

#include <algorithm>
#include <cstring>

#include "audio/nStream.h"

namespace {

// True when `x` lies in [begin, end) going round the buffer; empty when begin == end.
bool inRing(int x, int begin, int end) {
    if (begin <= end) return x >= begin && x < end;
    return x >= begin || x < end;
}

void resetDesc(nSoundDesc& d) {
    d = nSoundDesc();
    // Placeholders, always replaced before use.
    d.volume = 1.0f;
    d.frequency = 1.0f;
    d.minDist = 50.0f;
    d.maxDist = 500.0f;
}

}  // namespace

nSoundVoice::nSoundVoice() = default;

nSoundVoice::~nSoundVoice() {
    if (nStream* s = stream.GetUnsafe()) {
        stream.Set(nullptr);
        s->Release();
    }
}

void nSoundVoice::Setup(std::unique_ptr<audio::SoundBuffer> b) {
    buffer = std::move(b);
    if (!buffer) return;
    void *p1 = nullptr, *p2 = nullptr;
    size_t n1 = 0, n2 = 0;
    if (buffer->Lock(0, BufferSize, p1, n1, p2, n2) == audio::Result::Ok) {
        std::memset(p1, 0, n1);
        if (p2) std::memset(p2, 0, n2);
        buffer->Unlock();
    }
    buffer->Play();
    ready = true;
}

void nSoundVoice::Clear() {
    if (nStream* s = stream.GetUnsafe()) {
        stream.Set(nullptr);
        s->Release();
    }
    resetDesc(desc);
    ending = false;
    dirty = true;
}

void nSoundVoice::Begin(const nSoundDesc& request) {
    // The new stream is held before the old one goes: they may be the same.
    if (request.stream) request.stream->AddRef();
    if (!IsFree()) Clear();
    desc = request;
    stream.Set(request.stream);
    desc.state = nSoundDesc::Start;
    ending = false;
    dirty = true;
}

void nSoundVoice::Update(const nSoundDesc& r) {
    desc.ambient = r.ambient;
    desc.priority = r.priority;
    desc.volume = r.volume;
    desc.frequency = r.frequency;
    desc.position = r.position;
    desc.velocity = r.velocity;
    desc.minDist = r.minDist;
    desc.maxDist = r.maxDist;
    desc.state = nSoundDesc::Update;
}

bool nSoundVoice::IsFinished() const {
    return ending && !inRing(playCursor, endStart, endEnd);
}

void nSoundVoice::Apply(float setGain, const vector3& listenerPos, const vector3& listenerVel) {
    if (!ready) return;
    gain = setGain;
    if (buffer->IsLost()) {
        buffer->Restore();
        dirty = true;
    }
    size_t play = 0, write = 0;
    buffer->GetCurrentPosition(play, write);
    playCursor = int(play);
    writeCursor = int(write);

    if (!IsFree()) {
        if (buffer->IsSpatial()) {
            const vector3& p = desc.ambient ? listenerPos : desc.position;
            const vector3& v = desc.ambient ? listenerVel : desc.velocity;
            audio::Buffer3D params;
            params.position = {p.x, p.y, p.z};
            params.velocity = {v.x, v.y, v.z};
            params.minDistance = desc.minDist;
            params.maxDistance = desc.maxDist;
            buffer->Set3DParameters(params, true);
        }
    }
    // Linear in hundredths of a decibel: the sound's volume times the set's gain.
    float mB = desc.volume * gain * 10000.0f - 10000.0f;
    // Held to -10000 .. 0 before the conversion; NaN (a script's volume) is silence.
    buffer->SetVolume(mB > -10000.0f ? (mB < 0.0f ? int(mB) : 0) : -10000);

    if (desc.state == nSoundDesc::Start) {
        desc.streamPos = 0;
        desc.state = nSoundDesc::Playing;
        dirty = true;
        // Each sound plays at its own rate, whatever the mix rate is.
        if (nStream* s = stream.GetUnsafe()) buffer->SetFrequency(std::clamp(s->GetSampleRate(), 100, 200000));
    }
    if (!inRing(writeCursor, q0, q2)) dirty = true;
    else if (inRing(writeCursor, q1, q2)) needsRefill = true;

    if (dirty) {
        ending = false;
        Write(writeCursor, 2 * QuarterSize - writeCursor % QuarterSize, true);
    } else if (needsRefill) {
        Write(q2, QuarterSize, false);
    } else {
        return;
    }
    q0 = writeCursor / QuarterSize % 4 * QuarterSize;
    q1 = (q0 + QuarterSize) % BufferSize;
    q2 = (q1 + QuarterSize) % BufferSize;
    dirty = false;
    needsRefill = false;
}

void nSoundVoice::Write(int offset, int bytes, bool crossfade) {
    void *p1 = nullptr, *p2 = nullptr;
    size_t n1 = 0, n2 = 0;
    if (buffer->Lock(size_t(offset), size_t(bytes), p1, n1, p2, n2) != audio::Result::Ok) return;
    nStream* s = stream.GetUnsafe();
    if (IsFree() || !s) {
        std::memset(p1, 0, n1);
        if (p2) std::memset(p2, 0, n2);
        buffer->Unlock();
        return;
    }
    s->Seek(desc.streamPos);
    if (crossfade) s->BeginCrossfade();
    int real = s->Read(p1, int(n1));
    if (p2) real += s->Read(p2, int(n2));
    if (crossfade) s->EndCrossfade();
    desc.streamPos = s->Tell();
    buffer->Unlock();
    if (s->IsEndReached() && !s->IsLooping() && !ending) {
        // The sound's last byte, not the silence written after it: the voice is free
        // once its sound has been heard to the end.
        ending = true;
        endStart = playCursor;
        endEnd = (offset + real) % BufferSize;
    }
}
