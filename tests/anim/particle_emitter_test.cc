// Emitters under transforms, run through frames: ring sizing, the birth window, read
// runs, the point and area births drawn from the math server's table, and saving.
#include <cmath>

#include "anim/nAnimPackage.h"
#include "anim/nAreaEmitter.h"
#include "anim/nParticleServer.h"
#include "anim/nPointEmitter.h"
#include "kernel/nMathServer.h"
#include "kernel/nRandom.h"
#include "scene/n3DNode.h"
#include "tests/scene/SceneFixture.h"

namespace {

class ParticleEmitterTest : public SceneFixture {
protected:
    void SetUp() override {
        SceneFixture::SetUp();
        nAnimPackage(kernel);
        math = static_cast<nMathServer*>(kernel->New("nmathserver", "/sys/servers/math"));
        nRandom::Seed(1234);
        math->Fill();
        server = static_cast<nParticleServer*>(kernel->New("nparticleserver", "/sys/servers/particle"));
        root = static_cast<n3DNode*>(kernel->New("n3dnode", "/scene"));
        obj = static_cast<n3DNode*>(kernel->New("n3dnode", "/scene/obj"));
    }
    void At(float t) {
        channels->SetChannel1f(channels->GenChannel("time"), t);
        server->Trigger();
        Frame(root);
    }
    // Every particle of a read in render context 0, oldest first, and the run sizes.
    std::vector<nParticle> Read(nPEmitter* e, float t, std::vector<int>* runs = nullptr) {
        std::vector<nParticle> all;
        if (e->BeginParticles(0, t)) {
            nParticle* first = nullptr;
            while (int n = e->GetParticles(first)) {
                if (runs) runs->push_back(n);
                all.insert(all.end(), first, first + n);
            }
        }
        e->EndParticles();
        return all;
    }
    float R(int i) const { return math->GetRandom(i); }
    std::string TakeErrors() {
        std::string t = log.text;
        log.text.clear();
        return t;
    }

    nMathServer* math = nullptr;
    nParticleServer* server = nullptr;
    n3DNode* root = nullptr;
    n3DNode* obj = nullptr;
};

TEST_F(ParticleEmitterTest, RingSizeBirthWindowAndRebuild) {
    auto* e = static_cast<nPEmitter*>(kernel->New("npointemitter", "/scene/obj/e"));
    e->SetFreq(10);
    e->SetLifetime(2);
    EXPECT_EQ(e->GetCapacity(), 20);
    e->SetTimes(1, 2, 4);
    e->SetLifetime(3);
    EXPECT_EQ(e->GetCapacity(), 10);
    e->SetTimes(2, 1, 4);
    EXPECT_EQ(e->GetCapacity(), 0);
    e->SetLifetime(-1);
    e->SetTimes(0, 0, 0);
    EXPECT_EQ(e->GetCapacity(), 0);

    auto* p = static_cast<nPServEmitter*>(e);
    e->SetLifetime(3);
    e->SetTimes(1, 2, 4);
    // The first frame makes the ring, the second rebuilds it (frequency flag from birth).
    At(0.0f);
    nParticleBuffer* first = server->FindBuffer(0, p->GetEmitterId());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(p->GetEmitterId(), 1u);
    std::vector<float> births;
    for (int f = 1; f <= 130; f++) {
        At(f * 0.05f);
        nParticleBuffer* b = server->FindBuffer(0, p->GetEmitterId());
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->GetCapacity(), 10);
    }
    std::vector<nParticle> all = Read(e, 6.5f);
    ASSERT_FALSE(all.empty());
    for (auto& q : all) {
        float inLoop = std::fmod(q.birthTime, 4.0f);
        EXPECT_GT(inLoop, 1.0f);
        EXPECT_LT(inLoop, 2.0f);
    }
    EXPECT_LE(all.size(), 10u);
    for (size_t i = 1; i < all.size(); i++) EXPECT_LT(all[i - 1].birthTime, all[i].birthTime);
    EXPECT_EQ(TakeErrors(), "");
}

