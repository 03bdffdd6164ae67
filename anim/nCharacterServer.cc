#include "anim/nCharacterServer.h"

#include "anim/nCharacterInstance.h"

const nClassInfo nCharacterServer::classInfo = nClassInfo::Make<nCharacterServer>("ncharacterserver", "nroot");

nCharacterServer::nCharacterServer() : table_(16, 16) {}

nCharacterServer::~nCharacterServer() {
    for (int i = 0; i < table_.Size(); i++) delete table_.GetElementAt(i);
}

nCharacterInstance* nCharacterServer::NewCharacter(uint32_t key) {
    auto* inst = new nCharacterInstance;
    table_.Add(key, inst);
    return inst;
}

nCharacterInstance* nCharacterServer::FindCharacter(uint32_t key) {
    auto* pair = table_.Find(key);
    return pair ? pair->value : nullptr;
}

void nCharacterServer::RemoveCharacters(uint32_t key, uint32_t mask) {
    // Free the matching instances, then drop their keys; the table stays sorted.
    bool any = false;
    for (int i = 0; i < table_.Size(); i++) {
        if ((table_.GetKeyAt(i) & mask) != key) continue;
        delete table_.GetElementAt(i);
        table_.GetElementAt(i) = nullptr;
        any = true;
    }
    if (!any) return;
    // Every instance under a matching key was freed, so dropping by key drops only them.
    for (int i = 0; i < table_.Size();) {
        if (table_.GetElementAt(i)) i++;
        else table_.Remove(table_.GetKeyAt(i));
    }
}
