#include "kernel/nHashList.h"

void nHashList::AddHead(nHashNode* n) {
    n->Remove();
    n->table_ = &table_;
    table_.Add(&n->bucketNode_);
    nList::AddHead(n);
}

void nHashList::AddTail(nHashNode* n) {
    n->Remove();
    n->table_ = &table_;
    table_.Add(&n->bucketNode_);
    nList::AddTail(n);
}

nHashNode* nHashList::RemHead() {
    nHashNode* n = GetHead();
    if (n) n->Remove();
    return n;
}

nHashNode* nHashList::RemTail() {
    nHashNode* n = GetTail();
    if (n) n->Remove();
    return n;
}

nHashNode* nHashList::Find(const char* name) const {
    nNamedNode* b = table_.Find(name);
    return b ? static_cast<nHashNode*>(b->GetPtr()) : nullptr;
}
