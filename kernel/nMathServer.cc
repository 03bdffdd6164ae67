#include "kernel/nMathServer.h"

#include <ctime>

#include "kernel/nMath.h"
#include "kernel/nRandom.h"

const nClassInfo nMathServer::classInfo = nClassInfo::Make<nMathServer>("nmathserver", "nroot");

nMathServer::nMathServer() {
    nRandom::Seed(uint32_t(std::time(nullptr)));
    Fill();
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
