#include "platform/video/Decoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace video {

namespace {

constexpr int IoBufferSize = 1 << 16;
// Frames decoded on from the current one before a seek is cheaper.
constexpr int ForwardLimit = 48;
// Video packets held back while the sound reads ahead, and seconds of sound kept.
constexpr size_t MaxQueuedPackets = 512;
constexpr int MaxBufferedSeconds = 4;

std::string AvText(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof(buf));
    return buf;
}

// FFmpeg's own messages would go to stderr; failures come back as results, which the
// callers log.
void QuietFfmpeg() {
    static const bool once = [] {
        av_log_set_level(AV_LOG_QUIET);
        return true;
    }();
    (void)once;
}

// The containers the players read, and nothing else is probed: AVI (the AVI player's
// files), Bink (the cut-scenes) and NUT (the clips tests and benchmarks encode). Each is
// known by its first bytes, so a playlist or script under a video's name never reaches
// a demuxer that opens further files or URLs.
constexpr const char* ContainerList = "avi,bink,nut";
constexpr size_t HeadSize = 32;

// The demuxer for the container the first bytes name; null for any other.
const char* ContainerOf(const uint8_t* head, size_t size) {
    if (size >= 12 && !std::memcmp(head, "RIFF", 4) && !std::memcmp(head + 8, "AVI ", 4)) return "avi";
    if (size >= 4 && (!std::memcmp(head, "BIK", 3) || !std::memcmp(head, "KB2", 3))) return "bink";
    if (size >= 25 && !std::memcmp(head, "nut/multimedia container", 25)) return "nut";
    return nullptr;
}

// A demuxer's request to open another file or URL: always refused.
int RefuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

}  // namespace

int Decoder::readIo(void* opaque, uint8_t* buf, int size) {
    const int n = static_cast<Decoder*>(opaque)->source->Read(buf, size);
    if (n < 0) return AVERROR(EIO);
    return n == 0 ? AVERROR_EOF : n;
}

int64_t Decoder::seekIo(void* opaque, int64_t offset, int whence) {
    Source* s = static_cast<Decoder*>(opaque)->source.get();
    if (whence & AVSEEK_SIZE) return s->Size() >= 0 ? s->Size() : AVERROR(ENOSYS);
    whence &= ~AVSEEK_FORCE;
    const int origin = whence == SEEK_CUR ? 1 : whence == SEEK_END ? 2 : 0;
    const int64_t at = s->Seek(offset, origin);
    return at < 0 ? AVERROR(EIO) : at;
}

std::unique_ptr<Decoder> Decoder::Open(std::unique_ptr<Source> source, std::string& error) {
    QuietFfmpeg();
    std::unique_ptr<Decoder> d(new Decoder);
    d->source = std::move(source);
    if (!d->source) {
        error = "no file";
        return nullptr;
    }
    d->frame = av_frame_alloc();
    d->audioFrame = av_frame_alloc();
    d->packet = av_packet_alloc();
    if (!d->frame || !d->audioFrame || !d->packet || !d->openFormat() || !d->openStreams() || !d->countFrames()) {
        error = d->error;
        return nullptr;
    }
    // The first frame proves the stream decodes; NextFrame hands it out.
    if (!d->decodeNext()) {
        error = d->error.empty() ? "no frame decodes" : d->error;
        return nullptr;
    }
    d->firstPending = true;
    d->error.clear();
    return d;
}

Decoder::~Decoder() {
    clearQueue();
    for (AVPacket* p : spare) av_packet_free(&p);
    closeFormat();
    avcodec_free_context(&videoCodec);
    avcodec_free_context(&audioCodec);
    av_frame_free(&frame);
    av_frame_free(&audioFrame);
    av_packet_free(&packet);
    sws_freeContext(sws);
    swr_free(&swr);
}

