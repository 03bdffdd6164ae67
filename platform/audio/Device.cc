#include "platform/audio/Device.h"

#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <cmath>

#include "platform/audio/SoundBuffer.h"

namespace audio {

namespace {

constexpr int MinRate = 8000;
constexpr int MaxRate = 192000;
// Pump mixes in pieces of this many frames, and never more than this many seconds.
constexpr int PumpFrames = 1024;
constexpr double PumpLimit = 0.25;

bool finite(const Vector& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool hasLength(const Vector& v) {
    return v.x * v.x + v.y * v.y + v.z * v.z > 0.0f;
}

}  // namespace

std::unique_ptr<Device> Device::Open(Output kind, int rate, Result& result, const char* deviceName) {
    result = Result::Ok;
    if (rate < MinRate || rate > MaxRate) {
        result = Result::InvalidParam;
        return nullptr;
    }
    std::unique_ptr<Device> dev(new Device());
    dev->output = kind;
    if (kind == Output::Default) {
        dev->alcDevice = alcOpenDevice(deviceName);
        if (dev->alcDevice) {
            const ALCint attrs[] = {ALC_FREQUENCY, rate, 0};
            dev->context = alcCreateContext(dev->alcDevice, attrs);
            if (!dev->context) {
                alcCloseDevice(dev->alcDevice);
                dev->alcDevice = nullptr;
            }
        }
        // No sound card (or no such output): run silently instead.
        if (!dev->context) dev->output = Output::Null;
    }
    if (dev->output != Output::Default) {
        if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) {
            result = Result::NoDriver;
            return nullptr;
        }
        auto openLoopback =
            reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
        auto render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
        dev->alcDevice = openLoopback && render ? openLoopback(nullptr) : nullptr;
        if (!dev->alcDevice) {
            result = Result::NoDriver;
            return nullptr;
        }
        dev->renderSamples = render;
        // Stereo floats, no head-related filtering: tests read exact levels per side.
        const ALCint attrs[] = {ALC_FREQUENCY,         rate,          ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                                ALC_FORMAT_TYPE_SOFT,  ALC_FLOAT_SOFT, ALC_HRTF_SOFT,           ALC_FALSE,
                                0};
        dev->context = alcCreateContext(dev->alcDevice, attrs);
        if (!dev->context) {
            alcCloseDevice(dev->alcDevice);
            dev->alcDevice = nullptr;
            result = Result::BadFormat;
            return nullptr;
        }
        dev->scratch.resize(size_t(PumpFrames) * 2);
    }
    if (!alcMakeContextCurrent(dev->context)) {
        result = Result::Generic;
        return nullptr;  // the destructor closes what was opened
    }
    ALCint actual = 0;
    alcGetIntegerv(dev->alcDevice, ALC_FREQUENCY, 1, &actual);
    dev->rate = actual > 0 ? actual : rate;
    alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
    dev->lastPump = std::chrono::steady_clock::now();
    dev->ApplyListener();
    return dev;
}

Device::~Device() {
    // Buffers must go first; any left behind lose their source with the context.
    for (SoundBuffer* b : buffers) {
        b->source = 0;
        b->device = nullptr;
    }
    if (context) {
        if (alcGetCurrentContext() == context) alcMakeContextCurrent(nullptr);
        alcDestroyContext(context);
    }
    if (alcDevice) alcCloseDevice(alcDevice);
}

Result Device::SetListener(const Listener& l, bool deferred) {
    if (!finite(l.position) || !finite(l.velocity) || !finite(l.front) || !finite(l.top) ||
        !std::isfinite(l.distanceFactor) || !std::isfinite(l.rolloff) || !std::isfinite(l.doppler) ||
        l.distanceFactor <= 0.0f || l.rolloff < 0.0f || l.doppler < 0.0f || !hasLength(l.front) || !hasLength(l.top)) {
        return Result::InvalidParam;
    }
    listener = l;
    listenerDirty = true;
    if (!deferred) CommitDeferredSettings();
    return Result::Ok;
}

void Device::CommitDeferredSettings() {
    alDeferUpdatesSOFT();
    const Listener& a = appliedListener;
    const bool moved = listenerDirty && (!listenerApplied || a.position.x != listener.position.x ||
                                         a.position.y != listener.position.y || a.position.z != listener.position.z ||
                                         a.rolloff != listener.rolloff);
    if (listenerDirty) ApplyListener();
    for (SoundBuffer* b : buffers) {
        if (!b->spatial) continue;
        // The listener's roll-off and position reach every spatial buffer (its mute at
        // the maximum distance depends on both).
        if (moved || b->dirty3d) b->Apply3D();
    }
    alProcessUpdatesSOFT();
}

void Device::ApplyListener() {
    // Left-handed to right-handed: z turns round for every point and direction.
    const Listener& l = listener;
    Listener& a = appliedListener;
    auto same = [](const Vector& u, const Vector& v) { return u.x == v.x && u.y == v.y && u.z == v.z; };
    const bool all = !listenerApplied;
    if (all || !same(l.position, a.position)) alListener3f(AL_POSITION, l.position.x, l.position.y, -l.position.z);
    if (all || !same(l.velocity, a.velocity)) alListener3f(AL_VELOCITY, l.velocity.x, l.velocity.y, -l.velocity.z);
    if (all || !same(l.front, a.front) || !same(l.top, a.top)) {
        const ALfloat orientation[6] = {l.front.x, l.front.y, -l.front.z, l.top.x, l.top.y, -l.top.z};
        alListenerfv(AL_ORIENTATION, orientation);
    }
    if (all || l.doppler != a.doppler) alDopplerFactor(l.doppler);
    if (all || l.distanceFactor != a.distanceFactor) alSpeedOfSound(343.3f / l.distanceFactor);
    a = l;
    listenerApplied = true;
    listenerDirty = false;
}

std::unique_ptr<SoundBuffer> Device::CreateBuffer(int channels, size_t bytes, bool spatial, Result& result) {
    result = Result::Ok;
    if ((channels != 1 && channels != 2) || (spatial && channels != 1) || bytes < 2 * SoundBuffer::ChunkBytes ||
        bytes % SoundBuffer::ChunkBytes != 0) {
        result = Result::InvalidParam;
        return nullptr;
    }
    alGetError();
    ALuint source = 0;
    alGenSources(1, &source);
    if (alGetError() != AL_NO_ERROR) {
        result = Result::Allocated;
        return nullptr;
    }
    std::unique_ptr<SoundBuffer> buffer(new SoundBuffer(this, source, channels, bytes, spatial));
    if (buffer->all.empty()) {
        result = Result::OutOfMemory;
        return nullptr;
    }
    return buffer;
}

bool Device::RenderSamples(float* out, int frames) {
    if (output != Output::Loopback || frames < 0) return false;
    if (frames > 0) renderSamples(alcDevice, out, frames);
    return true;
}

void Device::Pump() {
    if (output != Output::Null) return;
    auto now = std::chrono::steady_clock::now();
    double seconds = std::chrono::duration<double>(now - lastPump).count();
    if (seconds > PumpLimit) {
        // A long stall is not made up for: the queues would only run dry meanwhile.
        lastPump = now - std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                             std::chrono::duration<double>(PumpLimit));
        seconds = PumpLimit;
    }
    int frames = int(seconds * rate);
    if (frames <= 0) return;
    // Only whole frames are taken from the clock, so no time is lost to rounding.
    lastPump += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(double(frames) / rate));
    while (frames > 0) {
        int n = std::min(frames, PumpFrames);
        renderSamples(alcDevice, scratch.data(), n);
        frames -= n;
    }
}

int64_t Device::Clock() const {
    ALCint64SOFT ns = 0;
    alcGetInteger64vSOFT(alcDevice, ALC_DEVICE_CLOCK_SOFT, 1, &ns);
    return ns;
}

void Device::Register(SoundBuffer* buffer) {
    buffers.push_back(buffer);
}

void Device::Unregister(SoundBuffer* buffer) {
    buffers.erase(std::remove(buffers.begin(), buffers.end(), buffer), buffers.end());
}

}  // namespace audio
