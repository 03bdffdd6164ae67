// Animation nodes and interpolators driven through frames of the scene graph.
#include <cmath>

#include "anim/nAnimNode.h"
#include "anim/nAnimPackage.h"
#include "anim/nIpol.h"
#include "kernel/nCmd.h"
#include "scene/n3DNode.h"
#include "tests/scene/SceneFixture.h"

namespace {

// A visual node with a three-float command named like the transform's and a five-float
// one; it computes itself when attached, as a transform does, and records the calls.
class nFakeTarget : public nVisNode {
public:
    static const nClassInfo classInfo;
    bool Attach(nSceneGraph2* sg) override {
        Compute(sg);
        return nVisNode::Attach(sg);
    }
    void Set3(float a, float b, float c) { v = {a, b, c, 0, 0}; }
    std::vector<float> v;
};
const nCmdDef<nFakeTarget> fakeCmds[] = {
    Bind<&nFakeTarget::Set3>("v_txyz_fff", "TXYZ"),
    {"v_five_fffff", "FIVE",
     [](nFakeTarget* self, nCmd* c) {
         self->v.clear();
         for (int i = 0; i < 5; i++) self->v.push_back(c->In()->GetF());
     }},
};
const nClassInfo nFakeTarget::classInfo = nClassInfo::Make<nFakeTarget>("nfaketarget", "nvisnode", fakeCmds);

class IpolTest : public SceneFixture {
protected:
    void SetUp() override {
        SceneFixture::SetUp();
        nAnimPackage(kernel);
        kernel->AddClass(nFakeTarget::classInfo);
        root = static_cast<n3DNode*>(kernel->New("n3dnode", "/scene"));
        node = static_cast<n3DNode*>(kernel->New("n3dnode", "/scene/obj"));
        ip = static_cast<nIpol*>(kernel->New("nipol", "/scene/obj/ip"));
    }
    void Time(float t, const char* channel = "time") { channels->SetChannel1f(channels->GenChannel(channel), t); }
    // Keys (0, a) and (2, b) on x.
    void TwoKeys(float a = 0.0f, float b = 2.0f) {
        float k0[3] = {a, 0, 0}, k1[3] = {b, 0, 0};
        ip->AddKey(0.0f, k0, 3);
        ip->AddKey(2.0f, k1, 3);
    }
    float X() { return node->GetT().x; }

