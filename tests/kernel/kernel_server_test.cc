#include <gtest/gtest.h>

#include "KernelTestClasses.h"
#include "kernel/nKernelServer.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"

namespace {

TEST_F(KernelTest, RootAndClasses) {
    EXPECT_EQ(nKernelServer::ks, kernel);
    nRoot* root = kernel->GetRoot();
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->GetName(), "/");
    EXPECT_EQ(root->GetFullName(), "/");
    EXPECT_EQ(kernel->GetCwd(), root);
    nClass* nroot = kernel->FindClass("nroot");
    EXPECT_EQ(nroot->GetSuperClass(), nullptr);
    EXPECT_EQ(kernel->FindClass("ntestleaf")->GetSuperClass()->GetName(), std::string("ntestplain"));
    int direct = 0;
    for (nClass* c = kernel->GetFirstClass(); c; c = c->GetSucc()) direct += c->GetSuperClass() == nroot;
    EXPECT_EQ(nroot->GetRefCount(), direct);  // one count per direct subclass
    EXPECT_EQ(kernel->FindClass("nothing"), nullptr);
    // A second registration of a name is ignored.
    EXPECT_EQ(kernel->AddClass(nTestNode::classInfo), kernel->FindClass("ntestnode"));
}

TEST_F(KernelTest, NewMakesMissingLevelsAndReturnsExistingObjects) {
    nRoot* usr = kernel->New("nroot", "/usr");
    nRoot* leaf = kernel->New("ntestnode", "/usr/a/b/c");
    ASSERT_NE(leaf, nullptr);
    EXPECT_TRUE(static_cast<nTestNode*>(leaf)->initialized);
    nRoot* a = kernel->Lookup("/usr/a");
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->IsInstanceOf("nroot"));
    EXPECT_EQ(a->GetParent(), usr);
    EXPECT_TRUE(kernel->Lookup("/usr/a/b")->IsInstanceOf("nroot"));
    EXPECT_EQ(leaf->GetFullName(), "/usr/a/b/c");

    // The existing object comes back unchanged, whatever class is asked for.
    EXPECT_EQ(kernel->New("ntestleaf", "/usr/a/b/c"), leaf);
    EXPECT_EQ(leaf->GetRefCount(), 1);
    EXPECT_EQ(kernel->New("nroot", "/usr/a/b/c/."), leaf);
    EXPECT_EQ(kernel->New("nroot", "/usr/a/b/c/.."), kernel->Lookup("/usr/a/b"));

    // Unnamed objects stand outside the tree.
    nRoot* loose = kernel->NewUnnamed("ntestnode");
    ASSERT_NE(loose, nullptr);
    EXPECT_EQ(loose->GetParent(), nullptr);
    EXPECT_EQ(loose->GetName(), nullptr);
    EXPECT_EQ(kernel->NewUnnamed("nosuchclass"), nullptr);
    EXPECT_TRUE(loose->Release());
}

TEST_F(KernelTest, RelativeAndBadPaths) {
    nRoot* c = kernel->New("ntestnode", "/usr/a/b/c");
    nRoot* d = kernel->New("ntestnode", "/usr/a/d");
    kernel->SetCwd(kernel->Lookup("/usr/a/b"));
    EXPECT_EQ(kernel->Lookup("./c"), c);
    EXPECT_EQ(kernel->Lookup("../d"), d);
    EXPECT_EQ(kernel->Lookup("../../.."), kernel->GetRoot());
    EXPECT_EQ(kernel->Lookup("../../../.."), nullptr);
    EXPECT_EQ(kernel->Lookup("c/"), c);  // one trailing slash is fine
    nRoot* e = kernel->New("ntestnode", "e");
    EXPECT_EQ(e, kernel->Lookup("/usr/a/b/e"));
    // From another object: relative paths start there, absolute ones at the root, and the
    // current object stays.
    EXPECT_EQ(kernel->LookupFrom(d, "../b/c"), c);
    EXPECT_EQ(kernel->LookupFrom(d, "/usr/a/d"), d);
    EXPECT_EQ(kernel->LookupFrom(d, ""), nullptr);
    EXPECT_EQ(kernel->GetCwd(), kernel->Lookup("/usr/a/b"));
    kernel->SetCwd(nullptr);
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());

    for (const char* bad : {"", "..", "/..", "/usr//a", "/usr/missing"}) EXPECT_EQ(kernel->Lookup(bad), nullptr) << bad;
    EXPECT_EQ(kernel->Lookup(nullptr), nullptr);
    EXPECT_EQ(kernel->NewNoFail("ntestnode", "/"), nullptr);
    EXPECT_EQ(kernel->NewNoFail("nosuchclass", "/usr/x"), nullptr);
    EXPECT_EQ(kernel->Lookup("/usr/x"), nullptr);
    // Malformed and above-the-root paths are refused even by New.
    for (const char* bad : {"/usr//b", "/../b", "../b"}) EXPECT_EQ(kernel->New("ntestnode", bad), nullptr) << bad;
    // An intermediate component that is a leaf object is simply used as parent.
    nRoot* under = kernel->New("ntestnode", "/usr/a/d/f");
    ASSERT_NE(under, nullptr);
    EXPECT_EQ(under->GetParent(), d);
}

TEST_F(KernelTest, CwdStackSurvivesObjectsThatDie) {
    nRoot* a = kernel->New("ntestnode", "/a");
    nRoot* b = kernel->New("ntestnode", "/b");
    kernel->PushCwd(a);
    EXPECT_EQ(kernel->GetCwd(), a);
    kernel->PushCwd(b);
    EXPECT_EQ(kernel->PopCwd(), b);
    EXPECT_EQ(kernel->GetCwd(), a);
    EXPECT_EQ(kernel->PopCwd(), a);
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());
    EXPECT_EQ(kernel->PopCwd(), kernel->GetRoot());  // empty stack: the root
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());

    kernel->SetCwd(a);
    kernel->PushCwd(b);
    a->Release();  // dies while saved on the stack
    kernel->PopCwd();
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());
    // The current object dying makes the root current.
    kernel->SetCwd(b);
    b->Release();
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());
}

