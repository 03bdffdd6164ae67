// Envelopes: the key-buffer text, sampling, and sharing through the envelope server.
#include <cmath>
#include <string>

#include "anim/nEnvelope.h"
#include "anim/nEnvelopeServer.h"
#include "kernel/nFileServer2.h"
#include "kernel/quaternion.h"
#include "tests/anim/AnimTestKernel.h"
#include "tests/kernel/Respelled.h"

namespace {

struct Values {
    float v[4] = {-99, -99, -99, -99};
};

class EnvelopeTest : public AnimTestKernel {
protected:
    void SetUp() override {
        AnimTestKernel::SetUp();
        server = static_cast<nEnvelopeServer*>(kernel->New("nenvelopeserver", "/sys/servers/envelope"));
        env = server->NewEnvelope("test.nea");
        ASSERT_NE(env, nullptr);
    }
    nFileServer2* fs() { return kernel->GetFileServer(); }
    // Loads `text` as a key file into the test's envelope.
    bool Load(const std::string& text) { return env->LoadKeys(fs(), Write("keys.nea", text).c_str()); }
    Values At(float t, float scale = 1.0f, bool loop = false) {
        Values out;
        env->Sample(cursor, out.v, t, scale, loop);
        return out;
    }
    void ExpectValues(const Values& got, float a, float b, float c, float d, float tol = 1e-5f) {
        EXPECT_NEAR(got.v[0], a, tol);
        EXPECT_NEAR(got.v[1], b, tol);
        EXPECT_NEAR(got.v[2], c, tol);
        EXPECT_NEAR(got.v[3], d, tol);
    }
    void SetKey(int i, float time, int type, float a, float b = 0, float c = 0, float d = 0) {
        const float v[4] = {a, b, c, d};
        ASSERT_TRUE(env->SetKey(i, time, type, v));
    }

    nEnvelopeServer* server = nullptr;
    nEnvelope* env = nullptr;
    int cursor = 0;
};

const char* kLinear = "keybuffer 2 3\nkey 1 0.0 0 0 0\nkey 1 2.0 10 20 30\n";

TEST_F(EnvelopeTest, ServerSharesOneEnvelopePerKeyFile) {
    EXPECT_EQ(nEnvelopeServer::MakeEnvelopeName("data:anims/door.nea"), "data_anims_door_nea");
    EXPECT_EQ(nEnvelopeServer::MakeEnvelopeName("a\\b.c"), "a_b_c");
    std::string longName(600, 'x');
    longName[0] = 'y';
    EXPECT_EQ(nEnvelopeServer::MakeEnvelopeName(longName.c_str()), std::string(511, 'x'));

    EXPECT_EQ(server->FindEnvelope("data:anims/door.nea"), nullptr);
    nEnvelope* door = server->NewEnvelope("data:anims/door.nea");
    ASSERT_NE(door, nullptr);
    EXPECT_EQ(door->GetFullName(), "/sys/share/envelopes/data_anims_door_nea");
    EXPECT_EQ(server->NewEnvelope("data:anims/door.nea"), door);  // the existing one
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());

    // Every Find adds a reference; the last release deletes the envelope.
    EXPECT_EQ(server->FindEnvelope("data:anims/door.nea"), door);
    EXPECT_EQ(door->GetRefCount(), 2);
    EXPECT_FALSE(door->Release());
    EXPECT_TRUE(door->Release());
    EXPECT_EQ(kernel->Lookup("/sys/share/envelopes/data_anims_door_nea"), nullptr);

    // Script input that names nothing, or a foreign object under the name, is no envelope.
    EXPECT_EQ(server->NewEnvelope(""), nullptr);
    kernel->New("nroot", "/sys/share/envelopes/foreign_nea");
    EXPECT_EQ(server->FindEnvelope("foreign.nea"), nullptr);
    EXPECT_EQ(server->NewEnvelope("foreign.nea"), nullptr);
    EXPECT_NE(TakeErrors(), "");
}

TEST_F(EnvelopeTest, ServerReusesAnExistingShareRootAndReleasesIt) {
    // A second server finds the first one's root with its envelopes in place.
    auto* second = static_cast<nEnvelopeServer*>(kernel->New("nenvelopeserver", "/sys/servers/envelope2"));
    nEnvelope* found = second->FindEnvelope("test.nea");
    EXPECT_EQ(found, env);
    found->Release();
    second->Release();
    EXPECT_EQ(kernel->Lookup("/sys/share/envelopes"), nullptr);
}

