// Interpolator nodes on the logic graph's passes: sampled keys sent to a command of the
// parent, repeat types, shared key files and their envelopes, saving, and bad input.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "anim/nEnvelope.h"
#include "logic/nLogicIpol.h"
#include "tests/logic/PhysikFixture.h"

namespace {

// A logic node that records what its pair command gets ("a b|a b|..."); its other
// commands take what no interpolator may send.
class nTestIpolTarget : public nLogicNode {
public:
    static const nClassInfo classInfo;
    void SetPair(float a, float b) {
        char buf[64];
        std::snprintf(buf, sizeof(buf), "%s%g %g", got.empty() ? "" : "|", a, b);
        got += buf;
    }
    void SetFive(float, float, float, float, float) {}
    void SetLabel(const char*) {}
    std::string got;
};
const nCmdDef<nTestIpolTarget> targetCmds[] = {
    Bind<&nTestIpolTarget::SetPair>("v_setpair_ff", "TSPR"),
    Bind<&nTestIpolTarget::SetFive>("v_setfive_fffff", "TSFV"),
    Bind<&nTestIpolTarget::SetLabel>("v_setlabel_s", "TSLB"),
};
const nClassInfo nTestIpolTarget::classInfo =
    nClassInfo::Make<nTestIpolTarget>("ntestipoltarget", "nlogicnode", targetCmds);

// Written here as the key-buffer text lays it out, not by our writer.
constexpr const char* kDoorKeys = "keybuffer 2 2\nkey 1 0.0 0 0\nkey 1 2.0 4 8\n";

class IpolTest : public PhysikFixture {
protected:
    void SetUp() override {
        PhysikFixture::SetUp();
        kernel->AddClass(nTestIpolTarget::classInfo);
        kernel->New("nenvelopeserver", "/sys/servers/envelope");
        door = Write("door.nea", kDoorKeys);
    }
    // A target at /usr/logic/<name> with an interpolator "ipol" below it, made current;
    // `script` then runs on the interpolator.
    nLogicIpol* Ipol(const std::string& name, const std::string& script) {
        const std::string path = "/usr/logic/" + name;
        EXPECT_TRUE(Run("new('ntestipoltarget', '" + path + "') sel('" + path + "') new('nlogicipol', 'ipol') sel('ipol') " +
                        script));
        return static_cast<nLogicIpol*>(Lookup((path + "/ipol").c_str()));
    }
    nTestIpolTarget* Target(const std::string& name) {
        return static_cast<nTestIpolTarget*>(Lookup(("/usr/logic/" + name).c_str()));
    }
    // What the target got in one frame with the interpolator's clock at `t`.
    std::string At(nLogicIpol* ipol, float t) {
        auto* target = static_cast<nTestIpolTarget*>(ipol->GetParent());
        target->got.clear();
        ipol->SetTime(t);
        Frame(0.0f);
        return target->got;
    }

