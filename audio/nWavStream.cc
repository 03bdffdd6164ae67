#include "audio/nWavStream.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"

const nClassInfo nWavStream::classInfo = nClassInfo::Make<nWavStream>("nwavstream", "nstream");

namespace {

// Chunk ids as the file holds them, read as big-endian numbers.
constexpr uint32_t TagRiff = 0x52494646;
constexpr uint32_t TagWave = 0x57415645;
constexpr uint32_t TagFmt = 0x666D7420;
constexpr uint32_t TagData = 0x64617461;

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint32_t le32(const uint8_t* p) {
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}
uint16_t le16(const uint8_t* p) {
    return uint16_t(p[1] << 8 | p[0]);
}

bool readExactly(nFile* f, void* buf, size_t n) {
    return f->Read(buf, n) == n;
}

}  // namespace

nWavStream::nWavStream() = default;

nWavStream::~nWavStream() {
    if (file) Close();
}

bool nWavStream::Open(const char* name, bool loop) {
    if (file) Close();
    if (!name) name = "";
    nFileServer2* fs = refFileServer.Get();
    file = fs->NewFileObject();
    const char* why = nullptr;
    if (!file->Open(name, "r")) {
        why = "cannot open the file";
    } else if (!Parse(why)) {
        file->Close();
    }
    if (why) {
        n_error("nWavStream::Open(): '%s': %s\n", name, why);
        delete file;
        file = nullptr;
        return false;
    }
    position = 0;
    file->Seek(dataStart, nFile::START);
    return nStream::Open(name, loop);
}

bool nWavStream::Parse(const char*& why) {
    const size_t size = file->GetSize();
    if (size > size_t(INT_MAX)) {
        why = "file too large";
        return false;
    }
    uint8_t head[20];
    if (!readExactly(file, head, 20)) {
        why = "truncated header";
        return false;
    }
    if (be32(head) != TagRiff || be32(head + 8) != TagWave) {
        why = "not a RIFF/WAVE file";
        return false;
    }
    if (be32(head + 12) != TagFmt) {
        why = "no 'fmt ' chunk after the header";
        return false;
    }
    const uint64_t fmtStart = 20;
    const uint64_t fmtSize = le32(head + 16);
    uint8_t fmt[16];
    if (fmtSize < 16 || fmtStart + fmtSize > size || !readExactly(file, fmt, 16)) {
        why = "'fmt ' chunk too short or past the end of the file";
        return false;
    }
    // The format tag is not checked: extensible headers describe plain PCM too.
    const int channels = le16(fmt + 2);
    const uint32_t rate = le32(fmt + 4);
    const int bits = le16(fmt + 14);
    if (channels < 1 || channels > 2) {
        why = "not 1 or 2 channels";
        return false;
    }
    if (bits != 16) {
        why = "not 16 bits per sample";
        return false;
    }
    if (rate == 0 || rate > INT_MAX) {
        why = "bad sample rate";
        return false;
    }
    // Chunks of odd size are followed by a pad byte.
    uint64_t next = fmtStart + fmtSize + (fmtSize & 1);
    while (next + 8 <= size) {
        uint8_t chunk[8];
        if (!file->Seek(int64_t(next), nFile::START) || !readExactly(file, chunk, 8)) {
            why = "truncated chunk header";
            return false;
        }
        const uint64_t chunkSize = le32(chunk + 4);
        if (be32(chunk) == TagData) {
            const uint64_t start = next + 8;
            if (chunkSize > size - start) {
                why = "'data' chunk runs past the end of the file";
                return false;
            }
            // Whole sample frames only.
            const uint64_t frames = chunkSize - chunkSize % uint64_t(2 * channels);
            if (frames == 0) {
                why = "empty 'data' chunk";
                return false;
            }
            kind = channels;
            sampleRate = int(rate);
            bitsPerSample = bits;
            dataStart = int(start);
            dataSize = int(frames);
            return true;
        }
        if (chunkSize > size - (next + 8)) {
            why = "chunk runs past the end of the file";
            return false;
        }
        next += 8 + chunkSize + (chunkSize & 1);
    }
    why = "no 'data' chunk";
    return false;
}

int nWavStream::Read(void* buffer, int bytes) {
    if (!file || !buffer || bytes <= 0) return 0;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    // Whole samples only; an odd last byte stays silent.
    if (bytes & 1) out[--bytes] = 0;
    if (crossfading) Capture(static_cast<const int16_t*>(buffer), bytes / 2);
    if (endReached) {
        std::memset(out, 0, size_t(bytes));
        return 0;
    }
    int done = 0;
    while (done < bytes) {
        const int want = std::min(bytes - done, dataSize - position);
        const int got = want > 0 ? int(file->Read(out + done, size_t(want))) : 0;
        position += got;
        done += got;
        if (done == bytes) break;
        if (got == want && looping) {
            // The end of the data: once more from its start.
            file->Seek(dataStart, nFile::START);
            position = 0;
            continue;
        }
        // The end of a one-shot sound, or a file that shrank under us: silence.
        std::memset(out + done, 0, size_t(bytes - done));
        if (!looping) endReached = true;
        break;
    }
    if (crossfading) Mix(static_cast<int16_t*>(buffer), bytes / 2);
    return done;
}

int nWavStream::Tell() {
    if (position >= dataSize) return looping ? 0 : dataSize;
    return position;
}

void nWavStream::Seek(int to) {
    if (!file) return;
    to = std::clamp(to, 0, dataSize);
    to -= to & 1;
    endReached = to == dataSize && !looping;
    if (to != position) {
        file->Seek(int64_t(dataStart) + to, nFile::START);
        position = to;
    }
}

void nWavStream::Close() {
    if (file) {
        file->Close();
        delete file;
        file = nullptr;
    }
    fileName.Set(nullptr);
    isOpen = false;
    endReached = false;
    crossfading = false;
}
