// The logic graph's per-frame walk over 2,000 visual logic nodes with two animator
// modules each: the traversal from the camera with its records and four lists, and the
// nodes' animator states, against a hand loop making the same virtual calls over the
// same nodes and modules into fixed arrays (the floor a flat layout gives), and against
// the same work over a tree of objects of the engine's classes' sizes (the object model's
// cost).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/BenchObjectTree.h"
#include "bench/nBenchCamera.h"
#include "gfx/nGfxPackage.h"
#include "gfx/nGfxServer.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "logic/nCameraView.h"
#include "logic/nLogicGraph.h"
#include "logic/nLogicNode.h"
#include "logic/nLogicPackage.h"
#include "logic/nModAnimator.h"
#include "logic/nModAnimatorState.h"
#include "logic/nModule.h"
#include "scene/nScenePackage.h"

namespace {

constexpr int kNodes = 2000;

class nBenchNode : public nLogicNode {
public:
    static const nClassInfo classInfo;
    void Traverse(nLogicGraph* graph, const matrix44& parentMatrix) override {
        matrix44 world = local * parentMatrix;
        if (!graph->PushRecord(this, world)) return;
        nLogicNode::Traverse(graph, world);
        graph->PopRecord();
    }
    bool IsVisible() const override { return true; }
    bool HasPhysik() const override { return physik; }
    matrix44 local;
    bool physik = false;
    nModAnimatorState* anim = nullptr;
};
const nClassInfo nBenchNode::classInfo = nClassInfo::Make<nBenchNode>("nbenchnode", "nlogicnode");

// An animator as the game's are made: it hands the state a function of its own that
// runs its Animate without the class table.
class nBenchModule final : public nModAnimator {
public:
    static const nClassInfo classInfo;
    nBenchModule() { SetHotAnimate(&AnimateSum); }
    void Animate(nLogicNode*, float time) override { sum += time; }
    float sum = 0.0f;

private:
    static void AnimateSum(nModAnimator* self, nLogicNode* owner, float time) {
        static_cast<nBenchModule*>(self)->nBenchModule::Animate(owner, time);
    }
};
const nClassInfo nBenchModule::classInfo = nClassInfo::Make<nBenchModule>("nbenchmodule", "nmodanimator");

class GraphBench {
public:
    GraphBench() {
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nGfxPackage(ks);
            nScenePackage(ks);
            nLogicPackage(ks);
            ks->AddClass(nBenchNode::classInfo);
            ks->AddClass(nBenchModule::classInfo);
            ks->AddClass(nBenchCamera::classInfo);
        });
        kernel->New("ngfxserver", "/sys/servers/gfx");
        kernel->New("nbenchcamera", "/sys/servers/camera");
        graph = static_cast<nLogicGraph*>(kernel->New("nlogicgraph", "/sys/servers/lgraph"));
        root = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/usr/logic"));
        for (int i = 0; i < kNodes; i++) {
            std::string path = "/usr/logic/n" + std::to_string(i);
            auto* n = static_cast<nBenchNode*>(kernel->New("nbenchnode", path.c_str()));
            n->local.SetTranslation(vector3(float(i), 0.0f, 0.0f));
            n->physik = i % 8 == 0;
            // Modules live in a folder of their own, as levels keep them.
            std::string legs = "/usr/modules/legs" + std::to_string(i);
            std::string arms = "/usr/modules/arms" + std::to_string(i);
            modules.push_back(static_cast<nModule*>(kernel->New("nbenchmodule", legs.c_str())));
            modules.push_back(static_cast<nModule*>(kernel->New("nbenchmodule", arms.c_str())));
            n->AddModule(1, "default", legs.c_str());
            n->AddModule(1, "default", arms.c_str());
            n->anim = static_cast<nModAnimatorState*>(n->FindModuleState(1, "default"));
            nodes.push_back(n);
        }
    }
    ~GraphBench() { delete kernel; }

    nKernelServer* kernel;
    nLogicGraph* graph;
    nLogicNode* root;
    std::vector<nBenchNode*> nodes;
    std::vector<nModule*> modules;
};

