// Sprite and trail renderers on the OpenGL device: what they write into their buffers
// (read back from a private holder) and what lands on screen (probe pixels). Projection,
// view and viewer are identities, so world x and y are clip coordinates.
#include <cmath>
#include <string>
#include <vector>

#include "anim/nAnimPackage.h"
#include "anim/nPEmitter.h"
#include "anim/nParticleServer.h"
#include "anim/nSpriteRender.h"
#include "anim/nTrailRender.h"
#include "gfx/nIndexBuffer.h"
#include "gfx/nVertexBufferHolder.h"
#include "kernel/nMathServer.h"
#include "kernel/nRandom.h"
#include "scene/n3DNode.h"
#include "scene/nChannelServer.h"
#include "scene/nScenePackage.h"
#include "scene/nSceneGraph2.h"
#include "script/nLuaServer2.h"
#include "script/nScriptPackage.h"
#include "tests/gfx/VertexTestServer.h"

namespace {

using bwtest::ColorNear;

constexpr uint32_t Red = 0xFFFF0000u;

// Hands out the particles a test puts in, in runs of `runSize`.
class nTestEmitter : public nPEmitter {
public:
    static const nClassInfo classInfo;
    bool BeginParticles(uint32_t, float) override {
        pos = 0;
        return !particles.empty();
    }
    int GetParticles(nParticle*& first) override {
        int n = std::min(runSize, int(particles.size()) - pos);
        first = n > 0 ? particles.data() + pos : nullptr;
        pos += n > 0 ? n : 0;
        return n > 0 ? n : 0;
    }
    void EndParticles() override { ends++; }
    nParticle& Add(float birth, const vector3& at) {
        nParticle& p = particles.emplace_back();
        p.birthTime = birth;
        p.position = at;
        p.axis = vector3(0, 1, 0);
        p.sizeFactor = 1;
        return p;
    }
    std::vector<nParticle> particles;
    int runSize = 128;
    int pos = 0;
    int ends = 0;
};
const nClassInfo nTestEmitter::classInfo = nClassInfo::Make<nTestEmitter>("ntestemitter", "npemitter");

struct Vertex {
    vector3 p;
    uint32_t color;
    float u, v;
};

class ParticleRenderTest : public VertexTestServer {
protected:
    void SetUp() override {
        VertexTestServer::SetUp();
        nScriptPackage(kernel);
        nScenePackage(kernel);
        nAnimPackage(kernel);
        kernel->AddClass(nTestEmitter::classInfo);
        lua = static_cast<nLuaServer2*>(kernel->New("nluaserver2", "/sys/servers/script"));
        channels = static_cast<nChannelServer*>(kernel->New("nchannelserver", "/sys/servers/channel"));
        kernel->New("nshadowserver", "/sys/servers/shadow");
        sg = static_cast<nSceneGraph2*>(kernel->New("nscenegraph2", "/sys/servers/sgraph2"));
        math = static_cast<nMathServer*>(kernel->New("nmathserver", "/sys/servers/math"));
        nRandom::Seed(99);
        math->Fill();
        particles = static_cast<nParticleServer*>(kernel->New("nparticleserver", "/sys/servers/particle"));
        root = static_cast<n3DNode*>(kernel->New("n3dnode", "/scene"));
    }
    nRoot* Lookup(const char* path) { return kernel->Lookup(path); }
    bool Run(const std::string& text) {
        const char* result = nullptr;
        return lua->Run(text.c_str(), result);
    }
    void Frame(float t) {
        channels->SetChannel1f(channels->GenChannel("time"), t);
        particles->Trigger();
        ASSERT_TRUE(BeginFrame());
        sg->BeginScene(matrix44());
        sg->SetRenderContext(0);
        root->Attach(sg);
        sg->EndScene(true);
        gfx->EndScene();
    }
    // A renderer of `cls` at `path` reading `emitter`, writing into a private buffer of
    // `vertices` when that is above 0, with one key per entry of `keys` (size, jitter,
    // r, g, b, a).
    template <class R>
    R* Renderer(const char* cls, const char* path, const char* emitter, std::vector<std::vector<float>> keys,
                int vertices) {
        auto* r = static_cast<R*>(kernel->New(cls, path));
        r->SetEmitter(emitter);
        if (vertices > 0) {
            r->GetVertexHolder().SetPrivate(true);
            r->GetVertexHolder().Create(N_VT_COORD | N_VT_RGBA | N_VT_UV0, vertices);
        }
        r->BeginKeys(int(keys.size()));
        for (size_t i = 0; i < keys.size(); i++) {
            const auto& k = keys[i];
            r->SetKey(int(i), k[0], k[1], k[2], k[3], k[4], k[5]);
        }
        return r;
    }
    nTestEmitter* Emitter(const char* path, float lifetime) {
        auto* e = static_cast<nTestEmitter*>(kernel->New("ntestemitter", path));
        e->SetLifetime(lifetime);
        return e;
    }
    // The first `n` vertices of a renderer's private buffer.
    static std::vector<Vertex> Written(nPRender* r, int n) {
        std::vector<Vertex> out;
        nVertexBuffer* vb = r->GetVertexHolder().LockBuffer();
        if (!vb) return out;
        const int s = vb->GetStride();
        for (int i = 0; i < n && i < vb->GetLockedCount(); i++) {
            const float* c = vb->GetCoordPtr() + i * s;
            const float* uv = vb->GetUvPtr(0) + i * s;
            out.push_back({vector3(c[0], c[1], c[2]), vb->GetColorPtr()[i * s], uv[0], uv[1]});
        }
        r->GetVertexHolder().UnlockBuffer();
        return out;
    }
    static bool Near(const vector3& a, const vector3& b, float tol = 1e-4f) {
        return std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol;
    }
    static std::vector<uint16_t> Indices(const char* name, nKernelServer* ks, int n) {
        auto* ib = static_cast<nIndexBuffer*>(ks->Lookup((std::string("/sys/share/ixbuf/") + name).c_str()));
        std::vector<uint16_t> out;
        if (!ib || !ib->Lock()) return out;
        out.assign(ib->GetLockPtr(), ib->GetLockPtr() + std::min(n, ib->GetCapacity()));
        ib->Unlock();
        return out;
    }

