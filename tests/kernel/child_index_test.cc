// Finding children by name once an object has many: the index must follow every rename,
// move and delete, and keep "the first child of that name" in sibling order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KernelTestClasses.h"

namespace {

class ChildIndexTest : public KernelTest {
protected:
    // `count` children "c0".."c<count-1>" under `path`.
    nRoot* Parent(const char* path, int count) {
        nRoot* p = kernel->New("nroot", path);
        for (int i = 0; i < count; i++) kernel->New("nroot", (std::string(path) + "/c" + std::to_string(i)).c_str());
        return p;
    }
    static std::vector<std::string> Names(nRoot* p) {
        std::vector<std::string> names;
        for (nRoot* c = p->GetHead(); c; c = c->GetSucc()) names.push_back(c->GetName() ? c->GetName() : "");
        return names;
    }
};

TEST_F(ChildIndexTest, RenameMoveAndDeleteAreFoundAtOnce) {
    // Below and above the size at which the index starts.
    for (int count : {3, 40}) {
        SCOPED_TRACE(count);
        nRoot* p = Parent("/p", count);
        nRoot* c1 = p->Find("c1");
        ASSERT_NE(c1, nullptr);
        EXPECT_EQ(kernel->Lookup("/p/c1"), c1);

        ASSERT_TRUE(c1->Rename("renamed"));
        EXPECT_EQ(p->Find("c1"), nullptr);
        EXPECT_EQ(kernel->Lookup("/p/renamed"), c1);

        nRoot* q = Parent("/q", count);
        q->AddTail(c1);  // move
        EXPECT_EQ(p->Find("renamed"), nullptr);
        EXPECT_EQ(q->Find("renamed"), c1);
        EXPECT_EQ(p->GetNumChildren(), count - 1);
        EXPECT_EQ(q->GetNumChildren(), count + 1);

        nRoot* c2 = p->Find("c2");
        c2->Release();  // delete
        EXPECT_EQ(p->Find("c2"), nullptr);
        EXPECT_EQ(kernel->Lookup("/p/c2"), nullptr);
        EXPECT_EQ(kernel->New("nroot", "/p/c2")->GetParent(), p);  // made again, not found stale
        EXPECT_EQ(Names(p).back(), "c2");

        p->Release();
        q->Release();
    }
}

TEST_F(ChildIndexTest, AmongEqualNamesTheFirstInSiblingOrderIsFound) {
    for (int count : {3, 40}) {
        SCOPED_TRACE(count);
        nRoot* p = Parent("/p", count);
        nRoot* a = kernel->New("nroot", "/tmp/dup");
        nRoot* b = kernel->New("nroot", "/tmp2/dup");
        p->AddTail(a);
        EXPECT_EQ(p->Find("dup"), a);
        p->AddHead(b);  // the new head comes first
        EXPECT_EQ(p->Find("dup"), b);
        b->Remove();
        EXPECT_EQ(p->Find("dup"), a);
        p->AddTail(b);
        EXPECT_EQ(p->Find("dup"), a);  // a tail does not come first
        // A rename into a name taken further back, and one taken further ahead.
        nRoot* c0 = p->Find("c0");
        c0->Rename("dup");
        EXPECT_EQ(p->Find("dup"), c0);
        c0->Rename("c0");
        EXPECT_EQ(p->Find("dup"), a);
        a->Release();
        EXPECT_EQ(p->Find("dup"), b);
        // Sorting reorders siblings; the first of a name follows.
        nRoot* z = kernel->New("nroot", "/p/zzz");
        z->Rename("dup");
        EXPECT_EQ(p->Find("dup"), b);
        p->AddHead(b);
        p->AddTail(b);
        p->Sort();
        for (nRoot* c = p->GetHead(); c; c = c->GetSucc()) {
            if (std::string(c->GetName()) == "dup") {
                EXPECT_EQ(p->Find("dup"), c);
                break;
            }
        }
        p->Release();
        for (const char* t : {"/tmp", "/tmp2"}) kernel->Lookup(t)->Release();
    }
}

}  // namespace
