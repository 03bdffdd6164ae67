// Curves, curve arrays, their two file forms and the animation server that shares them.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "anim/nAnimCurveArray.h"
#include "anim/nAnimServer.h"
#include "kernel/nFileServer2.h"
#include "tests/anim/AnimTestKernel.h"
#include "tests/kernel/Respelled.h"

namespace {

nAnimKey K(float x, float y = 0, float z = 0, float w = 0) { return nAnimKey{x, y, z, w}; }

void ExpectKey(const nAnimKey& k, float x, float y, float z, float w, float tol = 1e-5f) {
    EXPECT_NEAR(k.x, x, tol);
    EXPECT_NEAR(k.y, y, tol);
    EXPECT_NEAR(k.z, z, tol);
    EXPECT_NEAR(k.w, w, tol);
}

// Ten keys whose x is the key index.
nAnimCurve Ramp(int repeat, int ipol = nAnimCurve::Linear, int startKey = 0) {
    nAnimCurve c;
    c.Init(4.0f, startKey, 10, false);
    c.SetRepeatType(repeat);
    c.SetIpolType(ipol);
    for (int i = 0; i < 10; i++) c.SetKey(i, K(float(i), 2.0f * i));
    return c;
}

}  // namespace

TEST(AnimCurve, LoopTimesWrapFromAbsoluteTimeAndNegativeTimesStayInRange) {
    nAnimCurve c = Ramp(nAnimCurve::Loop);
    ExpectKey(c.GetValue(3.0f), 2, 4, 0, 0);        // k = 12 -> key 2
    ExpectKey(c.GetValue(0.375f), 1.5f, 3, 0, 0);   // halfway between keys 1 and 2
    ExpectKey(c.GetValue(2.375f), 4.5f, 9, 0, 0);   // key 9 blends towards key 0
    // -0.125 s is half a key before key 0: between key 9 and key 0.
    ExpectKey(c.GetValue(-0.125f), 4.5f, 9, 0, 0);
    ExpectKey(c.GetValue(-2.5f), 0, 0, 0, 0);
    for (float t : {-1e9f, 1e9f, 3e38f, -INFINITY, NAN}) {
        nAnimKey v = c.GetValue(t);
        EXPECT_TRUE(v.x >= 0.0f && v.x <= 9.0f) << t;
    }
    c.SetIpolType(nAnimCurve::Step);
    ExpectKey(c.GetValue(0.49f), 1, 2, 0, 0);
}

// The key index wraps by a multiplication instead of a division and float linear loops take a
// shorter route than the other curves: both must pick the same keys as a plain modulo for every
// key count, far into the wraps, including times the fast route hands to the general one.
TEST(AnimCurve, WrappedKeysMatchAPlainModuloForAnyKeyCountAndRoute) {
    const float times[] = {0.0f,        0.5f,        6.75f,       239.5f,      240.0f,      1000000.25f,
                           16777215.0f, 16777216.0f, 123456792.0f, 2147483392.0f, 2147483520.0f, 4294967040.0f};
    for (int n : {1, 2, 3, 7, 10, 240, 4097, 65521}) {
        for (int ipol : {int(nAnimCurve::Linear), int(nAnimCurve::Step)}) {
            nAnimCurve c;
            c.Init(1.0f, 0, n, false);
            c.SetIpolType(ipol);
            for (int k = 0; k < n; k++) c.SetKey(k, K(float(k), -float(k)));
            for (float t : times) {
                double fl = std::floor(double(t));
                int i = int(std::fmod(fl, double(n)));
                int j = i + 1 == n ? 0 : i + 1;
                float f = float(double(t) - fl);
                float x = ipol == nAnimCurve::Step ? float(i) : float(i) + (float(j) - float(i)) * f;
                nAnimKey v = c.GetValue(t);
                EXPECT_EQ(v.x, x) << "n " << n << " ipol " << ipol << " t " << t;
                EXPECT_EQ(v.y, -x) << "n " << n << " ipol " << ipol << " t " << t;
            }
        }
    }
    // A packed curve and one switched to oneshot after its keys must leave the float loop route.
    nAnimCurve p;
    p.Init(1.0f, 0, 4, true);
    for (int k = 0; k < 4; k++) p.SetKey(k, K(0.25f * k));
    EXPECT_NEAR(p.GetValue(5.5f).x, 0.375f, 1e-4f);
    nAnimCurve o = Ramp(nAnimCurve::Loop);
    ExpectKey(o.GetValue(5.0f), 0, 0, 0, 0);
    o.SetRepeatType(nAnimCurve::Oneshot);
    ExpectKey(o.GetValue(5.0f), 9, 18, 0, 0);
    o.SetRepeatType(nAnimCurve::Loop);
    ExpectKey(o.GetValue(5.0f), 0, 0, 0, 0);
}

