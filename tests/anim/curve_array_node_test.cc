// Curve-array nodes driving commands of transforms from shared curve files.
#include <cmath>

#include "anim/nAnimCurveArray.h"
#include "anim/nAnimPackage.h"
#include "anim/nCurveArrayNode.h"
#include "anim/nExternalAnimServer.h"
#include "kernel/nTimeServer.h"
#include "scene/n3DNode.h"
#include "tests/scene/SceneFixture.h"

namespace {

// Stands in for the external animation server: curve "x" has id 7 and its value at t is
// (t, id, 0, 0).
class nFakeAnim2 : public nRoot, public nExternalAnimServer {
public:
    static const nClassInfo classInfo;
    class Anim : public nExternalAnim {
    public:
        int FindCurve(const char* name) override { return std::string(name) == "x" ? 7 : -1; }
        void GetValue(float t, int id, nAnimKey& out) override { out = nAnimKey{t, float(id), 0, 0}; }
    };
    nExternalAnim* Open(const char* file, const char* anim) override {
        opened = std::string(file) + "|" + anim;
        return new Anim;
    }
    void Close(nExternalAnim* a) override {
        closes++;
        delete a;
    }
    std::string opened;
    int closes = 0;
};
const nClassInfo nFakeAnim2::classInfo = nClassInfo::Make<nFakeAnim2>("nfakeanim2", "nroot");

const char* const Curves =
    "curves 6\n"
    "curve a 0 1 1.0 loop step\nkey 1 2 3 4\n"
    "curve b 0 1 1.0 loop step\nkey 3 4 5 6\n"
    "curve qa 0 1 1.0 loop quaternion\nkey 0 0 0 1\n"
    "curve qb 0 1 1.0 loop quaternion\nkey 0 0.70710678 0 0.70710678\n"
    "curve qc 0 1 1.0 loop quaternion\nkey 0 1 0 0\n"
    "curve ramp 0 2 1.0 loop linear\nkey 0 0 0 0\nkey 10 20 30 40\n";

class CurveArrayNodeTest : public SceneFixture {
protected:
    void SetUp() override {
        SceneFixture::SetUp();
        nAnimPackage(kernel);
        kernel->AddClass(nFakeAnim2::classInfo);
        kernel->New("nanimserver", "/sys/servers/anim");
        file = Write("fish/curves.txt", Curves);
        root = static_cast<n3DNode*>(kernel->New("n3dnode", "/scene"));
        obj = static_cast<n3DNode*>(kernel->New("n3dnode", "/scene/obj"));
        other = static_cast<n3DNode*>(kernel->New("n3dnode", "/scene/other"));
    }
    void Set(const char* channel, float v) { channels->SetChannel1f(channels->GenChannel(channel), v); }
    nCurveArrayNode* Node(const char* path) { return static_cast<nCurveArrayNode*>(kernel->New("ncurvearraynode", path)); }
    void ExpectT(n3DNode* n, float x, float y, float z) {
        EXPECT_NEAR(n->GetT().x, x, 1e-4f);
        EXPECT_NEAR(n->GetT().y, y, 1e-4f);
        EXPECT_NEAR(n->GetT().z, z, 1e-4f);
    }
    // Bundles "lin" (a by w1, b by w2) and "rot" (qa, qb, qc by w1, w2, w3) driving the
    // translation and the quaternion of /scene/obj.
    nCurveArrayNode* Bundles() {
        EXPECT_TRUE(Run("sel('/scene/obj'); new('ncurvearraynode', 'can'); sel('can'); setfilename('" + file +
                        "'); begincurvebundles(2); beginbundle(0, 'lin', 2); setbundlecurve(0, 'a', 'w1'); "
                        "setbundlecurve(1, 'b', 'w2'); endbundle(); beginbundle(1, 'rot', 3); "
                        "setbundlecurve(0, 'qa', 'w1'); setbundlecurve(1, 'qb', 'w2'); setbundlecurve(2, 'qc', 'w3'); "
                        "endbundle(); endcurvebundles(); beginconnects(2); "
                        "setbundleconnect(0, 'lin', '/scene/obj', 'txyz'); "
                        "setbundleconnect2(1, 'rot', '..', 'qxyzw', 'time'); endconnects(); sel('/')"));
        return static_cast<nCurveArrayNode*>(Lookup("/scene/obj/can"));
    }

