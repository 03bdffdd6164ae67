#pragma once
#include "kernel/nNode.h"

// Intrusive doubly linked list with a head and a tail sentinel, so inserting and
// unlinking never branch on the ends. The list does not own its elements.
class nList {
public:
    nList() {
        head_.succ_ = &tail_;
        tail_.pred_ = &head_;
    }
    // Elements still listed are unlinked (not freed), so none points into a dead list.
    ~nList() {
        while (RemHead()) {
        }
        head_.succ_ = nullptr;
        tail_.pred_ = nullptr;
    }
    nList(const nList&) = delete;
    nList& operator=(const nList&) = delete;

    bool IsEmpty() const { return head_.succ_ == &tail_; }
    nNode* GetHead() const { return IsEmpty() ? nullptr : head_.succ_; }
    nNode* GetTail() const { return IsEmpty() ? nullptr : tail_.pred_; }

    void AddHead(nNode* n) { n->InsertAfter(&head_); }
    void AddTail(nNode* n) { n->InsertBefore(&tail_); }

    nNode* RemHead() {
        nNode* n = GetHead();
        if (n) n->Remove();
        return n;
    }
    nNode* RemTail() {
        nNode* n = GetTail();
        if (n) n->Remove();
        return n;
    }

private:
    nNode head_;
    nNode tail_;
};
