// Screen text: 100 queued strings of 40 characters drawn each frame through Text and
// EndScene, against raw OpenGL drawing as many glyph quads of the same size from one
// 256 x 256 texture with the same blend and alpha test, in the same context and run.
// Both sides clear and present their frame and end with glFinish.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "gfx/nD3D8Font.h"
#include "gfx/nD3D8Server.h"
#include "gfx/nGfxPackage.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "platform/render/Device.h"
#include "bench/BenchGl.h"
#include "platform/render/GlHeaders.h"

namespace {

constexpr int Strings = 100;
constexpr int Chars = 40;
const char* const Line = "Die Tiefsee ist dunkel, kalt und still..";

struct Scene {
    Scene() {
        bench::InitVideo();
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nGfxPackage(ks);
        });
        gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        if (!gfx->SetDisplayMode("w(800)-h(600)-zbuf(16)-sbuf(0)-bbuf(1)") || !gfx->OpenDisplay()) std::abort();
        int w = 0, h = 0;
        gfx->GetFont()->GetTextExtent(Line, w, h);
        glyphW = float(w) / Chars;
        glyphH = float(h);
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        std::vector<uint16_t> texels(256 * 256, 0xFFFFu);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA4, 256, 256, 0, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, texels.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glBindTexture(GL_TEXTURE_2D, 0);
        // The raw side draws into a frame of the same size and shows it as the device does.
        glGenFramebuffers(1, &frame);
        glGenRenderbuffers(1, &color);
        glBindRenderbuffer(GL_RENDERBUFFER, color);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 800, 600);
        glBindFramebuffer(GL_FRAMEBUFFER, frame);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        gfx->GetDevice()->ForgetBindings();
    }
    nKernelServer* kernel = nullptr;
    nD3D8Server* gfx = nullptr;
    GLuint texture = 0;
    GLuint frame = 0, color = 0;
    float glyphW = 8.0f, glyphH = 16.0f;
};

Scene& TheScene() {
    static Scene* scene = new Scene();
    return *scene;
}

void BM_TextOurs(benchmark::State& state) {
    Scene& s = TheScene();
    for (auto _ : state) {
        s.gfx->BeginScene();
        for (int i = 0; i < Strings; ++i) {
            s.gfx->SetTextPos(-1.0f, -1.0f + 2.0f * float(i) / Strings);
            s.gfx->Text(Line);
        }
        s.gfx->EndScene();
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * Strings * Chars);
}
BENCHMARK(BM_TextOurs)->Unit(benchmark::kMillisecond);

struct RawVertex {
    float x, y;
    uint32_t color;
    float u, v;
};

void BM_TextRaw(benchmark::State& state) {
    Scene& s = TheScene();
    std::vector<RawVertex> vertices(Chars * 6);
    for (auto _ : state) {
        glBindFramebuffer(GL_FRAMEBUFFER, s.frame);
        glViewport(0, 0, 800, 600);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, 800, 600, 0, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_ALPHA_TEST);
        glAlphaFunc(GL_GEQUAL, 8.0f / 255.0f);
        glActiveTexture(GL_TEXTURE0);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, s.texture);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_COLOR_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        glVertexPointer(2, GL_FLOAT, sizeof(RawVertex), &vertices[0].x);
        glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(RawVertex), &vertices[0].color);
        glTexCoordPointer(2, GL_FLOAT, sizeof(RawVertex), &vertices[0].u);
        for (int i = 0; i < Strings; ++i) {
            float x = 0.0f;
            const float y = 600.0f * float(i) / Strings;
            for (int c = 0; c < Chars; ++c) {
                const float u0 = float(c % 16) / 16.0f, v0 = float(c / 16) / 16.0f;
                const float u1 = u0 + 1.0f / 16.0f, v1 = v0 + 1.0f / 16.0f;
                const RawVertex bl{x, y + s.glyphH, 0xFFFFFFFFu, u0, v1}, tl{x, y, 0xFFFFFFFFu, u0, v0},
                    br{x + s.glyphW, y + s.glyphH, 0xFFFFFFFFu, u1, v1}, tr{x + s.glyphW, y, 0xFFFFFFFFu, u1, v0};
                RawVertex* v = &vertices[size_t(c) * 6];
                v[0] = bl;
                v[1] = tl;
                v[2] = br;
                v[3] = tr;
                v[4] = br;
                v[5] = tl;
                x += s.glyphW;
            }
            glDrawArrays(GL_TRIANGLES, 0, Chars * 6);
        }
        glDisableClientState(GL_VERTEX_ARRAY);
        glDisableClientState(GL_COLOR_ARRAY);
        glDisableClientState(GL_TEXTURE_COORD_ARRAY);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_BLEND);
        glDisable(GL_ALPHA_TEST);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, s.frame);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glBlitFramebuffer(0, 0, 800, 600, 0, 0, 800, 600, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        SDL_GL_SwapWindow(SDL_GL_GetCurrentWindow());
        glFinish();
    }
    s.gfx->GetDevice()->ForgetBindings();
    state.SetItemsProcessed(state.iterations() * Strings * Chars);
}
BENCHMARK(BM_TextRaw)->Unit(benchmark::kMillisecond);

}  // namespace
