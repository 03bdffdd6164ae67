// Feeds arbitrary bytes to the envelope key-buffer reader. An accepted buffer must hold
// only known interpolation types, finite numbers and a kind of 1 to 4, and sample to
// finite values anywhere; a refused one must leave the envelope empty.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "anim/nAnimPackage.h"
#include "anim/nEnvelope.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"

namespace {
class nSilentLog : public nLogHandler {};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static nEnvelope* env = [] {
        auto* k = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nAnimPackage(ks);
        });
        static nSilentLog silent;
        k->SetLogHandler(&silent);
        return static_cast<nEnvelope*>(k->New("nenvelope", "/fuzz"));
    }();
    if (!env->ReadKeys(reinterpret_cast<const char*>(data), size, "fuzz.nea")) {
        if (env->GetNumKeys() != 0) std::abort();
        return 0;
    }
    if (env->GetNumKeys() > 0 && (env->GetKind() < 1 || env->GetKind() > 4)) std::abort();
    for (int i = 0; i < env->GetNumKeys(); i++) {
        const nEnvelope::Key* k = env->GetKey(i);
        if (k->type < nEnvelope::Step || k->type > nEnvelope::Ease || !std::isfinite(k->time)) std::abort();
        for (float v : k->v)
            if (!std::isfinite(v)) std::abort();
    }
    int cursor = 0;
    float out[4];
    for (float t : {-1.0f, 0.0f, 0.5f, 1.0f, 2.5f, 1e6f}) {
        env->Sample(cursor, out, t, 1.0f, t > 1.0f);
        if (cursor < 0 || cursor > env->GetNumKeys()) std::abort();
    }
    return 0;
}
