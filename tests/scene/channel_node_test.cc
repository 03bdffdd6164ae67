// Channel readers and modulators, mixers, weight trees and the hyper mixer, driven
// through frames of the scene graph and through scripts.
#include <cmath>

#include "kernel/nCmd.h"
#include "kernel/nTimeServer.h"
#include "scene/n3DNode.h"
#include "scene/nChnModulator.h"
#include "scene/nChnReader.h"
#include "scene/nHyperMixer2.h"
#include "scene/nMixer.h"
#include "scene/nWeightTree.h"
#include "tests/scene/SceneFixture.h"

namespace {

// A visual node that computes itself when attached (as a transform does), takes two,
// three and five floats, and answers a position getter named like the transform's;
// every getter call and Compute is counted.
class nProbe : public nVisNode {
public:
    static const nClassInfo classInfo;
    bool Attach(nSceneGraph2* sg) override {
        Compute(sg);
        return nVisNode::Attach(sg);
    }
    void Compute(nSceneGraph2* sg) override {
        computes++;
        nVisNode::Compute(sg);
    }
    void Set2(float a, float b) {
        got = {a, b};
        origins.push_back(nScriptServer::CurrentOrigin());
    }
    void SetPos(float x, float y, float z) {
        pos[0] = x;
        pos[1] = y;
        pos[2] = z;
    }
    void Poke() { pokes++; }
    std::vector<float> got;
    float pos[3] = {};
    int gets = 0;
    int computes = 0;
    int pokes = 0;
    // The origin of each set2 and gett call.
    std::vector<nScriptServer::Origin> origins;
};
const nCmdDef<nProbe> probeCmds[] = {
    Bind<&nProbe::Set2>("v_set2_ff", "SET2"),
    Bind<&nProbe::SetPos>("v_setpos_fff", "SPOS"),
    Bind<&nProbe::Poke>("v_poke_v", "POKE"),
    {"v_five_fffff", "FIVE", [](nProbe*, nCmd* c) {
         for (int i = 0; i < 5; i++) (void)c->In()->GetF();
     }},
    {"fff_gett_v", "GETT",
     [](nProbe* self, nCmd* c) {
         self->gets++;
         self->origins.push_back(nScriptServer::CurrentOrigin());
         for (float v : self->pos) c->Out()->SetF(v);
     }},
};
const nClassInfo nProbe::classInfo = nClassInfo::Make<nProbe>("nprobe", "nvisnode", probeCmds);

class ChannelNodeTest : public SceneFixture {
protected:
    void SetUp() override {
        SceneFixture::SetUp();
        kernel->AddClass(nProbe::classInfo);
        root = static_cast<n3DNode*>(kernel->New("n3dnode", "/scene"));
    }
    void Set(const char* channel, float v) { channels->SetChannel1f(channels->GenChannel(channel), v); }
    float Global(const char* channel) { return channels->GetChannel1f(channels->GenChannel(channel)); }
    nProbe* Probe(const char* path, float x = 0, float y = 0, float z = 0) {
        auto* p = static_cast<nProbe*>(kernel->New("nprobe", path));
        p->SetPos(x, y, z);
        return p;
    }
    void ExpectT(const char* path, float x, float y, float z) {
        vector3 t = static_cast<n3DNode*>(Lookup(path))->GetT();
        EXPECT_NEAR(t.x, x, 1e-5f);
        EXPECT_NEAR(t.y, y, 1e-5f);
        EXPECT_NEAR(t.z, z, 1e-5f);
    }
    // Every part must appear in the log exactly once.
    void ExpectLoggedOnce(std::initializer_list<const char*> parts) {
        for (const char* what : parts) {
            size_t first = log.text.find(what);
            EXPECT_NE(first, std::string::npos) << what;
            EXPECT_EQ(log.text.find(what, first + 1), std::string::npos) << what << " logged twice";
        }
    }

