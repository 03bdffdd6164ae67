// The tree view's Refresh when nothing changed, over 20,000 objects, against a plain
// recursive walk over the same objects that compares each name with a kept copy in the
// same order (the least a refresh must do). Target: ratio <= 4.
// A frame of the shown view with all 20,000 items open, drawn through the tree control,
// against a plain walk over the same items and against the widget layer's own rows for
// them in a window of the same size (the least any tree drawn by it costs).
#include <benchmark/benchmark.h>
#include <imgui.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nRoot.h"
#include "platform/ui/Host.h"
#include "platform/ui/ToolWindow.h"
#include "platform/ui/TreeControl.h"
#include "script/nScriptPackage.h"
#include "tools/nPlugin.h"
#include "tools/nPluginServer.h"
#include "tools/nTreeView.h"

// Every allocation of the program and its libraries goes through this malloc, counted
// to show that a steady frame makes none.
namespace {
long allocations = 0;
}  // namespace

extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* malloc(std::size_t size) {
    allocations++;
    return __libc_malloc(size);
}

namespace {

constexpr int kGroups = 20, kSets = 20, kLeaves = 49;  // 20,020 objects under /bench

nKernelServer* NewKernel() {
    return new nKernelServer([](nKernelServer* ks) {
        nKernelPackage(ks);
        nScriptPackage(ks);
        ks->AddClass(nPluginServer::classInfo);
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

constexpr int kDisplayWidth = 1024, kDisplayHeight = 768;
constexpr float kFrameSeconds = 1.0f / 60.0f;

void BM_TreeViewShownFrame(benchmark::State& state) {
    nKernelServer* ks = NewKernel();
    Fill(ks);
    auto* plugins = static_cast<nPluginServer*>(ks->New("npluginserver", "/sys/servers/plugin"));
    auto* tv = static_cast<nTreeView*>(ks->New("ntreeview", "/sys/servers/plugin/treeview"));
    tv->SetRootNode("/bench");
    tv->SetActive(true);
    ui::Host* host = plugins->GetUiHost();
    host->Frame(kDisplayWidth, kDisplayHeight, kFrameSeconds);
    host->Frame(kDisplayWidth, kDisplayHeight, kFrameSeconds);
    const long before = allocations;
    for (auto _ : state) host->Frame(kDisplayWidth, kDisplayHeight, kFrameSeconds);
    state.counters["items"] = double(tv->GetTreeControl()->GetLastFrameVisits());
    state.counters["allocs_per_frame"] = double(allocations - before) / double(state.iterations());
    plugins->Release();
    delete ks;
}
BENCHMARK(BM_TreeViewShownFrame)->Unit(benchmark::kMillisecond);

int WalkNames(const Mirror& m) {
    int length = int(m.name.size());
    for (const Mirror& child : m.children) length += WalkNames(child);
    return length;
}

void BM_PlainWalkOverShownItems(benchmark::State& state) {
    nKernelServer* ks = NewKernel();
    Fill(ks);
    Mirror mirror;
    MakeMirror(ks->Lookup("/bench"), mirror);
    for (auto _ : state) benchmark::DoNotOptimize(WalkNames(mirror));
    delete ks;
}
BENCHMARK(BM_PlainWalkOverShownItems)->Unit(benchmark::kMillisecond);

void RawRows(const Mirror& m) {
    ImGui::TreeNodeEx(m.name.c_str(), ImGuiTreeNodeFlags_Leaf | ImGuiTreeNodeFlags_NoTreePushOnOpen);
    for (const Mirror& child : m.children) RawRows(child);
}

void BM_RawWidgetRowsOverShownItems(benchmark::State& state) {
    nKernelServer* ks = NewKernel();
    Fill(ks);
    Mirror mirror;
    MakeMirror(ks->Lookup("/bench"), mirror);
    auto host = std::make_unique<ui::Host>();
    std::unique_ptr<ui::ToolWindow> window = host->MakeDialog(nTreeView::kDialogId);
    window->content = [&mirror](ui::ToolWindow& w) {
        if (ImGui::BeginChild("tree", ImVec2(float(w.GetWidth()) - 16.0f, float(w.GetHeight()) - 40.0f), true)) {
            RawRows(mirror);
        }
        ImGui::EndChild();
    };
    window->Show();
    host->Frame(kDisplayWidth, kDisplayHeight, kFrameSeconds);
    for (auto _ : state) host->Frame(kDisplayWidth, kDisplayHeight, kFrameSeconds);
    window.reset();
    host.reset();
    delete ks;
}
BENCHMARK(BM_RawWidgetRowsOverShownItems)->Unit(benchmark::kMillisecond);

}  // namespace