    nLuaServer2* lua = nullptr;
    nChannelServer* channels = nullptr;
    nSceneGraph2* sg = nullptr;
    nMathServer* math = nullptr;
    nParticleServer* particles = nullptr;
    n3DNode* root = nullptr;
};

// Keys blend linearly; packed colours byte by byte with the signed difference shifted
// down by 8 (255 -> 0 at half gives 127, not 128). Bad indices and counts change
// nothing; the save writes the keys after the settings and loads back equal.
TEST_F(ParticleRenderTest, KeysBlendAndSaveAndLoadBack) {
    auto* r = Renderer<nSpriteRender>("nspriterender", "/scene/r", "../e",
                                      {{1, 0, 1, 0, 0, 1}, {3, 0.5f, 0, 0, 1, 0.5f}}, 0);
    nPRender::Sample s;
    r->Lookup(0.5f, false, s);
    EXPECT_FLOAT_EQ(s.size, 2.0f);
    EXPECT_FLOAT_EQ(s.jitter, 0.25f);
    // a 255 -> 127 (0xBF), b 0 -> 127, g 0, r 255 -> 127.
    EXPECT_EQ(s.color, 0xBF7F007Fu);
    r->Lookup(0.5f, true, s);
    EXPECT_EQ(s.color, 0xBF7F007Fu);
    r->Lookup(0.0f, true, s);
    EXPECT_EQ(s.color, 0xFFFF0000u);
    r->Lookup(0.0f, false, s);
    EXPECT_EQ(s.color, 0xFF0000FFu);
    r->Lookup(0.25f, false, s);
    EXPECT_EQ(s.color, 0xDF3F00BFu);
    ASSERT_FALSE(TakeErrors());

    float v[6];
    EXPECT_FALSE(r->SetKey(2, 9, 9, 9, 9, 9, 9));
    EXPECT_FALSE(r->GetKey(-1, v[0], v[1], v[2], v[3], v[4], v[5]));
    EXPECT_FLOAT_EQ(v[0], 0.0f);
    r->BeginKeys(-3);
    EXPECT_EQ(r->GetNumKeys(), 2);
    EXPECT_TRUE(TakeErrors());

    ASSERT_TRUE(Run("sel('/scene/r'); setspin(360); setspinaccel(-90); setmaxviewdist(7); setdraworder(true); "
                    "setstretch(true); beginkeys(3); setkey(0, 1, 0, 1, 0, 0, 1); setkey(1, 2, 0.1, 0, 1, 0, 1); "
                    "setkey(2, 3, 0.2, 0, 0, 1, 0); endkeys(); sel('/')"));
    EXPECT_NEAR(r->GetSpin(), 360.0f, 1e-3f);
    EXPECT_NEAR(r->GetSpinAccel(), -90.0f, 1e-3f);
    ASSERT_TRUE(r->SaveAs(Path("r").c_str()));
    std::vector<uint8_t> bytes = ReadFileBytes(Path("r.n"));
    std::string text(bytes.begin(), bytes.end());
    size_t at = 0;
    for (const char* cmd : {"setstretch(", "setspin(", "setspinaccel(", "setmaxviewdist(", "setdraworder(",
                            "setemitter(", "beginkeys( 3 )", "setkey( 0,", "setkey( 1,", "setkey( 2,", "endkeys("}) {
        size_t next = text.find(cmd, at);
        ASSERT_NE(next, std::string::npos) << cmd << " in\n" << text;
        at = next;
    }
    r->Release();
    kernel->SetCwd(kernel->Lookup("/scene"));
    auto* back = static_cast<nSpriteRender*>(kernel->Load(Path("r.n").c_str()));
    kernel->SetCwd(nullptr);
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->GetEmitter(), "../e");
    EXPECT_NEAR(back->GetSpin(), 360.0f, 1e-3f);
    EXPECT_NEAR(back->GetSpinAccel(), -90.0f, 1e-3f);
    EXPECT_FLOAT_EQ(back->GetMaxViewDist(), 7.0f);
    EXPECT_TRUE(back->GetDrawOrder());
    EXPECT_TRUE(back->GetStretch());
    ASSERT_EQ(back->GetNumKeys(), 3);
    float w[6];
    ASSERT_TRUE(back->GetKey(1, w[0], w[1], w[2], w[3], w[4], w[5]));
    EXPECT_FLOAT_EQ(w[0], 2.0f);
    EXPECT_FLOAT_EQ(w[1], 0.1f);
    EXPECT_FLOAT_EQ(w[3], 1.0f);
    ASSERT_FALSE(TakeErrors());
}

