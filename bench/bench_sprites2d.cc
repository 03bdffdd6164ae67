// A 2D frame of 200 sprites of 32 x 32 pixels, textured and blended at half alpha over an
// 800 x 600 display: the logic graph's traversal and visual pass, which renders its 2D
// list (each sprite its own shader, its own small vertex buffer and the shared four
// indices), against raw OpenGL drawing the same textured quads with the same texture,
// constant colours and blending from one buffer object filled once. Both frames end with
// glFinish. The
// counter "allocs" is the number of C++ allocations per frame on our side (none wanted).
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "bench/BenchAllocations.h"
#include "bench/BenchGl.h"
#include "bench/nBenchCamera.h"
#include "gfx/nD3D8Server.h"
#include "gfx/nGfxPackage.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "logic/nLogicGraph.h"
#include "logic/nLogicNode.h"
#include "logic/nLogicPackage.h"
#include "logic/nLogicSprite.h"
#include "platform/render/Device.h"
#include "platform/render/GlHeaders.h"
#include "scene/nScenePackage.h"


namespace {

constexpr int Width = 800, Height = 600;
constexpr int Sprites = 200;
constexpr int Side = 32;

// Where sprite i stands: 20 a row, 38 units apart, rows 40 apart.
void Place(int i, float& x, float& y) {
    x = float(i % 20) * 38.0f + 5.0f;
    y = float(i / 20) * 40.0f + 50.0f;
}
void ColorOf(int i, float c[4]) {
    c[0] = float(i % 5) / 4.0f;
    c[1] = float(i % 7) / 6.0f;
    c[2] = 1.0f;
    c[3] = 0.5f;
}

// A 32 x 32 picture of diagonal stripes: b, g, r texels, rows of 96 bytes (no padding).
std::vector<uint8_t> Texels() {
    std::vector<uint8_t> t;
    for (int y = 0; y < Side; y++) {
        for (int x = 0; x < Side; x++) {
            const bool on = ((x + y) / 4) % 2 == 0;
            t.push_back(on ? 255 : 40);
            t.push_back(on ? 200 : 80);
            t.push_back(on ? 40 : 255);
        }
    }
    return t;
}

std::string WriteBmp() {
    const std::vector<uint8_t> px = Texels();
    std::vector<uint8_t> v(54 + px.size(), 0);
    std::copy(px.begin(), px.end(), v.begin() + 54);
    auto u32 = [&v](size_t at, uint32_t x) {
        for (int i = 0; i < 4; i++) v[at + size_t(i)] = uint8_t(x >> (8 * i));
    };
    v[0] = 'B';
    v[1] = 'M';
    u32(2, uint32_t(54 + px.size()));
    u32(10, 54);
    u32(14, 40);
    u32(18, Side);
    u32(22, Side);
    v[26] = 1;
    v[28] = 24;
    const std::string path = "/tmp/bw_bench_sprites_" + std::to_string(::getpid()) + ".bmp";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(v.data(), 1, v.size(), f);
    std::fclose(f);
    return path;
}

struct Ours {
    nKernelServer* kernel;
    nD3D8Server* gfx;
    nLogicGraph* graph;
    nLogicNode* root;
    std::string texture;
    SDL_Window* win = nullptr;
    SDL_GLContext context = nullptr;
    void Use() { SDL_GL_MakeCurrent(win, context); }
    Ours() {
        bench::InitVideo();
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nGfxPackage(ks);
            nScenePackage(ks);
            nLogicPackage(ks);
            ks->AddClass(nBenchCamera::classInfo);
        });
        gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        gfx->SetDisplayMode("w(800)-h(600)-zbuf(16)");
        if (!gfx->OpenDisplay()) std::abort();
        win = SDL_GL_GetCurrentWindow();
        context = SDL_GL_GetCurrentContext();
        kernel->New("nchannelserver", "/sys/servers/channel");
        kernel->New("nvariableserver", "/sys/servers/variable");
        kernel->New("nshadowserver", "/sys/servers/shadow");
        kernel->New("nscenegraph2", "/sys/servers/sgraph2");
        kernel->New("nbenchcamera", "/sys/servers/camera");
        graph = static_cast<nLogicGraph*>(kernel->New("nlogicgraph", "/sys/servers/lgraph"));
        root = static_cast<nLogicNode*>(kernel->New("nlogicnode", "/usr/logic"));
        texture = WriteBmp();
        for (int i = 0; i < Sprites; i++) {
            auto* s = static_cast<nLogicSprite*>(kernel->New("nlogicsprite", ("/usr/logic/s" + std::to_string(i)).c_str()));
            float x, y, c[4];
            Place(i, x, y);
            ColorOf(i, c);
            s->SetPosition(x, y);
            s->SetDimension(float(Side), float(Side));
            s->SetColor(c[0], c[1], c[2], c[3]);
            s->SetTexture(texture.c_str());
        }
        root->Setup();
        // One presented frame to see that the sprites draw: the first one's centre is lit.
        gfx->SetClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        gfx->BeginScene();
        graph->TraversePass(root);
        graph->VisualPass();
        gfx->EndScene();
        std::vector<uint32_t> pixels;
        int w = 0, h = 0;
        float x, y;
        Place(0, x, y);
        if (!gfx->GetDevice()->CopyFrontBuffer(pixels, w, h) || w != Width ||
            (pixels[size_t(y + Side / 2) * size_t(w) + size_t(x + Side / 2)] & 0xFFFFFFu) == 0) {
            std::fprintf(stderr, "bench_sprites2d: the sprites do not draw\n");
            std::abort();
        }
        gfx->BeginScene();
    }
    ~Ours() { std::remove(texture.c_str()); }
};

