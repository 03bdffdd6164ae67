// Line emitter rows read outside a frame (identity scene-node frame).
#include "anim/nAnimPackage.h"
#include "anim/nLineEmitter.h"
#include "kernel/nMathServer.h"
#include "tests/scene/SceneFixture.h"

namespace {

class ParticleLineTest : public SceneFixture {
protected:
    void SetUp() override {
        SceneFixture::SetUp();
        nAnimPackage(kernel);
        kernel->New("nmathserver", "/sys/servers/math");
    }
};

TEST_F(ParticleLineTest, RowSpacingAndLongRowsContinue) {
    auto* e = static_cast<nLineEmitter*>(kernel->New("nlineemitter", "/line"));
    e->SetPartikelCount(4);
    e->SetLength(1);
    e->SetStartSize(2);
    e->SetEndSize(2);
    e->SetLifetime(2);
    ASSERT_TRUE(e->BeginParticles(0, 5.0f));
    nParticle* first = nullptr;
    ASSERT_EQ(e->GetParticles(first), 4);
    for (int k = 0; k < 4; k++) {
        EXPECT_FLOAT_EQ(first[k].position.z, 2.0f * k);
        EXPECT_FLOAT_EQ(first[k].birthTime, 5.0f - k * 0.5f);
    }
    EXPECT_EQ(e->GetParticles(first), 0);
    e->EndParticles();

    e->SetPartikelCount(300);
    e->SetStartSize(0);
    e->SetEndSize(0);
    ASSERT_TRUE(e->BeginParticles(0, 0.0f));
    std::vector<int> runs;
    float lastZ = -1;
    while (int n = e->GetParticles(first)) {
        runs.push_back(n);
        EXPECT_GT(first[0].position.z, lastZ);
        lastZ = first[n - 1].position.z;
    }
    EXPECT_EQ(runs, std::vector<int>({128, 128, 44}));
    EXPECT_FLOAT_EQ(lastZ, 299.0f);
    e->SetPartikelCount(0);
    EXPECT_FALSE(e->BeginParticles(0, 0.0f));
}

}  // namespace
