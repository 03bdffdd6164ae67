// Channel splitters, threshold nodes and flip-flops: what they write and which of their
// children they attach, frame by frame.
#include "anim/nAnimPackage.h"
#include "anim/nChnSplitter.h"
#include "anim/nFlipFlop.h"
#include "anim/nThreshNode.h"
#include "scene/n3DNode.h"
#include "tests/scene/SceneFixture.h"

namespace {

class SwitchNodeTest : public SceneFixture {
protected:
    void SetUp() override {
        SceneFixture::SetUp();
        nAnimPackage(kernel);
        root = static_cast<n3DNode*>(kernel->New("n3dnode", "/scene"));
    }
    void Set(const char* channel, float v) { channels->SetChannel1f(channels->GenChannel(channel), v); }
    // A child that reads `channels` when it is attached.
    nTestVisNode* Reader(const char* path, std::vector<std::string> names = {"time"}) {
        nTestVisNode* n = Node(path, nTestVisNode::Group);
        n->channels = std::move(names);
        return n;
    }
    // Whether the test node at `path` was attached in the last frame.
    bool Attached(const char* path) { return !static_cast<nTestVisNode*>(Lookup(path))->read.empty(); }
    void Clear(std::initializer_list<const char*> paths) {
        for (const char* p : paths) static_cast<nTestVisNode*>(Lookup(p))->read.clear();
    }

