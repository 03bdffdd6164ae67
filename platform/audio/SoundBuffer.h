#pragma once
// A looping sound buffer as the engine's voices know it: a ring of 16-bit samples that
// plays round and round while the caller writes ahead of it. Here the ring lives in
// memory and is streamed into an OpenAL source in small chunks, queued a little ahead
// of the play position. The play cursor is where the output is; the write cursor is
// the end of what has been queued, the first byte that may still be changed and heard.
// Cursors move only when GetStatus or GetCurrentPosition is called (they also top up
// the queue); a caller that stalls longer than the queue reaches hears silence, after
// which playing goes on where the queue ended. Stretches of silence are not streamed:
// the position runs on with the output's clock until sound comes up again.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/audio/AudioTypes.h"

namespace audio {

class Device;

class SoundBuffer {
public:
    // The ring is queued in pieces of this many bytes.
    static constexpr size_t ChunkBytes = 2048;
    // How much is queued ahead of the play position, in seconds of playing.
    static constexpr double LeadSeconds = 0.1;

    ~SoundBuffer();
    SoundBuffer(const SoundBuffer&) = delete;
    SoundBuffer& operator=(const SoundBuffer&) = delete;

    int GetChannels() const { return channels; }
    size_t GetSize() const { return ring.size(); }
    bool IsSpatial() const { return spatial; }

    // The `bytes` from `offset` on (both within the ring's size), in two parts when they
    // wrap past the end (`part2` null and `bytes2` 0 otherwise). The parts hold what the
    // ring held. BufferLost while the buffer is lost.
    Result Lock(size_t offset, size_t bytes, void*& part1, size_t& bytes1, void*& part2, size_t& bytes2);
    Result Unlock();

    // Starts looping the ring from the play cursor; Stop keeps the cursors.
    Result Play();
    Result Stop();
    bool IsPlaying() const { return playing; }

    // True while the buffer is lost; a lost buffer plays silence and refuses Lock until
    // Restore, which leaves it zeroed.
    bool IsLost();
    Result Restore();
    // Test hook: the buffer is lost from now on, as when the output took its memory.
    void SimulateLoss();

    Result GetCurrentPosition(size_t& play, size_t& write);

    // Hundredths of a decibel, -10000 (silent) to 0 (as recorded).
    Result SetVolume(int mB);
    int GetVolume() const { return volume; }
    // Samples per second the ring is played at (100..200000); the mix rate at first.
    Result SetFrequency(int hz);
    int GetFrequency() const { return frequency; }

    // Spatial buffers only. InvalidParam (nothing changed) for values that are not finite
    // or negative distances.
    Result Set3DParameters(const Buffer3D& params, bool deferred);
    const Buffer3D& Get3DParameters() const { return params3d; }

private:
    friend class Device;
    SoundBuffer(Device* device, unsigned source, int channels, size_t bytes, bool spatial);
    // Takes back what OpenAL has played and queues up to the lead, holding over silence.
    void Service();
    // The streaming part; false when it began to hold.
    bool Stream();
    void Hold();
    // Ends holding at `pos`: queueing starts again from its chunk.
    void Resume(uint64_t pos);
    uint64_t HoldPosition(int64_t clock) const;
    bool ChunkSilent(uint64_t at) const;
    int PoolIndex(unsigned name) const;
    uint64_t BlockAlign() const { return uint64_t(channels) * 2; }
    size_t LeadBytes() const;
    // Source settings from params3d and the device's listener; gain from volume too.
    void Apply3D();
    void ApplyGain();
    bool MutedByDistance() const;

    Device* device;  // null once the device has gone
    unsigned source;
    int channels;
    bool spatial;
    std::vector<uint8_t> ring;
    // OpenAL buffers not in the queue (a stack), and the whole set.
    std::vector<unsigned> idle;
    std::vector<unsigned> all;
    // Bytes of the ring ever queued and ever played out of the queue (played from
    // chunks already taken back).
    uint64_t queued = 0;
    uint64_t consumed = 0;
    int inQueue = 0;  // chunks in the source's queue
    // Per pool buffer: queued with sound in it; and how many such are queued.
    std::vector<uint8_t> loud;
    int loudQueued = 0;
    // Holding: the play position at the output clock's holdClock (nanoseconds).
    bool holding = false;
    uint64_t holdPos = 0;
    int64_t holdClock = 0;
    int64_t lastClock = 0;
    uint64_t noHoldBefore = 0;
    int startOffset = 0;  // frames into the first chunk when the source starts again
    bool playing = false;
    bool lost = false;
    int volume = 0;
    int frequency;
    Buffer3D params3d;
    bool dirty3d = true;
    // What the source was last given, so that unchanged settings cost no call.
    Buffer3D applied3d;
    float appliedRolloff = -1.0f;
    float appliedGain = -1.0f;
    float volumeGain = 1.0f;
    bool appliedOnce = false;
};

}  // namespace audio
