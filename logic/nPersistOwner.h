#pragma once
// The side of a persistent store's owner: a logic node keeps its state in an
// nPersistLogic store so that the node can be destroyed and rebuilt while the state
// survives. The logic node base implements these two hooks.
class nPersistLogic;

class nPersistOwner {
public:
    virtual ~nPersistOwner() = default;
    // Writes the owner's current state into `store` (before the store saves itself,
    // and when the owner is released while linked).
    virtual void StoreToPersist(nPersistLogic* store) = 0;
    // Reads the owner's state back from `store` after the owner has linked to it.
    virtual void RestoreFromPersist(nPersistLogic* store) = 0;
};