// What a sprite renderer writes: one quad per live particle (age below the lifetime),
// edge length key size x size factor, the camera-facing table corner of its angle, the
// colour in the buffer's order and the corner's texture coordinates.
TEST_F(ParticleRenderTest, SpritesWriteOneTurnedQuadPerLiveParticle) {
    nTestEmitter* e = Emitter("/scene/e", 4);
    e->Add(8, vector3(0.1f, 0, -0.5f)).sizeFactor = 2;                 // half its life
    e->Add(6, vector3(9, 9, 9));                                       // exactly at its lifetime
    e->Add(9.75f, vector3(0, 0.2f, -0.5f));                            // a quarter turn
    e->Add(9.75f, vector3(0, 0.3f, -0.5f)).reverseSpin = 1;            // the other way
    e->Add(9.0f, vector3(0, 0.4f, -0.5f));                             // one whole turn
    auto* r = Renderer<nSpriteRender>("nspriterender", "/scene/r", "../e",
                                      {{1, 0, 1, 0, 0, 1}, {3, 0, 1, 0, 0, 1}}, 40);
    r->SetSpin(360);
    Frame(10);
    std::vector<Vertex> v = Written(r, 16);
    ASSERT_EQ(v.size(), 16u);
    // Size 2 at half its life, doubled by the size factor.
    const float c0[4][2] = {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}};
    const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    // Corners rotated by a quarter turn, three quarters, and a whole one.
    auto turned = [&](int k, int quarters) {
        float x = c0[k][0], y = c0[k][1];
        for (int q = 0; q < quarters; q++) std::swap(x, y), x = -x;
        return vector3(x, y, 0);
    };
    for (int k = 0; k < 4; k++) {
        SCOPED_TRACE(k);
        // Age 2 of 4: 2 x 360 degrees is two whole turns, the corner as at step 0.
        EXPECT_TRUE(Near(v[size_t(k)].p, vector3(0.1f, 0, -0.5f) + vector3(c0[k][0], c0[k][1], 0) * 4.0f));
        EXPECT_EQ(v[size_t(k)].color, Red);
        EXPECT_FLOAT_EQ(v[size_t(k)].u, uv[k][0]);
        EXPECT_FLOAT_EQ(v[size_t(k)].v, uv[k][1]);
        EXPECT_TRUE(Near(v[size_t(4 + k)].p, vector3(0, 0.2f, -0.5f) + turned(k, 1) * 1.125f));
        EXPECT_TRUE(Near(v[size_t(8 + k)].p, vector3(0, 0.3f, -0.5f) + turned(k, 3) * 1.125f));
        EXPECT_TRUE(Near(v[size_t(12 + k)].p, vector3(0, 0.4f, -0.5f) + turned(k, 0) * 1.5f));
    }
    EXPECT_EQ(e->ends, 1);
    std::vector<uint16_t> expect = {0, 1, 2, 3, 0, 2, 4, 5, 6, 7, 4, 6};
    EXPECT_EQ(Indices("nspriterender_ibuf", kernel, 12), expect);
    ASSERT_FALSE(TakeErrors());
}