    n3DNode* root = nullptr;
};

TEST_F(SwitchNodeTest, SplitterCrossFadesNeighbouringKeysInTheContext) {
    ASSERT_TRUE(Run("sel('/scene'); new('nchnsplitter', 'sp'); sel('sp'); beginkeys(2); setkey(0, 0, 'c0'); "
                    "setkey(1, 1, 'c1'); setkey(2, 9, 'x'); endkeys(); addkey(2, 'c2')"));
    EXPECT_TRUE(LogHas("key 2 of 2"));
    EXPECT_EQ(Eval("getkeyinfo()"), "3");
    EXPECT_EQ(Eval("select(1, getkey(2)) .. select(2, getkey(2))"), "2.0c2");
    const struct {
        const char* repType;
        float time;
        float c0, c1, c2;
    } cases[] = {
        {"loop", 1.5f, 0, 0.5f, 0.5f},
        {"loop", 2.5f, 0.5f, 0.5f, 0},
        {"oneshot", 5.0f, 0, 0, 1},
        {"oneshot", -1.0f, 1, 0, 0},
    };
    for (int pass = 0; pass < 2; pass++) {
        nTestVisNode* child = Reader("/scene/sp/child", {"c0", "c1", "c2"});
        for (const auto& c : cases) {
            static_cast<nChnSplitter*>(Lookup("/scene/sp"))->SetRepType(c.repType);
            Set("time", c.time);
            Set("c1", 7.0f);
            Frame(root);
            ASSERT_EQ(child->read.size(), 3u);
            EXPECT_NEAR(child->read[0], c.c0, 1e-4f) << c.time;
            EXPECT_NEAR(child->read[1], c.c1, 1e-4f) << c.time;
            EXPECT_NEAR(child->read[2], c.c2, 1e-4f) << c.time;
            EXPECT_FLOAT_EQ(channels->GetChannel1f(channels->GenChannel("c1")), 7.0f);
        }
        if (pass == 0) {
            child->Release();
            ASSERT_NE(Reload("/scene/sp"), nullptr);
        }
    }
    EXPECT_EQ(log.text.find("key 2 of 2", log.text.find("key 2 of 2") + 1), std::string::npos);
}

TEST_F(SwitchNodeTest, SplitterWithOneKeyOrAnEarlyFirstKeyStillWeighs) {
    auto* sp = static_cast<nChnSplitter*>(kernel->New("nchnsplitter", "/scene/sp"));
    sp->AddKey(3.0f, "only");
    Set("time", 0.2f);
    Frame(root);
    EXPECT_FLOAT_EQ(sp->GetWeight(0), 1.0f);
    // A first key before 0 is reported once; the time is held inside the keys.
    sp->BeginKeys(2);
    sp->SetKey(0, -1.0f, "a");
    sp->SetKey(1, 1.0f, "b");
    Frame(root);
    Frame(root);
    EXPECT_FLOAT_EQ(sp->GetWeight(0), 0.4f);
    EXPECT_FLOAT_EQ(sp->GetWeight(1), 0.6f);
    EXPECT_EQ(log.text.find("before 0"), log.text.rfind("before 0"));
    EXPECT_NE(log.text.find("before 0"), std::string::npos);
}

TEST_F(SwitchNodeTest, ThresholdAttachesOnlyInsideItsHalfOpenRange) {
    ASSERT_TRUE(Run("sel('/scene'); new('nthreshnode', 'th'); sel('th'); setchannel('level')"));
    EXPECT_EQ(Eval("getlowerbound() .. ',' .. getupperbound()"), "0.0,1.0");
    for (int pass = 0; pass < 2; pass++) {
        Reader("/scene/th/child");
        for (float v : {0.0f, 0.999f, 1.0f, -0.1f}) {
            Set("level", v);
            Clear({"/scene/th/child"});
            Frame(root);
            EXPECT_EQ(Attached("/scene/th/child"), v >= 0.0f && v < 1.0f) << v;
        }
        ASSERT_TRUE(Run("sel('/scene/th'); setlowerbound(2); setupperbound(3)"));
        Set("level", 2.5f);
        Frame(root);
        EXPECT_TRUE(Attached("/scene/th/child"));
        ASSERT_TRUE(Run("setlowerbound(0); setupperbound(1)"));
        Lookup("/scene/th/child")->Release();
        if (pass == 0) {
            ASSERT_NE(Reload("/scene/th"), nullptr);
        }
    }
    EXPECT_EQ(log.text, "");
}

TEST_F(SwitchNodeTest, FlipFlopAttachesTheNodeOfTheSelectedKey) {
    ASSERT_TRUE(Run("sel('/scene'); new('nflipflop', 'ff')"));
    for (const char* n : {"a", "b", "c"}) Reader((std::string("/scene/ff/") + n).c_str());
    ASSERT_TRUE(Run("sel('/scene/ff'); __k = {addkey(0, 'a'), addkey(1, 'b'), addkey(2, 'c'), addkey(3, 'zz')}"));
    EXPECT_EQ(Eval("#__k"), "3");
    const struct {
        const char* repType;
        float time;
        const char* shown;
    } cases[] = {
        {"loop", 0.0f, "a"}, {"loop", 0.5f, "b"}, {"loop", 1.0f, "b"}, {"loop", 2.5f, "b"},
        {"loop", 2.0f, "a"}, {"oneshot", 5.0f, "c"}, {"oneshot", 2.0f, "c"}, {"oneshot", -4.0f, "a"},
    };
    for (int pass = 0; pass < 2; pass++) {
        for (const auto& c : cases) {
            static_cast<nFlipFlop*>(Lookup("/scene/ff"))->SetRepType(c.repType);
            Set("time", c.time);
            Clear({"/scene/ff/a", "/scene/ff/b", "/scene/ff/c"});
            Frame(root);
            for (const char* n : {"a", "b", "c"}) {
                EXPECT_EQ(Attached((std::string("/scene/ff/") + n).c_str()), std::string(n) == c.shown)
                    << c.repType << " " << c.time << " " << n;
            }
        }
        if (pass == 0) {
            ASSERT_NE(Reload("/scene/ff"), nullptr);
            for (const char* n : {"a", "b", "c"})
                static_cast<nTestVisNode*>(Lookup((std::string("/scene/ff/") + n).c_str()))->channels = {"time"};
        }
    }
}

TEST_F(SwitchNodeTest, FlipFlopKeysOnItselfAndItsParentAttachNothingTwice) {
    kernel->New("n3dnode", "/scene/g");
    auto* ff = static_cast<nFlipFlop*>(kernel->New("nflipflop", "/scene/g/ff"));
    nTestVisNode* a = Reader("/scene/g/ff/a");
    // Fewer than two keys select nothing.
    EXPECT_TRUE(ff->AddKey(0.0f, "a"));
    Frame(root);
    EXPECT_TRUE(a->read.empty());
    EXPECT_TRUE(ff->AddKey(1.0f, "."));
    EXPECT_TRUE(ff->AddKey(2.0f, ".."));
    EXPECT_EQ(ff->Select(0.5f), ff);
    EXPECT_EQ(ff->Select(1.5f), Lookup("/scene/g"));
    // The parent attaches the flip-flop again, which stops there; nothing loops.
    for (float t : {0.5f, 1.5f, 0.0f}) {
        Set("time", t);
        Frame(root);
    }
    EXPECT_FALSE(a->read.empty());
    // A flip-flop in its parent's depend list computes its selected node when that node
    // is in its own depend list, and attaches it afterwards all the same.
    a->AddDepend(ff);
    sceneEvents.clear();
    a->read.clear();
    Frame(root);
    EXPECT_EQ(Computes(), std::vector<std::string>{"a"});
    EXPECT_FALSE(a->read.empty());
    // Saved with "." and "..", loaded back to the same nodes.
    auto* back = static_cast<nFlipFlop*>(Reload("/scene/g/ff"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetNumKeys(), 3);
    EXPECT_EQ(back->Select(0.5f), back);
    EXPECT_EQ(back->Select(1.5f), Lookup("/scene/g"));
    // A first key after 0 is reported once and held until its time.
    auto* late = static_cast<nFlipFlop*>(kernel->New("nflipflop", "/scene/late"));
    Reader("/scene/late/x");
    late->AddKey(1.0f, "x");
    late->AddKey(2.0f, ".");
    Set("time", 0.2f);
    Frame(root);
    Frame(root);
    EXPECT_TRUE(Attached("/scene/late/x"));
    EXPECT_EQ(log.text.find("not at 0"), log.text.rfind("not at 0"));
}

}  // namespace
