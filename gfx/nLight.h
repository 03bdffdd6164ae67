#pragma once

#include "kernel/matrix44.h"

// One light of the per-frame light list, as the scene graph hands it over; the
// graphics server adds the modelview matrix current when the light is set.
struct nLight {
    enum Type { AMBIENT = 0, POINT = 1, SPOT = 2, DIRECTIONAL = 3 };

    float r = 1.0f, g = 1.0f, b = 1.0f, a = 1.0f;
    float attConst = 0.0f, attLinear = 1.0f, attQuadratic = 0.0f;
    float spotCone = 45.0f;  // degrees
    float unused = 0.0f;
    bool castShadows = true;
    int type = AMBIENT;
    matrix44 modelview;
};