void BM_LogicGraphFrame(benchmark::State& state) {
    GraphBench b;
    float t = 0.0f;
    for (auto _ : state) {
        b.graph->TraversePass(b.root);
        t += 0.01f;
        for (nBenchNode* n : b.nodes) {
            n->anim->SetTime(t);
            n->anim->Animate();
        }
        benchmark::DoNotOptimize(b.graph->GetVisibleCount());
    }
}
BENCHMARK(BM_LogicGraphFrame)->Unit(benchmark::kMicrosecond);

// The same nodes and modules, walked by hand: world matrices and records into fixed
// arrays, the four questions, two animator calls a node.
void BM_HandLoop(benchmark::State& state) {
    GraphBench b;
    static nLogicGraphRecord records[kNodes];
    static uint16_t visible[kNodes], collision[kNodes], physik[256], list2D[256];
    const std::vector<nModule*>& modules = b.modules;
    matrix44 view;
    float t = 0.0f;
    for (auto _ : state) {
        int nv = 0, nc = 0, np = 0, n2 = 0;
        for (int i = 0; i < kNodes; i++) {
            nBenchNode* n = b.nodes[size_t(i)];
            records[i].node = n;
            records[i].parent = nullptr;
            records[i].moved = false;
            records[i].world = n->local * view;
        }
        for (int i = 0; i < kNodes; i++) {
            nLogicNode* n = records[i].node;
            if (n->IsVisible()) visible[nv++] = uint16_t(i);
            if (n->HasCollision()) collision[nc++] = uint16_t(i);
            if (n->HasPhysik() && np < 256) physik[np++] = uint16_t(i);
            if (n->Is2D() && n2 < 256) list2D[n2++] = uint16_t(i);
        }
        t += 0.01f;
        for (int i = 0; i < kNodes; i++) {
            for (int j = 0; j < 2; j++) {
                nModule* m = modules[size_t(2 * i + j)];
                if (m->GetType() == nModule::Animator) m->Animate(b.nodes[size_t(i)], t);
            }
        }
        benchmark::DoNotOptimize(nv + nc + np + n2);
        benchmark::DoNotOptimize(visible[0] + collision[0] + physik[0] + list2D[0]);
    }
}
BENCHMARK(BM_HandLoop)->Unit(benchmark::kMicrosecond);

}  // namespace

