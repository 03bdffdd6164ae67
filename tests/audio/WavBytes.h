#pragma once
// WAV files written byte by byte from the RIFF layout, independently of the reader:
// "RIFF" size "WAVE", then chunks of a four-letter id, a little-endian size, the data
// and a pad byte after odd sizes.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace wav {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xffff);
    Put16(b, v >> 16);
}
// Byte by byte: GCC 12 takes a ranged insert into an empty vector for an overflow.
inline void PutTag(Bytes& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(tag[i]));
}

// A chunk with its header and pad byte; `declared` overrides the size written.
inline Bytes Chunk(const char* id, const Bytes& data, int64_t declared = -1) {
    Bytes b;
    PutTag(b, id);
    Put32(b, uint32_t(declared >= 0 ? declared : int64_t(data.size())));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1) b.push_back(0);
    return b;
}

inline Bytes Fmt(int channels, int rate, int bits, int tag = 1) {
    Bytes b;
    Put16(b, uint32_t(tag));
    Put16(b, uint32_t(channels));
    Put32(b, uint32_t(rate));
    Put32(b, uint32_t(rate * channels * bits / 8));
    Put16(b, uint32_t(channels * bits / 8));
    Put16(b, uint32_t(bits));
    return b;
}

inline Bytes Samples(const std::vector<int16_t>& s) {
    Bytes b;
    for (int16_t v : s) Put16(b, uint16_t(v));
    return b;
}

// "RIFF" + size + "WAVE" + the chunks in order.
inline Bytes Riff(const std::vector<Bytes>& chunks, const char* form = "WAVE") {
    Bytes body;
    PutTag(body, form);
    for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
    Bytes b;
    PutTag(b, "RIFF");
    Put32(b, uint32_t(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

// A plain 16-bit file.
inline Bytes File(int channels, int rate, const std::vector<int16_t>& samples) {
    return Riff({Chunk("fmt ", Fmt(channels, rate, 16)), Chunk("data", Samples(samples))});
}

// `seconds` of a sine tone; interleaved copies for more channels, `amplitude` per
// channel (silence where it is 0).
inline std::vector<int16_t> Tone(double hz, int rate, double seconds, std::vector<double> amplitude = {12000.0}) {
    const size_t frames = size_t(seconds * rate);
    std::vector<int16_t> s;
    s.reserve(frames * amplitude.size());
    for (size_t i = 0; i < frames; i++) {
        double v = std::sin(2.0 * M_PI * hz * double(i) / rate);
        for (double a : amplitude) s.push_back(int16_t(std::lrint(a * v)));
    }
    return s;
}

}  // namespace wav
