// Emitters under transforms, run through frames: ring sizing, the birth window, read
// runs, the point and area births drawn from the math server's table, and saving.
#include <cmath>

#include "anim/nAnimPackage.h"
#include "anim/nAreaEmitter.h"
#include "anim/nMeshEmitter.h"
#include "anim/nParticleServer.h"
#include "anim/nPointEmitter.h"
#include "anim/nStaticMeshEmitter.h"
#include "gfx/nVertexBuffer.h"
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
        Frame(root, true, view);
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
    static bool Near(const vector3& a, const vector3& b, float tol = 1e-5f) {
        return std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol;
    }
    std::string TakeErrors() {
        std::string t = log.text;
        log.text.clear();
        return t;
    }

    nMathServer* math = nullptr;
    nParticleServer* server = nullptr;
    n3DNode* root = nullptr;
    n3DNode* obj = nullptr;
    // The frame's view matrix (the inverse of the graphics server's viewer matrix).
    matrix44 view;
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

// Births read the transform's finished matrix through a camera: world = scene-node
// matrix x viewer matrix, i.e. the transform's own local matrix under an identity root.
// The untouched cone draws the polar angle pi * r1 over the whole sphere; outer cone 90
// keeps it in [0, pi/2] on both branches.
TEST_F(ParticleEmitterTest, PointBirthsFollowTheTableInTheWorldFrame) {
    obj->Txyz(5, 1, 0);
    obj->Rxyz(0, 30, 90);
    matrix44 cam;
    cam.RotateY(0.5f);
    cam.Translate(vector3(1, 2, 10));
    gfx->SetMatrix(nGfxServer::VIEWER, cam);
    view = cam;
    view.Invert();
    const matrix44 w = obj->GetLocalMatrix();
    const vector3 x(w.m[0][0], w.m[0][1], w.m[0][2]), y(w.m[1][0], w.m[1][1], w.m[1][2]),
        z(w.m[2][0], w.m[2][1], w.m[2][2]), origin(w.m[3][0], w.m[3][1], w.m[3][2]);
    const float pi = 3.14159265f;
    for (bool narrow : {false, true}) {
        SCOPED_TRACE(narrow ? "outer cone 90" : "untouched cone");
        auto* e = static_cast<nPEmitter*>(kernel->New("npointemitter", "/scene/obj/e"));
        e->SetFreq(1);
        e->SetLifetime(10);
        e->SetSpeed(2);
        e->SetRSize(1);
        e->SetDirSpin(true);
        if (narrow) e->SetOuterCone(90);
        At(0.0f);
        At(0.0f);
        At(0.5f);
        At(8.5f);  // births at 1 .. 8, all moved by the pass's step of 8
        std::vector<nParticle> all = Read(e, 8.5f);
        ASSERT_EQ(all.size(), 8u);
        bool below = false;
        for (int i = 0; i < 8; i++) {
            const nParticle& p = all[size_t(i)];
            float r1 = R(4 * i), r2 = R(4 * i + 1), r4 = R(4 * i + 3);
            float theta = narrow ? (pi / 2) * std::fabs(r1) : pi * r1;
            float phi = r2 * 2 * pi;
            float dx = std::sin(phi) * std::sin(theta), dy = std::cos(theta), dz = std::cos(phi) * std::sin(theta);
            vector3 v = (x * dx + y * dy + z * dz) * 2.0f;
            EXPECT_TRUE(Near(p.velocity, v, 1e-3f)) << i;
            EXPECT_TRUE(Near(p.position, origin + v * 8.0f, 1e-2f)) << i;
            EXPECT_TRUE(Near(p.axis, x, 1e-4f)) << i;
            EXPECT_NEAR(p.sizeFactor, 1 + (r4 + 1) / 2, 1e-5f);
            EXPECT_EQ(p.reverseSpin, r1 > 0 ? 0 : 1) << i;
            below = below || dy < 0;
            if (narrow) {
                EXPECT_GE(dy, 0.0f);
            }
        }
        EXPECT_EQ(below, !narrow);
        e->Release();
    }
    EXPECT_EQ(TakeErrors(), "");
}

// An interpolator hung in after the emitter still moves the transform before the
// emitter reads it: births come from this frame's place, not the last one's.
TEST_F(ParticleEmitterTest, BirthsSeeTheTransformTheInterpolatorsMovedThisFrame) {
    auto* e = static_cast<nPEmitter*>(kernel->New("npointemitter", "/scene/obj/e"));
    e->SetSpeed(0);
    e->SetLifetime(10);
    ASSERT_TRUE(Run("sel('/scene/obj'); new('nipol', 'ip'); sel('ip'); connect('txyz'); "
                    "addkey3f(0, 0, 0, 0); addkey3f(10, 10, 0, 0)"));
    At(0.0f);
    At(0.0f);
    At(4.5f);
    std::vector<nParticle> all = Read(e, 4.5f);
    ASSERT_EQ(all.size(), 4u);
    for (const nParticle& p : all) EXPECT_TRUE(Near(p.position, vector3(4.5f, 0, 0), 1e-4f));
    EXPECT_EQ(TakeErrors(), "");
}

