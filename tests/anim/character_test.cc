// Character skeletons, instance blending, the character server and the character node
// under the test frame driver (recording servers).
#include <cmath>
#include <cstring>

#include "anim/nAnimCurveArray.h"
#include "anim/nAnimPackage.h"
#include "anim/nCharSkin.h"
#include "anim/nCharacterInstance.h"
#include "anim/nCharacterNode.h"
#include "anim/nCharacterServer.h"
#include "gfx/nVertexBuffer.h"
#include "gfx/nVertexPool.h"
#include "scene/n3DNode.h"
#include "tests/scene/SceneFixture.h"

namespace {

constexpr float S = 0.70710678f;

void ExpectV(const vector3& v, float x, float y, float z, const char* what = "") {
    EXPECT_NEAR(v.x, x, 1e-4f) << what;
    EXPECT_NEAR(v.y, y, 1e-4f) << what;
    EXPECT_NEAR(v.z, z, 1e-4f) << what;
}

void ExpectQ(const quaternion& q, const quaternion& e) {
    // q and -q are one rotation.
    const float d = q.x * e.x + q.y * e.y + q.z * e.z + q.w * e.w;
    EXPECT_NEAR(std::fabs(d), 1.0f, 1e-4f) << q.x << " " << q.y << " " << q.z << " " << q.w;
}

// Hand-written curves of the test character: joints root, arm, hand; state "idle" with
// animation "a", state "wave" with "b" (root up 2, arm turned 90 degrees about z).
const char* const Curves =
    "curves 4\n"
    "curve idle_a_trans_root 0 1 1.0 loop step\nkey 0 0 0 0\n"
    "curve idle_a_rot_arm 0 1 1.0 loop quaternion\nkey 0 0 0 1\n"
    "curve wave_b_trans_root 0 1 1.0 loop step\nkey 0 2 0 0\n"
    "curve wave_b_rot_arm 0 1 1.0 loop quaternion\nkey 0 0 0.70710678 0.70710678\n";

class CharacterTest : public SceneFixture {
protected:
    void SetUp() override {
        SceneFixture::SetUp();
        nAnimPackage(kernel);
        kernel->New("nanimserver", "/sys/servers/anim");
        file = Write("chars/diver.txt", Curves);
    }
    void SetF(const char* channel, float v) { channels->SetChannel1f(channels->GenChannel(channel), v); }
    void SetState(const char* text) { channels->SetChannelString(channels->GenChannel("charstate"), text); }
    // The character of the Lua definition below at /scene/char, with hardpoint node
    // /scene/char/hp on the hand and the state node /scene/char/wave (a transform with
    // a self-drawing child "probe").
    nCharacterNode* Define() {
        EXPECT_TRUE(Run("new('n3dnode', '/scene'); sel('/scene'); new('ncharacternode', 'char'); sel('char'); "
                        "setanimfile('" + file + "'); beginjoints(3); "
                        "addjoint(0, 'root', -1, 0, 0, 0, 0, 0, 0, 1); addjoint(1, 'arm', 0, 1, 0, 0, 0, 0, 0, 1); "
                        "addjoint(2, 'hand', 1, 1, 0, 0, 0, 0, 0, 1); endjoints(); "
                        "beginstates(2); addstate(0, 'idle'); addstate(1, 'wave'); "
                        "beginstateanims(0, 1); addstateanim(0, 0, 'a', 'w_idle'); endstateanims(0); "
                        "beginstateanims(1, 1); addstateanim(1, 0, 'b', 'w_wave'); endstateanims(1); "
                        "new('n3dnode', 'hp'); beginhardpoints(1); addhardpoint(0, 2, 'hp'); endhardpoints(); "
                        "sel('/')"));
        Transform("/scene/char/wave", 0, 0, 0);
        Node("/scene/char/wave/probe", nTestVisNode::Other);
        EXPECT_TRUE(Run("sel('/scene/char'); endstates(); sel('/')"));
        SetF("w_idle", 1);
        SetF("w_wave", 1);
        return static_cast<nCharacterNode*>(Lookup("/scene/char"));
    }
    // One frame at time t in render context `ctx`.
    void FrameAt(float t, uint32_t ctx = 0) {
        SetF("time", t);
        sceneEvents.clear();
        gfx->BeginScene();
        sg->BeginScene(matrix44());
        sg->SetRenderContext(ctx);
        static_cast<nVisNode*>(Lookup("/scene"))->Attach(sg);
        sg->EndScene(true);
        gfx->EndScene();
    }
    nCharacterInstance* Instance(nCharacterNode* c, uint32_t ctx = 0) {
        auto* server = static_cast<nCharacterServer*>(Lookup("/sys/servers/character"));
        return server ? server->FindCharacter(nCharacterServer::MakeKey(ctx, c->GetNodeId())) : nullptr;
    }
    vector3 Hand(nCharacterNode* c, uint32_t ctx = 0) { return Instance(c, ctx)->skeleton.GetJoint(2)->matrix.Translation(); }
    bool ProbeComputed() {
        for (const std::string& e : Computes())
            if (e == "probe") return true;
        return false;
    }

