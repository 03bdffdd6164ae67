// One frame of a 200-boid school whose members do not change: the flock's Trigger (the
// visibility table over all pairs, then every boid served and stepped through the logic
// walk) against a hand loop doing the same view tests, steering and integration over
// plain arrays of the same positions, velocities and parameters. Both start from the same
// seeded positions; the set-up checks once that they move alike.
// Then a school that a script grows by 100 boids a frame up to 1,500: a frame that makes
// 100 boids and rebuilds the table, against a frame of the finished school of 1,500.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "collide/nCollidePackage.h"
#include "collide/nCollideServer2.h"
#include "gfx/nGfxPackage.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nRandom.h"
#include "kernel/quaternion.h"
#include "logic/nLogicBoid.h"
#include "logic/nLogicFlock.h"
#include "logic/nLogicGraph.h"
#include "logic/nLogicPackage.h"
#include "physics/nPhysikPackage.h"
#include "scene/nChannelServer.h"
#include "scene/nScenePackage.h"
#include "script/nScriptPackage.h"

namespace {

constexpr int kBoids = 200;
constexpr float kDt = 1.0f / 30.0f;

struct Start {
    std::vector<vector3> pos;
};

Start Seeded(int count = kBoids) {
    nRandom::Seed(11);
    Start s;
    for (int i = 0; i < count; i++) {
        const float x = float(nRandom::Next() % 1600) / 100.0f - 8.0f;
        const float y = float(nRandom::Next() % 500) / 100.0f + 1.0f;
        const float z = float(nRandom::Next() % 1600) / 100.0f - 8.0f;
        s.pos.emplace_back(x, y, z);
    }
    return s;
}

class FlockBench {
public:
    explicit FlockBench(const Start& start) {
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nScriptPackage(ks);
            nGfxPackage(ks);
            nScenePackage(ks);
            nCollidePackage(ks);
            nPhysikPackage(ks);
            nLogicPackage(ks);
        });
        kernel->GetFileServer<nFileServer2>()->SetAssign("bin", BW_SOURCE_DIR "/data/bin/win32/");
        kernel->New("nluaserver2", "/sys/servers/script");
        channels = static_cast<nChannelServer*>(kernel->New("nchannelserver", "/sys/servers/channel"));
        kernel->New("nvariableserver", "/sys/servers/variable");
        auto* collide = static_cast<nCollideServer2*>(kernel->New("ncollideserver2", "/sys/servers/collide2"));
        collide->NewContext("picking");
        collide->NewContext("physik");
        graph = static_cast<nLogicGraph*>(kernel->New("nlogicgraph", "/sys/servers/lgraph"));
        flock = static_cast<nLogicFlock*>(kernel->New("nlogicflock", "/usr/logic/flock"));
        Add(start, 0, int(start.pos.size()));
        channels->SetChannel1f(channels->GenChannel("frametime"), kDt);
        // The first frame builds the table; the measured ones only use it.
        Frame();
    }
    ~FlockBench() { delete kernel; }
    void Frame() { flock->Trigger(graph); }
    // Boids `from` to `from + count - 1`, at their seeded places, as a script makes them.
    void Add(const Start& start, int from, int count) {
        for (int i = from; i < from + count; i++) {
            auto* b = static_cast<nLogicBoid*>(kernel->New("nlogicboid", ("/usr/logic/flock/b" + std::to_string(i)).c_str()));
            b->SetPosition(start.pos[size_t(i)]);
        }
    }
    // Releases boids `from` to `from + count - 1`.
    void Remove(int from, int count) {
        for (int i = from; i < from + count; i++) {
            if (nRoot* b = kernel->Lookup(("/usr/logic/flock/b" + std::to_string(i)).c_str())) b->Release();
        }
    }

    nKernelServer* kernel;
    nChannelServer* channels;
    nLogicGraph* graph;
    nLogicFlock* flock;
};

// The same school as plain arrays, stepped with the boid's arithmetic.
struct Plain {
    explicit Plain(const Start& start) : pos(start.pos) {
        const size_t n = pos.size();
        vel.assign(n, vector3(1.0f, 0.0f, -1.0f));
        acc.assign(n, vector3());
        push.assign(n, vector3());
        yaw.assign(n, 0.0f);
        phase.assign(n, 0.0f);
        rot.assign(n, quaternion());
        returning.assign(n, 0);
        table.assign(n * n, -1);
    }