TEST(AnimCurve, OneshotHoldsItsEdgesAndItsLastIntervalBlendsTowardsKeyZero) {
    nAnimCurve c = Ramp(nAnimCurve::Oneshot);
    EXPECT_FLOAT_EQ(c.GetEndTime(), 2.5f);
    ExpectKey(c.GetValue(-1.0f), 0, 0, 0, 0);
    ExpectKey(c.GetValue(2.5f), 9, 18, 0, 0);
    ExpectKey(c.GetValue(100.0f), 9, 18, 0, 0);
    ExpectKey(c.GetValue(2.375f), 4.5f, 9, 0, 0);
    // The start key shifts only the span; the index still comes from the absolute time.
    nAnimCurve s = Ramp(nAnimCurve::Oneshot, nAnimCurve::Linear, 2);
    EXPECT_FLOAT_EQ(s.GetStartTime(), 0.5f);
    ExpectKey(s.GetValue(0.25f), 0, 0, 0, 0);
    ExpectKey(s.GetValue(0.75f), 3, 6, 0, 0);
    ExpectKey(s.GetValue(3.0f), 9, 18, 0, 0);
}

TEST(AnimCurve, CurvesWithoutKeysGiveZeroOrTheIdentity) {
    nAnimCurve c;
    ExpectKey(c.GetValue(1.0f), 0, 0, 0, 0);
    c.SetIpolType(nAnimCurve::Quat);
    ExpectKey(c.GetValue(1.0f), 0, 0, 0, 1);
    c.SetRepeatType(nAnimCurve::Oneshot);
    ExpectKey(c.GetValue(-5.0f), 0, 0, 0, 1);
}

TEST(AnimCurve, PackingFollowsTheFileEncodingInFloat) {
    EXPECT_EQ(nAnimCurve::Pack(1.0f), 65535);
    EXPECT_EQ(nAnimCurve::Pack(-1.0f), 0);
    EXPECT_EQ(nAnimCurve::Pack(5.0f), 65535);
    EXPECT_EQ(nAnimCurve::Pack(-5.0f), 0);
    EXPECT_EQ(nAnimCurve::Pack(0.0f), 32768);
    EXPECT_EQ(nAnimCurve::Unpack(32768), 0.0000152587890625f);
    EXPECT_EQ(nAnimCurve::Unpack(0), -1.0f);
    EXPECT_NEAR(nAnimCurve::Unpack(65535), 1.0f, 1e-6f);
    // A packed quaternion curve slerps between decoded keys.
    nAnimCurve q;
    q.Init(1.0f, 0, 2, true);
    q.SetIpolType(nAnimCurve::Quat);
    q.SetKey(0, K(0, 0, 0, 1));
    q.SetKey(1, K(0, std::sin(0.5f), 0, std::cos(0.5f)));
    nAnimKey h = q.GetValue(0.5f);
    EXPECT_NEAR(h.y, std::sin(0.25f), 1e-3f);
    EXPECT_NEAR(h.w, std::cos(0.25f), 1e-3f);
}

class AnimCurveFileTest : public AnimTestKernel {
protected:
    void SetUp() override {
        AnimTestKernel::SetUp();
        fs = static_cast<nFileServer2*>(kernel->Lookup("/sys/servers/file2"));
        arr = static_cast<nAnimCurveArray*>(kernel->New("nanimcurvearray", "/arr"));
    }
    std::string SourceFile(const char* rel) {
        const char* dir = std::getenv("BW_SOURCE_DIR");
        return std::string(dir ? dir : ".") + "/" + rel;
    }
    // The array is unchanged: one curve "keep".
    void ExpectUnchanged() {
        ASSERT_EQ(arr->GetNumCurves(), 1);
        EXPECT_EQ(arr->GetCurve(0)->GetName(), "keep");
    }
    void Keep() {
        const char* t = "curves 1\ncurve keep 0 1 1 loop linear\nkey 1 2 3 4\n";
        ASSERT_TRUE(arr->ReadText(t, std::strlen(t), "keep"));
    }
    nFileServer2* fs = nullptr;
    nAnimCurveArray* arr = nullptr;
};

