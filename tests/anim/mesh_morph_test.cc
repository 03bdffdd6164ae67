// The morph and wave nodes on meshes in ordinary memory: what they leave in the scene
// node, read back by a probe, and how they meet bad keys and sources.
#include <gtest/gtest.h>

#include <cmath>

#include "anim/nAnimPackage.h"
#include "anim/nMeshEffect.h"
#include "anim/nMeshIpol.h"
#include "gfx/nVertexBuffer.h"
#include "kernel/nRandom.h"
#include "tests/scene/MorphFixture.h"

namespace {

constexpr int All = N_VT_COORD | N_VT_NORM | N_VT_RGBA | N_VT_UV0;

class MeshMorphTest : public MorphFixture {
protected:
    void SetUp() override {
        MorphFixture::SetUp();
        nAnimPackage(kernel);
        MakeScene();
        a = {{0.0f, 0.0f, 0.0f, 0x00000000u}, {1.0f, 2.0f, 3.0f, 0xFF102030u}, {-4.0f, 0.5f, 7.0f, 0x80FF00FFu}};
        b = {{2.0f, -1.0f, 0.5f, 0xFFFFFFFFu}, {1.0f, 6.0f, -3.0f, 0x00000000u}, {4.0f, 0.25f, 9.0f, 0x80FF00FFu}};
        boxA.vmin = vector3(-4, 0, 0), boxA.vmax = vector3(1, 2, 7);
        boxB.vmin = vector3(1, -1, -3), boxB.vmax = vector3(4, 6, 9);
        Source("/src/a", a, All, boxA);
        Source("/src/b", b, All, boxB);
    }
    nMeshIpol* Ipol(const char* repType = "loop") {
        auto* ipol = static_cast<nMeshIpol*>(kernel->New("nmeshipol", "/scene/morph"));
        ipol->SetReadOnly(true);
        ipol->SetRepType(repType);
        probe->target = ipol;
        return ipol;
    }

