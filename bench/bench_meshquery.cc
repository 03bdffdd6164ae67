// The mesh-query layer on a seeded 100,000-triangle height field: ray stabs and sphere
// queries through the tree, against a loop over every triangle doing the same tests and
// against ODE's trimesh collider answering the same queries. Compare items_per_second
// (one item is one query); the tree build is timed on its own.
#include <benchmark/benchmark.h>
#include <ode/ode.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/meshquery/MeshQuery.h"
#include "platform/meshquery/TriMesh.h"

using namespace meshquery;

namespace {

constexpr int kCellsX = 250, kCellsZ = 200;  // 2 * 250 * 200 = 100,000 triangles
constexpr int kQueries = 10000;
constexpr int kBruteQueries = 50;  // the full loop is too slow for all of them
constexpr float kRadius = 1.5f;

struct Field {
    std::vector<float> verts;  // x, y, z
    std::vector<uint32_t> tris;
    TriMesh mesh;
    std::vector<vector3> rayStart, rayDir, sphere;

    Field() {
        std::mt19937 rng(4711);
        std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
        for (int z = 0; z <= kCellsZ; z++)
            for (int x = 0; x <= kCellsX; x++) {
                float h = 3.0f * std::sin(x * 0.05f) * std::cos(z * 0.07f) + noise(rng);
                verts.insert(verts.end(), {float(x), h, float(z)});
            }
        for (int z = 0; z < kCellsZ; z++)
            for (int x = 0; x < kCellsX; x++) {
                uint32_t i0 = uint32_t(z * (kCellsX + 1) + x), i1 = i0 + 1, i2 = i0 + kCellsX + 1, i3 = i2 + 1;
                // Stored normals point up, so rays from above pass the culling.
                tris.insert(tris.end(), {i0, i2, i1, i1, i2, i3});
            }
        Build(mesh);
        std::uniform_real_distribution<float> px(1.0f, kCellsX - 1.0f), pz(1.0f, kCellsZ - 1.0f), tilt(-0.3f, 0.3f),
            dy(-1.0f, 1.0f);
        for (int i = 0; i < kQueries; i++) {
            vector3 d(tilt(rng), -1.0f, tilt(rng));
            d.Norm();
            rayStart.push_back(vector3(px(rng), 20.0f, pz(rng)));
            rayDir.push_back(d);
            float x = px(rng), z = pz(rng);
            sphere.push_back(vector3(x, 3.0f * std::sin(x * 0.05f) * std::cos(z * 0.07f) + dy(rng), z));
        }
    }
    void Build(TriMesh& m) const {
        const int nv = int(verts.size() / 3), nt = int(tris.size() / 3);
        m.Begin(nv, nt);
        for (int i = 0; i < nv; i++) m.SetVertex(i, vector3(verts[3 * i], verts[3 * i + 1], verts[3 * i + 2]));
        for (int i = 0; i < nt; i++) m.SetTriangle(i, tris[3 * i], tris[3 * i + 1], tris[3 * i + 2]);
        m.Build();
    }
};

const Field& TheField() {
    static Field f;
    return f;
}

struct OdeField {
    dTriMeshDataID data;
    dGeomID mesh, ray, sphere;
    OdeField() {
        const Field& f = TheField();
        dInitODE2(0);
        data = dGeomTriMeshDataCreate();
        dGeomTriMeshDataBuildSingle(data, f.verts.data(), 3 * sizeof(float), int(f.verts.size() / 3), f.tris.data(),
                                    int(f.tris.size()), 3 * sizeof(uint32_t));
        mesh = dCreateTriMesh(nullptr, data, nullptr, nullptr, nullptr);
        dGeomTriMeshEnableTC(mesh, dSphereClass, 0);
        ray = dCreateRay(nullptr, 100.0);
        dGeomRaySetFirstContact(ray, 0);
        dGeomRaySetBackfaceCull(ray, 1);
        dGeomRaySetClosestHit(ray, 0);
        sphere = dCreateSphere(nullptr, kRadius);
    }
};

OdeField& TheOde() {
    static OdeField o;
    return o;
}

void BM_TreeBuild(benchmark::State& state) {
    const Field& f = TheField();
    for (auto _ : state) {
        TriMesh m;
        f.Build(m);
        benchmark::DoNotOptimize(m.GetNodes().data());
    }
}
BENCHMARK(BM_TreeBuild)->Unit(benchmark::kMillisecond);

void BM_RayStab_Tree(benchmark::State& state) {
    const Field& f = TheField();
    matrix44 id;
    RaySettings s;
    s.maxDistance = 100.0f;
    std::vector<StabbedFace> faces;
    faces.reserve(64);
    size_t hits = 0;
    for (auto _ : state) {
        for (int i = 0; i < kQueries; i++) {
            RayStab(f.mesh, id, f.rayStart[i], f.rayDir[i], s, &faces);
            hits += faces.size();
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kQueries);
    state.counters["faces/query"] = double(hits) / double(state.iterations() * kQueries);
}
BENCHMARK(BM_RayStab_Tree)->Unit(benchmark::kMillisecond);

void BM_RayStab_Brute(benchmark::State& state) {
    const Field& f = TheField();
    size_t hits = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBruteQueries; i++) {
            for (int t = 0; t < f.mesh.GetNumTriangles(); t++) {
                vector3 a, b, c;
                f.mesh.GetTriangle(t, a, b, c);
                float d, u, v;
                if (RayTriangle(f.rayStart[i], f.rayDir[i], a, b, c, true, 100.0f, d, u, v)) hits++;
            }
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBruteQueries);
    state.counters["faces/query"] = double(hits) / double(state.iterations() * kBruteQueries);
}
BENCHMARK(BM_RayStab_Brute)->Unit(benchmark::kMillisecond);

void BM_RayStab_Ode(benchmark::State& state) {
    const Field& f = TheField();
    OdeField& o = TheOde();
    dContactGeom contacts[64];
    size_t hits = 0;
    for (auto _ : state) {
        for (int i = 0; i < kQueries; i++) {
            const vector3 &p = f.rayStart[i], &d = f.rayDir[i];
            dGeomRaySet(o.ray, p.x, p.y, p.z, d.x, d.y, d.z);
            hits += size_t(dCollide(o.mesh, o.ray, 64, contacts, sizeof(dContactGeom)));
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kQueries);
    state.counters["faces/query"] = double(hits) / double(state.iterations() * kQueries);
}
BENCHMARK(BM_RayStab_Ode)->Unit(benchmark::kMillisecond);

void BM_Sphere_Tree(benchmark::State& state) {
    const Field& f = TheField();
    matrix44 id;
    std::vector<uint32_t> touched;
    touched.reserve(256);
    size_t n = 0;
    for (auto _ : state) {
        for (int i = 0; i < kQueries; i++) {
            SphereTouched(f.mesh, id, f.sphere[i], kRadius, false, &touched);
            n += touched.size();
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kQueries);
    state.counters["tris/query"] = double(n) / double(state.iterations() * kQueries);
}
BENCHMARK(BM_Sphere_Tree)->Unit(benchmark::kMillisecond);

void BM_Sphere_Brute(benchmark::State& state) {
    const Field& f = TheField();
    size_t n = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBruteQueries; i++) {
            for (int t = 0; t < f.mesh.GetNumTriangles(); t++) {
                vector3 a, b, c;
                f.mesh.GetTriangle(t, a, b, c);
                if (PointTriangleDistSq(f.sphere[i], a, b, c) <= kRadius * kRadius) n++;
            }
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kBruteQueries);
    state.counters["tris/query"] = double(n) / double(state.iterations() * kBruteQueries);
}
BENCHMARK(BM_Sphere_Brute)->Unit(benchmark::kMillisecond);

void BM_Sphere_Ode(benchmark::State& state) {
    const Field& f = TheField();
    OdeField& o = TheOde();
    dContactGeom contacts[256];
    size_t n = 0;
    for (auto _ : state) {
        for (int i = 0; i < kQueries; i++) {
            const vector3& c = f.sphere[i];
            dGeomSetPosition(o.sphere, c.x, c.y, c.z);
            n += size_t(dCollide(o.mesh, o.sphere, 256, contacts, sizeof(dContactGeom)));
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * kQueries);
    state.counters["contacts/query"] = double(n) / double(state.iterations() * kQueries);
}
BENCHMARK(BM_Sphere_Ode)->Unit(benchmark::kMillisecond);

}  // namespace