    n3DNode* root = nullptr;
    n3DNode* node = nullptr;
    nIpol* ip = nullptr;
};

TEST_F(IpolTest, AnimNodeDefaultsAndRepeatNames) {
    ASSERT_TRUE(Run("new('nanimnode', '/a'); sel('/a')"));
    EXPECT_EQ(Eval("getreptype()"), "loop");
    EXPECT_EQ(Eval("getchannel()"), "time");
    ASSERT_TRUE(Run("setreptype('sometimes')"));
    EXPECT_EQ(Eval("getreptype()"), "loop");
    ASSERT_TRUE(Run("setreptype('oneshot')"));
    EXPECT_EQ(Eval("getreptype()"), "oneshot");
    EXPECT_EQ(static_cast<nAnimNode*>(Lookup("/a"))->GetRepTypeValue(), nAnimNode::Oneshot);
}

TEST_F(IpolTest, LoopWrapsAndOneshotEndsOnTheLastKey) {
    ASSERT_TRUE(ip->Connect("txyz"));
    EXPECT_EQ(ip->GetTargetKind(), nIpol::Txyz);
    TwoKeys();
    Time(5.0f);
    Frame(root);
    EXPECT_FLOAT_EQ(X(), 1.0f);
    ip->SetRepType("oneshot");
    Frame(root);
    EXPECT_FLOAT_EQ(X(), 2.0f);
    Time(-3.0f);
    Frame(root);
    EXPECT_FLOAT_EQ(X(), 0.0f);
}

TEST_F(IpolTest, ANewChannelIsReadFromTheNextFrame) {
    ASSERT_TRUE(ip->Connect("tx"));
    TwoKeys();
    Time(0.5f);
    Time(1.5f, "other");
    Frame(root);
    EXPECT_FLOAT_EQ(X(), 0.5f);
    ASSERT_TRUE(Run("sel('/scene/obj/ip'); setchannel('other')"));
    Frame(root);
    EXPECT_FLOAT_EQ(X(), 1.5f);
    EXPECT_EQ(log.text, "");
}

TEST_F(IpolTest, EqualTimesStepAndQuaternionKeys) {
    ASSERT_TRUE(ip->Connect("txyz"));
    float a[3] = {1, 0, 0}, b[3] = {7, 0, 0}, c[3] = {9, 0, 0};
    ip->AddKey(0.0f, a, 3);
    ip->AddKey(1.0f, b, 3);
    ip->AddKey(1.0f, c, 3);
    ip->AddKey(4.0f, c, 3);
    Time(1.0f);
    Frame(root);
    EXPECT_FLOAT_EQ(X(), 9.0f);  // equal times: the later key
    ip->SetIpolType("step");
    Time(0.9f);
    Frame(root);
    EXPECT_FLOAT_EQ(X(), 1.0f);
    EXPECT_EQ(ip->GetIpolType(), std::string("step"));

    nIpol* q = static_cast<nIpol*>(kernel->New("nipol", "/scene/obj/q"));
    q->SetIpolType("quaternion");
    float q0[4] = {0, 0, 0, 1}, q1[4] = {0, 1, 0, 0};
    q->AddKey(0.0f, q0, 4);
    q->AddKey(2.0f, q1, 4);
    Time(1.0f);
    Frame(root);
    EXPECT_NEAR(q->GetValue()[1], std::sqrt(0.5f), 1e-5f);
    EXPECT_NEAR(q->GetValue()[3], std::sqrt(0.5f), 1e-5f);
}

TEST_F(IpolTest, TransformTargetsAreWrittenDirectlyOthersThroughTheirCommand) {
    ASSERT_TRUE(Run("sel('/scene/obj/ip'); connect('rxyz'); addkey3f(0, 0, 0, 0); addkey3f(2, 0, 180, 0)"));
    EXPECT_EQ(ip->GetTargetKind(), nIpol::Rxyz);
    EXPECT_EQ(Eval("getconnect()"), "rxyz");
    Time(1.0f);
    Frame(root);
    EXPECT_NEAR(node->GetR().y, 90.0f, 1e-3f);

    // The same name on another class is an ordinary command.
    auto* fake = static_cast<nFakeTarget*>(kernel->New("nfaketarget", "/scene/fake"));
    auto* ip2 = static_cast<nIpol*>(kernel->New("nipol", "/scene/fake/ip"));
    float k0[4] = {0, 1, 2, 3}, k1[4] = {2, 3, 4, 5};
    ip2->AddKey(0.0f, k0, 4);
    ip2->AddKey(2.0f, k1, 4);
    ASSERT_TRUE(ip2->Connect("txyz"));
    EXPECT_EQ(ip2->GetTargetKind(), nIpol::ByCommand);
    Frame(root);
    EXPECT_EQ(fake->v, (std::vector<float>{1, 2, 3, 0, 0}));
    // Five float inputs: the first four get the value, the fifth 0.
    ASSERT_TRUE(ip2->Connect("five"));
    Frame(root);
    EXPECT_EQ(fake->v, (std::vector<float>{1, 2, 3, 4, 0}));
    // Another float command of the transform goes through the command too.
    ASSERT_TRUE(ip->Connect("setfinishedafter"));
    EXPECT_EQ(ip->GetTargetKind(), nIpol::ByCommand);
    Frame(root);
    EXPECT_FLOAT_EQ(node->GetFinishedAfter(), 0.0f + 0.0f);
    EXPECT_EQ(log.text, "");
}

TEST_F(IpolTest, BadConnectsAndNamesAreLoggedAndChangeNothing) {
    ASSERT_TRUE(ip->Connect("tx"));
    EXPECT_FALSE(ip->Connect("nosuchcommand"));
    EXPECT_FALSE(ip->Connect("setname"));  // a text input
    EXPECT_EQ(std::string(ip->GetConnect()), "tx");
    ip->SetIpolType("cubic");
    EXPECT_EQ(std::string(ip->GetIpolType()), "linear");
    EXPECT_TRUE(LogHas("nosuchcommand"));
    EXPECT_TRUE(LogHas("cubic"));
    // A first key after 0 is logged once; the first key holds until its time.
    log.text.clear();
    ASSERT_TRUE(ip->Connect("tx"));
    float a[1] = {3}, b[1] = {5};
    ip->AddKey(1.0f, a, 1);
    ip->AddKey(2.0f, b, 1);
    ip->SetRepType("oneshot");
    Time(0.0f);
    Frame(root);
    Frame(root);
    EXPECT_FLOAT_EQ(X(), 3.0f);
    EXPECT_EQ(std::count(log.text.begin(), log.text.end(), '\n'), 1) << log.text;
}

TEST_F(IpolTest, BeginKeysMakesAFixedTableThatSetKeyGrows) {
    ASSERT_TRUE(Run("sel('/scene/obj/ip'); beginkeys(3, 2); setkey2f(0, 0, 1, 2); setkey2f(1, 1, 3, 4); "
                    "setkey2f(2, 2, 5, 6); endkeys()"));
    EXPECT_EQ(Eval("select(1, getkeyinfo())"), "3");
    EXPECT_EQ(Eval("select(2, getkeyinfo())"), "2");
    EXPECT_EQ(Eval("select(3, getkey2f(1))"), "4.0");
    ASSERT_TRUE(Run("setkey1f(5, 9, 1)"));
    EXPECT_EQ(ip->GetNumKeys(), 6);
    EXPECT_EQ(ip->GetKeySize(), 2);
    EXPECT_EQ(ip->GetKey(5)->size, 1);
    EXPECT_FLOAT_EQ(ip->GetKey(3)->time, 0.0f);
    ASSERT_TRUE(Run("setkey1f(-1, 0, 0); beginkeys(-2, 1)"));
    EXPECT_EQ(ip->GetNumKeys(), 6);
    EXPECT_TRUE(LogHas("setkey"));
    EXPECT_EQ(ip->GetInstanceSize(), kernel->FindClass("nipol")->GetInstanceSize() + 6 * 24);
}

}  // namespace
