#include "tests/video/TestVideo.h"

#include <cmath>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace testvideo {

uint32_t FrameColor(int k) {
    const uint32_t r = uint32_t(k * 67 + 30) & 0xFF, g = uint32_t(k * 29 + 200) & 0xFF, b = uint32_t(255 - 2 * k) & 0xFF;
    return r << 16 | g << 8 | b;
}

uint32_t BandColor(int k) { return FrameColor(k) ^ 0xFFFFFFu; }

namespace {

constexpr int ToneRate = 22050;

struct Writer {
    AVFormatContext* oc = nullptr;
    AVCodecContext* vc = nullptr;
    AVCodecContext* ac = nullptr;
    AVStream* vs = nullptr;
    AVStream* as = nullptr;
    AVPacket* pkt = av_packet_alloc();
    std::string error;

    ~Writer() {
        avcodec_free_context(&vc);
        avcodec_free_context(&ac);
        if (oc && oc->pb) avio_closep(&oc->pb);
        avformat_free_context(oc);
        av_packet_free(&pkt);
    }
    bool Fail(const std::string& why) {
        error = why;
        return false;
    }
    // Sends a frame (null: the end) and writes what comes out.
    bool Encode(AVCodecContext* c, AVStream* st, AVFrame* f) {
        if (avcodec_send_frame(c, f) < 0) return Fail("encoder refuses a frame");
        while (avcodec_receive_packet(c, pkt) == 0) {
            av_packet_rescale_ts(pkt, c->time_base, st->time_base);
            pkt->stream_index = st->index;
            if (av_interleaved_write_frame(oc, pkt) < 0) return Fail("muxer refuses a packet");
        }
        return true;
    }
};

}  // namespace

