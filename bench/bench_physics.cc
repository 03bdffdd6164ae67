// 200 boxes resting on a floor, four contacts each, stepped at 1/60 s: through the
// physics server (body table, AddCollisionJoint per contact, WorldStep) against raw ODE
// doing the same work in its own world (contact joints with the same surface,
// dWorldStep, emptying the group). Compare the time per frame; the ratio ours / raw is
// what the server and the ODE layer cost.
#include <benchmark/benchmark.h>
#include <ode/ode.h>

#include <cstring>
#include <memory>
#include <vector>

#include "collide/nCollideReport.h"
#include "kernel/nKernelServer.h"
#include "physics/nOdePhysikBody.h"
#include "physics/nOdePhysikServer.h"
#include "physics/nPhysikMass.h"
#include "physics/nPhysikPackage.h"

namespace {

constexpr int kBoxes = 200;
constexpr float kStep = 1.0f / 60.0f;
constexpr float kHalf = 0.5f;

vector3 StartPos(int i) {
    return vector3(float(i % 20) * 3.0f, kHalf, float(i / 20) * 3.0f);
}

// The four bottom corners of a box whose centre is at p, reaching into the floor at y 0.
void Corners(const vector3& p, vector3 out[4], float& depth) {
    depth = kHalf - p.y;
    if (depth < 0.0f) depth = 0.0f;
    for (int k = 0; k < 4; k++) {
        out[k] = vector3(p.x + ((k & 1) ? kHalf : -kHalf), 0.0f, p.z + ((k & 2) ? kHalf : -kHalf));
    }
}

struct Ours {
    std::unique_ptr<nKernelServer> kernel;
    nOdePhysikServer* server = nullptr;
    std::vector<std::unique_ptr<nPhysikBody>> bodies;
    std::unique_ptr<nPhysikMass> mass;

    Ours() {
        kernel = std::make_unique<nKernelServer>();
        nPhysikPackage(kernel.get());
        server = static_cast<nOdePhysikServer*>(kernel->New("nodephysikserver", "/sys/servers/physik"));
        mass.reset(server->CreateMass(2));
        mass->SetBox(vector3(1, 1, 1));
        for (int i = 0; i < kBoxes; i++) {
            bodies.emplace_back(server->CreateBody());
            nPhysikBody* b = bodies.back().get();
            matrix44 m;
            m.SetTranslation(StartPos(i));
            b->SetMatrix(m);
            b->ResetMass();
            b->AddMass(mass.get());
            b->SetMass();
            b->SetContactParam(nPhysikBody::MU, 0.5f);
            b->SetContactParam(nPhysikBody::SOFTCFM, 0.001f);
        }
    }
    ~Ours() {
        bodies.clear();
        mass.reset();
        server->Release();
    }

    void Frame() {
        server->ClearBodies();
        nCollideReport r;
        r.normal2 = vector3(0, 1, 0);
        for (auto& b : bodies) {
            server->AddBody(b.get());
            vector3 corners[4];
            Corners(b->GetMatrix().Translation(), corners, r.depth);
            for (const vector3& c : corners) {
                r.point2 = c;
                server->AddCollisionJoint(b.get(), r);
            }
        }
        server->WorldStep(kStep);
    }
};

struct Raw {
    dWorldID world;
    dJointGroupID group;
    std::vector<dBodyID> bodies;

    Raw() {
        dInitODE2(0);
        dAllocateODEDataForThread(dAllocateMaskAll);
        world = dWorldCreate();
        group = dJointGroupCreate(0);
        dWorldSetCFM(world, 0.0001);
        dWorldSetERP(world, 0.2);
        dWorldSetGravity(world, 0, -9.81, 0);
        dMass m;
        dMassSetBox(&m, 5, 1, 1, 1);
        for (int i = 0; i < kBoxes; i++) {
            dBodyID b = dBodyCreate(world);
            vector3 p = StartPos(i);
            dBodySetPosition(b, p.x, p.y, p.z);
            dBodySetMass(b, &m);
            bodies.push_back(b);
        }
    }
    ~Raw() {
        dJointGroupDestroy(group);
        dWorldDestroy(world);
    }

    void Frame() {
        dContact c;
        std::memset(&c, 0, sizeof(c));
        c.surface.mode = dContactSoftCFM;
        c.surface.mu = 0.5;
        c.surface.mu2 = dInfinity;
        c.surface.soft_cfm = 0.001f;
        c.geom.normal[1] = 1;
        for (dBodyID b : bodies) {
            const dReal* p = dBodyGetPosition(b);
            vector3 corners[4];
            float depth;
            Corners(vector3(float(p[0]), float(p[1]), float(p[2])), corners, depth);
            c.geom.depth = depth;
            for (const vector3& k : corners) {
                c.geom.pos[0] = k.x;
                c.geom.pos[1] = k.y;
                c.geom.pos[2] = k.z;
                dJointAttach(dJointCreateContact(world, group, &c), b, nullptr);
            }
        }
        dWorldStep(world, kStep);
        dJointGroupEmpty(group);
    }
};

void BM_RestingBoxes_Server(benchmark::State& state) {
    Ours ours;
    for (auto _ : state) ours.Frame();
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.counters["y"] = ours.bodies[0]->GetMatrix().Translation().y;
}
BENCHMARK(BM_RestingBoxes_Server)->Unit(benchmark::kMicrosecond);

void BM_RestingBoxes_RawOde(benchmark::State& state) {
    Raw raw;
    for (auto _ : state) raw.Frame();
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.counters["y"] = dBodyGetPosition(raw.bodies[0])[1];
}
BENCHMARK(BM_RestingBoxes_RawOde)->Unit(benchmark::kMicrosecond);

}  // namespace
