#pragma once
// The water that a level's solids close in (walls, surface, seabed, reef, rocks), as one
// triangle mesh in world space, and the things that stand in it at their map's places
// (a closed door, an unswept heap) as another: which places lie in the water, which have
// room for a body there clear of the things too, and the nearest place that has. A save's
// kind reading uses it to bring a diver that an older game left outside the water or
// inside a solid back into the water. A place inside a thing still counts as in the water,
// since play may have moved the thing (an open door, a swept heap).
#include <vector>

#include "kernel/vector3.h"
#include "platform/meshquery/TriMesh.h"

class BasinWater {
public:
    // A triangle in world space, its corners counter-clockwise seen from outside: of a
    // solid that closes the water, or of a thing standing in it.
    void AddTriangle(const vector3& a, const vector3& b, const vector3& c, bool thing = false);
    // Builds the meshes from the triangles added; false when no solid closes the water or
    // a triangle is bad.
    bool Build();
    bool IsBuilt() const { return solids_.IsBuilt() && solids_.GetNumTriangles() > 0; }

    // Whether every way out of `p` along a few directions meets a solid from outside first:
    // false above the surface, beyond a wall, below the seabed and inside any solid.
    bool InWater(const vector3& p) const;
    // In the water and outside every thing, with a sphere of `radius` round `p` touching no
    // solid and no thing.
    bool Free(const vector3& p, float radius) const;
    // The free place nearest to `p` within the box [lo, hi]; false when none lies within
    // the box's reach.
    bool NearestFree(const vector3& p, float radius, const float lo[3], const float hi[3], vector3& out) const;

private:
    // Whether the first face of `mesh` that the way out of `p` meets is met from behind.
    static bool MetFromBehind(const meshquery::TriMesh& mesh, const vector3& p, const vector3& way, bool& met);

    std::vector<vector3> corners_[2];
    meshquery::TriMesh solids_, things_;
};
