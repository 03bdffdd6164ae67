#pragma once
// Draws a ribbon through its emitter's particles, oldest to newest, that ends at the
// renderer's own place (script class "ntrailrender"): each particle spans the key width
// across its axis. Quads share the index buffer "ntrailrender_ibuf".
#include "anim/nPRender.h"
#include "anim/nParticle.h"
#include "kernel/matrix44.h"

class nTrailRender : public nPRender {
public:
    static const nClassInfo classInfo;

    // Attaches the children, makes the buffers when missing and has the scene graph
    // compute the renderer when it draws the current scene node.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // Draws the ribbon at the channel's time.
    void Compute(nSceneGraph2* sceneGraph) override;

private:
    // One particle's cross-section in view space: the two edge points (the + side along
    // the axis first), its colour and its relative age.
    struct Edge {
        bool valid = false;
        vector3 a, b;
        uint32_t color = 0;
        float v = 0.0f;
    };
    void edge(const nParticle& p, float t, float invLifetime, const matrix44& view, Edge& out) const;
    void segment(const Edge& prev, const Edge& cur);
    // The trail's write position (the sprite keeps its own in a local).
    Writer writer_;
    void draw(nSceneNodeRecord* rec, nPEmitter* emitter, float t);

    // Model matrix while drawing: the vertices are written in view space.
    matrix44 matrix_;
};
