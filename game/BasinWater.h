#pragma once
// The water that a level's solids close in (walls, surface, seabed, reef, rocks), as one
// triangle mesh in world space, and the things that stand in it at their map's places
// (a closed door, an unswept heap), each as a mesh of its own: which places lie in the
// water, which have room for a body there clear of the things that stand and of other
// bodies, and the nearest place that has. A save's kind reading uses it to bring a diver
// that an older game left outside the water, inside a solid, inside a thing or inside
// another diver back into the water. Whether a thing stands depends on play (an open
// door, a swept heap): the reader of a save says so for each.
#include <string>
#include <vector>

#include "kernel/vector3.h"
#include "platform/meshquery/TriMesh.h"

class BasinWater {
public:
    // A thing that may stand in the water, by name; its triangles are added with the index
    // this gives. It stands until SetStanding says otherwise.
    int AddThing(const std::string& name);
    // A triangle in world space, its corners counter-clockwise seen from outside: of a
    // solid that closes the water (thing -1), or of a thing standing in it.
    void AddTriangle(const vector3& a, const vector3& b, const vector3& c, int thing = -1);
    // Builds the meshes from the triangles added; false when no solid closes the water or
    // a triangle is bad.
    bool Build();
    bool IsBuilt() const { return solids_.IsBuilt() && solids_.GetNumTriangles() > 0; }

    int GetNumThings() const { return int(things_.size()); }
    const std::string& GetThingName(int thing) const { return things_[size_t(thing)].name; }
    void SetStanding(int thing, bool standing) { things_[size_t(thing)].standing = standing; }
    // The middles of other bodies in the water, each with room of the radius that Lies and
    // Free take round it.
    void ClearBodies() { bodies_.clear(); }
    void AddBody(const vector3& middle) { bodies_.push_back(middle); }

    // Whether every way out of `p` along a few directions meets a solid from outside first:
    // false above the surface, beyond a wall, below the seabed and inside any solid.
    bool InWater(const vector3& p) const;
    // Why a body's middle cannot stay at `p`: outside the water or inside a solid, inside
    // a standing thing (named), or inside the room of `radius` round another body; empty
    // where it may.
    std::string Lies(const vector3& p, float radius) const;
    // In the water and outside every standing thing, with a sphere of `radius` round `p`
    // touching no solid, no standing thing and no other body's room.
    bool Free(const vector3& p, float radius) const;
    // The free place nearest to `p` within the box [lo, hi]; false when none lies within
    // the box's reach.
    bool NearestFree(const vector3& p, float radius, const float lo[3], const float hi[3], vector3& out) const;

private:
    struct Thing {
        std::string name;
        std::vector<vector3> corners;
        meshquery::TriMesh mesh;
        bool standing = true;
    };
    // Whether the first face of `mesh` that the way out of `p` meets is met from behind.
    static bool MetFromBehind(const meshquery::TriMesh& mesh, const vector3& p, const vector3& way, bool& met);
    static bool Inside(const meshquery::TriMesh& mesh, const vector3& p);

    std::vector<vector3> corners_;
    meshquery::TriMesh solids_;
    std::vector<Thing> things_;
    std::vector<vector3> bodies_;
};
