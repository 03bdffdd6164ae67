#include <gtest/gtest.h>

#include "KernelTestClasses.h"
#include "kernel/nFrameGuard.h"
#include "kernel/nKernelServer.h"
#include "kernel/nNamedRef.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"

// Headers hold references to forward-declared classes and read them inline.
class nTestForward;
struct ForwardHolder {
    nRef<nTestForward> ref;
    nTestForward* Peek() const { return ref.GetUnsafe(); }
};

namespace {

class RefTest : public KernelTest {};

TEST_F(RefTest, RefIsClearedWhenItsTargetDiesAndNeverKeepsItAlive) {
    auto* node = static_cast<nTestNode*>(kernel->New("ntestnode", "/x"));
    nRef<nTestNode> a(node);
    nRef<nTestNode> b;
    b = node;
    nRef<nTestNode> c = a;  // a copy is a second link
    EXPECT_EQ(a->i, 0);
    EXPECT_EQ(node->GetRefCount(), 1);
    b.Set(nullptr);
    EXPECT_FALSE(b.IsValid());
    EXPECT_TRUE(node->Release());
    EXPECT_FALSE(a.IsValid());
    EXPECT_FALSE(c.IsValid());
    EXPECT_EQ(a.GetUnsafe(), nullptr);

    nRoot* other = kernel->New("ntestnode", "/y");
    {
        nRef<> r(other);
    }
    EXPECT_TRUE(other->Release());  // would touch the dead reference otherwise
    ForwardHolder holder;
    EXPECT_EQ(holder.Peek(), nullptr);
}

TEST_F(RefTest, PathRefResolvesLazilyAndAgainAfterRecreation) {
    nPathRef<nTestNode> ref("/sys/x");
    EXPECT_FALSE(ref.IsResolved());
    EXPECT_FALSE(ref.IsValid());  // nothing there yet
    nRoot* first = kernel->New("ntestnode", "/sys/x");
    EXPECT_EQ(ref.Get(), first);
    EXPECT_TRUE(ref.IsResolved());
    first->Release();
    EXPECT_FALSE(ref.IsResolved());
    nRoot* second = kernel->New("ntestleaf", "/sys/x");
    EXPECT_EQ(ref.Get(), second);
    EXPECT_EQ(ref->GetClass()->GetName(), std::string("ntestleaf"));

    nPathRef<nTestNode> copy = ref;
    EXPECT_FALSE(copy.IsResolved());  // copies are unresolved
    EXPECT_EQ(copy.Get(), second);
    copy.SetPath(nullptr);
    EXPECT_EQ(copy.GetPath(), nullptr);
    EXPECT_FALSE(copy.IsValid());
}

TEST_F(RefTest, PathRefWithCwdObjectLeavesTheKernelCwdAlone) {
    nRoot* owner = kernel->New("ntestnode", "/usr/owner");
    nRoot* target = kernel->New("ntestnode", "/usr/owner/part");
    kernel->New("ntestnode", "/part");
    nRoot* elsewhere = kernel->New("nroot", "/elsewhere");
    kernel->SetCwd(elsewhere);

    nPathRef<> ref("part");
    ref.SetCwd(owner);
    EXPECT_EQ(ref.Resolve(), target);
    EXPECT_EQ(kernel->GetCwd(), elsewhere);

    nPathRef<> plain("../part");
    EXPECT_EQ(plain.Resolve(), kernel->Lookup("/part"));

    ref.SetRequiredClass(kernel->FindClass("ntestnode"));
    target->Release();
    kernel->New("ntestleaf", "/usr/owner/part");  // a subclass fits
    EXPECT_TRUE(ref.IsValid());
}

// A path that named nothing is not looked up again until the tree changes: each way a
// name can appear (made, renamed in a small parent, moved in, or relative to a cwd
// object) must still resolve it at once.
TEST_F(RefTest, PathRefThatMissedResolvesAsSoonAsTheNameAppears) {
    nRoot* folder = kernel->New("nroot", "/usr/folder");
    nPathRef<> made("/usr/folder/made");
    nPathRef<> renamed("/usr/folder/renamed");
    nPathRef<> moved("/usr/folder/moved");
    nPathRef<> relative("inner");
    relative.SetCwd(folder);
    for (nPathRef<>* r : {&made, &renamed, &moved, &relative}) {
        EXPECT_EQ(r->Resolve(), nullptr);
        EXPECT_EQ(r->Resolve(), nullptr);  // the remembered miss
    }
    nRoot* a = kernel->New("nroot", "/usr/folder/made");
    EXPECT_EQ(made.Resolve(), a);
    nRoot* b = kernel->New("nroot", "/usr/folder/old");
    EXPECT_EQ(renamed.Resolve(), nullptr);
    b->Rename("renamed");
    EXPECT_EQ(renamed.Resolve(), b);
    nRoot* c = kernel->New("nroot", "/usr/moved");
    EXPECT_EQ(moved.Resolve(), nullptr);
    folder->AddTail(c);
    EXPECT_EQ(moved.Resolve(), c);
    nRoot* d = kernel->New("nroot", "/usr/folder/inner");
    EXPECT_EQ(relative.Resolve(), d);
    // A new path forgets the miss of the old one.
    nPathRef<> changed("/usr/none");
    EXPECT_EQ(changed.Resolve(), nullptr);
    changed.SetPath("/usr/folder/made");
    EXPECT_EQ(changed.Resolve(), a);
}

TEST_F(RefTest, NamedRefKeepsItsPathUntilResolved) {
    nNamedRef ref("/a/b");
    char buf[64];
    EXPECT_STREQ(ref.GetPath(buf, sizeof(buf)), "/a/b");
    EXPECT_EQ(ref.Resolve(), nullptr);
    nRoot* obj = kernel->New("ntestnode", "/a/b");
    EXPECT_EQ(ref.Resolve(), obj);
    obj->GetParent()->SetName("moved");
    EXPECT_STREQ(ref.GetPath(buf, sizeof(buf)), "/moved/b");
    char one[1] = {'x'};
    EXPECT_STREQ(ref.GetPath(one, 1), "");
    char small[4];
    EXPECT_STREQ(ref.GetPath(small, sizeof(small)), "/mo");
}

// An object released while its frame runs, or below an object released then, leaves the
// tree at once but is freed only when the last guard it holds ends; nested guards of one
// object and a second release change nothing.
TEST_F(RefTest, ReleaseDuringARunningFrameWaitsForTheFrame) {
    nRoot* a = kernel->New("ntestnode", "/a");
    nRoot* b = kernel->New("ntestnode", "/a/b");
    nRoot* c = kernel->New("ntestnode", "/c");
    nRef<> refA(a), refB(b), refC(c);
    {
        nFrameGuard outer(b);
        {
            nFrameGuard inner(b);
            nFrameGuard other(c);
            EXPECT_TRUE(nFrameGuard::HoldsRunningFrame(a));
            EXPECT_FALSE(nFrameGuard::HoldsRunningFrame(kernel->Lookup("/sys")));
            EXPECT_TRUE(a->Release());
            EXPECT_EQ(kernel->Lookup("/a"), nullptr);
            EXPECT_TRUE(nFrameGuard::IsReleasePending(a));
            EXPECT_TRUE(a->Release());
            EXPECT_TRUE(c->Release());
            EXPECT_EQ(kernel->Lookup("/c"), nullptr);
        }
        // `c` went with its guard; `a` still holds the outer guard's object.
        EXPECT_FALSE(refC.IsValid());
        EXPECT_TRUE(refA.IsValid());
        EXPECT_EQ(b->GetParent(), a);
    }
    EXPECT_FALSE(refA.IsValid());
    EXPECT_FALSE(refB.IsValid());
    EXPECT_FALSE(nFrameGuard::IsReleasePending(a));

    // One taken up again while it waited is left to its new holder.
    nRoot* e = kernel->New("ntestnode", "/e");
    nRef<> refE(e);
    {
        nFrameGuard guard(e);
        EXPECT_TRUE(e->Release());
        e->AddRef();
    }
    EXPECT_TRUE(refE.IsValid());
    EXPECT_FALSE(nFrameGuard::IsReleasePending(e));
    EXPECT_TRUE(e->Release());
    EXPECT_FALSE(refE.IsValid());

    // Without a release the guard changes nothing; a guard of null marks nothing.
    nRoot* d = kernel->New("ntestnode", "/d");
    {
        nFrameGuard guard(d);
        nFrameGuard none(nullptr);
        EXPECT_FALSE(nFrameGuard::HoldsRunningFrame(nullptr));
    }
    EXPECT_EQ(kernel->Lookup("/d"), d);
    EXPECT_TRUE(d->Release());
}

TEST(RefDeathTest, UnresolvablePathsAndWrongClassesAreFatal) {
    EXPECT_EXIT(
        {
            nKernelServer k(TestPackage);
            nPathRef<> ref("/sys/servers/none");
            ref.Get();
        },
        ::testing::ExitedWithCode(3), "Aborting\\.");
    EXPECT_EXIT(
        {
            nKernelServer k(TestPackage);
            k.New("nroot", "/sys/plain");
            nPathRef<nTestNode> ref("/sys/plain");  // the typed form checks its class
            ref.Get();
        },
        ::testing::ExitedWithCode(3), "Aborting");
    EXPECT_EXIT(
        {
            nKernelServer k(TestPackage);
            nRef<> unset;
            unset.Get();
        },
        ::testing::ExitedWithCode(3), "Aborting\\.");
}

}  // namespace