TEST_F(EnvelopeTest, LinearKeysSampleBetweenAtAndBeyondTheEnds) {
    ASSERT_TRUE(Load(kLinear));
    EXPECT_EQ(env->GetNumKeys(), 2);
    EXPECT_EQ(env->GetKind(), 3);
    ExpectValues(At(1.0f), 5, 10, 15, 0);
    ExpectValues(At(-3.0f), 0, 0, 0, 0);     // before the first key
    ExpectValues(At(7.0f), 10, 20, 30, 0);   // the value at the last key's time
    ExpectValues(At(5.0f, 1.0f, true), 5, 10, 15, 0);  // looped to 1.0
    ExpectValues(At(2.0f, 2.0f), 5, 10, 15, 0);        // the scale stretches the keys
    ExpectValues(At(NAN), 0, 0, 0, 0);
}

TEST_F(EnvelopeTest, StepYieldsTheSegmentStartEverywhere) {
    // The end key's type decides: step on the second key holds the first key's values,
    // also from the last key's time on.
    ASSERT_TRUE(Load("keybuffer 2 3\nkey 1 0.0 0 0 0\nkey 0 2.0 10 20 30\n"));
    for (float t : {0.0f, 1.0f, 1.99f, 2.0f, 10.0f}) ExpectValues(At(t), 0, 0, 0, 0);
}

TEST_F(EnvelopeTest, EaseCubicAndSphericalFollowTheirCurves) {
    ASSERT_TRUE(env->BeginKeys(2, 1));
    SetKey(0, 0.0f, nEnvelope::Linear, 2.0f);
    SetKey(1, 1.0f, nEnvelope::Ease, 6.0f);
    EXPECT_NEAR(At(0.5f).v[0], 4.0f, 1e-6f);   // the mean
    EXPECT_NEAR(At(0.25f).v[0], 2.0f + 4.0f * 0.15625f, 1e-5f);

    // Cubic over keys 0 -> 0, 1 -> 10, 3 -> 20; worked by hand with the mirrored
    // neighbours: first segment T0 = 5, T1 = 20; second T0 = 20, T1 = 5.
    ASSERT_TRUE(env->BeginKeys(3, 1));
    SetKey(0, 0.0f, nEnvelope::Cubic, 0.0f);
    SetKey(1, 1.0f, nEnvelope::Cubic, 10.0f);
    SetKey(2, 3.0f, nEnvelope::Cubic, 20.0f);
    EXPECT_NEAR(At(0.5f).v[0], 3.125f, 1e-5f);
    EXPECT_NEAR(At(2.0f).v[0], 16.875f, 1e-5f);
    EXPECT_NEAR(At(1.0f).v[0], 10.0f, 1e-5f);

    // Keys sharing a time give a zero tangent, never a division by zero: over 0 -> 10,
    // 3 -> 20 with the previous key also at 0, T0 = 0 and T1 = 5.
    SetKey(1, 0.0f, nEnvelope::Cubic, 10.0f);
    EXPECT_NEAR(At(1.5f).v[0], 15.0f - 0.125f * 5.0f, 1e-5f);

    ASSERT_TRUE(env->BeginKeys(2, 4));
    const float s = std::sin(0.7f), c = std::cos(0.7f);
    SetKey(0, 0.0f, nEnvelope::Linear, 0, 0, 0, 1);
    SetKey(1, 4.0f, nEnvelope::Spherical, 0, 0, s, c);
    quaternion q;
    q.Slerp(quaternion(0, 0, 0, 1), quaternion(0, 0, s, c), 0.25f);
    ExpectValues(At(1.0f), q.x, q.y, q.z, q.w, 1e-6f);
    EXPECT_NEAR(std::hypot(q.z, q.w), 1.0f, 1e-5f);
}

TEST_F(EnvelopeTest, CursorsSpeedTheSearchAndStaleOnesAreSafe) {
    ASSERT_TRUE(env->BeginKeys(5, 1));
    for (int i = 0; i < 5; i++) SetKey(i, float(i), nEnvelope::Linear, float(10 * i));
    // Forward with one cursor, then back in time with the same cursor.
    for (float t : {0.5f, 1.5f, 3.5f, 2.5f, 0.25f}) {
        EXPECT_NEAR(At(t).v[0], 10.0f * t, 1e-4f) << t;
        EXPECT_EQ(cursor, int(t) + 1);
        EXPECT_EQ(env->GetSegmentIndex(), int(t) + 1);
    }
    // Two callers with their own cursors on one envelope.
    int a = 0, b = 0;
    float out[4];
    env->Sample(a, out, 3.5f, 1.0f, false);
    env->Sample(b, out, 0.5f, 1.0f, false);
    EXPECT_EQ(a, 4);
    EXPECT_EQ(b, 1);
    // A cursor past the end, negative, or from a longer envelope.
    for (int stale : {5, 99, -7, 1 << 30}) {
        cursor = stale;
        EXPECT_NEAR(At(2.5f).v[0], 25.0f, 1e-4f) << stale;
    }
    ASSERT_TRUE(env->BeginKeys(2, 1));
    SetKey(0, 0.0f, nEnvelope::Linear, 0.0f);
    SetKey(1, 1.0f, nEnvelope::Linear, 1.0f);
    cursor = 4;
    EXPECT_NEAR(At(0.5f).v[0], 0.5f, 1e-6f);
}

