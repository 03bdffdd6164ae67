#include <algorithm>
#include <string>
#include <vector>

#include "scene/n3DNode.h"
#include "scene/nChannelSet.h"
#include "scene/nLinkNode.h"
#include "tests/scene/SceneFixture.h"

namespace {

class LinkNodeTest : public SceneFixture {
protected:
    n3DNode* New3D(const char* path, float x, float y, float z) {
        auto* t = static_cast<n3DNode*>(kernel->New("n3dnode", path));
        t->Txyz(x, y, z);
        return t;
    }
    nLinkNode* Link(const char* path, const char* target) {
        auto* l = static_cast<nLinkNode*>(kernel->New("nlinknode", path));
        l->SetTarget(target);
        return l;
    }
    // The translations the frame set for drawing, in order.
    std::vector<std::string> Matrices() {
        std::vector<std::string> out;
        for (const std::string& e : sceneEvents) {
            if (e.rfind("matrix ", 0) == 0) out.push_back(e.substr(7));
        }
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(LinkNodeTest, ALinkShowsItsTargetAtASecondPlace) {
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    New3D("/root/a", 1, 0, 0);
    Node("/root/a/m", nTestVisNode::Mesh);
    New3D("/root/b", 0, 5, 0);
    nLinkNode* link = Link("/root/b/link", "/root/a");
    // Children of a link are no part of the frame.
    nTestVisNode* child = Node("/root/b/link/child", nTestVisNode::Mesh);
    Frame(root);
    EXPECT_EQ(Computes(), (std::vector<std::string>{"m", "m"}));
    EXPECT_EQ(Matrices(), (std::vector<std::string>{"1 0 0", "1 5 0"}));
    EXPECT_STREQ(link->GetTarget(), "/root/a");
    // Preload reaches the target and the link's own children.
    auto* m = static_cast<nTestVisNode*>(Lookup("/root/a/m"));
    link->Preload();
    EXPECT_EQ(m->preloads, 1);
    EXPECT_EQ(child->preloads, 1);

    // A target that does not exist attaches nothing and reports success; a target
    // that is no visual node as well, logged once.
    sceneEvents.clear();
    link->SetTarget("/root/nothing");
    nSceneNodeRecord* top = nullptr;
    gfx->BeginScene();
    sg->BeginScene(matrix44());
    top = sg->GetCurrentNode();
    EXPECT_TRUE(link->Attach(sg));
    kernel->New("nenv", "/root/value");
    link->SetTarget("/root/value");
    EXPECT_TRUE(link->Attach(sg));
    EXPECT_TRUE(link->Attach(sg));
    EXPECT_EQ(top->meshNode, nullptr);
    sg->EndScene(false);
    gfx->EndScene();
    EXPECT_EQ(sg->GetNodeCount(), 1);
    EXPECT_TRUE(LogHas("link target '/root/value' is no visual node"));
    EXPECT_EQ(log.text.find("no visual node"), log.text.rfind("no visual node"));
}

TEST_F(LinkNodeTest, ChangingTheTargetCollectsChannelsAgain) {
    nTestVisNode* root = Node("/root", nTestVisNode::Group);
    nTestVisNode* holder = Node("/root/holder", nTestVisNode::Group);
    nLinkNode* link = Link("/root/holder/link", "");
    nTestVisNode* other = Node("/other", nTestVisNode::Group);
    nTestVisNode* reader = Node("/other/reader", nTestVisNode::Mesh);
    reader->channels = {"time"};
    nChannelSet* set = root->GetChannelSet();
    other->GetChannelSet();
    EXPECT_EQ(set->GetNumChannels(), 0);
    EXPECT_FALSE(root->ChannelsChanged());
    EXPECT_FALSE(other->ChannelsChanged());
    link->SetTarget("/other");
    // Both sides: the link's ancestors and the target's.
    EXPECT_TRUE(root->ChannelsChanged());
    EXPECT_TRUE(other->ChannelsChanged());
    EXPECT_EQ(root->GetChannelSet()->GetNumChannels(), 1);
    // The link never asks for a collection of its own.
    EXPECT_FALSE(link->ChannelsChanged());
    (void)holder;
}

TEST_F(LinkNodeTest, ALinkToItsOwnAncestorIsCut) {
    n3DNode* t = New3D("/t", 0, 0, 1);
    Node("/t/m", nTestVisNode::Mesh);
    nLinkNode* link = Link("/t/link", "/t");
    // The link below its own target: the target appears once more, then the cycle is cut.
    Frame(t);
    EXPECT_EQ(Computes(), (std::vector<std::string>{"m", "m"}));
    link->Preload();
    EXPECT_EQ(static_cast<nTestVisNode*>(Lookup("/t/m"))->preloads, 1);
    t->GetChannelSet();
    EXPECT_FALSE(link->ChannelsChanged());
    // Two links pointing at each other.
    Link("/a", "/b");
    nLinkNode* b = Link("/b", "/a");
    gfx->BeginScene();
    sg->BeginScene(matrix44());
    EXPECT_TRUE(b->Attach(sg));
    sg->EndScene(false);
    b->Preload();
    b->ChannelsChanged();
}

TEST_F(LinkNodeTest, SavedLinksLoadBack) {
    nLinkNode* link = Link("/link", "/scene/cube");
    ASSERT_TRUE(link->SaveAs(Path("link").c_str()));
    EXPECT_NE(Slurp(Path("link.n")).find("settarget( \"/scene/cube\" )"), std::string::npos) << Slurp(Path("link.n"));
    link->Release();
    kernel->SetCwd(nullptr);
    auto* back = static_cast<nLinkNode*>(kernel->Load(Path("link.n").c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->GetTarget(), "/scene/cube");
}

}  // namespace
