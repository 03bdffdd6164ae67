#include "kernel/nDataTexts.h"

#include "kernel/nCmdProto.h"
#include "kernel/nScriptServer.h"

bool nDataTexts::Charge(const nRoot* owner, const nCmdProto* proto, uint64_t key, uint64_t bytes) {
    const bool data = nScriptServer::DataRunning();
    auto it = texts_.find(key);
    // A call without text keeps nothing where nothing was kept.
    if (it == texts_.end() && (!data || !bytes)) return true;
    // A setter may ignore a call and keep the text it has: data's shorter text gives back
    // nothing until the object dies or a person sets it.
    if (data && it != texts_.end() && bytes < it->second) bytes = it->second;
    const uint64_t had = it == texts_.end() ? 0 : it->second + EntryBytes;
    const uint64_t now = data ? bytes + EntryBytes : 0;
    if (!charge_.Set(charge_.Bytes() - had + now, owner, proto->GetProtoText())) return false;
    if (!data) {
        if (it != texts_.end()) texts_.erase(it);
    } else if (it != texts_.end()) {
        it->second = bytes;
    } else {
        texts_.emplace(key, bytes);
    }
    return true;
}
