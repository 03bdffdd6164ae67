// 1,000 animation nodes, each with one looping vector animator that plays a three-value
// key file into "v_txyz_fff": each node's animator state runs (module, envelope sample,
// command built and dispatched to the node), against a plain loop that samples the same
// envelopes at the same times with cursors of its own and calls SetPosition directly.
// Neither side walks the logic tree. Allocations are counted over the measured frames.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "anim/nEnvelope.h"
#include "anim/nEnvelopeServer.h"
#include "bench/BenchAllocations.h"
#include "bench/BenchLogicKernel.h"
#include "kernel/nKernelServer.h"
#include "logic/nLogicAnim.h"
#include "logic/nModAnimatorState.h"
#include "logic/nModVectorAnimator.h"

namespace {

constexpr int kNodes = 1000;
constexpr int kKeyFiles = 8;
constexpr float kFrame = 1.0f / 60.0f;

// Each node's time is offset, so the nodes sit in different segments of their keys.
float NodeTime(float t, int i) {
    return t + 0.013f * float(i);
}

class AnimatorBench {
public:
    AnimatorBench() {
        kernel = bench::NewLogicKernel();
        kernel->New("nenvelopeserver", "/sys/servers/envelope");
        for (int f = 0; f < kKeyFiles; f++) {
            std::string path = "/tmp/bench_animator_" + std::to_string(::getpid()) + "_" + std::to_string(f) + ".nea";
            FILE* out = std::fopen(path.c_str(), "w");
            std::fprintf(out, "keybuffer 6 3\n");
            for (int k = 0; k < 6; k++) {
                std::fprintf(out, "key 1 %d.0 %d %d %d\n", k, (k * 3 + f) % 7, (k * 5 + f) % 4, k - f);
            }
            std::fclose(out);
            files.push_back(path);
        }
        for (int i = 0; i < kNodes; i++) {
            std::string node = "/usr/logic/door" + std::to_string(i);
            std::string module = "/usr/modules/slide" + std::to_string(i);
            auto* n = static_cast<nLogicAnim*>(kernel->New("nlogicanim", node.c_str()));
            auto* m = static_cast<nModVectorAnimator*>(kernel->New("nmodvectoranimator", module.c_str()));
            m->SetRepType("loop");
            m->BeginAnims(1);
            m->BeginAnim("v_txyz_fff");
            m->SetKeyFile(files[size_t(i % kKeyFiles)].c_str());
            m->EndAnim();
            m->EndAnims();
            n->AddAnimator("default", module.c_str());
            nodes.push_back(n);
            states.push_back(n->GetAnimatorState());
        }
        // A first frame loads the envelopes and binds the commands.
        Frame(0.0f);
        for (int f = 0; f < kKeyFiles; f++) {
            std::string name = nEnvelopeServer::MakeEnvelopeName(files[size_t(f)].c_str());
            nRoot* env = kernel->Lookup(("/sys/share/envelopes/" + name).c_str());
            if (!env) nKernelServer::FatalError("bench_animator: '%s' did not load\n", files[size_t(f)].c_str());
            envelopes.push_back(static_cast<nEnvelope*>(env));
        }
    }
    ~AnimatorBench() {
        delete kernel;
        for (const std::string& f : files) std::remove(f.c_str());
    }
    void Frame(float t) {
        for (int i = 0; i < kNodes; i++) {
            nModAnimatorState* st = states[size_t(i)];
            st->SetTime(NodeTime(t, i));
            st->Animate();
        }
    }

    nKernelServer* kernel;
    std::vector<std::string> files;
    std::vector<nLogicAnim*> nodes;
    std::vector<nModAnimatorState*> states;
    std::vector<nEnvelope*> envelopes;
};

void BM_AnimatorStates(benchmark::State& state) {
    AnimatorBench b;
    float t = 0.0f;
    long before = bench::allocations.load();
    for (auto _ : state) {
        t += kFrame;
        b.Frame(t);
        benchmark::DoNotOptimize(b.nodes[0]->GetPosition());
    }
    state.counters["allocs/frame"] = double(bench::allocations.load() - before) / double(state.iterations());
}
BENCHMARK(BM_AnimatorStates)->Unit(benchmark::kMicrosecond);

void BM_PlainLoop(benchmark::State& state) {
    AnimatorBench b;
    std::vector<int> cursors(kNodes, 0);
    float t = 0.0f;
    long before = bench::allocations.load();
    for (auto _ : state) {
        t += kFrame;
        for (int i = 0; i < kNodes; i++) {
            float v[4];
            b.envelopes[size_t(i % kKeyFiles)]->Sample(cursors[size_t(i)], v, NodeTime(t, i), 1.0f, true);
            b.nodes[size_t(i)]->SetPosition(vector3(v[0], v[1], v[2]));
        }
        benchmark::DoNotOptimize(b.nodes[0]->GetPosition());
    }
    state.counters["allocs/frame"] = double(bench::allocations.load() - before) / double(state.iterations());
}
BENCHMARK(BM_PlainLoop)->Unit(benchmark::kMicrosecond);

}  // namespace
