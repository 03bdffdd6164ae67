// One frame of the logic graph's passes (root Trigger, traversal with UpdateModules, the
// visual pass with Visualize) over 1,000 game items ("nbwitem"), against the same passes
// over 1,000 plain items ("nlogicitem"), the item's own base, on the same servers in the
// same run. Every node has the same modules: a sphere collision module and a mass in its
// "physik" states and a visualizer that reads the render variables it is given. Their
// collision and physics are switched off, so nothing enters the collide context (whose
// tables take a few hundred objects a frame) and there are no contacts: the ratio is
// what the game item adds (its table, states and render variables), not the graph's
// own cost. The counter "allocs" is the number of C++ allocations per frame.
//
// Building a level: "v_updatelevel_v" over a store tree of 1,000 item stores, against a
// plain loop that clones the same prototype under the same names (nRoot::Clone), links
// each clone to its store and restores it. Both start from an empty level each time.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/BenchAllocations.h"
#include "bench/BenchLogicKernel.h"
#include "collide/nCollideServer2.h"
#include "game/nGamePackage.h"
#include "game/nbwLevel.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "logic/nLogicGraph.h"
#include "logic/nLogicItem.h"
#include "logic/nModPhysik.h"
#include "logic/nModSimpleCollision.h"
#include "logic/nModule.h"
#include "logic/nPersistLogic.h"
#include "logic/nVariableContext.h"
#include "scene/nChannelServer.h"

namespace {

constexpr int kItems = 1000;
constexpr float kFrame = 1.0f / 30.0f;

// Reads every float it is given, as a shader would.
class nBenchVisualizer : public nModule {
public:
    static const nClassInfo classInfo;
    int GetType() const override { return Visualizer; }
    void Visualize(const matrix44&, nSceneGraph2*, nVariableContext* vars) override {
        for (int i = 0; vars && i < vars->Size(); i++) sum += vars->Get(i).GetF();
    }
    float sum = 0.0f;
};
const nClassInfo nBenchVisualizer::classInfo = nClassInfo::Make<nBenchVisualizer>("nbenchvisualizer", "nmodule");

class ItemBench {
public:
    explicit ItemBench(const char* itemClass) {
        kernel = bench::NewLogicKernel();
        nGamePackage(kernel);
        kernel->AddClass(nBenchVisualizer::classInfo);
        kernel->GetFileServer<nFileServer2>()->SetAssign("bin", BW_SOURCE_DIR "/data/bin/win32/");
        kernel->New("nluaserver2", "/sys/servers/script");
        kernel->New("ngfxserver", "/sys/servers/gfx");
        auto* channels = static_cast<nChannelServer*>(kernel->New("nchannelserver", "/sys/servers/channel"));
        kernel->New("nvariableserver", "/sys/servers/variable");
        kernel->New("nshadowserver", "/sys/servers/shadow");
        kernel->New("nscenegraph2", "/sys/servers/sgraph2");
        kernel->New("nlogiceventserver", "/sys/servers/event");
        auto* collide = static_cast<nCollideServer2*>(kernel->New("ncollideserver2", "/sys/servers/collide2"));
        for (const char* ctx : {"picking", "physik", "damage"}) collide->NewContext(ctx);
        collide->BeginCollClasses();
        collide->AddCollClass("solid");
        collide->EndCollClasses();
        kernel->New("nodephysikserver", "/sys/servers/physik");
        kernel->New("nbenchcamera", "/sys/servers/camera");
        graph = static_cast<nLogicGraph*>(kernel->New("nlogicgraph", "/sys/servers/lgraph"));
        root = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/usr/logic"));
        channels->SetChannel1f(channels->GenChannel("frametime"), kFrame);
        for (int i = 0; i < kItems; i++) {
            const std::string path = "/usr/logic/item" + std::to_string(i);
            auto* item = static_cast<nLogicItem*>(kernel->New(itemClass, path.c_str()));
            item->SetPosition(vector3(float(i % 40) * 3.0f, 0.0f, float(i / 40) * 3.0f));
            auto* shape = static_cast<nModSimpleCollision*>(kernel->New("nmodsimplecollision", (path + "/shape").c_str()));
            shape->SetRadius(0.5f);
            shape->SetCollClass("solid");
            item->AddCollision("physik", "shape");
            static_cast<nModPhysik*>(kernel->New("nmodphysik", (path + "/mass").c_str()))->SetBox(1.0f, 1.0f, 1.0f);
            item->AddPhysik("physik", "mass");
            kernel->New("nbenchvisualizer", (path + "/look").c_str());
            item->AddVisualizer("default", "look");
            item->SetCollision(false);
            item->SetPhysik(false);
        }
        root->Setup();
        Frame();
        if (graph->GetVisibleCount() != kItems) std::abort();
    }
    ~ItemBench() { delete kernel; }

