#include "audio/nAudioPackage.h"

#include "audio/nAudioServer2.h"
#include "audio/nDSoundServer2.h"
#include "audio/nListenerNode.h"
#include "audio/nSoundNode.h"
#include "audio/nStream.h"
#include "audio/nWavStream.h"
#include "kernel/nKernelServer.h"
#include "scene/nVisNode.h"

void nAudioPackage(nKernelServer* ks) {
    ks->AddClass(nAudioServer2::classInfo);
    ks->AddClass(nStream::classInfo);
    ks->AddClass(nWavStream::classInfo);
    ks->AddClass(nDSoundServer2::classInfo);
    // The nodes' superclass, for kernels that register sound without the scene folder
    // (registering a class again changes nothing).
    ks->AddClass(nVisNode::classInfo);
    ks->AddClass(nSoundNode::classInfo);
    ks->AddClass(nListenerNode::classInfo);
}
