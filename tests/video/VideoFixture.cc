#include "tests/video/VideoFixture.h"

#include "anim/nAnimPackage.h"
#include "audio/nAudioPackage.h"
#include "audio/nDSoundServer2.h"
#include "gfx/nGfxPackage.h"
#include "kernel/nTimeServer.h"
#include "platform/render/Device.h"
#include "scene/nScenePackage.h"
#include "scene/nVisNode.h"
#include "video/nAviPlayer.h"
#include "video/nBinkPlayer.h"
#include "video/nVideoPackage.h"

void VideoFixture::SetUp() {
    nScriptFixture::SetUp();
    nGfxPackage(kernel);
    nScenePackage(kernel);
    nAnimPackage(kernel);
    nAudioPackage(kernel);
    nVideoPackage(kernel);
    kernel->GetTimeServer()->SetClock(&clock);
    gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
    channels = static_cast<nChannelServer*>(kernel->New("nchannelserver", "/sys/servers/channel"));
    kernel->New("nshadowserver", "/sys/servers/shadow");
    sg = static_cast<nSceneGraph2*>(kernel->New("nscenegraph2", "/sys/servers/sgraph2"));
    scene = static_cast<nVisNode*>(kernel->New("n3dnode", "/scene"));
}

void VideoFixture::OpenDisplay(int bits) {
    bpp = bits;
    const std::string mode = "type(full)-w(640)-h(480)-bpp(" + std::to_string(bits) + ")-zbuf(16)-sbuf(0)";
    ASSERT_TRUE(gfx->SetDisplayMode(mode.c_str()));
    ASSERT_TRUE(gfx->OpenDisplay());
    gfx->SetClearColor(float((Clear >> 16) & 0xFF) / 255.0f, float((Clear >> 8) & 0xFF) / 255.0f,
                       float(Clear & 0xFF) / 255.0f, 1.0f);
}

nDSoundServer2* VideoFixture::OpenAudio() {
    auto* audio = static_cast<nDSoundServer2*>(kernel->New("ndsoundserver2", "/sys/servers/audio"));
    audio->SetOutput(audio::Output::Loopback);
    EXPECT_TRUE(audio->OpenAudio());
    return audio;
}

std::string VideoFixture::Video(const std::string& name, const testvideo::Clip& clip) {
    std::string error;
    EXPECT_TRUE(testvideo::Write(Path(name), clip, &error)) << name << ": " << error;
    return Path(name);
}

std::string VideoFixture::Place(const char* name) {
    const std::string at = std::string("/scene/") + name;
    if (!Lookup(at.c_str())) kernel->New("n3dnode", at.c_str());
    return at + "/video";
}

nBinkPlayer* VideoFixture::Bink(const char* name, const std::string& file) {
    auto* p = static_cast<nBinkPlayer*>(kernel->New("nbinkplayer", Place(name).c_str()));
    p->SetFileName(file.c_str());
    return p;
}

nAviPlayer* VideoFixture::Avi(const char* name, const std::string& file) {
    auto* p = static_cast<nAviPlayer*>(kernel->New("naviplayer", Place(name).c_str()));
    p->SetFileName(file.c_str());
    return p;
}

void VideoFixture::Frame(float t) {
    ASSERT_TRUE(gfx->BeginScene());
    channels->SetChannel1f(channels->GenChannel("time"), t);
    sg->BeginScene(matrix44());
    sg->SetRenderContext(0);
    scene->Attach(sg);
    sg->EndScene(true);
    gfx->EndScene();
}

uint32_t VideoFixture::Presented(int x, int y) {
    std::vector<uint32_t> pixels;
    int w = 0, h = 0;
    EXPECT_TRUE(gfx->GetDevice()->CopyFrontBuffer(pixels, w, h));
    if (x < 0 || y < 0 || x >= w || y >= h) return 0;
    return pixels[size_t(y) * size_t(w) + size_t(x)] | 0xFF000000u;
}

::testing::AssertionResult VideoFixture::Shows(int x, int y, int k, int tolerance) {
    const uint32_t want = k < 0 ? Clear : 0xFF000000u | testvideo::FrameColor(k);
    // A 16-bit display keeps 5 or 6 bits a channel.
    return bwtest::ColorNear(Presented(x, y), want, bpp == 16 ? tolerance + 12 : tolerance)
           << " at " << x << "," << y << " for frame " << k;
}

int VideoFixture::LogCount(const std::string& part) const {
    int n = 0;
    for (size_t at = log.text.find(part); at != std::string::npos; at = log.text.find(part, at + 1)) n++;
    return n;
}
