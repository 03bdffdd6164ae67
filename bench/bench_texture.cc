// Loading a 1024 x 1024 NTX texture with all its mip levels, against reading the same
// bytes from disk and uploading the levels with raw glTexImage2D in the same context.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/nD3D8Server.h"
#include "gfx/nD3D8Texture.h"
#include "gfx/nGfxPackage.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "bench/BenchGl.h"
#include "platform/render/GlHeaders.h"

namespace {

constexpr int kSize = 1024;

struct Levels {
    int width, height;
    size_t offset, size;
};

// One display and one NTX file (format 2, A8R8G8B8, every level) for the whole run.
struct Scene {
    Scene() {
        bench::InitVideo();
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nGfxPackage(ks);
        });
        gfx = static_cast<nD3D8Server*>(kernel->New("nd3d8server", "/sys/servers/gfx"));
        if (!gfx->SetDisplayMode("w(64)-h(64)-zbuf(16)-sbuf(0)-bbuf(1)") || !gfx->OpenDisplay()) std::abort();
        gfx->SetMaxTextureSize(kSize);
        path = "/tmp/bw_bench_texture_" + std::to_string(::getpid()) + ".ntx";
        int count = 0;
        for (int s = kSize; s >= 1; s /= 2) ++count;
        size_t at = 8 + 32 * size_t(count);
        std::vector<uint8_t> file;
        auto put = [&file](uint32_t v) {
            for (int i = 0; i < 4; ++i) file.push_back(uint8_t(v >> (8 * i)));
        };
        put(0x4E545831);
        put(uint32_t(count));
        for (int mip = 0, s = kSize; s >= 1; ++mip, s /= 2) {
            const size_t size = size_t(s) * size_t(s) * 4;
            levels.push_back({s, s, at, size});
            for (uint32_t v : {2u, 2u, uint32_t(s), uint32_t(s), 1u, uint32_t(mip), uint32_t(at), uint32_t(size)}) put(v);
            at += size;
        }
        for (const Levels& l : levels)
            for (size_t i = 0; i < l.size; ++i) file.push_back(uint8_t(i * 7 + size_t(l.width)));
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(file.data(), 1, file.size(), f);
        std::fclose(f);
        fileSize = file.size();
    }
    ~Scene() {
        std::remove(path.c_str());
        delete kernel;
    }
    nKernelServer* kernel;
    nD3D8Server* gfx;
    std::string path;
    std::vector<Levels> levels;
    size_t fileSize = 0;
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

void BM_NtxTextureLoad(benchmark::State& state) {
    Scene& s = TheScene();
    auto* tex = static_cast<nD3D8Texture*>(s.gfx->NewTexture("bench.ntx"));
    tex->SetFileNames(s.path.c_str(), nullptr);
    tex->SetHighQuality(true);
    for (auto _ : state) {
        if (!tex->Load()) state.SkipWithError("load failed");
        glFinish();
        tex->Unload();
    }
    tex->Release();
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.fileSize));
}
BENCHMARK(BM_NtxTextureLoad)->Unit(benchmark::kMillisecond);

void BM_RawReadAndUpload(benchmark::State& state) {
    Scene& s = TheScene();
    for (auto _ : state) {
        std::vector<uint8_t> bytes(s.fileSize);
        FILE* f = std::fopen(s.path.c_str(), "rb");
        if (!f || std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) state.SkipWithError("read failed");
        if (f) std::fclose(f);
        GLuint name = 0;
        glGenTextures(1, &name);
        glBindTexture(GL_TEXTURE_2D, name);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        for (size_t i = 0; i < s.levels.size(); ++i) {
            const Levels& l = s.levels[i];
            glTexImage2D(GL_TEXTURE_2D, GLint(i), GL_RGBA8, l.width, l.height, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                         bytes.data() + l.offset);
        }
        glFinish();
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteTextures(1, &name);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.fileSize));
}
BENCHMARK(BM_RawReadAndUpload)->Unit(benchmark::kMillisecond);

}  // namespace
