#include <cmath>
#include <string>

#include "scene/nChannelSet.h"
#include "tests/scene/SceneFixture.h"

namespace {

using VisNodeTest = SceneFixture;

TEST_F(VisNodeTest, NotifyParentsStopsAtAPlainRoot) {
    nTestVisNode* top = Node("/top", nTestVisNode::Group);
    kernel->New("nroot", "/top/plain");
    nTestVisNode* mid = Node("/top/plain/mid", nTestVisNode::Group);
    nTestVisNode* leaf = Node("/top/plain/mid/leaf", nTestVisNode::Group);
    top->GetChannelSet();
    mid->GetChannelSet();
    EXPECT_FALSE(top->ChannelsChanged());
    EXPECT_FALSE(mid->ChannelsChanged());
    leaf->NotifyParents();
    EXPECT_TRUE(mid->ChannelsChanged());
    EXPECT_FALSE(top->ChannelsChanged());
    // Linking a new node into the tree notifies its ancestors the same way.
    mid->GetChannelSet();
    Node("/top/plain/mid/leaf/new", nTestVisNode::Group);
    EXPECT_TRUE(mid->ChannelsChanged());
    EXPECT_FALSE(top->ChannelsChanged());
}

TEST_F(VisNodeTest, RecursiveOperationsSkipChildrenThatAreNoVisualNodes) {
    nTestVisNode* top = Node("/top", nTestVisNode::Group);
    nTestVisNode* direct = Node("/top/direct", nTestVisNode::Mesh);
    kernel->New("nenv", "/top/env");
    kernel->New("nroot", "/top/plain");
    nTestVisNode* hidden = Node("/top/plain/hidden", nTestVisNode::Mesh);
    direct->channels = {"time"};
    hidden->channels = {"lod"};
    nChannelSet* set = top->GetChannelSet();
    EXPECT_EQ(set->GetNumChannels(), 1);
    top->Preload();
    top->AddRenderContext(3);
    EXPECT_EQ(direct->preloads, 1);
    EXPECT_EQ(hidden->preloads, 0);
    EXPECT_EQ(direct->contextsAdded, 1);
    EXPECT_EQ(hidden->contextsAdded, 0);
    // Attach as well: a plain child is skipped instead of being called as a visual node.
    Frame(top);
    EXPECT_EQ(Computes(), std::vector<std::string>{"direct"});
}

TEST_F(VisNodeTest, ChannelSetIsCollectedOnceUntilSomethingChanges) {
    nTestVisNode* top = Node("/top", nTestVisNode::Group);
    nTestVisNode* a = Node("/top/a", nTestVisNode::Mesh);
    a->channels = {"time", "lod"};
    nChannelSet* set = top->GetChannelSet();
    EXPECT_EQ(set->GetNumChannels(), 2);
    EXPECT_EQ(top->GetChannelSet(), set);
    EXPECT_EQ(a->collects, 1);
    // A new reader below: its ancestors collect again, into the same set.
    nTestVisNode* b = Node("/top/b", nTestVisNode::Mesh);
    b->channels = {"lod", "frametime"};
    EXPECT_EQ(top->GetChannelSet(), set);
    EXPECT_EQ(a->collects, 2);
    EXPECT_EQ(set->GetNumChannels(), 3);
}

TEST_F(VisNodeTest, DependListComputesWithItsOwner) {
    nTestVisNode* owner = Node("/owner", nTestVisNode::Other);
    nTestVisNode* d1 = Node("/d1", nTestVisNode::Group);
    nTestVisNode* d2 = Node("/d2", nTestVisNode::Group);
    d1->AddDepend(owner);
    d2->AddDepend(owner);
    Frame(owner);
    EXPECT_EQ(Computes(), (std::vector<std::string>{"d1", "d2", "owner"}));
    // A dying depend leaves the list; a dying owner leaves its depends unlinked.
    d1->Release();
    sceneEvents.clear();
    Frame(owner);
    EXPECT_EQ(Computes(), (std::vector<std::string>{"d2", "owner"}));
    owner->Release();
    d2->Release();
}

TEST_F(VisNodeTest, FinishedAfterIsSavedOnlyAboveZero) {
    nTestVisNode* n = Node("/n", nTestVisNode::Group);
    auto saved = [&](float t) {
        n->SetFinishedAfter(t);
        EXPECT_TRUE(n->SaveAs(Path("n").c_str()));
        return Slurp(Path("n.n"));
    };
    EXPECT_EQ(saved(0.0f).find("setfinishedafter"), std::string::npos);
    EXPECT_EQ(saved(-1.0f).find("setfinishedafter"), std::string::npos);
    EXPECT_EQ(saved(std::nanf("")).find("setfinishedafter"), std::string::npos);
    std::string text = saved(0.5f);
    size_t at = text.find("setfinishedafter");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(text.find("setfinishedafter", at + 1), std::string::npos);
    // And it loads back through the script commands.
    ASSERT_TRUE(Run("sel('/n')\nsetfinishedafter(2.25)\nt = getfinishedafter()\n"));
    EXPECT_EQ(Global("t"), "2.25");
}

TEST_F(VisNodeTest, ScriptMoveNotifiesTheNewParents) {
    nTestVisNode* oldTop = Node("/old", nTestVisNode::Group);
    nTestVisNode* newTop = Node("/new", nTestVisNode::Group);
    nTestVisNode* reader = Node("/old/reader", nTestVisNode::Mesh);
    reader->channels = {"time"};
    EXPECT_EQ(oldTop->GetChannelSet()->GetNumChannels(), 1);
    EXPECT_EQ(newTop->GetChannelSet()->GetNumChannels(), 0);
    ASSERT_TRUE(Run("move('/old/reader', '/new')"));
    EXPECT_EQ(newTop->GetChannelSet()->GetNumChannels(), 1);
    // Moving a plain object does nothing more than move it.
    kernel->New("nroot", "/plain");
    ASSERT_TRUE(Run("move('/plain', '/new')"));
    EXPECT_NE(Lookup("/new/plain"), nullptr);
}

}  // namespace
