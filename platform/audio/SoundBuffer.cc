#include "platform/audio/SoundBuffer.h"

#include <AL/al.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/audio/Device.h"

namespace audio {

namespace {

// OpenAL buffers per source: the lead at the highest frequency a caller may set fits.
constexpr int PoolSize = 16;
constexpr int MinFrequency = 100;
constexpr int MaxFrequency = 200000;

bool finite(const Vector& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

}  // namespace

SoundBuffer::SoundBuffer(Device* device, unsigned source, int channels, size_t bytes, bool spatial)
    : device(device), source(source), channels(channels), spatial(spatial), ring(bytes, 0), frequency(device->rate) {
    all.resize(PoolSize);
    alGetError();
    alGenBuffers(PoolSize, all.data());
    if (alGetError() != AL_NO_ERROR) {
        all.clear();
        alDeleteSources(1, &source);
        this->source = 0;
        return;
    }
    idle.reserve(PoolSize);
    idle.assign(all.rbegin(), all.rend());
    loud.assign(PoolSize, 0);
    if (spatial) {
        Apply3D();
    } else {
        // Plain buffers play as recorded, wherever the listener is.
        alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
        alSource3f(source, AL_POSITION, 0.0f, 0.0f, 0.0f);
        alSourcef(source, AL_ROLLOFF_FACTOR, 0.0f);
        ApplyGain();
    }
    device->Register(this);
}

SoundBuffer::~SoundBuffer() {
    if (source) {
        alSourceStop(source);
        alSourcei(source, AL_BUFFER, 0);
        alDeleteSources(1, &source);
        if (!all.empty()) alDeleteBuffers(ALsizei(all.size()), all.data());
    }
    if (device) device->Unregister(this);
}

Result SoundBuffer::Lock(size_t offset, size_t bytes, void*& part1, size_t& bytes1, void*& part2, size_t& bytes2) {
    part1 = part2 = nullptr;
    bytes1 = bytes2 = 0;
    if (lost) return Result::BufferLost;
    if (offset >= ring.size() || bytes > ring.size()) return Result::InvalidParam;
    part1 = ring.data() + offset;
    bytes1 = std::min(bytes, ring.size() - offset);
    if (bytes1 < bytes) {
        part2 = ring.data();
        bytes2 = bytes - bytes1;
    }
    return Result::Ok;
}

Result SoundBuffer::Unlock() {
    // Written bytes are read from the ring when their chunk is queued.
    return lost ? Result::BufferLost : Result::Ok;
}

Result SoundBuffer::Play() {
    if (!source) return Result::Uninitialized;
    if (playing) return Result::Ok;
    playing = true;
    if (holding) holdClock = device ? device->Clock() : 0;
    Service();
    if (!holding && inQueue > 0) {
        ALint state = 0;
        alGetSourcei(source, AL_SOURCE_STATE, &state);
        if (state != AL_PLAYING) alSourcePlay(source);
    }
    return Result::Ok;
}

Result SoundBuffer::Stop() {
    if (!source) return Result::Uninitialized;
    if (holding && playing) {
        holdPos = HoldPosition(device ? device->Clock() : holdClock);
    }
    playing = false;
    alSourcePause(source);
    return Result::Ok;
}

bool SoundBuffer::IsLost() {
    return lost;
}

Result SoundBuffer::Restore() {
    if (lost) {
        std::memset(ring.data(), 0, ring.size());
        lost = false;
    }
    return Result::Ok;
}

void SoundBuffer::SimulateLoss() {
    std::memset(ring.data(), 0, ring.size());
    lost = true;
}

Result SoundBuffer::GetCurrentPosition(size_t& play, size_t& write) {
    play = write = 0;
    if (!source) return Result::Uninitialized;
    if (device) device->Pump();
    Service();
    uint64_t at;
    if (holding) {
        at = playing ? HoldPosition(lastClock) : holdPos;
    } else {
        ALint offset = 0;
        alGetSourcei(source, AL_SAMPLE_OFFSET, &offset);
        // The offset counts from the first chunk still queued.
        at = std::min(consumed + uint64_t(std::max(offset, 0)) * BlockAlign(), queued);
    }
    play = size_t(at % ring.size());
    write = size_t(queued % ring.size());
    return Result::Ok;
}

Result SoundBuffer::SetVolume(int mB) {
    if (mB < -10000 || mB > 0) return Result::InvalidParam;
    if (mB != volume) {
        volume = mB;
        // -10000 is silence; above it, a hundredth of a decibel at a time.
        volumeGain = mB <= -10000 ? 0.0f : std::pow(10.0f, float(mB) / 2000.0f);
    }
    ApplyGain();
    return Result::Ok;
}

Result SoundBuffer::SetFrequency(int hz) {
    if (hz < MinFrequency || hz > MaxFrequency) return Result::InvalidParam;
    if (!source || !device) return Result::Uninitialized;
    if (hz == frequency) return Result::Ok;
    if (holding && playing) {
        // The silence so far was played at the old rate.
        lastClock = device->Clock();
        holdPos = HoldPosition(lastClock);
        holdClock = lastClock;
    }
    frequency = hz;
    alSourcef(source, AL_PITCH, float(hz) / float(device->rate));
    return Result::Ok;
}

Result SoundBuffer::Set3DParameters(const Buffer3D& params, bool deferred) {
    if (!spatial) return Result::ControlUnavail;
    if (!finite(params.position) || !finite(params.velocity) || !std::isfinite(params.minDistance) ||
        !std::isfinite(params.maxDistance) || params.minDistance < 0.0f || params.maxDistance < 0.0f) {
        return Result::InvalidParam;
    }
    params3d = params;
    dirty3d = true;
    if (!deferred) Apply3D();
    return Result::Ok;
}

// Chunks of silence are not mixed: when everything queued and the next chunk are
// silent, the source stops and the buffer holds, its play position running on with the
// output's clock. The first chunk that is not silent restarts the source exactly at the
// held position, with the silence before that chunk queued ahead of it.
void SoundBuffer::Service() {
    if (!source || !device) return;
    for (int pass = 0; pass < 2; pass++) {
        if (holding) {
            if (!playing) return;
            lastClock = device->Clock();
            const uint64_t pos = HoldPosition(lastClock);
            const uint64_t end = pos + LeadBytes();
            while (queued < end && ChunkSilent(queued)) queued += ChunkBytes;
            if (queued >= end) return;
            Resume(pos);
        }
        if (Stream()) return;
    }
}

bool SoundBuffer::Stream() {
    ALint processed = 0;
    alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
    // All played: the source has stopped (or never started) and must be started.
    const bool drained = processed >= inQueue;
    while (processed-- > 0) {
        ALuint b = 0;
        alSourceUnqueueBuffers(source, 1, &b);
        const int i = PoolIndex(b);
        loudQueued -= loud[size_t(i)];
        loud[size_t(i)] = 0;
        idle.push_back(b);
        consumed += ChunkBytes;
        inQueue--;
    }
    if (!playing) return true;
    const ALenum format = channels == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16;
    const size_t lead = LeadBytes();
    while (queued - consumed < lead && !idle.empty()) {
        const bool silent = ChunkSilent(queued);
        if (silent && loudQueued == 0 && queued >= noHoldBefore) {
            Hold();
            return false;
        }
        ALuint b = idle.back();
        idle.pop_back();
        // The ring is a whole number of chunks, so a chunk never wraps.
        alBufferData(b, format, ring.data() + queued % ring.size(), ALsizei(ChunkBytes), device->rate);
        alSourceQueueBuffers(source, 1, &b);
        loud[size_t(PoolIndex(b))] = !silent;
        loudQueued += !silent;
        queued += ChunkBytes;
        inQueue++;
    }
    if (!drained || inQueue == 0) return true;
    ALint state = 0;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    // First start, a restart after holding, or the queue ran dry: go on from where it
    // ended.
    if (state != AL_PLAYING) {
        if (startOffset > 0) alSourcei(source, AL_SAMPLE_OFFSET, startOffset);
        alSourcePlay(source);
    }
    startOffset = 0;
    return true;
}

void SoundBuffer::Hold() {
    ALint offset = 0;
    alGetSourcei(source, AL_SAMPLE_OFFSET, &offset);
    const uint64_t pos = std::min(consumed + uint64_t(std::max(offset, 0)) * BlockAlign(), queued);
    // What is still queued is silence: dropping it changes nothing that is heard.
    alSourceStop(source);
    alSourcei(source, AL_BUFFER, 0);
    idle.assign(all.rbegin(), all.rend());
    std::fill(loud.begin(), loud.end(), 0);
    loudQueued = 0;
    inQueue = 0;
    consumed = queued;
    holding = true;
    holdPos = pos;
    lastClock = holdClock = device->Clock();
}

void SoundBuffer::Resume(uint64_t pos) {
    holding = false;
    const uint64_t base = pos - pos % ChunkBytes;
    // The chunks up to the one that ended the hold play before the source may hold again.
    noHoldBefore = queued + ChunkBytes;
    queued = consumed = base;
    startOffset = int((pos - base) / BlockAlign());
}

uint64_t SoundBuffer::HoldPosition(int64_t clock) const {
    const double seconds = double(std::max<int64_t>(clock - holdClock, 0)) * 1e-9;
    // The output's clock counts whole nanoseconds: round, or a frame goes missing.
    const uint64_t frames = uint64_t(std::llround(seconds * frequency));
    return holdPos + frames * BlockAlign();
}

bool SoundBuffer::ChunkSilent(uint64_t at) const {
    // Sound shows in the first words; only silence is read to the end.
    const uint8_t* p = ring.data() + at % ring.size();
    for (size_t i = 0; i < ChunkBytes; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (w) return false;
    }
    return true;
}

int SoundBuffer::PoolIndex(unsigned name) const {
    for (size_t i = 0; i < all.size(); i++) {
        if (all[i] == name) return int(i);
    }
    return 0;
}

size_t SoundBuffer::LeadBytes() const {
    double bytes = LeadSeconds * frequency * BlockAlign();
    size_t chunks = size_t(std::ceil(bytes / ChunkBytes));
    return std::clamp<size_t>(chunks, 2, all.size()) * ChunkBytes;
}

bool SoundBuffer::MutedByDistance() const {
    if (!spatial || !device) return false;
    const Vector& a = params3d.position;
    const Vector& b = device->GetListener().position;
    float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz) > params3d.maxDistance;
}

void SoundBuffer::Apply3D() {
    if (!source || !device) return;
    const Buffer3D& p = params3d;
    Buffer3D& a = applied3d;
    auto same = [](const Vector& u, const Vector& v) { return u.x == v.x && u.y == v.y && u.z == v.z; };
    if (!appliedOnce || !same(p.position, a.position)) {
        alSource3f(source, AL_POSITION, p.position.x, p.position.y, -p.position.z);
    }
    if (!appliedOnce || !same(p.velocity, a.velocity)) {
        alSource3f(source, AL_VELOCITY, p.velocity.x, p.velocity.y, -p.velocity.z);
    }
    if (!appliedOnce || p.minDistance != a.minDistance) alSourcef(source, AL_REFERENCE_DISTANCE, p.minDistance);
    if (!appliedOnce || p.maxDistance != a.maxDistance) alSourcef(source, AL_MAX_DISTANCE, p.maxDistance);
    const float rolloff = device->GetListener().rolloff;
    if (rolloff != appliedRolloff) {
        alSourcef(source, AL_ROLLOFF_FACTOR, rolloff);
        appliedRolloff = rolloff;
    }
    a = p;
    appliedOnce = true;
    dirty3d = false;
    ApplyGain();
}

void SoundBuffer::ApplyGain() {
    if (!source) return;
    const float gain = MutedByDistance() ? 0.0f : volumeGain;
    if (gain == appliedGain) return;
    alSourcef(source, AL_GAIN, gain);
    appliedGain = gain;
}

}  // namespace audio
