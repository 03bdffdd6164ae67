// The mesh mixer on meshes in ordinary memory: weights from channels, normalising,
// summed and copied components, clamped colours, and sources it must skip.
#include <gtest/gtest.h>

#include "gfx/nVertexBuffer.h"
#include "scene/nMeshMixer.h"
#include "tests/scene/MorphFixture.h"

namespace {

constexpr int All = N_VT_COORD | N_VT_NORM | N_VT_RGBA | N_VT_UV0;

class MeshMixerTest : public MorphFixture {
protected:
    void SetUp() override {
        MorphFixture::SetUp();
        MakeScene();
        a = {{1.0f, 2.0f, 3.0f, 0xC8C8C8C8u}, {-2.0f, 4.0f, 8.0f, 0x10203040u}};
        b = {{3.0f, -2.0f, 1.0f, 0xC8000064u}, {6.0f, 0.0f, 0.0f, 0x01010101u}};
        box.vmin = vector3(-1, -1, -1), box.vmax = vector3(1, 2, 3);
        Source("/src/a", a, All, box);
        Source("/src/b", b, All, box);
        mixer = static_cast<nMeshMixer*>(kernel->New("nmeshmixer", "/scene/mix"));
        mixer->SetReadOnly(true);
        mixer->BeginSources(2);
        mixer->SetSource(0, "/src/a", "wa");
        mixer->SetSource(1, "../../src/b", "wb");
        mixer->EndSources();
        probe->target = mixer;
    }
    void Weights(float wa, float wb) {
        SetChannel("wa", wa);
        SetChannel("wb", wb);
        Step();
    }

    std::vector<MorphVertex> a, b;
    bbox3 box;
    nMeshMixer* mixer = nullptr;
};

TEST_F(MeshMixerTest, WeightsSumOrNormaliseTheChosenComponents) {
    mixer->SetFlag(0, true);
    mixer->SetFlag(2, true);
    Weights(0.25f, 0.25f);
    ASSERT_TRUE(probe->produced) << TakeLog();
    // Not normalised: a quarter of each.
    EXPECT_EQ(probe->coords[0], 0.25f * 1.0f + 0.25f * 3.0f);
    EXPECT_EQ(probe->box.vmax.z, 0.5f * 3.0f);
    mixer->SetFlag(nMeshMixer::Normalize, true);
    Weights(0.25f, 0.25f);
    EXPECT_EQ(probe->coords[0], 2.0f);
    EXPECT_EQ(probe->coords[4], 2.0f);
    EXPECT_EQ(probe->box.vmax.z, 3.0f);
    // Colours with k = 128 each: (200 + 200) / 2, (200 + 0) / 2, ...; normals and uv were
    // not chosen and come from the first source.
    EXPECT_EQ(probe->colors[0], 0xC8646496u);
    EXPECT_EQ(probe->normals[2], a[0].x);
    EXPECT_EQ(probe->uv0[1], a[0].y);

    // One source at 0.5 (normalising off): a colour of 200 gives 100.
    mixer->SetFlag(nMeshMixer::Normalize, false);
    Weights(0.5f, 0.0f);
    EXPECT_EQ(probe->colors[0], 0x64646464u);
    EXPECT_EQ(probe->coords[1], 1.0f);
    // Both at 1: 200 + 200 clamps to 255 instead of carrying into the next channel.
    Weights(1.0f, 1.0f);
    EXPECT_EQ(probe->colors[0], 0xFFC8C8FFu);
    EXPECT_EQ(TakeLog(), "");
}

TEST_F(MeshMixerTest, UnchosenComponentsComeFromTheFirstKeptSource) {
    mixer->SetFlag(0, true);
    // Source 0 weighs nothing: source 1 is the first kept.
    Weights(-1.0f, 0.5f);
    ASSERT_TRUE(probe->produced);
    EXPECT_EQ(probe->coords[0], 1.5f);
    EXPECT_EQ(probe->normals[2], b[0].x);
    EXPECT_EQ(probe->colors[1], b[1].color);
    EXPECT_EQ(probe->uv0[3], b[1].y);
}

TEST_F(MeshMixerTest, NoPositiveWeightLeavesTheSceneNodeAlone) {
    nVertexBuffer* marker = mem->NewVertexBuffer("marker", 1, N_VT_COORD, 1);
    probe->preset = marker;
    Weights(0.0f, -0.5f);
    EXPECT_FALSE(probe->produced);
    Weights(0.0f, 0.5f);
    EXPECT_TRUE(probe->produced);
}

TEST_F(MeshMixerTest, SourcesChannelsAreCollectedWithTheMixers) {
    nTestVisNode* src = Source("/src/c", a, All, box);
    src->channels = {"srcchan"};
    mixer->SetSource(1, "/src/c", "wc");
    mixer->EndSources();
    SetChannel("srcchan", 0.75f);
    Weights(0.5f, 0.5f);
    EXPECT_GT(src->collects, 0);
    ASSERT_EQ(src->channelIndex.size(), 1u);
    EXPECT_EQ(src->channelIndex[0], channels->GenChannel("srcchan"));
}

TEST_F(MeshMixerTest, BadSourcesAreRefusedOrSkipped) {
    mixer->SetFlag(0, true);
    mixer->BeginSources(17);
    EXPECT_FALSE(mixer->SetSource(16, "/src/a", "wa"));
    EXPECT_FALSE(mixer->SetSource(-1, "/src/a", "wa"));
    EXPECT_EQ(mixer->GetNumSources(), 2);
    EXPECT_NE(TakeLog(), "");
    Source("/src/short", {{5, 5, 5}}, All, box);
    Source("/src/other", a, N_VT_COORD | N_VT_RGBA, box);
    for (const char* path : {"/src/missing", "/src/short", "/src/other", "/sys"}) {
        mixer->SetSource(1, path, "wb");
        Weights(1.0f, 1.0f);
        Weights(1.0f, 1.0f);
        // The bad source is skipped; the good one is drawn alone.
        ASSERT_TRUE(probe->produced) << path;
        EXPECT_EQ(probe->coords[0], a[0].x) << path;
        std::string logged = TakeLog();
        EXPECT_NE(logged.find(path), std::string::npos) << logged;
        EXPECT_EQ(logged.find('\n'), logged.size() - 1) << "logged more than once: " << logged;
    }
    // A source with more vertices than the first is fine: its first ones are used.
    Source("/src/long", {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}}, All, box);
    mixer->SetSource(1, "/src/long", "wb");
    Weights(1.0f, 1.0f);
    ASSERT_EQ(probe->coords.size(), 6u);
    EXPECT_EQ(probe->coords[3], a[1].x + 2.0f);
}

}  // namespace
