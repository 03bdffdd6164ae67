// Feeds arbitrary bytes to the WAV stream through a real file, as the audio server
// opens them, and reads an accepted file round as the voices do: looping and one-shot,
// with and without the crossfade. Any accepted layout must read consistently.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/nAudioPackage.h"
#include "audio/nWavStream.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"

namespace {

class nSilentLog : public nLogHandler {};

const std::string& TempPath() {
    static const std::string path = "/tmp/bw_wav_fuzz_" + std::to_string(::getpid()) + ".wav";
    return path;
}

void ReadBack(nWavStream* s, size_t fileSize, bool looping) {
    if (!s->Open(TempPath().c_str(), looping)) {
        if (s->IsOpen()) std::abort();
        return;
    }
    const int size = s->GetDataSize();
    if ((s->GetKind() != 1 && s->GetKind() != 2) || s->GetSampleRate() <= 0 || size <= 0 ||
        size % (2 * s->GetKind()) != 0 || size_t(size) > fileSize) {
        std::abort();
    }
    // Pieces of odd lengths, through the end twice.
    std::vector<uint8_t> buf(4099);
    long total = 0, real = 0;
    s->BeginCrossfade();
    for (int piece = 0; total < 2L * size + 8200; piece++) {
        const int n = 1 + (piece * 977) % int(buf.size());
        const int got = s->Read(buf.data(), n);
        if (got < 0 || got > n) std::abort();
        if (looping && got != (n & ~1)) std::abort();
        if (piece == 1) s->EndCrossfade();
        total += n;
        real += got;
        const int at = s->Tell();
        if (at < 0 || at > size) std::abort();
    }
    if (!looping && (real != size || !s->IsEndReached())) std::abort();
    s->Seek(size / 2);
    if (s->IsEndReached()) std::abort();
    s->Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static nWavStream* stream = [] {
        auto* k = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nAudioPackage(ks);
        });
        static nSilentLog silent;
        k->SetLogHandler(&silent);
        return static_cast<nWavStream*>(k->New("nwavstream", "/sys/share/audio/fuzz"));
    }();

    FILE* f = std::fopen(TempPath().c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    ReadBack(stream, size, false);
    ReadBack(stream, size, true);
    // libFuzzer ends without running exit handlers, so the file goes after every input.
    std::remove(TempPath().c_str());
    return 0;
}
