#pragma once
#include <cstring>

#include "kernel/nList.h"
#include "kernel/nNamedNode.h"

// A list of named nodes, searched by exact (byte-wise, case-sensitive) name.
class nNamedList : public nList {
public:
    nNamedNode* GetHead() const { return static_cast<nNamedNode*>(nList::GetHead()); }
    nNamedNode* GetTail() const { return static_cast<nNamedNode*>(nList::GetTail()); }
    nNamedNode* RemHead() { return static_cast<nNamedNode*>(nList::RemHead()); }
    nNamedNode* RemTail() { return static_cast<nNamedNode*>(nList::RemTail()); }

    // First node named exactly `name`, or null.
    nNamedNode* Find(const char* name) const {
        if (!name) return nullptr;
        for (nNamedNode* n = GetHead(); n; n = n->GetSucc()) {
            if (std::strcmp(n->GetName(), name) == 0) return n;
        }
        return nullptr;
    }
};