    std::string file;
    n3DNode* root = nullptr;
    n3DNode* obj = nullptr;
    n3DNode* other = nullptr;
};

TEST_F(CurveArrayNodeTest, TwoNodesOnOneFileShareOneArrayLoadedOnce) {
    nCurveArrayNode* a = Node("/scene/obj/a");
    a->SetFileName(file.c_str());
    ASSERT_NE(a->GetCurveArray(), nullptr);
    EXPECT_EQ(a->GetCurveArray()->GetNumCurves(), 6);
    // Changed on disk: a second node must not load it again.
    Write("fish/curves.txt", "curves 1\n");
    nCurveArrayNode* b = Node("/scene/obj/b");
    b->SetFileName(file.c_str());
    EXPECT_EQ(a->GetCurveArray(), b->GetCurveArray());
    EXPECT_EQ(b->GetCurveArray()->GetNumCurves(), 6);
    EXPECT_EQ(std::string(b->GetFileName()), file);
    nAnimCurveArray* arr = a->GetCurveArray();
    std::string path = arr->GetFullName();
    a->Release();
    EXPECT_EQ(Lookup(path.c_str()), arr);
    b->Release();
    EXPECT_EQ(Lookup(path.c_str()), nullptr);  // the last user gave it back
}

TEST_F(CurveArrayNodeTest, BundlesSumByClampedWeightsAndQuaternionsBlendByRunningSlerp) {
    Bundles();
    Set("w1", 0.5f);
    Set("w2", 0.5f);
    Set("w3", 0.0f);
    Frame(root);
    ExpectT(obj, 2, 3, 4);
    Set("w1", 1.0f);
    Set("w2", 1.0f);
    Set("w3", 2.0f);  // clamped to 1: 1, 1, 1 blends qa and qb half and half, then by 1/3
    Frame(root);
    ExpectT(obj, 4, 6, 8);
    // 1.7 counts as 1, -0.3 as nothing.
    Set("w1", 1.7f);
    Set("w2", -0.3f);
    Frame(root);
    ExpectT(obj, 1, 2, 3);
    EXPECT_EQ(log.text, "");
}

TEST_F(CurveArrayNodeTest, QuaternionBundleOfWeightsOneOneAndTwoHalves) {
    nCurveArrayNode* can = Bundles();
    // Weights straight into the entries (channels clamp to 1): qa, qb half and half
    // (45 degrees about y), then towards qc (180) by 2/4: 112.5 degrees.
    nCurveBundle rot = *can->GetBundle(1);
    rot.entries[0].weight = 1;
    rot.entries[1].weight = 1;
    rot.entries[2].weight = 2;
    nAnimKey q = can->BlendBundle(rot, 0.0f);
    float half = 112.5f / 2 * float(M_PI) / 180;
    EXPECT_NEAR(q.y, std::sin(half), 1e-3f);
    EXPECT_NEAR(q.w, std::cos(half), 1e-3f);
    for (auto& e : rot.entries) e.weight = 0;
    q = can->BlendBundle(rot, 0.0f);
    EXPECT_FLOAT_EQ(q.w, 1.0f);  // nothing contributes: identity
    // Through a frame, w3 = 0: qa and qb half and half.
    Set("w1", 1.0f);
    Set("w2", 1.0f);
    Set("w3", 0.0f);
    Frame(root);
    EXPECT_NEAR(obj->GetQ().y, std::sin(float(M_PI) / 8), 1e-3f);
    EXPECT_NEAR(obj->GetQ().w, std::cos(float(M_PI) / 8), 1e-3f);
}

TEST_F(CurveArrayNodeTest, CurveConnectsSendAsManyFloatsAsTheCommandTakes) {
    ASSERT_TRUE(Run("sel('/scene/obj'); new('ncurvearraynode', 'can'); sel('can'); setfilename('" + file +
                    "'); beginconnects(2); setcurveconnect(0, 'ramp', '/scene/other', 'tx'); "
                    "setcurveconnect2(1, 'ramp', '..', 'txyz', 'clock'); endconnects()"));
    Set("time", 0.5f);
    Set("clock", 1.5f);
    Frame(root);
    ExpectT(other, 5, 0, 0);
    ExpectT(obj, 5, 10, 15);
    Set("clock", 0.25f);
    Frame(root);
    ExpectT(obj, 2.5f, 5, 7.5f);
    EXPECT_EQ(log.text, "");
    // Saved and loaded back, the node drives the same.
    ASSERT_TRUE(Lookup("/scene/obj/can")->SaveAs(Path("can").c_str()));
    Lookup("/scene/obj/can")->Release();
    kernel->SetCwd(Lookup("/scene/obj"));
    ASSERT_NE(kernel->Load(Path("can.n").c_str()), nullptr);
    kernel->SetCwd(nullptr);
    other->Txyz(0, 0, 0);
    Set("clock", 1.5f);
    Frame(root);
    ExpectT(other, 5, 0, 0);
    ExpectT(obj, 5, 10, 15);
    EXPECT_EQ(log.text, "");
}

TEST_F(CurveArrayNodeTest, BrokenConnectsAreLoggedOnceAndSkipped) {
    ASSERT_TRUE(Run("sel('/scene/obj'); new('ncurvearraynode', 'can'); sel('can'); setfilename('" + file +
                    "'); beginconnects(6); setcurveconnect(0, 'nosuch', '..', 'tx'); "
                    "setcurveconnect(1, 'ramp', '/nowhere', 'tx'); setcurveconnect(2, 'ramp', '..', 'nocmd'); "
                    "setcurveconnect(3, 'ramp', '..', 'setname'); setbundleconnect(4, 'nobundle', '..', 'tx'); "
                    "setcurveconnect(5, 'ramp', '/scene/other', 'ty'); setcurveconnect(9, 'ramp', '..', 'tx'); "
                    "begincurvebundles(1); beginbundle(0, 'b', 1); setbundlecurve(0, 'nosuch', 'w'); "
                    "setbundlecurve(3, 'a', 'w'); endconnects()"));
    EXPECT_TRUE(LogHas("connect 9 of 6"));
    EXPECT_TRUE(LogHas("setbundlecurve: no curve 'nosuch'"));
    log.text.clear();
    Set("time", 0.5f);
    Frame(root);
    Frame(root);
    ExpectT(other, 0, 5, 0);
    for (const char* what : {"nosuch", "/nowhere", "nocmd", "v_setname_s", "nobundle"}) {
        size_t first = log.text.find(what);
        EXPECT_NE(first, std::string::npos) << what;
        EXPECT_EQ(log.text.find(what, first + 1), std::string::npos) << what << " logged twice";
    }
    EXPECT_EQ(std::string(obj->GetName()), "obj");
}

TEST_F(CurveArrayNodeTest, AnimationNamesGoToTheExternalServerWhenThereIsOne) {
    nCurveArrayNode* a = Node("/scene/obj/a");
    a->SetFileName("walk.nax#run");
    EXPECT_EQ(a->GetCurveArray(), nullptr);
    EXPECT_TRUE(LogHas("anim2"));
    auto* server = static_cast<nFakeAnim2*>(kernel->New("nfakeanim2", "/sys/servers/anim2"));
    a->SetFileName("walk.nax#run");
    EXPECT_EQ(server->opened, "walk.nax|run");
    EXPECT_EQ(std::string(a->GetFileName()), "walk.nax");
    a->BeginConnects(1);
    a->SetCurveConnect(0, "x", "..", "txyz", "time");
    a->EndConnects();
    Set("time", 0.75f);
    Frame(root);
    ExpectT(obj, 0.75f, 7, 0);
    a->Release();
    EXPECT_EQ(server->closes, 1);
}

// A connect that data's line sets on the person's node drives no engine command its class
// keeps from data: refused once, logged, skipped; the person's same connect drives it.
TEST_F(CurveArrayNodeTest, DataConnectsReachNoEngineCommand) {
    ASSERT_TRUE(Run("sel('/scene/obj'); new('ncurvearraynode', 'can'); sel('can'); setfilename('" + file +
                    "'); beginconnects(1); setcurveconnect(0, 'ramp', '/scene/other', 'tx'); endconnects(); sel('/')"));
    const char* result = nullptr;
    const std::string line =
        "sel('/scene/obj/can') beginconnects(1) setcurveconnect(0, 'ramp', '/sys/servers/time', 'settimescale') "
        "endconnects() sel('/')";
    ASSERT_TRUE(server->RunLine(line.c_str(), result)) << log.text;
    Set("time", 0.5f);
    Frame(root);
    Frame(root);
    nTimeServer* time = kernel->GetTimeServer();
    EXPECT_EQ(time->GetTimeScale(), 1.0);
    const std::string refused = "refused to script text that data brought: 'settimescale' of '/sys/servers/time'";
    size_t first = log.text.find(refused);
    EXPECT_NE(first, std::string::npos) << log.text;
    EXPECT_EQ(log.text.find(refused, first + 1), std::string::npos) << log.text;
    ASSERT_TRUE(Run(line));
    Frame(root);
    EXPECT_EQ(time->GetTimeScale(), 5.0);
}

}  // namespace
