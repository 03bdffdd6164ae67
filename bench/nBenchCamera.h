#pragma once
// A current camera with the identity view, for benchmarks whose logic graph must draw but
// whose camera work is not what they measure.
#include "kernel/nClassInfo.h"
#include "kernel/nRoot.h"
#include "logic/nCameraView.h"

class nBenchCamera : public nRoot, public nCameraView {
public:
    static const nClassInfo classInfo;
    bool HasCurrentCamera() override { return true; }
    void ApplyView(nGfxServer*, matrix44& view) override { view.Ident(); }
};
inline const nClassInfo nBenchCamera::classInfo = nClassInfo::Make<nBenchCamera>("nbenchcamera", "nroot");