    std::string file;
};

TEST_F(CharacterTest, SkeletonSkinIsIdentityAtRestAndCopyRelinksParents) {
    nCharSkeleton sk;
    ASSERT_TRUE(sk.BeginJoints(3));
    EXPECT_TRUE(sk.AddJoint(0, "root", -1, vector3(0, 1, 0), quaternion()));
    EXPECT_TRUE(sk.AddJoint(1, "arm", 0, vector3(1, 0, 0), quaternion(0, 0, S, S)));
    EXPECT_TRUE(sk.AddJoint(2, "hand", 1, vector3(1, 0, 0), quaternion()));
    // A parent that is not an earlier joint, and an index outside: refused, unchanged.
    EXPECT_FALSE(sk.AddJoint(1, "bad", 2, vector3(), quaternion()));
    EXPECT_FALSE(sk.AddJoint(3, "bad", 0, vector3(), quaternion()));
    EXPECT_EQ(sk.GetJoint(1)->name, "arm");
    ExpectV(sk.GetJoint(2)->restMatrix.Translation(), 1, 0, 0, "rest chain");

    nCharSkeleton copy;
    copy.Copy(sk);
    EXPECT_FALSE(copy.IsOpen());
    for (int j = 0; j < 3; j++) {
        nCharJoint* joint = copy.GetJoint(j);
        joint->Evaluate();
        EXPECT_TRUE(joint->skinMatrix.isequal(matrix44(), 1e-5f)) << j;
    }
    EXPECT_EQ(copy.GetJoint(2)->parent, copy.GetJoint(1));
    EXPECT_EQ(copy.GetJoint(0)->parent, nullptr);
    // Moving the copy's arm moves the copy's hand, not the original's.
    copy.GetJoint(1)->translation = vector3(2, 0, 0);
    for (int j = 0; j < 3; j++) copy.GetJoint(j)->Evaluate();
    ExpectV(copy.GetJoint(2)->matrix.Translation(), 2, 0, 0, "copy hand");
    ExpectV(copy.GetJoint(2)->skinMatrix.Translation(), 1, 0, 0, "skin = inverse rest x current");
    ExpectV(sk.GetJoint(2)->matrix.Translation(), 0, 0, 0, "original untouched");
}

// The blending rules on an instance of two animations over one joint: "m_x_trans_j" of
// animation x and rotation curves, made in memory.
class InstanceTest : public CharacterTest {
protected:
    void SetUp() override {
        CharacterTest::SetUp();
        const char* text =
            "curves 4\n"
            "curve s_a_trans_j 0 1 1.0 loop step\nkey 4 0 0 0\n"
            "curve s_b_trans_j 0 1 1.0 loop step\nkey 0 8 0 0\n"
            "curve s_a_rot_j 0 1 1.0 loop quaternion\nkey 0 0 0 1\n"
            "curve s_b_rot_j 0 1 1.0 loop quaternion\nkey 0 0 1 0\n";
        ASSERT_TRUE(curves.ReadText(text, std::strlen(text), "test"));
        inst.skeleton.BeginJoints(1);
        inst.skeleton.AddJoint(0, "j", -1, vector3(), quaternion());
        // State 0 plays a and b, state 1 the same with b first.
        set.Begin(nullptr, 2);
        const char* names[2][2] = {{"a", "b"}, {"b", "a"}};
        for (int st = 0; st < 2; st++) {
            set.states[size_t(st)].anims.resize(2);
            for (int i = 0; i < 2; i++) {
                nCharStateAnim& a = set.states[size_t(st)].anims[size_t(i)];
                const std::string n = names[st][i];
                a.transCurves = {curves.FindCurve(("s_" + n + "_trans_j").c_str())};
                a.rotCurves = {curves.FindCurve(("s_" + n + "_rot_j").c_str())};
            }
        }
        inst.stateSet = &set;
    }
    nAnimCurveArray curves;
    nCharStateSet set;
    nCharacterInstance inst;
};

TEST_F(InstanceTest, WeightsFollowTheirChannelsAtTheFadeRate) {
    const float targets[2] = {1, 0};
    // A frame of 2 s moves each weight by 0.1 / 0.25, not to its target.
    inst.weights[0] = 0, inst.weights[1] = 1;
    inst.Evaluate(2.0f, targets);
    EXPECT_NEAR(inst.weights[0], 0.4f, 1e-5f);
    EXPECT_NEAR(inst.weights[1], 0.6f, 1e-5f);
    // Time going backwards: the state restarts there and the step is 0.01 / 0.25.
    inst.weights[0] = 0, inst.weights[1] = 1;
    inst.stateStartTime = 1.5f;
    inst.Evaluate(1.0f, targets);
    EXPECT_FLOAT_EQ(inst.stateStartTime, 1.0f);
    EXPECT_NEAR(inst.weights[0], 0.04f, 1e-5f);
    // 0.25 and 0.75 held: 0.25 a + 0.75 b, slerp(a, b, 0.75).
    const float mix[2] = {0.25f, 0.75f};
    inst.weights[0] = 0.25f, inst.weights[1] = 0.75f;
    inst.Evaluate(1.1f, mix);
    const nCharJoint* j = inst.skeleton.GetJoint(0);
    ExpectV(j->translation, 1, 6, 0);
    quaternion e;
    e.Slerp(quaternion(0, 0, 0, 1), quaternion(0, 0, 1, 0), 0.75f);
    ExpectQ(j->rotation, e);
    // All channels at 0: nothing contributes and the joint keeps its pose.
    const float none[2] = {0, 0};
    inst.weights[0] = inst.weights[1] = 0;
    inst.Evaluate(1.2f, none);
    ExpectV(j->translation, 1, 6, 0);
    ExpectQ(j->rotation, e);
}

TEST_F(InstanceTest, OnlyLaterStateChangesCrossFadeFromThePreviousPose) {
    const float first[2] = {1, 0};
    inst.Evaluate(0.0f, first);
    ExpectV(inst.skeleton.GetJoint(0)->translation, 4, 0, 0);
    // The first change: no fade.
    inst.SetState(1, 1.0f);
    inst.Evaluate(1.0f, first);
    ExpectV(inst.skeleton.GetJoint(0)->translation, 0, 8, 0);
    // The second: from the previous frame's pose, half way after 0.125 s.
    inst.SetState(0, 2.0f);
    inst.Evaluate(2.0f, first);
    ExpectV(inst.skeleton.GetJoint(0)->translation, 0, 8, 0);
    inst.Evaluate(2.125f, first);
    ExpectV(inst.skeleton.GetJoint(0)->translation, 2, 4, 0);
    inst.Evaluate(2.5f, first);
    ExpectV(inst.skeleton.GetJoint(0)->translation, 4, 0, 0);
    EXPECT_EQ(inst.stateChanges, 2);
}

TEST_F(CharacterTest, ServerKeysInstancesByContextAndNode) {
    auto* server = static_cast<nCharacterServer*>(kernel->New("ncharacterserver", "/sys/servers/character"));
    EXPECT_EQ(server->NewNodeId(), 0);
    EXPECT_EQ(server->NewNodeId(), 1);
    nCharacterInstance* a = server->NewCharacter(nCharacterServer::MakeKey(0, 5));
    nCharacterInstance* b = server->NewCharacter(nCharacterServer::MakeKey(1, 5));
    nCharacterInstance* c = server->NewCharacter(nCharacterServer::MakeKey(1, 6));
    EXPECT_EQ(server->FindCharacter((1u << 16) | 5), b);
    server->RemoveCharacters(nCharacterServer::MakeKey(1, 5), 0xFFFFFFFFu);
    EXPECT_EQ(server->FindCharacter((1u << 16) | 5), nullptr);
    EXPECT_EQ(server->FindCharacter(5), a);
    server->NewCharacter(nCharacterServer::MakeKey(3, 5));
    server->RemoveCharacters(5, 0xFFFF);  // every context of node 5
    EXPECT_EQ(server->GetNumCharacters(), 1);
    EXPECT_EQ(server->FindCharacter((1u << 16) | 6), c);
}

TEST_F(CharacterTest, TheStateChannelSwitchesStatesAndTheirNodes) {
    nCharacterNode* ch = Define();
    EXPECT_EQ(log.text, "");
    ch->AddRenderContext(0);
    auto* hp = static_cast<n3DNode*>(Lookup("/scene/char/hp"));

    // Before any change: state 0 at the channel time.
    SetState("");
    FrameAt(0.5f);
    nCharacterInstance* inst = Instance(ch);
    ASSERT_NE(inst, nullptr);
    EXPECT_EQ(inst->currentState, 0);
    ExpectV(Hand(ch), 2, 0, 0, "idle");
    EXPECT_FALSE(ProbeComputed());
    ExpectV(hp->GetLocalMatrix().Translation(), 2, 0, 0, "hardpoint");

    // The first change takes effect at once: root up 2, arm turned: hand at (1, 1, 0).
    SetState("wave");
    FrameAt(1.0f);
    EXPECT_EQ(inst->currentState, 1);
    ExpectV(Hand(ch), 1, 1, 0, "wave");
    ExpectV(hp->GetLocalMatrix().Translation(), 1, 1, 0, "hardpoint follows");
    EXPECT_TRUE(ProbeComputed());

    // Unknown names, an empty text and the current name change nothing.
    for (const char* text : {"nope", "", "wave"}) {
        SetState(text);
        FrameAt(1.5f);
        EXPECT_EQ(inst->currentState, 1) << text;
        EXPECT_EQ(inst->stateChanges, 1) << text;
        EXPECT_FLOAT_EQ(inst->stateStartTime, 1.0f) << text;
    }

    // The second change fades from the last pose over 0.25 s.
    SetState("idle");
    FrameAt(2.0f);
    ExpectV(Hand(ch), 1, 1, 0, "fade start");
    EXPECT_FALSE(ProbeComputed());
    FrameAt(2.3f);
    ExpectV(Hand(ch), 2, 0, 0, "faded");
    EXPECT_EQ(log.text, "");
}

TEST_F(CharacterTest, TwoRenderContextsKeepSeparateInstances) {
    nCharacterNode* ch = Define();
    ch->AddRenderContext(0);
    ch->AddRenderContext(1);
    SetState("wave");
    FrameAt(1.0f, 1);
    SetState("idle");
    FrameAt(1.0f, 0);
    EXPECT_EQ(Instance(ch, 1)->currentState, 1);
    EXPECT_EQ(Instance(ch, 0)->currentState, 0);
    ExpectV(Hand(ch, 1), 1, 1, 0);
    ExpectV(Hand(ch, 0), 2, 0, 0);
    // A context without an instance is skipped.
    FrameAt(1.0f, 2);
    ch->RemoveRenderContext(1);
    EXPECT_EQ(Instance(ch, 1), nullptr);
    EXPECT_NE(Instance(ch, 0), nullptr);
    auto* server = static_cast<nCharacterServer*>(Lookup("/sys/servers/character"));
    ch->Release();
    EXPECT_EQ(server->GetNumCharacters(), 0);
}

TEST_F(CharacterTest, BadDefinitionsAreLoggedAndChangeNothing) {
    ASSERT_TRUE(Run("new('ncharacternode', '/c'); sel('/c'); beginstates(2)"));
    EXPECT_TRUE(LogHas("no curve file loaded"));
    EXPECT_EQ(Eval("getnumstates()"), "0");
    log.text.clear();
    ASSERT_TRUE(Run("setanimfile('" + file + "'); beginjoints(2); addjoint(0, 'a', -1, 0,0,0, 0,0,0,1); "
                    "addjoint(1, 'b', 1, 0,0,0, 0,0,0,1); addjoint(2, 'c', 0, 0,0,0, 0,0,0,1); endjoints(); "
                    "beginstates(1); addstate(0, '.'); addstate(0, '..'); addstate(0, ''); addstate(1, 'x'); "
                    "beginstateanims(0, 33); addstateanim(0, 0, 'a', 'w'); beginhardpoints(1); "
                    "addhardpoint(0, 5, 'hp'); addhardpoint(1, 0, 'hp')"));
    for (const char* what : {"addjoint: joint 1 with parent 1", "addjoint: joint 2", "'.' is no state name",
                             "'..' is no state name", "'' is no state name", "addstate: state 1",
                             "beginstateanims: 33 animations", "addstateanim: animation 0",
                             "addhardpoint: joint 5", "addhardpoint: hardpoint 1"})
        EXPECT_TRUE(LogHas(what)) << what;
    EXPECT_EQ(Eval("getstate(0)"), "");
    EXPECT_EQ(Eval("getnumstateanims(0)"), "0");
    EXPECT_EQ(Eval("getnumjoints()"), "2");
}

// Counts a script gives are bounded where they are taken: past its bound a count is
// refused with a log line and the table keeps its size; the bound itself is taken.
// Unbounded, the first call asks for gigabytes (the sanitizer build stops there).
TEST_F(CharacterTest, ScriptCountsPastTheirBoundsAreRefusedAndChangeNothing) {
    ASSERT_TRUE(Run("new('ncharacternode', '/c'); sel('/c'); setanimfile('" + file + "'); "
                    "beginjoints(2); beginstates(2); beginhardpoints(2); "
                    "new('nboneanim', '/b'); sel('/b'); beginbones(2); "
                    "new('nspriterender', '/s'); sel('/s'); beginkeys(2); "
                    "new('ntrailrender', '/t'); sel('/t'); beginkeys(2); sel('/')"));
    sg->BeginMipLod(2);
    struct Case {
        const char* obj;
        const char* begin;
        const char* count;
        int bound;
    };
    const Case cases[] = {
        {"/c", "beginjoints", "getnumjoints()", 32768},  {"/c", "beginstates", "getnumstates()", 65536},
        {"/c", "beginhardpoints", "getnumhardpoints()", 2048}, {"/b", "beginbones", "getnumbones()", 65536},
        {"/s", "beginkeys", "getnumkeys()", 65536},       {"/t", "beginkeys", "getnumkeys()", 65536},
        {"/sys/servers/sgraph2", "beginmiplod", nullptr, 65535},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.obj) + " " + c.begin);
        auto count = [&] {
            return c.count ? Eval("obj('" + std::string(c.obj) + "')." + c.count) : std::to_string(sg->GetNumMipLod());
        };
        auto begin = [&](long long n) {
            return Run("obj('" + std::string(c.obj) + "')." + c.begin + "(" + std::to_string(n) + ")");
        };
        for (long long n : {2147483647LL, (long long)c.bound + 1, -1LL}) {
            log.text.clear();
            ASSERT_TRUE(begin(n));
            EXPECT_EQ(count(), "2") << n;
            EXPECT_TRUE(LogHas(c.begin) && LogHas(std::to_string(n))) << log.text;
        }
        ASSERT_TRUE(begin(c.bound));
        EXPECT_EQ(count(), std::to_string(c.bound));
        ASSERT_TRUE(begin(2));
    }
}

