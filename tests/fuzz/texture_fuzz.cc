// Feeds arbitrary bytes to the texture loader on the OpenGL device, as a sprite's or a
// shader's texture reaches it: the first byte picks the file name's extension (every
// one a level names, and those of formats the loader refuses), mip-maps, quality and
// whether the bytes come as a pixel image with the same file as its alpha image; the
// rest is the file. A texture either loads with a device texture of its stated size or
// is refused, logged and left unloaded.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gfx/nD3D8Server.h"
#include "gfx/nD3D8Texture.h"
#include "gfx/nGfxPackage.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "platform/render/Texture.h"

namespace {

class nCountingLog : public nLogHandler {
public:
    void Print(const char*, va_list) override {}
    void Error(const char*, va_list) override { ++errors; }
    int errors = 0;
};

const char* const Extensions[] = {".png", ".jpg", ".jpeg", ".bmp", ".ntx", ".tga", ".dds", ".psd",
                                  ".wal", ".cut", ".gif", ".tif", ".pcx", ".ico", ".PNG", ""};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static nCountingLog log;
    static nKernelServer* kernel = [] {
        auto* k = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nGfxPackage(ks);
        });
        k->SetLogHandler(&log);
        auto* gfx = static_cast<nD3D8Server*>(k->New("nd3d8server", "/sys/servers/gfx"));
        if (!gfx->SetDisplayMode("w(32)-h(32)-zbuf(16)-sbuf(0)-bbuf(1)") || !gfx->OpenDisplay()) std::abort();
        return k;
    }();
    static nD3D8Server* gfx = static_cast<nD3D8Server*>(kernel->Lookup("/sys/servers/gfx"));
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    const std::string path = "/tmp/bw_texture_fuzz_" + std::to_string(::getpid()) +
                             Extensions[mode % std::size(Extensions)];
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size > 1) std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);

    auto* texture = static_cast<nD3D8Texture*>(gfx->NewTexture("fuzz"));
    texture->SetFileNames(path.c_str(), mode & 0x80 ? path.c_str() : nullptr);
    texture->SetGenMipMaps((mode & 0x10) != 0);
    texture->SetHighQuality((mode & 0x20) != 0);
    const int before = log.errors;
    if (texture->Load()) {
        const render::Texture* device = texture->GetDeviceTexture();
        if (!device || texture->GetWidth() < 1 || texture->GetHeight() < 1 || texture->GetNumLevels() < 1) std::abort();
    } else {
        // A refusal is logged and leaves nothing loaded.
        if (log.errors == before || texture->GetDeviceTexture() || texture->GetNumLevels() != 0) std::abort();
    }
    texture->Release();
    std::remove(path.c_str());
    return 0;
}
