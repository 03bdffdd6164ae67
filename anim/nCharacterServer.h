#pragma once
// The table of character instances (script class "ncharacterserver", at
// "/sys/servers/character", no commands): one instance per character node and render
// context, keyed (context << 16) | (node id & 0xFFFF), so one node drawn in several
// contexts keeps a pose and a state in each.
#include <cstdint>

#include "kernel/nKeyArray.h"
#include "kernel/nRoot.h"

class nCharacterInstance;

class nCharacterServer : public nRoot {
public:
    static const nClassInfo classInfo;

    static uint32_t MakeKey(uint32_t renderContext, int nodeId) {
        return (renderContext << 16) | (uint32_t(nodeId) & 0xFFFFu);
    }

    nCharacterServer();
    // Frees the instances still held.
    ~nCharacterServer() override;

    // A new instance under `key`, owned by the server.
    nCharacterInstance* NewCharacter(uint32_t key);
    // The instance under `key`; null when there is none.
    nCharacterInstance* FindCharacter(uint32_t key);
    // Frees every instance whose key masked by `mask` equals `key`.
    void RemoveCharacters(uint32_t key, uint32_t mask);
    int NewNodeId() { return nodeIds_++; }
    int GetNumCharacters() const { return table_.Size(); }

private:
    nKeyArray<nCharacterInstance*> table_;
    int nodeIds_ = 0;
};
