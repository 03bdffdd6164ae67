// Feeds arbitrary bytes to the NTX reader through the file server, as textures and
// sprites read them: an accepted file must describe every block inside itself, and the
// block a texture would load, with its mip levels, must read back in full.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gfx/nNtxFile.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"

namespace {

class nSilentLog : public nLogHandler {};

const std::string& TempPath() {
    static const std::string path = "/tmp/bw_ntx_fuzz_" + std::to_string(::getpid()) + ".ntx";
    return path;
}

void ReadBack(nKernelServer* kernel, size_t size) {
    nNtxFile ntx(kernel);
    if (!ntx.OpenRead(TempPath().c_str())) {
        if (ntx.IsReadOpen() || ntx.GetNumBlocks() != 0) std::abort();
        return;
    }
    for (int i = 0; i < ntx.GetNumBlocks(); ++i) {
        const nNtxFile::Block* b = ntx.GetBlock(i);
        if (uint64_t(b->dataOffset) + b->dataSize > size || b->width == 0 || b->height == 0) std::abort();
    }
    for (bool quality : {false, true}) {
        const int top = ntx.FindTextureBlock(quality);
        if (top < 0) continue;
        const nNtxFile::Block* topBlock = ntx.GetBlock(top);
        std::vector<uint8_t> buffer(topBlock->dataSize);
        for (uint32_t mip = 0; mip < 32; ++mip) {
            const int index = ntx.FindBlock(topBlock->format, nNtxFile::TYPE_2D, mip);
            if (index < 0) continue;
            ntx.SetCurrentBlock(index);
            if (ntx.GetBytesPerRow() * ntx.GetHeight() > ntx.GetDataSize()) std::abort();
            const size_t expected = ntx.GetDataSize() <= buffer.size() ? ntx.GetDataSize() : 0;
            if (ntx.ReadBlock(buffer.data(), buffer.size()) != expected) std::abort();
        }
    }
    ntx.CloseRead();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static nKernelServer* kernel = [] {
        auto* k = new nKernelServer([](nKernelServer* ks) { nKernelPackage(ks); });
        static nSilentLog silent;
        k->SetLogHandler(&silent);
        return k;
    }();

    FILE* f = std::fopen(TempPath().c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    ReadBack(kernel, size);
    // libFuzzer ends without running exit handlers, so the file goes after every input.
    std::remove(TempPath().c_str());
    return 0;
}