// The object model's baseline: nodes, modules and animator states made one by one in the
// engine's order at its classes' sizes; a recursive walk through the children's links with
// a virtual Traverse a node, records into a fixed array, the lists from the four virtual
// questions, and the animator states calling their modules' GetType and Animate.
namespace bench {

struct GraphRecord {
    TreeObject* node;
    int parent;
    bool moved;
    matrix44 world;
};

struct GraphWalk {
    static constexpr int MaxRecords = 4096;
    GraphRecord records[MaxRecords];
    int count = 0;
    int parent = -1;
    uint16_t visible[MaxRecords], collision[MaxRecords], physik[256], list2D[256];
    int nv = 0, nc = 0, np = 0, n2 = 0;
};

class GraphObject : public TreeObject {
public:
    virtual void Traverse(GraphWalk& walk, const matrix44& parentMatrix);
    virtual bool IsVisible() const { return false; }
    virtual bool HasCollision() const { return false; }
    virtual bool HasPhysik() const { return false; }
    virtual bool Is2D() const { return false; }
    bool active = true;
};

void GraphObject::Traverse(GraphWalk& walk, const matrix44& parentMatrix) {
    for (TreeObject* c = firstChild; c; c = c->nextSibling) {
        auto* child = static_cast<GraphObject*>(c);
        if (child->active) child->Traverse(walk, parentMatrix);
    }
}

class GraphLeaf : public GraphObject {
public:
    void Traverse(GraphWalk& walk, const matrix44& parentMatrix) override;
    bool IsVisible() const override { return true; }
    bool HasPhysik() const override { return physik; }
    matrix44 local;
    bool physik = false;
};

void GraphLeaf::Traverse(GraphWalk& walk, const matrix44& parentMatrix) {
    if (walk.count >= GraphWalk::MaxRecords) return;
    GraphRecord& r = walk.records[walk.count];
    r.node = this;
    r.parent = walk.parent;
    r.moved = false;
    r.world = local * parentMatrix;
    const int outer = walk.parent;
    walk.parent = walk.count++;
    GraphObject::Traverse(walk, r.world);
    walk.parent = outer;
}

class AnimModule {
public:
    virtual ~AnimModule() = default;
    virtual int GetType() const { return nModule::Animator; }
    virtual void Animate(TreeObject*, float time) { sum += time; }
    float sum = 0.0f;
};

class AnimState {
public:
    virtual ~AnimState() = default;
    void SetTime(float t) { time = t; }
    virtual void Animate() {
        if (!enabled) return;
        for (AnimModule* m : modules) {
            if (m->GetType() == nModule::Animator) m->Animate(owner, time);
        }
    }
    TreeObject* owner = nullptr;
    AnimModule* modules[2] = {};
    float time = 0.0f;
    bool enabled = true;
};

class GraphTree {
public:
    GraphTree() {
        root = heap.New<GraphObject>(sizeof(nLogicNode));
        for (int i = 0; i < kNodes; i++) {
            auto* n = heap.New<GraphLeaf>(sizeof(nBenchNode));
            n->local.SetTranslation(vector3(float(i), 0.0f, 0.0f));
            n->physik = i % 8 == 0;
            root->AddChild(n);
            auto* state = heap.New<AnimState>(sizeof(nModAnimatorState));
            state->owner = n;
            for (AnimModule*& m : state->modules) m = heap.New<AnimModule>(sizeof(nBenchModule));
            states.push_back(state);
        }
    }
    ObjectHeap heap;
    GraphObject* root;
    std::vector<AnimState*> states;
};

}  // namespace bench

namespace {

// The same frame over the object tree, with the graph's camera calls.
void BM_ObjectModel(benchmark::State& state) {
    GraphBench b;
    bench::GraphTree tree;
    static bench::GraphWalk walk;
    auto* camera = dynamic_cast<nCameraView*>(b.kernel->Lookup("/sys/servers/camera"));
    nGfxServer* gfx = static_cast<nGfxServer*>(b.kernel->Lookup("/sys/servers/gfx"));
    float t = 0.0f;
    for (auto _ : state) {
        walk.count = walk.nv = walk.nc = walk.np = walk.n2 = 0;
        walk.parent = -1;
        matrix44 view;
        if (camera->HasCurrentCamera()) {
            camera->ApplyView(gfx, view);
            tree.root->Traverse(walk, matrix44());
        }
        for (int i = 0; i < walk.count; i++) {
            auto* n = static_cast<bench::GraphObject*>(walk.records[i].node);
            if (n->IsVisible()) walk.visible[walk.nv++] = uint16_t(i);
            if (n->HasCollision()) walk.collision[walk.nc++] = uint16_t(i);
            if (n->HasPhysik() && walk.np < 256) walk.physik[walk.np++] = uint16_t(i);
            if (n->Is2D() && walk.n2 < 256) walk.list2D[walk.n2++] = uint16_t(i);
        }
        t += 0.01f;
        for (bench::AnimState* s : tree.states) {
            s->SetTime(t);
            s->Animate();
        }
        benchmark::DoNotOptimize(walk.nv);
    }
}
BENCHMARK(BM_ObjectModel)->Unit(benchmark::kMicrosecond);

}  // namespace
