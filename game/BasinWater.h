#pragma once
// The water that a level's solids close in (walls, surface, seabed, reef, rocks), as one
// triangle mesh in world space: which places lie in it, which have room for a body there,
// and the nearest place that has. A save's kind reading uses it to bring a diver that an
// older game left outside the water or inside a solid back into the water.
#include <vector>

#include "kernel/vector3.h"
#include "platform/meshquery/TriMesh.h"

class BasinWater {
public:
    // A solid's triangle in world space, its corners counter-clockwise seen from outside.
    void AddTriangle(const vector3& a, const vector3& b, const vector3& c);
    // Builds the mesh from the triangles added; false when there are none or one is bad.
    bool Build();
    bool IsBuilt() const { return mesh_.IsBuilt() && mesh_.GetNumTriangles() > 0; }

    // Whether every way out of `p` along a few directions meets a solid from outside first:
    // false above the surface, beyond a wall, below the seabed and inside any solid.
    bool InWater(const vector3& p) const;
    // In the water with a sphere of `radius` round `p` touching no solid.
    bool Free(const vector3& p, float radius) const;
    // The free place nearest to `p` within the box [lo, hi]; false when none lies within
    // the box's reach.
    bool NearestFree(const vector3& p, float radius, const float lo[3], const float hi[3], vector3& out) const;

private:
    std::vector<vector3> corners_;
    meshquery::TriMesh mesh_;
};
