// One frame of the base observer over logic nodes with two timers each (1,000, or as many
// as the argument of the runs that take one, to show the frame stays linear; no current
// camera; null graphics, audio and input servers), against a hand loop making the same
// server calls and the same timer arithmetic over plain arrays (the floor a flat layout
// gives), and against the same over a tree of objects of the node class's size (the
// object model's cost). The game observer's frame is measured against the base
// observer's on the same scene with the game's five input focus groups, game state 0x2.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "anim/nAnimPackage.h"
#include "audio/nAudioPackage.h"
#include "audio/nAudioServer2.h"
#include "bench/BenchAllocations.h"
#include "bench/BenchObjectTree.h"
#include "collide/nCollidePackage.h"
#include "collide/nCollideServer2.h"
#include "game/nGamePackage.h"
#include "game/nbwGameObserver.h"
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
#include "logic/nLogicInput.h"
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
    explicit ObserverBench(const char* observerClass = "nbaseobserver", bool gameScene = false, int nodes = kNodes) {
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
            nGamePackage(ks);
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
        for (int i = 0; i < nodes; i++) {
            std::string path = "/usr/logic/n" + std::to_string(i);
            auto* n = static_cast<nLogicNode*>(kernel->New("nlogicnode", path.c_str()));
            // Periods no frame reaches: the timers count, their scripts never run.
            n->AddTimer("a", "loop", 0.0f, 1e9f, "x = 1");
            n->AddTimer("b", "oneshot", 0.0f, 1e9f, "x = 2");
        }
        if (gameScene) {
            kernel->New("nlogicinputserver", "/sys/servers/logicinput");
            for (const char* g : {"flash", "video", "diver", "mainmenu", "inventory"}) {
                std::string path = std::string("/usr/logic/in_") + g;
                auto* in = static_cast<nLogicInput*>(kernel->New("nlogicinput", path.c_str()));
                in->SetGroup(g);
                in->SetFocus(true);
            }
            kernel->New("nroot", "/usr/persist");
            kernel->New("npersist", "/usr/persist/gamestatus");
        }
        obs = static_cast<nBaseObserver*>(kernel->New(observerClass, "/sys/servers/observer"));
        if (gameScene) {
            obs->SetGameState(nbwGameObserver::Running, true);
            obs->SetSleep(0.0f);  // the frames, not the sleep
        }
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
    ObserverBench b("nbaseobserver", false, int(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(b.obs->RunFrame());
}
BENCHMARK(BM_ObserverFrame)->Arg(100)->Arg(kNodes)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// The game scene under the base observer and under "nbwobserver": their ratio is what
// the game observer adds to a frame; "allocs" counts allocations per frame.
void GameSceneFrames(benchmark::State& state, const char* observerClass) {
    ObserverBench b(observerClass, true);
    bench::SteadyAllocations allocs;
    for (auto _ : state) {
        benchmark::DoNotOptimize(b.obs->RunFrame());
        allocs.FrameDone();
    }
    state.counters["allocs"] = allocs.PerFrame();
}

void BM_BaseObserverGameScene(benchmark::State& state) { GameSceneFrames(state, "nbaseobserver"); }
BENCHMARK(BM_BaseObserverGameScene)->Unit(benchmark::kMicrosecond);

void BM_GameObserverFrame(benchmark::State& state) { GameSceneFrames(state, "nbwobserver"); }
BENCHMARK(BM_GameObserverFrame)->Unit(benchmark::kMicrosecond);

// The servers called by hand in the frame's order, with `nodes(frameTime)` serving the
// nodes where the logic root's Trigger runs.
class HandFrame {
public:
    explicit HandFrame(ObserverBench& b)
        : b_(b),
          ts_(b.kernel->GetTimeServer()),
          script_(static_cast<nScriptServer*>(b.kernel->Lookup("/sys/servers/script"))),
          gameChannel_(b.channel->GenChannel("gametime")),
          frameChannel_(b.channel->GenChannel("frametime")) {}
    template <class Nodes>
    void Run(Nodes&& nodes) {
        b_.gfx->Trigger();
        script_->Trigger();
        ts_->Trigger();
        double now = ts_->GetFrameTime();
        float ft = float(now - prev_);
        prev_ = now;
        if (!(ft > 0.0f)) ft = 0.0f;
        if (ft > 1.0f) ft = 1.0f;
        b_.event->Trigger();
        b_.input->Trigger(now);
        b_.graph->ReleaseQueued();
        nodes(ft);
        b_.gfx2d->Trigger();
        b_.graph->TraversePass(b_.root);
        if (ft > 0.0f) {
            b_.graph->AnalyseCollisions();
            b_.graph->Step(ft);
        }
        b_.gfx->BeginScene();
        b_.audio->BeginScene(now);
        b_.channel->SetChannel1f(gameChannel_, float(now));
        b_.channel->SetChannel1f(frameChannel_, ft);
        b_.graph->VisualPass();
        b_.audio->EndScene();
        b_.gfx->EndScene();
        b_.input->FlushEvents();
    }

private:
    ObserverBench& b_;
    nTimeServer* ts_;
    nScriptServer* script_;
    int gameChannel_, frameChannel_;
    double prev_ = 0.0;
};

// The nodes' clocks and timers are plain floats.
void BM_HandLoop(benchmark::State& state) {
    ObserverBench b;
    struct Timers {
        float clock = 0.0f;
        float time[2] = {0.0f, 0.0f};
        float period[2] = {1e9f, 1e9f};
    };
    std::vector<Timers> timers(kNodes);
    HandFrame frame(b);
    for (auto _ : state) {
        frame.Run([&](float ft) {
            for (Timers& t : timers) {
                for (int j = 0; j < 2; j++) {
                    t.time[j] += ft;
                    if (t.time[j] >= t.period[j]) t.time[j] = 0.0f;
                }
                t.clock += ft;
            }
        });
        benchmark::DoNotOptimize(timers[0].clock);
    }
}
BENCHMARK(BM_HandLoop)->Unit(benchmark::kMicrosecond);

}  // namespace

// The object model's baseline: nodes made one by one in tree order at the node class's
// size, each with its clock and two timers (time, period, repeat, script) in itself, served
// by their parent's walk through the children's links and a virtual Trigger a node.
namespace bench {

class TimedObject : public TreeObject {
public:
    struct Timer {
        float time = 0.0f;
        float period = 1e9f;
        int repeat = 0;
        const char* script = nullptr;
    };
    virtual bool Trigger(float frameTime);
    float clock = 0.0f;
    bool active = true;
    int numTimers = 0;
    Timer timers[2];
};

bool TimedObject::Trigger(float frameTime) {
    for (TreeObject* c = firstChild; c; c = c->nextSibling) {
        auto* child = static_cast<TimedObject*>(c);
        if (!child->active) continue;
        for (int j = 0; j < child->numTimers; j++) {
            Timer& t = child->timers[j];
            t.time += frameTime;
            if (t.time >= t.period) t.time = 0.0f;
        }
        child->clock += frameTime;
        child->Trigger(frameTime);
    }
    return true;
}

}  // namespace bench

namespace {

// The object model's tree: a root and `nodes` children made one by one, two timers each.
bench::TimedObject* TimedTree(bench::ObjectHeap& heap, int nodes) {
    auto* root = heap.New<bench::TimedObject>(sizeof(nLogicNode));
    for (int i = 0; i < nodes; i++) {
        auto* n = heap.New<bench::TimedObject>(sizeof(nLogicNode));
        n->numTimers = 2;
        n->timers[0].script = "x = 1";
        n->timers[1] = {0.0f, 1e9f, 1, "x = 2"};
        root->AddChild(n);
    }
    return root;
}

void BM_ObjectModel(benchmark::State& state) {
    const int nodes = int(state.range(0));
    ObserverBench b("nbaseobserver", false, nodes);
    bench::ObjectHeap heap;
    bench::TimedObject* root = TimedTree(heap, nodes);
    HandFrame frame(b);
    for (auto _ : state) {
        frame.Run([&](float ft) { root->Trigger(ft); });
        benchmark::DoNotOptimize(root->firstChild);
    }
}
BENCHMARK(BM_ObjectModel)->Arg(100)->Arg(kNodes)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// Both frames in one benchmark, alternating in blocks of about 5 ms each: on a shared
// machine the memory's speed drifts over seconds, which separate benchmarks of a tree
// larger than the caches see as noise. Each block's ratio pairs neighbours in time; the
// counters give their median and the ratio of the fastest blocks.
void BM_ObserverVsObjectModel(benchmark::State& state) {
    const int nodes = int(state.range(0));
    ObserverBench b("nbaseobserver", false, nodes);
    bench::ObjectHeap heap;
    bench::TimedObject* root = TimedTree(heap, nodes);
    HandFrame frame(b);
    using Clock = std::chrono::steady_clock;
    const int perBlock = std::max(4, 300000 / std::max(nodes, 1));
    constexpr int kBlocks = 31;
    std::vector<double> ours, base, ratios;
    for (auto _ : state) {
        ours.clear();
        base.clear();
        ratios.clear();
        for (int block = 0; block < kBlocks; block++) {
            auto t0 = Clock::now();
            for (int i = 0; i < perBlock; i++) benchmark::DoNotOptimize(b.obs->RunFrame());
            auto t1 = Clock::now();
            for (int i = 0; i < perBlock; i++) {
                frame.Run([&](float ft) { root->Trigger(ft); });
                benchmark::DoNotOptimize(root->firstChild);
            }
            auto t2 = Clock::now();
            ours.push_back(std::chrono::duration<double>(t1 - t0).count());
            base.push_back(std::chrono::duration<double>(t2 - t1).count());
            ratios.push_back(ours.back() / base.back());
        }
    }
    auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    state.counters["median_ratio"] = median(ratios);
    state.counters["min_ratio"] = *std::min_element(ours.begin(), ours.end()) / *std::min_element(base.begin(), base.end());
    state.counters["frame_us"] = median(ours) / perBlock * 1e6;
}
BENCHMARK(BM_ObserverVsObjectModel)->Arg(100)->Arg(kNodes)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