TEST_F(CharacterTest, SaveWritesThePartsInOrderAndReloadsToTheSamePose) {
    nCharacterNode* ch = Define();
    ch->SetCastShadow(true);
    ch->SetRenderSkeleton(true);
    ASSERT_TRUE(ch->SaveAs(Path("char").c_str()));
    std::string text;
    {
        FILE* f = std::fopen(Path("char.n").c_str(), "rb");
        ASSERT_NE(f, nullptr);
        char buf[8192];
        size_t n = std::fread(buf, 1, sizeof buf, f);
        std::fclose(f);
        text.assign(buf, n);
    }
    size_t at = 0;
    for (const char* cmd : {"setreadonly", "setskinmesh", "setcastshadow", "setstatechannel", "setanimfile",
                            "beginjoints", "addjoint", "endjoints", "beginstates", "addstate", "beginstateanims",
                            "addstateanim", "endstateanims", "endstates", "beginhardpoints", "addhardpoint",
                            "endhardpoints"}) {
        size_t p = text.find(std::string(".") + cmd + "(", at);
        if (p == std::string::npos) p = text.find(std::string(cmd) + "(", at);
        ASSERT_NE(p, std::string::npos) << cmd << " in order in\n" << text;
        at = p;
    }
    EXPECT_EQ(text.find("setrenderskeleton"), std::string::npos);

    // Cloned: the clone animates like the original.
    kernel->SetCwd(Lookup("/scene"));
    auto* clone = static_cast<nCharacterNode*>(ch->Clone("twin"));
    kernel->SetCwd(nullptr);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->GetNumHardpoints(), 1);
    EXPECT_EQ(clone->GetStateSet().GetNumStates(), 2);
    ch->AddRenderContext(0);
    clone->AddRenderContext(0);
    SetState("wave");
    FrameAt(1.0f);
    ExpectV(Hand(clone), 1, 1, 0, "clone");
    ExpectV(Hand(ch), 1, 1, 0, "original");

    // A node without states saves no hardpoints.
    ASSERT_TRUE(Run("new('ncharacternode', '/bare'); sel('/bare'); beginhardpoints(1); sel('/')"));
    ASSERT_TRUE(Lookup("/bare")->SaveAs(Path("bare").c_str()));
    FILE* f = std::fopen(Path("bare.n").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buf[4096];
    text.assign(buf, std::fread(buf, 1, sizeof buf, f));
    std::fclose(f);
    EXPECT_EQ(text.find("beginhardpoints"), std::string::npos);
}

