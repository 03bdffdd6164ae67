// Feeds arbitrary bytes to the image sprite's picture reader, as an NTX file or as a
// PNG, JPEG or BMP picture, at a size and depth the input's first three bytes choose: an
// accepted file fills the buffer exactly, a refused one leaves it untouched.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "logic/nLogicCSprite.h"

namespace {

class nSilentLog : public nLogHandler {};

std::string TempPath(bool ntx) {
    return "/tmp/bw_picture_fuzz_" + std::to_string(::getpid()) + (ntx ? ".ntx" : ".img");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static nKernelServer* kernel = [] {
        auto* k = new nKernelServer([](nKernelServer* ks) { nKernelPackage(ks); });
        static nSilentLog silent;
        k->SetLogHandler(&silent);
        return k;
    }();
    if (size < 3) return 0;
    const bool ntx = data[0] & 1;
    const int bpp = data[0] & 2 ? 2 : 4;
    const int w = 1 + data[1] % 64, h = 1 + data[2] % 64;
    const std::string path = TempPath(ntx);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size > 3) std::fwrite(data + 3, 1, size - 3, f);
    std::fclose(f);

    // Guard bytes after the buffer catch writes past it even without the sanitizer.
    const size_t bytes = size_t(w) * size_t(h) * size_t(bpp);
    std::vector<uint8_t> buffer(bytes + 16, 0xA5);
    std::string error;
    const bool ok = nLogicCSprite::ReadImage(kernel, path.c_str(), buffer.data(), w, h, bpp, error);
    for (size_t i = bytes; i < buffer.size(); i++) {
        if (buffer[i] != 0xA5) std::abort();
    }
    if (!ok) {
        if (error.empty()) std::abort();
        for (size_t i = 0; i < bytes; i++) {
            if (buffer[i] != 0xA5) std::abort();
        }
    }
    // libFuzzer ends without running exit handlers, so the file goes after every input.
    std::remove(path.c_str());
    return 0;
}