TEST_F(AnimCurveFileTest, NaxFromAnIndependentWriterLoadsWhateverItsBlockTagsSay) {
    std::string path = SourceFile("tests/anim/data/two_curves.nax");
    ASSERT_TRUE(arr->LoadBinary(fs, path.c_str())) << TakeErrors();
    ASSERT_EQ(arr->GetNumCurves(), 2);
    nAnimCurve* rot = arr->FindCurve("rot");
    nAnimCurve* pos = arr->FindCurve("pos");
    ASSERT_TRUE(rot && pos);
    EXPECT_EQ(rot, arr->GetCurve(0));
    EXPECT_TRUE(rot->IsPacked());
    EXPECT_EQ(rot->GetIpolType(), nAnimCurve::Quat);
    EXPECT_EQ(rot->GetRepeatType(), nAnimCurve::Loop);
    EXPECT_EQ(rot->GetNumKeys(), 4);
    EXPECT_FLOAT_EQ(rot->GetKeysPerSecond(), 2.0f);
    ExpectKey(rot->GetKey(2), 0, std::sin(float(M_PI) / 2), 0, std::cos(float(M_PI) / 2), 1e-4f);
    EXPECT_FALSE(pos->IsPacked());
    EXPECT_EQ(pos->GetRepeatType(), nAnimCurve::Oneshot);
    EXPECT_EQ(pos->GetStartKey(), 1);
    ExpectKey(pos->GetValue(1.5f), 3, 0, 0, 0);
    ExpectKey(pos->GetValue(10.0f), 4, 0, 0, 0);
    EXPECT_EQ(arr->GetByteSize(), 4u * 8 + 3u * 16);
}

TEST_F(AnimCurveFileTest, BinaryAndTextFormsRoundTrip) {
    std::string path = SourceFile("tests/anim/data/two_curves.nax");
    ASSERT_TRUE(arr->LoadBinary(fs, path.c_str()));
    std::string bin = tmp.path + "/copy.nax", txt = tmp.path + "/copy.txt";
    ASSERT_TRUE(arr->SaveBinary(fs, bin.c_str()));
    ASSERT_TRUE(arr->SaveText(fs, txt.c_str()));
    for (const std::string& f : {bin, txt}) {
        auto* b = static_cast<nAnimCurveArray*>(kernel->New("nanimcurvearray", "/b"));
        ASSERT_TRUE(f == bin ? b->LoadBinary(fs, f.c_str()) : b->LoadText(fs, f.c_str())) << TakeErrors();
        ASSERT_EQ(b->GetNumCurves(), 2);
        for (int c = 0; c < 2; c++) {
            nAnimCurve* x = arr->GetCurve(c);
            nAnimCurve* y = b->GetCurve(c);
            EXPECT_EQ(x->GetName(), y->GetName());
            EXPECT_EQ(x->IsPacked(), y->IsPacked());
            EXPECT_EQ(x->GetIpolType(), y->GetIpolType());
            EXPECT_EQ(x->GetRepeatType(), y->GetRepeatType());
            EXPECT_EQ(x->GetStartKey(), y->GetStartKey());
            EXPECT_EQ(x->GetNumKeys(), y->GetNumKeys());
            EXPECT_FLOAT_EQ(x->GetKeysPerSecond(), y->GetKeysPerSecond());
            for (int k = 0; k < x->GetNumKeys(); k++) {
                nAnimKey a = x->GetKey(k), v = y->GetKey(k);
                ExpectKey(v, a.x, a.y, a.z, a.w, 1e-4f);
            }
        }
        b->Release();
    }
    // The binary copy is byte for byte what the format says, tags included.
    std::string bytes = Read(bin);
    ASSERT_GE(bytes.size(), 20u);
    EXPECT_EQ(bytes.substr(0, 4), "0XAN");
    EXPECT_EQ(bytes.substr(12, 4), "RDHC");
    EXPECT_NE(bytes.find("PTDC"), std::string::npos);
    EXPECT_NE(bytes.find("VTDC"), std::string::npos);
    EXPECT_EQ(Read(txt).substr(0, 44), "curves 2\ncurve rot 0 4 2.000000 loop quatern");
}