// Pool buffers in ordinary memory for the skin pass.
class SkinPassTest : public CharacterTest {
protected:
    nVertexBuffer* PoolBuffer(const char* path, int components, int count) {
        pools.push_back(std::make_unique<nVertexPool>(gfx, nullptr, nVertexPool::STATIC, components, 64));
        pools.back()->Alloc();
        auto* vb = static_cast<nVertexBuffer*>(kernel->New("nvertexbuffer", path));
        vb->SetRange(pools.back()->AllocRange(count), gfx, 0);
        return vb;
    }
    void TearDown() override {
        kernel->Lookup("/vb")->Release();
        CharacterTest::TearDown();
        pools.clear();
    }
    std::vector<std::unique_ptr<nVertexPool>> pools;
};

TEST_F(SkinPassTest, PositionsAndNormalsSumWeightedJointTransforms) {
    const int comps = N_VT_COORD | N_VT_NORM | N_VT_RGBA | N_VT_UV0 | N_VT_UV2 | N_VT_JW;
    nVertexBuffer* src = PoolBuffer("/vb/src", comps, 4);
    nVertexBuffer* dst = PoolBuffer("/vb/dst", comps & ~N_VT_JW, 4);
    ASSERT_TRUE(src->Lock());
    ASSERT_TRUE(dst->Lock());
    struct Row {
        float p[3], n[3], w[4];
        int32_t j[4];
    };
    const Row rows[4] = {
        {{1, 0, 0}, {0, 1, 0}, {0.25f, 0.75f, 0, 0}, {0, 1, 0, 0}},
        {{1, 2, 3}, {1, 0, 0}, {0, 0, 0, 0}, {0, 1, 0, 0}},       // no weight: origin, zero normal
        {{1, 0, 0}, {0, 1, 0}, {0.5f, 0.5f, 0, 0}, {0, 9, 0, 0}},  // joint 9 outside: adds nothing
        {{0, 0, 1}, {0, 0, 1}, {2, 0, 0, 0}, {1, 0, 0, 0}},        // weights as stored, not renormalised
    };
    const size_t ss = size_t(src->GetStride());
    for (size_t v = 0; v < 4; v++) {
        std::memcpy(src->GetCoordPtr() + v * ss, rows[v].p, 12);
        std::memcpy(src->GetNormPtr() + v * ss, rows[v].n, 12);
        std::memcpy(src->GetJointPtr(0) + v * ss, rows[v].w, 16);
        std::memcpy(src->GetJointPtr(1) + v * ss, rows[v].j, 16);
        src->GetColorPtr()[v * ss] = 0xFF102030u + uint32_t(v);
        src->GetUvPtr(0)[v * ss] = float(v), src->GetUvPtr(0)[v * ss + 1] = 0.5f;
        src->GetUvPtr(2)[v * ss] = -float(v), src->GetUvPtr(2)[v * ss + 1] = 2.0f;
    }
    // Joint 0 moves by (0, 0, 5); joint 1 turns 90 degrees about z.
    matrix44 m0, m1;
    m0.Translate(vector3(0, 0, 5));
    m1.SetQuaternion(quaternion(0, 0, S, S));
    const matrix44* joints[2] = {&m0, &m1};
    float caster[12] = {};
    nCharSkin::Deform(src, joints, 2, dst, caster);
    const size_t ds = size_t(dst->GetStride());
    auto pos = [&](size_t v) { const float* p = dst->GetCoordPtr() + v * ds; return vector3(p[0], p[1], p[2]); };
    auto nrm = [&](size_t v) { const float* p = dst->GetNormPtr() + v * ds; return vector3(p[0], p[1], p[2]); };
    // 0.25 (1, 0, 5) + 0.75 (0, -1, 0); normals 0.25 (0, 1, 0) + 0.75 (1, 0, 0).
    ExpectV(pos(0), 0.25f, -0.75f, 1.25f, "mixed");
    ExpectV(nrm(0), 0.75f, 0.25f, 0, "mixed normal");
    ExpectV(pos(1), 0, 0, 0, "no weights");
    ExpectV(nrm(1), 0, 0, 0, "no weights normal");
    ExpectV(pos(2), 0.5f, 0, 2.5f, "joint outside");
    ExpectV(pos(3), 0, 0, 2, "weight 2");
    ExpectV(vector3(caster[9], caster[10], caster[11]), 0, 0, 2, "caster");
    for (size_t v = 0; v < 4; v++) {
        EXPECT_EQ(dst->GetColorPtr()[v * ds], 0xFF102030u + v);
        EXPECT_EQ(dst->GetUvPtr(0)[v * ds], float(v));
        EXPECT_EQ(dst->GetUvPtr(2)[v * ds + 1], 2.0f);
    }
    src->Unlock();
    dst->Unlock();
}

}  // namespace
