#include "logic/nLogicFlashContainer.h"

#include "kernel/nKernelServer.h"

const nClassInfo nLogicFlashContainer::classInfo =
    nClassInfo::Make<nLogicFlashContainer>("nlogicflashcontainer", "nlogicnode");

void nLogicFlashContainer::SetActive(bool on) {
    if (!flashClass_) flashClass_ = nKernelServer::ks->FindClass("nlogicflash");
    for (nRoot* child = GetHead(); child; child = child->GetSucc()) {
        // Subclasses of the Flash node are left to themselves.
        if (flashClass_ && child->GetClass() == flashClass_) static_cast<nLogicNode*>(child)->SetActive(on);
    }
    nLogicNode::SetActive(on);
}