    std::string door;
};

TEST_F(IpolTest, SendsTheFirstValuesOfEachSampleAtTheNodesTime) {
    nLogicIpol* ipol = Ipol("t", "connect('setpair') beginkeys(2, 3) setkey3f(0, 0, 'linear', 0, 10, 100)"
                                 " setkey3f(1, 2, 'linear', 2, 20, 200) endkeys()");
    EXPECT_TRUE(ipol->GetActive());
    EXPECT_FALSE(ipol->GetKeyDefinition());
    // The node's clock runs with the frames.
    Target("t")->got.clear();
    Frame(0.5f);
    Frame(0.5f);
    ASSERT_EQ(Target("t")->got, "0.5 12.5|1 15");

    // Oneshot holds the last key after the end; loop wraps at the last key's time.
    EXPECT_EQ(At(ipol, 3.0f), "2 20");
    ASSERT_TRUE(Run("setreptype('loop')"));
    EXPECT_EQ(Eval("getreptype()"), "loop");
    EXPECT_EQ(At(ipol, 3.0f), "1 15");
    // A loop over no time does not wrap: the last key holds.
    ASSERT_TRUE(Run("beginkeys(2, 2) setkey2f(0, 0, 'linear', 1, 2) setkey2f(1, 0, 'linear', 3, 4) endkeys()"));
    EXPECT_EQ(At(ipol, 5.0f), "3 4");

    // One key sends its values at any time.
    ASSERT_TRUE(Run("beginkeys(1, 4) setkey4f(0, 7, 'quaternion', 5, 6, 7, 8)"));
    EXPECT_EQ(At(ipol, 100.0f), "5 6");

    // Disconnected, the node rests and sends nothing even when triggered.
    ASSERT_TRUE(Run("disconnect()"));
    EXPECT_FALSE(ipol->GetActive());
    Target("t")->got.clear();
    ipol->Trigger(graph);
    EXPECT_TRUE(Target("t")->got.empty());
}

TEST_F(IpolTest, NodesNamingOneKeyFileShareOneEnvelope) {
    nLogicIpol* a = Ipol("a", "connect('setpair') setkeyfile('" + door + "')");
    nLogicIpol* b = Ipol("b", "connect('setpair') setkeyfile('" + door + "')");
    nEnvelope* env = a->GetEnvelope();
    ASSERT_NE(env, nullptr);
    EXPECT_EQ(b->GetEnvelope(), env);
    EXPECT_EQ(env->GetRefCount(), 2);
    EXPECT_EQ(At(a, 1.0f), "2 4");
    EXPECT_EQ(At(b, 3.0f), "4 8");
    nRoot* shared = env->GetParent();
    const std::string name = env->GetName();
    // Each node gives back its own reference: the last one frees the envelope, once.
    Target("a")->Release();
    ASSERT_EQ(shared->Find(name.c_str()), env);
    EXPECT_EQ(env->GetRefCount(), 1);
    Target("b")->Release();
    EXPECT_EQ(shared->Find(name.c_str()), nullptr);

    // A name without ".nea" makes an empty envelope of that name: nothing is sent.
    nLogicIpol* c = Ipol("c", "connect('setpair') setkeyfile('nokeys')");
    ASSERT_NE(c->GetEnvelope(), nullptr);
    EXPECT_EQ(c->GetEnvelope()->GetNumKeys(), 0);
    EXPECT_EQ(Eval("getkeyfile()"), "nokeys");
    EXPECT_EQ(At(c, 1.0f), "");
    // A key file that does not load is logged and leaves nothing shared under its name.
    log.text.clear();
    nLogicIpol* d = Ipol("d", "connect('setpair') setkeyfile('" + Path("missing.nea") + "')");
    EXPECT_EQ(d->GetEnvelope(), nullptr);
    EXPECT_TRUE(LogHas("/usr/logic/d/ipol: setkeyfile:"));
    EXPECT_EQ(shared->GetNumChildren(), 1);
    EXPECT_EQ(At(d, 1.0f), "");
}

TEST_F(IpolTest, SavedKeysLoadBackEqual) {
    Ipol("a", "beginkeys(3, 3) setkey3f(0, 0, 'step', 1, 2, 3) setkey3f(1, 0.5, 'spline', -4, 5.25, 6)"
                              " setkey3f(2, 2, 'linear', 7, 8, 9) endkeys()");
    const std::string file = Path("keys.nea");
    ASSERT_TRUE(Run("savekeys('" + file + "')"));
    EXPECT_EQ(Slurp(file),
              "keybuffer 3 3\nkey 0 0.000000 1.000000 2.000000 3.000000\n"
              "key 2 0.500000 -4.000000 5.250000 6.000000\nkey 1 2.000000 7.000000 8.000000 9.000000\n");
    // Loaded back by another node, the keys write the same text again.
    nLogicIpol* b = Ipol("b", "setkeyfile('" + file + "') savekeys('" + Path("again.nea") + "')");
    EXPECT_EQ(b->GetEnvelope()->GetNumKeys(), 3);
    EXPECT_EQ(Slurp(Path("again.nea")), Slurp(file));
}

TEST_F(IpolTest, SavingWritesTheConnectionRepeatTypeAndKeysOrTheKeyFile) {
    // Keys: connect, the loop, then begin, one setter per key of the envelope's kind, end.
    nLogicIpol* a = Ipol("a", "connect('setpair') setreptype('loop') beginkeys(2, 2)"
                              " setkey2f(0, 0, 'spline', 1, 2) setkey2f(1, 1.5, 'linear', 3, 4) endkeys()");
    ASSERT_TRUE(a->SaveAs(Path("a").c_str()));
    const std::string saved = Slurp(Path("a.n"));
    EXPECT_NE(saved.find("connect( \"setpair\" )\nsetreptype( \"loop\" )\nbeginkeys( 2, 2 )\n"
                         "setkey2f( 0, 0.00000000, \"spline\", 1.00000000, 2.00000000 )\n"
                         "setkey2f( 1, 1.50000000, \"linear\", 3.00000000, 4.00000000 )\nendkeys(  )\n"),
              std::string::npos)
        << saved;
    // Loaded under another target it drives that one the same.
    ASSERT_TRUE(Run("new('ntestipoltarget', '/usr/logic/copy')"));
    kernel->SetCwd(Target("copy"));
    auto* back = static_cast<nLogicIpol*>(kernel->Load(Path("a.n").c_str()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetTarget(), Target("copy"));
    ASSERT_TRUE(back->SaveAs(Path("a2").c_str()));
    EXPECT_EQ(Slurp(Path("a2.n")), saved);
    EXPECT_EQ(At(back, 2.25f), "2 3");

    // A key file alone stands for the keys; oneshot writes no repeat type.
    nLogicIpol* b = Ipol("b", "connect('setpair') setkeyfile('" + door + "')");
    ASSERT_TRUE(b->SaveAs(Path("b").c_str()));
    const std::string savedB = Slurp(Path("b.n"));
    EXPECT_NE(savedB.find("connect( \"setpair\" )\nsetkeyfile( \"" + door + "\" )\n"), std::string::npos) << savedB;
    EXPECT_EQ(savedB.find("setreptype"), std::string::npos);
    EXPECT_EQ(savedB.find("beginkeys"), std::string::npos);

    // Keys begun after a key file are the node's own: they are saved, not the file.
    ASSERT_TRUE(Run("beginkeys(1, 1) setkey1f(0, 0, 'step', 9) endkeys()"));
    EXPECT_EQ(Eval("getkeyfile()"), "");
    ASSERT_TRUE(b->SaveAs(Path("b").c_str()));
    const std::string own = Slurp(Path("b.n"));
    EXPECT_NE(own.find("beginkeys( 1, 1 )\nsetkey1f( 0, 0.00000000, \"step\", 9.00000000 )\nendkeys(  )\n"),
              std::string::npos)
        << own;
    EXPECT_EQ(own.find("setkeyfile"), std::string::npos);
}

TEST_F(IpolTest, BadNamesKindsIndicesAndCommandsChangeNothing) {
    nLogicIpol* ipol = Ipol("t", "setkey2f(0, 0, 'linear', 1, 2) savekeys('" + Path("none.nea") + "')");
    EXPECT_TRUE(LogHas("/usr/logic/t/ipol: setkey 0: no keys begun"));
    EXPECT_TRUE(LogHas("/usr/logic/t/ipol: savekeys"));
    EXPECT_FALSE(std::filesystem::exists(Path("none.nea")));
    ASSERT_TRUE(Run("connect('setpair') beginkeys(2, 2) setkey2f(0, 0, 'linear', 1, 2) setkey2f(1, 1, 'linear', 3, 4)"));
    nEnvelope* env = ipol->GetEnvelope();
    log.text.clear();
    ASSERT_TRUE(Run("setreptype('Loop') setkey2f(1, 1, 'Linear', 9, 9) setkey2f(2, 1, 'linear', 9, 9)"
                    " setkey2f(-1, 1, 'linear', 9, 9) beginkeys(2, 5) beginkeys(2, 0) beginkeys(-1, 2)"));
    EXPECT_EQ(Eval("getreptype()"), "oneshot");
    EXPECT_EQ(ipol->GetEnvelope(), env);
    ASSERT_EQ(env->GetNumKeys(), 2);
    EXPECT_EQ(env->GetKey(1)->v[0], 3.0f);
    EXPECT_EQ(env->GetKey(1)->type, nEnvelope::Linear);
    for (const char* part : {"unknown repeat type 'Loop'", "unknown interpolation 'Linear'", "key 2 outside 0 to 1",
                             "key -1 outside", "2 keys of 5 values", "2 keys of 0 values", "-1 keys of 2 values"}) {
        EXPECT_TRUE(LogHas(part)) << part;
    }
    EXPECT_EQ(Count(log.text, "/usr/logic/t/ipol: "), 7);

    // Commands that do not take one to four floats are refused; the connection stays.
    ASSERT_TRUE(Run("connect('setfive') connect('setlabel')"));
    EXPECT_TRUE(LogHas("'v_setfive_fffff' does not take one to four floats"));
    EXPECT_TRUE(LogHas("'v_setlabel_s' does not take one to four floats"));
    EXPECT_EQ(At(ipol, 0.5f), "2 3");
    // A name the parent does not know leaves the node unconnected.
    ASSERT_TRUE(Run("connect('nosuch')"));
    EXPECT_TRUE(LogHas("/usr/logic/t/ipol: connect: the parent has no command 'nosuch'"));
    EXPECT_EQ(ipol->GetCommand(), nullptr);
    EXPECT_EQ(At(ipol, 0.5f), "");
}

}  // namespace
