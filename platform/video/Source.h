#pragma once
// Where a video's bytes come from: the decoder reads through this, so that videos open
// from the engine's file layer (archives included) and from memory alike.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace video {

class Source {
public:
    virtual ~Source() = default;
    // Up to `size` bytes into `buffer`; 0 at the end, negative on a read error.
    virtual int Read(uint8_t* buffer, int size) = 0;
    // Moves to `offset` from the start (0), the current position (1) or the end (2);
    // the new position, or negative when it cannot.
    virtual int64_t Seek(int64_t offset, int origin) = 0;
    // Total bytes; negative when unknown.
    virtual int64_t Size() = 0;
};

// A copy of bytes in memory.
class MemorySource : public Source {
public:
    MemorySource(const uint8_t* data, size_t size) : bytes(data, data + size) {}
    int Read(uint8_t* buffer, int size) override {
        if (size <= 0 || pos >= bytes.size()) return 0;
        const size_t n = std::min(size_t(size), bytes.size() - pos);
        std::memcpy(buffer, bytes.data() + pos, n);
        pos += n;
        return int(n);
    }
    int64_t Seek(int64_t offset, int origin) override {
        const int64_t base = origin == 1 ? int64_t(pos) : origin == 2 ? int64_t(bytes.size()) : 0;
        if (offset > int64_t(bytes.size()) || offset < -int64_t(bytes.size())) return -1;
        const int64_t to = base + offset;
        if (to < 0 || to > int64_t(bytes.size())) return -1;
        pos = size_t(to);
        return to;
    }
    int64_t Size() override { return int64_t(bytes.size()); }

private:
    std::vector<uint8_t> bytes;
    size_t pos = 0;
};

}  // namespace video
