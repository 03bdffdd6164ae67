// Indexed drawing through the vertex pools against raw OpenGL buffer objects and
// glDrawElements drawing the same data, in the same run, each iteration finished with
// glFinish: 10,000 small triangles from one static buffer drawn by the pool's Render,
// and 1,000 quads a frame streamed through a vertex-buffer holder's Begin/End. The
// triangles are a pixel or two, so the ratio measures overhead, not rasterisation.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "gfx/nD3D8Server.h"
#include "gfx/nGfxPackage.h"
#include "gfx/nIndexBuffer.h"
#include "gfx/nVertexBuffer.h"
#include "gfx/nVertexBufferHolder.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "platform/render/Device.h"
#include "bench/BenchGl.h"
#include "platform/render/GlHeaders.h"

namespace {

constexpr int Triangles = 10000;
constexpr int Quads = 1000;
constexpr int W = 800;
constexpr int H = 600;

struct Vertex {
    float x, y, z;
    uint32_t color;
};

// Triangle i sits on a grid over the screen, a pixel or two wide.
void TriangleVertices(int i, Vertex* v) {
    const float x = float(i % 100) / 50.0f - 0.99f;
    const float y = float(i / 100) / 50.0f - 0.99f;
    const float d = 2.0f / W;
    v[0] = {x, y, -0.5f, 0xFFFF0000u};
    v[1] = {x + d, y, -0.5f, 0xFFFF0000u};
    v[2] = {x, y + d, -0.5f, 0xFFFF0000u};
}

void QuadVertices(int i, float t, Vertex* v) {
    const float x = float(i % 40) / 20.0f - 0.99f + t;
    const float y = float(i / 40) / 12.5f - 0.99f;
    const float d = 3.0f / W;
    v[0] = {x, y, -0.5f, 0xFF00FF00u};
    v[1] = {x + d, y, -0.5f, 0xFF00FF00u};
    v[2] = {x + d, y + d, -0.5f, 0xFF00FF00u};
    v[3] = {x, y + d, -0.5f, 0xFF00FF00u};
}

std::vector<uint16_t> QuadIndices() {
    std::vector<uint16_t> idx;
    for (int q = 0; q < Quads; ++q) {
        const uint16_t b = uint16_t(q * 4);
        for (uint16_t k : {0, 1, 2, 0, 2, 3}) idx.push_back(uint16_t(b + k));
    }
    return idx;
}

struct Ours {
    nKernelServer* kernel;
    nD3D8Server* gfx;
    nVertexBuffer* mesh;
    nIndexBuffer* meshIndices;
    nIndexBuffer* quadIndices;
    nVertexBufferHolder* holder;
    SDL_Window* win = nullptr;
    SDL_GLContext context = nullptr;
    // The device's context, made current again after the raw baseline's, so any order of
    // benchmarks (interleaved, filtered) draws ours into the device's own target.
    void Use() const { SDL_GL_MakeCurrent(win, context); }
    Ours() {
        bench::InitVideo();
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nGfxPackage(ks);
        });
        gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        gfx->SetDisplayMode("w(800)-h(600)-zbuf(16)");
        gfx->OpenDisplay();
        win = SDL_GL_GetCurrentWindow();
        context = SDL_GL_GetCurrentContext();
        mesh = gfx->NewVertexBuffer("mesh", 0, N_VT_COORD | N_VT_RGBA, Triangles * 3);
        mesh->Lock();
        for (int i = 0; i < Triangles; ++i) {
            Vertex v[3];
            TriangleVertices(i, v);
            for (int k = 0; k < 3; ++k) {
                float* c = mesh->GetCoordPtr() + (i * 3 + k) * mesh->GetStride();
                c[0] = v[k].x;
                c[1] = v[k].y;
                c[2] = v[k].z;
                mesh->GetColorPtr()[(i * 3 + k) * mesh->GetStride()] = v[k].color;
            }
        }
        mesh->Unlock();
        meshIndices = gfx->NewIndexBuffer("mesh");
        meshIndices->Begin(0, nIndexBuffer::TRIANGLELIST, Triangles * 3);
        for (int i = 0; i < Triangles * 3; ++i) meshIndices->GetLockPtr()[i] = uint16_t(i);
        meshIndices->End();
        quadIndices = gfx->NewIndexBuffer("quads");
        const std::vector<uint16_t> q = QuadIndices();
        quadIndices->Begin(0, nIndexBuffer::TRIANGLELIST, int(q.size()));
        for (size_t i = 0; i < q.size(); ++i) quadIndices->GetLockPtr()[i] = q[i];
        quadIndices->End();
        holder = new nVertexBufferHolder;
        holder->Create(N_VT_COORD | N_VT_RGBA, Quads * 4);
        gfx->BeginScene();
        render::Device* d = gfx->GetDevice();
        d->SetRenderState(render::RenderState::Lighting, 0);
        d->SetRenderState(render::RenderState::CullMode, render::Cull::None);
        matrix44 id;
        gfx->SetMatrix(nGfxServer::PROJECTION, id);
        gfx->SetMatrix(nGfxServer::MODELVIEW, id);
    }
};