TEST_F(AnimCurveFileTest, TextCurvesFillInOrderAndPackQuaternions) {
    const char* text =
        "# comment\n\ncurves 2\r\n"
        "curve swim 0 2 12.000000 oneshot quaternion\n"
        "key 0 0 0 1\nkey 0 1 0 0\n";
    ASSERT_TRUE(arr->ReadText(text, std::strlen(text), "t")) << TakeErrors();
    ASSERT_EQ(arr->GetNumCurves(), 2);
    EXPECT_TRUE(arr->GetCurve(0)->IsPacked());
    EXPECT_EQ(arr->GetCurve(0)->GetRepeatType(), nAnimCurve::Oneshot);
    // The second curve was announced but never described: defaults, no keys.
    nAnimCurve* d = arr->GetCurve(1);
    EXPECT_EQ(d->GetNumKeys(), 0);
    EXPECT_EQ(d->GetIpolType(), nAnimCurve::Linear);
    EXPECT_FLOAT_EQ(d->GetKeysPerSecond(), 12.0f);
    // Any repeat name other than "oneshot" loops.
    const char* odd = "curves 1\ncurve a 0 1 1 sometimes step\n";
    ASSERT_TRUE(arr->ReadText(odd, std::strlen(odd), "t"));
    EXPECT_EQ(arr->GetCurve(0)->GetRepeatType(), nAnimCurve::Loop);
}

TEST_F(AnimCurveFileTest, MalformedTextIsRefusedWhole) {
    const char* bad[] = {
        "curves\n",
        "curves 1\ncurve a 0 1 1 loop\n",
        "curves 1\ncurve a 0 1 1 loop cubic\n",
        "curve a 0 1 1 loop linear\n",
        "curves 1\ncurve a 0 1 1 loop linear\ncurve b 0 1 1 loop linear\n",
        "curves 1\ncurve a 0 1 1 loop linear\nkey 1 2 3 4\nkey 1 2 3 4\n",
        "curves 1\ncurve a 0 1 1 loop linear\nkey 1 2 3\n",
        "curves 1\ncurve a 0 1 0 loop linear\n",
        "curves 1\ncurve a 0 1 -4 loop linear\n",
        "curves 1\ncurve a 0 -1 4 loop linear\n",
        "curves 1\ncurve a 0 999999999 4 loop linear\n",
        "curves 1\nkey 1 2 3 4\n",
        "curves x\n",
        "curves 1\ncurve a 0 1 1 loop linear\nkey 1 b 3 4\n",
    };
    for (const char* t : bad) {
        Keep();
        TakeErrors();
        EXPECT_FALSE(arr->ReadText(t, std::strlen(t), "bad")) << t;
        EXPECT_NE(TakeErrors(), "") << t;
        ExpectUnchanged();
    }
    std::string longLine = "curves 1\ncurve " + std::string(600, 'a') + " 0 1 1 loop linear\n";
    EXPECT_FALSE(arr->ReadText(longLine.data(), longLine.size(), "long"));
    ExpectUnchanged();
    EXPECT_FALSE(arr->LoadText(fs, (tmp.path + "/missing.txt").c_str()));
    ExpectUnchanged();
}

