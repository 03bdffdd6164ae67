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
//
// Fish: 500 cruising fish ("nbwfish"), each frame calling every fish's Trigger and
// AnalyseCollision directly, against a plain loop over 500 plain structs that does the
// same steering arithmetic, the same draws of the engine's generator and the same
// per-state queries of the collide contexts (which hold no contacts). One benchmark
// iteration is one frame of 1/30 s; each runs 1,000 frames.
//
// Heads-up display: the display's Trigger ("nbwuwmenu" with every child, our movies)
// over a level of three human and four other divers ("nbwdiver") with the inventory bar
// open, against a hand loop that makes the same Flash variable writes and reads through
// the same nodes and their movie modules, the same sprite and activity calls, and runs
// the same children's Trigger; both pay the movies' own cost, so the ratio is what the
// display adds. The counter "allocs" is C++ allocations per frame from the second on.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "bench/BenchAllocations.h"
#include "bench/BenchLogicKernel.h"
#include "collide/nCollideContext2.h"
#include "collide/nCollideServer2.h"
#include "game/nGamePackage.h"
#include "game/nbwActor.h"
#include "game/nbwContainer.h"
#include "game/nbwItem.h"
#include "game/nbwFish.h"
#include "game/nbwLevel.h"
#include "game/nbwUwMenu.h"
#include "input/nInputPackage.h"
#include "logic/nLogicFlash.h"
#include "logic/nLogicSprite.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nRandom.h"
#include "logic/nLogicGraph.h"
#include "logic/nLogicItem.h"
#include "logic/nModCollisionState.h"
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

// The game's classes and the servers a logic frame runs on; the frame time 1/30 s.
nKernelServer* NewGameKernel() {
    nKernelServer* kernel = bench::NewLogicKernel();
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
    kernel->New("nlogicgraph", "/sys/servers/lgraph");
    kernel->New("nlogicnode", "/usr/logic");
    channels->SetChannel1f(channels->GenChannel("frametime"), kFrame);
    return kernel;
}

