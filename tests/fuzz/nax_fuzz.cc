// Feeds arbitrary bytes to the .nax curve reader. A refused buffer must leave the array
// as it was; an accepted one must hold only known types, a positive rate and exactly the
// keys its size allows, and sample anywhere without reading outside them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "anim/nAnimCurveArray.h"
#include "anim/nAnimPackage.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"

namespace {
class nSilentLog : public nLogHandler {};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static nAnimCurveArray* arr = [] {
        auto* k = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nAnimPackage(ks);
        });
        static nSilentLog silent;
        k->SetLogHandler(&silent);
        return static_cast<nAnimCurveArray*>(k->New("nanimcurvearray", "/fuzz"));
    }();
    arr->SetNumCurves(1);
    if (!arr->ReadBinary(reinterpret_cast<const char*>(data), size, "fuzz.nax")) {
        if (arr->GetNumCurves() != 1 || arr->GetCurve(0)->GetNumKeys() != 0) std::abort();
        return 0;
    }
    if (arr->GetByteSize() > size) std::abort();
    for (int c = 0; c < arr->GetNumCurves(); c++) {
        nAnimCurve* curve = arr->GetCurve(c);
        if (curve->GetIpolType() < 0 || curve->GetIpolType() > 2 || curve->GetRepeatType() < 0 ||
            curve->GetRepeatType() > 1 || !(curve->GetKeysPerSecond() > 0.0f) || curve->GetName().size() > 511)
            std::abort();
        if (arr->FindCurveIndex(curve->GetName().c_str()) > c) std::abort();
        for (float t : {-1e30f, -3.5f, 0.0f, 0.26f, 7.0f, 1e30f}) (void)curve->GetValue(t);
    }
    return 0;
}