    void Frame() {
        root->Trigger(graph);
        graph->TraversePass(root);
        graph->VisualPass();
    }

    nKernelServer* kernel;
    nLogicGraph* graph;
    nLogicNode* root;
};

void Run(benchmark::State& state, const char* itemClass) {
    ItemBench b(itemClass);
    long allocs = 0;
    for (auto _ : state) {
        const long before = bench::allocations.load();
        b.Frame();
        allocs = bench::allocations.load() - before;
        benchmark::DoNotOptimize(b.graph->GetVisibleCount());
    }
    state.counters["allocs"] = double(allocs);
}

void BM_GameItems(benchmark::State& state) {
    Run(state, "nbwitem");
}
BENCHMARK(BM_GameItems)->Unit(benchmark::kMicrosecond);

void BM_PlainItems(benchmark::State& state) {
    Run(state, "nlogicitem");
}
BENCHMARK(BM_PlainItems)->Unit(benchmark::kMicrosecond);

class LevelBench {
public:
    LevelBench() {
        kernel = bench::NewLogicKernel();
        nGamePackage(kernel);
        kernel->GetFileServer<nFileServer2>()->SetAssign("bin", BW_SOURCE_DIR "/data/bin/win32/");
        kernel->New("nluaserver2", "/sys/servers/script");
        kernel->New("nchannelserver", "/sys/servers/channel");
        kernel->New("nvariableserver", "/sys/servers/variable");
        kernel->New("nlogiceventserver", "/sys/servers/event");
        auto* collide = static_cast<nCollideServer2*>(kernel->New("ncollideserver2", "/sys/servers/collide2"));
        for (const char* ctx : {"picking", "physik", "damage"}) collide->NewContext(ctx);
        kernel->New("nodephysikserver", "/sys/servers/physik");
        kernel->New("nbenchcamera", "/sys/servers/camera");
        kernel->New("nlogicgraph", "/sys/servers/lgraph");
        kernel->New("nlogicnode", "/usr/logic");
        proto = kernel->New("nbwitem", "/usr/prototypes/item");
        store = static_cast<nPersistLogic*>(kernel->New("npersistlogic", "/usr/persist/lvl"));
        for (int i = 0; i < kItems; i++) {
            const std::string path = "/usr/persist/lvl/item" + std::to_string(i);
            static_cast<nPersistLogic*>(kernel->New("npersistlogic", path.c_str()))->SetS("prototype", "item");
        }
        level = static_cast<nbwLevel*>(kernel->New("nbwlevel", "/usr/logic/level"));
        level->SetPersist("/usr/persist/lvl");
        // Once, so that both sides restore from filled stores.
        level->UpdateLevel();
        Empty();
    }
    ~LevelBench() { delete kernel; }

    void Empty() {
        while (nRoot* c = level->GetHead()) c->Release();
    }
    void Plain() {
        kernel->PushCwd(level);
        for (nRoot* s = store->GetHead(); s; s = s->GetSucc()) {
            auto* node = static_cast<nLogicNode*>(proto->Clone(s->GetName()));
            node->SetTime(0.0f);
            node->SetPersist(s->GetFullName().c_str());
        }
        kernel->PopCwd();
    }

    nKernelServer* kernel;
    nRoot* proto;
    nPersistLogic* store;
    nbwLevel* level;
};

void RunLevel(benchmark::State& state, bool plain) {
    LevelBench b;
    for (auto _ : state) {
        if (plain) b.Plain();
        else b.level->UpdateLevel();
        state.PauseTiming();
        if (b.level->GetNumChildren() != kItems) std::abort();
        b.Empty();
        state.ResumeTiming();
    }
}

void BM_LevelUpdate(benchmark::State& state) {
    RunLevel(state, false);
}
BENCHMARK(BM_LevelUpdate)->Unit(benchmark::kMillisecond);

void BM_LevelPlainClones(benchmark::State& state) {
    RunLevel(state, true);
}
BENCHMARK(BM_LevelPlainClones)->Unit(benchmark::kMillisecond);

}  // namespace