    std::vector<MorphVertex> a, b;
    bbox3 boxA, boxB;
};

TEST_F(MeshMorphTest, MorphBlendsEveryComponentAndTheBox) {
    nMeshIpol* ipol = Ipol();
    ipol->BeginKeys(2);
    ASSERT_TRUE(ipol->SetKey(0, 0.0f, "/src/a"));
    ASSERT_TRUE(ipol->SetKey(1, 1.0f, "../../src/b"));
    SetChannel("time", 0.25f);
    Step();
    ASSERT_TRUE(probe->produced) << TakeLog();
    // The update flags are all clear, and still every component blends.
    EXPECT_EQ(probe->components, All);
    auto lerp = [](float x, float y) { return x + (y - x) * 0.25f; };
    for (size_t v = 0; v < a.size(); v++) {
        EXPECT_EQ(probe->coords[v * 3 + 0], lerp(a[v].x, b[v].x));
        EXPECT_EQ(probe->coords[v * 3 + 1], lerp(a[v].y, b[v].y));
        EXPECT_EQ(probe->coords[v * 3 + 2], lerp(a[v].z, b[v].z));
        EXPECT_EQ(probe->normals[v * 3 + 2], lerp(a[v].x, b[v].x));
        EXPECT_EQ(probe->uv0[v * 2 + 1], lerp(a[v].y, b[v].y));
    }
    // k = 64: 0 -> 255 gives 63, 255 -> 0 gives 191, equal channels stay.
    EXPECT_EQ(probe->colors[0], 0x3F3F3F3Fu);
    EXPECT_EQ(probe->colors[1], 0xBF0C1824u);
    EXPECT_EQ(probe->colors[2], 0x80FF00FFu);
    EXPECT_EQ(probe->box.vmin.y, lerp(0.0f, -1.0f));
    EXPECT_EQ(probe->box.vmax.z, lerp(7.0f, 9.0f));

    // Looping: 1.25 is 0.25 again.
    SetChannel("time", 1.25f);
    Step();
    EXPECT_EQ(probe->coords[0], lerp(a[0].x, b[0].x));
    EXPECT_EQ(TakeLog(), "");
}

TEST_F(MeshMorphTest, AOneshotMorphHoldsItsFirstKeyUntilItsTime) {
    nMeshIpol* ipol = Ipol("oneshot");
    ipol->BeginKeys(2);
    ipol->SetKey(0, 1.0f, "/src/a");
    ipol->SetKey(1, 2.0f, "/src/b");
    for (float t : {-3.0f, 0.0f, 0.99f}) {
        SetChannel("time", t);
        Step();
        ASSERT_TRUE(probe->produced);
        for (size_t v = 0; v < a.size(); v++) EXPECT_EQ(probe->coords[v * 3 + 1], a[v].y) << t;
        EXPECT_EQ(probe->colors[1], a[1].color);
    }
    // Past the end it holds the last key.
    SetChannel("time", 5.0f);
    Step();
    EXPECT_EQ(probe->coords[4], b[1].y);
    // The same keys looping: logged once, the first key held until its time.
    ipol->SetRepType("loop");
    SetChannel("time", 0.5f);
    Step();
    Step();
    EXPECT_EQ(probe->coords[4], a[1].y);
    std::string logged = TakeLog();
    EXPECT_NE(logged.find("first key"), std::string::npos);
    EXPECT_EQ(logged.find("first key"), logged.rfind("first key"));
}

TEST_F(MeshMorphTest, BadKeysDrawNothingAndAreLoggedOnce) {
    nMeshIpol* ipol = Ipol();
    SetChannel("time", 0.5f);
    // No keys, then one key.
    Step();
    ipol->BeginKeys(1);
    ipol->SetKey(0, 0.0f, "/src/a");
    Step();
    EXPECT_FALSE(probe->produced);
    // Outside the table, and a table too large.
    EXPECT_FALSE(ipol->SetKey(1, 1.0f, "/src/b"));
    EXPECT_FALSE(ipol->SetKey(-1, 1.0f, "/src/b"));
    ipol->BeginKeys(70000);
    EXPECT_EQ(ipol->GetNumKeys(), 1);
    EXPECT_NE(TakeLog(), "");

    struct Case {
        const char* key1;
        const char* expect;
    } cases[] = {
        {"/src/missing", "not found"},
        {"/src/short", "differ"},
        {"/src/fewer", "differ"},
        {".", "leads back"},
        {"/sys", "not a visual node"},
    };
    Source("/src/short", {{0, 0, 0}, {1, 1, 1}}, All, boxA);
    Source("/src/fewer", a, N_VT_COORD | N_VT_RGBA, boxA);
    for (const Case& c : cases) {
        ipol->BeginKeys(2);
        ipol->SetKey(0, 0.0f, "/src/a");
        ipol->SetKey(1, 1.0f, c.key1);
        Step();
        Step();
        EXPECT_FALSE(probe->produced) << c.key1;
        std::string logged = TakeLog();
        EXPECT_NE(logged.find(c.expect), std::string::npos) << c.key1 << ": " << logged;
        EXPECT_EQ(logged.find('\n'), logged.size() - 1) << "logged more than once: " << logged;
    }
    // Good keys again: drawn.
    ipol->SetKey(1, 1.0f, "/src/b");
    Step();
    EXPECT_TRUE(probe->produced);
}

class MeshEffectTest : public MeshMorphTest {
protected:
    nMeshEffect* Effect() {
        auto* fx = static_cast<nMeshEffect*>(kernel->New("nmesheffect", "/scene/wave"));
        fx->SetReadOnly(true);
        probe->target = fx;
        return fx;
    }
};

TEST_F(MeshEffectTest, TheWaveMovesXBySineAndCopiesTheRest) {
    nMeshEffect* fx = Effect();
    fx->SetMeshNode("/src/a");
    fx->SetAmplitude(0.0f);
    SetChannel("time", 3.0f);
    Step();
    ASSERT_TRUE(probe->produced) << TakeLog();
    for (size_t v = 0; v < a.size(); v++) {
        EXPECT_EQ(probe->coords[v * 3], a[v].x);
        EXPECT_EQ(probe->coords[v * 3 + 1], a[v].y);
        EXPECT_EQ(probe->normals[v * 3 + 2], a[v].x);
        EXPECT_EQ(probe->uv0[v * 2 + 1], a[v].y);
        EXPECT_EQ(probe->colors[v], a[v].color);
    }
    EXPECT_EQ(probe->box.vmax.z, boxA.vmax.z);

    Source("/src/peak", {{0.0f, 1.5707964f, 0.0f}}, N_VT_COORD, boxA);
    fx->SetMeshNode("/src/peak");
    fx->SetAmplitude(1.0f);
    fx->SetFrequency(1.0f);
    SetChannel("time", 0.0f);
    Step();
    ASSERT_EQ(probe->coords.size(), 3u);
    EXPECT_NEAR(probe->coords[0], 1.0f, 1e-6f);
    EXPECT_EQ(probe->coords[1], 1.5707964f);
    EXPECT_EQ(probe->coords[2], 0.0f);
}

TEST_F(MeshEffectTest, TwinkleFramesShiftEverythingByTheEngineGenerator) {
    nMeshEffect* fx = Effect();
    fx->SetMeshNode("/src/a");
    fx->SetAmplitude(0.0f);
    fx->SetTwinkle(true);
    for (uint32_t seed : {1u, 5u, 77u, 1234u}) {
        nRandom::Seed(seed);
        const int r = nRandom::Next() % 10 + 1;
        const float d = float(r <= 5 ? r : 5 - r);
        nRandom::Seed(seed);
        // t = 0 counts as a twinkle frame (0 is divisible by 150).
        SetChannel("time", 0.0f);
        Step();
        for (size_t v = 0; v < a.size(); v++) {
            EXPECT_EQ(probe->coords[v * 3], a[v].x + d);
            EXPECT_EQ(probe->coords[v * 3 + 2], a[v].z + d);
        }
    }
    // 0.25 s = 250000000 ns is no multiple of 150: no shift, and no number drawn.
    nRandom::Seed(9);
    SetChannel("time", 0.25f);
    Step();
    EXPECT_EQ(probe->coords[0], a[0].x);
    EXPECT_EQ(nRandom::GetState(), 9u);
}

// (A source without coordinates is skipped as well, but no pool makes such a buffer.)
TEST_F(MeshEffectTest, AMissingSourceDrawsNothingAndIsLoggedOnce) {
    nMeshEffect* fx = Effect();
    SetChannel("time", 0.0f);
    fx->SetMeshNode("/src/none");
    Step();
    Step();
    EXPECT_FALSE(probe->produced);
    std::string logged = TakeLog();
    EXPECT_NE(logged.find("not found"), std::string::npos);
    EXPECT_EQ(logged.find('\n'), logged.size() - 1);
}

}  // namespace
