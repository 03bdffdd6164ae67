// The scene graph's frame and the mesh files against raw baselines in the same run.
// Frame: 1,000 n3dnode + nmeshnode pairs sharing one cube, attached, sorted and drawn
// into a 64 x 64 target, against raw OpenGL loading the same 1,000 matrices and drawing
// the same cube from one buffer object; both end with glFinish. Load: an .nvx mesh of
// 60,025 vertices read, checked and filled into device buffers (and released again)
// against reading the same file's bytes through the file server; the .n3d text of the
// same mesh is loaded too, for its figure.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/nD3D8Server.h"
#include "gfx/nGfxPackage.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "platform/render/Device.h"
#include "platform/render/GlHeaders.h"
#include "scene/n3DNode.h"
#include "scene/nMeshNode.h"
#include "scene/nSceneGraph2.h"
#include "bench/BenchGl.h"
#include "scene/nScenePackage.h"

namespace {

constexpr int Pairs = 1000;
constexpr int Size = 64;
constexpr int Grid = 245;  // Grid x Grid vertices: 60,025

struct Vertex {
    float x, y, z;
    uint32_t color;
};

// A cube of side 0.02 in red, eight corners and twelve triangles.
const float CubeCorners[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                 {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
const uint16_t CubeTriangles[36] = {0, 1, 2, 0, 2, 3, 4, 6, 5, 4, 7, 6, 0, 4, 5, 0, 5, 1,
                                    3, 2, 6, 3, 6, 7, 0, 3, 7, 0, 7, 4, 1, 5, 6, 1, 6, 2};

std::string TempPath(const char* name) { return "/tmp/bw_bench_scene_" + std::to_string(::getpid()) + "_" + name; }

void WriteFile(const std::string& path, const std::string& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::string CubeText() {
    std::string t;
    char line[96];
    for (const auto& c : CubeCorners) {
        std::snprintf(line, sizeof(line), "v %g %g %g\nrgba 1 0 0 1\n", c[0] * 0.01, c[1] * 0.01, c[2] * 0.01);
        t += line;
    }
    for (int i = 0; i < 36; i += 3) {
        std::snprintf(line, sizeof(line), "f %d %d %d\n", CubeTriangles[i] + 1, CubeTriangles[i + 1] + 1,
                      CubeTriangles[i + 2] + 1);
        t += line;
    }
    return t;
}

// Where pair i stands: a grid over the view, slightly turned.
void PairPlace(int i, float& x, float& y) {
    x = float(i % 40) / 20.0f - 0.975f;
    y = float(i / 40) / 12.5f - 0.975f;
}

// A terrain-like grid with coordinates, normals and one texture set, as .nvx bytes
// (header, vertices, indices) and as .n3d text.
void GridMesh(std::string& nvx, std::string& n3d) {
    std::vector<float> verts;
    std::vector<uint16_t> idx;
    for (int j = 0; j < Grid; j++) {
        for (int i = 0; i < Grid; i++) {
            const float u = float(i) / (Grid - 1), v = float(j) / (Grid - 1);
            const float h = 0.1f * float((i * 7 + j * 13) % 17) / 17.0f;
            for (float f : {u * 100, h, v * 100, 0.0f, 1.0f, 0.0f, u, v}) verts.push_back(f);
        }
    }
    for (int j = 0; j + 1 < Grid; j++) {
        for (int i = 0; i + 1 < Grid; i++) {
            const uint16_t a = uint16_t(j * Grid + i), b = uint16_t(a + 1), c = uint16_t(a + Grid), d = uint16_t(c + 1);
            for (uint16_t k : {a, c, b, b, c, d}) idx.push_back(k);
        }
    }
    const uint32_t vertexBytes = uint32_t(verts.size() * 4), indexBytes = uint32_t(idx.size() * 2);
    const uint32_t head[7] = {0x4E565831, uint32_t(Grid * Grid), uint32_t(idx.size()), 0,
                              0x01 | 0x02 | 0x08, 28, vertexBytes + indexBytes};
    nvx.assign(reinterpret_cast<const char*>(head), sizeof(head));
    nvx.append(reinterpret_cast<const char*>(verts.data()), vertexBytes);
    nvx.append(reinterpret_cast<const char*>(idx.data()), indexBytes);

    n3d.clear();
    char line[128];
    for (size_t k = 0; k < verts.size(); k += 8) {
        std::snprintf(line, sizeof(line), "v %.6g %.6g %.6g\n", verts[k], verts[k + 1], verts[k + 2]);
        n3d += line;
    }
    for (size_t k = 0; k < verts.size(); k += 8) n3d += "vn 0 1 0\n";
    for (size_t k = 0; k < verts.size(); k += 8) {
        std::snprintf(line, sizeof(line), "vt %.6g %.6g\n", verts[k + 6], verts[k + 7]);
        n3d += line;
    }
    for (size_t k = 0; k < idx.size(); k += 3) {
        std::snprintf(line, sizeof(line), "f %d/%d/%d %d/%d/%d %d/%d/%d\n", idx[k] + 1, idx[k] + 1, idx[k] + 1,
                      idx[k + 1] + 1, idx[k + 1] + 1, idx[k + 1] + 1, idx[k + 2] + 1, idx[k + 2] + 1,
                      idx[k + 2] + 1);
        n3d += line;
    }
}

struct Ours {
    nKernelServer* kernel;
    nD3D8Server* gfx;
    nSceneGraph2* sg;
    n3DNode* root;
    nFileServer2* fs;
    std::string cube, gridNvx, gridN3d;
    SDL_Window* win = nullptr;
    SDL_GLContext context = nullptr;
    void Use() { SDL_GL_MakeCurrent(win, context); }
    Ours() {
        bench::InitVideo();
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nGfxPackage(ks);
            nScenePackage(ks);
        });
        fs = kernel->GetFileServer<nFileServer2>();
        gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        gfx->SetDisplayMode("w(64)-h(64)-zbuf(16)");
        gfx->OpenDisplay();
        // The device's context, made current again after the raw baseline's.
        win = SDL_GL_GetCurrentWindow();
        context = SDL_GL_GetCurrentContext();
        kernel->New("nchannelserver", "/sys/servers/channel");
        kernel->New("nshadowserver", "/sys/servers/shadow");
        sg = static_cast<nSceneGraph2*>(kernel->New("nscenegraph2", "/sys/servers/sgraph2"));

        cube = TempPath("cube.n3d");
        WriteFile(cube, CubeText());
        std::string nvx, n3d;
        GridMesh(nvx, n3d);
        gridNvx = TempPath("grid.nvx");
        gridN3d = TempPath("grid.n3d");
        WriteFile(gridNvx, nvx);
        WriteFile(gridN3d, n3d);

        root = static_cast<n3DNode*>(kernel->New("n3dnode", "/scene"));
        for (int i = 0; i < Pairs; i++) {
            const std::string path = "/scene/t" + std::to_string(i);
            auto* t = static_cast<n3DNode*>(kernel->New("n3dnode", path.c_str()));
            float x, y;
            PairPlace(i, x, y);
            t->Txyz(x, y, -0.5f);
            t->Rxyz(float(i % 90), 30, 0);
            auto* m = static_cast<nMeshNode*>(kernel->New("nmeshnode", (path + "/mesh").c_str()));
            m->SetFileName(cube.c_str());
        }
        gfx->BeginScene();
        render::Device* d = gfx->GetDevice();
        d->SetRenderState(render::RenderState::Lighting, 0);
        d->SetRenderState(render::RenderState::CullMode, render::Cull::None);
        matrix44 id;
        gfx->SetMatrix(nGfxServer::PROJECTION, id);
        root->Preload();
    }
    ~Ours() {
        std::remove(cube.c_str());
        std::remove(gridNvx.c_str());
        std::remove(gridN3d.c_str());
    }
    // The world matrices the frame gives each pair, for the raw baseline.
    std::vector<matrix44> Matrices() {
        std::vector<matrix44> out;
        for (int i = 0; i < Pairs; i++) {
            auto* t = static_cast<n3DNode*>(kernel->Lookup(("/scene/t" + std::to_string(i)).c_str()));
            out.push_back(t->GetLocalMatrix());
        }
        return out;
    }
};

struct Raw : bench::RawTarget {
    GLuint vertices = 0, indices = 0;
    std::vector<matrix44> matrices;
    Raw() : RawTarget(Size, Size) {
        glDisable(GL_LIGHTING);
        glDisable(GL_CULL_FACE);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        Vertex v[8];
        for (int i = 0; i < 8; i++) {
            v[i] = {CubeCorners[i][0] * 0.01f, CubeCorners[i][1] * 0.01f, CubeCorners[i][2] * 0.01f, 0xFFFF0000u};
        }
        glGenBuffers(1, &vertices);
        glBindBuffer(GL_ARRAY_BUFFER, vertices);
        glBufferData(GL_ARRAY_BUFFER, sizeof(v), v, GL_STATIC_DRAW);
        glGenBuffers(1, &indices);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indices);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof(CubeTriangles), CubeTriangles, GL_STATIC_DRAW);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glVertexPointer(3, GL_FLOAT, sizeof(Vertex), nullptr);
        glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, sizeof(Vertex), reinterpret_cast<void*>(12));
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
    }
};