class ItemBench {
public:
    explicit ItemBench(const char* itemClass) {
        kernel = NewGameKernel();
        graph = static_cast<nLogicGraph*>(kernel->Lookup("/sys/servers/lgraph"));
        root = static_cast<nLogicNode*>(kernel->Lookup("/usr/logic"));
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

// -- fish -----------------------------------------------------------------------------

constexpr int kFish = 500;
constexpr int kFishFrames = 1000;

// Every fish with one zone module in each of its four collision states, so that its
// contact queries run; collision is off, so the contexts stay empty.
class FishBench {
public:
    FishBench() {
        kernel = NewGameKernel();
        graph = static_cast<nLogicGraph*>(kernel->Lookup("/sys/servers/lgraph"));
        for (int i = 0; i < kFish; i++) {
            const std::string path = "/usr/logic/fish" + std::to_string(i);
            auto* fish = static_cast<nbwFish*>(kernel->New("nbwfish", path.c_str()));
            fish->SetPosition(vector3(float(i % 25) * 2.0f - 24.0f, 0.0f, float(i / 25) * 2.5f - 24.0f));
            // Kept apart from the fish, as a level keeps its modules, so the fish has no
            // children to serve.
            const std::string zonePath = "/usr/zones/fish" + std::to_string(i);
            auto* zone = static_cast<nModSimpleCollision*>(kernel->New("nmodsimplecollision", zonePath.c_str()));
            zone->SetRadius(1.0f);
            zone->SetCollClass("solid");
            for (const char* state : {"picking", "attack", "flee", "cruise"}) fish->AddCollision(state, zonePath.c_str());
            fish->SetCollision(false);
            fishes.push_back(fish);
        }
        nRandom::Seed(1);
    }
    ~FishBench() { delete kernel; }

    void Frame() {
        for (nbwFish* f : fishes) {
            f->Trigger(graph);
            f->AnalyseCollision();
        }
    }

    nKernelServer* kernel;
    nLogicGraph* graph;
    std::vector<nbwFish*> fishes;
};

// What a cruising fish keeps, and its zones to query.
struct PlainFish {
    vector3 box{25.0f, 5.0f, 25.0f};
    vector3 pos, vel{0.1f, 0.02f, 0.1f}, steer, avoid;
    float angle = 0.2f, timer = 0.0f, time = 0.0f;
    int side = 0;
    quaternion rot;
    nModCollisionState* zones[4];
};

vector3 Turn(const vector3& v, float a) {
    const float c = std::cos(a), s = std::sin(a);
    return vector3(v.x * c + v.z * s, v.y, v.z * c - v.x * s);
}

// The cruise step of a fish written out flat.
void PlainStep(PlainFish& f, float ft) {
    f.time += ft;
    float l = std::sqrt(f.vel.x * f.vel.x + f.vel.z * f.vel.z);
    if (l > 1e-7f) {
        f.vel.x /= l;
        f.vel.z /= l;
    }
    f.timer -= ft;
    if (f.timer < 0.0f) {
        f.timer = 2.5f;
        f.angle = 0.5f - float(nRandom::Next() % 1000) / 1000.0f;
    }
    vector3 force = Turn(f.vel, f.angle);
    force.y *= 0.005f;
    force += f.vel * 0.1f;
    const float rx = f.pos.x / f.box.x, rz = f.pos.z / f.box.z;
    if (std::fabs(rx) >= 0.75f || std::fabs(rz) >= 0.75f) {
        vector3 t = f.vel;
        if (f.side != 0) {
            t = Turn(f.vel, float(f.side) * 1.5f);
        } else {
            const bool alongX = std::fabs(rx) > 0.75f;
            const float p = alongX ? f.pos.x : f.pos.z, h = alongX ? f.box.x : f.box.z;
            const vector3 a = Turn(f.vel, 1.5f), b = Turn(f.vel, -1.5f);
            const float straight = std::fabs((p + (alongX ? f.vel.x : f.vel.z)) / h);
            if (std::fabs((p + (alongX ? a.x : a.z)) / h) <= straight) {
                t = a;
                f.side = 1;
            } else if (std::fabs((p + (alongX ? b.x : b.z)) / h) <= straight) {
                t = b;
                f.side = -1;
            } else {
                f.side = alongX ? 0 : -1;
            }
        }
        force = vector3(t.x * 6000.0f, t.y * 6.0f, t.z * 6000.0f);
    } else {
        f.side = 0;
    }
    const float r = f.pos.y / f.box.y;
    if (r < -0.7f || r > 0.7f) {
        force.y -= ft * r * 180.0f;
    } else {
        force.y *= 0.9f;
    }
    f.steer = force;
    l = f.steer.Len();
    if (l > 1.0f) f.steer = f.steer * (1.0f / l);
    f.vel += f.steer * ft;
    const float speed = f.vel.Len();
    if (speed < 0.5f) f.vel = f.vel * (0.5f / speed);
    if (speed > 2.0f) f.vel = f.vel * (2.0f / speed);
    const float heading = 3.1415927f - std::atan2(f.vel.x, f.vel.z);
    f.rot = quaternion(0.0f, std::sin(heading * 0.5f), 0.0f, std::cos(heading * 0.5f));
    f.pos += f.vel * ft;
    f.pos.x = std::fmin(std::fmax(f.pos.x, -f.box.x), f.box.x);
    f.pos.y = std::fmin(std::fmax(f.pos.y, -f.box.y), f.box.y);
    f.pos.z = std::fmin(std::fmax(f.pos.z, -f.box.z), f.box.z);
}

void BM_Fish(benchmark::State& state) {
    FishBench b;
    long allocs = 0;
    for (auto _ : state) {
        const long before = bench::allocations.load();
        b.Frame();
        allocs = bench::allocations.load() - before;
    }
    benchmark::DoNotOptimize(b.fishes[0]->GetPosition());
    state.counters["allocs"] = double(allocs);
}
BENCHMARK(BM_Fish)->Iterations(kFishFrames)->Unit(benchmark::kMicrosecond);

void BM_PlainFish(benchmark::State& state) {
    // The fish's own states serve as the query keys, so both sides ask the same contexts.
    FishBench b;
    std::vector<PlainFish> fishes(kFish);
    for (int i = 0; i < kFish; i++) {
        fishes[size_t(i)].pos = b.fishes[size_t(i)]->GetPosition();
        fishes[size_t(i)].zones[0] = b.fishes[size_t(i)]->GetPickingState();
        fishes[size_t(i)].zones[1] = b.fishes[size_t(i)]->GetCruiseState();
        fishes[size_t(i)].zones[2] = b.fishes[size_t(i)]->GetAttackState();
        fishes[size_t(i)].zones[3] = b.fishes[size_t(i)]->GetFleeState();
    }
    int found = 0;
    for (auto _ : state) {
        for (PlainFish& f : fishes) {
            PlainStep(f, kFrame);
            nCollideReport** contacts = nullptr;
            found += f.zones[0]->GetContext()->GetContacts(f.zones[0], contacts);
            for (int z = 1; z < 4; z++) {
                nCollidePair** pairs = nullptr;
                found += f.zones[z]->GetContext()->GetCollisions(f.zones[z], pairs);
            }
        }
    }
    benchmark::DoNotOptimize(found);
    benchmark::DoNotOptimize(fishes[0].pos);
}
BENCHMARK(BM_PlainFish)->Iterations(kFishFrames)->Unit(benchmark::kMicrosecond);

// -- heads-up display ---------------------------------------------------------------------

constexpr int kHumans = 3;
constexpr int kOthers = 4;
const char* const kFigureNodes[kHumans + kOthers] = {"taucher1", "taucher2", "taucher3", "geraet1",
                                                     "geraet2",  "geraet3",  "geraet4"};

class HudBench {
public:
    HudBench() {
        kernel = NewGameKernel();
        nInputPackage(kernel);
        kernel->New("ninputserver", "/sys/servers/input");
        kernel->New("nlogicinputserver", "/sys/servers/logicinput");
        kernel->New("nbaseobserver", "/sys/servers/observer");
        graph = static_cast<nLogicGraph*>(kernel->Lookup("/sys/servers/lgraph"));

        // The level: seven divers cloned from one prototype, the first three human; the
        // first holds one of six items of its inventory.
        kernel->New("nbwdiver", "/usr/prototypes/diver");
        kernel->New("npersistlogic", "/usr/persist/lvl");
        for (int i = 0; i < kHumans + kOthers; i++) {
            auto* store = static_cast<nPersistLogic*>(
                kernel->New("npersistlogic", ("/usr/persist/lvl/d" + std::to_string(i)).c_str()));
            store->SetS("prototype", "diver");
        }
        level = static_cast<nbwLevel*>(kernel->New("nbwlevel", "/usr/logic/level"));
        level->SetPersist("/usr/persist/lvl");
        level->UpdateLevel();
        if (level->GetDiverCount() != kHumans + kOthers) std::abort();
        for (int i = 0; i < kHumans + kOthers; i++) {
            nbwActor* d = level->GetDiver(i);
            d->SetFlag(nbwActor::NameIndex(d->GetFlagNames(), "human"), i < kHumans);
            d->SetStat(nbwActor::NameIndex(d->GetStatNames(), "lifepoints"), 0.1f + 0.1f * float(i));
            d->SetStat(nbwActor::NameIndex(d->GetStatNames(), "energie"), 0.9f - 0.1f * float(i));
        }
        kernel->New("nbwcontainer", "/usr/logic/level/d0/inventory");
        for (int i = 0; i < 6; i++) {
            auto* item = static_cast<nbwItem*>(
                kernel->New("nbwitem", ("/usr/logic/level/d0/inventory/i" + std::to_string(i)).c_str()));
            item->SetString(nbwItem::Type, "lamp");
            item->SetFloat(nbwItem::MaxHitpoints, 200.0f);
            item->SetFloat(nbwItem::Hitpoints, 150.0f);
            item->SetFloat(nbwItem::MaxEnergie, 10.0f);
            item->SetFloat(nbwItem::Energie, 4.0f);
        }
        nbwActor* first = level->GetDiver(0);
        first->SetPath(nbwActor::NameIndex(first->GetPathNames(), "inventory"), "inventory");
        first->SetPath(nbwActor::NameIndex(first->GetPathNames(), "hand"), "inventory/i2");
        level->SetActiveDiver("/usr/logic/level/d0");

        // The display with every child and our movies.
        hud = static_cast<nbwUwMenu*>(kernel->New("nbwuwmenu", "/usr/logic/uwmenu"));
        kernel->New("nlogicnode", "/usr/logic/uwmenu/static");
        static_cast<nLogicSprite*>(kernel->New("nlogicsprite", "/usr/logic/uwmenu/static/frame"))
            ->SetDimension(800.0f, 80.0f);
        kernel->New("nlogicnode", "/usr/logic/uwmenu/selection_sprites");
        kernel->New("nlogicsprite", "/usr/logic/uwmenu/selection_sprites/back");
        const struct {
            const char* name;
            const char* movie;
        } flashes[] = {{"statusbar", "statusbar"}, {"inventory", "inventory"}, {"energy", "energy"},
                       {"hitpoints", "hitpoints"}, {"selection", "inventorybar"}, {"taucher1", "taucher"},
                       {"taucher2", "taucher"},    {"taucher3", "taucher"},       {"geraet1", "geraet"},
                       {"geraet2", "geraet"},      {"geraet3", "geraet"},         {"geraet4", "geraet"}};
        for (const auto& f : flashes) {
            auto* node = static_cast<nLogicFlash*>(kernel->New("nlogicflash", (std::string("/usr/logic/uwmenu/") + f.name).c_str()));
            node->SetTexture((std::string(BW_SOURCE_DIR "/data/flash/") + f.movie + ".movie").c_str());
            // As the game's scripts set them: the held item's panel and bars check their movies.
            const std::string name = f.name;
            if (name == "inventory" || name == "energy" || name == "hitpoints") node->SetCheckUpdate(true);
        }
        selector = static_cast<nLogicSprite*>(kernel->New("nlogicsprite", "/usr/logic/uwmenu/selector"));
        selector->SetDimension(40.0f, 66.0f);
        selector->SetPosition(408.0f, 521.0f);
        kernel->New("nlogicnode", "/usr/logic/uwmenu/button");
        kernel->New("nlogicinput", "/usr/logic/uwmenu/input");
        hud->RegisterLevel("/usr/logic/level");
        hud->OpenInventory();
        for (int i = 0; i < 20 && hud->GetOpenness() < 1.0f; i++) hud->Trigger(graph);
        if (hud->GetOpenness() != 1.0f) std::abort();
        for (int i = 0; i < 3; i++) hud->Trigger(graph);

        // What the hand loop writes: the values the display wrote last.
        for (int i = 0; i < kHumans + kOthers; i++) {
            figures[i] = static_cast<nLogicFlash*>(kernel->Lookup((std::string("/usr/logic/uwmenu/") + kFigureNodes[i]).c_str()));
            const bool human = i < kHumans;
            for (const char* var : {"bild", human ? "gesundheit" : "zustand", human ? "sauerstoff" : "energie"}) {
                const char* v = figures[i]->GetValue(var);
                if (!v) std::abort();
                writes.push_back({figures[i], var, v});
            }
        }
        for (const char* node : {"inventory", "hitpoints", "energy"}) {
            auto* f = static_cast<nLogicFlash*>(kernel->Lookup((std::string("/usr/logic/uwmenu/") + node).c_str()));
            const char* var = node[0] == 'i' ? "_root.item_typ" : "value";
            const char* v = f->GetValue(var);
            if (!v) std::abort();
            writes.push_back({f, var, v});
        }
    }
    ~HudBench() { delete kernel; }

    void HudFrame() { hud->Trigger(graph); }

    // The same writes, reads, sprite and activity calls by hand, then the children's frame.
    void HandFrame() {
        float x, y;
        selector->GetPosition(x, y);
        selector->SetPosition(x, y);
        for (nLogicFlash* f : figures) f->SetActive(true);
        for (const Write& w : writes) w.node->SetValue(w.var, w.value.c_str());
        for (nLogicFlash* f : figures) benchmark::DoNotOptimize(f->GetValue("doUpdate"));
        hud->nLogicNode::Trigger(graph);
    }

    struct Write {
        nLogicFlash* node;
        const char* var;
        std::string value;
    };
    nKernelServer* kernel;
    nLogicGraph* graph;
    nbwLevel* level;
    nbwUwMenu* hud;
    nLogicSprite* selector;
    nLogicFlash* figures[kHumans + kOthers] = {};
    std::vector<Write> writes;
};

void RunHud(benchmark::State& state, void (HudBench::*frame)()) {
    HudBench b;
    bench::SteadyAllocations allocs;
    for (auto _ : state) {
        (b.*frame)();
        allocs.FrameDone();
    }
    state.counters["allocs"] = allocs.PerFrame();
}

void BM_HudTrigger(benchmark::State& state) {
    RunHud(state, &HudBench::HudFrame);
}
BENCHMARK(BM_HudTrigger)->Unit(benchmark::kMicrosecond);

void BM_HudHandLoop(benchmark::State& state) {
    RunHud(state, &HudBench::HandFrame);
}
BENCHMARK(BM_HudHandLoop)->Unit(benchmark::kMicrosecond);

}  // namespace