TEST_F(KernelTest, ReleaseDeletesSubtreeAndClearsReferences) {
    nRoot* usr = kernel->New("nroot", "/usr");
    nRoot* child = kernel->New("ntestnode", "/usr/x/y");
    nRef<nRoot> toUsr(usr);
    nRef<nRoot> toChild(child);
    child->AddRef();  // an extra count does not keep it alive when its parent dies
    usr->AddRef();
    EXPECT_FALSE(usr->Release());
    EXPECT_TRUE(toUsr.IsValid());
    EXPECT_EQ(nTestNode::liveCount, 1);
    EXPECT_TRUE(usr->Release());
    EXPECT_FALSE(toUsr.IsValid());
    EXPECT_FALSE(toChild.IsValid());
    EXPECT_EQ(nTestNode::liveCount, 0);
    EXPECT_EQ(kernel->Lookup("/usr"), nullptr);
}

TEST_F(KernelTest, TreeOperationsMoveChildrenAndRefuseCycles) {
    nRoot* a = kernel->New("ntestnode", "/a");
    nRoot* b = kernel->New("ntestnode", "/a/b");
    nRoot* c = kernel->New("ntestnode", "/c");
    c->AddHead(b);  // taken from its former parent
    EXPECT_EQ(a->GetHead(), nullptr);
    EXPECT_EQ(b->GetFullName(), "/c/b");
    b->AddTail(c);  // c is b's parent: refused
    b->AddTail(b);
    kernel->GetRoot()->AddHead(kernel->GetRoot());
    EXPECT_EQ(c->GetParent(), kernel->GetRoot());
    EXPECT_EQ(b->GetHead(), nullptr);
    b->Remove();
    EXPECT_EQ(b->GetParent(), nullptr);
    EXPECT_EQ(kernel->Lookup("/c/b"), nullptr);
    EXPECT_TRUE(b->Release());  // outside the tree it dies on its own
    EXPECT_EQ(kernel->GetRoot()->GetRelPath(c), "c");
    EXPECT_EQ(c->GetRelPath(kernel->GetRoot()), "..");
    EXPECT_EQ(c->GetRelPath(c), "");
}

TEST_F(KernelTest, ReleasingTheRootLeavesAnEmptyKernel) {
    kernel->New("ntestnode", "/usr/a");
    kernel->SetCwd(kernel->Lookup("/usr/a"));
    EXPECT_TRUE(kernel->GetRoot()->Release());
    EXPECT_EQ(kernel->GetRoot(), nullptr);
    EXPECT_EQ(kernel->GetCwd(), nullptr);
    EXPECT_EQ(kernel->Lookup("a"), nullptr);
    EXPECT_EQ(kernel->New("ntestnode", "/b"), nullptr);
    EXPECT_EQ(nTestNode::liveCount, 0);
}

TEST(KernelHelpersTest, BoundedTextsAndPatterns) {
    char buf[6];
    nKernelServer::StrCopy(buf, "abcdefgh", sizeof(buf));
    EXPECT_STREQ(buf, "abcde");
    nKernelServer::StrCopy(buf, "ab", sizeof(buf));
    nKernelServer::StrCat(buf, "cdefg", sizeof(buf));
    EXPECT_STREQ(buf, "abcde");
    EXPECT_EQ(nKernelServer::StrDup(nullptr), nullptr);

    // Text, pattern and whether they match; "[z-a]" is a range written backwards,
    // an unterminated set is literal.
    const struct {
        const char *text, *pattern;
        bool match;
    } patterns[] = {{"", "", true},       {"a", "", false},           {"", "*", true},         {"abc", "a?c", true},
                    {"ac", "a?c", false}, {"axxbyyc", "a*b*c", true}, {"axxbyy", "a*b*c", false},
                    {"m", "[z-a]", true}, {"M", "[a-z]", false},      {"b", "[abc]", true},
                    {"a*", "a\\*", true}, {"ab", "a\\*", false},      {"x[", "x[", true}};
    for (const auto& p : patterns) EXPECT_EQ(nKernelServer::MatchPattern(p.text, p.pattern), p.match) << p.pattern;
}

TEST(KernelTeardownTest, FreesClassesLeavesFirst) {
    auto* k = new nKernelServer(TestPackage);
    EXPECT_EQ(k->FindClass("ntestplain")->GetRefCount(), 1);  // ntestleaf
    delete k;  // would stop fatally if a base went before its subclass
    EXPECT_EQ(nKernelServer::ks, nullptr);
}

TEST(KernelDeathTest, FatalTexts) {
    EXPECT_EXIT(
        {
            auto* k = new nKernelServer(TestPackage);
            k->OpenClass("ntestleaf");
            delete k;
        },
        ::testing::ExitedWithCode(3),
        "nKernelServer: Refcount errors occured during cleanup, check log for details!");
    nKernelServer k(TestPackage);
    EXPECT_EXIT(k.New("ntestnode", ""), ::testing::ExitedWithCode(3),
                "nKernelServer: Empty name for new object of class 'ntestnode'!");
    EXPECT_EXIT(k.New("nosuchclass", "/x"), ::testing::ExitedWithCode(3),
                "nKernelServer: Couldn't create object '/x' of class 'nosuchclass'.");
}

}  // namespace
