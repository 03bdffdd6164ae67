// Sampling a 4-component linear loop curve through nAnimCurve::GetValue against a plain
// loop doing the same arithmetic on a float array: the curve should cost next to nothing
// over hand-written code.
#include <benchmark/benchmark.h>

#include <vector>

#include "anim/nAnimCurve.h"

namespace {

constexpr int kKeys = 240;
constexpr float kKeysPerSecond = 24.0f;
constexpr int kSamples = 4096;

std::vector<float> Times() {
    std::vector<float> t(kSamples);
    for (int i = 0; i < kSamples; i++) t[i] = float(i) * 0.0137f;  // many wraps, no key hit twice alike
    return t;
}

float KeyValue(int k, int c) { return float(k * 4 + c) * 0.25f - 3.0f; }

void BM_CurveGetValue(benchmark::State& state) {
    nAnimCurve curve;
    curve.Init(kKeysPerSecond, 0, kKeys, false);
    for (int k = 0; k < kKeys; k++)
        curve.SetKey(k, nAnimKey{KeyValue(k, 0), KeyValue(k, 1), KeyValue(k, 2), KeyValue(k, 3)});
    std::vector<float> times = Times();
    for (auto _ : state) {
        float sum = 0.0f;
        for (float t : times) {
            nAnimKey v = curve.GetValue(t);
            sum += v.x + v.y + v.z + v.w;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_CurveGetValue);

// The raw baseline: the same key position, wrap and blend on a plain float array.
void BM_RawLoopCurve(benchmark::State& state) {
    std::vector<float> keys(kKeys * 4);
    for (int k = 0; k < kKeys; k++)
        for (int c = 0; c < 4; c++) keys[k * 4 + c] = KeyValue(k, c);
    std::vector<float> times = Times();
    const float keyTime = 1.0f / kKeysPerSecond;
    for (auto _ : state) {
        float sum = 0.0f;
        for (float t : times) {
            float k = t / keyTime;
            int i = int(k);
            float f = k - float(i);
            i %= kKeys;
            int j = i + 1 == kKeys ? 0 : i + 1;
            const float* a = &keys[i * 4];
            const float* b = &keys[j * 4];
            for (int c = 0; c < 4; c++) sum += a[c] + (b[c] - a[c]) * f;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_RawLoopCurve);

}  // namespace