Ours& ours() {
    static Ours* o = new Ours;
    return *o;
}
Raw& raw() {
    static Raw* r = [] {
        auto* r = new Raw;
        r->matrices = ours().Matrices();
        r->Use();
        return r;
    }();
    return *r;
}

void BM_Frame1000Meshes_Ours(benchmark::State& state) {
    Ours& o = ours();
    o.Use();
    const matrix44 view;
    for (auto _ : state) {
        o.sg->BeginScene(view);
        o.sg->SetRenderContext(0);
        o.root->Attach(o.sg);
        o.sg->EndScene(true);
        glFinish();
    }
}

// The draw the device issues (glDrawRangeElements), and the plain glDrawElements.
void BM_Frame1000Meshes_Raw(benchmark::State& state) {
    Raw& r = raw();
    r.Use();
    for (auto _ : state) {
        for (const matrix44& m : r.matrices) {
            glLoadMatrixf(&m.m[0][0]);
            glDrawRangeElements(GL_TRIANGLES, 0, 7, 36, GL_UNSIGNED_SHORT, nullptr);
        }
        glFinish();
    }
}

void BM_Frame1000Meshes_RawDrawElements(benchmark::State& state) {
    Raw& r = raw();
    r.Use();
    for (auto _ : state) {
        for (const matrix44& m : r.matrices) {
            glLoadMatrixf(&m.m[0][0]);
            glDrawElements(GL_TRIANGLES, 36, GL_UNSIGNED_SHORT, nullptr);
        }
        glFinish();
    }
}

