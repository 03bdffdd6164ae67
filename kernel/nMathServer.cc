#include "kernel/nMathServer.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "kernel/nKernelServer.h"
#include "kernel/nMath.h"
#include "kernel/nRandom.h"

const nClassInfo nMathServer::classInfo = nClassInfo::Make<nMathServer>("nmathserver", "nroot");

nMathServer::nMathServer() {
    nRandom::Seed(StartSeed(std::getenv("BW_RANDOM_SEED"), std::time(nullptr)));
    Fill();
}

uint32_t nMathServer::StartSeed(const char* fixed, std::time_t now) {
    if (!fixed) return uint32_t(now);
    // Digits only: strtoul would take a sign or blanks, and a wrapped number would seed
    // quietly with something else than asked.
    char* end = nullptr;
    errno = 0;
    unsigned long v = (*fixed >= '0' && *fixed <= '9') ? std::strtoul(fixed, &end, 10) : 0;
    if (!end || *end != '\0' || errno == ERANGE || v > 0xffffffffUL) {
        n_error("nMathServer: BW_RANDOM_SEED '%s' is no number from 0 to 4294967295; seeded from the clock\n", fixed);
        return uint32_t(now);
    }
    return uint32_t(v);
}

void nMathServer::Fill() {
    for (int i = 0; i < NumEntries; i++) {
        float v[4];
        for (float& f : v) f = 2.0f * float(nRandom::Next()) / float(nRandom::Max) - 1.0f;
        float len = ClampedSqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (len > 0.0f) {
            v[0] /= len;
            v[1] /= len;
            v[2] /= len;
        }
        for (int k = 0; k < 4; k++) table_[i * 4 + k] = v[k];
    }
}
