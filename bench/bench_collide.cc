// Exact collision: contact generation for box-box, sphere-box and sphere-sphere pairs in
// random touching poses against ODE's dCollide on the same poses, and a context's Collide
// over 255 dynamic boxes and spheres against a bare loop doing the same sphere sweeps
// and pair tests.
#include <benchmark/benchmark.h>
#include <ode/ode.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollidePackage.h"
#include "collide/nCollideReportBuffer.h"
#include "collide/nXCollideServer.h"
#include "collide/nXPairTests.h"
#include "kernel/nKernelServer.h"
#include "kernel/quaternion.h"

namespace {

enum Kind { BoxBox = 0, SphereBox = 1, SphereSphere = 2 };

struct Pose {
    matrix44 a, b;
    vector3 motion;  // of a, towards b
};

const vector3 kSidesA(1.0f, 0.8f, 1.2f), kSidesB(1.5f, 1.0f, 0.9f);
const float kRadiusA = 0.6f, kRadiusB = 0.7f;

matrix44 RandomPose(std::mt19937& rng, const vector3& at) {
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    quaternion q(u(rng), u(rng), u(rng), u(rng));
    q.Norm();
    matrix44 m;
    m.SetQuaternion(q);
    m.SetTranslation(at);
    return m;
}

// A near b, close enough to touch, moving a little towards it.
std::vector<Pose> TouchingPoses(Kind kind, int n) {
    std::mt19937 rng(7 + kind);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<Pose> poses;
    const float reach = kind == SphereSphere ? (kRadiusA + kRadiusB) * 0.9f : 0.9f;
    while (int(poses.size()) < n) {
        vector3 dir(u(rng), u(rng), u(rng));
        if (dir.Len() < 0.1f) continue;
        dir.Norm();
        Pose p;
        p.b = RandomPose(rng, vector3());
        p.a = RandomPose(rng, dir * reach);
        p.motion = dir * -0.1f;
        poses.push_back(p);
    }
    return poses;
}

void ToOde(dGeomID g, const matrix44& m) {
    dMatrix3 r;
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) r[i * 4 + j] = m.m[j][i];
        r[i * 4 + 3] = 0;
    }
    dGeomSetRotation(g, r);
    dGeomSetPosition(g, m.m[3][0], m.m[3][1], m.m[3][2]);
}

int Ours(Kind kind, const Pose& p, nCollideReportBuffer& buf) {
    buf.Begin(COLLTYPE_EXACT);
    switch (kind) {
        case BoxBox: nXPairTests::BoxBox(kSidesA, p.a, p.motion, kSidesB, p.b, &buf); break;
        case SphereBox: nXPairTests::SphereBox(kRadiusA, p.a, p.motion, kSidesB, p.b, vector3(), &buf); break;
        case SphereSphere: nXPairTests::SphereSphere(kRadiusA, p.a, p.motion, kRadiusB, p.b, vector3(), &buf); break;
    }
    return buf.numReports;
}

void BM_PairTests(benchmark::State& state) {
    const Kind kind = Kind(state.range(0));
    const auto poses = TouchingPoses(kind, 256);
    auto buf = std::make_unique<nCollideReportBuffer>();
    size_t i = 0;
    int64_t contacts = 0;
    for (auto _ : state) {
        contacts += Ours(kind, poses[i++ & 255], *buf);
        benchmark::DoNotOptimize(buf->reports[0].depth);
    }
    state.counters["contacts/pair"] = double(contacts) / double(state.iterations());
}
BENCHMARK(BM_PairTests)->Arg(BoxBox)->Arg(SphereBox)->Arg(SphereSphere);

void BM_OdeCollide(benchmark::State& state) {
    const Kind kind = Kind(state.range(0));
    const auto poses = TouchingPoses(kind, 256);
    dInitODE2(0);
    dGeomID a = kind == BoxBox ? dCreateBox(nullptr, kSidesA.x, kSidesA.y, kSidesA.z) : dCreateSphere(nullptr, kRadiusA);
    dGeomID b = kind == SphereSphere ? dCreateSphere(nullptr, kRadiusB) : dCreateBox(nullptr, kSidesB.x, kSidesB.y, kSidesB.z);
    dContactGeom contacts[8];
    size_t i = 0;
    int64_t found = 0;
    for (auto _ : state) {
        const Pose& p = poses[i++ & 255];
        ToOde(a, p.a);
        ToOde(b, p.b);
        found += dCollide(a, b, 8, contacts, sizeof(dContactGeom));
        benchmark::DoNotOptimize(contacts[0].depth);
    }
    state.counters["contacts/pair"] = double(found) / double(state.iterations());
    dGeomDestroy(a);
    dGeomDestroy(b);
    dCloseODE();
}
BENCHMARK(BM_OdeCollide)->Arg(BoxBox)->Arg(SphereBox)->Arg(SphereSphere);

// ---- a context over 255 dynamic objects

