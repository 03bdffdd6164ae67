#include "kernel/nHashNode.h"

#include "kernel/nHashTable.h"

nHashNode::nHashNode(const char* name) : bucketNode_(name, this) {}

void nHashNode::SetName(const char* name) {
    if (table_) {
        bucketNode_.Remove();
        bucketNode_.SetName(name);
        table_->Add(&bucketNode_);
    } else {
        bucketNode_.SetName(name);
    }
}

void nHashNode::Remove() {
    nNode::Remove();
    bucketNode_.Remove();
    table_ = nullptr;
}
