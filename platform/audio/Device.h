#pragma once
// A sound output on OpenAL Soft: the mix rate, the listener and the streaming buffers
// (SoundBuffer) that play into it. Spatial settings are deferred until
// CommitDeferredSettings when asked to, so that one frame's changes are heard together.
//
// One device is current at a time: opening a device makes its context current, and its
// buffers call OpenAL on that context. All calls come from one thread.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/audio/AudioTypes.h"

struct ALCdevice_struct;
struct ALCcontext_struct;

namespace audio {

class SoundBuffer;

class Device {
public:
    // Opens an output mixing at `rate` Hz (8000..192000). Default falls back to the null
    // output when the system has no usable output (GetOutput then says Null). Null when
    // nothing could be opened; `result` says why. `deviceName` picks a system output by
    // name (null: the default one).
    static std::unique_ptr<Device> Open(Output kind, int rate, Result& result, const char* deviceName = nullptr);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    Output GetOutput() const { return output; }
    // The rate the output really mixes at.
    int GetRate() const { return rate; }

    // Kept and reported; the output's channel layout is the system's own.
    void SetSpeakerConfig(Speakers speakers) { this->speakers = speakers; }
    Speakers GetSpeakerConfig() const { return speakers; }
    // Kept for the caller's bookkeeping; OpenAL needs no window.
    void SetCooperativeLevel(int windowId) { this->windowId = windowId; }
    int GetCooperativeLevel() const { return windowId; }

    // InvalidParam (nothing changed) for values that are not finite, a distance factor
    // of 0 or less, or a front or top of length 0.
    Result SetListener(const Listener& listener, bool deferred);
    const Listener& GetListener() const { return listener; }
    // Brings the deferred listener and buffer settings to the output at once.
    void CommitDeferredSettings();

    // A looping buffer of `bytes` 16-bit samples in `channels` (1 or 2) channels, playing
    // at the mix rate until SetFrequency. Spatial buffers must be mono. `bytes` must be a
    // whole number of SoundBuffer::ChunkBytes, at least two. Null with `result` on failure.
    std::unique_ptr<SoundBuffer> CreateBuffer(int channels, size_t bytes, bool spatial, Result& result);

    // Loopback only: mixes `frames` stereo frames (interleaved floats, left first) into
    // `out`. False on another output.
    bool RenderSamples(float* out, int frames);
    // Nanoseconds of output mixed so far.
    int64_t Clock() const;
    // Null output only: mixes the time passed since the last call (at most a quarter of a
    // second) into nothing, so that buffers advance as on a sound card.
    void Pump();

private:
    friend class SoundBuffer;
    Device() = default;
    void Register(SoundBuffer* buffer);
    void Unregister(SoundBuffer* buffer);
    void ApplyListener();

    Output output = Output::Default;
    ALCdevice_struct* alcDevice = nullptr;
    ALCcontext_struct* context = nullptr;
    int rate = 0;
    Speakers speakers = Speakers::Stereo;
    int windowId = 0;
    Listener listener;
    bool listenerDirty = true;
    // What OpenAL was last given.
    Listener appliedListener;
    bool listenerApplied = false;
    std::vector<SoundBuffer*> buffers;
    // Null output: what Pump mixes into, and when it last did.
    std::vector<float> scratch;
    std::chrono::steady_clock::time_point lastPump;
    void (*renderSamples)(ALCdevice_struct*, void*, int) = nullptr;
};

}  // namespace audio