// Sprites of one draw each take the colour of their own age, whether a neighbour is in
// another key segment at the same blend weight, at another weight, or back at an earlier
// one (ARGB keys: red, half-alpha green, transparent blue; weights 128 and 64).
TEST_F(ParticleRenderTest, EachSpriteTakesTheColourOfItsOwnAge) {
    nTestEmitter* e = Emitter("/scene/e", 4);
    const struct {
        float age;
        uint32_t color;
    } sprites[] = {{1, 0xBF7F7F00u}, {3, 0x3F007F7Fu}, {3, 0x3F007F7Fu}, {0.5f, 0xDFBF3F00u}, {1, 0xBF7F7F00u}};
    for (const auto& s : sprites) e->Add(10 - s.age, vector3(0, 0, -0.5f));
    auto* r = Renderer<nSpriteRender>("nspriterender", "/scene/r", "../e",
                                      {{1, 0, 1, 0, 0, 1}, {1, 0, 0, 1, 0, 0.5f}, {1, 0, 0, 0, 1, 0}}, 40);
    Frame(10);
    std::vector<Vertex> v = Written(r, 20);
    ASSERT_EQ(v.size(), 20u);
    for (size_t i = 0; i < v.size(); i++) EXPECT_EQ(v[i].color, sprites[i / 4].color) << "vertex " << i;
    ASSERT_FALSE(TakeErrors());
}

