// Feeds arbitrary bytes to the BMP reader through a real file, as the engine reads them.
// An accepted file must give exactly its height in rows, each convertible to 32 bits.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gfx/nBmpFile.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"

namespace {

class nSilentLog : public nLogHandler {};

const std::string& TempPath() {
    static const std::string path = "/tmp/bw_bmp_fuzz_" + std::to_string(::getpid()) + ".bmp";
    return path;
}

void ReadBack(size_t size) {
    nBmpFile bmp;
    if (!bmp.Open(TempPath().c_str(), "rb")) {
        if (bmp.IsOpen() || bmp.GetPixelFormat()) std::abort();
        return;
    }
    nPixelFormat* src = bmp.GetPixelFormat();
    if (!src || bmp.GetWidth() <= 0 || bmp.GetHeight() <= 0) std::abort();
    if (size_t(bmp.GetRowSize()) * size_t(bmp.GetHeight()) > size) std::abort();
    nPixelFormat argb(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    argb.BeginConv(src);
    std::vector<uint32_t> out(size_t(bmp.GetWidth()));
    int rows = 0, row = 0;
    while (uint8_t* line = bmp.ReadLine(row)) {
        if (row != rows++) std::abort();
        argb.Conv(line, out.data(), bmp.GetWidth());
    }
    if (rows != bmp.GetHeight() || row != -1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static nKernelServer* kernel = [] {
        auto* k = new nKernelServer([](nKernelServer*) {});
        static nSilentLog silent;
        k->SetLogHandler(&silent);
        return k;
    }();
    (void)kernel;

    FILE* f = std::fopen(TempPath().c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    ReadBack(size);
    // libFuzzer ends without running exit handlers, so the file goes after every input.
    std::remove(TempPath().c_str());
    return 0;
}