bool Decoder::openFormat() {
    uint8_t head[HeadSize];
    size_t got = 0;
    const bool atStart = source->Seek(0, 0) == 0;
    while (atStart && got < HeadSize) {
        const int n = source->Read(head + got, int(HeadSize - got));
        if (n <= 0) break;
        got += size_t(n);
    }
    const char* demuxer = ContainerOf(head, got);
    const AVInputFormat* container = demuxer ? av_find_input_format(demuxer) : nullptr;
    if (!container || source->Seek(0, 0) != 0) {
        error = "not a video in a container the players read (AVI, Bink, NUT)";
        return false;
    }
    auto* buffer = static_cast<uint8_t*>(av_malloc(IoBufferSize));
    io = buffer ? avio_alloc_context(buffer, IoBufferSize, 0, this, &Decoder::readIo, nullptr, &Decoder::seekIo)
                : nullptr;
    if (!io) {
        av_free(buffer);
        error = "out of memory";
        return false;
    }
    format = avformat_alloc_context();
    if (!format) {
        error = "out of memory";
        return false;
    }
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    // The one file is `io`: whatever a demuxer would open besides it is refused, by
    // its callback and by a protocol list naming none; a nested demuxer (a subtitle
    // inside an AVI) inherits the container list.
    format->io_open = &RefuseOpen;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "none", 0);
    av_dict_set(&options, "format_whitelist", ContainerList, 0);
    const int r = avformat_open_input(&format, nullptr, container, &options);
    av_dict_free(&options);
    if (r < 0) {
        // The context is freed on failure.
        format = nullptr;
        error = "not a video file that libavformat reads (" + AvText(r) + ")";
        return false;
    }
    atEnd = false;
    return true;
}

void Decoder::closeFormat() {
    if (format) avformat_close_input(&format);
    if (io) {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
}

bool Decoder::openStreams() {
    if (avformat_find_stream_info(format, nullptr) < 0) {
        error = "the streams cannot be read";
        return false;
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVMediaType type = format->streams[i]->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO && videoIndex < 0) videoIndex = int(i);
        if (type == AVMEDIA_TYPE_AUDIO && audioIndex < 0) audioIndex = int(i);
    }
    if (videoIndex < 0) {
        error = "no video stream";
        return false;
    }
    AVStream* st = format->streams[videoIndex];
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec) {
        error = std::string("no decoder for ") + avcodec_get_name(st->codecpar->codec_id);
        return false;
    }
    videoCodec = avcodec_alloc_context3(codec);
    if (!videoCodec || avcodec_parameters_to_context(videoCodec, st->codecpar) < 0 ||
        avcodec_open2(videoCodec, codec, nullptr) < 0) {
        error = std::string("the ") + codec->name + " decoder does not open";
        return false;
    }
    width = st->codecpar->width;
    height = st->codecpar->height;
    if (width <= 0 || height <= 0 || width > MaxSide || height > MaxSide) {
        error = "frame size " + std::to_string(width) + " x " + std::to_string(height) + " refused";
        return false;
    }
    AVRational r = st->avg_frame_rate;
    if (r.num <= 0 || r.den <= 0) r = st->r_frame_rate;
    if (r.num <= 0 || r.den <= 0) {
        error = "frame rate of 0";
        return false;
    }
    av_reduce(&rate.num, &rate.den, r.num, r.den, INT32_MAX);
    startPts = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;

    if (audioIndex >= 0) {
        AVStream* as = format->streams[audioIndex];
        const AVCodec* ac = avcodec_find_decoder(as->codecpar->codec_id);
        audioCodec = ac ? avcodec_alloc_context3(ac) : nullptr;
        if (!audioCodec || avcodec_parameters_to_context(audioCodec, as->codecpar) < 0 ||
            avcodec_open2(audioCodec, ac, nullptr) < 0 || audioCodec->sample_rate <= 0 ||
            audioCodec->ch_layout.nb_channels <= 0) {
            // The picture still plays, silently.
            avcodec_free_context(&audioCodec);
            audioIndex = -1;
        }
    }
    return true;
}

bool Decoder::countFrames() {
    const int64_t n = format->streams[videoIndex]->nb_frames;
    if (n > 0 && n <= INT32_MAX) {
        frameCount = int(n);
        return true;
    }
    // The container does not say: count the packets, then start over.
    int64_t count = 0;
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == videoIndex) count++;
        av_packet_unref(packet);
    }
    if (count <= 0) {
        error = "no video frames";
        return false;
    }
    frameCount = int(std::min<int64_t>(count, INT32_MAX));
    return rewind();
}

const char* Decoder::CodecName() const {
    return videoCodec && videoCodec->codec ? videoCodec->codec->name : "";
}

void Decoder::clearQueue() {
    for (AVPacket* p : queue) {
        av_packet_unref(p);
        spare.push_back(p);
    }
    queue.clear();
}

bool Decoder::readPacket() {
    if (atEnd) return false;
    if (av_read_frame(format, packet) < 0) {
        atEnd = true;
        return false;
    }
    if (packet->stream_index == videoIndex) {
        AVPacket* p = nullptr;
        if (!spare.empty()) {
            p = spare.back();
            spare.pop_back();
        } else {
            p = av_packet_alloc();
        }
        if (p) {
            av_packet_move_ref(p, packet);
            queue.push_back(p);
        }
    } else if (packet->stream_index == audioIndex && swr) {
        decodeAudio(packet);
    }
    av_packet_unref(packet);
    return true;
}

