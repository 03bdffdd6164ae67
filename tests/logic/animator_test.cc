// Animator modules and the animation node: key files played into commands of a node,
// script lines run at node times once or per loop period, the node's own clock and
// length, saving, and the bad input a level script or key file can bring.
#include <gtest/gtest.h>

#include <string>

#include "anim/nEnvelope.h"
#include "kernel/nClass.h"
#include "logic/nLogicAnim.h"
#include "logic/nModAnimatorState.h"
#include "logic/nModScriptAnimator.h"
#include "logic/nModVectorAnimator.h"
#include "tests/logic/GraphFixture.h"

namespace {

// An animation node with a command that counts its calls and one whose inputs are not
// all floats.
class nTestAnim : public nLogicAnim {
public:
    static const nClassInfo classInfo;
    void Count(float v) {
        calls++;
        last = v;
    }
    void Mixed(float, int) { calls += 100; }
    int calls = 0;
    float last = 0.0f;
    float pushed[2] = {0.0f, 0.0f};
};
const nCmdDef<nTestAnim> testAnimCmds[] = {
    Bind<&nTestAnim::Count>("v_count_f", "TCNT"),
    Bind<&nTestAnim::Mixed>("v_mixed_fi", "TMIX"),
    // A row with a handler of its own: animations send it as a command.
    {"v_push_ff", "TPSH", [](nTestAnim* self, nCmd* c) { for (float& p : self->pushed) p = c->In()->GetF(); }},
};
const nClassInfo nTestAnim::classInfo = nClassInfo::Make<nTestAnim>("ntestanim", "nlogicanim", testAnimCmds);

// Key files as the key-buffer text lays them out, written here rather than by our writer.
constexpr const char* kDoorKeys = "keybuffer 2 3\nkey 1 0.0 0 0 0\nkey 1 2.0 4 2 0\n";

class AnimatorTest : public GraphFixture {
protected:
    void SetUp() override {
        GraphFixture::SetUp();
        kernel->AddClass(nTestAnim::classInfo);
        kernel->New("nenvelopeserver", "/sys/servers/envelope");
        door = Write("door.nea", kDoorKeys);
    }
    nLogicAnim* Anim(const char* path, const char* cls = "nlogicanim") {
        return static_cast<nLogicAnim*>(kernel->New(cls, path));
    }
    // A vector animator at `path` with one animation, listed in `node`'s default state.
    nModVectorAnimator* Vector(const char* path, nLogicNode* node, const char* command, const std::string& keys,
                               const char* rep = "oneshot") {
        auto* m = static_cast<nModVectorAnimator*>(kernel->New("nmodvectoranimator", path));
        m->SetRepType(rep);
        m->BeginAnims(1);
        m->BeginAnim(command);
        m->SetKeyFile(keys.c_str());
        m->EndAnim();
        m->EndAnims();
        if (node) node->AddAnimator("default", path);
        return m;
    }
    // One logic frame with the node's clock set by hand (the frame time stays 0).
    void At(nLogicNode* node, float t) {
        node->SetTime(t);
        LogicFrame(0.0f);
    }
    static std::string Pos(nLogicVisual2* v) {
        const vector3& p = v->GetPosition();
        char buf[64];
        std::snprintf(buf, sizeof(buf), "%g %g %g", p.x, p.y, p.z);
        return buf;
    }
    int LogCount(const std::string& part) const { return Count(log.text, part); }
    nRoot* Envelopes() { return Lookup("/sys/share/envelopes"); }

