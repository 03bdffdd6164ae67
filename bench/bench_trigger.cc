// 200 trigger zones with 5 intruders each (groups of five zones share theirs), all
// staying inside and all bound on both channels, so every zone announces five "current" notifications a frame. Our side is
// every zone's AnalyseCollision over the collision reports the "trigger" context holds
// (its Collide runs once before timing); the baseline is a plain loop doing the same
// membership updates over the same reports into fixed arrays and appending the same
// firings (event, intruder path) to a preallocated array. The queued notifications are
// worked off between iterations, untimed, on neither side. The counter "allocs" is the
// number of C++ allocations per pass on our side (none wanted). Both sides ask the
// context for each zone's reports; the third benchmark times those queries alone.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench/BenchAllocations.h"
#include "bench/BenchLogicKernel.h"
#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollideReport.h"
#include "collide/nCollideServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nScriptServer.h"
#include "logic/nLogicEventServer.h"
#include "logic/nLogicGraph.h"
#include "logic/nLogicTrigger2.h"
#include "logic/nModCollisionState.h"
#include "logic/nModSimpleCollision.h"
#include "scene/nChannelServer.h"


namespace {

constexpr int kZones = 200;
constexpr int kIntruders = 5;
// Zones that share one set of intruders.
constexpr int kShared = 5;
constexpr float kFrame = 1.0f / 30.0f;

class TriggerBench {
public:
    TriggerBench() {
        kernel = bench::NewLogicKernel();
        script = static_cast<nScriptServer*>(kernel->New("nluaserver2", "/sys/servers/script"));
        kernel->New("ngfxserver", "/sys/servers/gfx");
        auto* channels = static_cast<nChannelServer*>(kernel->New("nchannelserver", "/sys/servers/channel"));
        kernel->New("nvariableserver", "/sys/servers/variable");
        events = static_cast<nLogicEventServer*>(kernel->New("nlogiceventserver", "/sys/servers/event"));
        collide = static_cast<nCollideServer2*>(kernel->New("nxcollideserver", "/sys/servers/collide2"));
        collide->NewContext("picking");
        ctx = collide->NewContext("trigger");
        collide->BeginCollClasses();
        collide->AddCollClass("ghost");
        collide->AddCollClass("solid");
        collide->EndCollClasses();
        collide->BeginCollTypes();
        collide->AddCollType("ghost", "solid", COLLTYPE_QUICK);
        collide->EndCollTypes();
        kernel->New("nodephysikserver", "/sys/servers/physik");
        kernel->New("nbenchcamera", "/sys/servers/camera");
        graph = static_cast<nLogicGraph*>(kernel->New("nlogicgraph", "/sys/servers/lgraph"));
        root = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/usr/logic"));
        channels->SetChannel1f(channels->GenChannel("frametime"), kFrame);
        const char* result = nullptr;
        script->Run("function noted(p) end", result);
        kernel->New("nlogicnode", "/usr/logic/level");

        // A context takes at most 255 moving and 355 resting objects a frame, so groups
        // of five zones share their five intruders: 200 zones, 200 intruders, 1000 pairs.
        for (int g = 0; g < kZones / kShared; g++) {
            const std::string group = "/usr/logic/level/group" + std::to_string(g);
            const vector3 at(float(g % 8) * 10.0f, 0.0f, float(g / 8) * 10.0f);
            for (int z = 0; z < kShared; z++) {
                const std::string path = group + "_zone" + std::to_string(z);
                auto* zone = static_cast<nLogicTrigger2*>(kernel->New("nlogictrigger2", path.c_str()));
                zone->SetPosition(at);
                auto* shape =
                    static_cast<nModSimpleCollision*>(kernel->New("nmodsimplecollision", (path + "/shape").c_str()));
                shape->SetRadius(2.0f);
                shape->SetCollClass("ghost");
                shape->SetDynamic(true);
                zone->AddCollision("trigger", "shape");
                for (const char* e : {"trigger_enter", "trigger_current", "trigger_leave"}) zone->SetEventScript(e, "x = 1");
                for (const char* e : {"onenter", "oncurrent", "onleave"}) zone->AddEventFunction(e, "noted");
                zones.push_back(zone);
            }
            for (int i = 0; i < kIntruders; i++) {
                const std::string ip = group + "_diver" + std::to_string(i);
                auto* in = static_cast<nLogicCollision2*>(kernel->New("nlogiccollision2", ip.c_str()));
                in->SetPosition(at + vector3(float(i) * 0.2f, 0.0f, 0.0f));
                auto* s = static_cast<nModSimpleCollision*>(kernel->New("nmodsimplecollision", (ip + "/s").c_str()));
                s->SetRadius(0.5f);
                s->SetCollClass("solid");
                in->AddCollision("body", "s");
                in->SetCollContext("body", "trigger");
            }
        }
        // The intruders enter, then stay: from the second frame on every one is current.
        for (int f = 0; f < 3; f++) {
            events->Trigger();
            root->Trigger(graph);
            graph->TraversePass(root);
            graph->AnalyseCollisions();
            graph->Step(kFrame);
        }
        Drain();
        MakeRaw();
    }
    ~TriggerBench() { delete kernel; }