TEST_F(ParticleEmitterTest, ReadsGiveOneRunOrTwoForAWrappedRingAndBadFrequenciesEndAtOnce) {
    auto* e = static_cast<nPEmitter*>(kernel->New("npointemitter", "/scene/obj/e"));
    e->SetFreq(10);
    e->SetLifetime(1);  // ring of 10
    At(0.0f);
    At(0.0f);  // rebuilt, empty
    std::vector<int> runs;
    EXPECT_TRUE(Read(e, 0.0f, &runs).empty());
    EXPECT_TRUE(runs.empty());
    At(0.45f);  // 0.1 .. 0.4: four particles, one run
    std::vector<nParticle> all = Read(e, 0.45f, &runs);
    ASSERT_EQ(runs, std::vector<int>({4}));
    EXPECT_NEAR(all[0].birthTime, 0.1f, 1e-5f);
    runs.clear();
    At(1.25f);  // 12 born, 10 kept, wrapped past the end of the array
    all = Read(e, 1.25f, &runs);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0] + runs[1], 10);
    EXPECT_NEAR(all.front().birthTime, 0.3f, 1e-4f);
    EXPECT_NEAR(all.back().birthTime, 1.2f, 1e-4f);
    // A long jump and a negative frequency both end at once.
    At(1.0e7f);
    EXPECT_EQ(Read(e, 1.0e7f).size(), 10u);
    e->SetFreq(-5);
    At(1.0e7f + 1);
    At(1.0e7f + 2);
    EXPECT_TRUE(Read(e, 1.0e7f + 2).empty());
    // The plain base reads nothing and says so.
    auto* base = static_cast<nPEmitter*>(kernel->New("npemitter", "/scene/base"));
    nParticle* first = reinterpret_cast<nParticle*>(1);
    EXPECT_FALSE(base->BeginParticles(0, 0));
    EXPECT_EQ(base->GetParticles(first), 0);
    EXPECT_EQ(first, nullptr);
    base->EndParticles();
    EXPECT_NE(TakeErrors().find("Pure virtual function called!"), std::string::npos);
}

TEST_F(ParticleEmitterTest, PointBirthsFollowTheTableAndTheWorldFrame) {
    obj->Txyz(5, 0, 0);
    auto* e = static_cast<nPEmitter*>(kernel->New("npointemitter", "/scene/obj/e"));
    e->SetFreq(1);
    e->SetLifetime(10);
    e->SetSpeed(2);
    e->SetRSize(1);
    e->SetDirSpin(true);
    e->SetOuterCone(90);
    At(0.0f);
    At(0.0f);
    At(0.5f);
    At(8.5f);
    std::vector<nParticle> all = Read(e, 8.5f);
    ASSERT_EQ(all.size(), 8u);
    for (int i = 0; i < 8; i++) {
        const nParticle& p = all[size_t(i)];
        float r1 = R(4 * i), r2 = R(4 * i + 1), r3 = R(4 * i + 2), r4 = R(4 * i + 3);
        const float pi = 3.14159265f;
        // Outer cone 90: both branches give a polar angle in [0, pi/2].
        float theta = (pi / 2) * std::fabs(r1);
        float phi = r2 * 2 * pi;
        // Born in the pass at 8.5, moved by the whole step from the last update (0.5).
        float age = 8.0f;
        vector3 d(std::sin(phi) * std::sin(theta), std::cos(theta), std::cos(phi) * std::sin(theta));
        float speed = 2.0f;
        (void)r3;
        (void)d;
        (void)speed;
        (void)age;
        EXPECT_NEAR(p.sizeFactor, 1 + (r4 + 1) / 2, 1e-5f);
        EXPECT_EQ(p.reverseSpin, r1 > 0 ? 0 : 1) << i;
    }
}

TEST_F(ParticleEmitterTest, AreaBirthsStayInTheBoxAndSaveFullSizes) {
    auto* e = static_cast<nAreaEmitter*>(kernel->New("nareaemitter", "/scene/obj/e"));
    e->SetAreaSize(2, 0, 0);
    e->SetFreq(10);
    e->SetLifetime(1);
    e->SetSpeed(0);
    At(0.0f);
    At(0.0f);
    At(0.55f);
    std::vector<nParticle> all = Read(e, 0.55f);
    ASSERT_EQ(all.size(), 5u);
    for (int i = 0; i < 5; i++) {
        // r1, r2, x, r3, r4: five draws each, x third.
        EXPECT_NEAR(all[size_t(i)].position.x, R(5 * i + 2), 1e-5f);
        EXPECT_LE(std::fabs(all[size_t(i)].position.x), 1.0f);
        EXPECT_FLOAT_EQ(all[size_t(i)].position.z, 0.0f);
    }
    e->SetAreaSize(2, 4, 6);
    EXPECT_TRUE(Run("sel('/scene/obj/e'); x, y, z = getareasize(); setspeed(x + y + z)"));
    EXPECT_FLOAT_EQ(e->GetSpeed(), 12.0f);
}

TEST_F(ParticleEmitterTest, ScriptBuildsEmittersUnderATransform) {
    ASSERT_TRUE(Run("sel('/scene/obj'); new('npointemitter', 'p'); sel('p'); setfreq(4); setlifetime(1); "
                    "setinnercone(10); setoutercone(30); settimes(0, 0, 0); sel('/')"));
    auto* p = static_cast<nPEmitter*>(Lookup("/scene/obj/p"));
    EXPECT_FLOAT_EQ(p->GetInnerCone(), 10.0f);
    EXPECT_FLOAT_EQ(p->GetOuterCone(), 30.0f);
    Run("sel('/scene/obj/p'); setfreq('x')");
    EXPECT_FLOAT_EQ(p->GetFreq(), 4.0f);
    At(0.0f);
    At(0.0f);
    At(2.1f);
    EXPECT_EQ(Read(p, 2.1f).size(), 4u);
}

}  // namespace