    std::string door;
};

TEST_F(AnimatorTest, ClassesCommandsAndGoldenSaves) {
    auto own = [&](const char* cls) {
        int n = 0;
        for (nCmdProto* p = kernel->FindClass(cls)->GetFirstCmd(); p; p = p->GetNextCmd()) n++;
        return n;
    };
    EXPECT_EQ(own("nmodanimator"), 2);
    EXPECT_EQ(own("nmodvectoranimator"), 5);
    EXPECT_EQ(own("nmodscriptanimator"), 3);
    EXPECT_EQ(own("nlogicanim"), 0);
    EXPECT_STREQ(kernel->FindClass("nlogicanim")->GetSuperClass()->GetName(), "nlogicvisual2");

    ASSERT_TRUE(Run("new('nmodanimator', '/usr/m/a') sel('/usr/m/a') r0 = getreptype() setreptype('loop') r1 = getreptype()"
                    " new('nmodvectoranimator', '/usr/m/v') sel('/usr/m/v') setreptype('loop') beginanims(2)"
                    " beginanim('v_txyz_fff') setkeyfile('data:anims/door.nea') endanim()"
                    " beginanim('setclipdist') setkeyfile('clip.nea') endanim() endanims()"
                    " new('nmodscriptanimator', '/usr/m/s') sel('/usr/m/s') beginanims(2)"
                    " setanim(0, 1.5, \"obj('/usr/logic/d').txyz(1, 2, 3)\") setanim(1, 3, 'n = 1') endanims()"
                    " new('nmodscriptanimator', '/usr/m/empty')"
                    " new('nlogicanim', '/usr/m/door') sel('/usr/m/door') settime(1.5) txyz(0, 1, 0)"
                    " new('nmodvectoranimator', 'slide') addanimator('default', 'slide')"
                    " setanimatorlenght('default', 2) sel('/')"));
    EXPECT_EQ(Global("r0"), "oneshot");
    EXPECT_EQ(Global("r1"), "loop");
    for (const char* name : {"a", "v", "s", "empty", "door"}) {
        SCOPED_TRACE(name);
        nRoot* m = Lookup(("/usr/m/" + std::string(name)).c_str());
        ASSERT_TRUE(m->SaveAs(Path(name).c_str()));
        const std::string golden = SourceDir() + "/tests/logic/golden/animator_" + name + ".n";
        EXPECT_EQ(Slurp(Path(std::string(name) + ".n")), Slurp(golden));
        // Loaded back, the module saves the same text again.
        kernel->SetCwd(kernel->New("nroot", "/usr/loaded"));
        nRoot* back = kernel->Load(golden.c_str());
        ASSERT_NE(back, nullptr) << log.text;
        ASSERT_TRUE(back->SaveAs(Path(std::string("back_") + name).c_str()));
        EXPECT_EQ(Slurp(Path(std::string("back_") + name + ".n")), Slurp(golden));
        back->Release();
    }
}

TEST_F(AnimatorTest, OneShotHoldsAtItsLastKeyAndLoopWraps) {
    nLogicAnim* d = Anim("/usr/logic/d");
    nModVectorAnimator* m = Vector("/usr/m/v", d, "v_txyz_fff", door);
    At(d, 1.0f);
    EXPECT_EQ(Pos(d), "2 1 0");
    At(d, 2.0f);
    EXPECT_EQ(Pos(d), "4 2 0");
    // The frame that steps past its last key sends that key once; after it a oneshot sends
    // nothing: a position set meanwhile stays.
    At(d, 1.0f);
    At(d, 3.0f);
    EXPECT_EQ(Pos(d), "4 2 0");
    d->SetPosition(vector3(9.0f, 9.0f, 9.0f));
    At(d, 3.5f);
    EXPECT_EQ(Pos(d), "9 9 9");
    m->SetRepType("loop");
    At(d, 3.0f);
    EXPECT_EQ(Pos(d), "2 1 0");
    // Time going back finds its segment again (the cursor is only a search start).
    At(d, 0.5f);
    EXPECT_EQ(Pos(d), "1 0.5 0");
    EXPECT_FALSE(LogHas("not animated")) << log.text;
}

TEST_F(AnimatorTest, OneKeyFilesAndOneInputCommands) {
    nLogicAnim* d = Anim("/usr/logic/d");
    // One key at time 0 in a loop: its values every frame, at any time.
    Vector("/usr/m/one", d, "txyz", Write("one.nea", "keybuffer 1 3\nkey 1 0 5 6 7\n"), "loop");
    // A one-input command takes the first of three values.
    Vector("/usr/m/clip", d, "setclipdist", Write("clip.nea", "keybuffer 2 3\nkey 1 0 10 1 1\nkey 1 1 20 2 2\n"));
    At(d, 0.5f);
    EXPECT_EQ(Pos(d), "5 6 7");
    EXPECT_FLOAT_EQ(d->GetClipDistance(), 15.0f);
    d->SetPosition(vector3());
    At(d, 7.25f);
    EXPECT_EQ(Pos(d), "5 6 7");
    EXPECT_FLOAT_EQ(d->GetClipDistance(), 20.0f);  // the frame past its end sends the last key
}

TEST_F(AnimatorTest, AnimatorsShareEnvelopesAndBindToEachNodesClass) {
    nLogicAnim* a = Anim("/usr/logic/a");
    nLogicAnim* b = Anim("/usr/logic/b");
    nModVectorAnimator* m1 = Vector("/usr/m/v1", a, "txyz", door);
    nModVectorAnimator* m2 = Vector("/usr/m/v2", b, "txyz", door);
    b->SetTime(1.0f);
    At(a, 1.0f);
    ASSERT_EQ(Envelopes()->GetNumChildren(), 1);
    nRoot* env = Envelopes()->GetHead();
    EXPECT_EQ(env->GetRefCount(), 2);
    EXPECT_EQ(Pos(a), "2 1 0");
    EXPECT_EQ(Pos(b), "2 1 0");
    // The envelope lives while one animator still uses it.
    m1->Release();
    EXPECT_EQ(env->GetRefCount(), 1);
    m2->BeginAnims(0);
    EXPECT_EQ(Envelopes()->GetNumChildren(), 0);

    // One module in the states of nodes of two classes: the counting command exists in
    // one of them only. Bound to the first class for good, it would run that class's
    // handler on the other node.
    auto* c = static_cast<nTestAnim*>(Anim("/usr/logic/c", "ntestanim"));
    Vector("/usr/m/count", c, "count", door, "loop");
    b->AddAnimator("default", "/usr/m/count");
    for (int i = 0; i < 2; i++) At(c, 1.0f);
    EXPECT_EQ(c->calls, 2);
    EXPECT_FLOAT_EQ(c->last, 2.0f);
    EXPECT_EQ(LogCount("its class has no command 'count'"), 2);  // once per binding
}

TEST_F(AnimatorTest, ANodeOrEnvelopeThatDiesIsNotUsedAgain) {
    // The module keeps the bound node and its envelope between frames: a dead node's
    // address taken by a node of another class, or a freed envelope, must not be used.
    auto* c = static_cast<nTestAnim*>(Anim("/usr/logic/c", "ntestanim"));
    auto* m = Vector("/usr/m/count", nullptr, "count", door);
    m->Animate(c, 1.0f);
    EXPECT_EQ(c->calls, 1);
    c->Release();
    nLogicAnim* other = Anim("/usr/logic/other");
    m->Animate(other, 1.0f);
    EXPECT_TRUE(LogHas("on '/usr/logic/other': its class has no command 'count'")) << log.text;
    c = static_cast<nTestAnim*>(Anim("/usr/logic/c", "ntestanim"));
    ASSERT_EQ(Envelopes()->GetNumChildren(), 1);
    Envelopes()->GetHead()->Release();  // gone with every reference to it
    m->Animate(c, 1.5f);
    EXPECT_EQ(c->calls, 1);
    EXPECT_FLOAT_EQ(c->last, 3.0f);
    EXPECT_EQ(Envelopes()->GetNumChildren(), 1);  // loaded again
}

TEST_F(AnimatorTest, AStateRunsEveryKindOfAnimatorAndFollowsAModuleReplacedAtItsPath) {
    // The state keeps its first modules, their types and whether they are vector
    // animators between frames: a module that died and came back as another class at
    // the same path must run as that class, or not at all.
    auto* c = static_cast<nTestAnim*>(Anim("/usr/logic/c", "ntestanim"));
    auto* ramp = "keybuffer 2 1\nkey 1 0 0\nkey 1 10 10\n";
    nModVectorAnimator* v = Vector("/usr/m/first", c, "count", Write("ramp.nea", ramp), "loop");
    nTestModule* other = NewModule("/usr/m/second", nModule::Animator);  // no nModAnimator
    c->AddAnimator("default", "/usr/m/second");
    At(c, 1.0f);
    EXPECT_EQ(c->calls, 1);
    EXPECT_EQ(other->calls, 1);

    v->Release();
    NewModule("/usr/m/first", nModule::Visualizer);
    At(c, 2.0f);
    EXPECT_EQ(c->calls, 1);
    EXPECT_EQ(other->calls, 2);

    Lookup("/usr/m/first")->Release();
    nTestModule* now = NewModule("/usr/m/first", nModule::Animator);
    other->Release();
    Vector("/usr/m/second", nullptr, "count", Write("ramp.nea", ramp), "loop");
    At(c, 3.0f);
    EXPECT_EQ(now->calls, 1);
    EXPECT_EQ(c->calls, 2);
    EXPECT_FLOAT_EQ(c->last, 3.0f);
}

TEST_F(AnimatorTest, OneAnimatorFollowsAModuleReplacedAtItsPathAndSendsCommandsOfEveryRow) {
    // A state of one module calls it without a walk: a module that died and came back as
    // another type at the same path must run as that, or not at all.
    auto* c = static_cast<nTestAnim*>(Anim("/usr/logic/c", "ntestanim"));
    auto* ramp = "keybuffer 2 2\nkey 1 0 0 0\nkey 1 10 10 -10\n";
    Vector("/usr/m/only", c, "count", Write("ramp.nea", ramp), "loop")->Release();
    NewModule("/usr/m/only", nModule::Visualizer);
    At(c, 1.0f);
    At(c, 1.5f);  // the second frame reads the state's copies
    EXPECT_EQ(c->calls, 0);
    Lookup("/usr/m/only")->Release();
    nTestModule* plain = NewModule("/usr/m/only", nModule::Animator);
    At(c, 2.0f);
    At(c, 2.0f);
    EXPECT_EQ(plain->calls, 2);
    plain->Release();

    // Two animations in one module, one into a bound setter, one into a hand-written
    // handler: both get the sampled values.
    auto* m = static_cast<nModVectorAnimator*>(kernel->New("nmodvectoranimator", "/usr/m/only"));
    m->SetRepType("loop");
    m->BeginAnims(2);
    for (const char* command : {"count", "push"}) {
        m->BeginAnim(command);
        m->SetKeyFile(Write("ramp.nea", ramp).c_str());
        m->EndAnim();
    }
    m->EndAnims();
    At(c, 2.5f);
    EXPECT_EQ(c->calls, 1);
    EXPECT_FLOAT_EQ(c->last, 2.5f);
    EXPECT_EQ(std::to_string(c->pushed[0]) + " " + std::to_string(c->pushed[1]), "2.500000 -2.500000");
}

TEST_F(AnimatorTest, AStateReleasedBetweenFramesIsNotWrittenByTheNextOne) {
    // A state notes which state animated after it, to fetch that one ahead next frame:
    // the state animated last must not be written to after its node is gone.
    nTestAnim* nodes[3];
    for (int i = 0; i < 3; i++) {
        std::string n = std::to_string(i);
        nodes[i] = static_cast<nTestAnim*>(Anim(("/usr/logic/n" + n).c_str(), "ntestanim"));
        Vector(("/usr/m/v" + n).c_str(), nodes[i], "count", door, "loop");
    }
    for (int frame = 0; frame < 2; frame++)
        for (nTestAnim* n : nodes) n->GetAnimatorState()->Animate();
    nodes[2]->Release();
    nodes[0]->GetAnimatorState()->Animate();
    nodes[1]->Release();
    nodes[0]->GetAnimatorState()->Animate();
    EXPECT_EQ(nodes[0]->calls, 4);
}

TEST_F(AnimatorTest, BadAnimatorInputIsLoggedAndChangesNothing) {
    auto* c = static_cast<nTestAnim*>(Anim("/usr/logic/c", "ntestanim"));
    ASSERT_TRUE(Run("new('nmodvectoranimator', '/usr/m/v') sel('/usr/m/v') setkeyfile('early.nea')"
                    " beginanims(1) beginanim('txyz') setkeyfile('" + door + "') endanim()"
                    " beginanim('count') setkeyfile('late.nea') endanim() endanims() setreptype('pingpong')"
                    " beginanims(-1) beginanims(1000000000)"
                    " new('nmodscriptanimator', '/usr/m/s') sel('/usr/m/s') beginanims(1) setanim(1, 1, 'x = 1')"
                    " setanim(-1, 1, 'x = 1') sel('/')"));
    for (const char* part : {"setkeyfile 'early.nea' without an animation begun", "beginanim 'count': only 1",
                             "setkeyfile 'late.nea' without", "unknown repeat type 'pingpong'",
                             "beginanims: -1 animations", "beginanims: 1000000000", "setanim: entry 1 outside 0 to 0",
                             "setanim: entry -1"}) {
        EXPECT_TRUE(LogHas(part)) << part << "\n" << log.text;
    }
    auto* v = static_cast<nModVectorAnimator*>(Lookup("/usr/m/v"));
    ASSERT_TRUE(v->SaveAs(Path("v").c_str()));
    const std::string saved = Slurp(Path("v.n"));
    EXPECT_NE(saved.find("setreptype( \"oneshot\" )"), std::string::npos) << saved;
    EXPECT_NE(saved.find("beginanims( 1 )"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("late.nea"), std::string::npos) << saved;

    // Commands the node's class lacks or that take other inputs, key files that are no
    // .nea file, missing or malformed: each logged once over several frames, nothing
    // sent, nothing left under the shared envelopes.
    Write("door.txt", kDoorKeys);
    c->AddAnimator("default", "/usr/m/v");
    Vector("/usr/m/none", c, "nosuchcommand", door);
    Vector("/usr/m/mixed", c, "v_mixed_fi", door);
    Vector("/usr/m/wrongproto", c, "v_count_ff", door);
    Vector("/usr/m/txt", c, "count", Path("door.txt"));
    Vector("/usr/m/missing", c, "count", Path("missing.nea"));
    Vector("/usr/m/broken", c, "count", Write("broken.nea", "keybuffer 2 3\nkey 1 0.0 0 0\n"));
    Vector("/usr/m/empty", c, "count", Write("empty.nea", "keybuffer 0 1\n"));
    auto* plain = static_cast<nModAnimator*>(kernel->New("nmodanimator", "/usr/m/plain"));
    c->AddAnimator("default", "/usr/m/plain");
    for (int i = 0; i < 3; i++) At(c, 1.0f);
    EXPECT_EQ(Pos(c), "2 1 0");  // the good animation still plays
    EXPECT_EQ(c->calls, 0);
    for (const char* part : {"no command 'nosuchcommand'", "'v_mixed_fi' does not take one to four floats",
                             "no command 'v_count_ff'", "door.txt' is no .nea file", "missing.nea' does not load",
                             "broken.nea' does not load", "empty.nea' holds no keys", "a plain nmodanimator"}) {
        EXPECT_EQ(LogCount(part), 1) << part << "\n" << log.text;
    }
    // The good file only: those that did not load or hold nothing left nothing behind.
    EXPECT_EQ(Envelopes()->GetNumChildren(), 1);
    EXPECT_EQ(plain->GetType(), 0);
}

class ScriptAnimatorTest : public AnimatorTest {
protected:
    void SetUp() override {
        AnimatorTest::SetUp();
        node = Anim("/usr/logic/d");
        ASSERT_TRUE(Run("hits = ''"));
    }
    // Entries at 1 and 3 that append 'a' and 'b' to `hits`.
    nModScriptAnimator* Entries(const char* rep) {
        auto* s = static_cast<nModScriptAnimator*>(kernel->New("nmodscriptanimator", "/usr/m/s"));
        s->SetRepType(rep);
        s->BeginAnims(2);
        s->SetAnim(0, 1.0f, "hits = hits .. 'a'");
        s->SetAnim(1, 3.0f, "hits = hits .. 'b'");
        s->EndAnims();
        node->AddAnimator("default", "/usr/m/s");
        return s;
    }
    std::string HitsAt(float t) {
        At(node, t);
        return Global("hits");
    }
    nLogicAnim* node = nullptr;
};

TEST_F(ScriptAnimatorTest, LoopRunsEachEntryOncePerPeriod) {
    Entries("loop");
    EXPECT_EQ(HitsAt(0.5f), "");
    EXPECT_EQ(HitsAt(1.0f), "a");
    EXPECT_EQ(HitsAt(2.0f), "a");
    // One period ended: the entry it had not run yet runs, and both re-arm.
    EXPECT_EQ(HitsAt(3.2f), "ab");
    EXPECT_EQ(HitsAt(4.1f), "aba");
    EXPECT_EQ(HitsAt(4.5f), "aba");
    // A time below the base time starts counting periods again, so the next period end
    // runs what the period had not run.
    EXPECT_EQ(HitsAt(-0.5f), "aba");
    EXPECT_EQ(HitsAt(3.5f), "abab");
    // Whole periods skipped between two frames run nothing; the next single period end does.
    EXPECT_EQ(HitsAt(9.5f), "abab");
    EXPECT_EQ(HitsAt(12.2f), "ababab");
}

TEST_F(ScriptAnimatorTest, OneShotEntriesRunOnceWithTheNodeCurrent) {
    nModScriptAnimator* s = Entries("oneshot");
    s->SetAnim(0, 1.0f, "hits = hits .. 'a' .. fullcwd()");
    nRoot* before = kernel->New("nroot", "/usr/elsewhere");
    kernel->SetCwd(before);
    At(node, 1.0f);
    EXPECT_EQ(kernel->GetCwd(), before);
    EXPECT_EQ(Global("hits"), "a/usr/logic/d");
    EXPECT_EQ(HitsAt(5.0f), "a/usr/logic/db");
    EXPECT_EQ(HitsAt(10.0f), "a/usr/logic/db");
    EXPECT_EQ(HitsAt(1.0f), "a/usr/logic/db");
}

TEST_F(ScriptAnimatorTest, ScriptsMayReleaseTheirModuleOrNode) {
    // Each would leave the walk reading freed entries or a freed node.
    nModScriptAnimator* s = Entries("oneshot");
    s->SetAnim(0, 1.0f, "hits = hits .. 'a' delete('/usr/m/s')");
    EXPECT_EQ(HitsAt(2.0f), "a");
    EXPECT_EQ(Lookup("/usr/m/s"), nullptr);
    s = Entries("oneshot");
    s->SetAnim(0, 1.0f, "hits = hits .. 'c' obj('/usr/m/s').beginanims(0)");
    EXPECT_EQ(HitsAt(5.0f), "ac");
    s->BeginAnims(1);
    s->SetAnim(0, 0.0f, "hits = hits .. 'd' delete('/usr/logic/d')");
    EXPECT_EQ(HitsAt(6.0f), "acd");
    EXPECT_EQ(Lookup("/usr/logic/d"), nullptr);
}

TEST_F(AnimatorTest, TheNodeRunsItsAnimatorsOncePerFrameWithinItsLength) {
    auto* c = static_cast<nTestAnim*>(Anim("/usr/logic/c", "ntestanim"));
    Vector("/usr/m/count", c, "count", Write("ramp.nea", "keybuffer 2 1\nkey 1 0 0\nkey 1 10 10\n"));
    ASSERT_TRUE(Run("sel('/usr/logic/c') setanimatorlenght('default', 2.0) sel('/')"));
    At(c, 1.0f);
    At(c, 2.0f);
    EXPECT_EQ(c->calls, 2);  // one call a frame: the visual node's Trigger does not animate again
    EXPECT_FLOAT_EQ(c->last, 2.0f);
    At(c, 2.01f);
    EXPECT_EQ(c->calls, 2);
    c->SetAnimatorLength("default", 0.0f);
    At(c, 9.0f);
    EXPECT_EQ(c->calls, 3);
    EXPECT_FLOAT_EQ(c->last, 9.0f);
    EXPECT_FLOAT_EQ(c->GetAnimatorState()->GetTime(), 9.0f);
}

// A oneshot ending before its state's length, as a door's swing does: at any frame step
// each frame up to the last key sends its value, then one frame sends the last key.
TEST_F(AnimatorTest, AOneShotEndsOnItsLastKeyAtEveryFrameStep) {
    auto* c = static_cast<nTestAnim*>(Anim("/usr/logic/c", "ntestanim"));
    Vector("/usr/m/swing", c, "count", Write("swing.nea", "keybuffer 2 1\nkey 1 0 0\nkey 1 1.4 -1.75\n"));
    c->SetAnimatorLength("default", 1.5f);
    for (float step : {1.0f / 60.0f, 0.25f, 0.5f, 1.0f}) {
        c->calls = 0;
        int within = 1;
        for (int k = 0; k * step <= 3.0f; k++) within += float(k) * step <= 1.4f, At(c, float(k) * step);
        EXPECT_FLOAT_EQ(c->last, -1.75f) << step;
        EXPECT_EQ(c->calls, within) << step;
    }
}

}  // namespace
