#include "anim/nSpriteRender.h"

#include <cmath>

#include "anim/nPEmitter.h"
#include "gfx/nGfxServer.h"
#include "kernel/nMathServer.h"
#include "scene/nSceneGraph2.h"

namespace {

constexpr float Pi = 3.14159265358979f;
constexpr uint16_t QuadPattern[6] = {0, 1, 2, 3, 0, 2};
constexpr float CornerUv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};

// The unit square about z at every step of a turn, and the same turned to face the
// camera by the last draw. Shared by all sprite renderers.
vector3 baseTable[nSpriteRender::TableSteps][4];
vector3 frameTable[nSpriteRender::TableSteps][4];

void FillBaseTable() {
    static const float corners[4][2] = {{-0.5f, -0.5f}, {0.5f, -0.5f}, {0.5f, 0.5f}, {-0.5f, 0.5f}};
    for (int i = 0; i < nSpriteRender::TableSteps; i++) {
        float a = float(i) / float(nSpriteRender::TableSteps) * 2.0f * Pi;
        float c = std::cos(a), s = std::sin(a);
        for (int k = 0; k < 4; k++) {
            float x = corners[k][0], y = corners[k][1];
            baseTable[i][k] = vector3(x * c - y * s, x * s + y * c, 0.0f);
        }
    }
}

// The rotation part of `m` applied to row vector `v`.
vector3 Rotate(const vector3& v, const matrix44& m) {
    return vector3(v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0],
                   v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1],
                   v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2]);
}

// floor(a) modulo the table, wrapping negative angles; huge and non-finite angles never
// overflow the integer conversion.
int TableStep(float a) {
    if (std::fabs(a) < 1.0e15f) {
        auto i = int64_t(a);
        if (float(i) > a) i--;
        return int(i & (nSpriteRender::TableSteps - 1));
    }
    if (!std::isfinite(a)) return 0;
    return int(std::floor(std::fmod(a, float(nSpriteRender::TableSteps)))) & (nSpriteRender::TableSteps - 1);
}

}  // namespace

const nClassInfo nSpriteRender::classInfo = nClassInfo::Make<nSpriteRender>("nspriterender", "nprender");

nSpriteRender::nSpriteRender() : refMath_("/sys/servers/math") {
    FillBaseTable();
}

const vector3& nSpriteRender::FrameCorner(int step, int k) {
    return frameTable[step & (TableSteps - 1)][k & 3];
}

bool nSpriteRender::Attach(nSceneGraph2* sceneGraph) {
    if (!nVisNode::Attach(sceneGraph)) return false;
    if (nSceneNodeRecord* rec = sceneGraph->GetCurrentNode()) rec->otherVisual = this;
    return true;
}

void nSpriteRender::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    if (!rec || !MakeBuffers("nspriterender_ibuf", QuadPattern)) return;
    nPEmitter* emitter = GetEmitterNode();
    if (!emitter) return;
    draw(sceneGraph, rec, emitter, ReadChannel(sceneGraph, channelIndex_));
}

void nSpriteRender::draw(nSceneGraph2*, nSceneNodeRecord* rec, nPEmitter* emitter, float t) {
    // Without keys there is nothing to look up; without a positive lifetime no age fits.
    if (keys_.empty()) return;
    if (!emitter->BeginParticles(rec->renderContext, t)) return;
    const float lifetime = emitter->GetLifetime();
    if (!(lifetime > 0.0f) || !BeginQuads(rec)) {
        emitter->EndParticles();
        return;
    }
    nGfxServer* gfx = refGfx.Get();
    nMathServer* math = refMath_.Get();
    const matrix44& viewer = gfx->GetMatrix(nGfxServer::VIEWER);
    for (int i = 0; i < TableSteps; i++) {
        for (int k = 0; k < 4; k++) frameTable[i][k] = Rotate(baseTable[i][k], viewer);
    }
    const float toSteps = float(TableSteps) / (2.0f * Pi);
    const float spinSteps = spin_ * toSteps;
    const float spinAccelSteps = spinAccel_ * toSteps;
    const float invLifetime = 1.0f / lifetime;
    const matrix44 view = gfx->GetMatrix(nGfxServer::INVVIEWER);
    gfx->PushMatrix(nGfxServer::MODELVIEW);
    gfx->SetMatrix(nGfxServer::MODELVIEW, view);

    // The settings in locals: the vertex writes go through float pointers, through
    // which the compiler would otherwise reload every member after each store.
    KeyReader keys(*this, ArgbColors());
    const bool newestFirst = drawOrder_;
    const float maxViewDist = maxViewDist_;
    Writer out = GetWriter();
    Sample key;
    nParticle* run = nullptr;
    while (int n = emitter->GetParticles(run)) {
        for (int j = 0; j < n; j++) {
            const nParticle& p = run[newestFirst ? n - 1 - j : j];
            const float age = t - p.birthTime;
            if (!(age < lifetime)) continue;
            keys.Read(age * invLifetime, key);
            vector3 pos = p.position;
            if (key.jitter > 0.0f) {
                const float* d = math->GetEntry(int(randomIndex_++ & 255));
                pos += vector3(d[0], d[1], d[2]) * key.jitter;
            }
            if (maxViewDist != 0.0f) {
                if (maxViewDist < 0.0f) continue;
                if (!((view * pos).Len() < maxViewDist)) continue;
            }
            float a = 0.0f;
            if (spinSteps != 0.0f) a = age * spinSteps;
            if (p.spin != 0.0f) a += p.spin;
            if (spinAccelSteps != 0.0f) a += spinAccelSteps * age * age * 0.5f;
            if (p.reverseSpin) a = -a;
            const vector3* corner = frameTable[TableStep(a)];
            const float size = key.size * p.sizeFactor;
            // All four corners are computed before the first store for the same reason.
            const vector3 c0 = pos + corner[0] * size, c1 = pos + corner[1] * size;
            const vector3 c2 = pos + corner[2] * size, c3 = pos + corner[3] * size;
            out.Put(c0, key.color, CornerUv[0][0], CornerUv[0][1]);
            out.Put(c1, key.color, CornerUv[1][0], CornerUv[1][1]);
            out.Put(c2, key.color, CornerUv[2][0], CornerUv[2][1]);
            out.Put(c3, key.color, CornerUv[3][0], CornerUv[3][1]);
            EndQuad(out);
        }
    }
    EndQuads();
    emitter->EndParticles();
    gfx->PopMatrix(nGfxServer::MODELVIEW);
}
