#include "logic/nObserver.h"

#include "anim/nParticleServer.h"
#include "audio/nAudioServer2.h"
#include "gfx/nGfxServer.h"
#include "input/nInputServer.h"
#include "kernel/nFrameGuard.h"
#include "kernel/nKernelServer.h"
#include "kernel/nRemoteServer.h"
#include "kernel/nScriptServer.h"
#include "kernel/nTimeServer.h"
#include "logic/nBaseObserver.h"
#include "logic/nToolPass.h"
#include "platform/ui/Host.h"
#include "scene/n3DNode.h"
#include "scene/nChannelServer.h"
#include "scene/nSceneGraph2.h"
#include "script/nConServer.h"

static const nCmdDef<nObserver> cmds[] = {
    {"v_start_v", "STRT", [](nObserver* self, nCmd*) { self->Start(); }},
    Bind<&nObserver::Stop>("v_stop_v", "STOP"),
    Bind<&nObserver::SetGrid>("v_setgrid_b", "SGRD"),
    Bind<&nObserver::GetGrid>("b_getgrid_v", "GGRD"),
};
const nClassInfo nObserver::classInfo = nClassInfo::Make<nObserver>("nobserver", "nroot", cmds);

// Arrows orbit, Page Up/Down and the keypad's + and - zoom, Home resets both, Esc leaves.
const nObserver::KeyMap nObserver::InGameKeys[] = {
    {"keyb0:left.pressed", "turnleft"}, {"keyb0:right.pressed", "turnright"}, {"keyb0:up.pressed", "turnup"},
    {"keyb0:down.pressed", "turndown"}, {"keyb0:prior.pressed", "zoomin"},    {"keyb0:plus.pressed", "zoomin"},
    {"keyb0:next.pressed", "zoomout"},  {"keyb0:minus.pressed", "zoomout"},   {"keyb0:home.down", "resetrot"},
    {"keyb0:home.down", "resetzoom"},   {"keyb0:esc.down", "stopviewer"},     {nullptr, nullptr},
};

// The window's virtual-key code of Esc.
constexpr int EscKey = 27;

nObserver::nObserver() = default;

nObserver::~nObserver() {
    // Released while it runs in the game's frames: the game gets its keys and clock back.
    if (running_ && inGame_) Leave();
}

nBaseObserver* nObserver::RunningGame() const {
    auto* game = dynamic_cast<nBaseObserver*>(nKernelServer::ks->Lookup("/sys/servers/observer"));
    return game && nFrameGuard::HoldsRunningFrame(game) ? game : nullptr;
}

bool nObserver::StartInGame(nBaseObserver* game) {
    nInputServer* input = refInput_.Get();
    if (input->HasParkedMappings() || !game->SetViewer(this)) {
        n_error("%s: v_start_v: another viewer runs in the game's frames\n", GetFullName().c_str());
        return false;
    }
    input->ParkMappings();
    input->MapParked("keyb0:f12.");
    for (const KeyMap* k = InGameKeys; k->event; k++) input->Map(k->event, k->state);
    KeepEscFromTools();

    nTimeServer* ts = nKernelServer::ks->GetTimeServer();
    gameClock_ = ts->GetTime();
    gameClockStopped_ = ts->IsStopped();
    if (gameClockStopped_) ts->StartTime();
    base_ = ts->GetFrameTime();
    previousTime_ = time_ = 0.0;
    nChannelServer* channels = refChannel_.Get();
    timeChannel_ = channels->GenChannel("time");
    gtimeChannel_ = channels->GenChannel("gtime");

    nRoot* scene = refScene_.Resolve();
    scene_ = scene;
    static_cast<n3DNode*>(scene)->AddRenderContext(0);
    running_ = inGame_ = true;
    stopped_ = false;
    n_printf("%s: the viewer runs; the arrows turn, Page Up/Down zoom, Home resets, Esc leaves\n",
             GetFullName().c_str());
    return true;
}