bool Decoder::decodeNext() {
    for (;;) {
        const int r = avcodec_receive_frame(videoCodec, frame);
        if (r == 0) {
            haveFrame = true;
            return true;
        }
        if (r == AVERROR_EOF) {
            error = "end of the video stream";
            return false;
        }
        if (r != AVERROR(EAGAIN)) {
            error = "the video does not decode (" + AvText(r) + ")";
            return false;
        }
        while (queue.empty() && readPacket()) {
        }
        if (!queue.empty()) {
            AVPacket* p = queue.front();
            queue.pop_front();
            // A damaged packet is skipped; the ones after it may decode.
            avcodec_send_packet(videoCodec, p);
            av_packet_unref(p);
            spare.push_back(p);
        } else if (!draining) {
            draining = true;
            avcodec_send_packet(videoCodec, nullptr);
        } else {
            error = "end of the video stream";
            return false;
        }
    }
}

bool Decoder::rewind() {
    clearQueue();
    avcodec_flush_buffers(videoCodec);
    if (audioCodec) avcodec_flush_buffers(audioCodec);
    draining = false;
    atEnd = false;
    if (av_seek_frame(format, videoIndex, startPts, AVSEEK_FLAG_BACKWARD) >= 0) return true;
    if (av_seek_frame(format, -1, 0, AVSEEK_FLAG_BYTE) >= 0) return true;
    // The demuxer cannot seek: read the file again from its start.
    closeFormat();
    if (!openFormat()) return false;
    if (avformat_find_stream_info(format, nullptr) < 0 || format->nb_streams <= unsigned(videoIndex)) {
        error = "the file cannot be read again";
        return false;
    }
    return true;
}

bool Decoder::NextFrame(bool* wrapped) {
    if (wrapped) *wrapped = false;
    if (firstPending) {
        firstPending = false;
        current = 0;
        return true;
    }
    if (decodeNext()) {
        current++;
        return true;
    }
    if (!rewind() || !decodeNext()) return false;
    if (wrapped) *wrapped = true;
    current = 0;
    return true;
}

int Decoder::frameNumber(int guess) const {
    const int64_t pts = frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) return guess;
    const AVRational tb = format->streams[videoIndex]->time_base;
    const int64_t n = av_rescale_q_rnd(pts - startPts, tb, AVRational{rate.den, rate.num},
                                       AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    return int(std::clamp<int64_t>(n, 0, INT32_MAX));
}

bool Decoder::seekNear(int n) {
    clearQueue();
    avcodec_flush_buffers(videoCodec);
    draining = false;
    atEnd = false;
    haveFrame = false;
    firstPending = false;
    const AVRational tb = format->streams[videoIndex]->time_base;
    const int64_t ts = startPts + av_rescale_q(n, AVRational{rate.den, rate.num}, tb);
    if (av_seek_frame(format, videoIndex, ts, AVSEEK_FLAG_BACKWARD) < 0 && !rewind()) return false;
    current = -1;
    return true;
}

bool Decoder::SeekFrame(int n) {
    n = std::clamp(n, 0, frameCount - 1);
    if (firstPending) {
        firstPending = false;
        current = 0;
    }
    if (haveFrame && current == n) return true;
    if (!haveFrame || current < 0 || n < current || n - current > ForwardLimit) {
        if (!seekNear(n)) return false;
    }
    while (current < n) {
        if (!decodeNext()) return haveFrame && current >= 0;
        current = frameNumber(current + 1);
    }
    return true;
}

bool Decoder::convert(int dstFormat, uint8_t* dst, int pitch) {
    sws = sws_getCachedContext(sws, frame->width, frame->height, AVPixelFormat(frame->format), width, height,
                               AVPixelFormat(dstFormat), SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!sws) {
        error = "the frame cannot be converted";
        return false;
    }
    uint8_t* planes[4] = {dst, nullptr, nullptr, nullptr};
    int pitches[4] = {pitch, 0, 0, 0};
    sws_scale(sws, frame->data, frame->linesize, 0, frame->height, planes, pitches);
    return true;
}