    static void Limit(vector3& v) {
        if (v.Len() > 1.0f) v.Norm();
    }
    bool CanSee(int a, int b) const {
        vector3 d = pos[size_t(b)] - pos[size_t(a)];
        vector3 h = vel[size_t(a)];
        d.Norm();
        h.Norm();
        return h % d > p[3];
    }

    void Frame(float dt) {
        const int n = int(pos.size());
        for (int i = 0; i < n; i++) {
            for (int j = 0; j < n; j++) {
                if (i != j) table[size_t(i * n + j)] = CanSee(i, j) ? 1 : -1;
            }
        }
        for (int i = 0; i < n; i++) Step(i, dt);
    }

    vector3 Steer(int i, float dt) {
        const int n = int(pos.size());
        const vector3 me = pos[size_t(i)];
        vector3 sep;
        float best = 999999.0f;
        int nearest = -1;
        for (int j = 0; j < n; j++) {
            if (j == i) continue;
            vector3 d = pos[size_t(j)] - me;
            float d2 = d % d;
            if (d2 < best) {
                best = d2;
                nearest = j;
            }
        }
        if (nearest >= 0) {
            vector3 d = pos[size_t(nearest)] - me;
            const float dist = d.Len();
            const float k = p[2];
            if (dist > 0.0f) {
                vector3 v;
                if (dist >= k) {
                    const float f = dist / k;
                    v = d * (f * f);
                } else {
                    if (d.y / dist > 0.7f) std::swap(d.y, d.z);
                    const float f = k / dist;
                    v = d * -(f * f);
                }
                Limit(v);
                sep = v * w[0];
            }
        }
        vector3 velSum, posSum = me, ali;
        int seen = 0;
        for (int j = 0; j < n; j++) {
            if (j == i || table[size_t(i * n + j)] != 1) continue;
            velSum += vel[size_t(j)] - vel[size_t(i)];
            posSum += pos[size_t(j)];
            seen++;
        }
        if (seen > 0) {
            vector3 mean = velSum * (1.0f / float(seen));
            Limit(mean);
            ali = mean * w[3];
        }
        vector3 toCentre = posSum * (1.0f / float(seen + 1)) - me;
        Limit(toCentre);
        const vector3 coh = toCentre * w[2];
        const float r2 = radius * radius;
        const float d2 = me % me;
        vector3 bnd;
        if (r2 > 0.0f && d2 > 0.95f * r2) {
            const vector3 q = me + vel[size_t(i)] * dt;
            if (q % q <= d2) {
                bnd = me * -(d2 / r2);
            } else {
                const quaternion turn(0.0f, std::sin(0.75f), 0.0f, std::cos(0.75f));
                vector3 side = turn.Rotate(vel[size_t(i)]);
                side.Norm();
                bnd = side * (d2 / r2);
            }
            returning[size_t(i)] = 1;
        } else if (returning[size_t(i)] && d2 > 0.8f * r2) {
            vector3 back = me;
            back.Norm();
            bnd = back * (-(d2 / r2) * 0.4f);
        } else {
            returning[size_t(i)] = 0;
        }
        bnd.y -= me.y * 0.1f;
        vector3 sum = sep + ali + coh + bnd + push[size_t(i)] * w[1];
        Limit(sum);
        vector3 a = sum * (p[1] * p[0]) + push[size_t(i)] * 0.35f;
        push[size_t(i)] = vector3();
        return a;
    }

    void Step(int i, float dt) {
        acc[size_t(i)] = Steer(i, dt);
        vector3& v = vel[size_t(i)];
        v += acc[size_t(i)] * dt;
        v.y *= w[4];
        const float maxSpeed = p[0], minSpeed = p[0] / 3.0f;
        const float speed = v.Len();
        if (speed > maxSpeed) {
            if (speed > 1e-7f) v = v * (maxSpeed / speed);
        } else if (speed < minSpeed) {
            vector3 dir = speed > 1e-7f ? v * (1.0f / speed)
                                        : vector3(std::sin(yaw[size_t(i)]), 0.0f, -std::cos(yaw[size_t(i)]));
            v = dir * minSpeed;
        }
        yaw[size_t(i)] = float(M_PI) - std::atan2(v.x, v.z);
        pos[size_t(i)] = pos[size_t(i)] + v * dt;
        const float y = yaw[size_t(i)];
        rot[size_t(i)] = quaternion(0.0f, std::sin(y * 0.5f), 0.0f, std::cos(y * 0.5f));
        phase[size_t(i)] += dt;
    }

