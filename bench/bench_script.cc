// One script command called from Lua, against a plain lua_CFunction that does
// the same work (take the object, read its name, push it).
#include <benchmark/benchmark.h>
#include <lua.hpp>

#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nRoot.h"
#include "script/nLuaBinding.h"
#include "script/nLuaServer2.h"
#include "script/nScriptPackage.h"

namespace {

constexpr int kCallsPerRun = 1000;

int PlainGetName(lua_State* L) {
    nRoot* obj = nullptr;
    if (!nLuaBinding::ToObject(L, 1, obj) || !obj) return 0;
    lua_settop(L, 0);
    lua_pushstring(L, obj->GetName());
    return 1;
}

class ScriptBench {
public:
    ScriptBench() {
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nScriptPackage(ks);
        });
        kernel->GetFileServer<nFileServer2>()->SetAssign("bin", BW_SOURCE_DIR "/data/bin/win32/");
        server = static_cast<nLuaServer2*>(kernel->New("nluaserver2", "/sys/servers/script"));
        kernel->New("nroot", "/bench/object");
        lua_register(server->GetState(), "plain_getname", PlainGetName);
    }
    ~ScriptBench() { delete kernel; }

    // Compiles `body` into a function of the object value and keeps it in the registry.
    int Compile(const char* body) {
        lua_State* L = server->GetState();
        luaL_loadstring(L, body);
        lua_call(L, 0, 1);
        return luaL_ref(L, LUA_REGISTRYINDEX);
    }
    void Call(int fn) {
        lua_State* L = server->GetState();
        lua_rawgeti(L, LUA_REGISTRYINDEX, fn);
        nLuaBinding::PushObject(L, kernel->Lookup("/bench/object"));
        lua_call(L, 1, 0);
    }

    nKernelServer* kernel;
    nLuaServer2* server;
};

void Run(benchmark::State& state, const char* body) {
    ScriptBench bench;
    int fn = bench.Compile(body);
    for (auto _ : state) bench.Call(fn);
    state.SetItemsProcessed(state.iterations() * kCallsPerRun);
}

void BM_ScriptCommand(benchmark::State& state) {
    Run(state, "return function(o) for i = 1, 1000 do local n = o.getname() end end");
}
BENCHMARK(BM_ScriptCommand);

void BM_ScriptCommandValueKept(benchmark::State& state) {
    Run(state, "return function(o) local f = o.getname for i = 1, 1000 do local n = f() end end");
}
BENCHMARK(BM_ScriptCommandValueKept);

void BM_PlainCFunction(benchmark::State& state) {
    Run(state, "return function(o) for i = 1, 1000 do local n = plain_getname(o) end end");
}
BENCHMARK(BM_PlainCFunction);

}  // namespace