// A full buffer is drawn and renewed; a second renderer with a larger buffer grows the
// shared index buffer instead of indexing past it; draw order, view distance and jitter.
TEST_F(ParticleRenderTest, SpriteBuffersOrderDistanceAndJitter) {
    nTestEmitter* e = Emitter("/scene/e", 10);
    for (int i = 0; i < 5; i++) e->Add(5, vector3(float(i), 0, 0));
    e->runSize = 3;
    const std::vector<std::vector<float>> dot = {{0, 0, 1, 1, 1, 1}};
    // Size 0: all four corners of a quad sit on the particle. Unwritten slots read -99.
    auto wipe = [](nPRender* r) {
        nVertexBuffer* vb = r->GetVertexHolder().LockBuffer();
        for (int i = 0; i < vb->GetLockedCount(); i++) vb->GetCoordPtr()[i * vb->GetStride()] = -99;
        r->GetVertexHolder().UnlockBuffer();
    };
    auto xs = [](nPRender* r) {
        std::vector<float> out;
        for (const Vertex& v : Written(r, 1 << 16)) out.push_back(v.p.x);
        std::vector<float> quads;
        for (size_t i = 0; i + 3 < out.size() && out[i] != -99; i += 4) quads.push_back(out[i]);
        return quads;
    };

    // 8 vertices hold 2 quads: five sprites take three buffers, the last written holds
    // sprite 4 in its first slot and sprite 3 (of the second) in its next.
    auto* small = Renderer<nSpriteRender>("nspriterender", "/scene/small", "../e", dot, 8);
    wipe(small);
    Frame(5.5f);
    EXPECT_EQ(small->GetQuadsPerBuffer(), 2);
    EXPECT_EQ(xs(small), std::vector<float>({4, 3}));
    EXPECT_EQ(static_cast<nIndexBuffer*>(kernel->Lookup("/sys/share/ixbuf/nspriterender_ibuf"))->GetCapacity(), 12);
    small->Release();

    auto* r = Renderer<nSpriteRender>("nspriterender", "/scene/r", "../e", dot, 40);
    r->SetDrawOrder(true);
    wipe(r);
    Frame(5.5f);
    EXPECT_EQ(r->GetQuadsPerBuffer(), 10);
    EXPECT_EQ(static_cast<nIndexBuffer*>(kernel->Lookup("/sys/share/ixbuf/nspriterender_ibuf"))->GetCapacity(), 60);
    // Each run newest first: 2 1 0 | 4 3.
    EXPECT_EQ(xs(r), std::vector<float>({2, 1, 0, 4, 3}));
    r->SetDrawOrder(false);
    struct {
        float dist;
        std::vector<float> drawn;
    } limits[] = {{2.5f, {0, 1, 2}}, {-1, {}}, {0, {0, 1, 2, 3, 4}}};
    for (const auto& l : limits) {
        r->SetMaxViewDist(l.dist);
        wipe(r);
        Frame(5.5f);
        EXPECT_EQ(xs(r), l.drawn) << "max view distance " << l.dist;
    }

    // Jitter moves each sprite by 0.5 along table entries 0, 1, 2, ...
    r->Release();
    auto* jit = Renderer<nSpriteRender>("nspriterender", "/scene/jit", "../e", {{0, 0.5f, 1, 1, 1, 1}}, 40);
    Frame(5.5f);
    std::vector<Vertex> j = Written(jit, 20);
    ASSERT_EQ(j.size(), 20u);
    for (int q = 0; q < 5; q++) {
        const float* d = math->GetEntry(q);
        EXPECT_TRUE(Near(j[size_t(4 * q)].p, vector3(float(q) + 0.5f * d[0], 0.5f * d[1], 0.5f * d[2]))) << q;
    }
    ASSERT_FALSE(TakeErrors());
}

// A trail: one quad per pair of neighbours, oldest first, each particle spanning its key
// width across its axis (the + side first, u 0 / 1, v its relative age); a particle
// exactly at its lifetime keeps its edge, an older one has none; the last quad ends at
// the renderer's place, age 0.
TEST_F(ParticleRenderTest, TrailsJoinNeighboursAndEndAtTheRenderer) {
    nTestEmitter* e = Emitter("/scene/e", 4);
    e->Add(1, vector3(-0.9f, 0, -0.5f));  // too old: no edge, no quad
    e->Add(6, vector3(-0.6f, 0, -0.5f));  // exactly at its lifetime
    e->Add(8, vector3(-0.2f, 0, -0.5f));
    e->runSize = 2;
    auto* node = static_cast<n3DNode*>(kernel->New("n3dnode", "/scene/at"));
    node->Txyz(0.4f, 0, -0.5f);
    auto* r = Renderer<nTrailRender>("ntrailrender", "/scene/at/r", "../../e",
                                     {{0.2f, 0, 1, 0, 0, 1}, {0.6f, 0, 1, 0, 0, 1}}, 40);
    Frame(10);
    std::vector<Vertex> v = Written(r, 8);
    ASSERT_EQ(v.size(), 8u);
    struct Corner {
        float x, y, u, v;
    } expect[8] = {
        {-0.6f, 0.3f, 0, 1}, {-0.2f, 0.2f, 0, 0.5f}, {-0.6f, -0.3f, 1, 1}, {-0.2f, -0.2f, 1, 0.5f},
        {-0.2f, 0.2f, 0, 0.5f}, {0.4f, 0.1f, 0, 0}, {-0.2f, -0.2f, 1, 0.5f}, {0.4f, -0.1f, 1, 0},
    };
    for (int i = 0; i < 8; i++) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(Near(v[size_t(i)].p, vector3(expect[i].x, expect[i].y, -0.5f)));
        EXPECT_FLOAT_EQ(v[size_t(i)].u, expect[i].u);
        EXPECT_FLOAT_EQ(v[size_t(i)].v, expect[i].v);
        EXPECT_EQ(v[size_t(i)].color, Red);
    }
    std::vector<uint16_t> indices = {0, 1, 2, 3, 2, 1, 4, 5, 6, 7, 6, 5};
    EXPECT_EQ(Indices("ntrailrender_ibuf", kernel, 12), indices);
    ASSERT_FALSE(TakeErrors());
}

