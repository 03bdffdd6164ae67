#pragma once
// Videos made at test time with FFmpeg's encoders: each frame one solid colour (or a top
// and a bottom band), so that a probe pixel names the frame; optionally with a 16-bit
// mono tone as the sound track. Players and the benchmark read what this writes.
#include <cstdint>
#include <string>

namespace testvideo {

struct Clip {
    const char* container = "nut";  // libavformat muxer name
    const char* codec = "ffv1";     // encoder name
    int pixelFormat = -1;  // AVPixelFormat; -1: BGR0 where the encoder has it, else its first (BGR24 for raw)
    int width = 64;
    int height = 48;
    int frames = 10;
    int rateNum = 25;
    int rateDen = 1;
    int toneHz = 0;   // a 22050 Hz mono tone of this pitch when above 0
    bool bands = false;  // top half FrameColor(k), bottom half BandColor(k)
    bool detail = false;  // a moving pattern instead of solid colours, as real footage costs
};

// 0xRRGGBB of frame k (k < 256): neighbouring frames differ in every channel.
uint32_t FrameColor(int k);
uint32_t BandColor(int k);

// Writes the video; false with `error` when an encoder or muxer refuses.
bool Write(const std::string& path, const Clip& clip, std::string* error = nullptr);

}  // namespace testvideo
