// Feeds arbitrary bytes to the text curve reader. A refused buffer must leave the array
// as it was; an accepted one must hold only known types, a positive rate and keys within
// the reader's bounds, and sample anywhere without reading outside them.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/CurveFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nAnimCurveArray* arr = FuzzCurveArray();
    if (!arr->ReadText(reinterpret_cast<const char*>(data), size, "fuzz.txt")) {
        CheckRefused(arr);
        return 0;
    }
    if (arr->GetNumCurves() > nAnimCurveArray::MaxTextCurves) std::abort();
    long long keys = 0;
    for (int c = 0; c < arr->GetNumCurves(); c++) {
        nAnimCurve* curve = arr->GetCurve(c);
        keys += curve->GetNumKeys();
        CheckCurve(curve);
        if (curve->IsPacked() != (curve->GetIpolType() == nAnimCurve::Quat) && curve->GetNumKeys() > 0) std::abort();
    }
    if (keys > nAnimCurveArray::MaxTextKeys) std::abort();
    return 0;
}
