#include "logic/nLogicEventServer.h"

#include "logic/nLogicEventRecord.h"

const nClassInfo nLogicEventServer::classInfo = nClassInfo::Make<nLogicEventServer>("nlogiceventserver", "nroot");

nLogicEventServer::nLogicEventServer() : records_(4) {}

nLogicEventServer::~nLogicEventServer() {
    while (nHashNode* n = records_.RemHead()) delete static_cast<nLogicEventRecord*>(n);
}

nLogicEventRecord* nLogicEventServer::FindOrCreateEvent(const char* groupName) {
    if (!groupName) groupName = "";
    auto* rec = static_cast<nLogicEventRecord*>(records_.Find(groupName));
    if (!rec) {
        rec = new nLogicEventRecord(groupName);
        records_.AddTail(rec);
    }
    return rec;
}

void nLogicEventServer::Trigger() {
    // A handler's script may release the server: it lives until the pass is over.
    AddRef();
    for (auto* rec = static_cast<nLogicEventRecord*>(records_.GetHead()); rec; rec = rec->GetSucc()) {
        rec->FireQueued();
    }
    Release();
}