constexpr int kObjects = 255;

struct World {
    World() : kernel([](nKernelServer* ks) {
          nKernelPackage(ks);
          nCollidePackage(ks);
      }) {
        server = static_cast<nXCollideServer*>(kernel.New("nxcollideserver", "/sys/servers/collide2"));
        server->BeginCollClasses();
        server->AddCollClass("dynamic");
        server->EndCollClasses();
        server->BeginCollTypes();
        server->AddCollType("dynamic", "dynamic", COLLTYPE_EXACT);
        server->EndCollTypes();
        ctx = server->NewContext("physik");
        box = server->NewShape(2, "box");
        box->SetBoxSides(kSidesA);
        sphere = server->NewShape(3, "sphere");
        sphere->SetRadius(kRadiusA);
        std::mt19937 rng(11);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        objects = std::make_unique<nCollideObject2[]>(kObjects);
        for (int i = 0; i < kObjects; i++) {
            nCollideObject2& o = objects[i];
            o.shape = (i & 1) ? sphere : box;
            o.classIndex = 0;
            o.prevMatrix = RandomPose(rng, vector3(u(rng), u(rng), u(rng)) * 9.0f);
            o.motion = vector3(u(rng), u(rng), u(rng)) * 0.2f;
            o.curMatrix = o.prevMatrix;
            o.curMatrix.SetTranslation(o.prevMatrix.Translation() + o.motion);
            o.owner = reinterpret_cast<nLogicNode*>(&o);
            o.dynamic = true;
        }
    }
    ~World() {
        objects.reset();
        box->Release();
        sphere->Release();
    }
    nKernelServer kernel;
    nXCollideServer* server;
    nCollideContext2* ctx;
    nCollideShape2* box;
    nCollideShape2* sphere;
    std::unique_ptr<nCollideObject2[]> objects;
};

void BM_ContextCollide(benchmark::State& state) {
    World w;
    int records = 0;
    for (auto _ : state) {
        w.server->BeginFrame();
        for (int i = 0; i < kObjects; i++) {
            w.objects[i].ClearCounts();
            w.ctx->AddObject(&w.objects[i]);
        }
        w.server->EndFrame();
        records = w.ctx->Collide();
        benchmark::DoNotOptimize(records);
    }
    state.counters["records"] = records;
}
BENCHMARK(BM_ContextCollide);

// The same sweeps and tests, both orders of each pair with the second skipped once the
// first filed something, results copied into a flat array.
void BM_BareLoop(benchmark::State& state) {
    World w;
    auto buf = std::make_unique<nCollideReportBuffer>();
    std::vector<nCollideReport> filed;
    filed.reserve(4096);
    std::vector<uint8_t> done(kObjects * kObjects);
    int records = 0;
    for (auto _ : state) {
        filed.clear();
        std::fill(done.begin(), done.end(), 0);
        for (int i = 0; i < kObjects; i++) {
            nCollideObject2& a = w.objects[i];
            const bool aBox = (i & 1) == 0;
            for (int j = 0; j < kObjects; j++) {
                if (i == j) continue;
                const int lo = i < j ? i : j, hi = i < j ? j : i;
                if (done[lo * kObjects + hi]) continue;
                nCollideObject2& b = w.objects[j];
                const bool bBox = (j & 1) == 0;
                const float rA = aBox ? w.box->GetRadius() : kRadiusA;
                const float rB = bBox ? w.box->GetRadius() : kRadiusA;
                float t0, t1;
                if (!nCollideContext2::SweepSpheres(a.prevMatrix.Translation(), rA, a.motion,
                                                    b.prevMatrix.Translation(), rB, b.motion, t0, t1)) {
                    continue;
                }
                buf->Begin(COLLTYPE_EXACT);
                if (aBox && bBox) {
                    nXPairTests::BoxBox(kSidesA, a.prevMatrix, a.motion, kSidesA, b.prevMatrix, buf.get());
                } else if (aBox) {
                    nXPairTests::SphereBox(kRadiusA, b.prevMatrix, b.motion, kSidesA, a.prevMatrix, a.motion,
                                           buf.get());
                } else if (bBox) {
                    nXPairTests::SphereBox(kRadiusA, a.prevMatrix, a.motion, kSidesA, b.prevMatrix, b.motion,
                                           buf.get());
                } else {
                    nXPairTests::SphereSphere(kRadiusA, a.prevMatrix, a.motion, kRadiusA, b.prevMatrix, b.motion,
                                              buf.get());
                }
                for (int k = 0; k < buf->numReports; k++) {
                    filed.push_back(buf->reports[k]);
                    filed.back().objA = &a;
                    filed.back().objB = &b;
                }
                if (buf->numReports > 0) done[lo * kObjects + hi] = 1;
            }
        }
        records = int(filed.size());
        benchmark::DoNotOptimize(filed.data());
    }
    state.counters["records"] = records;
}
BENCHMARK(BM_BareLoop);

}  // namespace
