#include "anim/nTrailRender.h"

#include "anim/nPEmitter.h"
#include "gfx/nGfxServer.h"
#include "scene/nSceneGraph2.h"

namespace {
constexpr uint16_t QuadPattern[6] = {0, 1, 2, 3, 2, 1};
}  // namespace

const nClassInfo nTrailRender::classInfo = nClassInfo::Make<nTrailRender>("ntrailrender", "nprender");

bool nTrailRender::Attach(nSceneGraph2* sceneGraph) {
    if (!nVisNode::Attach(sceneGraph)) return false;
    MakeBuffers("ntrailrender_ibuf", QuadPattern);
    if (nSceneNodeRecord* rec = sceneGraph->GetCurrentNode()) rec->otherVisual = this;
    return true;
}

void nTrailRender::Compute(nSceneGraph2* sceneGraph) {
    nVisNode::Compute(sceneGraph);
    nSceneNodeRecord* rec = sceneGraph->GetCurrentNode();
    if (!rec || !MakeBuffers("ntrailrender_ibuf", QuadPattern)) return;
    nPEmitter* emitter = GetEmitterNode();
    if (!emitter) return;
    draw(rec, emitter, ReadChannel(sceneGraph, channelIndex_));
}

// A particle exactly at its lifetime keeps its edge, so the ribbon reaches it.
void nTrailRender::edge(const nParticle& p, float t, float invLifetime, const matrix44& view, Edge& out) const {
    const float age = t - p.birthTime;
    const float r = age * invLifetime;
    out.valid = r <= 1.0f;
    if (!out.valid) return;
    Sample key;
    Lookup(r, ArgbColors(), key);
    const vector3 half = p.axis * (key.size * 0.5f);
    out.a = view * (p.position + half);
    out.b = view * (p.position + half * -1.0f);
    out.color = key.color;
    out.v = r;
}

void nTrailRender::segment(const Edge& prev, const Edge& cur) {
    if (!prev.valid || !cur.valid) return;
    writer_.Put(prev.a, prev.color, 0.0f, prev.v);
    writer_.Put(cur.a, cur.color, 0.0f, cur.v);
    writer_.Put(prev.b, prev.color, 1.0f, prev.v);
    writer_.Put(cur.b, cur.color, 1.0f, cur.v);
    EndQuad(writer_);
}

void nTrailRender::draw(nSceneNodeRecord* rec, nPEmitter* emitter, float t) {
    if (keys_.empty()) return;
    if (!emitter->BeginParticles(rec->renderContext, t)) return;
    const float lifetime = emitter->GetLifetime();
    if (!(lifetime > 0.0f) || !BeginQuads(rec)) {
        emitter->EndParticles();
        return;
    }
    nGfxServer* gfx = refGfx.Get();
    gfx->PushMatrix(nGfxServer::MODELVIEW);
    const matrix44 view = gfx->GetMatrix(nGfxServer::INVVIEWER);
    const matrix44 viewer = gfx->GetMatrix(nGfxServer::VIEWER);
    gfx->SetMatrix(nGfxServer::MODELVIEW, matrix_);
    const float invLifetime = 1.0f / lifetime;
    writer_ = GetWriter();

    // Runs may share one array (the line emitter lays every run out in the same
    // records), so the previous particle is kept as a copy.
    nParticle newest;
    bool any = false;
    Edge prev, cur;
    nParticle* run = nullptr;
    while (int n = emitter->GetParticles(run)) {
        for (int j = 0; j < n; j++) {
            edge(run[j], t, invLifetime, view, cur);
            if (any) segment(prev, cur);
            prev = cur;
            newest = run[j];
            any = true;
        }
    }
    if (any) {
        // The ribbon ends at the renderer: a copy of the newest particle born now at the
        // renderer's place in the world.
        newest.birthTime = t;
        newest.position = viewer * rec->matrix.Translation();
        edge(newest, t, invLifetime, view, cur);
        segment(prev, cur);
    }
    EndQuads();
    emitter->EndParticles();
    gfx->PopMatrix(nGfxServer::MODELVIEW);
}
