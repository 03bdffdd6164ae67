// The object tree at level sizes, each against a plain baseline in the same run:
// making and releasing many objects under one parent and looking paths up (against a
// tree of unordered_maps), saving 10,000 nenv objects (against fprintf of the same text)
// and loading them back with get() (against bare Lua running the same text with empty
// functions).
#include <benchmark/benchmark.h>
#include <lua.hpp>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kernel/nFileServer2.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nRoot.h"
#include "script/nLuaServer2.h"
#include "script/nScriptPackage.h"

namespace {

// ---- the baseline tree

struct MapNode {
    std::string name;
    MapNode* parent = nullptr;
    std::unordered_map<std::string, std::unique_ptr<MapNode>> children;
};

// Walks `path` from `root`, making missing nodes when `make` is set.
MapNode* MapWalk(MapNode* root, std::string_view path, bool make) {
    MapNode* cur = root;
    size_t pos = path.empty() || path[0] != '/' ? 0 : 1;
    std::string key;
    while (cur && pos < path.size()) {
        size_t end = path.find('/', pos);
        if (end == std::string_view::npos) end = path.size();
        key.assign(path.substr(pos, end - pos));
        auto it = cur->children.find(key);
        if (it != cur->children.end()) {
            cur = it->second.get();
        } else if (make) {
            auto node = std::make_unique<MapNode>();
            node->name = key;
            node->parent = cur;
            MapNode* raw = node.get();
            cur->children.emplace(key, std::move(node));
            cur = raw;
        } else {
            return nullptr;
        }
        pos = end + 1;
    }
    return cur;
}

std::vector<std::string> FlatPaths(int count) {
    std::vector<std::string> paths;
    paths.reserve(size_t(count));
    for (int i = 0; i < count; i++) paths.push_back("/tree/o" + std::to_string(i));
    return paths;
}

nKernelServer* NewKernel() {
    return new nKernelServer([](nKernelServer* ks) {
        nKernelPackage(ks);
        nScriptPackage(ks);
    });
}

void BM_TreeNewRelease(benchmark::State& state) {
    std::vector<std::string> paths = FlatPaths(int(state.range(0)));
    nKernelServer* ks = NewKernel();
    for (auto _ : state) {
        for (const std::string& p : paths) benchmark::DoNotOptimize(ks->New("nroot", p.c_str()));
        ks->Lookup("/tree")->Release();
    }
    delete ks;
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_TreeNewRelease)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_MapTreeNewRelease(benchmark::State& state) {
    std::vector<std::string> paths = FlatPaths(int(state.range(0)));
    MapNode root;
    for (auto _ : state) {
        for (const std::string& p : paths) benchmark::DoNotOptimize(MapWalk(&root, p, true));
        root.children.erase("tree");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MapTreeNewRelease)->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// 100 groups of 100 objects; the lookups visit them in a scattered order.
std::vector<std::string> GroupPaths() {
    std::vector<std::string> paths;
    for (int g = 0; g < 100; g++) {
        for (int o = 0; o < 100; o++) paths.push_back("/tree/g" + std::to_string(g) + "/o" + std::to_string(o));
    }
    return paths;
}

std::vector<std::string> ScatteredOrder(const std::vector<std::string>& paths) {
    std::vector<std::string> order;
    for (size_t i = 0, k = 0; i < paths.size(); i++, k = (k + 7919) % paths.size()) order.push_back(paths[k]);
    return order;
}

void BM_TreeLookup(benchmark::State& state) {
    std::vector<std::string> paths = GroupPaths();
    nKernelServer* ks = NewKernel();
    for (const std::string& p : paths) ks->New("nroot", p.c_str());
    std::vector<std::string> order = ScatteredOrder(paths);
    for (auto _ : state) {
        for (const std::string& p : order) benchmark::DoNotOptimize(ks->Lookup(p.c_str()));
    }
    delete ks;
    state.SetItemsProcessed(state.iterations() * int64_t(order.size()));
}
BENCHMARK(BM_TreeLookup)->Unit(benchmark::kMillisecond);

void BM_MapTreeLookup(benchmark::State& state) {
    std::vector<std::string> paths = GroupPaths();
    MapNode root;
    for (const std::string& p : paths) MapWalk(&root, p, true);
    std::vector<std::string> order = ScatteredOrder(paths);
    for (auto _ : state) {
        for (const std::string& p : order) benchmark::DoNotOptimize(MapWalk(&root, p, false));
    }
    state.SetItemsProcessed(state.iterations() * int64_t(order.size()));
}
BENCHMARK(BM_MapTreeLookup)->Unit(benchmark::kMillisecond);

// ---- saving and loading 10,000 nenv objects

constexpr int kEnvCount = 10000;

class EnvFiles {
public:
    EnvFiles() {
        dir = std::filesystem::temp_directory_path() / ("bw_bench_tree_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        ks = NewKernel();
        ks->GetFileServer<nFileServer2>()->SetAssign("bin", BW_SOURCE_DIR "/data/bin/win32/");
        server = static_cast<nLuaServer2*>(ks->New("nluaserver2", "/sys/servers/script"));
        ks->New("nroot", "/save");
        for (int i = 0; i < kEnvCount; i++) {
            std::string path = "/save/e" + std::to_string(i);
            ks->New("nenv", path.c_str())->Call(nId("SETI"), nullptr, i);
        }
    }
    ~EnvFiles() {
        delete ks;
        std::filesystem::remove_all(dir);
    }
    std::string Path(const char* name) const { return (dir / name).string(); }

    std::filesystem::path dir;
    nKernelServer* ks;
    nLuaServer2* server;
};

void BM_SaveEnvs(benchmark::State& state) {
    EnvFiles files;
    std::string path = files.Path("save");
    nRoot* save = files.ks->Lookup("/save");
    for (auto _ : state) {
        if (!save->SaveAs(path.c_str())) state.SkipWithError("save failed");
    }
    state.SetItemsProcessed(state.iterations() * kEnvCount);
}
BENCHMARK(BM_SaveEnvs)->Unit(benchmark::kMillisecond);

// The same text as the object writer's, by fprintf.
void FprintfEnvs(const char* fileName) {
    FILE* f = std::fopen(fileName, "w");
    std::fprintf(f, "-- ----- $parser:nluaserver2$ $class:nroot$-- ---\n");
    for (int i = 0; i < kEnvCount; i++) {
        std::fprintf(f, "\n-- e%d\nnew('nenv', 'e%d')\n  sel('e%d')\n  seti( %d )\nup()\n", i, i, i, i);
    }
    std::fprintf(f, "-- ---" "-- EOF\n");
    std::fclose(f);
}

void BM_FprintfEnvs(benchmark::State& state) {
    EnvFiles files;
    std::string path = files.Path("fprintf.n");
    for (auto _ : state) FprintfEnvs(path.c_str());
    state.SetItemsProcessed(state.iterations() * kEnvCount);
}
BENCHMARK(BM_FprintfEnvs)->Unit(benchmark::kMillisecond);

void BM_LoadEnvs(benchmark::State& state) {
    EnvFiles files;
    std::string path = files.Path("save");
    files.ks->Lookup("/save")->SaveAs(path.c_str());
    std::string line = "get('" + path + ".n')";
    files.ks->SetCwd(files.ks->New("nroot", "/load"));
    for (auto _ : state) {
        const char* result = nullptr;
        files.server->Run(line.c_str(), result);
        nRoot* loaded = files.ks->Lookup("/load/save");
        if (!loaded || !loaded->GetHead()) state.SkipWithError("load failed");
        state.PauseTiming();
        if (loaded) loaded->Release();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kEnvCount);
}
BENCHMARK(BM_LoadEnvs)->Unit(benchmark::kMillisecond);

void BM_BareLuaEnvs(benchmark::State& state) {
    EnvFiles files;
    std::string path = files.Path("save");
    files.ks->Lookup("/save")->SaveAs(path.c_str());
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    luaL_dostring(L, "function new() end function sel() end function seti() end function up() end");
    for (auto _ : state) {
        if (luaL_loadfilex(L, (path + ".n").c_str(), "t") != LUA_OK || lua_pcall(L, 0, 0, 0) != LUA_OK) {
            state.SkipWithError("bare run failed");
        }
    }
    lua_close(L);
    state.SetItemsProcessed(state.iterations() * kEnvCount);
}
BENCHMARK(BM_BareLuaEnvs)->Unit(benchmark::kMillisecond);

}  // namespace
