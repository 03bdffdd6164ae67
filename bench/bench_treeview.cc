// The tree view's Refresh when nothing changed, over 20,000 objects, against a plain
// recursive walk over the same objects that compares each name with a kept copy in the
// same order (the least a refresh must do). Target: ratio <= 4.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nRoot.h"
#include "script/nScriptPackage.h"
#include "tools/nPlugin.h"
#include "tools/nTreeView.h"

namespace {

constexpr int kGroups = 20, kSets = 20, kLeaves = 49;  // 20,420 objects

nKernelServer* NewKernel() {
    return new nKernelServer([](nKernelServer* ks) {
        nKernelPackage(ks);
        nScriptPackage(ks);
        ks->AddClass(nPlugin::classInfo);
        ks->AddClass(nTreeView::classInfo);
    });
}

void Fill(nKernelServer* ks) {
    for (int g = 0; g < kGroups; g++) {
        for (int s = 0; s < kSets; s++) {
            for (int l = 0; l < kLeaves; l++) {
                const std::string path =
                    "/bench/g" + std::to_string(g) + "/s" + std::to_string(s) + "/leaf" + std::to_string(l);
                ks->New("nroot", path.c_str());
            }
        }
    }
}

struct Mirror {
    std::string name;
    std::vector<Mirror> children;
};

void MakeMirror(const nRoot* o, Mirror& m) {
    m.name = o->GetName();
    for (const nRoot* c = o->GetHead(); c; c = c->GetSucc()) MakeMirror(c, m.children.emplace_back());
}

int Walk(const nRoot* o, const Mirror& m) {
    int same = std::strcmp(o->GetName(), m.name.c_str()) == 0;
    size_t i = 0;
    for (const nRoot* c = o->GetHead(); c && i < m.children.size(); c = c->GetSucc(), i++) {
        same += Walk(c, m.children[i]);
    }
    return same;
}

void BM_TreeViewRefresh(benchmark::State& state) {
    nKernelServer* ks = NewKernel();
    Fill(ks);
    auto* tv = static_cast<nTreeView*>(ks->New("ntreeview", "/tv"));
    tv->SetRootNode("/bench");
    for (auto _ : state) tv->Refresh();
    tv->Release();
    delete ks;
}
BENCHMARK(BM_TreeViewRefresh)->Unit(benchmark::kMillisecond);

void BM_PlainWalk(benchmark::State& state) {
    nKernelServer* ks = NewKernel();
    Fill(ks);
    Mirror mirror;
    MakeMirror(ks->Lookup("/bench"), mirror);
    const nRoot* root = ks->Lookup("/bench");
    for (auto _ : state) benchmark::DoNotOptimize(Walk(root, mirror));
    delete ks;
}
BENCHMARK(BM_PlainWalk)->Unit(benchmark::kMillisecond);

}  // namespace