bool Write(const std::string& path, const Clip& clip, std::string* errorOut) {
    Writer w;
    auto done = [&](bool ok) {
        if (!ok && errorOut) *errorOut = w.error;
        return ok;
    };
    if (avformat_alloc_output_context2(&w.oc, nullptr, clip.container, path.c_str()) < 0) return done(w.Fail("no muxer"));
    const AVCodec* codec = avcodec_find_encoder_by_name(clip.codec);
    if (!codec) return done(w.Fail("no encoder"));
    w.vs = avformat_new_stream(w.oc, nullptr);
    w.vc = avcodec_alloc_context3(codec);
    w.vc->width = clip.width;
    w.vc->height = clip.height;
    w.vc->time_base = AVRational{clip.rateDen, clip.rateNum};
    w.vc->framerate = AVRational{clip.rateNum, clip.rateDen};
    w.vc->pix_fmt = clip.pixelFormat >= 0 ? AVPixelFormat(clip.pixelFormat)
                    : codec->pix_fmts           ? codec->pix_fmts[0]
                                                : AV_PIX_FMT_BGR24;
    // Lossless encoders keep the colours exact in 32-bit RGB.
    for (const AVPixelFormat* p = codec->pix_fmts; clip.pixelFormat < 0 && p && *p != AV_PIX_FMT_NONE; ++p)
        if (*p == AV_PIX_FMT_BGR0) w.vc->pix_fmt = AV_PIX_FMT_BGR0;
    w.vc->gop_size = 12;
    if (w.oc->oformat->flags & AVFMT_GLOBALHEADER) w.vc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(w.vc, codec, nullptr) < 0) return done(w.Fail("encoder does not open"));
    avcodec_parameters_from_context(w.vs->codecpar, w.vc);
    w.vs->time_base = w.vc->time_base;
    w.vs->avg_frame_rate = w.vc->framerate;

    if (clip.toneHz > 0) {
        const AVCodec* pcm = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
        w.as = avformat_new_stream(w.oc, nullptr);
        w.ac = avcodec_alloc_context3(pcm);
        w.ac->sample_fmt = AV_SAMPLE_FMT_S16;
        w.ac->sample_rate = ToneRate;
        av_channel_layout_default(&w.ac->ch_layout, 1);
        w.ac->time_base = AVRational{1, ToneRate};
        if (avcodec_open2(w.ac, pcm, nullptr) < 0) return done(w.Fail("pcm encoder does not open"));
        avcodec_parameters_from_context(w.as->codecpar, w.ac);
        w.as->time_base = w.ac->time_base;
    }
    if (avio_open(&w.oc->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return done(w.Fail("file does not open"));
    if (avformat_write_header(w.oc, nullptr) < 0) return done(w.Fail("header refused"));

    AVFrame* f = av_frame_alloc();
    f->format = w.vc->pix_fmt;
    f->width = clip.width;
    f->height = clip.height;
    av_frame_get_buffer(f, 0);
    const bool pal = w.vc->pix_fmt == AV_PIX_FMT_PAL8;
    SwsContext* sws = pal ? nullptr
                          : sws_getContext(clip.width, clip.height, AV_PIX_FMT_BGR24, clip.width, clip.height,
                                           w.vc->pix_fmt, SWS_POINT, nullptr, nullptr, nullptr);
    std::vector<uint8_t> bgr(size_t(clip.width) * size_t(clip.height) * 3);
    const int64_t toneTotal = int64_t(clip.frames) * ToneRate * clip.rateDen / clip.rateNum;
    int64_t toneDone = 0;
    bool ok = true;
    for (int k = 0; k < clip.frames && ok; ++k) {
        av_frame_make_writable(f);
        for (int y = 0; y < clip.height; ++y) {
            const uint32_t c = clip.bands && y >= clip.height / 2 ? BandColor(k) : FrameColor(k);
            for (int x = 0; x < clip.width; ++x) {
                uint8_t* p = bgr.data() + (size_t(y) * size_t(clip.width) + size_t(x)) * 3;
                p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
                if (clip.detail) {
                    const uint32_t n = uint32_t(x * 7 + k * 3) * 2654435761u ^ uint32_t(y * 13 + k) * 40503u;
                    p[0] = uint8_t(x + k * 4), p[1] = uint8_t(y * 2 + (n >> 28)), p[2] = uint8_t((x ^ y) + k);
                }
            }
            if (pal) std::memset(f->data[0] + size_t(y) * size_t(f->linesize[0]), clip.bands && y >= clip.height / 2 ? 255 - k : k, size_t(clip.width));
        }
        if (pal) {
            auto* palette = reinterpret_cast<uint32_t*>(f->data[1]);
            for (int i = 0; i < 256; ++i) palette[i] = 0xFF000000u | (i < 128 ? FrameColor(i) : BandColor(255 - i));
        } else {
            const uint8_t* src[1] = {bgr.data()};
            const int srcPitch[1] = {clip.width * 3};
            sws_scale(sws, src, srcPitch, 0, clip.height, f->data, f->linesize);
        }
        f->pts = k;
        ok = w.Encode(w.vc, w.vs, f);
        // The tone up to the end of this frame, in pieces of 1024 samples.
        const int64_t toneUntil = int64_t(k + 1) * ToneRate * clip.rateDen / clip.rateNum;
        while (ok && w.ac && toneDone < std::min(toneUntil, toneTotal)) {
            AVFrame* a = av_frame_alloc();
            a->format = AV_SAMPLE_FMT_S16;
            a->sample_rate = ToneRate;
            av_channel_layout_default(&a->ch_layout, 1);
            a->nb_samples = int(std::min<int64_t>(1024, toneUntil - toneDone));
            av_frame_get_buffer(a, 0);
            auto* s = reinterpret_cast<int16_t*>(a->data[0]);
            for (int i = 0; i < a->nb_samples; ++i)
                s[i] = int16_t(16000.0 * std::sin(2.0 * M_PI * clip.toneHz * double(toneDone + i) / ToneRate));
            a->pts = toneDone;
            toneDone += a->nb_samples;
            ok = w.Encode(w.ac, w.as, a);
            av_frame_free(&a);
        }
    }
    sws_freeContext(sws);
    av_frame_free(&f);
    if (ok) ok = w.Encode(w.vc, w.vs, nullptr);
    if (ok && w.ac) ok = w.Encode(w.ac, w.as, nullptr);
    if (ok && av_write_trailer(w.oc) < 0) ok = w.Fail("trailer refused");
    return done(ok);
}

}  // namespace testvideo