// A mesh emitter over one vertex: every particle starts there (in the world frame), its
// direction is table entry 3i, speed and share the flat values 3i + 1 and 3i + 2. A path
// that stops resolving is logged once; the particles born keep moving.
TEST_F(ParticleEmitterTest, MeshBirthsComeFromTheMeshVerticesAndTheTable) {
    nVertexBuffer* vb = Buffer("/sys/share/vxbuf/one", 1);
    ASSERT_TRUE(vb->Lock());
    float* c = vb->GetCoordPtr();
    c[0] = 1, c[1] = 2, c[2] = 3;
    vb->Unlock();
    Node("/meshes/m", nTestVisNode::Mesh)->vb = vb;
    obj->Txyz(5, 0, 0);
    auto* e = static_cast<nMeshEmitter*>(kernel->New("nmeshemitter", "/scene/obj/e"));
    ASSERT_TRUE(Run("sel('/scene/obj/e'); setmeshnode('../../../meshes/m')"));
    EXPECT_STREQ(e->GetMeshNode(), "../../../meshes/m");
    e->SetFreq(1);
    e->SetLifetime(10);
    e->SetSpeed(1);
    e->SetRSpeed(1);
    e->SetRSize(1);
    At(0.0f);
    At(0.0f);
    At(3.5f);
    std::vector<nParticle> all = Read(e, 3.5f);
    ASSERT_EQ(all.size(), 3u);
    std::vector<vector3> vel;
    for (int i = 0; i < 3; i++) {
        const nParticle& p = all[size_t(i)];
        const float* d = math->GetEntry(3 * i);
        float u = (R(3 * i + 1) + 1) / 2, share = (R(3 * i + 2) + 1) / 2;
        vector3 v = vector3(d[0], d[1], d[2]) * (u + 1);
        EXPECT_TRUE(Near(p.velocity, v, 1e-4f)) << i;
        EXPECT_TRUE(Near(p.position, vector3(6, 2, 3) + v * 3.5f, 1e-3f)) << i;
        EXPECT_NEAR(p.sizeFactor, 1 + share, 1e-5f);
        EXPECT_TRUE(Near(p.axis, vector3(1, 0, 0)));
        vel.push_back(p.velocity);
    }
    EXPECT_EQ(TakeErrors(), "");
    // The mesh served the births only: the emitter's scene node drew nothing.
    for (const std::string& ev : sceneEvents) EXPECT_NE(ev.rfind("draw", 0), 0u) << ev;

    e->SetMeshNode("/meshes/none");
    At(4.5f);
    At(5.5f);
    all = Read(e, 5.5f);
    ASSERT_EQ(all.size(), 3u);
    for (int i = 0; i < 3; i++) EXPECT_TRUE(Near(all[size_t(i)].position, vector3(6, 2, 3) + vel[size_t(i)] * 5.5f, 1e-3f));
    std::string errors = TakeErrors();
    EXPECT_NE(errors.find("/meshes/none"), std::string::npos);
    EXPECT_EQ(errors.find("/meshes/none"), errors.rfind("/meshes/none")) << errors;
}

// One particle on every vertex, born at the start of the lifetime period; a new mesh
// path fills the random fields again with the emitter's current spreads.
TEST_F(ParticleEmitterTest, StaticMeshParticlesSitOnEveryVertex) {
    nVertexBuffer* vb = Buffer("/sys/share/vxbuf/three", 3);
    ASSERT_TRUE(vb->Lock());
    float* c = vb->GetCoordPtr();
    int stride = vb->GetStride();
    for (int i = 0; i < 3; i++) {
        c[i * stride] = 0, c[i * stride + 1] = 0, c[i * stride + 2] = 0;
        c[i * stride + i] = float(i + 1);
    }
    vb->Unlock();
    Node("/meshes/m", nTestVisNode::Mesh)->vb = vb;
    auto* e = static_cast<nStaticMeshEmitter*>(kernel->New("nstaticmeshemitter", "/scene/obj/e"));
    e->SetLifetime(2);
    e->SetRSize(1);
    EXPECT_TRUE(Read(e, 5.0f).empty());  // no mesh taken yet
    e->SetMeshNode("/meshes/m");
    At(5.0f);
    auto check = [&](float spread, float birth) {
        std::vector<nParticle> all = Read(e, 5.0f);
        ASSERT_EQ(all.size(), 3u);
        for (int i = 0; i < 3; i++) {
            const vector3 v(i == 0 ? 1.0f : 0.0f, i == 1 ? 2.0f : 0.0f, i == 2 ? 3.0f : 0.0f);
            EXPECT_TRUE(Near(all[size_t(i)].position, v)) << i;
            EXPECT_FLOAT_EQ(all[size_t(i)].birthTime, birth);
            EXPECT_NEAR(all[size_t(i)].sizeFactor, 1 + spread * (R(i) + 1) / 2, 1e-5f);
        }
    };
    check(1, 4);
    e->SetRSize(3);
    check(1, 4);
    e->SetMeshNode("/meshes/m");
    At(5.0f);
    check(3, 4);
    e->SetLifetime(0);
    check(3, 5);
    EXPECT_EQ(TakeErrors(), "");
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
    // Saved: all 13 emitter settings, defaults included, in order, then the full sizes.
    ASSERT_TRUE(e->SaveAs(Path("e").c_str()));
    std::string text = Slurp(Path("e.n"));
    size_t at = 0;
    for (const char* cmd : {"settimes(", "setlifetime(", "setfreq(", "setspeed(", "setaccel(", "setinnercone(",
                            "setoutercone(", "setrspeed(", "setraccel(", "setrsize(", "setrspin(", "setdirspin(",
                            "setalignedaccel(", "setareasize( 2.00000000, 4.00000000, 6.00000000 )"}) {
        size_t next = text.find(cmd, at);
        ASSERT_NE(next, std::string::npos) << cmd << " in\n" << text;
        at = next;
    }
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
