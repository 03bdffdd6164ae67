#pragma once
// The source of one sound's samples (script class "nstream"): 16-bit PCM, mono or
// stereo, read by the audio server's voices. Streams live under "/sys/share/audio",
// shared by file name and reference counted. The base keeps the open state, the
// looping flag and the crossfade that smooths a voice's rewrite; subclasses read files.
#include <cstdint>

#include "kernel/nPathRef.h"
#include "kernel/nRoot.h"
#include "kernel/nString.h"

class nFileServer2;

class nStream : public nRoot {
public:
    static const nClassInfo classInfo;
    static constexpr int CrossfadeSamples = 256;

    nStream();
    ~nStream() override;

    // The base stores the name and the looping flag and opens; subclasses parse first
    // and call it only on success.
    virtual bool Open(const char* fileName, bool looping);
    // Fills `bytes` bytes of `buffer` (whole 16-bit samples) and answers how many came
    // from the stream; the rest is silence. Looping streams never run short.
    virtual int Read(void* buffer, int bytes);
    // Bytes from the start of the data.
    virtual int Tell();
    virtual void Seek(int position);
    virtual void Close();

    bool IsOpen() const { return isOpen; }
    bool IsLooping() const { return looping; }
    bool IsEndReached() const { return endReached; }
    int GetSampleRate() const { return sampleRate; }
    // The channel count: 1 plays on a spatial voice, 2 on a stereo one.
    int GetKind() const { return kind; }
    const char* GetFileName() const { return fileName.Get(); }

    // The rewrite crossfade: between Begin and End, Read first takes the samples its
    // buffer held, then blends the new data in from them over CrossfadeSamples samples.
    void BeginCrossfade();
    void EndCrossfade();
    bool IsCrossfading() const { return crossfading; }

protected:
    // Copies up to the missing captured samples from `samples`.
    void Capture(const int16_t* samples, int count);
    // Blends the first new samples with the captured ones, continuing where the last
    // call stopped.
    void Mix(int16_t* samples, int count);

    nPathRef<nFileServer2> refFileServer;
    nString fileName;
    bool isOpen = false;
    bool looping = false;
    bool endReached = false;
    bool crossfading = false;
    int sampleRate = 0;
    int kind = 0;

private:
    int captured = 0;
    int mixed = 0;
    int16_t fadeBuffer[CrossfadeSamples] = {};
};
