#include "anim/nCharStateSet.h"

#include <cstring>

#include "anim/nAnimCurveArray.h"
#include "scene/nVisNode.h"

nCharStateSet::~nCharStateSet() { Clear(); }

void nCharStateSet::Clear() {
    states.clear();
    stateNodes.clear();
    if (nAnimCurveArray* held = curvesRef_.GetUnsafe()) {
        curvesRef_.Set(nullptr);
        held->Release();
    }
    heldCurves_ = false;
    curves = nullptr;
}

void nCharStateSet::Begin(nAnimCurveArray* array, int n) {
    if (array) array->AddRef();
    Clear();
    curves = array;
    curvesRef_.Set(array);
    heldCurves_ = array != nullptr;
    states.resize(size_t(n > 0 ? n : 0));
    for (nCharState& s : states) s.curves = curves;
}

int nCharStateSet::FindState(const char* name) const {
    if (!name) return -1;
    for (size_t i = 0; i < states.size(); i++) {
        if (states[i].name == name) return int(i);
    }
    return -1;
}