bool Decoder::CopyTo(Layout layout, int x, int y, int w, int h, uint8_t* dst, int pitch) {
    if (!haveFrame || frame->width <= 0 || frame->height <= 0) return false;
    if (x < 0 || y < 0 || w <= 0 || h <= 0 || x + w > width || y + h > height) return false;
    const int dstFormat = layout == Layout::BGRX32 ? AV_PIX_FMT_BGR0 : AV_PIX_FMT_RGB565LE;
    const int bytes = layout == Layout::BGRX32 ? 4 : 2;
    if (x == 0 && y == 0 && w == width && h == height) return convert(dstFormat, dst, pitch);
    // Only part of the picture is wanted: convert it whole, then copy the part.
    const int scratchPitch = (width * bytes + 63) & ~63;
    scratch.resize(size_t(scratchPitch) * size_t(height));
    if (!convert(dstFormat, scratch.data(), scratchPitch)) return false;
    for (int row = 0; row < h; ++row) {
        std::memcpy(dst + std::ptrdiff_t(row) * pitch,
                    scratch.data() + size_t(y + row) * size_t(scratchPitch) + size_t(x) * size_t(bytes),
                    size_t(w) * size_t(bytes));
    }
    return true;
}

bool Decoder::GetPicture(Picture& out) {
    out = Picture{};
    if (!haveFrame || frame->width <= 0 || frame->height <= 0) return false;
    out.width = width;
    out.height = height;
    if (frame->format == AV_PIX_FMT_PAL8 && frame->width == width && frame->height == height && frame->data[1]) {
        out.pixels = frame->data[0];
        out.pitch = frame->linesize[0];
        out.bitsPerPixel = 8;
        out.palette = reinterpret_cast<const uint32_t*>(frame->data[1]);
        return true;
    }
    const int pitch = (width * 3 + 63) & ~63;
    picture.resize(size_t(pitch) * size_t(height));
    if (!convert(AV_PIX_FMT_BGR24, picture.data(), pitch)) return false;
    out.pixels = picture.data();
    out.pitch = pitch;
    out.bitsPerPixel = 24;
    return true;
}

bool Decoder::SetAudioOutput(int outputRate, int channels) {
    if (!audioCodec || outputRate <= 0 || outputRate > MaxSampleRate || channels < 1 || channels > 2) return false;
    if (audioCodec->sample_rate <= 0 || audioCodec->sample_rate > MaxSampleRate) return false;
    AVChannelLayout in = {};
    if (audioCodec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
        av_channel_layout_default(&in, audioCodec->ch_layout.nb_channels);
    } else if (av_channel_layout_copy(&in, &audioCodec->ch_layout) < 0) {
        return false;
    }
    AVChannelLayout outLayout = {};
    av_channel_layout_default(&outLayout, channels);
    swr_free(&swr);
    const int r = swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_S16, outputRate, &in,
                                      audioCodec->sample_fmt, audioCodec->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&outLayout);
    if (r < 0 || swr_init(swr) < 0) {
        swr_free(&swr);
        return false;
    }
    outRate = outputRate;
    outChannels = channels;
    samples.clear();
    samplesHead = 0;
    return true;
}

void Decoder::decodeAudio(AVPacket* p) {
    if (avcodec_send_packet(audioCodec, p) < 0) return;
    while (avcodec_receive_frame(audioCodec, audioFrame) == 0) {
        const int room = swr_get_out_samples(swr, audioFrame->nb_samples);
        if (room <= 0) continue;
        const size_t at = samples.size();
        samples.resize(at + size_t(room) * size_t(outChannels));
        uint8_t* outPlanes[1] = {reinterpret_cast<uint8_t*>(samples.data() + at)};
        const int got = swr_convert(swr, outPlanes, room, const_cast<const uint8_t**>(audioFrame->extended_data),
                                    audioFrame->nb_samples);
        samples.resize(at + size_t(std::max(got, 0)) * size_t(outChannels));
        av_frame_unref(audioFrame);
    }
    // Sound nobody takes is dropped from the front rather than kept without end.
    const size_t limit = size_t(outRate) * size_t(outChannels) * MaxBufferedSeconds;
    if (samples.size() - samplesHead > limit) samplesHead = samples.size() - limit;
    if (samplesHead > samples.size() / 2) {
        samples.erase(samples.begin(), samples.begin() + std::ptrdiff_t(samplesHead));
        samplesHead = 0;
    }
}

int Decoder::ReadAudio(int16_t* out, int frames) {
    if (!swr || frames <= 0) return 0;
    const size_t want = size_t(frames) * size_t(outChannels);
    while (samples.size() - samplesHead < want && queue.size() < MaxQueuedPackets && readPacket()) {
    }
    const size_t n = std::min(want, samples.size() - samplesHead);
    if (n == 0) return 0;
    std::memcpy(out, samples.data() + samplesHead, n * sizeof(int16_t));
    samplesHead += n;
    return int(n / size_t(outChannels));
}

}  // namespace video