void nObserver::KeepEscFromTools() {
    // Esc leaves also from a tool window that has the keyboard (the editor that started it).
    // The tools may be made, or made anew, while the viewer runs (F12 under it): their layer
    // is told each frame, before the next frame's keys come.
    if (nGfxServer* gfx = refGfx_.Resolve(); gfx && gfx->GetUiHost()) gfx->GetUiHost()->SetGameKey(EscKey, true);
}

void nObserver::Leave() {
    running_ = inGame_ = stopped_ = false;
    if (nInputServer* input = refInput_.Resolve()) input->RestoreMappings();
    if (nGfxServer* gfx = refGfx_.Resolve(); gfx && gfx->GetUiHost()) gfx->GetUiHost()->SetGameKey(EscKey, false);
    nTimeServer* ts = nKernelServer::ks->GetTimeServer();
    if (gameClockStopped_) ts->StopTime();
    ts->SetTime(gameClock_);
    if (nRoot* scene = scene_.GetUnsafe()) static_cast<n3DNode*>(scene)->RemoveRenderContext(0);
    scene_.Invalidate();
    n_printf("%s: the viewer stopped; the game goes on\n", GetFullName().c_str());
}

bool nObserver::Start() {
    if (running_) {
        n_error("%s: v_start_v: the loop already runs\n", GetFullName().c_str());
        return false;
    }
    nRoot* root = refScene_.Resolve();
    if (!root || !root->IsA(n3DNode::classInfo.name)) {
        n_error("%s: v_start_v: '/usr/scene' %s; nothing to show\n", GetFullName().c_str(),
                root ? "is no n3dnode" : "does not exist");
        return false;
    }
    // A line run in the game's frames (the tools', the console's) must not stop them with
    // a loop of its own: the viewer then draws in the game's frames.
    if (nBaseObserver* game = RunningGame()) return StartInGame(game);
    nTimeServer* ts = nKernelServer::ks->GetTimeServer();
    ts->ResetTime();
    ts->EnableFrameTime();
    previousTime_ = time_ = base_ = 0.0;
    nChannelServer* channels = refChannel_.Get();
    timeChannel_ = channels->GenChannel("time");
    gtimeChannel_ = channels->GenChannel("gtime");

    // A script the loop runs may delete the scene: the context leaves it only if it lives.
    nRef<nRoot> scene(root);
    static_cast<n3DNode*>(root)->AddRenderContext(0);
    running_ = true;
    {
        // A script the loop runs may delete the viewer: it leaves the tree at once, the
        // loop ends after that frame, and it is freed when the guard ends.
        nFrameGuard frame(this);
        while (Frame()) {
        }
        running_ = false;
        stopped_ = false;
        if (scene.IsValid()) static_cast<n3DNode*>(scene.Get())->RemoveRenderContext(0);
    }
    return true;
}

void nObserver::Stop() {
    if (!running_) return;
    if (inGame_) {
        Leave();
        return;
    }
    stopped_ = true;
    nKernelServer::ks->GetTimeServer()->DisableFrameTime();
}

bool nObserver::Frame() {
    if (stopped_ || nFrameGuard::IsReleasePending(this)) return false;
    if (!refGfx_.Get()->Trigger()) return false;
    if (!refScript_.Get()->Trigger()) return false;
    if (!Advance()) return false;
    Render();
    return true;
}

bool nObserver::Advance() {
    auto over = [this] { return stopped_ || !running_ || nFrameGuard::IsReleasePending(this); };
    nTimeServer* ts = nKernelServer::ks->GetTimeServer();
    ts->Trigger();
    if (nRemoteServer* remote = nKernelServer::ks->GetRemoteServer()) remote->Trigger();
    // A remote or script line may have stopped the loop or deleted the viewer.
    if (over()) return false;

    previousTime_ = time_;
    time_ = ts->GetFrameTime() - base_;
    frameTime_ = float(time_ - previousTime_);
    // A stall or a clock that went back counts as a short frame, so the camera never jumps.
    if (!(frameTime_ > 0.0f) || frameTime_ > 1.0f) frameTime_ = 0.01f;

    nInputServer* input = refInput_.Get();
    input->Trigger(time_);
    if (input->GetButton("stopviewer")) Stop();
    if (over()) return false;
    // The tools keep their windows and keys in the viewer's frames: their editor is the
    // way back where the game has no console.
    if (auto* tools = dynamic_cast<nToolPass*>(refPlugin_.Resolve())) tools->RunTools(frameTime_);
    if (inGame_ && !over()) KeepEscFromTools();
    return !over();
}

