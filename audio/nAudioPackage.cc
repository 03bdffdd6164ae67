#include "audio/nAudioPackage.h"

#include "audio/nAudioServer2.h"
#include "audio/nDSoundServer2.h"
#include "audio/nStream.h"
#include "audio/nWavStream.h"
#include "kernel/nKernelServer.h"

void nAudioPackage(nKernelServer* ks) {
    ks->AddClass(nAudioServer2::classInfo);
    ks->AddClass(nStream::classInfo);
    ks->AddClass(nWavStream::classInfo);
    ks->AddClass(nDSoundServer2::classInfo);
}
