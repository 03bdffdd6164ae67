#pragma once

// A link of an intrusive doubly linked list (nList). The node is embedded in the object
// it lists; `user` points back at that object. A node is a real element when both its
// neighbours exist: the list's two sentinels have one null side each.
class nNode {
public:
    nNode() = default;
    explicit nNode(void* user) : user_(user) {}
    // Unlinks itself, so a dying element never leaves a dangling link in its list.
    ~nNode() { Remove(); }
    nNode(const nNode&) = delete;
    nNode& operator=(const nNode&) = delete;

    // Next / previous element, null at the ends of the list.
    nNode* GetSucc() const { return (succ_ && succ_->succ_) ? succ_ : nullptr; }
    nNode* GetPred() const { return (pred_ && pred_->pred_) ? pred_ : nullptr; }

    void* GetPtr() const { return user_; }
    void SetPtr(void* user) { user_ = user; }

    bool IsLinked() const { return succ_ != nullptr; }

    // Unlinks the node from its list; a node in no list is left alone.
    void Remove() {
        if (succ_) {
            succ_->pred_ = pred_;
            pred_->succ_ = succ_;
            succ_ = nullptr;
            pred_ = nullptr;
        }
    }

    void InsertAfter(nNode* where) {
        Remove();
        succ_ = where->succ_;
        pred_ = where;
        where->succ_->pred_ = this;
        where->succ_ = this;
    }
    void InsertBefore(nNode* where) {
        Remove();
        succ_ = where;
        pred_ = where->pred_;
        where->pred_->succ_ = this;
        where->pred_ = this;
    }

private:
    friend class nList;
    nNode* succ_ = nullptr;
    nNode* pred_ = nullptr;
    void* user_ = nullptr;
};
