#pragma once
#include "kernel/nNamedNode.h"

class nHashTable;

// An element of an nHashList: a link in the list plus a named link in one bucket of
// the list's hash table. Classes and command prototypes are hash nodes.
class nHashNode : public nNode {
public:
    explicit nHashNode(const char* name = nullptr);
    virtual ~nHashNode() { Remove(); }

    const char* GetName() const { return bucketNode_.GetName(); }
    // Renames the node; a hashed node moves to the bucket of its new name.
    void SetName(const char* name);
    // Unlinks the node from its list and its bucket.
    void Remove();

    nHashNode* GetSucc() const { return static_cast<nHashNode*>(nNode::GetSucc()); }
    nHashNode* GetPred() const { return static_cast<nHashNode*>(nNode::GetPred()); }

private:
    friend class nHashList;
    nNamedNode bucketNode_;
    nHashTable* table_ = nullptr;
};
