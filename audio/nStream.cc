#include "audio/nStream.h"

#include <algorithm>
#include <cmath>

#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"

const nClassInfo nStream::classInfo = nClassInfo::Make<nStream>("nstream", "nroot");

namespace {

// Weight of the old samples, falling from 1 towards 0 along half a cosine.
struct CrossfadeTable {
    float w[nStream::CrossfadeSamples];
    CrossfadeTable() {
        for (int i = 0; i < nStream::CrossfadeSamples; i++) w[i] = float((std::cos(i * 0.012271847) + 1.0) * 0.5);
    }
};
const CrossfadeTable crossfadeTable;

}  // namespace

nStream::nStream() : refFileServer("/sys/servers/file2") {}

nStream::~nStream() = default;

bool nStream::Open(const char* name, bool loop) {
    fileName.Set(name);
    looping = loop;
    endReached = false;
    crossfading = false;
    isOpen = true;
    return true;
}

int nStream::Read(void*, int) {
    nKernelServer::FatalError("Pure virtual function called!\n");
}

int nStream::Tell() {
    nKernelServer::FatalError("Pure virtual function called!\n");
}

void nStream::Seek(int) {
    nKernelServer::FatalError("Pure virtual function called!\n");
}

void nStream::Close() {
    nKernelServer::FatalError("Pure virtual function called!\n");
}

void nStream::BeginCrossfade() {
    crossfading = true;
    captured = 0;
    mixed = 0;
}

void nStream::EndCrossfade() {
    crossfading = false;
}

void nStream::Capture(const int16_t* samples, int count) {
    int n = std::min(count, CrossfadeSamples - captured);
    if (n <= 0) return;
    std::copy(samples, samples + n, fadeBuffer + captured);
    captured += n;
}

void nStream::Mix(int16_t* samples, int count) {
    // Never past what was captured: a blend with samples that were not there is noise.
    int n = std::min(count, captured - mixed);
    for (int k = 0; k < n; k++) {
        int j = mixed + k;
        float w = crossfadeTable.w[j];
        samples[k] = int16_t(std::lrint(samples[k] * (1.0f - w) + fadeBuffer[j] * w));
    }
    if (n > 0) mixed += n;
}
