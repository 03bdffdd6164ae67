// 10,000 live particles a frame: a point emitter's motion update plus the sprite
// renderer writing its camera-facing quads into a vertex buffer (a private one, so
// nothing is drawn), through a scene-graph frame; against a hand-written loop doing the
// same Euler step, key lookup and quad expansion into a plain float array.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "anim/nAnimPackage.h"
#include "anim/nPEmitter.h"
#include "anim/nParticleServer.h"
#include "anim/nSpriteRender.h"
#include "gfx/nD3D8Server.h"
#include "gfx/nGfxPackage.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nMathServer.h"
#include "scene/n3DNode.h"
#include "scene/nChannelServer.h"
#include "scene/nScenePackage.h"
#include "scene/nSceneGraph2.h"
#include "bench/BenchGl.h"
#include "script/nScriptPackage.h"

namespace {

constexpr int Particles = 10000;
constexpr float Step = 0.001f;

struct Ours {
    nKernelServer* kernel;
    nChannelServer* channels;
    nSceneGraph2* sg;
    nParticleServer* server;
    n3DNode* root;
    nSpriteRender* sprite;
    float t = 1000.5f;

    Ours() {
        bench::InitVideo();
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nGfxPackage(ks);
            nScriptPackage(ks);
            nScenePackage(ks);
            nAnimPackage(ks);
        });
        auto* gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        gfx->SetDisplayMode("w(64)-h(64)-zbuf(16)");
        gfx->OpenDisplay();
        channels = static_cast<nChannelServer*>(kernel->New("nchannelserver", "/sys/servers/channel"));
        kernel->New("nshadowserver", "/sys/servers/shadow");
        sg = static_cast<nSceneGraph2*>(kernel->New("nscenegraph2", "/sys/servers/sgraph2"));
        static_cast<nMathServer*>(kernel->New("nmathserver", "/sys/servers/math"))->Fill();
        server = static_cast<nParticleServer*>(kernel->New("nparticleserver", "/sys/servers/particle"));
        root = static_cast<n3DNode*>(kernel->New("n3dnode", "/scene"));
        auto* e = static_cast<nPEmitter*>(kernel->New("npointemitter", "/scene/e"));
        e->SetFreq(10);
        e->SetLifetime(1000);  // a ring of 10,000
        e->SetSpeed(1);
        e->SetAccel(0, -1, 0);
        e->SetRSize(1);
        e->SetRSpin(1);
        sprite = static_cast<nSpriteRender*>(kernel->New("nspriterender", "/scene/r"));
        sprite->SetEmitter("../e");
        sprite->SetSpin(90);
        sprite->BeginKeys(2);
        sprite->SetKey(0, 0.1f, 0, 1, 0, 0, 1);
        sprite->SetKey(1, 0.3f, 0, 0, 0, 1, 0);
        sprite->GetVertexHolder().SetPrivate(true);
        sprite->GetVertexHolder().Create(N_VT_COORD | N_VT_RGBA | N_VT_UV0, 4000);
        Frame(0);
        Frame(0);
        Frame(t);  // fills the ring
    }
    void Frame(float time) {
        channels->SetChannel1f(channels->GenChannel("time"), time);
        server->Trigger();
        sg->BeginScene(matrix44());
        sg->SetRenderContext(0);
        root->Attach(sg);
        sg->EndScene(true);
    }
};

// The same data in plain arrays.
struct Raw {
    struct P {
        float birth, pos[3], vel[3], accel, size, spin;
    };
    std::vector<P> p;
    std::vector<float> out;
    float table[512][4][3];
    float t = 1000.5f;
    uint32_t c0 = 0xFFFF0000u, c1 = 0x000000FFu;

    Raw() : p(Particles), out(size_t(Particles) * 4 * 6) {
        for (int i = 0; i < Particles; i++) {
            p[size_t(i)] = {float(i) * 0.1f, {0, 0, 0}, {0.3f, 1, 0.2f}, 1.5f, 1.5f, 10.0f};
        }
        const float c[4][2] = {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}};
        for (int i = 0; i < 512; i++) {
            float a = float(i) / 512.0f * 6.2831853f;
            for (int k = 0; k < 4; k++) {
                table[i][k][0] = c[k][0] * std::cos(a) - c[k][1] * std::sin(a);
                table[i][k][1] = c[k][0] * std::sin(a) + c[k][1] * std::cos(a);
                table[i][k][2] = 0;
            }
        }
    }
    static uint32_t Blend(uint32_t a, uint32_t b, int w) {
        uint32_t r = 0;
        for (int s = 0; s < 32; s += 8) {
            int x = int((a >> s) & 0xFF), y = int((b >> s) & 0xFF);
            r |= uint32_t((x + (((y - x) * w) >> 8)) & 0xFF) << s;
        }
        return r;
    }
    void Frame(float dt) {
        t += dt;
        for (P& q : p) {
            q.vel[1] += dt * -1.0f * q.accel;
            for (int k = 0; k < 3; k++) q.pos[k] += dt * q.vel[k];
        }
        const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        float* o = out.data();
        for (const P& q : p) {
            float age = t - q.birth;
            if (!(age < 1000.0f)) continue;
            float x = age / 1000.0f;
            float f = x - std::floor(x);
            float size = ((1 - f) * 0.1f + f * 0.3f) * q.size;
            uint32_t color = Blend(c0, c1, int(f * 256.0f));
            float a = age * 128.0f + q.spin;
            auto i = int64_t(a);
            if (float(i) > a) i--;
            int step = int(i & 511);
            for (int k = 0; k < 4; k++) {
                for (int j = 0; j < 3; j++) o[j] = q.pos[j] + size * table[step][k][j];
                uint32_t* col = reinterpret_cast<uint32_t*>(o + 3);
                *col = color;
                o[4] = uv[k][0];
                o[5] = uv[k][1];
                o += 6;
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
};

void BM_Ours(benchmark::State& state) {
    static Ours* o = new Ours;
    for (auto _ : state) {
        o->t += Step;
        o->Frame(o->t);
    }
    state.SetItemsProcessed(state.iterations() * Particles);
}
BENCHMARK(BM_Ours)->Unit(benchmark::kMicrosecond);

void BM_Raw(benchmark::State& state) {
    static Raw* r = new Raw;
    for (auto _ : state) r->Frame(Step);
    state.SetItemsProcessed(state.iterations() * Particles);
}
BENCHMARK(BM_Raw)->Unit(benchmark::kMicrosecond);

}  // namespace
