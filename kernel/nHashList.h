#pragma once
#include "kernel/nHashNode.h"
#include "kernel/nHashTable.h"
#include "kernel/nList.h"

// An ordered list of hash nodes with a hash table over their names: ordered iteration
// and name lookup in one bucket. Holds the kernel's classes and each class's commands.
class nHashList : public nList {
public:
    explicit nHashList(int bucketCount) : table_(bucketCount) {}
    // Unlinks (does not free) the remaining nodes, so none keeps a pointer to the table.
    ~nHashList() {
        while (RemHead()) {
        }
    }

    void AddHead(nHashNode* n);
    void AddTail(nHashNode* n);
    nHashNode* GetHead() const { return static_cast<nHashNode*>(nList::GetHead()); }
    nHashNode* GetTail() const { return static_cast<nHashNode*>(nList::GetTail()); }
    nHashNode* RemHead();
    nHashNode* RemTail();
    nHashNode* Find(const char* name) const;
    int GetBucketCount() const { return table_.GetBucketCount(); }

private:
    nHashTable table_;
};
