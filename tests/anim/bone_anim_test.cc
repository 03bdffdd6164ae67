// Bone animation states, ".tkey" key files and the bone animation node under the test
// frame driver.
#include <cmath>
#include <cstring>

#include "anim/nAnimPackage.h"
#include "anim/nBone.h"
#include "anim/nBoneAnim.h"
#include "anim/nBoneAnimState.h"
#include "anim/nBoneKeys.h"
#include "scene/n3DNode.h"
#include "tests/scene/SceneFixture.h"

namespace {

// Binary key files written from the byte layout: u32 bones, u32 keys, then per bone a
// u32 translation index (or 0xCCCCCCCC) with keys x 3 floats, a u32 rotation index (or
// 0xCCCCCCCC) with keys x 4 floats, all little-endian.
struct KeyBytes {
    std::string b;
    void U32(uint32_t v) {
        for (int i = 0; i < 4; i++) b.push_back(char((v >> (8 * i)) & 0xFF));
    }
    void F(float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        U32(v);
    }
};

// Three bones, 3 keys: bone 0 moves along x (0, 1, 2) and turns about y; bone 1 has
// translations (0, k, 0) and no rotation; bone 2 rotations only.
const float Y90 = 0.70710678f;
std::string ThreeBonesBinary() {
    KeyBytes k;
    k.U32(3), k.U32(3);
    k.U32(0);
    for (int i = 0; i < 3; i++) k.F(float(i)), k.F(0), k.F(0);
    k.U32(0);
    for (int i = 0; i < 3; i++) k.F(0), k.F(i == 2 ? Y90 : 0), k.F(0), k.F(i == 2 ? Y90 : 1);
    k.U32(1);
    for (int i = 0; i < 3; i++) k.F(0), k.F(float(i)), k.F(0);
    k.U32(0xCCCCCCCCu);
    k.U32(0xCCCCCCCCu);
    k.U32(2);
    for (int i = 0; i < 3; i++) k.F(0), k.F(0), k.F(0), k.F(1);
    return k.b;
}

// The same keys by hand, in the text form.
const char* const ThreeBonesText =
    "numbones(3)\n"
    "numkeys(3)\n"
    "transkey(0, 0, 0.0, 0.0, 0.0)\ntranskey(0, 1, 1.0, 0.0, 0.0)\ntranskey(0, 2, 2.0, 0.0, 0.0)\n"
    "rotkey(0, 0, 0.0, 0.0, 0.0, 1.0)\nrotkey(0, 1, 0.0, 0.0, 0.0, 1.0)\nrotkey(0, 2, 0.0, 0.70710678, 0.0, 0.70710678)\n"
    "transkey(1, 0, 0.0, 0.0, 0.0)\ntranskey(1, 1, 0.0, 1.0, 0.0)\ntranskey(1, 2, 0.0, 2.0, 0.0)\n"
    "rotkey(2, 0, 0, 0, 0, 1)\nrotkey(2, 1, 0, 0, 0, 1)\nrotkey(2, 2, 0, 0, 0, 1)\n";

// One bone, ten keys at x = 0 .. 9.
std::string TenKeys() {
    std::string s = "numbones(1)\nnumkeys(10)\n";
    for (int i = 0; i < 10; i++) s += "transkey(0, " + std::to_string(i) + ", " + std::to_string(i) + ".0, 0, 0)\n";
    return s;
}

class BoneAnimTest : public SceneFixture {
protected:
    void SetUp() override {
        SceneFixture::SetUp();
        nAnimPackage(kernel);
        root = static_cast<n3DNode*>(kernel->New("n3dnode", "/scene"));
    }
    nBoneAnimState* State(const char* name, const std::string& file, float keyTime) {
        auto* s = static_cast<nBoneAnimState*>(kernel->New("nboneanimstate", (std::string("/scene/") + name).c_str()));
        s->SetKeyFileName(file.c_str());
        s->SetKeyTime(keyTime);
        s->SetWeight(1.0f);
        return s;
    }
    void At(float t) {
        channels->SetChannel1f(channels->GenChannel("time"), t);
        Frame(root);
    }
    // Bone 0's x after the state adds itself to a zero pose at time t.
    float X(nBoneAnimState* s, float t, bool* contributed = nullptr) {
        At(t);
        vector3 T[3];
        quaternion Q[3];
        const bool ok = s->Accumulate(T, Q, 3, 1.0f);
        if (contributed) *contributed = ok;
        return T[0].x;
    }
    n3DNode* root = nullptr;
};

TEST_F(BoneAnimTest, BinaryAndTextKeyFilesLoadTheSameKeys) {
    auto* bin = State("bin", Write("three.bkey", ThreeBonesBinary()), 0.1f);
    auto* txt = State("txt", Write("three.tkey", ThreeBonesText), 0.1f);
    ASSERT_TRUE(bin->LoadKeys());
    ASSERT_TRUE(txt->LoadKeys());
    for (nBoneAnimState* s : {bin, txt}) {
        const nBoneKeyTable& k = s->GetKeys();
        ASSERT_EQ(k.numBones, 3);
        ASSERT_EQ(k.numKeys, 3);
        EXPECT_TRUE(k.bones[1]->rot.empty());  // the marked track is missing
        EXPECT_TRUE(k.bones[2]->trans.empty());
        EXPECT_FLOAT_EQ(k.bones[0]->trans[2].x, 2.0f);
        EXPECT_FLOAT_EQ(k.bones[1]->trans[1].y, 1.0f);
        EXPECT_NEAR(k.bones[0]->rot[2].y, Y90, 1e-6f);
    }
    // The extension from the last '.' decides, exactly.
    EXPECT_TRUE(nBoneKeyTable::IsTextName("a.b/walk.tkey"));
    for (const char* name : {"walk.TKEY", "walk.tkey.bin", "walk", "walk.tkeys"})
        EXPECT_FALSE(nBoneKeyTable::IsTextName(name)) << name;
    EXPECT_EQ(log.text, "");
}

TEST_F(BoneAnimTest, MalformedKeyFilesLoadNothing) {
    const std::string bin = ThreeBonesBinary();
    KeyBytes outside;
    outside.U32(1), outside.U32(2), outside.U32(4);
    for (int i = 0; i < 6; i++) outside.F(0);
    outside.U32(0xCCCCCCCCu);
    KeyBytes huge;
    huge.U32(1), huge.U32(0x10000000u), huge.U32(0), huge.U32(0xCCCCCCCCu);
    const struct {
        const char* name;
        std::string data;
        const char* why;
    } cases[] = {
        {"short.bkey", bin.substr(0, bin.size() - 3), "file ends inside a rotation track"},
        {"header.bkey", bin.substr(0, 6), "file ends inside the header"},
        {"outside.bkey", outside.b, "translation track of a bone out of range"},
        {"huge.bkey", huge.b, "file ends inside a translation track"},
        {"early.tkey", "numbones(1)\nrotkey(0, 0, 0, 0, 0, 1)\n", "key line before \"numkeys(\""},
        {"bone.tkey", "numbones(1)\nnumkeys(2)\ntranskey(1, 0, 0, 0, 0)\n", "bone index out of range"},
        {"key.tkey", "numbones(1)\nnumkeys(2)\nrotkey(0, 2, 0, 0, 0, 1)\n", "key index out of range"},
        {"few.tkey", "numbones(1)\nnumkeys(2)\nrotkey(0, 1, 0, 0)\n", "too few fields"},
        {"count.tkey", "numbones(60000)\nnumkeys(100)\n", "bad key count"},
        {"bones.tkey", "numbones(100000)\n", "bad bone count"},
    };
    for (const auto& c : cases) {
        auto* s = State(c.name, Write(c.name, c.data), 0.1f);
        log.text.clear();
        EXPECT_FALSE(s->LoadKeys()) << c.name;
        EXPECT_FALSE(s->KeysLoaded()) << c.name;
        EXPECT_EQ(s->GetNumBones(), 0) << c.name;
        EXPECT_TRUE(LogHas(c.why)) << c.name << ": " << log.text;
    }
    // A missing text file is named; a missing binary file drops its name silently.
    auto* t = State("gone", Path("gone.tkey"), 0.1f);
    log.text.clear();
    EXPECT_FALSE(t->LoadKeys());
    EXPECT_TRUE(LogHas("Can't open keyfile '" + Path("gone.tkey") + "'"));
    auto* b = State("gonebin", Path("gone.bkey"), 0.1f);
    log.text.clear();
    EXPECT_FALSE(b->LoadKeys());
    EXPECT_EQ(log.text, "");
    EXPECT_STREQ(b->GetKeyFileName(), "");
}

TEST_F(BoneAnimTest, TenKeysLoopEveryNineIntervalsAndOneShotsHold) {
    const std::string file = Write("ten.tkey", TenKeys());
    auto* s = State("loop", file, 0.1f);
    EXPECT_NEAR(X(s, 0.45f), 4.5f, 1e-3f);
    EXPECT_NEAR(X(s, 0.95f), 0.5f, 1e-3f);  // 0.9 s later the cycle starts again
    EXPECT_NEAR(X(s, 1.35f), 4.5f, 1e-3f);

    ASSERT_TRUE(Run("ends = 0"));
    auto* once = State("once", file, 0.1f);
    once->SetRepType("oneshot");
    once->SetCallback("ends = ends + 1");
    EXPECT_NEAR(X(once, 0.5f), 5.0f, 1e-3f);
    EXPECT_EQ(Eval("ends"), "0");
    EXPECT_NEAR(X(once, 2.0f), 9.0f, 1e-3f);
    EXPECT_NEAR(X(once, 3.0f), 9.0f, 1e-3f);
    EXPECT_EQ(Eval("ends"), "1");
    // A reset restarts from the next attach and arms the callback again.
    once->Reset();
    At(3.0f);
    EXPECT_NEAR(X(once, 3.2f), 2.0f, 1e-3f);
    EXPECT_NEAR(X(once, 5.0f), 9.0f, 1e-3f);
    EXPECT_EQ(Eval("ends"), "2");
    // A clock that went back (a load builds the thing anew) starts it afresh, as a reset does.
    X(once, 1.2f);
    EXPECT_NEAR(X(once, 1.4f), 2.0f, 1e-3f);

    // No contribution: a weight within 0.001 of 0 (callbacks included), a key time not
    // set, a negative state time, fewer than 2 keys.
    bool ok = true;
    once->Reset();
    once->SetWeight(0.0005f);
    X(once, 10.0f, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(Eval("ends"), "2");
    auto* unset = State("unset", file, -1.0f);
    X(unset, 1.0f, &ok);
    EXPECT_FALSE(ok);
    auto* early = State("early", file, 0.1f);
    At(1.0f);
    early->SetStateTime(-0.5);
    vector3 T[1];
    quaternion Q[1];
    EXPECT_FALSE(early->Accumulate(T, Q, 1, 1.0f));
    auto* single = State("single", Write("one.tkey", "numbones(1)\nnumkeys(1)\ntranskey(0, 0, 3, 0, 0)\n"), 0.1f);
    X(single, 1.0f, &ok);
    EXPECT_FALSE(ok);
}

TEST_F(BoneAnimTest, AtMostOneKeyScriptRunsAFrame) {
    auto* s = State("keys", Write("ten.tkey", TenKeys()), 0.1f);
    ASSERT_TRUE(Run("hits = ''"));
    s->SetKeyCallback(0, "hits = hits .. '0'");
    s->SetKeyCallback(3, "hits = hits .. '3'");
    s->SetKeyCallback(5, "hits = hits .. '5'");
    s->SetKeyCallback(12, "hits = hits .. 'x'");
    EXPECT_TRUE(LogHas("setkeycallback: key 12 is outside 0 to 9"));
    X(s, 0.05f);  // key 0 from -1
    X(s, 0.15f);  // key 1: nothing
    X(s, 0.65f);  // keys 2 to 6 passed: only the highest with a script, 5
    X(s, 0.75f);
    X(s, 0.95f);  // wrapped to key 0: key 0 runs once per cycle
    X(s, 0.97f);
    X(s, 1.75f);  // key 8: 5 again
    X(s, 1.85f);  // wrapped again
    EXPECT_EQ(Eval("hits"), "05050");
    EXPECT_STREQ(s->GetKeyCallback(3), "hits = hits .. '3'");
    EXPECT_STREQ(s->GetKeyCallback(4), "empty");
}

TEST_F(BoneAnimTest, ModeBitsMaskBoneZeroAndItsMotionMovesTheTarget) {
    auto* s = State("walk", Write("three.tkey", ThreeBonesText), 1.0f);
    auto* target = static_cast<n3DNode*>(kernel->New("n3dnode", "/target"));
    target->Txyz(10, 0, 0);
    s->SetTransMode(true, false, false, false, false, false);
    // Without a target the masked axis of bone 0 is left out of the pose.
    At(1.5f);
    vector3 T[3];
    quaternion Q[3];
    ASSERT_TRUE(s->Accumulate(T, Q, 3, 1.0f));
    EXPECT_FLOAT_EQ(T[0].x, 0.0f);
    EXPECT_FLOAT_EQ(T[1].y, 1.5f);

    // With a target: the first transfer after a reset moves it by the full key pose,
    // weighted; later ones by the difference.
    s->SetTransTarget("/target");
    s->SetWeight(0.5f);
    s->Reset();
    At(2.5f);  // state time 0 after the reset
    vector3 U[3];
    quaternion R[3];
    At(2.9f);
    ASSERT_TRUE(s->Accumulate(U, R, 3, 1.0f));
    EXPECT_NEAR(target->GetT().x, 10.0f + 0.4f * 0.5f, 1e-4f);
    At(3.4f);
    s->Accumulate(U, R, 3, 1.0f);
    EXPECT_NEAR(target->GetT().x, 10.0f + 0.9f * 0.5f, 1e-4f);
    EXPECT_TRUE(s->StartCaptured());
    // Freeze mode stops the transfer.
    s->SetFreezeMode(true);
    At(3.6f);
    s->Accumulate(U, R, 3, 1.0f);
    EXPECT_NEAR(target->GetT().x, 10.45f, 1e-4f);
    // The target dies: the state forgets it.
    target->Release();
    EXPECT_EQ(s->GetTransTarget(), nullptr);
}

TEST_F(BoneAnimTest, TheBoneAnimationSumsItsStates) {
    ASSERT_TRUE(Run("sel('/scene'); new('nbonesystem', 'sys'); sel('sys'); new('nbone', 'root'); sel('root'); "
                    "otxyz(0, 5, 0); new('nbone', 'b1'); sel('/')"));
    const std::string file = Write("three.tkey", ThreeBonesText);
    ASSERT_TRUE(Run("sel('/scene/sys'); new('nboneanim', 'anim'); sel('anim'); beginbones(3); "
                    "setbone(0, 'root'); setbone(1, 'nobody'); setbone(1, 'b1'); setbone(2, 'nobody'); "
                    "setbone(7, 'root'); endbones(); "
                    "new('nboneanimstate', 'a'); sel('a'); setkeyfilename('" + file + "'); setkeytime(1); anim(1); "
                    "sel('..'); new('nboneanimstate', 'b'); sel('b'); setkeyfilename('" + file + "'); setkeytime(1); "
                    "anim(1); sel('/')"));
    EXPECT_TRUE(LogHas("setbone: bone 7 is outside 0 to 2"));
    auto* anim = static_cast<nBoneAnim*>(Lookup("/scene/sys/anim"));
    EXPECT_EQ(anim->GetBone(1), Lookup("/scene/sys/root/b1"));  // the last one set
    EXPECT_EQ(anim->GetBone(2), nullptr);
    // A node of another class among the children does not count.
    kernel->New("n3dnode", "/scene/sys/anim/other");
    At(1.0f);
    // Two states of weight 1 add fully, on the rest offset: root at y 5, x 1 + 1.
    auto* rootBone = static_cast<nBone*>(Lookup("/scene/sys/root"));
    EXPECT_NEAR(rootBone->GetT().x, 2.0f, 1e-4f);
    EXPECT_NEAR(rootBone->GetT().y, 5.0f, 1e-4f);
    EXPECT_NEAR(static_cast<nBone*>(Lookup("/scene/sys/root/b1"))->GetT().y, 2.0f, 1e-4f);
    // Normalised: each contributes half, by the weights of the previous evaluation.
    anim->SetNormStates(true);
    At(1.0f);
    EXPECT_NEAR(rootBone->GetT().x, 1.0f, 1e-4f);
    EXPECT_EQ(anim->GetNumBones(), 3);
}

TEST_F(BoneAnimTest, SavedStatesAndAnimationsLoadBackAndAnimateTheSame) {
    const std::string file = Write("ten.tkey", TenKeys());
    ASSERT_TRUE(Run("sel('/scene'); new('n3dnode', 'target'); new('nbonesystem', 'sys'); sel('sys'); "
                    "new('nbone', 'root'); new('nboneanim', 'anim'); sel('anim'); setnormstates(true); beginbones(1); "
                    "setbone(0, 'root'); endbones(); new('nboneanimstate', 'walk'); sel('walk'); setreptype('oneshot'); "
                    "setweightchannel('w_walk'); setkeytime(0.1); settranstarget('/scene/target'); "
                    "settransmode(false, true, false, false, false, true); setkeyfilename('" + file + "'); sel('/')"));
    ASSERT_TRUE(Lookup("/scene")->SaveAs(Path("scene").c_str()));
    std::string text;
    {
        FILE* f = std::fopen(Path("scene.n").c_str(), "rb");
        ASSERT_NE(f, nullptr);
        char buf[16384];
        text.assign(buf, std::fread(buf, 1, sizeof buf, f));
        std::fclose(f);
    }
    size_t at = 0;
    for (const char* cmd : {"setnormstates(", "beginbones(", "setbone(", "endbones(", "setreptype(",
                            "setweightchannel(", "setkeytime(", "settranstarget(", "settransmode(", "setkeyfilename("}) {
        const size_t p = text.find(cmd, at);
        ASSERT_NE(p, std::string::npos) << cmd << "\n" << text;
        at = p;
    }
    channels->SetChannel1f(channels->GenChannel("w_walk"), 1.0f);
    At(0.45f);  // the first evaluation has no factor yet
    At(0.45f);
    const float before = static_cast<nBone*>(Lookup("/scene/sys/root"))->GetT().x;
    EXPECT_NEAR(before, 4.5f, 1e-3f);
    Lookup("/scene")->Release();
    kernel->SetCwd(nullptr);
    ASSERT_NE(kernel->Load(Path("scene.n").c_str()), nullptr);
    root = static_cast<n3DNode*>(Lookup("/scene"));
    At(0.45f);  // the first evaluation after loading has no factor yet
    At(0.45f);
    EXPECT_NEAR(static_cast<nBone*>(Lookup("/scene/sys/root"))->GetT().x, before, 1e-3f);
}

}  // namespace