// On screen: a red sprite where a point emitter's particles sit and the background
// elsewhere; nothing with a negative view distance; a trail behind a moving emitter
// covering the gap between two particles; a line drawn as a trail as one straight band.
TEST_F(ParticleRenderTest, ParticlesShowOnScreen) {
    ASSERT_TRUE(Run("new('n3dnode', '/scene/p'); sel('/scene/p'); txyz(0, 0, -0.5); "
                    "new('npointemitter', 'e'); sel('e'); setspeed(0); setfreq(10); setlifetime(10); sel('..'); "
                    "new('nspriterender', 'r'); sel('r'); setemitter('../e'); beginkeys(1); "
                    "setkey(0, 0.3, 0, 1, 0, 0, 1); endkeys(); sel('/')"));
    for (float t : {0.0f, 0.0f, 0.55f}) Frame(t);
    EXPECT_TRUE(ColorNear(Presented(32, 32), Red));
    EXPECT_TRUE(ColorNear(Presented(36, 28), Red));
    EXPECT_TRUE(ColorNear(Presented(5, 5), Clear));
    EXPECT_TRUE(ColorNear(Presented(32, 42), Clear));
    // Another user of the graphics server's dynamic buffers, with more of its smaller
    // vertices than ours fit (the shadow volumes' 4096 coordinates alone), fetched one
    // last, every frame: the sprites still draw, their index buffer never outgrowing
    // their own buffers.
    nVertexBufferHolder volumes;
    for (float t : {0.56f, 0.57f}) {
        // Both of the server's alternating buffers.
        volumes.Create(N_VT_COORD, 4096);
        volumes.Create(N_VT_COORD, 4096);
        Frame(t);
    }
    EXPECT_TRUE(ColorNear(Presented(32, 32), Red));
    ASSERT_TRUE(Run("sel('/scene/p/r'); setmaxviewdist(-1); sel('/')"));
    Frame(0.6f);
    EXPECT_TRUE(ColorNear(Presented(32, 32), Clear));
    Lookup("/scene/p")->Release();

    // The emitter moves along x from -1 (turned so its x axis, the ribbon's width, is
    // world y); born every 0.5 s, the particles stand 0.1 apart; the ribbon ends at it.
    ASSERT_TRUE(Run("new('n3dnode', '/scene/m'); sel('/scene/m'); rxyz(0, 0, 90); "
                    "new('nipol', 'ip'); sel('ip'); connect('txyz'); addkey3f(0, -1, 0, -0.5); "
                    "addkey3f(10, 1, 0, -0.5); sel('..'); "
                    "new('npointemitter', 'e'); sel('e'); setspeed(0); setfreq(2); setlifetime(10); sel('..'); "
                    "new('ntrailrender', 'r'); sel('r'); setemitter('../e'); beginkeys(1); "
                    "setkey(0, 0.25, 0, 1, 0, 0, 1); endkeys(); sel('/')"));
    for (float t : {0.0f, 0.0f, 1.0f, 2.0f, 3.0f, 4.0f}) Frame(t);
    // Particles at x -0.9 .. -0.3, the emitter at -0.2: probes between two of them.
    EXPECT_TRUE(ColorNear(Presented(6, 32), Red));
    EXPECT_TRUE(ColorNear(Presented(20, 33), Red));
    EXPECT_TRUE(ColorNear(Presented(24, 31), Red));
    EXPECT_TRUE(ColorNear(Presented(20, 10), Clear));
    EXPECT_TRUE(ColorNear(Presented(40, 32), Clear));
    Lookup("/scene/m")->Release();

    // A row of 8 along the renderer's z axis, turned onto world x (its x axis, the width,
    // onto world y): one band from x 0 to 0.7 at the height of the renderer.
    ASSERT_TRUE(Run("new('n3dnode', '/scene/l'); sel('/scene/l'); txyz(0, 0.5, -0.5); rxyz(90, 0, 90); "
                    "new('nlineemitter', 'e'); sel('e'); setpartikelcount(8); setlength(0.1); setstartsize(0); "
                    "setendsize(0); setlifetime(1); sel('..'); "
                    "new('ntrailrender', 'r'); sel('r'); setemitter('../e'); beginkeys(1); "
                    "setkey(0, 0.2, 0, 1, 0, 0, 1); endkeys(); sel('/')"));
    Frame(5);
    int band = 0;
    for (int px = 0; px < 64; px++) band += ColorNear(Presented(px, 16), Red) ? 1 : 0;
    EXPECT_GE(band, 20);
    EXPECT_TRUE(ColorNear(Presented(32, 10), Clear));
    EXPECT_TRUE(ColorNear(Presented(32, 22), Clear));
    EXPECT_TRUE(ColorNear(Presented(32, 40), Clear));
    ASSERT_FALSE(TakeErrors());
}

