// An 800 x 600 Flash node's Update: the movie module renders its frame into the image
// sprite's buffer and the buffer is copied into the node's tile textures (squares of 256
// down to 16 texels), against the same movie rendered by the same module into a plain
// buffer followed by raw glTexSubImage2D uploads of the same tile rectangles into GL
// textures of the tiles' sizes, made once before timing. Both frames end with glFinish.
// What the ratio measures is our tiling, locking and copying against the raw upload. The
// counter "allocs" is the number of C++ allocations per frame on our side (none wanted).
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchAllocations.h"
#include "bench/BenchGl.h"
#include "gfx/nD3D8Server.h"
#include "gfx/nGfxPackage.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "logic/nLogicFlash.h"
#include "logic/nLogicNode.h"
#include "logic/nLogicPackage.h"
#include "platform/flash/MovieModule.h"
#include "platform/render/GlHeaders.h"
#include "scene/nScenePackage.h"

namespace {

constexpr int Width = 800, Height = 600;

// A menu-like frame: a backdrop and 40 panels, half of them half transparent.
const char* const Movie = R"lua(--tessel movie 1
stage(800, 600)
function draw()
    clear(20 / 255, 30 / 255, 60 / 255, 1)
    for i = 0, 39 do
        rect((i % 8) * 100, (i // 8) * 90, 90, 80, (i * 6) / 255, (200 - i * 4) / 255, 0.5, i % 2 == 0 and 1 or 0.5)
    end
end
)lua";

std::string WriteMovie() {
    const std::string path = "/tmp/bw_bench_flash_node_" + std::to_string(::getpid()) + ".lua";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fputs(Movie, f);
    std::fclose(f);
    return path;
}

const std::string& MoviePath() {
    static const std::string path = WriteMovie();
    return path;
}

struct Ours {
    nKernelServer* kernel;
    nD3D8Server* gfx;
    nLogicFlash* node;
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
        });
        gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        gfx->SetDisplayMode("w(800)-h(600)-zbuf(16)");
        if (!gfx->OpenDisplay()) std::abort();
        win = SDL_GL_GetCurrentWindow();
        context = SDL_GL_GetCurrentContext();
        kernel->New("nlogicnode", "/usr/logic");
        node = static_cast<nLogicFlash*>(kernel->New("nlogicflash", "/usr/logic/menu"));
        node->SetTexture(MoviePath().c_str());
        node->SetDimension(float(Width), float(Height));
        // Updated every frame: the buffer is kept between updates.
        node->SetFps(1000.0f);
        node->Preload();
        if (!node->GetModule() || node->GetNumTiles() == 0) {
            std::fprintf(stderr, "bench_flash_node: the movie does not load into tiles\n");
            std::abort();
        }
        node->Update();
    }
};

struct Raw : bench::RawTarget {
    std::unique_ptr<flash::MovieModule> module;
    std::vector<uint8_t> buffer;
    std::vector<nLogicCSprite::TileRect> tiles;
    std::vector<GLuint> textures;
    Raw() : RawTarget(Width, Height) {
        module = std::make_unique<flash::MovieModule>(flash::MovieHost::Disk());
        if (module->AttachWindow(0) < 0 || module->Initialize(0, 1) < 0 || module->LoadMovie(MoviePath().c_str()) < 0 ||
            module->Play() < 0 || module->IsReady() != 1) {
            std::abort();
        }
        buffer.assign(size_t(Width) * size_t(Height) * 4, 0);
        nLogicCSprite::Tile(Width, (Height + 15) / 16 * 16, tiles);
        textures.resize(tiles.size());
        glGenTextures(GLsizei(textures.size()), textures.data());
        for (size_t i = 0; i < tiles.size(); i++) {
            glBindTexture(GL_TEXTURE_2D, textures[i]);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tiles[i].w, tiles[i].h, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        }
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, Width);
    }
    void Frame() {
        module->Render(buffer.data(), Width, Height, 4);
        for (size_t i = 0; i < tiles.size(); i++) {
            const nLogicCSprite::TileRect& t = tiles[i];
            const int cols = std::min(t.w, Width - t.x), rows = std::min(t.h, Height - t.y);
            if (cols <= 0 || rows <= 0) continue;
            glBindTexture(GL_TEXTURE_2D, textures[i]);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, cols, rows, GL_BGRA, GL_UNSIGNED_BYTE,
                            buffer.data() + (size_t(t.y) * Width + size_t(t.x)) * 4);
        }
        glFinish();
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

void BM_FlashNodeUpdate_Ours(benchmark::State& state) {
    Ours& o = ours();
    o.Use();
    bench::SteadyAllocations allocs;
    for (auto _ : state) {
        o.node->Update();
        glFinish();
        allocs.FrameDone();
    }
    state.counters["allocs"] = allocs.PerFrame();
}
BENCHMARK(BM_FlashNodeUpdate_Ours)->Unit(benchmark::kMicrosecond);

void BM_FlashNodeUpdate_Raw(benchmark::State& state) {
    Raw& r = raw();
    for (auto _ : state) r.Frame();
}
BENCHMARK(BM_FlashNodeUpdate_Raw)->Unit(benchmark::kMicrosecond);

}  // namespace