    std::vector<vector3> pos, vel, acc, push;
    std::vector<float> yaw, phase;
    std::vector<quaternion> rot;
    std::vector<uint8_t> returning;
    std::vector<int> table;
    float w[6] = {1.0f, 0.3f, 0.3f, 0.1f, 0.3f, 1.0f};
    float p[4] = {1.0f, 0.5f, 5.0f, 0.3f};
    float radius = 10.0f;
};

void BM_FlockFrame(benchmark::State& state) {
    FlockBench b(Seeded());
    for (auto _ : state) {
        b.Frame();
        benchmark::DoNotOptimize(b.flock->GetBoids().At(0)->GetPosition());
    }
}
BENCHMARK(BM_FlockFrame)->Unit(benchmark::kMicrosecond);

void BM_PlainLoop(benchmark::State& state) {
    const Start start = Seeded();
    // Once: the node path and the plain loop move the school alike.
    {
        FlockBench b(start);
        Plain check(start);
        check.Frame(kDt);
        for (int f = 0; f < 20; f++) {
            b.Frame();
            check.Frame(kDt);
        }
        for (int i = 0; i < kBoids; i++) {
            const vector3 d = b.flock->GetBoids().At(i)->GetPosition() - check.pos[size_t(i)];
            if (d.Len() > 1e-3f) {
                state.SkipWithError("the plain loop and the flock disagree");
                return;
            }
        }
    }
    Plain plain(start);
    plain.Frame(kDt);
    for (auto _ : state) {
        plain.Frame(kDt);
        benchmark::DoNotOptimize(plain.pos[0]);
    }
}
BENCHMARK(BM_PlainLoop)->Unit(benchmark::kMicrosecond);

constexpr int kGrowStep = 100;
constexpr int kGrown = 1500;

// The baseline: a frame of the finished school, whose table stays.
void BM_FinishedFlockFrame(benchmark::State& state) {
    FlockBench b(Seeded(kGrown));
    for (auto _ : state) {
        b.Frame();
        benchmark::DoNotOptimize(b.flock->GetBoids().At(0)->GetPosition());
    }
}
BENCHMARK(BM_FinishedFlockFrame)->Unit(benchmark::kMillisecond);

// The frames of a school growing by 100 boids a frame from 100 to 1,500, averaged: each
// makes its 100 boids and rebuilds the table. Starting again from an empty school is not
// measured.
void BM_GrowingFlockFrame(benchmark::State& state) {
    const Start start = Seeded(kGrown);
    auto b = std::make_unique<FlockBench>(Start{});
    int size = 0;
    for (auto _ : state) {
        if (size == kGrown) {
            state.PauseTiming();
            b = std::make_unique<FlockBench>(Start{});
            size = 0;
            state.ResumeTiming();
        }
        b->Add(start, size, kGrowStep);
        size += kGrowStep;
        b->Frame();
        benchmark::DoNotOptimize(b->flock->GetTableSize());
    }
}
BENCHMARK(BM_GrowingFlockFrame)->Unit(benchmark::kMillisecond);

// The dearest growing frame: 100 boids join a school of 1,400.
void BM_GrowingFlockLastFrame(benchmark::State& state) {
    const Start start = Seeded(kGrown);
    FlockBench b(start);
    for (auto _ : state) {
        state.PauseTiming();
        b.Remove(kGrown - kGrowStep, kGrowStep);
        b.Frame();
        state.ResumeTiming();
        b.Add(start, kGrown - kGrowStep, kGrowStep);
        b.Frame();
        benchmark::DoNotOptimize(b.flock->GetTableSize());
    }
}
BENCHMARK(BM_GrowingFlockLastFrame)->Unit(benchmark::kMillisecond);

}  // namespace