TEST_F(EnvelopeTest, FewKeysAndEmptyLoopsNeedNoSegment) {
    ExpectValues(At(1.0f), 0, 0, 0, 0);  // no keys
    ASSERT_TRUE(env->BeginKeys(1, 2));
    SetKey(0, 3.0f, nEnvelope::Linear, 7, 8);
    ExpectValues(At(0.0f), 7, 8, 0, 0);
    ExpectValues(At(9.0f, 1.0f, true), 7, 8, 0, 0);
    // The last key at 0: a loop cannot wrap, the time stays beyond the end.
    ASSERT_TRUE(env->BeginKeys(2, 1));
    SetKey(0, -1.0f, nEnvelope::Linear, 1);
    SetKey(1, 0.0f, nEnvelope::Linear, 3);
    ExpectValues(At(5.0f, 1.0f, true), 3, 0, 0, 0);
    ExpectValues(At(-0.5f, 1.0f, true), 2, 0, 0, 0);
    // Keys made but never set sample as steps (their type is unset), without a stop.
    ASSERT_TRUE(env->BeginKeys(3, 1));
    ExpectValues(At(0.0f), 0, 0, 0, 0);
}

TEST_F(EnvelopeTest, SetKeyRefusesUnknownTypesAndIndices) {
    ASSERT_TRUE(env->BeginKeys(2, 2));
    const float v[4] = {1, 2, 3, 4};
    EXPECT_FALSE(env->SetKey(0, 0.0f, 5, v));
    EXPECT_FALSE(env->SetKey(0, 0.0f, -1, v));
    EXPECT_FALSE(env->SetKey(2, 0.0f, 1, v));
    EXPECT_FALSE(env->SetKey(-1, 0.0f, 1, v));
    EXPECT_NE(TakeErrors(), "");
    EXPECT_EQ(env->GetKey(0)->type, nEnvelope::Unset);
    ASSERT_TRUE(env->SetKey(1, 0.5f, 1, v));
    const nEnvelope::Key* k = env->GetKey(1);
    EXPECT_EQ(k->v[0], 1);
    EXPECT_EQ(k->v[1], 2);
    EXPECT_EQ(k->v[2], 0);  // beyond the kind
    EXPECT_EQ(k->v[3], 0);
    EXPECT_EQ(env->GetKey(2), nullptr);
    EXPECT_FALSE(env->BeginKeys(-1, 1));
    EXPECT_FALSE(env->BeginKeys(nEnvelope::MaxKeys + 1, 1));
    EXPECT_EQ(env->GetNumKeys(), 0);
}

TEST_F(EnvelopeTest, SaveKeysWritesTheTextExactly) {
    ASSERT_TRUE(env->BeginKeys(1, 1));
    SetKey(0, 0.5f, nEnvelope::Linear, 2.0f);
    std::string path = tmp.path + "/one.nea";
    ASSERT_TRUE(env->SaveKeys(fs(), path.c_str()));
    EXPECT_EQ(Read(path), "keybuffer 1 1\nkey 1 0.500000 2.000000\n");
}

TEST_F(EnvelopeTest, SaveThenLoadKeepsEveryKindAndBothForms) {
    for (int kind = 1; kind <= 4; kind++) {
        ASSERT_TRUE(env->BeginKeys(3, kind));
        for (int i = 0; i < 3; i++) SetKey(i, 0.25f * i, i + 1, 1.5f * i, -2.0f, 3.125f, 0.5f * kind);
        std::string path = tmp.path + "/kind" + std::to_string(kind) + ".nea";
        // (file server, name) one way, the one-name form through "/sys/servers/file2" the other.
        ASSERT_TRUE(kind % 2 ? env->SaveKeys(fs(), path.c_str()) : env->SaveKeys(path.c_str()));
        nEnvelope* back = server->NewEnvelope(path.c_str());
        ASSERT_TRUE(kind % 2 ? back->LoadKeys(path.c_str()) : back->LoadKeys(fs(), path.c_str()));
        ASSERT_EQ(back->GetNumKeys(), 3);
        EXPECT_EQ(back->GetKind(), kind);
        for (int i = 0; i < 3; i++) {
            const nEnvelope::Key* a = env->GetKey(i);
            const nEnvelope::Key* b = back->GetKey(i);
            EXPECT_EQ(a->time, b->time);
            EXPECT_EQ(a->type, b->type);
            for (int j = 0; j < 4; j++) EXPECT_EQ(a->v[j], b->v[j]) << kind << " " << i << " " << j;
        }
        back->Release();
    }
}

