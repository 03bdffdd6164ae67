#pragma once
// A video file read through libavformat, as AVI, Bink 1 or NUT, known by their first
// bytes; only the one file is read, never a second file or URL a demuxer asks for: the
// first video stream's size, frame rate and frame count, frames in order (wrapping to
// the first after the last) or by number, converted with libswscale into the layouts
// the display's back buffer and the AVI copy need; and the first audio stream decoded
// to 16-bit samples (libswresample) for the sound track.
//
// Opening decodes the first frame, so a file that opens can be shown.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/video/Source.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;
struct SwrContext;
struct SwsContext;

namespace video {

// Destination layouts: 32-bit B, G, R, X bytes; 16-bit 5-6-5 (red on top), little endian.
enum class Layout { BGRX32, RGB565 };

struct Rate {
    int num = 0;
    int den = 1;
    double FramesPerSecond() const { return den > 0 ? double(num) / double(den) : 0.0; }
};

// A decoded frame as 24-bit B, G, R rows, or as 8-bit indices into a palette of 256
// 0xAARRGGBB entries; rows run top-down, `pitch` bytes apart (negative when the frame
// is stored bottom-up).
struct Picture {
    const uint8_t* pixels = nullptr;
    int pitch = 0;
    int bitsPerPixel = 0;
    const uint32_t* palette = nullptr;
    int width = 0;
    int height = 0;
};

class Decoder {
public:
    // Largest width or height accepted.
    static constexpr int MaxSide = 8192;
    // Highest sound rate accepted, read or asked for: the resampler's filter tables grow
    // with the rates' ratio, and a broken header's rate of millions takes gigabytes.
    static constexpr int MaxSampleRate = 384000;

    // Null, with `error` saying why, for what is no video in those containers, a video
    // stream without a decoder here, a size or frame rate of 0, no frame at all, or a
    // first frame that does not decode.
    static std::unique_ptr<Decoder> Open(std::unique_ptr<Source> source, std::string& error);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    int Width() const { return width; }
    int Height() const { return height; }
    Rate FrameRate() const { return rate; }
    // Frames of the video stream: the container's count, else counted at open.
    int FrameCount() const { return frameCount; }
    // The decoder's name ("binkvideo", "rawvideo", ...).
    const char* CodecName() const;

    // Makes the next frame current; after the last one the first, with `wrapped` set.
    // False (Error says why) when no frame comes.
    bool NextFrame(bool* wrapped = nullptr);
    // Makes frame `n` (limited to 0 .. count - 1) current: on from the current frame
    // when it lies a little ahead, else from the nearest key frame before it.
    bool SeekFrame(int n);
    // The number of the current frame, from 0; -1 before the first NextFrame.
    int CurrentFrame() const { return current; }
    const std::string& Error() const { return error; }

    // Converts the part (x, y, w, h) of the current frame, which must lie inside it,
    // into `dst` (its top row), rows `pitch` bytes apart; a negative pitch walks up
    // through memory.
    bool CopyTo(Layout layout, int x, int y, int w, int h, uint8_t* dst, int pitch);
    // The current frame for a copy of one's own: 8-bit with its palette when the
    // decoder gives palette frames, else converted to 24 bits. Valid until the next
    // frame is made current.
    bool GetPicture(Picture& out);

    bool HasAudio() const { return audioIndex >= 0; }
    // From now on the audio stream is decoded into `channels` (1 or 2) interleaved
    // 16-bit channels at `rate` Hz. False when it cannot be converted.
    bool SetAudioOutput(int rate, int channels);
    // Up to `frames` sample frames of the sound decoded so far, reading on in the file
    // when needed; fewer at the end of the file (the sound goes on after the video wraps).
    int ReadAudio(int16_t* out, int frames);

private:
    Decoder() = default;
    bool openFormat();
    void closeFormat();
    bool openStreams();
    bool countFrames();
    // One packet: video packets are queued, audio packets decoded. False at the end.
    bool readPacket();
    // Decodes the next frame of the stream into `frame`; false at its end or on error.
    bool decodeNext();
    bool rewind();
    bool seekNear(int n);
    int frameNumber(int guess) const;
    void decodeAudio(AVPacket* packet);
    void clearQueue();
    bool convert(int format, uint8_t* dst, int pitch);

    static int readIo(void* opaque, uint8_t* buf, int size);
    static int64_t seekIo(void* opaque, int64_t offset, int whence);

    std::unique_ptr<Source> source;
    AVIOContext* io = nullptr;
    AVFormatContext* format = nullptr;
    AVCodecContext* videoCodec = nullptr;
    AVCodecContext* audioCodec = nullptr;
    AVFrame* frame = nullptr;
    AVFrame* audioFrame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* sws = nullptr;
    SwrContext* swr = nullptr;
    int videoIndex = -1;
    int audioIndex = -1;
    int width = 0;
    int height = 0;
    Rate rate;
    int frameCount = 0;
    int64_t startPts = 0;
    int current = -1;
    bool haveFrame = false;     // `frame` holds a decoded frame
    bool firstPending = false;  // the frame decoded at open is still to be handed out
    bool atEnd = false;         // the demuxer reached the end of the file
    bool draining = false;      // the video decoder was told the stream ended
    std::deque<AVPacket*> queue;
    // Packets done with, kept for the next ones so that playing allocates none.
    std::vector<AVPacket*> spare;
    std::string error;
    // Conversion targets.
    std::vector<uint8_t> scratch;
    std::vector<uint8_t> picture;
    // Sound.
    int outRate = 0;
    int outChannels = 0;
    std::vector<int16_t> samples;
    size_t samplesHead = 0;
};

}  // namespace video
