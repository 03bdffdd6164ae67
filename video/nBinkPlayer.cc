#include "video/nBinkPlayer.h"

#include <string>

#include "audio/nDSoundServer2.h"
#include "gfx/nGfxServer.h"
#include "gfx/nPixelFormat.h"
#include "kernel/nCmd.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nTimeServer.h"
#include "platform/audio/Device.h"
#include "platform/video/Decoder.h"
#include "platform/video/Pacer.h"
#include "platform/video/Sound.h"
#include "scene/nSceneGraph2.h"
#include "video/VideoFile.h"
#include "video/VideoRect.h"

namespace {

const nCmdDef<nBinkPlayer> cmds[] = {
    Bind<&nBinkPlayer::SetFileName>("v_setfilename_s", "PSFL"),
    Bind<&nBinkPlayer::GetFileName>("s_getfilename_v", "PGFL"),
    Bind<&nBinkPlayer::SetPosition>("v_setposition_ii", "PSPO"),
    {"ii_getposition_v", "PGPO",
     [](nBinkPlayer* self, nCmd* c) {
         int x, y;
         self->GetPosition(x, y);
         c->Out()->SetI(x);
         c->Out()->SetI(y);
     }},
};

}  // namespace

const nClassInfo nBinkPlayer::classInfo = nClassInfo::Make<nBinkPlayer>("nbinkplayer", "nanimnode", cmds);

nBinkPlayer::nBinkPlayer() : refAudio("/sys/servers/audio") {}

nBinkPlayer::~nBinkPlayer() {
    close();
}

bool nBinkPlayer::SaveCmds(nPersistServer* ps) {
    if (!nAnimNode::SaveCmds(ps)) return false;
    int x, y;
    GetPosition(x, y);
    return ps->Put(this, nId("PSFL"), GetFileName()) && ps->Put(this, nId("PSPO"), x, y);
}

void nBinkPlayer::SetFileName(const char* name) {
    if (!nFileServer2::MayKeepPath(name)) return;
    const char* n = name ? name : "";
    if (fileName == n) return;
    close();
    fileName = n;
    completed = 0;
    lastFrame = -1;
    failed = false;
}

void nBinkPlayer::SetPosition(int x, int y) {
    posX = x;
    posY = y;
}

void nBinkPlayer::GetPosition(int& x, int& y) const {
    x = posX;
    y = posY;
}

void nBinkPlayer::fail(const char* what, const std::string& why) {
    if (!failed) n_error("nBinkPlayer %s: '%s': %s: %s\n", GetFullName().c_str(), fileName.Get(), what, why.c_str());
    failed = true;
    completed++;
    close();
}

bool nBinkPlayer::open() {
    if (fileName.IsEmpty() || failed) return false;
    std::string why;
    video = VideoFile::Open(nKernelServer::ks->GetFileServer(), fileName.Get(), why);
    if (!video) {
        fail("no video", why);
        return false;
    }
    nRoot* audio = refAudio.Resolve();
    if (audio && audio->IsA("ndsoundserver2") && video->HasAudio()) {
        if (audio::Device* device = static_cast<nDSoundServer2*>(audio)->GetAudioDevice()) {
            // Without a sound buffer the picture still plays, silently.
            sound = video::Sound::Start(*device, *video, why);
        }
    }
    nTimeServer* time = nKernelServer::ks->GetTimeServer();
    pacer = std::make_unique<video::Pacer>(time ? time->GetClock() : nullptr, video->FrameRate());
    return true;
}

void nBinkPlayer::close() {
    sound.reset();
    pacer.reset();
    video.reset();
}

void nBinkPlayer::Preload() {
    nAnimNode::Preload();
    if (!video) open();
}

bool nBinkPlayer::Attach(nSceneGraph2* sceneGraph) {
    if (!nAnimNode::Attach(sceneGraph)) return false;
    if (fileName.IsEmpty()) return true;
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    if (rec && (completed == 0 || repType_ != Oneshot)) {
        rec->otherVisual = this;
    } else {
        // Played once: the count stays, so the cut-scene does not start again.
        close();
    }
    return true;
}

double nBinkPlayer::soundClock() {
    if (sound && !sound->Service()) sound.reset();
    return sound ? sound->Seconds() : -1.0;
}

void nBinkPlayer::Compute(nSceneGraph2* sceneGraph) {
    nAnimNode::Compute(sceneGraph);
    if (!video && !open()) return;
    bool wrapped = false;
    if (!video->NextFrame(&wrapped)) {
        fail("the video does not decode", video->Error());
        return;
    }
    soundClock();
    const int current = video->CurrentFrame();
    if (wrapped || lastFrame > current) {
        completed++;
        if (repType_ == Oneshot) {
            lastFrame = current;
            sound.reset();
            return;
        }
    }
    lastFrame = current;
    draw();
    pacer->FrameShown();
    while (pacer->Wait(soundClock())) pacer->Service();
}

void nBinkPlayer::draw() {
    nGfxServer* gfx = refGfx.Get();
    VideoRect r;
    if (!r.Clip(gfx, float(posX), float(posY), video->Width(), video->Height())) return;
    nPixelFormat* format = nullptr;
    int pitch = 0;
    auto* bits = static_cast<uint8_t*>(gfx->LockBackBufferForWrite(r.lock, &format, &pitch));
    if (!bits) return;
    video::Layout layout = video::Layout::BGRX32;
    if (format && format->bpp == 16) layout = video::Layout::RGB565;
    else if (!format || format->bpp != 32) nKernelServer::FatalError("nBinkPlayer::Compute(), invalid color format backroundbuffer!\n");
    video->CopyTo(layout, r.srcX, r.srcY, r.width, r.height, bits, pitch);
    refGfx.Get()->UnlockBackBuffer();
}