TEST_F(EnvelopeTest, ReaderToleratesWhatTheFormatAllows) {
    // Blank and foreign lines are skipped, tabs and CRs separate, extra values are
    // ignored, a non-number reads 0, and "keys" is not "key".
    ASSERT_TRUE(Load("# made by hand\r\n\r\nkeybuffer\t2 1\r\nkeys 9 9 9\nkey 1 0 abc 7\nkey 4 1.5 3\n"));
    ASSERT_EQ(env->GetNumKeys(), 2);
    EXPECT_EQ(env->GetKey(0)->v[0], 0.0f);
    EXPECT_EQ(env->GetKey(1)->time, 1.5f);
    EXPECT_EQ(env->GetKey(1)->type, nEnvelope::Ease);
    EXPECT_EQ(TakeErrors(), "");
    ASSERT_TRUE(Load("keybuffer 0 2\n"));
    EXPECT_EQ(env->GetNumKeys(), 0);
}

TEST_F(EnvelopeTest, MalformedKeyFilesAreRefusedAndLeaveNothing) {
    const std::string bad[] = {
        "key 1 0.0 1\nkeybuffer 1 1\n",                        // key before keybuffer
        "keybuffer 1 3\nkey 1 0.0 1 2\n",                      // too few values
        "keybuffer 1 1\nkey 1\n",                              // no time
        "keybuffer 1 1\nkey\n",                                // no type
        "keybuffer 1 1\nkey 1 0 1\nkey 1 1 2\n",               // more keys than the count
        "keybuffer\n",                                         // no count
        "keybuffer 2\n",                                       // no kind
        "keybuffer -1 1\n",
        "keybuffer -5 1\n",
        "keybuffer 99999999999 1\n",                           // absurd
        "keybuffer 1 0\nkey 1 0\n",
        "keybuffer 1 5\nkey 1 0 1 2 3 4 5\n",
        "keybuffer 1 1\nkey 7 0 1\n",                          // unknown type
        "keybuffer 1 1\nkey -1 0 1\n",
        "keybuffer 1 1\nkey 1 nan 1\n",
        "keybuffer 1 1\nkey 1 0 1e40\n",
        "keybuffer 3 1\nkey 1 0 1\n",                          // ends early
        "keybuffer 1 1\nkey 1 0 1 " + std::string(600, '0') + "\n",
    };
    int n = 0;
    for (const std::string& text : bad) {
        ASSERT_TRUE(Load(kLinear));
        ASSERT_EQ(env->GetNumKeys(), 2);
        EXPECT_FALSE(Load(text)) << text;
        EXPECT_EQ(env->GetNumKeys(), 0) << text;
        std::string errors = TakeErrors();
        EXPECT_NE(errors.find("keys.nea"), std::string::npos) << text;
        EXPECT_NE(errors.find("line"), std::string::npos) << text;
        n++;
    }
    EXPECT_EQ(n, 18);
    // The line named is the offending one.
    EXPECT_FALSE(Load("keybuffer 1 1\n\nkey 1 0 1\nkey 1 1 1\n"));
    EXPECT_NE(TakeErrors().find("line 4"), std::string::npos);
}

TEST_F(EnvelopeTest, FilesThatCannotBeOpenedOrKindsThatCannotBeWrittenFail) {
    EXPECT_FALSE(env->LoadKeys(fs(), (tmp.path + "/missing.nea").c_str()));
    EXPECT_FALSE(env->LoadKeys("/nonexistent/dir/x.nea"));
    EXPECT_FALSE(env->SaveKeys(fs(), "/nonexistent/dir/x.nea"));
    TakeErrors();
    // A kind no line format exists for: refused before the file is touched.
    std::string path = tmp.path + "/kind7.nea";
    for (int kind : {0, 7}) {
        ASSERT_TRUE(env->BeginKeys(1, kind));
        EXPECT_FALSE(env->SaveKeys(fs(), path.c_str()));
        EXPECT_NE(TakeErrors(), "");
    }
    std::ifstream probe(path);
    EXPECT_FALSE(probe.good());
}

TEST_F(EnvelopeTest, EverySpellingOfOneKeyFileSharesOneEnvelope) {
    const std::string file = Write("Door.nea", kLinear);
    const std::string other = Write("lid.nea", kLinear);
    nEnvelope* door = server->NewEnvelope(file.c_str());
    ASSERT_NE(door, nullptr);
    EXPECT_EQ(server->FindEnvelope(Respelled(file).c_str()), door);
    EXPECT_EQ(server->NewEnvelope(Respelled(file).c_str()), door);
    EXPECT_EQ(door->GetName(), nEnvelopeServer::MakeEnvelopeName(file.c_str()));
    EXPECT_EQ(server->FindEnvelope(other.c_str()), nullptr);
    door->Release();
    door->Release();
}

}  // namespace
