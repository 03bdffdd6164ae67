// The math types against plain loops over float arrays doing the same work:
// the value classes should cost nothing over hand-written code.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "kernel/matrix44.h"
#include "kernel/nRandom.h"

namespace {

constexpr int kMatrices = 1000;
constexpr int kQuats = 1000;
constexpr int kPoints = 10000;

float Rnd() { return float(nRandom::Next()) / float(nRandom::Max) * 2.0f - 1.0f; }

matrix44 RndMatrix() {
    matrix44 m;
    m.RotateX(Rnd() * 3);
    m.RotateY(Rnd() * 3);
    m.Scale(vector3(1 + Rnd() * 0.5f, 1 + Rnd() * 0.5f, 1 + Rnd() * 0.5f));
    m.SetTranslation(vector3(Rnd() * 10, Rnd() * 10, Rnd() * 10));
    return m;
}

quaternion RndQuat() {
    quaternion q(Rnd(), Rnd(), Rnd(), Rnd());
    q.Norm();
    return q;
}

// --- matrix product ---------------------------------------------------------

void BM_Matrix44Mult(benchmark::State& state) {
    nRandom::Seed(7);
    std::vector<matrix44> a(kMatrices), b(kMatrices), out(kMatrices);
    for (int i = 0; i < kMatrices; i++) {
        a[i] = RndMatrix();
        b[i] = RndMatrix();
    }
    for (auto _ : state) {
        for (int i = 0; i < kMatrices; i++) out[i] = a[i] * b[i];
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kMatrices);
}
BENCHMARK(BM_Matrix44Mult);

void BM_FloatArrayMult(benchmark::State& state) {
    nRandom::Seed(7);
    std::vector<float> a(kMatrices * 16), b(kMatrices * 16), out(kMatrices * 16);
    for (int i = 0; i < kMatrices; i++) {
        matrix44 ma = RndMatrix(), mb = RndMatrix();
        for (int k = 0; k < 16; k++) {
            a[i * 16 + k] = ma.m[k / 4][k % 4];
            b[i * 16 + k] = mb.m[k / 4][k % 4];
        }
    }
    for (auto _ : state) {
        for (int n = 0; n < kMatrices; n++) {
            const float* pa = &a[n * 16];
            const float* pb = &b[n * 16];
            float* po = &out[n * 16];
            for (int i = 0; i < 4; i++) {
                for (int j = 0; j < 4; j++) {
                    po[i * 4 + j] = pa[i * 4 + 0] * pb[0 * 4 + j] + pa[i * 4 + 1] * pb[1 * 4 + j] +
                                    pa[i * 4 + 2] * pb[2 * 4 + j] + pa[i * 4 + 3] * pb[3 * 4 + j];
                }
            }
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kMatrices);
}
BENCHMARK(BM_FloatArrayMult);

// --- quaternion slerp -------------------------------------------------------

void BM_QuaternionSlerp(benchmark::State& state) {
    nRandom::Seed(11);
    std::vector<quaternion> a(kQuats), b(kQuats), out(kQuats);
    std::vector<float> t(kQuats);
    for (int i = 0; i < kQuats; i++) {
        a[i] = RndQuat();
        b[i] = RndQuat();
        t[i] = (Rnd() + 1) * 0.5f;
    }
    for (auto _ : state) {
        for (int i = 0; i < kQuats; i++) out[i].Slerp(a[i], b[i], t[i]);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kQuats);
}
BENCHMARK(BM_QuaternionSlerp);

void BM_FloatArraySlerp(benchmark::State& state) {
    nRandom::Seed(11);
    std::vector<float> a(kQuats * 4), b(kQuats * 4), out(kQuats * 4), t(kQuats);
    for (int i = 0; i < kQuats; i++) {
        quaternion qa = RndQuat(), qb = RndQuat();
        float va[4] = {qa.x, qa.y, qa.z, qa.w}, vb[4] = {qb.x, qb.y, qb.z, qb.w};
        for (int k = 0; k < 4; k++) {
            a[i * 4 + k] = va[k];
            b[i * 4 + k] = vb[k];
        }
        t[i] = (Rnd() + 1) * 0.5f;
    }
    for (auto _ : state) {
        for (int i = 0; i < kQuats; i++) {
            const float* pa = &a[i * 4];
            const float* pb = &b[i * 4];
            float* po = &out[i * 4];
            float dot = pa[0] * pb[0] + pa[1] * pb[1] + pa[2] * pb[2] + pa[3] * pb[3];
            float sign = 1.0f;
            if (dot < 0.0f) {
                sign = -1.0f;
                dot = -dot;
            }
            float wa, wb;
            if (1.0f - dot < 0.05f) {
                wa = 1.0f - t[i];
                wb = t[i];
            } else {
                float c = dot > 1.0f ? 1.0f : dot;
                float theta = std::acos(c);
                float s = std::sin(theta);
                wa = std::sin((1.0f - t[i]) * theta) / s;
                wb = std::sin(t[i] * theta) / s;
            }
            wa *= sign;
            for (int k = 0; k < 4; k++) po[k] = wa * pa[k] + wb * pb[k];
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kQuats);
}
BENCHMARK(BM_FloatArraySlerp);

// --- point transform --------------------------------------------------------

void BM_Matrix44TransformPoints(benchmark::State& state) {
    nRandom::Seed(13);
    matrix44 m = RndMatrix();
    std::vector<vector3> in(kPoints), out(kPoints);
    for (auto& p : in) p.set(Rnd() * 100, Rnd() * 100, Rnd() * 100);
    for (auto _ : state) {
        for (int i = 0; i < kPoints; i++) out[i] = m * in[i];
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_Matrix44TransformPoints);

void BM_FloatArrayTransformPoints(benchmark::State& state) {
    nRandom::Seed(13);
    matrix44 mm = RndMatrix();
    float m[16];
    for (int k = 0; k < 16; k++) m[k] = mm.m[k / 4][k % 4];
    std::vector<float> in(kPoints * 3), out(kPoints * 3);
    for (auto& f : in) f = Rnd() * 100;
    for (auto _ : state) {
        for (int i = 0; i < kPoints; i++) {
            const float x = in[i * 3], y = in[i * 3 + 1], z = in[i * 3 + 2];
            out[i * 3 + 0] = m[0] * x + m[4] * y + m[8] * z + m[12];
            out[i * 3 + 1] = m[1] * x + m[5] * y + m[9] * z + m[13];
            out[i * 3 + 2] = m[2] * x + m[6] * y + m[10] * z + m[14];
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_FloatArrayTransformPoints);

}  // namespace
