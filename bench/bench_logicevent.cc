// Logic events queued and dispatched a frame later, against doing the same work
// directly: 10,000 callback firings with one int argument against a loop that sets
// the variable and calls the function; 10,000 script firings against running the same
// script text through the script server 10,000 times.
#include <benchmark/benchmark.h>

#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "logic/nLogicEvent.h"
#include "logic/nLogicEventHandler.h"
#include "logic/nLogicEventRecord.h"
#include "logic/nLogicEventServer.h"
#include "logic/nLogicPackage.h"
#include "script/nLuaServer2.h"
#include "script/nScriptPackage.h"

namespace {

constexpr int kFirings = 10000;
constexpr const char* kScript = "hits = hits + 1";

long gCalls = 0;
void Count(nLogicEventHandler* h) {
    gCalls += h->GetEventObject()->GetVar("n")->GetI();
}

class EventBench {
public:
    EventBench() {
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nScriptPackage(ks);
            nLogicPackage(ks);
        });
        kernel->GetFileServer<nFileServer2>()->SetAssign("bin", BW_SOURCE_DIR "/data/bin/win32/");
        script = static_cast<nLuaServer2*>(kernel->New("nluaserver2", "/sys/servers/script"));
        server = static_cast<nLogicEventServer*>(kernel->New("nlogiceventserver", "/sys/servers/event"));
        record = server->FindOrCreateEvent("logicgraph");
        const char* result = nullptr;
        script->Run("hits = 0", result);
    }
    ~EventBench() { delete kernel; }

    nKernelServer* kernel;
    nLuaServer2* script;
    nLogicEventServer* server;
    nLogicEventRecord* record;
};

void BM_CallbackFirings(benchmark::State& state) {
    EventBench b;
    nLogicEventHandler* h = nLogicEventHandler::Create(nLogicEventHandler::Callback, nullptr, "onuse", b.record);
    h->SetCallback(Count);
    nLogicEvent* obj = h->GetEventObject();
    nVariable v;
    for (auto _ : state) {
        for (int i = 0; i < kFirings; i++) {
            v.SetI(i & 1);
            obj->SetVar("n", v);
            h->Queue();
        }
        b.server->Trigger();
    }
    benchmark::DoNotOptimize(gCalls);
    delete h;
}

void BM_CallbackDirect(benchmark::State& state) {
    EventBench b;
    nLogicEventHandler* h = nLogicEventHandler::Create(nLogicEventHandler::Callback, nullptr, "onuse", b.record);
    nLogicEvent* obj = h->GetEventObject();
    nLogicEventHandler::CallbackFn fn = Count;
    benchmark::DoNotOptimize(fn);
    nVariable v;
    for (auto _ : state) {
        for (int i = 0; i < kFirings; i++) {
            v.SetI(i & 1);
            obj->SetVar("n", v);
            fn(h);
        }
    }
    benchmark::DoNotOptimize(gCalls);
    delete h;
}

void BM_ScriptFirings(benchmark::State& state) {
    EventBench b;
    nRoot* node = b.kernel->New("nroot", "/usr/logic/node");
    nLogicEventHandler* h = nLogicEventHandler::Create(nLogicEventHandler::Script, node, "onuse", b.record);
    h->SetScript(kScript);
    for (auto _ : state) {
        for (int i = 0; i < kFirings; i++) h->Queue();
        b.server->Trigger();
    }
    delete h;
}

void BM_ScriptRunDirect(benchmark::State& state) {
    EventBench b;
    for (auto _ : state) {
        for (int i = 0; i < kFirings; i++) {
            const char* result = nullptr;
            b.script->Run(kScript, result);
        }
    }
}

}  // namespace

BENCHMARK(BM_CallbackFirings)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CallbackDirect)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScriptFirings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScriptRunDirect)->Unit(benchmark::kMillisecond);