// Settings that cannot draw draw nothing and never stop the program: no keys, an
// emitter lifetime of 0, an emitter path naming nothing or no emitter (logged once);
// huge ages and spins wrap.
TEST_F(ParticleRenderTest, BadSettingsDrawNothing) {
    nTestEmitter* e = Emitter("/scene/e", 4);
    nParticle& p = e->Add(-1.0e6f, vector3(0, 0, -0.5f));
    p.spin = 3.0e9f;
    auto* r = Renderer<nSpriteRender>("nspriterender", "/scene/r", "../e", {}, 40);
    r->SetSpin(1.0e8f);
    r->SetSpinAccel(1.0e8f);
    auto quads = [&]() {
        nVertexBuffer* vb = r->GetVertexHolder().LockBuffer();
        vb->GetCoordPtr()[0] = -99;
        r->GetVertexHolder().UnlockBuffer();
        int before = e->ends;
        Frame(10);
        std::vector<Vertex> v = Written(r, 1);
        return std::make_pair(e->ends - before, v[0].p.x != -99 ? 1 : 0);
    };
    EXPECT_EQ(quads(), std::make_pair(0, 0));  // no keys: the emitter is not even read
    r->BeginKeys(1);
    r->SetKey(0, 1, 0, 1, 1, 1, 1);
    e->SetLifetime(0);
    EXPECT_EQ(quads(), std::make_pair(1, 0));  // read, nothing drawn
    e->SetLifetime(2.0e6f);
    EXPECT_EQ(quads(), std::make_pair(1, 1));  // a million seconds of spin still draws
    // A time of minus infinity gives every age minus infinity: the first key is read,
    // not one outside the table.
    Frame(-INFINITY);
    ASSERT_EQ(Written(r, 1).size(), 1u);
    EXPECT_EQ(Written(r, 1)[0].color, 0xFFFFFFFFu);
    ASSERT_FALSE(TakeErrors());
    r->SetEmitter("/scene");
    EXPECT_EQ(quads(), std::make_pair(0, 0));
    EXPECT_EQ(quads(), std::make_pair(0, 0));
    EXPECT_EQ(log.errors.size(), 1u);
    r->SetEmitter("/nothing");
    EXPECT_EQ(quads(), std::make_pair(0, 0));
    EXPECT_TRUE(TakeErrors());
}

}  // namespace
