#pragma once
// What the two curve-file fuzz targets share: one curve array in a silent kernel, and the
// checks every accepted curve must pass.
#include <cstdlib>

#include "anim/nAnimCurveArray.h"
#include "anim/nAnimPackage.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"

// The array, set back to one empty curve for each input.
inline nAnimCurveArray* FuzzCurveArray() {
    static nAnimCurveArray* arr = [] {
        auto* k = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nAnimPackage(ks);
        });
        static nLogHandler silent;
        k->SetLogHandler(&silent);
        return static_cast<nAnimCurveArray*>(k->New("nanimcurvearray", "/fuzz"));
    }();
    arr->SetNumCurves(1);
    return arr;
}

// A refused buffer leaves the array as it was.
inline void CheckRefused(nAnimCurveArray* arr) {
    if (arr->GetNumCurves() != 1 || arr->GetCurve(0)->GetNumKeys() != 0) std::abort();
}

// Known types, a positive rate, and sampling anywhere stays inside the keys.
inline void CheckCurve(nAnimCurve* curve) {
    if (curve->GetIpolType() < 0 || curve->GetIpolType() > 2 || curve->GetRepeatType() < 0 ||
        curve->GetRepeatType() > 1 || !(curve->GetKeysPerSecond() > 0.0f))
        std::abort();
    for (float t : {-1e30f, -3.5f, 0.0f, 0.26f, 7.0f, 1e30f}) (void)curve->GetValue(t);
}