void nObserver::MoveCamera(n3DNode* scene) {
    nInputServer* input = refInput_.Get();
    if (input->GetButton("resetrot")) pitch_ = yaw_ = 0.0f;
    if (input->GetButton("resetzoom")) zoom_ = 10.0f;
    constexpr float Turn = 6.2831855f;
    yaw_ += (input->GetSlider("turnleft") - input->GetSlider("turnright")) * frameTime_ * Turn;
    pitch_ += (input->GetSlider("turnup") - input->GetSlider("turndown")) * frameTime_ * Turn;
    zoom_ += (input->GetSlider("zoomin") - input->GetSlider("zoomout")) * frameTime_ * 75.0f;
    matrix44 m;
    m.Rotate(vector3(1.0f, 0.0f, 0.0f), pitch_);
    m.Rotate(vector3(0.0f, 1.0f, 0.0f), yaw_);
    m.m[3][2] -= zoom_;
    scene->SetLocalMatrix(m);
}

void nObserver::DrawGrid(nGfxServer* gfx, const matrix44& view) {
    nRenderState rs;
    rs.state = 2;
    rs.value.i = 0;
    gfx->SetRenderState(rs);
    rs.state = 15;
    gfx->SetRenderState(rs);
    gfx->SetMatrix(nGfxServer::MODELVIEW, view);
    gfx->Begin(3);  // line list
    gfx->Rgba(0.5f, 0.5f, 1.0f, 1.0f);
    for (int i = -25; i <= 25; i++) {
        const float x = float(i);
        gfx->Coord(x, 0.0f, -25.0f);
        gfx->Coord(x, 0.0f, 25.0f);
        gfx->Coord(-25.0f, 0.0f, x);
        gfx->Coord(25.0f, 0.0f, x);
    }
    gfx->End();
    rs.value.i = 1;
    gfx->SetRenderState(rs);
}

void nObserver::Render() {
    nRoot* root = refScene_.Resolve();
    if (!root || !root->IsA(n3DNode::classInfo.name)) {
        n_error("%s: '/usr/scene' is gone; the viewer stops\n", GetFullName().c_str());
        Stop();
        return;
    }
    // After the game's keys of this frame: F12 may have made the tools.
    if (inGame_) KeepEscFromTools();
    auto* scene = static_cast<n3DNode*>(root);
    MoveCamera(scene);
    nGfxServer* gfx = refGfx_.Get();
    nInputServer* input = refInput_.Get();
    if (!gfx->BeginScene()) {
        // The events of a lost frame must not be handled again in the next one.
        input->FlushEvents();
        return;
    }
    const matrix44 view;
    nAudioServer2* audio = refAudio_.Get();
    audio->BeginScene(time_);
    if (nParticleServer* particle = refParticle_.Resolve()) particle->Trigger();
    gfx->SetMatrix(nGfxServer::VIEWER, view);

    nChannelServer* channels = refChannel_.Get();
    channels->SetChannel1f(timeChannel_, float(time_));
    channels->SetChannel1f(gtimeChannel_, float(time_));
    nSceneGraph2* sg = refSceneGraph_.Get();
    if (sg->BeginScene(view)) {
        scene->Attach(sg);
        sg->EndScene(true);
    }
    if (grid_) DrawGrid(gfx, view);
    if (nConServer* console = refConsole_.Resolve()) console->Trigger();
    audio->EndScene();
    gfx->EndScene();
    input->FlushEvents();
}
