#include "video/nAviPlayer.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>

#include "gfx/nGfxServer.h"
#include "gfx/nPixelFormat.h"
#include "kernel/nCmd.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "platform/video/Decoder.h"
#include "scene/nSceneGraph2.h"
#include "video/VideoFile.h"
#include "video/VideoRect.h"

namespace {

const nCmdDef<nAviPlayer> cmds[] = {
    Bind<&nAviPlayer::SetFileName>("v_setfilename_s", "PSFL"),
    Bind<&nAviPlayer::GetFileName>("s_getfilename_v", "PGFL"),
    Bind<&nAviPlayer::SetPosition>("v_setposition_ii", "PSPO"),
    {"ii_getposition_v", "PGPO",
     [](nAviPlayer* self, nCmd* c) {
         int x, y;
         self->GetPosition(x, y);
         c->Out()->SetI(x);
         c->Out()->SetI(y);
     }},
};

// One source pixel, 0xRRGGBB, as the back buffer holds it.
inline uint32_t To32(uint32_t rgb) { return 0xFF000000u | rgb; }
inline uint16_t To565(uint32_t rgb) {
    return uint16_t(((rgb >> 8) & 0xF800) | ((rgb >> 5) & 0x07E0) | ((rgb >> 3) & 0x001F));
}

}  // namespace

const nClassInfo nAviPlayer::classInfo = nClassInfo::Make<nAviPlayer>("naviplayer", "nanimnode", cmds);

nAviPlayer::nAviPlayer() = default;

nAviPlayer::~nAviPlayer() = default;

bool nAviPlayer::SaveCmds(nPersistServer* ps) {
    if (!nAnimNode::SaveCmds(ps)) return false;
    int x, y;
    GetPosition(x, y);
    return ps->Put(this, nId("PSFL"), GetFileName()) && ps->Put(this, nId("PSPO"), x, y);
}

void nAviPlayer::SetFileName(const char* name) {
    if (!nFileServer2::MayKeepPath(name)) return;
    const char* n = name ? name : "";
    if (fileName == n) return;
    close();
    fileName = n;
    failed = false;
}

void nAviPlayer::SetPosition(int x, int y) {
    posX = x;
    posY = y;
}

void nAviPlayer::GetPosition(int& x, int& y) const {
    x = posX;
    y = posY;
}

void nAviPlayer::fail(const char* what, const std::string& why) {
    if (!failed) n_error("nAviPlayer %s: '%s': %s: %s\n", GetFullName().c_str(), fileName.Get(), what, why.c_str());
    failed = true;
    close();
}

bool nAviPlayer::open() {
    if (fileName.IsEmpty() || failed) return false;
    std::string why;
    video = VideoFile::Open(nKernelServer::ks->GetFileServer(), fileName.Get(), why);
    if (!video) {
        fail("no video", why);
        return false;
    }
    rate = video->FrameRate().num;
    scale = video->FrameRate().den;
    length = video->FrameCount();
    duration = double(length) * double(scale) / double(rate);
    return true;
}

void nAviPlayer::close() {
    video.reset();
    duration = 0.0;
}

void nAviPlayer::Preload() {
    nAnimNode::Preload();
    if (!video) open();
}

bool nAviPlayer::Attach(nSceneGraph2* sceneGraph) {
    if (!nAnimNode::Attach(sceneGraph)) return false;
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    if (rec && !fileName.IsEmpty()) rec->otherVisual = this;
    return true;
}

int nAviPlayer::FrameAt(double t) const {
    if (length <= 0 || rate <= 0 || scale <= 0 || !(t > 0.0)) return 0;
    // Counted in frames of the exact rate, so long times neither drift nor round into
    // the next play.
    const double f = std::floor(t * double(rate) / double(scale));
    if (repType_ == Loop) return int(std::fmod(f, double(length)));
    return f >= double(length - 1) ? length - 1 : int(f);
}

void nAviPlayer::Compute(nSceneGraph2* sceneGraph) {
    nAnimNode::Compute(sceneGraph);
    if (!video && !open()) return;
    const int frame = FrameAt(ReadChannel(sceneGraph, channelIndex_));
    video::Picture pic;
    if (!video->SeekFrame(frame) || !video->GetPicture(pic)) {
        fail("frame does not decode", video->Error());
        return;
    }
    nGfxServer* gfx = refGfx.Get();
    VideoRect r;
    if (!r.Clip(gfx, float(posX), float(posY), pic.width, pic.height)) return;
    nPixelFormat* format = nullptr;
    int pitch = 0;
    auto* bits = static_cast<uint8_t*>(gfx->LockBackBufferForWrite(r.lock, &format, &pitch));
    if (!bits) return;
    const int dstBpp = format ? format->bpp : 0;
    if (dstBpp != 32 && dstBpp != 16) nKernelServer::FatalError("nAviPlayer::Compute(), invalid color format backroundbuffer!\n");
    if (pic.bitsPerPixel != 24 && pic.bitsPerPixel != 8) nKernelServer::FatalError("Aborting.\n");
    for (int y = 0; y < r.height; ++y) {
        // Bottom-up frames come with a negative pitch.
        const uint8_t* src = pic.pixels + std::ptrdiff_t(r.srcY + y) * pic.pitch;
        uint8_t* dst = bits + std::ptrdiff_t(y) * pitch;
        for (int x = 0; x < r.width; ++x) {
            const int sx = r.srcX + x;
            uint32_t rgb;
            if (pic.bitsPerPixel == 24) {
                const uint8_t* p = src + size_t(sx) * 3;
                rgb = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
            } else {
                rgb = pic.palette[src[sx]] & 0xFFFFFFu;
            }
            if (dstBpp == 32) {
                const uint32_t v = To32(rgb);
                std::memcpy(dst + size_t(x) * 4, &v, 4);
            } else {
                const uint16_t v = To565(rgb);
                std::memcpy(dst + size_t(x) * 2, &v, 2);
            }
        }
    }
    refGfx.Get()->UnlockBackBuffer();
}
