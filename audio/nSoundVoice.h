#pragma once
// One voice of the audio server: a looping 1 MiB sound buffer seen as four quarters,
// written ahead of the output's write cursor a quarter at a time, and the sound it
// plays. A voice whose sound id and state are both 0 is free and writes silence.
#include <cstddef>
#include <memory>

#include "audio/nSoundDesc.h"
#include "kernel/nRef.h"
#include "platform/audio/SoundBuffer.h"

class nStream;

class nSoundVoice {
public:
    static constexpr int BufferSize = 0x100000;
    static constexpr int QuarterSize = 0x40000;

    nSoundVoice();
    ~nSoundVoice();
    nSoundVoice(const nSoundVoice&) = delete;
    nSoundVoice& operator=(const nSoundVoice&) = delete;

    bool IsReady() const { return ready; }
    bool IsFree() const { return desc.soundId == 0 && desc.state == nSoundDesc::None; }
    const nSoundDesc& GetDesc() const { return desc; }
    audio::SoundBuffer* GetBuffer() const { return buffer.get(); }
    // The stream the voice plays; null when free or when the stream was deleted.
    nStream* GetStream() const { return stream.GetUnsafe(); }
    bool IsEnding() const { return ending; }
    int GetPlayCursor() const { return playCursor; }
    int GetWriteCursor() const { return writeCursor; }

    // Takes the buffer, fills it with silence and starts it looping.
    void Setup(std::unique_ptr<audio::SoundBuffer> buffer);
    // Gives back the stream and becomes free; its buffer is rewritten with silence.
    void Clear();
    // Starts `request` in this voice (after Clear when it played something).
    void Begin(const nSoundDesc& request);
    // Takes the flags and the parameters from priority to maximum distance.
    void Update(const nSoundDesc& request);
    void SetState(int state) { desc.state = state; }

    // True when the voice has played past the end region of its finished stream.
    bool IsFinished() const;
    // Reads the buffer's state and cursors and brings it up to date: placement,
    // volume (`gain` scales it), restart, and the writing ahead of the write cursor.
    // `listenerPos` and `listenerVel` place ambient sounds.
    void Apply(float gain, const vector3& listenerPos, const vector3& listenerVel);

private:
    // Writes `bytes` from `offset`: the stream from the voice's stream position, or
    // silence when free.
    void Write(int offset, int bytes, bool crossfade);

    bool ready = false;
    bool dirty = false;
    bool needsRefill = false;
    std::unique_ptr<audio::SoundBuffer> buffer;
    nSoundDesc desc;
    nRef<nStream> stream;
    int q0 = 0, q1 = 0, q2 = 0;
    int playCursor = 0;
    int writeCursor = 0;
    bool ending = false;
    int endStart = 0;
    int endEnd = 0;
    float gain = 1.0f;
};