struct Raw : bench::RawTarget {
    GLuint meshBuffer = 0, meshIndices = 0, quadBuffer = 0, quadIndices = 0;
    std::vector<Vertex> quads;
    Raw() : RawTarget(W, H) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        std::vector<Vertex> mesh(size_t(Triangles) * 3);
        for (int i = 0; i < Triangles; ++i) TriangleVertices(i, &mesh[size_t(i) * 3]);
        std::vector<uint16_t> idx(mesh.size());
        for (size_t i = 0; i < idx.size(); ++i) idx[i] = uint16_t(i);
        glGenBuffers(1, &meshBuffer);
        glBindBuffer(GL_ARRAY_BUFFER, meshBuffer);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(mesh.size() * sizeof(Vertex)), mesh.data(), GL_STATIC_DRAW);
        glGenBuffers(1, &meshIndices);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, meshIndices);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(idx.size() * 2), idx.data(), GL_STATIC_DRAW);
        const std::vector<uint16_t> q = QuadIndices();
        glGenBuffers(1, &quadIndices);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, quadIndices);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(q.size() * 2), q.data(), GL_STATIC_DRAW);
        glGenBuffers(1, &quadBuffer);
        quads.resize(size_t(Quads) * 4);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
    }
    void Point(GLuint buffer) {
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glVertexPointer(3, GL_FLOAT, sizeof(Vertex), nullptr);
        glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, sizeof(Vertex), reinterpret_cast<void*>(12));
    }
};

Ours& ours() {
    static Ours* o = new Ours;
    return *o;
}
Raw& raw() {
    static Raw* r = new Raw;
    return *r;
}

void BM_StaticTriangles_Ours(benchmark::State& state) {
    Ours& o = ours();
    o.Use();
    nVertexRange* range = o.mesh->GetRange();
    for (auto _ : state) {
        range->pool->Render(range, o.meshIndices, nullptr, nullptr);
        glFinish();
    }
}

void BM_StaticTriangles_Raw(benchmark::State& state) {
    Raw& r = raw();
    r.Use();
    r.Point(r.meshBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, r.meshIndices);
    for (auto _ : state) {
        glDrawElements(GL_TRIANGLES, Triangles * 3, GL_UNSIGNED_SHORT, nullptr);
        glFinish();
    }
}

void BM_StreamedQuads_Ours(benchmark::State& state) {
    Ours& o = ours();
    o.Use();
    float t = 0.0f;
    for (auto _ : state) {
        nVertexBuffer* vb = o.holder->Begin(o.quadIndices, nullptr, nullptr);
        float* coords = vb->GetCoordPtr();
        uint32_t* colors = vb->GetColorPtr();
        const int stride = vb->GetStride();
        for (int q = 0; q < Quads; ++q) {
            Vertex v[4];
            QuadVertices(q, t, v);
            for (int k = 0; k < 4; ++k) {
                float* c = coords + (q * 4 + k) * stride;
                c[0] = v[k].x;
                c[1] = v[k].y;
                c[2] = v[k].z;
                colors[(q * 4 + k) * stride] = v[k].color;
            }
        }
        o.holder->End(Quads * 4, Quads * 6);
        glFinish();
        t = t > 0.01f ? 0.0f : t + 0.001f;
    }
}

void BM_StreamedQuads_Raw(benchmark::State& state) {
    Raw& r = raw();
    r.Use();
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, r.quadIndices);
    float t = 0.0f;
    const GLsizeiptr bytes = GLsizeiptr(r.quads.size() * sizeof(Vertex));
    for (auto _ : state) {
        for (int q = 0; q < Quads; ++q) QuadVertices(q, t, &r.quads[size_t(q) * 4]);
        glBindBuffer(GL_ARRAY_BUFFER, r.quadBuffer);
        glBufferData(GL_ARRAY_BUFFER, bytes, r.quads.data(), GL_STREAM_DRAW);
        r.Point(r.quadBuffer);
        glDrawElements(GL_TRIANGLES, Quads * 6, GL_UNSIGNED_SHORT, nullptr);
        glFinish();
        t = t > 0.01f ? 0.0f : t + 0.001f;
    }
}

}  // namespace

BENCHMARK(BM_StaticTriangles_Ours)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_StaticTriangles_Raw)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_StreamedQuads_Ours)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_StreamedQuads_Raw)->Unit(benchmark::kMicrosecond)->UseRealTime();
