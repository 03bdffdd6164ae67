#pragma once
// The results a collide context keeps for a frame: pair records (quick and contact
// hits), contact reports (exact hits) and line hits. Records point at the collide
// objects of the modules; a dying object takes its records with it.
#include "kernel/vector3.h"

class nCollideObject2;

// A quick or contact hit between two objects.
class nCollidePair {
public:
    virtual ~nCollidePair() = default;
    virtual int GetKind() const { return 0; }

    nCollideObject2* objA = nullptr;
    nCollideObject2* objB = nullptr;
};

// One contact point of an exact hit. The physics reads point 2, normal 2, depth and the
// friction direction; drawing reads both points with their normals.
class nCollideReport {
public:
    virtual ~nCollideReport() = default;
    virtual int GetKind() const { return 1; }

    nCollideObject2* objA = nullptr;
    nCollideObject2* objB = nullptr;
    vector3 point1;
    vector3 point2;
    vector3 normal1;
    vector3 normal2;
    float depth = 0.0f;
    vector3 frictionDir;
};

// Where a line met an object. `value` is what the shape's line check gives (a distance,
// or the squared distance from a sphere's centre).
class nCollideLineHit {
public:
    nCollideObject2* object = nullptr;
    vector3 position;
    vector3 normal;
    float value = 0.0f;
};
