#pragma once
// A row of particles along the z axis of the reading renderer's scene node, each a step
// older than the one before (script class "nlineemitter"). Keeps no particles between
// frames: every read lays the row out again.
#include "anim/nPEmitter.h"
#include "kernel/matrix44.h"
#include "kernel/nPathRef.h"

class nMathServer;

class nLineEmitter : public nPEmitter {
public:
    static const nClassInfo classInfo;
    static constexpr int RunSize = 128;

    nLineEmitter();

    bool SaveCmds(nPersistServer* ps) override;
    bool BeginParticles(uint32_t renderContext, float time) override;
    int GetParticles(nParticle*& first) override;
    void EndParticles() override {}

    void SetPartikelCount(int n) { count_ = n; }
    int GetPartikelCount() const { return count_; }
    void SetLength(float l) { length_ = l; }
    float GetLength() const { return length_; }
    void SetStartSize(float s) { startSize_ = s; }
    float GetStartSize() const { return startSize_; }
    void SetEndSize(float s) { endSize_ = s; }
    float GetEndSize() const { return endSize_; }

    // Fills the random fields of `row` from the start of the math server's table.
    static void FillRow(nParticle* row, nMathServer* math, const nPEmitter& e);

private:
    nParticle row_[RunSize];
    bool initialized_ = false;
    int readPos_ = 0;
    int count_ = 10;
    float time_ = 0.0f;
    float length_ = 10.0f;
    matrix44 world_;
    float startSize_ = 0.2f;
    float endSize_ = 1.0f;
    // Where the next run goes on: distance along the row and the last particle's size.
    float distance_ = 0.0f;
    float prevSize_ = 0.0f;
    nPathRef<nRoot> refSceneGraph_;
    nPathRef<nMathServer> refMath_;
};
