// The block list: removal moves a node behind the used ones and keeps the others'
// order, the next append reuses it, blocks are added the moment the last node fills,
// and reads after removals come back in list order.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "logic/nBlockList.h"

namespace {

using List = nBlockList<void*>;

void* V(intptr_t k) { return reinterpret_cast<void*>(k); }

std::vector<intptr_t> Read(List& l) {
    std::vector<intptr_t> out;
    for (int i = 0; i < l.Size(); i++) out.push_back(reinterpret_cast<intptr_t>(l.At(i)));
    return out;
}

TEST(BlockListTest, ARemovedNodeIsReusedAndTheOthersKeepTheirOrder) {
    List l;
    l.Append(V(1));
    List::Node* b2 = l.Append(V(2));
    l.Append(V(3));
    auto remove = [&](List::Node* n) {
        l.Remove(n);
        n->value = nullptr;
        n->used = false;
    };
    remove(b2);
    EXPECT_EQ(l.Append(V(4)), b2);
    EXPECT_EQ(Read(l), (std::vector<intptr_t>{1, 3, 4}));
    // Read between the removal and the append: the same values either way.
    int at;
    remove(l.Find(V(3), at));
    EXPECT_EQ(at, 1);
    EXPECT_EQ(Read(l), (std::vector<intptr_t>{1, 4}));
    l.Append(V(5));
    EXPECT_EQ(Read(l), (std::vector<intptr_t>{1, 4, 5}));

    int pos = 7;
    EXPECT_EQ(l.Find(V(9), pos), nullptr);
    EXPECT_EQ(pos, -1);
    List empty;
    pos = 7;
    EXPECT_EQ(empty.Find(V(0), pos), nullptr);
    EXPECT_EQ(pos, -1);
    EXPECT_NE(l.Find(V(5), pos), nullptr);
    EXPECT_EQ(pos, 2);
}

TEST(BlockListTest, TheLastNodeOfABlockFilledAddsTheNextBlockAtOnce) {
    List l;
    EXPECT_EQ(l.GetCapacity(), 64);
    for (int i = 0; i < 63; i++) l.Append(V(i + 1));
    EXPECT_EQ(l.GetNumBlocks(), 1);
    l.Append(V(64));
    EXPECT_EQ(l.GetCapacity(), 128);
    EXPECT_EQ(l.GetNumBlocks(), 2);
    EXPECT_EQ(l.Size(), 64);
    EXPECT_EQ(reinterpret_cast<intptr_t>(l.At(63)), 64);
}

// Appends, removals anywhere (found by value, sometimes while unordered), and reads in
// between, against a vector doing the same, over several blocks.
TEST(BlockListTest, RandomAppendsAndRemovalsReadLikeAVector) {
    for (int perBlock : {1, 3, 64}) {
        SCOPED_TRACE(perBlock);
        List l(perBlock);
        std::vector<intptr_t> model;
        std::mt19937 rng(1234u + unsigned(perBlock));
        intptr_t next = 1;
        for (int step = 0; step < 3000; step++) {
            const unsigned r = rng() % 10;
            if (r < 5 || model.empty()) {
                l.Append(V(next));
                model.push_back(next++);
            } else if (r < 9) {
                const size_t at = rng() % model.size();
                int pos = -2;
                List::Node* n = l.Find(V(model[at]), pos);
                ASSERT_NE(n, nullptr);
                ASSERT_EQ(pos, int(at));
                l.Remove(n);
                n->value = nullptr;
                n->used = false;
                model.erase(model.begin() + long(at));
            } else {
                ASSERT_EQ(Read(l), model) << "step " << step;
                ASSERT_TRUE(l.IsOrdered());
            }
            ASSERT_EQ(l.Size(), int(model.size()));
            ASSERT_LT(l.Size(), l.GetCapacity());
        }
        EXPECT_EQ(Read(l), model);
    }
}

}  // namespace