void LoadMesh(benchmark::State& state, bool nvx, bool readOnly) {
    Ours& o = ours();
    o.Use();
    auto* m = static_cast<nMeshNode*>(o.kernel->New("nmeshnode", "/loader"));
    m->SetReadOnly(readOnly);
    const std::string& file = nvx ? o.gridNvx : o.gridN3d;
    for (auto _ : state) {
        m->SetFileName(file.c_str());
        if (!m->LoadMesh()) state.SkipWithError("the mesh did not load");
        m->SetFileName("");
    }
    m->Release();
}

// Into device buffers ("_rw"), and into ordinary memory as a read-only source ("_ro").
void BM_LoadNvx60k_Ours(benchmark::State& state) { LoadMesh(state, true, false); }
void BM_LoadNvx60kReadOnly_Ours(benchmark::State& state) { LoadMesh(state, true, true); }
void BM_LoadN3d60k_Ours(benchmark::State& state) { LoadMesh(state, false, false); }

void BM_ReadNvx60k_Raw(benchmark::State& state) {
    Ours& o = ours();
    for (auto _ : state) {
        std::string bytes;
        if (!o.fs->ReadFile(o.gridNvx.c_str(), bytes)) state.SkipWithError("no file");
        benchmark::DoNotOptimize(bytes.data());
    }
}

}  // namespace

BENCHMARK(BM_Frame1000Meshes_Ours)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Frame1000Meshes_Raw)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_Frame1000Meshes_RawDrawElements)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_LoadNvx60k_Ours)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_LoadNvx60kReadOnly_Ours)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ReadNvx60k_Raw)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_LoadN3d60k_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
