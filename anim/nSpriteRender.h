#pragma once
// Draws every particle of its emitter as a camera-facing, rotating square whose size,
// colour and jitter follow the keys over the particle's life (script class
// "nspriterender"). Quads share the index buffer "nspriterender_ibuf".
#include "anim/nPRender.h"
#include "kernel/nPathRef.h"

class nMathServer;

class nSpriteRender : public nPRender {
public:
    static const nClassInfo classInfo;
    // Steps of the rotation table in one turn.
    static constexpr int TableSteps = 512;

    nSpriteRender();

    // Attaches the children and has the scene graph compute the renderer when it draws
    // the current scene node.
    bool Attach(nSceneGraph2* sceneGraph) override;
    // Draws the emitter's particles at the channel's time.
    void Compute(nSceneGraph2* sceneGraph) override;

    // Corner k (0..3) of rotation step `step` of the table the last draw turned to the
    // camera.
    static const vector3& FrameCorner(int step, int k);

private:
    void draw(nSceneGraph2* sceneGraph, nSceneNodeRecord* rec, nPEmitter* emitter, float t);

    nPathRef<nMathServer> refMath_;
    uint32_t randomIndex_ = 0;
};