    // What the passes queued, worked off.
    void Drain() {
        events->Trigger();
        root->Trigger(graph);
    }

    // Our side: every zone's analysis over the reports the context holds.
    void Ours() {
        for (nLogicTrigger2* z : zones) z->AnalyseCollision();
    }

    // The baseline's zone: members and their states in fixed arrays.
    struct RawZone {
        const nModuleState* state = nullptr;
        const nLogicNode* self = nullptr;
        nLogicNode* node[16] = {};
        int st[16] = {};
        int count = 0;
    };
    struct Firing {
        int event = 0;
        std::string path;
    };
    void MakeRaw() {
        raw = std::vector<RawZone>(zones.size());
        for (size_t i = 0; i < zones.size(); i++) {
            raw[i].state = zones[i]->GetTriggerState();
            raw[i].self = zones[i];
            for (int k = 0; k < zones[i]->GetNumIntruders(); k++) {
                raw[i].node[k] = zones[i]->GetIntruder(k).GetNode();
                raw[i].st[k] = 2;
            }
            raw[i].count = zones[i]->GetNumIntruders();
        }
        // Room for every firing of a frame, each path with room to spare.
        firings = std::vector<Firing>(size_t(kZones * kIntruders * 2));
        for (Firing& f : firings) f.path.reserve(64);
    }
    static nLogicNode* Owner(const nCollideObject2* obj) { return obj->state ? obj->state->GetOwner() : nullptr; }
    // The same membership updates and firings by hand.
    void Raw() {
        numFirings = 0;
        for (RawZone& z : raw) {
            for (int k = 0; k < z.count; k++) z.st[k] = 3;
            nCollidePair** list = nullptr;
            const int n = ctx->GetCollisions(z.state, list);
            for (int p = 0; p < n; p++) {
                nLogicNode* node = Owner(list[p]->objB);
                if (node == z.self) node = Owner(list[p]->objA);
                if (!node || node == z.self) continue;
                int k = 0;
                while (k < z.count && z.node[k] != node) k++;
                if (k == z.count) {
                    z.node[z.count] = node;
                    z.st[z.count++] = 1;
                } else if (z.st[k] == 3) {
                    z.st[k] = 2;
                }
            }
            for (int k = 0; k < z.count;) {
                z.node[k]->GetFullName(pathBuf);
                Firing& f = firings[size_t(numFirings++)];
                f.event = z.st[k];
                f.path.assign(pathBuf);
                if (z.st[k] == 3) {
                    for (int m = k + 1; m < z.count; m++) {
                        z.node[m - 1] = z.node[m];
                        z.st[m - 1] = z.st[m];
                    }
                    z.count--;
                } else {
                    k++;
                }
            }
        }
    }

    nKernelServer* kernel;
    nScriptServer* script;
    nLogicEventServer* events;
    nCollideServer2* collide;
    nCollideContext2* ctx;
    nLogicGraph* graph;
    nLogicNode* root;
    std::vector<nLogicTrigger2*> zones;
    std::vector<RawZone> raw;
    std::vector<Firing> firings;
    int numFirings = 0;
    std::string pathBuf;
};

TriggerBench& Bench() {
    static TriggerBench bench;
    return bench;
}

void BM_TriggerZones(benchmark::State& state) {
    TriggerBench& b = Bench();
    long allocs = 0, passes = 0;
    for (auto _ : state) {
        const long before = bench::allocations.load();
        b.Ours();
        allocs += bench::allocations.load() - before;
        passes++;
        state.PauseTiming();
        b.Drain();
        state.ResumeTiming();
    }
    state.counters["allocs"] = passes ? double(allocs) / double(passes) : 0.0;
    state.counters["intruders"] = double(b.zones.size() * kIntruders);
}
BENCHMARK(BM_TriggerZones)->Unit(benchmark::kMicrosecond);

void BM_TriggerZonesRaw(benchmark::State& state) {
    TriggerBench& b = Bench();
    for (auto _ : state) {
        b.Raw();
        benchmark::DoNotOptimize(b.firings.data());
    }
    state.counters["firings"] = double(b.numFirings);
}
BENCHMARK(BM_TriggerZonesRaw)->Unit(benchmark::kMicrosecond);

// What both sides spend in the context's query alone, to tell it from the zones' own work.
void BM_TriggerZonesQueryOnly(benchmark::State& state) {
    TriggerBench& b = Bench();
    for (auto _ : state) {
        int found = 0;
        for (const TriggerBench::RawZone& z : b.raw) {
            nCollidePair** list = nullptr;
            found += b.ctx->GetCollisions(z.state, list);
        }
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_TriggerZonesQueryOnly)->Unit(benchmark::kMicrosecond);

}  // namespace