    n3DNode* root = nullptr;
};

TEST_F(ChannelNodeTest, ReaderFeedsChannelValuesIntoFloatCommandsOfItsParent) {
    nProbe* p = Probe("/scene/p");
    ASSERT_TRUE(Run("sel('/scene/p'); new('nchnreader', 'r'); sel('r'); beginconnects(4); "
                    "setconnect(0, 'set2', 'pos'); setconnect(1, 'nosuch', 'pos'); setconnect(2, 'setname', 'pos'); "
                    "setconnect(3, 'five', 'pos'); setconnect(4, 'set2', 'pos'); beginconnects(-1); endconnects()"));
    ExpectLoggedOnce({"connect 4 of 4", "'nosuch'", "v_setname_s", "v_five_fffff", "-1 connects"});
    channels->SetChannel4f(channels->GenChannel("pos"), 1, 2, 3, 4);
    Frame(root);
    EXPECT_EQ(p->got, (std::vector<float>{1, 2}));
    // A reload reads the same; a renamed channel is collected again at once.
    ASSERT_NE(Reload("/scene/p/r"), nullptr);
    p->got.clear();
    Frame(root);
    EXPECT_EQ(p->got, (std::vector<float>{1, 2}));
    ASSERT_TRUE(Run("sel('/scene/p/r'); setconnect(0, 'set2', 'other'); endconnects()"));
    channels->SetChannel2f(channels->GenChannel("other"), 7, 8);
    Frame(root);
    EXPECT_EQ(p->got, (std::vector<float>{7, 8}));
}

TEST_F(ChannelNodeTest, ModulatorMultipliesInTheContextAndLeavesTheGlobalValue) {
    ASSERT_TRUE(Run("sel('/scene'); new('nchnmodulator', 'm'); sel('m'); beginchannels(1); "
                    "setchannel(0, 'a', 'b'); setchannel(3, 'x', 'y'); endchannels()"));
    EXPECT_TRUE(LogHas("entry 3 of 1"));
    EXPECT_EQ(Eval("getnumchannels()"), "1");
    EXPECT_EQ(Eval("select(1, getchannel(0)) .. ',' .. select(2, getchannel(0)) .. '|' .. select(1, getchannel(5)) .. ',' .. "
                   "select(2, getchannel(5))"), "a,b|,");
    // The child attaches after the modulator has computed, so it reads the product.
    nTestVisNode* child = Node("/scene/m/child", nTestVisNode::Group);
    child->channels = {"a"};
    for (int pass = 0; pass < 2; pass++) {
        Set("a", 0.5f);
        Set("b", 0.5f);
        Frame(root);
        ASSERT_EQ(child->read.size(), 1u);
        EXPECT_FLOAT_EQ(child->read[0], 0.25f);
        EXPECT_FLOAT_EQ(Global("a"), 0.5f);
        auto* m = static_cast<nChnModulator*>(Lookup("/scene/m"));
        EXPECT_FLOAT_EQ(m->GetLastA(0), 0.5f);
        EXPECT_FLOAT_EQ(m->GetLastB(0), 0.5f);
        if (pass == 0) {
            ASSERT_NE(Reload("/scene/m"), nullptr);
        }
        child = static_cast<nTestVisNode*>(Lookup("/scene/m/child"));
        child->channels = {"a"};
    }
}

TEST_F(ChannelNodeTest, MixerNormalisesWeightsAndAsksOnlyWeightedSourcesOfTheirOwnClass) {
    kernel->New("n3dnode", "/scene/obj");
    // Source 0 is a probe, source 1 a transform: each answers "gett" with its own handler.
    ASSERT_TRUE(Run("sel('/scene/obj'); new('nmixer', 'mix'); sel('mix'); new('n3dnode', 'b'); "
                    "sel('b'); txyz(0, 4, 0); sel('..'); beginsources(2); setsource(0, 'a', 'wa'); "
                    "setsource(1, 'b', 'wb'); endsources(); beginconnects(1); setconnect(0, 'txyz', 'gett'); "
                    "endconnects()"));
    nProbe* a = Probe("/scene/obj/mix/a", 4, 0, 0);
    auto* mix = static_cast<nMixer*>(Lookup("/scene/obj/mix"));
    Set("wa", 1.0f);
    Set("wb", 3.0f);
    Frame(root);
    EXPECT_FLOAT_EQ(mix->GetWeight(0), 0.25f);
    EXPECT_FLOAT_EQ(mix->GetWeight(1), 0.75f);
    ExpectT("/scene/obj", 1, 3, 0);
    mix->SetNormalize(false);
    Frame(root);
    ExpectT("/scene/obj", 4, 12, 0);
    mix->SetNormalize(true);
    // A sum within 1e-7 of 1 is left as it is.
    const float almost = std::nextafter(0.75f, 0.0f);
    Set("wa", 0.25f);
    Set("wb", almost);
    Frame(root);
    EXPECT_EQ(mix->GetWeight(1), almost);
    // A source without weight is not asked; with no weight at all the target gets zeros.
    a->gets = 0;
    Set("wa", 0.0f);
    Set("wb", 1.0f);
    Frame(root);
    EXPECT_EQ(a->gets, 0);
    ExpectT("/scene/obj", 0, 4, 0);
    Set("wb", -1.0f);
    Frame(root);
    EXPECT_EQ(a->gets, 0);
    ExpectT("/scene/obj", 0, 0, 0);
    // Saved and loaded back (sources, connects and the flag), it mixes the same.
    mix->SetNormalize(false);
    Set("wa", 1.0f);
    Set("wb", 3.0f);
    ASSERT_NE(Reload("/scene/obj/mix"), nullptr);
    static_cast<nProbe*>(Lookup("/scene/obj/mix/a"))->SetPos(4, 0, 0);
    Frame(root);
    ExpectT("/scene/obj", 4, 12, 0);
    EXPECT_EQ(log.text, "");
}

TEST_F(ChannelNodeTest, MixerRefusesWhatItsTablesAndAccumulatorCannotHold) {
    Probe("/scene/p");
    ASSERT_TRUE(Run("sel('/scene/p'); new('nmixer', 'mix'); sel('mix'); beginsources(17); "
                    "setsource(16, 'a', 'w'); beginconnects(9); setconnect(8, 'set2', 'gett'); "
                    "beginsources(1); setsource(0, 'a', 'w'); beginconnects(5); setconnect(0, 'five', 'gett'); "
                    "setconnect(1, 'setname', 'gett'); setconnect(2, 'nosuch', 'gett'); "
                    "setconnect(3, 'set2', 'getname'); setconnect(4, 'set2', 'gett'); endconnects()"));
    ExpectLoggedOnce({"17 sources", "source 16", "9 connects", "connect 8"});
    log.text.clear();
    Set("w", 1.0f);
    Frame(root);
    EXPECT_TRUE(LogHas("source 'a' not found"));
    Probe("/scene/p/mix/a", 5, 6, 7);
    Frame(root);
    Frame(root);
    // Each broken connect is dropped with one line; the good one still drives.
    ExpectLoggedOnce({"v_five_fffff", "v_setname_s", "'nosuch'", "getter 'getname'"});
    EXPECT_EQ(static_cast<nProbe*>(Lookup("/scene/p"))->got, (std::vector<float>{5, 6}));
}

TEST_F(ChannelNodeTest, WeightTreeBalancesIntoTheContextAsTheNodesAllow) {
    ASSERT_TRUE(Run("sel('/scene'); new('nweighttree', 'wt'); sel('wt')"));
    EXPECT_EQ(Eval("addleaf('a')"), "1");
    EXPECT_EQ(Eval("addleaf('b')"), "1");
    EXPECT_EQ(Eval("addnode('n', 'a', 'b')"), "1");
    EXPECT_EQ(Eval("addleaf('a')"), "nil");
    EXPECT_EQ(Eval("addnode('m', 'a', 'zz')"), "nil");
    // A leaf after a node owns no channel and is never balanced as a node.
    EXPECT_EQ(Eval("addleaf('late')"), "1");
    nTestVisNode* child = Node("/scene/wt/child", nTestVisNode::Group);
    for (int pass = 0; pass < 2; pass++) {
        child->channels = {"a", "b", "late"};
        Set("a", 0.7f);
        Set("b", 0.6f);
        Set("late", 0.9f);
        Frame(root);
        auto* wt = static_cast<nWeightTree*>(Lookup("/scene/wt"));
        EXPECT_EQ(wt->GetNumEntries(), 4);
        EXPECT_FLOAT_EQ(wt->GetWeight("a"), 0.7f);
        EXPECT_NEAR(wt->GetWeight("b"), 0.3f, 1e-6f);
        EXPECT_NEAR(wt->GetWeight("n"), 1.3f, 1e-6f);
        EXPECT_FLOAT_EQ(wt->GetWeight("late"), 1.0f);
        ASSERT_EQ(child->read.size(), 3u);
        EXPECT_FLOAT_EQ(child->read[0], 0.7f);
        EXPECT_NEAR(child->read[1], 0.3f, 1e-6f);
        EXPECT_FLOAT_EQ(child->read[2], 0.9f);
        EXPECT_FLOAT_EQ(Global("b"), 0.6f);
        if (pass == 0) {
            ASSERT_NE(Reload("/scene/wt"), nullptr);
        }
        child = static_cast<nTestVisNode*>(Lookup("/scene/wt/child"));
    }
}

// What data's line sets up in a reader and both mixers, the person's frame calls as data's;
// a command that receives no value (save, exit) is no slot's target and is never called.
TEST_F(ChannelNodeTest, CallsThatDataSetUpRunAsDataAndNeverReachACommandWithoutAValue) {
    nProbe* read = Probe("/scene/r");
    nProbe* mixed = Probe("/scene/m");
    nProbe* hyper = Probe("/scene/h");
    kernel->New("nvisnode", "/poses/a");
    nProbe* source = Probe("/poses/a/bone", 1, 2, 3);
    // The person's scene holds the nodes; data's line sets them up.
    kernel->New("nchnreader", "/scene/r/c");
    kernel->New("nmixer", "/scene/m/x");
    kernel->New("nhypermixer2", "/scene/hm");
    const char* result = nullptr;
    ASSERT_TRUE(server->RunLine(
        "sel('/scene/r/c') beginconnects(2) setconnect(0, 'set2', 'w') "
        "setconnect(1, 'poke', 'w') endconnects() sel('/scene/m/x') beginsources(1) "
        "setsource(0, '/poses/a/bone', 'w') beginconnects(2) setconnect(0, 'set2', 'gett') "
        "setconnect(1, 'poke', 'poke') sel('/scene/hm') beginsources(1) "
        "setsource(0, '/poses/a', 'w') beginconnects(2) setconnect(0, '/scene/h', 'set2', 'bone', 'gett') "
        "setconnect(1, '/scene/h', 'poke', 'bone', 'poke') sel('/')",
        result))
        << log.text;
    for (const char* line : {"'v_poke_v' takes other inputs", "/scene/m/x: setconnect: 'v_poke_v' takes no value",
                             "/scene/hm: setconnect: 'v_poke_v' takes no value"}) {
        EXPECT_TRUE(LogHas(line)) << line;
    }
    Set("w", 1.0f);
    Frame(root);
    for (nProbe* p : {read, mixed, hyper, source}) {
        EXPECT_FALSE(p->origins.empty()) << p->GetFullName();
        for (nScriptServer::Origin o : p->origins) EXPECT_EQ(o, nScriptServer::Origin::Data) << p->GetFullName();
        EXPECT_EQ(p->pokes, 0) << p->GetFullName();
    }
    EXPECT_EQ(hyper->got, (std::vector<float>{1, 2}));
}

class HyperMixerTest : public ChannelNodeTest {
protected:
    void SetUp() override {
        ChannelNodeTest::SetUp();
        kernel->New("n3dnode", "/scene/target");
        kernel->New("n3dnode", "/scene/target/bone");
        kernel->New("nvisnode", "/poses/a");
        kernel->New("nvisnode", "/poses/b");
        pa = Probe("/poses/a/bone", 1, 0, 0);
        pb = Probe("/poses/b/bone", 0, 1, 0);
        ASSERT_TRUE(Run("sel('/scene'); new('nhypermixer2', 'hm'); sel('hm'); beginsources(2); "
                        "setsource(0, '/poses/a', 'wa'); setsource(1, '/poses/b', 'wb'); endsources(); "
                        "beginconnects(1); setconnect(0, '../target/bone', 'txyz', 'bone', 'gett'); endconnects()"));
    }
    nProbe* pa = nullptr;
    nProbe* pb = nullptr;
};

TEST_F(HyperMixerTest, SumsWeightedGettersAndSkipsSourcesWithoutWeight) {
    Set("wa", 0.7f);
    Set("wb", 0.3f);
    Frame(root);
    ExpectT("/scene/target/bone", 0.7f, 0.3f, 0);
    EXPECT_EQ(pa->computes, 1);
    Set("wb", 0.0f);
    pb->gets = pb->computes = 0;
    Frame(root);
    EXPECT_EQ(pb->gets, 0);
    EXPECT_EQ(pb->computes, 0);
    ExpectT("/scene/target/bone", 0.7f, 0, 0);
    // Neither clamped nor normalised; the same after a reload.
    Set("wa", 2.0f);
    Set("wb", 3.0f);
    ASSERT_NE(Reload("/scene/hm"), nullptr);
    Frame(root);
    ExpectT("/scene/target/bone", 2, 3, 0);
    ASSERT_TRUE(Run("sel('/scene/hm')"));
    EXPECT_EQ(Eval("select(1, getconnect(0)) .. select(2, getconnect(0)) .. select(3, getconnect(0)) .. "
                   "select(4, getconnect(0))"),
              "../target/bonetxyzbonegett");
    EXPECT_EQ(log.text, "");
}

TEST_F(HyperMixerTest, ChangedConnectsAndDeadObjectsResolveAgainNextFrame) {
    Set("wa", 1.0f);
    Set("wb", 1.0f);
    Frame(root);
    Probe("/poses/a/tip", 0, 0, 5);
    Probe("/poses/b/tip", 0, 0, 6);
    ASSERT_TRUE(Run("sel('/scene/hm'); beginconnects(1); setconnect(0, '/scene/target', 'txyz', 'tip', 'gett'); "
                    "endconnects()"));
    Frame(root);
    ExpectT("/scene/target", 0, 0, 11);
    // A source object that dies is looked up again instead of being used.
    Lookup("/poses/b/tip")->Release();
    Frame(root);
    Frame(root);
    EXPECT_TRUE(LogHas("no 'tip' below /poses/b"));
    Probe("/poses/b/tip", 0, 0, 1);
    Frame(root);
    ExpectT("/scene/target", 0, 0, 6);
}

TEST_F(HyperMixerTest, BadTablesPathsAndCommandsAreLoggedOnceAndDropped) {
    ASSERT_TRUE(Run("sel('/scene/hm'); beginsources(17); setsource(16, 'x', 'w'); beginconnects(65); "
                    "setconnect(64, 'a', 'b', 'c', 'd'); beginconnects(4); "
                    "setconnect(1, '/nowhere', 'txyz', 'bone', 'gett'); "
                    "setconnect(2, '../target', 'setname', 'bone', 'gett'); "
                    "setconnect(3, '../target', 'txyz', 'bone', 'getname'); endconnects()"));
    ExpectLoggedOnce({"17 sources", "source 16", "65 connects", "connect 64"});
    log.text.clear();
    Set("wa", 1.0f);
    Frame(root);
    Frame(root);
    ExpectLoggedOnce({"'/nowhere' not found", "setter 'setname'", "getter 'getname'"});
    ExpectT("/scene/target/bone", 1, 0, 0);
}

// A connect that data's line sets drives no engine command its class keeps from data: it
// is refused once, logged, and skipped every frame; the person's same connect drives it.
TEST_F(HyperMixerTest, DataConnectsReachNoEngineCommand) {
    const char* result = nullptr;
    const std::string line =
        "sel('/scene/hm') beginconnects(1) setconnect(0, '/sys/servers/time', 'settimescale', 'bone', 'gett') "
        "endconnects() sel('/')";
    ASSERT_TRUE(server->RunLine(line.c_str(), result)) << log.text;
    Set("wa", 0.5f);
    Frame(root);
    Frame(root);
    nTimeServer* time = kernel->GetTimeServer();
    EXPECT_EQ(time->GetTimeScale(), 1.0);
    ExpectLoggedOnce({"refused to script text that data brought: 'settimescale' of '/sys/servers/time'"});
    // Nor does it read the engine through a getter its class keeps from data.
    ASSERT_TRUE(server->RunLine("sel('/scene/hm') beginconnects(1) setconnect(0, '../target', 'txyz', "
                                "'/sys/servers/gfx', 'getclearcolor') endconnects() sel('/')",
                                result));
    Frame(root);
    ExpectT("/scene/target", 0, 0, 0);
    ExpectLoggedOnce({"'getclearcolor' of '/sys/servers/gfx'"});
    ASSERT_TRUE(Run(line));
    Frame(root);
    EXPECT_EQ(time->GetTimeScale(), 0.5);
}

}  // namespace
