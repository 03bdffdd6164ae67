#include "video/nVideoPackage.h"

#include "anim/nAnimNode.h"
#include "kernel/nKernelServer.h"
#include "scene/nVisNode.h"
#include "video/nAviPlayer.h"
#include "video/nBinkPlayer.h"

void nVideoPackage(nKernelServer* ks) {
    // The players' superclasses, for kernels that register video without the scene and
    // animation folders (registering a class again changes nothing).
    ks->AddClass(nVisNode::classInfo);
    ks->AddClass(nAnimNode::classInfo);
    ks->AddClass(nBinkPlayer::classInfo);
    ks->AddClass(nAviPlayer::classInfo);
}
