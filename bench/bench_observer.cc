// One frame of the base observer over 1,000 logic nodes with two timers each (no current
// camera; null graphics, audio and input servers), against a hand loop making the same
// server calls and the same timer arithmetic over plain arrays.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "anim/nAnimPackage.h"
#include "audio/nAudioPackage.h"
#include "audio/nAudioServer2.h"
#include "collide/nCollidePackage.h"
#include "collide/nCollideServer2.h"
#include "gfx/nGfxPackage.h"
#include "gfx/nGfxServer.h"
#include "input/nInputPackage.h"
#include "input/nInputServer.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nScriptServer.h"
#include "kernel/nTimeServer.h"
#include "logic/nBaseObserver.h"
#include "logic/nCameraView.h"
#include "logic/nLogic2DServer.h"
#include "logic/nLogicEventServer.h"
#include "logic/nLogicGraph.h"
#include "logic/nLogicNode.h"
#include "logic/nLogicPackage.h"
#include "physics/nPhysikPackage.h"
#include "scene/nChannelServer.h"
#include "scene/nScenePackage.h"
#include "script/nScriptPackage.h"

namespace {

constexpr int kNodes = 1000;

// A camera server with no current camera: the traversal enters nothing.
class nNoCamera : public nRoot, public nCameraView {
public:
    static const nClassInfo classInfo;
    bool HasCurrentCamera() override { return false; }
    void ApplyView(nGfxServer*, matrix44& view) override { view.Ident(); }
};
const nClassInfo nNoCamera::classInfo = nClassInfo::Make<nNoCamera>("nnocamera", "nroot");

// Graphics that draws nothing but keeps the window "open".
class nNullGfx : public nGfxServer {
public:
    static const nClassInfo classInfo;
    bool Trigger() override { return true; }
};
const nClassInfo nNullGfx::classInfo = nClassInfo::Make<nNullGfx>("nnullgfx", "ngfxserver");

class ObserverBench {
public:
    ObserverBench() {
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nScriptPackage(ks);
            nGfxPackage(ks);
            nScenePackage(ks);
            nAnimPackage(ks);
            nCollidePackage(ks);
            nPhysikPackage(ks);
            nInputPackage(ks);
            nAudioPackage(ks);
            nLogicPackage(ks);
            ks->AddClass(nNullGfx::classInfo);
            ks->AddClass(nNoCamera::classInfo);
        });
        kernel->GetFileServer<nFileServer2>()->SetAssign("bin", BW_SOURCE_DIR "/data/bin/win32/");
        kernel->New("nnocamera", "/sys/servers/camera");
        kernel->New("nluaserver2", "/sys/servers/script");
        gfx = static_cast<nGfxServer*>(kernel->New("nnullgfx", "/sys/servers/gfx"));
        channel = static_cast<nChannelServer*>(kernel->New("nchannelserver", "/sys/servers/channel"));
        kernel->New("nvariableserver", "/sys/servers/variable");
        kernel->New("nshadowserver", "/sys/servers/shadow");
        kernel->New("nscenegraph2", "/sys/servers/sgraph2");
        input = static_cast<nInputServer*>(kernel->New("ninputserver", "/sys/servers/input"));
        audio = static_cast<nAudioServer2*>(kernel->New("naudioserver2", "/sys/servers/audio"));
        event = static_cast<nLogicEventServer*>(kernel->New("nlogiceventserver", "/sys/servers/event"));
        auto* collide = static_cast<nCollideServer2*>(kernel->New("ncollideserver2", "/sys/servers/collide2"));
        collide->NewContext("picking");
        collide->NewContext("physik");
        kernel->New("nodephysikserver", "/sys/servers/physik");
        gfx2d = static_cast<nLogic2DServer*>(kernel->New("nlogic2dserver", "/sys/servers/gfx2d"));
        graph = static_cast<nLogicGraph*>(kernel->New("nlogicgraph", "/sys/servers/lgraph"));
        root = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/usr/logic"));
        for (int i = 0; i < kNodes; i++) {
            std::string path = "/usr/logic/n" + std::to_string(i);
            auto* n = static_cast<nLogicNode*>(kernel->New("nlogicnode", path.c_str()));
            // Periods no frame reaches: the timers count, their scripts never run.
            n->AddTimer("a", "loop", 0.0f, 1e9f, "x = 1");
            n->AddTimer("b", "oneshot", 0.0f, 1e9f, "x = 2");
        }
        obs = static_cast<nBaseObserver*>(kernel->New("nbaseobserver", "/sys/servers/observer"));
        obs->ResetTime();
        kernel->GetTimeServer()->EnableFrameTime();
    }
    ~ObserverBench() { delete kernel; }

    nKernelServer* kernel;
    nGfxServer* gfx;
    nChannelServer* channel;
    nInputServer* input;
    nAudioServer2* audio;
    nLogicEventServer* event;
    nLogic2DServer* gfx2d;
    nLogicGraph* graph;
    nLogicNode* root;
    nBaseObserver* obs;
};

void BM_ObserverFrame(benchmark::State& state) {
    ObserverBench b;
    for (auto _ : state) benchmark::DoNotOptimize(b.obs->RunFrame());
}
BENCHMARK(BM_ObserverFrame)->Unit(benchmark::kMicrosecond);

// The same servers called by hand in the frame's order; the nodes' clocks and timers
// are plain floats.
void BM_HandLoop(benchmark::State& state) {
    ObserverBench b;
    struct Timers {
        float clock = 0.0f;
        float time[2] = {0.0f, 0.0f};
        float period[2] = {1e9f, 1e9f};
    };
    std::vector<Timers> timers(kNodes);
    nTimeServer* ts = b.kernel->GetTimeServer();
    nScriptServer* script = static_cast<nScriptServer*>(b.kernel->Lookup("/sys/servers/script"));
    int gameChannel = b.channel->GenChannel("gametime");
    int frameChannel = b.channel->GenChannel("frametime");
    double prev = 0.0;
    for (auto _ : state) {
        b.gfx->Trigger();
        script->Trigger();
        ts->Trigger();
        double now = ts->GetFrameTime();
        float ft = float(now - prev);
        prev = now;
        if (!(ft > 0.0f)) ft = 0.0f;
        if (ft > 1.0f) ft = 1.0f;
        b.event->Trigger();
        b.input->Trigger(now);
        b.graph->ReleaseQueued();
        for (Timers& t : timers) {
            for (int j = 0; j < 2; j++) {
                t.time[j] += ft;
                if (t.time[j] >= t.period[j]) t.time[j] = 0.0f;
            }
            t.clock += ft;
        }
        b.gfx2d->Trigger();
        b.graph->TraversePass(b.root);
        if (ft > 0.0f) {
            b.graph->AnalyseCollisions();
            b.graph->Step(ft);
        }
        b.gfx->BeginScene();
        b.audio->BeginScene(now);
        b.channel->SetChannel1f(gameChannel, float(now));
        b.channel->SetChannel1f(frameChannel, ft);
        b.graph->VisualPass();
        b.audio->EndScene();
        b.gfx->EndScene();
        b.input->FlushEvents();
        benchmark::DoNotOptimize(timers[0].clock);
    }
}
BENCHMARK(BM_HandLoop)->Unit(benchmark::kMicrosecond);

}  // namespace
