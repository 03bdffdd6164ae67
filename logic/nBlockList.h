#pragma once
// An indexed list whose nodes come in fixed-size blocks, chained in one doubly linked
// chain: the used nodes in front, the free ones behind. A removed node moves behind the
// used ones, so the others keep their order and the next Append reuses it; the chain is
// brought back into storage order lazily, the first time a position is read after a
// removal. While ordered, position p is storage slot p and is read without a walk. The
// flock keeps its boids in one. Values are pointer-sized.
#include <utility>

#include "kernel/nArray.h"

template <class T>
class nBlockList {
public:
    struct Block;
    struct Node {
        T value{};
        Block* block = nullptr;
        bool used = false;
        Node* prev = nullptr;
        Node* next = nullptr;
    };
    struct Block {
        Node* nodes = nullptr;
        // The block of the chain's last node when this one was added; null for the first.
        Block* prev = nullptr;
        nBlockList* list = nullptr;
    };

    explicit nBlockList(int nodesPerBlock = 64) : perBlock_(nodesPerBlock > 0 ? nodesPerBlock : 1) {
        // Positions are read every frame: a power of two finds its block by a shift.
        if ((perBlock_ & (perBlock_ - 1)) == 0) {
            shift_ = 0;
            while ((1 << shift_) < perBlock_) shift_++;
        }
        addBlock(nullptr);
        head_ = firstFree_ = blocks_[0]->nodes;
    }
    ~nBlockList() {
        for (Block* b : blocks_) {
            delete[] b->nodes;
            delete b;
        }
    }
    nBlockList(const nBlockList&) = delete;
    nBlockList& operator=(const nBlockList&) = delete;

    // Fills the first free node; a list that runs full gains its next block at once.
    Node* Append(T value) {
        Node* node = firstFree_;
        node->value = value;
        node->used = true;
        if (!node->prev) head_ = node;
        if (!node->next) last_ = addBlock(node);
        firstFree_ = node->next;
        count_++;
        return node;
    }

    // The first node holding `value` and its position; null and -1 when there is none.
    Node* Find(T value, int& position) {
        if (!unordered_) {
            for (int i = 0; i < count_; i++) {
                Node* n = storage(i);
                if (n->value == value) {
                    position = i;
                    return n;
                }
            }
        } else {
            int i = 0;
            for (Node* n = head_; n && i < count_; n = n->next, i++) {
                if (n->value == value) {
                    position = i;
                    return n;
                }
            }
        }
        position = -1;
        return nullptr;
    }

    // Takes a used node out of the used part; its value and used flag stay for the caller
    // to clear.
    void Remove(Node* node) {
        if (node->next != firstFree_) {
            if (node == head_) head_ = node->next;
            if (node->prev) node->prev->next = node->next;
            node->next->prev = node->prev;
            node->prev = firstFree_->prev;
            node->next = firstFree_;
            if (firstFree_->prev) firstFree_->prev->next = node;
            firstFree_->prev = node;
        }
        firstFree_ = node;
        unordered_ = true;
        count_--;
    }

    // The value at position i, 0 <= i < Size().
    T At(int i) {
        if (unordered_) reorder();
        return storage(i)->value;
    }

    int Size() const { return count_; }
    int GetCapacity() const { return capacity_; }
    int GetNumBlocks() const { return blocks_.Size(); }
    bool IsOrdered() const { return !unordered_; }

private:
    Node* storage(int p) const {
        if (shift_ >= 0) return &blocks_[p >> shift_]->nodes[p & (perBlock_ - 1)];
        return &blocks_[p / perBlock_]->nodes[p % perBlock_];
    }

    // A block of fresh nodes chained after `after`; its last node.
    Node* addBlock(Node* after) {
        Block* b = new Block;
        b->nodes = new Node[perBlock_];
        b->prev = last_ ? last_->block : nullptr;
        b->list = this;
        for (int i = 0; i < perBlock_; i++) {
            Node& n = b->nodes[i];
            n.block = b;
            n.prev = i > 0 ? &b->nodes[i - 1] : after;
            n.next = i + 1 < perBlock_ ? &b->nodes[i + 1] : nullptr;
        }
        if (after) after->next = &b->nodes[0];
        capacity_ += perBlock_;
        blocks_.Append(b);
        last_ = &b->nodes[perBlock_ - 1];
        return last_;
    }

    // Swaps the chain places of two nodes.
    static void swapPlaces(Node* a, Node* b) {
        if (b->next == a) std::swap(a, b);
        if (a->next == b) {
            Node* p = a->prev;
            Node* n = b->next;
            b->prev = p;
            b->next = a;
            a->prev = b;
            a->next = n;
            if (p) p->next = b;
            if (n) n->prev = a;
            return;
        }
        Node *ap = a->prev, *an = a->next, *bp = b->prev, *bn = b->next;
        a->prev = bp;
        a->next = bn;
        b->prev = ap;
        b->next = an;
        if (ap) ap->next = b;
        if (an) an->prev = b;
        if (bp) bp->next = a;
        if (bn) bn->prev = a;
    }

    // Puts storage node i at chain position i for every i, exchanging values with the
    // node that stood there, so the values along the chain stay as they were.
    void reorder() {
        Node* cursor = head_;
        for (int i = 0; i < capacity_; i++) {
            Node* s = storage(i);
            if (s != cursor) {
                std::swap(s->value, cursor->value);
                std::swap(s->used, cursor->used);
                swapPlaces(s, cursor);
            }
            if (i == 0) head_ = s;
            if (i == count_) firstFree_ = s;
            cursor = s->next;
        }
        last_ = storage(capacity_ - 1);
        unordered_ = false;
    }

    Node* head_ = nullptr;
    Node* last_ = nullptr;
    Node* firstFree_ = nullptr;
    nArray<Block*> blocks_{0, 4};
    bool unordered_ = false;
    int count_ = 0;
    int capacity_ = 0;
    int perBlock_;
    int shift_ = -1;
};
