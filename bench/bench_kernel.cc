// The kernel's hot roads: calling commands by id (per-frame game code, saving), by name
// (scripts), and resolving object paths.
#include <benchmark/benchmark.h>

#include "kernel/nCmd.h"
#include "kernel/nCmdProto.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPathRef.h"
#include "kernel/nRoot.h"

namespace {

struct Kernel {
    Kernel() {
        obj = kernel.New("nroot", "/usr/logic/level/diver");
        kernel.New("nroot", "/usr/logic/level/diver/item");
    }
    nKernelServer kernel;
    nRoot* obj;
};

void BM_CallByIdTemplate(benchmark::State& state) {
    Kernel k;
    nClass* cls = k.obj->GetClass();
    for (auto _ : state) {
        nCmdProto* proto = cls->FindCmdById(nId("GRCT"));
        nCmd* cmd = proto->NewCmd();
        k.obj->Dispatch(cmd);
        benchmark::DoNotOptimize(cmd->Out()->GetI());
        proto->RelCmd(cmd);
    }
}
BENCHMARK(BM_CallByIdTemplate);

void BM_CallByIdConvenience(benchmark::State& state) {
    Kernel k;
    nArg out;
    for (auto _ : state) {
        k.obj->Call(nId("FIND"), &out, "item");
        benchmark::DoNotOptimize(out.GetO());
    }
}
BENCHMARK(BM_CallByIdConvenience);

void BM_CallByName(benchmark::State& state) {
    Kernel k;
    nClass* cls = k.obj->GetClass();
    for (auto _ : state) {
        nCmdProto* proto = cls->FindCmdByName("getrefcount");
        nCmd* cmd = proto->NewCmd();
        k.obj->Dispatch(cmd);
        benchmark::DoNotOptimize(cmd->Out()->GetI());
        proto->RelCmd(cmd);
    }
}
BENCHMARK(BM_CallByName);

void BM_LookupAbsolute(benchmark::State& state) {
    Kernel k;
    for (auto _ : state) benchmark::DoNotOptimize(k.kernel.Lookup("/usr/logic/level/diver/item"));
}
BENCHMARK(BM_LookupAbsolute);

void BM_PathRefResolved(benchmark::State& state) {
    Kernel k;
    nPathRef<> ref("/usr/logic/level/diver");
    for (auto _ : state) benchmark::DoNotOptimize(ref.Get());
}
BENCHMARK(BM_PathRefResolved);

}  // namespace
