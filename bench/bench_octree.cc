// The octree's frustum query on 100,000 elements spread through a cube 8000 units wide,
// with a camera at one side that sees about a tenth of them, against testing every
// element's sphere against the same frustum. Compare the time per query; the second
// octree case changes the tree before each query, so it includes remaking the packed
// copy the query reads.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "gfx/nGfxPackage.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "scene/Frustum.h"
#include "scene/nOctree.h"
#include "scene/nScenePackage.h"

namespace {

constexpr int kElements = 100000;
constexpr float kHalf = 4000.0f;

matrix44 Perspective(float l, float r, float b, float t, float n, float f) {
    return matrix44(2 * n / (r - l), 0, 0, 0, 0, 2 * n / (t - b), 0, 0, (l + r) / (r - l), (t + b) / (t - b),
                    -(f + n) / (f - n), -1, 0, 0, -2 * f * n / (f - n), 0);
}

struct World {
    nKernelServer* kernel;
    nOctree* tree;
    std::vector<nOctElement> elements;
    Frustum frustum;
    size_t expected = 0;

    explicit World(int subdiv) : elements(kElements) {
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nGfxPackage(ks);
            nScenePackage(ks);
        });
        tree = static_cast<nOctree*>(kernel->New("noctree", "/octree"));
        std::mt19937 rng(2024);
        std::uniform_real_distribution<float> u(-kHalf, kHalf), r(0.5f, 4.0f);
        for (nOctElement& e : elements) tree->AddElement(&e, vector3(u(rng), u(rng), u(rng)), r(rng));
        tree->SetSubdivNum(subdiv);
        tree->Balance();
        // At one side of the cube, looking across it through a narrow cone.
        matrix44 cam;
        cam.SetTranslation(vector3(-kHalf, 0.0f, 0.0f));
        cam.LookAt(vector3(kHalf, 0.0f, 0.0f), vector3(0.0f, 1.0f, 0.0f));
        cam.Invert();
        frustum = Frustum(cam * Perspective(-0.4f, 0.4f, -0.4f, 0.4f, 1.0f, 6000.0f));
        for (const nOctElement& e : elements) expected += frustum.SphereMeets(e.position, e.radius);
    }
    ~World() {
        for (nOctElement& e : elements) tree->RemoveElement(&e);
        delete kernel;
    }
};

World& TheWorld() {
    static World w(96);
    return w;
}

void BM_OctreeCollect(benchmark::State& state) {
    World& w = TheWorld();
    std::vector<nOctElement*> out;
    out.reserve(kElements);
    for (auto _ : state) {
        out.clear();
        w.tree->CollectVisible(w.frustum, out);
        benchmark::DoNotOptimize(out.data());
    }
    if (out.size() != w.expected) state.SkipWithError("the query disagrees with the test of every element");
    state.counters["visible"] = double(out.size());
    state.counters["free_nodes"] = w.tree->GetNumFreeNodes();
}
BENCHMARK(BM_OctreeCollect)->Unit(benchmark::kMicrosecond);

// The same after a change to the tree each time: the query makes its packed copy again.
void BM_OctreeCollectAfterChange(benchmark::State& state) {
    World& w = TheWorld();
    std::vector<nOctElement*> out;
    out.reserve(kElements);
    nOctElement& moved = w.elements[0];
    for (auto _ : state) {
        out.clear();
        w.tree->UpdateElement(&moved, moved.position, moved.radius);
        w.tree->CollectVisible(w.frustum, out);
        benchmark::DoNotOptimize(out.data());
    }
    if (out.size() != w.expected) state.SkipWithError("the query disagrees with the test of every element");
}
BENCHMARK(BM_OctreeCollectAfterChange)->Unit(benchmark::kMicrosecond);

// Raw: every element's sphere against the frustum, in memory order.
void BM_BruteForce(benchmark::State& state) {
    World& w = TheWorld();
    std::vector<nOctElement*> out;
    out.reserve(kElements);
    for (auto _ : state) {
        out.clear();
        for (nOctElement& e : w.elements)
            if (w.frustum.SphereMeets(e.position, e.radius)) out.push_back(&e);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["visible"] = double(out.size());
}
BENCHMARK(BM_BruteForce)->Unit(benchmark::kMicrosecond);

}  // namespace
