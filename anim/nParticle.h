#pragma once
// One particle: the unit of a particle ring and of the runs emitters hand to renderers.
#include <cstdint>

#include "kernel/vector3.h"

struct nParticle {
    float birthTime = 0.0f;
    vector3 position;
    vector3 velocity;
    // The emitter's world x axis at birth; renderers orient by it.
    vector3 axis;
    float accelFactor = 0.0f;
    float sizeFactor = 0.0f;
    // Grows with the aligned acceleration; 1 at birth.
    float speedScale = 0.0f;
    // Degrees.
    float spin = 0.0f;
    // 1: the renderer negates the particle's rotation.
    uint8_t reverseSpin = 0;
};
