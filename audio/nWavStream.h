#pragma once
// A stream over a 16-bit PCM WAV file (script class "nwavstream"), read through the
// file server, so archives work as plain files. Open checks the whole RIFF layout
// before it accepts a file: a refused file leaves nothing open.
#include "audio/nStream.h"

class nFile;

class nWavStream : public nStream {
public:
    static const nClassInfo classInfo;

    nWavStream();
    ~nWavStream() override;

    // False, with the reason logged, for anything but a RIFF/WAVE file whose "fmt "
    // chunk follows the header and describes 1 or 2 channels of 16 bits, and whose
    // "data" chunk holds at least one sample frame within the file.
    bool Open(const char* fileName, bool looping) override;
    int Read(void* buffer, int bytes) override;
    int Tell() override;
    void Seek(int position) override;
    void Close() override;

    int GetDataSize() const { return dataSize; }

private:
    // Checks the layout and finds the data; false with the reason in `why`.
    bool Parse(const char*& why);

    nFile* file = nullptr;
    int bitsPerSample = 16;
    int dataStart = 0;
    int dataSize = 0;
    // Bytes into the data where the file stands.
    int position = 0;
};
