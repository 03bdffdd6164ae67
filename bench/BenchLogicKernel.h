#pragma once
// A kernel with every package a logic frame needs (scripts, graphics, scene, animation,
// collision, physics, logic) and the stand-in camera, for benchmarks of logic nodes.
#include "anim/nAnimPackage.h"
#include "bench/nBenchCamera.h"
#include "collide/nCollidePackage.h"
#include "gfx/nGfxPackage.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "logic/nLogicPackage.h"
#include "physics/nPhysikPackage.h"
#include "scene/nScenePackage.h"
#include "script/nScriptPackage.h"

namespace bench {
inline nKernelServer* NewLogicKernel() {
    return new nKernelServer([](nKernelServer* ks) {
        nKernelPackage(ks);
        nGfxPackage(ks);
        nScriptPackage(ks);
        nScenePackage(ks);
        nAnimPackage(ks);
        nCollidePackage(ks);
        nPhysikPackage(ks);
        nLogicPackage(ks);
        ks->AddClass(nBenchCamera::classInfo);
    });
}
}  // namespace bench
