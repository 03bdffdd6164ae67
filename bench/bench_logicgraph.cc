// The logic graph's per-frame walk over 2,000 visual logic nodes with two animator
// modules each: the traversal from the camera with its records and four lists, and the
// nodes' animator states, against a hand loop making the same virtual calls over the
// same nodes and modules into fixed arrays.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/nBenchCamera.h"
#include "gfx/nGfxPackage.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "logic/nLogicGraph.h"
#include "logic/nLogicNode.h"
#include "logic/nLogicPackage.h"
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

class nBenchModule : public nModule {
public:
    static const nClassInfo classInfo;
    int GetType() const override { return Animator; }
    void Animate(nLogicNode*, float time) override { sum += time; }
    float sum = 0.0f;
};
const nClassInfo nBenchModule::classInfo = nClassInfo::Make<nBenchModule>("nbenchmodule", "nmodule");

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