struct Raw : bench::RawTarget {
    GLuint texture = 0, vertices = 0;
    struct Vertex {
        float x, y, z, u, v;
    };
    std::vector<Vertex> quads;
    std::vector<float> colors;
    Raw() : RawTarget(Width, Height) {
        // Colour with alpha, as the device's frame keeps it.
        glBindRenderbuffer(GL_RENDERBUFFER, color);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, Width, Height);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        glDisable(GL_CULL_FACE);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        const std::vector<uint8_t> px = Texels();
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, Side, Side, 0, GL_BGR, GL_UNSIGNED_BYTE, px.data());
        glEnable(GL_TEXTURE_2D);
        // Texture times a constant colour, colour and alpha alike.
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB, GL_MODULATE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB, GL_CONSTANT);
        glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_ALPHA, GL_MODULATE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_ALPHA, GL_TEXTURE);
        glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_ALPHA, GL_CONSTANT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0.0, Width, Height, 0.0, -1.0, 1.0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        for (int i = 0; i < Sprites; i++) {
            float x, y, c[4];
            Place(i, x, y);
            ColorOf(i, c);
            const float l = x, r = x + Side, t = y, b = y + Side;
            for (const Vertex& v : {Vertex{r, t, 0, 1, 0}, Vertex{l, t, 0, 0, 0}, Vertex{r, b, 0, 1, 1}, Vertex{l, b, 0, 0, 1}}) {
                quads.push_back(v);
            }
            colors.insert(colors.end(), c, c + 4);
        }
        // All quads in one buffer object, uploaded once.
        glGenBuffers(1, &vertices);
        glBindBuffer(GL_ARRAY_BUFFER, vertices);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(quads.size() * sizeof(Vertex)), quads.data(), GL_STATIC_DRAW);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(3, GL_FLOAT, sizeof(Vertex), nullptr);
        glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), reinterpret_cast<void*>(12));
    }
};

Ours& ours() {
    static Ours* o = new Ours;
    return *o;
}
Raw& raw() {
    static Raw* r = new Raw;
    r->Use();
    return *r;
}

void BM_Sprites200_Ours(benchmark::State& state) {
    Ours& o = ours();
    o.Use();
    bench::SteadyAllocations allocs;
    for (auto _ : state) {
        o.graph->TraversePass(o.root);
        o.graph->VisualPass();
        glFinish();
        allocs.FrameDone();
    }
    state.counters["allocs"] = allocs.PerFrame();
}
BENCHMARK(BM_Sprites200_Ours)->Unit(benchmark::kMicrosecond);

void BM_Sprites200_Raw(benchmark::State& state) {
    Raw& r = raw();
    for (auto _ : state) {
        for (int i = 0; i < Sprites; i++) {
            glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, &r.colors[size_t(4 * i)]);
            glDrawArrays(GL_TRIANGLE_STRIP, 4 * i, 4);
        }
        glFinish();
    }
}
BENCHMARK(BM_Sprites200_Raw)->Unit(benchmark::kMicrosecond);

}  // namespace
