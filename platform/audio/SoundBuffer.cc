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
    playing = true;
    Service();
    return Result::Ok;
}

Result SoundBuffer::Stop() {
    if (!source) return Result::Uninitialized;
    playing = false;
    alSourcePause(source);
    return Result::Ok;
}

bool SoundBuffer::IsLost() {
    if (device) device->Pump();
    Service();
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
    ALint offset = 0;
    alGetSourcei(source, AL_SAMPLE_OFFSET, &offset);
    // The offset counts from the first chunk still queued.
    uint64_t at = std::min(consumed + uint64_t(std::max(offset, 0)) * uint64_t(channels) * 2, queued);
    play = size_t(at % ring.size());
    write = size_t(queued % ring.size());
    return Result::Ok;
}

Result SoundBuffer::SetVolume(int mB) {
    if (mB < -10000 || mB > 0) return Result::InvalidParam;
    volume = mB;
    ApplyGain();
    return Result::Ok;
}

Result SoundBuffer::SetFrequency(int hz) {
    if (hz < MinFrequency || hz > MaxFrequency) return Result::InvalidParam;
    if (!source || !device) return Result::Uninitialized;
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

void SoundBuffer::Service() {
    if (!source) return;
    ALint processed = 0;
    alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
    while (processed-- > 0) {
        ALuint b = 0;
        alSourceUnqueueBuffers(source, 1, &b);
        idle.push_back(b);
        consumed += ChunkBytes;
    }
    if (!playing) return;
    const ALenum format = channels == 1 ? AL_FORMAT_MONO16 : AL_FORMAT_STEREO16;
    const size_t lead = LeadBytes();
    while (queued - consumed < lead && !idle.empty()) {
        ALuint b = idle.back();
        idle.pop_back();
        // The ring is a whole number of chunks, so a chunk never wraps.
        alBufferData(b, format, ring.data() + queued % ring.size(), ALsizei(ChunkBytes), device->rate);
        alSourceQueueBuffers(source, 1, &b);
        queued += ChunkBytes;
    }
    ALint state = 0;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    // First start, or the queue ran dry: go on from where it ended.
    if (state != AL_PLAYING && queued > consumed) alSourcePlay(source);
}

size_t SoundBuffer::LeadBytes() const {
    double bytes = LeadSeconds * frequency * channels * 2;
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
    alSource3f(source, AL_POSITION, p.position.x, p.position.y, -p.position.z);
    alSource3f(source, AL_VELOCITY, p.velocity.x, p.velocity.y, -p.velocity.z);
    alSourcef(source, AL_REFERENCE_DISTANCE, p.minDistance);
    alSourcef(source, AL_MAX_DISTANCE, p.maxDistance);
    alSourcef(source, AL_ROLLOFF_FACTOR, device->GetListener().rolloff);
    dirty3d = false;
    ApplyGain();
}

void SoundBuffer::ApplyGain() {
    if (!source) return;
    // -10000 is silence; above it, a hundredth of a decibel at a time.
    float gain = volume <= -10000 ? 0.0f : std::pow(10.0f, float(volume) / 2000.0f);
    if (MutedByDistance()) gain = 0.0f;
    alSourcef(source, AL_GAIN, gain);
}

}  // namespace audio
