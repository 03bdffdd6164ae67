// Feeds arbitrary bytes to the .nax curve reader. A refused buffer must leave the array
// as it was; an accepted one must hold only known types, a positive rate and exactly the
// keys its size allows, and sample anywhere without reading outside them.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/CurveFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nAnimCurveArray* arr = FuzzCurveArray();
    if (!arr->ReadBinary(reinterpret_cast<const char*>(data), size, "fuzz.nax")) {
        CheckRefused(arr);
        return 0;
    }
    if (arr->GetByteSize() > size) std::abort();
    for (int c = 0; c < arr->GetNumCurves(); c++) {
        nAnimCurve* curve = arr->GetCurve(c);
        CheckCurve(curve);
        if (curve->GetName().size() > 511) std::abort();
        if (arr->FindCurveIndex(curve->GetName().c_str()) > c) std::abort();
    }
    return 0;
}