TEST_F(AnimCurveFileTest, MalformedNaxIsRefusedWhole) {
    std::string good = Read(SourceFile("tests/anim/data/two_curves.nax"));
    ASSERT_GT(good.size(), 60u);
    auto with = [&](size_t at, std::string bytes) {
        std::string s = good;
        s.replace(at, bytes.size(), bytes);
        return s;
    };
    std::vector<std::string> bad = {
        with(0, "XXXX"),                                     // magic
        good.substr(0, good.size() - 1),                     // last key cut short
        good.substr(0, 10),                                  // head cut short
        with(8, std::string("\xff\xff\xff\x0f", 4)),         // N beyond the file
        with(24, std::string("\xff\xff\xff\x0f", 4)),        // K beyond the file
        with(36, std::string("\x00\x02", 2)),                // L = 512
        with(36, std::string("\xf0\x00", 2)),                // L beyond the file
        with(28, std::string("\x00\x00\x00\x00", 4)),        // 0 keys per second
        with(28, std::string("\x00\x00\x80\xbf", 4)),        // -1 keys per second
        with(32, std::string("\x03", 1)),                    // interpolation 3
        with(33, std::string("\x02", 1)),                    // repeat 2
    };
    for (size_t i = 0; i < bad.size(); i++) {
        Keep();
        TakeErrors();
        EXPECT_FALSE(arr->ReadBinary(bad[i].data(), bad[i].size(), "bad")) << i;
        EXPECT_NE(TakeErrors(), "") << i;
        ExpectUnchanged();
    }
    EXPECT_FALSE(arr->LoadBinary(fs, (tmp.path + "/missing.nax").c_str()));
    ExpectUnchanged();
}

TEST_F(AnimCurveFileTest, NaxNamesEndAtAZeroByteSoTheIndexFindsThem) {
    std::string bytes = Read(SourceFile("tests/anim/data/two_curves.nax"));
    ASSERT_GT(bytes.size(), 41u);
    bytes[39] = '\0';  // "rot" becomes "r", then a zero, then "t"
    ASSERT_TRUE(arr->ReadBinary(bytes.data(), bytes.size(), "zero"));
    EXPECT_EQ(arr->GetCurve(0)->GetName(), "r");
    EXPECT_EQ(arr->FindCurve("r"), arr->GetCurve(0));
}

class AnimServerTest : public AnimTestKernel {
protected:
    void SetUp() override {
        AnimTestKernel::SetUp();
        server = static_cast<nAnimServer*>(kernel->New("nanimserver", "/sys/servers/anim"));
    }
    nAnimServer* server = nullptr;
};

TEST_F(AnimServerTest, ArraysAreSharedByTheirMangledNameAndFindAddsAReference) {
    EXPECT_EQ(nAnimServer::MakeArrayName("anims:fish/swim.nax"), "anims_fish_swim_nax");
    std::string longName = "x" + std::string(599, 'a');
    EXPECT_EQ(nAnimServer::MakeArrayName(longName.c_str()), std::string(511, 'a'));
    EXPECT_EQ(server->FindAnimCurveArray("a/b.nax"), nullptr);
    nAnimCurveArray* a = server->NewAnimCurveArray("a/b.nax");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetFullName(), "/sys/share/animcurves/a_b_nax");
    int refs = a->GetRefCount();
    EXPECT_EQ(server->FindAnimCurveArray("a_b.nax"), a);
    EXPECT_EQ(a->GetRefCount(), refs + 1);
    a->Release();
    a->Release();
    EXPECT_EQ(kernel->Lookup("/sys/share/animcurves/a_b_nax"), nullptr);
    // Another class under the name is not handed out as an array.
    kernel->New("nroot", "/sys/share/animcurves/odd");
    EXPECT_EQ(server->FindAnimCurveArray("odd"), nullptr);
    EXPECT_EQ(server->NewAnimCurveArray("odd"), nullptr);
    EXPECT_EQ(server->NewAnimCurveArray(""), nullptr);
    EXPECT_NE(TakeErrors(), "");
}

// Curve arrays of one file in any spelling are one shared array, named after the first
// spelling; another file is another array.
TEST_F(AnimServerTest, EverySpellingOfOneFileFindsOneArray) {
    const std::string file = Write("Swim.nax", "x");
    const std::string other = Write("turn.nax", "x");
    nAnimCurveArray* a = server->NewAnimCurveArray(file.c_str());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetName(), nAnimServer::MakeArrayName(file.c_str()));
    EXPECT_EQ(server->FindAnimCurveArray(Respelled(file).c_str()), a);
    EXPECT_EQ(server->FindAnimCurveArray(other.c_str()), nullptr);
    nAnimCurveArray* b = server->NewAnimCurveArray(other.c_str());
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    a->Release();
    a->Release();
    b->Release();
}
