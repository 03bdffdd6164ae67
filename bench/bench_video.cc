// One 640 x 480 frame of an MPEG-4 video decoded and shown through the Bink player
// (decode, convert, lock, copy, unlock) against raw FFmpeg decoding and converting the
// same frames plus one raw OpenGL write of the same rectangle, in the same run. The
// video is made by the test encoder at start-up; both sides play it round and round.
// Every iteration ends with glFinish so that the software rasteriser leaves no work.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "anim/nAnimPackage.h"
#include "audio/nAudioPackage.h"
#include "gfx/nD3D8Server.h"
#include "gfx/nGfxPackage.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nTimeServer.h"
#include "platform/render/GlHeaders.h"
#include "platform/system/Clock.h"
#include "scene/nSceneGraph2.h"
#include "scene/nScenePackage.h"
#include "tests/video/TestVideo.h"
#include "video/nBinkPlayer.h"
#include "video/nVideoPackage.h"

namespace {

constexpr int W = 640;
constexpr int H = 480;

const std::string& VideoPath() {
    static const std::string path = [] {
        std::string p = "/tmp/bw_bench_video_" + std::to_string(::getpid()) + ".nut";
        testvideo::Clip clip;
        clip.codec = "mpeg4";
        clip.width = W;
        clip.height = H;
        clip.frames = 48;
        clip.detail = true;
        std::string error;
        if (!testvideo::Write(p, clip, &error)) {
            std::fprintf(stderr, "bench_video: %s\n", error.c_str());
            std::exit(1);
        }
        std::atexit([] { std::remove(VideoPath().c_str()); });
        return p;
    }();
    return path;
}

void Setup() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
    static bool done = false;
    if (!done) {
        SDL_InitSubSystem(SDL_INIT_VIDEO);
        done = true;
    }
}

// Runs far ahead on every reading, so the player never waits for a frame to be due.
class RacingClock : public sys::Clock {
public:
    int64_t Ticks() override { return now += 1000000; }
    int64_t Frequency() override { return 1000; }
    void Sleep(int) override {}
    int64_t now = 0;
};

struct Ours {
    nKernelServer* kernel = nullptr;
    nD3D8Server* gfx = nullptr;
    nSceneGraph2* sg = nullptr;
    nBinkPlayer* player = nullptr;
    RacingClock clock;
    Ours() {
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nGfxPackage(ks);
            nScenePackage(ks);
            nAnimPackage(ks);
            nAudioPackage(ks);
            nVideoPackage(ks);
        });
        kernel->GetTimeServer()->SetClock(&clock);
        gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        gfx->SetDisplayMode("type(full)-w(640)-h(480)-bpp(32)-zbuf(16)-sbuf(0)");
        if (!gfx->OpenDisplay()) std::exit(1);
        kernel->New("nchannelserver", "/sys/servers/channel");
        sg = static_cast<nSceneGraph2*>(kernel->New("nscenegraph2", "/sys/servers/sgraph2"));
        player = static_cast<nBinkPlayer*>(kernel->New("nbinkplayer", "/video"));
        player->SetFileName(VideoPath().c_str());
        gfx->BeginScene();
    }
};

struct Raw {
    SDL_Window* win = nullptr;
    SDL_GLContext context = nullptr;
    GLuint frame = 0, color = 0, uploadFrame = 0, uploadTexture = 0;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVFrame* picture = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    SwsContext* sws = nullptr;
    int stream = -1;
    std::vector<uint32_t> pixels = std::vector<uint32_t>(size_t(W) * H);

    Raw() {
        win = SDL_CreateWindow("raw", 0, 0, W, H, SDL_WINDOW_OPENGL);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
        context = SDL_GL_CreateContext(win);
        Use();
        glGenFramebuffers(1, &frame);
        glGenRenderbuffers(1, &color);
        glBindRenderbuffer(GL_RENDERBUFFER, color);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB8, W, H);
        glBindFramebuffer(GL_FRAMEBUFFER, frame);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
        glGenTextures(1, &uploadTexture);
        glBindTexture(GL_TEXTURE_2D, uploadTexture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, W, H, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glGenFramebuffers(1, &uploadFrame);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, uploadFrame);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, uploadTexture, 0);

        // The clip this program wrote, read as NUT only, as the players would read it.
        AVDictionary* options = nullptr;
        av_dict_set(&options, "protocol_whitelist", "file", 0);
        av_dict_set(&options, "format_whitelist", "nut", 0);
        avformat_open_input(&format, VideoPath().c_str(), av_find_input_format("nut"), &options);
        av_dict_free(&options);
        avformat_find_stream_info(format, nullptr);
        stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        const AVCodec* c = avcodec_find_decoder(format->streams[stream]->codecpar->codec_id);
        codec = avcodec_alloc_context3(c);
        avcodec_parameters_to_context(codec, format->streams[stream]->codecpar);
        avcodec_open2(codec, c, nullptr);
    }
    void Use() { SDL_GL_MakeCurrent(win, context); }

    // The next frame of the stream, from the start again after the last.
    void Decode() {
        for (;;) {
            if (avcodec_receive_frame(codec, picture) == 0) return;
            if (av_read_frame(format, packet) < 0) {
                av_seek_frame(format, stream, 0, AVSEEK_FLAG_BACKWARD);
                avcodec_flush_buffers(codec);
                continue;
            }
            if (packet->stream_index == stream) avcodec_send_packet(codec, packet);
            av_packet_unref(packet);
        }
    }
};

void BM_VideoFrame_Ours(benchmark::State& state) {
    Setup();
    static Ours* o = new Ours;
    for (auto _ : state) {
        o->player->Compute(o->sg);
        glFinish();
    }
}

void BM_VideoFrame_Raw(benchmark::State& state) {
    Setup();
    static Raw* r = new Raw;
    r->Use();
    for (auto _ : state) {
        r->Decode();
        r->sws = sws_getCachedContext(r->sws, W, H, AVPixelFormat(r->picture->format), W, H, AV_PIX_FMT_BGR0,
                                      SWS_BILINEAR, nullptr, nullptr, nullptr);
        uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(r->pixels.data()), nullptr, nullptr, nullptr};
        int pitches[4] = {W * 4, 0, 0, 0};
        sws_scale(r->sws, r->picture->data, r->picture->linesize, 0, H, planes, pitches);
        glBindTexture(GL_TEXTURE_2D, r->uploadTexture);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, W, H, GL_BGRA, GL_UNSIGNED_BYTE, r->pixels.data());
        glBindFramebuffer(GL_READ_FRAMEBUFFER, r->uploadFrame);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, r->frame);
        glBlitFramebuffer(0, 0, W, H, 0, 0, W, H, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glFinish();
    }
}

}  // namespace

BENCHMARK(BM_VideoFrame_Ours)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_VideoFrame_Raw)->Unit(benchmark::kMicrosecond)->UseRealTime();
