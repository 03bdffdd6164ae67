#include "anim/nAnimPackage.h"

#include "anim/nEnvelope.h"
#include "anim/nEnvelopeServer.h"
#include "anim/nSpecialFxServer.h"
#include "kernel/nKernelServer.h"

void nAnimPackage(nKernelServer* ks) {
    ks->AddClass(nEnvelopeServer::classInfo);
    ks->AddClass(nEnvelope::classInfo);
    ks->AddClass(nSpecialFxServer::classInfo);
}
